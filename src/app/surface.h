#pragma once
// Surface: everything the wizard's page logic asks of a window, and nothing more. The page logic
// (CChildDialogExDemoDlg) never touches a widget; it names controls by their IDs (control_ids.h)
// and hands over models (trees, list contents) that the window renders. A Qt window implements
// this with widgets; the tests implement it with a fake that records every call and answers
// message boxes and dialogs from a script.
//
// Threads: every method but Post is called on the UI thread only. Post may be called from any
// thread; it queues the call to run later on the UI thread, in order.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_ids.h"
#include "core/feedback.h"
#include "results/tree_model.h"

namespace quarrow::app {

// A message box: text, title ("Quarrow", sometimes "Error"), icon, buttons and which answer the
// default button gives.
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };
struct MessageSpec {
  std::string text;
  std::string title;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
  MessageAnswer defaultAnswer = MessageAnswer::kOk;
};

// One column of a list: header text and width in dialog pixels (0: hidden).
struct ListColumn {
  std::string header;
  int width = 0;
};
// What a row of a list shows. image: -1 none, 0 a folder, 1 a file (the shell's icons).
struct ListRow {
  std::vector<std::string> cells;  // one per column
  int image = -1;
  bool deleted = false;  // drawn as a deleted entry
  int check = -1;        // -1 no box, 0 unchecked, 1 checked
};
// The whole content of a list; a list is always replaced whole. Rows are addressed by their index
// in rows, which is what the page logic gets back in clicks.
struct ListContent {
  std::vector<ListColumn> columns;
  std::vector<ListRow> rows;
};

// A text of an information dialog, and the link it is when linkId is not 0 (a click calls
// CChildDialogExDemoDlg::OnLink with that ID).
struct DialogText {
  std::string text;
  int linkId = 0;
  bool headline = false;  // drawn bold ("Important:", the product name)
};
struct DialogButton {
  int id = 0;
  std::string caption;
};
// An information dialog as data: title, texts top to bottom, buttons left to right, the picture's
// resource number (0: none).
struct InfoDialogContent {
  DialogId dialog = DialogId::kAbout;
  std::string title;
  std::vector<DialogText> texts;
  std::vector<DialogButton> buttons;
  int picture = 0;
};

// The open and save dialogs of the scan log.
struct FileDialogSpec {
  bool save = false;
  std::string filter;            // "QLG Files (*.QLG)|*.QLG||"
  std::string defaultExtension;  // "QLG"
  std::string folder;            // where it opens
};

// The Replace File Confirmation question (template 132).
enum class ReplaceButton { kOverwrite, kRename, kSkip, kCancel, kYesToAll, kNoToAll };
struct ReplaceReply {
  ReplaceButton button = ReplaceButton::kCancel;
  bool applyToAll = false;  // "Apply the answer to all the files"
};

class Surface {
 public:
  virtual ~Surface() = default;

  // Controls, by ID. Show and Enable apply to any control (buttons, statics, edits, lists, trees,
  // progress bars, the radios). SetText sets a static's or edit's text or a button's caption.
  virtual void Show(int controlId, bool visible) = 0;
  virtual void Enable(int controlId, bool enabled) = 0;
  virtual void SetText(int controlId, std::string_view text) = 0;
  // The text of an edit (what the user typed) or of a static.
  virtual std::string Text(int controlId) const = 0;
  // Radio buttons and check boxes.
  virtual void SetChecked(int controlId, bool checked) = 0;
  virtual bool Checked(int controlId) const = 0;
  // The partition-type combo (1037): its chosen entry, -1 for none.
  virtual void SetComboIndex(int controlId, int index) = 0;
  virtual int ComboIndex(int controlId) const = 0;
  // A progress bar's position (0-100) and the text it shows.
  virtual void SetProgress(int controlId, int position, std::string_view barText) = 0;
  virtual void SetFocus(int controlId) = 0;
  // The guidance paragraph.
  virtual void SetGuidance(std::string_view text) = 0;

  // Trees. The view of treeId shows model from now on (null: nothing) and follows its
  // announcements: it installs itself as the model's TreeObserver and detaches from the model it
  // showed before. The page logic changes a shown model only on the UI thread, and gives the view
  // null (or another model) before it destroys a model.
  virtual void SetTree(int treeId, mytreectrl* model) = 0;

  // Lists (1105, 1107, 1051): replaces the whole content.
  virtual void SetList(int listId, const ListContent& content) = 0;
  // Selects row (-1: none) and makes it the hot item.
  virtual void SetListSelection(int listId, int row) = 0;
  // The rows selected in the list, ascending.
  virtual std::vector<int> SelectedListRows(int listId) const = 0;

  // A modal message box; returns the answer.
  virtual MessageAnswer Message(const MessageSpec& spec) = 0;
  // A modal information dialog (About, the advice dialogs, Connection help); returns the ID of the
  // button that closed it (0 when the window was closed). Links in it call OnLink.
  virtual int ShowDialog(const InfoDialogContent& content) = 0;
  // The No device dialog is not modal: the wizard stays usable behind it. Its Retry and Exit come
  // back as OnNoDeviceRetry / OnNoDeviceExit, closing its window as OnNoDeviceExit.
  virtual void OpenNoDeviceDialog(const InfoDialogContent& content) = 0;
  virtual void CloseNoDeviceDialog() = 0;

  // The scan log's file dialogs: the chosen path, or nullopt on Cancel.
  virtual std::optional<std::string> AskFilePath(const FileDialogSpec& spec) = 0;
  // Save As (template 129): the destination folder, with a Browse button that picks a folder;
  // nullopt on Cancel.
  virtual std::optional<std::string> AskDestination(std::string_view initial) = 0;
  // Replace File Confirmation (template 132) for the file already at existing.
  virtual ReplaceReply AskReplace(std::string_view existing) = 0;
  // The progress dialogs of a save, not modal: Calculating (134) and Saving (130). Their controls
  // are set with SetText / SetProgress; Saving's Stop and Skip come back as OnCommand.
  virtual void OpenProgressDialog(DialogId dialog) = 0;
  virtual void CloseProgressDialog(DialogId dialog) = 0;

  // A context menu (252 or 253) at the pointer; returns the command chosen, 0 for none.
  virtual int PopupMenu(int menuId) = 0;
  // Opens a file or address with the desktop (the user guide, a mail message, the web page).
  virtual void OpenExternal(std::string_view address) = 0;
  // Ends the wizard: the window closes and the program ends with exitCode.
  virtual void EndWizard(int exitCode) = 0;

  // Queues call to run on the UI thread. Safe from any thread; calls run in the order posted.
  virtual void Post(std::function<void()> call) = 0;
};

}  // namespace quarrow::app
