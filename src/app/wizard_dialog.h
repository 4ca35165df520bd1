#pragma once
// CChildDialogExDemoDlg: the four-page wizard as toolkit-free page logic. It owns the wizard state
// (the page, the search mode, the selected disk, the partition type and search mode texts, the
// search range, the log folder, the running jobs, the guidance text) and has one handler per
// control and event. A window forwards its clicks, keys, expansions and dialog buttons here and
// shows what the page logic sets through the Surface; the tests do the same with a fake Surface.
//
//   FakeSurface surface;                       // or the Qt window
//   CChildDialogExDemoDlg wizard(surface, options);
//   wizard.OnInitDialog();                     // fills the disk tree, the guidance
//   wizard.OnTreeClick(id::kDiskTree, item);   // the disk's 14 detail rows
//   wizard.OnRadioHover(id::kStandardSearchRadio);
//   wizard.OnCommand(id::kNext);               // the partition page
//
// Pages: 0 disk, 1 partition, 2 file-system choice (Advance search), 3 results. Long work runs on
// the session's workers; their reports reach the Surface through Surface::Post, so every handler
// and every report runs on the UI thread.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/surface.h"
#include "core/volume.h"
#include "results/tree_model.h"

namespace quarrow::app {

// Keys the wizard sees before the focused control does.
enum class WizardKey { kEnter, kSpace, kEscape, kTab, kF1, kF6, kF7, kLeft, kRight, kUp, kDown };

struct FilePreview {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::string estimate;  // "" for a live file
};

struct WizardOptions {
  // Disk images listed as removable disks after the machine's disks (the test disks; --image).
  std::vector<std::string> images;
  // Where the machine's disks are looked up; "" lists images only.
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  // The disk-parameter store rewritten at every refresh of the disk list ("" keeps it unwritten).
  std::string parameterStorePath;
  // The system's temporary folder, the log folder's first value.
  std::string tempFolder = "/tmp";
  // The user guide Help opens, and the addresses the links open.
  std::string userGuide;
  std::string webAddress;
  std::string mailAddress;
  // The local time now (the catch-all folder's row shows it); the real clock when empty.
  std::function<std::tm()> localNow;
  // Called on the worker as each job starts, before the job reads anything: a test holds a job
  // there to stop it at a moment of its choosing.
  std::function<void()> jobStarting;
};

class CChildDialogExDemoDlg {
 public:
  CChildDialogExDemoDlg(Surface& surface, WizardOptions options);
  // Stops every job and waits for it; questions still waiting are answered No.
  ~CChildDialogExDemoDlg();
  CChildDialogExDemoDlg(const CChildDialogExDemoDlg&) = delete;
  CChildDialogExDemoDlg& operator=(const CChildDialogExDemoDlg&) = delete;

  // Dialog start: columns, the disk tree, the log folder, the guidance; the No device dialog when
  // no disk is listed.
  void OnInitDialog();

  // A button, a toolbar command, a menu command or a dialog's button, by control ID; dispatches to
  // the handlers below. Unknown IDs are ignored.
  void OnCommand(int controlId);

  // Toolbar and page commands.
  void OnNext();                  // 1058
  void OnBack();                  // 1059
  void OnSearchMorePartitions();  // 1062
  void OnStopPartitionSearch();   // 1110 (STOP): asks before it stops
  void OnRefreshList();           // 1135
  void OnEntireDisk();            // 1095
  void OnSectorRange();           // 1096
  void OnSearchEntireDisk();      // 1091
  void OnHelp();                  // 1055, F1
  void OnAbout();                 // 1114, 1115, the system menu's "About Quarrow..."
  void OnExit();                  // 1056 and closing the window
  void OnSystemMenuExit();        // the system menu's Exit
  void OnStopSearch();            // 1092
  void OnLoadLog();               // 1057
  void OnSaveLog();               // 1106
  void OnSave();                  // 1054, menu 253 "Save", menu 252 "Save"
  void OnSaveAll();               // menu 252 "Save All"
  void OnOpen();                  // menu 252 "Open"
  void OnSavingStop();            // Saving dialog's "Stop"
  void OnSavingSkip();            // Saving dialog's "Skip"

  // The mode radios: the pointer moving over one checks it; the button's own click (as the keyboard
  // sends it) does the same; a mouse press on them does nothing (returns true: swallowed).
  void OnRadioHover(int radioId);
  void OnRadioClicked(int radioId);
  bool OnRadioMouseDown(int radioId);

  // A link (the wizard's 1189, or one in an information dialog).
  void OnLink(int linkId);
  // The No device dialog's buttons; closing its window is Exit.
  void OnNoDeviceRetry();
  void OnNoDeviceExit();

  // Trees: a click on an item (kNoItem: on no item), a click on an item's check box, an item about
  // to expand or collapse, a right click (menu 253 on the results page).
  void OnTreeClick(int treeId, TreeItem item);
  void OnTreeCheckBoxClick(int treeId, TreeItem item);
  void OnTreeExpanding(int treeId, TreeItem item, bool expanding);
  void OnTreeRightClick(int treeId, TreeItem item);
  // DetailsList: a click, a double click (Open), a right click on a row (menu 252), a header click.
  void OnListClick(int row);
  void OnListDoubleClick(int row);
  void OnListRightClick(int row);
  void OnListHeaderClick(int column);
  // The file-type list 1107: the row whose check box was changed.
  void OnFileTypeChecked(int row, bool checked);
  // Focus moved to a control (the tree or the list, for Tab).
  void OnFocus(int controlId);
  // A key seen before the focused control; true when the wizard swallowed it.
  bool OnKey(WizardKey key);

  // The wizard state, for the window and the tests.
  int Page() const;
  SearchMode Mode() const;
  const std::string& Guidance() const;
  int SelectedDisk() const;  // -1 before a disk was clicked
  const std::string& PartitionTypeText() const;
  const std::string& SearchModeText() const;
  std::uint64_t StartSector() const;
  std::uint64_t EndSector() const;
  const std::string& LogFolder() const;
  // True while a search, a partition search, a log load, a save or a listing runs.
  bool Busy() const;
  // Whether the last search stage that ended was cut short by a stop (it then worked on what it
  // had found).
  bool Stopped() const;
  // The trees the wizard holds (null when it has none).
  mytreectrl* DiskTree();
  mytreectrl* PartitionTree();
  mytreectrl* FileSystemTree();
  mytreectrl* ResultsTree();
  // What DetailsList shows now.
  const ListContent& DetailsContent() const;
  // The first bytes (at most maxBytes) of the file a row of the results list shows, as the disk
  // holds them now, read through the volume's data source and never written anywhere; a deleted
  // file's estimate with them. Nothing for a folder row, off the results page, or while work
  // runs on the volume.
  std::optional<FilePreview> PreviewListRow(int row, std::size_t maxBytes) const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace quarrow::app
