#pragma once
// The wizard's main window: one dialog whose controls are created per control ID (each widget's
// object name is the ID as app::ObjectName writes it) and laid out in dialog units, and the Surface
// the page logic draws on. Nothing here decides what a page shows: clicks, keys, expansions and
// dialog buttons go to CChildDialogExDemoDlg, and what it sets through the Surface is shown.

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/surface.h"
#include "gui/dialog_units.h"
#include "gui/rate_meter.h"

class QLabel;
class QTableView;
class QSortFilterProxyModel;

namespace quarrow::app {
class CChildDialogExDemoDlg;
}

namespace quarrow::gui {

class ListContentModel;
class ListFilter;
class PreviewPane;
class TreeCtrlView;

// Answers what the window would otherwise ask the user in a modal window, and opens what it would
// hand to the desktop. The window shows real dialogs when none is installed; tests install one
// that answers from a script, so no test waits on a timer to press a button.
class Answerer {
 public:
  virtual ~Answerer() = default;
  virtual app::MessageAnswer Message(const app::MessageSpec& spec) = 0;
  virtual int Dialog(const app::InfoDialogContent& content) = 0;
  virtual std::optional<std::string> FilePath(const app::FileDialogSpec& spec) = 0;
  virtual std::optional<std::string> Destination(std::string_view initial) = 0;
  virtual app::ReplaceReply Replace(std::string_view existing) = 0;
  virtual int Menu(int menuId) = 0;
  virtual void OpenExternal(std::string_view address) = 0;
};

class WizardWindow : public QDialog, public app::Surface {
  Q_OBJECT

 public:
  explicit WizardWindow(QWidget* parent = nullptr);
  ~WizardWindow() override;

  // The page logic the window forwards its events to (null: none).
  void Attach(app::CChildDialogExDemoDlg* wizard);
  void SetAnswerer(Answerer* answerer) { answerer_ = answerer; }

  // The widget of a control ID, in this window or in one of its open dialogs; null when none.
  QWidget* Control(int controlId) const;
  TreeCtrlView* Tree(int treeId) const;
  QTableView* List(int listId) const;
  const DialogUnits& Units() const { return units_; }
  bool Ended() const { return ended_; }

  // What the preview pane shows for a row of the file list: the file's first bytes as the disk
  // holds them now, and a deleted file's estimate. The page logic reads them; without a source
  // the results page has no preview pane.
  struct PreviewData {
    std::string name;
    QByteArray bytes;
    std::string estimate;
  };
  using PreviewSource = std::function<std::optional<PreviewData>(int row)>;
  void SetPreviewSource(PreviewSource source);
  PreviewPane* Preview() const { return preview_; }
  int ExitCode() const { return exitCode_; }

  // Surface.
  void Show(int controlId, bool visible) override;
  void Enable(int controlId, bool enabled) override;
  void SetText(int controlId, std::string_view text) override;
  std::string Text(int controlId) const override;
  void SetChecked(int controlId, bool checked) override;
  bool Checked(int controlId) const override;
  void SetComboIndex(int controlId, int index) override;
  int ComboIndex(int controlId) const override;
  void SetProgress(int controlId, int position, std::string_view barText) override;
  void SetFocus(int controlId) override;
  void SetGuidance(std::string_view text) override;
  void SetTree(int treeId, mytreectrl* model) override;
  void SetList(int listId, const app::ListContent& content) override;
  void SetListSelection(int listId, int row) override;
  std::vector<int> SelectedListRows(int listId) const override;
  app::MessageAnswer Message(const app::MessageSpec& spec) override;
  int ShowDialog(const app::InfoDialogContent& content) override;
  void OpenNoDeviceDialog(const app::InfoDialogContent& content) override;
  void CloseNoDeviceDialog() override;
  std::optional<std::string> AskFilePath(const app::FileDialogSpec& spec) override;
  std::optional<std::string> AskDestination(std::string_view initial) override;
  app::ReplaceReply AskReplace(std::string_view existing) override;
  void OpenProgressDialog(app::DialogId dialog) override;
  void CloseProgressDialog(app::DialogId dialog) override;
  int PopupMenu(int menuId) override;
  void OpenExternal(std::string_view address) override;
  void EndWizard(int exitCode) override;
  void Post(std::function<void()> call) override;

 signals:
  void wizardEnded(int exitCode);
  // A progress dialog of a save is about to close, showing its last texts.
  void progressDialogClosing(int dialogId, QDialog* dialog);
  // "Open Disk Image..." on the disk page.
  void openImageRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void CreateTrees();
  void CreateLists();
  QTableView* MakeListView(int listId);
  void PlaceDetailsList();
  void CreateFilterBar();
  void RefillTypeFilter();
  void ShowPartners(int controlId, bool visible);
  // Shows the controls that belong to the page the wizard is on, when it changed.
  void FollowPage();
  // Hands an event to the page logic, when there is one, and follows the page it leaves.
  template <typename Call>
  void Dispatch(Call call) {
    if (!wizard_) return;
    call(*wizard_);
    FollowPage();
  }
  // The row of the page logic's list that a row of the view shows, and back.
  int SourceRow(int listId, const QModelIndex& viewIndex) const;
  QModelIndex ViewIndex(int listId, int row) const;

  DialogUnits units_;
  app::CChildDialogExDemoDlg* wizard_ = nullptr;
  Answerer* answerer_ = nullptr;
  QHash<int, QWidget*> controls_;
  QHash<int, QList<QWidget*>> partners_;  // captions shown and hidden with their control
  std::map<int, TreeCtrlView*> trees_;
  std::map<int, QTableView*> lists_;
  std::map<int, ListContentModel*> listModels_;
  ListFilter* filter_ = nullptr;  // between the file list and its view
  QWidget* filterBar_ = nullptr;
  PreviewPane* preview_ = nullptr;
  QWidget* savedBar_ = nullptr;
  QWidget* backdrop_ = nullptr;  // hides the search's texts behind the results
  QLabel* savedText_ = nullptr;
  std::string lastDestination_;  // where the last save went
  PreviewSource previewSource_;
  void UpdatePreview();
  QPointer<QDialog> noDevice_;
  // The search's and the save's speed and time left, shown beside their bars.
  QElapsedTimer clock_;
  RateMeter searchRate_, saveRate_;
  QLabel* searchRateText_ = nullptr;
  std::map<int, QPointer<QDialog>> progressDialogs_;
  int shownPage_ = 0;
  bool listing_ = false;                  // a click in the results tree asked for a folder's list
  QLabel* populate_ = nullptr;            // the "Populating List Items" window shown meanwhile
  QHash<int, QList<QWidget*>> pageOnly_;  // the window's own controls, by the page they belong to
  bool ended_ = false;
  int exitCode_ = 0;
};

}  // namespace quarrow::gui
