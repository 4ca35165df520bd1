#include "app/wizard_dialog.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <future>
#include <optional>
#include <string_view>
#include <utility>

#include "app/info_dialogs.h"
#include "app/results_page.h"
#include "app/save_summary.h"
#include "app/search_outcomes.h"
#include "app/wizard_texts.h"
#include "disk/disk_inventory.h"
#include "disk/platform.h"
#include "fat/fs_analysis.h"
#include "partition/lost_partition_search.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"
#include "recovery/output_file.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/disk_session.h"
#include "session/list_worker.h"
#include "session/recovery_run.h"
#include "session/scan_log.h"
#include "session/search_session.h"
#include "session/search_setup.h"
#include "session/standard_search.h"

namespace quarrow::app {

namespace {

enum class Job { kNone, kPartitionSearch, kScan, kSecondStage, kLoadLog, kSave };

// The Advance search's range controls, hidden while a lost-partition search runs.
constexpr int kAdvanceRangeControls[] = {id::kAdvanceFrame,    id::kAdvanceEndLabel, id::kAdvanceStartLabel,
                                         id::kStartSectorEdit, id::kEndSectorEdit,   id::kPartitionTypeCombo};

ListContent NameValueContent(const std::vector<std::pair<std::string, std::string>>& rows) {
  ListContent content;
  content.columns = {{"Name", 242}, {"Value", 243}};
  for (const auto& [name, value] : rows) content.rows.push_back({{name, value}, -1, false, -1});
  return content;
}

ListContent ResultsContent(const DetailsList& list) {
  ListContent content;
  for (const DetailsColumn& column : list.columns) content.columns.push_back({column.header, column.width});
  for (const DetailsRow& row : list.rows) {
    ListRow shown;
    shown.cells = {row.name,     row.type,   row.size,   row.date,  row.time,
                   row.estimate, row.debug1, row.debug2, row.debug3};
    shown.cells.resize(content.columns.size());
    shown.image = row.image == RowImage::kFolder ? 0 : 1;
    shown.deleted = row.deleted;
    content.rows.push_back(std::move(shown));
  }
  return content;
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

// A sector number as the user typed it: decimal digits only (spaces around them allowed), no sign,
// no trailing text, within 64 bits.
std::optional<std::uint64_t> ParseSectorText(std::string_view text) {
  const std::string trimmed = Trimmed(text);
  if (trimmed.empty()) return std::nullopt;
  for (char c : trimmed) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || end != trimmed.data() + trimmed.size()) return std::nullopt;
  return value;
}

// What the engines report, shown on the Surface (on the UI thread: the session drains its queue
// into this).
class SurfaceFeedback : public Feedback {
 public:
  explicit SurfaceFeedback(CChildDialogExDemoDlg::State& state) : state_(state) {}
  void SetText(int controlId, std::string_view text) override;
  void SetProgress(int controlId, int position, std::string_view barText) override;
  void ShowControl(int controlId, bool visible) override;
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override;
  void StageBegun(SearchStage stage) override;

 private:
  CChildDialogExDemoDlg::State& state_;
};

struct CChildDialogExDemoDlg::State {
  State(CChildDialogExDemoDlg& owner, Surface& surface, WizardOptions opts)
      : self(owner), ui(surface), options(std::move(opts)), feedback(*this) {}

  CChildDialogExDemoDlg& self;
  Surface& ui;
  WizardOptions options;
  std::shared_ptr<int> alive = std::make_shared<int>(0);

  int page = 0;
  SearchMode mode = SearchMode::kNone;
  std::string guidance;
  bool radiosEnabled = false;

  std::unique_ptr<DiskSession> disks;
  std::unique_ptr<mytreectrl> diskTree;
  std::vector<std::pair<TreeItem, std::size_t>> diskItems;  // item -> index into disks->Disks()
  TreeItem shownDiskItem = kNoItem;
  int selectedDisk = -1;
  const ListedDisk* disk = nullptr;
  SelectedDiskValues diskValues;
  bool noDeviceOpen = false;

  PartitionState partitions;
  std::unique_ptr<mytreectrl> partitionTree;
  int partitionIndex = 0;
  std::string marker;
  std::string partitionTypeText;
  std::string searchModeText;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::string startText, endText;  // what 1069 and 1071 showed when the search started
  std::string logFolder;

  std::unique_ptr<ScanContext> ctx;
  std::unique_ptr<AdvanceSearch> advance;
  std::unique_ptr<mytreectrl> fileSystemTree;
  std::vector<TreeItem> fileSystemItems;
  int chosenFileSystem = 0;
  DetailsList resultsList;
  ListContent details;
  ResultsTreeFlags flags;
  bool focusOnList = false;
  // The file-type list as shown, and the row last checked or cleared in it (-1 before any).
  ListContent fileTypes;
  int chosenFileType = -1;

  Job job = Job::kNone;
  bool lastStopped = false;
  std::uint64_t jobNumber = 0;  // a finished job whose number is not this one is not applied
  SurfaceFeedback feedback;

  // Declared last: destroyed first, so no job outlives what it works on.
  std::unique_ptr<ListWorker> lister;
  std::unique_ptr<SearchSession> session;

  // --- helpers ---
  void Post(std::function<void()> call) {
    std::weak_ptr<int> living = alive;
    ui.Post([living, call = std::move(call)] {
      if (living.lock()) call();
    });
  }
  void SetGuidance(std::string_view text) {
    guidance = std::string(text);
    ui.SetGuidance(text);
  }
  void SetDetails(ListContent content) {
    details = std::move(content);
    ui.SetList(id::kDetailsList, details);
  }
  void SetDetailRows(const std::vector<PartitionDetailsRow>& rows) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& row : rows) pairs.emplace_back(row.name, row.value);
    SetDetails(NameValueContent(pairs));
  }
  void ShowResultsList() { SetDetails(ResultsContent(resultsList)); }
  void ShowAdvice(AdviceDialog advice) { ui.ShowDialog(InfoDialog(AdviceDialogId(advice))); }
  MessageAnswer Message(std::string_view text, MessageIcon icon, std::string_view title = kProductTitle) {
    MessageSpec spec;
    spec.text = std::string(text);
    spec.title = std::string(title);
    spec.icon = icon;
    if (icon == MessageIcon::kQuestion) {
      spec.buttons = MessageButtons::kYesNo;
      spec.defaultAnswer = MessageAnswer::kNo;
    }
    return ui.Message(spec);
  }
  bool JobRunning() const { return job != Job::kNone; }
  std::tm Now() const {
    if (options.localNow) return options.localNow();
    return LocalTimeNow();
  }

  // Runs job on the session; finished runs on the UI thread after the job's last report, unless a
  // later job (or a page change) made it stale.
  void StartJob(Job kind, std::function<void(std::stop_token)> work, std::function<void()> finished) {
    job = kind;
    const std::uint64_t number = ++jobNumber;
    if (options.jobStarting) {
      work = [starting = options.jobStarting, work = std::move(work)](std::stop_token stop) {
        starting();
        work(stop);
      };
    }
    session->Start(std::move(work), [this, number, finished = std::move(finished)] {
      if (number != jobNumber) return;
      job = Job::kNone;
      if (ctx) ctx->SetFeedback(feedback);
      if (finished) finished();
    });
  }
  // Stops the running job and waits for it, answering its questions meanwhile (a job may wait on
  // a message box that only this thread can show).
  void StopAndWait() {
    if (lister) lister->CancelAndWait();
    if (!session) return;
    session->RequestStop();
    while (session->Running()) {
      session->Queue().Wait(std::chrono::milliseconds(20));
      session->Drain(feedback);
    }
    session->Wait();
    session->Drain(feedback);
  }

  void RefreshDiskList();
  void OpenNoDevice();
  void EnterPartitionPage();
  void ApplyPartitionDetails(const PartitionDetails& shown);
  void StartPartitionSearch(bool automatic);
  void EndPartitionSearch(const LostPartitionOutcome& outcome);
  void OnStageBegun(SearchStage stage);
  void StartScan();
  void ShowResultsPage();
  void ShowFileSystemChoice(bool afterStop);
  void ListItem(TreeItem item, bool listOnClick);
  void ClearResults();
  void SaveLog();
  void SaveSelection(bool allRows);

  std::unique_ptr<RecoveryRun> recovery;
  std::unique_ptr<ReplaceQuestion> replace;
  std::string lastDestination;
  bool calculatingOpen = false, savingOpen = false;
};

// --- SurfaceFeedback ---

void SurfaceFeedback::SetText(int controlId, std::string_view text) {
  state_.ui.SetText(controlId, text);
}
void SurfaceFeedback::SetProgress(int controlId, int position, std::string_view barText) {
  state_.ui.SetProgress(controlId, position, barText);
}
void SurfaceFeedback::ShowControl(int controlId, bool visible) {
  state_.ui.Show(controlId, visible);
}
bool SurfaceFeedback::MessageBox(std::string_view text, std::string_view title, MessageIcon icon) {
  const MessageAnswer answer = state_.Message(text, icon, title);
  return icon == MessageIcon::kQuestion ? answer == MessageAnswer::kYes : true;
}
void SurfaceFeedback::StageBegun(SearchStage stage) {
  state_.OnStageBegun(stage);
}

// --- the disk page ---

void CChildDialogExDemoDlg::State::RefreshDiskList() {
  if (diskTree) ui.SetTree(id::kDiskTree, nullptr);
  ctx.reset();
  disk = nullptr;
  DiskSessionOptions diskOptions;
  diskOptions.sysfsRoot = options.sysfsRoot;
  diskOptions.devRoot = options.devRoot;
  diskOptions.writeParameters = !options.parameterStorePath.empty();
  diskOptions.parameterStorePath = options.parameterStorePath;
  disks = std::make_unique<DiskSession>(options.images, diskOptions);
  diskTree = std::make_unique<mytreectrl>(TreeKind::kDisks, 0);
  diskItems.clear();
  shownDiskItem = kNoItem;
  for (std::size_t i = 0; i < disks->Disks().size(); ++i) {
    const TreeItem item = diskTree->InsertItem(diskTree->Root(), disks->Disks()[i].label,
                                               tree_image::kDriveLit, tree_image::kDriveLit);
    diskItems.emplace_back(item, i);
  }
  diskTree->Expand(diskTree->Root(), true);
  ui.SetTree(id::kDiskTree, diskTree.get());
  // An image that cannot be opened is not listed: the user is told why (and, for want of
  // permission, what to do) instead of finding nothing.
  for (const std::string& error : disks->Errors()) Message(error, MessageIcon::kError);
}

void CChildDialogExDemoDlg::State::OpenNoDevice() {
  if (noDeviceOpen) return;
  noDeviceOpen = true;
  ui.OpenNoDeviceDialog(InfoDialog(DialogId::kNoDevice));
}

CChildDialogExDemoDlg::CChildDialogExDemoDlg(Surface& surface, WizardOptions options)
    : state_(std::make_unique<State>(*this, surface, std::move(options))) {
  State& s = *state_;
  s.session = std::make_unique<SearchSession>([&s] {
    s.Post([&s] {
      if (s.session) s.session->Drain(s.feedback);
    });
  });
  s.lister = std::make_unique<ListWorker>([&s](std::function<void()> call) { s.Post(std::move(call)); });
}

CChildDialogExDemoDlg::~CChildDialogExDemoDlg() {
  State& s = *state_;
  s.lister.reset();
  if (s.session) s.session->Close();
  // The views let go of the models before they are destroyed.
  s.ui.SetTree(id::kResultsTree, nullptr);
  s.ui.SetTree(id::kFileSystemTree, nullptr);
  s.ui.SetTree(id::kPartitionTree, nullptr);
  s.ui.SetTree(id::kDiskTree, nullptr);
}

void CChildDialogExDemoDlg::OnInitDialog() {
  State& s = *state_;
  s.SetDetails(NameValueContent({}));
  s.fileTypes.columns = {{"File Types", 260}};
  for (const char* row : {"Microsoft Word File(s) (.DOC)", "Microsoft Excel File(s) (.XLS)",
                          "Microsoft PowerPoint File(s) (.PPT)", "Compressed File(s) (.Zip)"}) {
    s.fileTypes.rows.push_back({{row}, -1, false, 0});
  }
  s.ui.SetList(id::kFileTypeList, s.fileTypes);
  ListContent recovered;
  recovered.columns = {{"Files Recovered", 440}};
  s.ui.SetList(id::kFilesRecovered, recovered);

  s.RefreshDiskList();
  s.logFolder = s.options.tempFolder;
  s.ui.SetText(id::kLogFolderEdit, s.logFolder);
  s.SetGuidance(kStartGuidance);
  for (int control : {id::kStandardSearchRadio, id::kAdvanceSearchRadio}) {
    s.ui.SetChecked(control, false);
    s.ui.Enable(control, false);
  }
  s.radiosEnabled = false;
  s.ui.Enable(id::kNext, false);
  s.ui.Enable(id::kBack, false);
  s.ui.Enable(id::kLoadLog, false);
  s.ui.Enable(id::kSaveLog, false);
  s.ui.Enable(id::kSave, false);
  for (int control :
       {id::kStopSearch, id::kStopPartitionSearch, id::kPartitionTree, id::kFileSystemTree, id::kResultsTree,
        id::kSearchMorePartitions, id::kPartitionSearchProgress, id::kPartitionSearchText}) {
    s.ui.Show(control, false);
  }
  s.ui.Show(id::kDiskTree, true);
  if (s.diskTree->Children(s.diskTree->Root()).empty()) s.OpenNoDevice();
}

void CChildDialogExDemoDlg::OnNoDeviceRetry() {
  State& s = *state_;
  if (s.page != 0 || s.JobRunning()) return;
  s.RefreshDiskList();
  s.SetDetails(NameValueContent({}));
  if (!s.diskTree->Children(s.diskTree->Root()).empty()) {
    s.noDeviceOpen = false;
    s.ui.CloseNoDeviceDialog();
  }
}

void CChildDialogExDemoDlg::OnNoDeviceExit() {
  State& s = *state_;
  s.noDeviceOpen = false;
  s.ui.CloseNoDeviceDialog();
  s.StopAndWait();
  if (!s.options.webAddress.empty()) s.ui.OpenExternal(s.options.webAddress);
  s.ui.EndWizard(0);
}

void CChildDialogExDemoDlg::OnRefreshList() {
  State& s = *state_;
  if (s.page != 0 || s.JobRunning()) return;
  s.RefreshDiskList();
  s.SetDetails(NameValueContent({}));
  s.selectedDisk = -1;
  s.mode = SearchMode::kNone;
  for (int control : {id::kStandardSearchRadio, id::kAdvanceSearchRadio}) {
    s.ui.SetChecked(control, false);
    s.ui.Enable(control, false);
  }
  s.radiosEnabled = false;
  s.ui.Enable(id::kNext, false);
  if (s.diskTree->Children(s.diskTree->Root()).empty()) s.OpenNoDevice();
}

void CChildDialogExDemoDlg::OnRadioHover(int radioId) {
  State& s = *state_;
  if (s.page != 0 || !s.radiosEnabled) return;
  const bool standard = radioId == id::kStandardSearchRadio;
  if (!standard && radioId != id::kAdvanceSearchRadio) return;
  s.ui.SetChecked(id::kStandardSearchRadio, standard);
  s.ui.SetChecked(id::kAdvanceSearchRadio, !standard);
  s.mode = standard ? SearchMode::kStandard : SearchMode::kAdvance;
  s.ui.Enable(id::kNext, true);
}

void CChildDialogExDemoDlg::OnRadioClicked(int radioId) {
  OnRadioHover(radioId);
}

bool CChildDialogExDemoDlg::OnRadioMouseDown(int radioId) {
  (void)radioId;
  return true;  // the pointer already chose; the press itself changes nothing
}

void CChildDialogExDemoDlg::OnEntireDisk() {
  State& s = *state_;
  for (int control : {id::kRangeFromEdit, id::kRangeToEdit}) {
    s.ui.Enable(control, false);
    s.ui.SetText(control, "");
  }
}

void CChildDialogExDemoDlg::OnSectorRange() {
  State& s = *state_;
  s.ui.Enable(id::kRangeFromEdit, true);
  s.ui.Enable(id::kRangeToEdit, true);
  s.ui.SetText(id::kRangeFromEdit, "0");
  s.ui.SetText(id::kRangeToEdit, std::to_string(s.disk ? s.disk->totalSectors : s.diskValues.totalSectors));
}

// --- the partition page ---

void CChildDialogExDemoDlg::State::ApplyPartitionDetails(const PartitionDetails& shown) {
  ui.SetText(id::kStartSectorEdit, shown.startText);
  ui.SetText(id::kEndSectorEdit, shown.endText);
  for (int control : {id::kStartSectorEdit, id::kEndSectorEdit, id::kPartitionTypeCombo})
    ui.Enable(control, shown.rangeEditable);
  if (shown.comboIndex >= 0) {
    ui.SetComboIndex(id::kPartitionTypeCombo, shown.comboIndex);
  } else if (mode == SearchMode::kAdvance) {
    ui.SetComboIndex(id::kPartitionTypeCombo, lost_partition_control::kNoTypeEntry);
  }
  SetDetailRows(shown.rows);
  if (shown.expandRoot && partitionTree) partitionTree->Expand(partitionTree->Root(), true);
}

void CChildDialogExDemoDlg::State::EnterPartitionPage() {
  ui.Show(id::kDiskTree, false);
  if (partitionTree) ui.SetTree(id::kPartitionTree, nullptr);
  partitionTree = std::make_unique<mytreectrl>(TreeKind::kPartitions, selectedDisk);
  PartitionList& list = partitions.ForDisk(selectedDisk);
  list.Clear();
  WalkPartitionTable(disks->Reader(), selectedDisk, disk->totalSectors, *partitionTree, partitions);
  ui.SetTree(id::kPartitionTree, partitionTree.get());
  ui.Show(id::kPartitionTree, true);

  searchModeText = mode == SearchMode::kStandard ? "Standard Search " : "Advance Search";
  ui.SetText(id::kSearchModeText, searchModeText);
  const DiskTexts texts{diskValues.totalSectorsText, diskValues.sizeText};
  partitionIndex = 0;
  PartitionDetails shown = PartitionDetailsFor(list, list.count > 0 ? list.Name(0) : kUnknownPartition, 0,
                                               selectedDisk, mode, texts);
  if (mode == SearchMode::kAdvance && list.count > 0) {
    const PartitionEntry first = list.At(0);
    if (first.endSector <= first.firstSector) shown.endText = diskValues.totalSectorsText;
  }
  if (list.count == 0) shown.rows.clear();
  ApplyPartitionDetails(shown);
  for (int control :
       {id::kSearchMorePartitions, id::kAdvanceFrame, id::kAdvanceStartLabel, id::kAdvanceEndLabel,
        id::kStartSectorEdit, id::kEndSectorEdit, id::kPartitionTypeCombo, id::kSearchModeText}) {
    ui.Show(control, true);
  }
  ui.Enable(id::kSearchMorePartitions, true);
  ui.Enable(id::kNext, true);
  ui.Enable(id::kBack, true);
  ui.Enable(id::kLoadLog, true);
  ui.Show(id::kNext, true);
  ui.Show(id::kBack, true);

  marker.clear();
  if (list.count == 0) StartPartitionSearch(/*automatic=*/true);
  page = 1;
  if (!list.entries.empty() && list.count > 0) {
    partitionTree->Select(list.entries[0].item);
    ui.SetFocus(id::kPartitionTree);
  }
  if (job != Job::kPartitionSearch) SetGuidance(kPartitionGuidance);
}

void CChildDialogExDemoDlg::State::StartPartitionSearch(bool automatic) {
  if (JobRunning() || !disk) return;
  PartitionList& list = partitions.ForDisk(selectedDisk);
  // The search works on copies of the list and the tree, which replace the shown ones when it
  // ends: the shown tree is only ever changed on this thread.
  struct Work {
    PartitionList list;
    mytreectrl tree{TreeKind::kPartitions, 0};
    LostPartitionOutcome outcome;
  };
  auto work = std::make_shared<Work>();
  work->list = list;
  work->tree = *partitionTree;
  work->tree.SetObserver(nullptr);

  if (automatic) {
    SetGuidance(kCorruptedTableGuidance);
    ui.Show(id::kSearchMorePartitions, false);
    ui.Show(id::kStopPartitionSearch, true);
    if (mode == SearchMode::kAdvance) marker = std::string(kAdvanceMarker);
  } else {
    SetGuidance(kSearchingPartitionsGuidance);
    ui.Show(id::kSearchMorePartitions, false);
    ui.Show(id::kPartitionSearchProgress, true);
    ui.SetText(id::kPartitionSearchText, "Searching Partition...");
    ui.Show(id::kPartitionSearchText, true);
    ui.Show(id::kStopPartitionSearch, true);
    ui.Enable(id::kLoadLog, false);
  }
  if (mode == SearchMode::kAdvance) {
    for (int control : kAdvanceRangeControls) ui.Show(control, false);
    for (int control : {id::kPartitionTypeCombo, id::kStartSectorEdit, id::kEndSectorEdit})
      ui.Enable(control, false);
  }
  ui.Enable(id::kNext, false);
  ui.Enable(id::kBack, false);
  ui.Enable(id::kSearchMorePartitions, false);
  ui.Show(id::kPartitionSearchProgress, true);
  ui.Show(id::kPartitionSearchText, true);

  LostPartitionDisk target = LostPartitionDiskFor(disks->Reader(), selectedDisk, diskValues);
  target.texts = {diskValues.totalSectorsText, diskValues.sizeText};
  const SearchMode searchMode = mode;
  Feedback& reports = session->Reports();
  QueuedFeedback& queue = session->Queue();
  std::weak_ptr<int> living = alive;
  StartJob(
      Job::kPartitionSearch,
      [work, target = std::move(target), searchMode, &reports, &queue, living, this](std::stop_token stop) {
        LostPartitionHooks hooks;
        hooks.selectPartitionType = [&queue, living, this](int index) {
          queue.Post([living, this, index] {
            if (living.lock()) ui.SetComboIndex(id::kPartitionTypeCombo, index);
          });
        };
        LostPartitionSearch search(target, work->list, work->tree, reports, searchMode, hooks);
        std::stop_callback onStop(stop, [&search] { search.RequestStop(); });
        work->outcome = search.RunOnThisThread();
      },
      [this, work] {
        EndPartitionSearch(work->outcome);
        ui.SetTree(id::kPartitionTree, nullptr);
        partitions.ForDisk(selectedDisk) = work->list;
        partitionTree = std::make_unique<mytreectrl>(work->tree);
        ui.SetTree(id::kPartitionTree, partitionTree.get());
        if (work->outcome.details) ApplyPartitionDetails(*work->outcome.details);
        partitionIndex = 0;
      });
}

// A stage of the running search has begun: once the reading is over a stop has nothing left to cut
// short, and the guidance may ask the user to wait.
void CChildDialogExDemoDlg::State::OnStageBegun(SearchStage stage) {
  if (job != Job::kScan && job != Job::kSecondStage) return;
  ui.Show(id::kStopSearch, false);
  ui.Enable(id::kStopSearch, false);
  const FsType type = ctx ? ctx->partitionType : FsType::kNone;
  if (auto guidance = GuidanceAtStage(stage, job == Job::kScan, type)) SetGuidance(*guidance);
}

// The partition page once a lost-partition search has ended: its controls back, the guidance
// saying how it ended.
void CChildDialogExDemoDlg::State::EndPartitionSearch(const LostPartitionOutcome& outcome) {
  SetGuidance(GuidanceAfterPartitionSearch(outcome));
  ui.Show(id::kSearchMorePartitions, true);
  ui.Enable(id::kSearchMorePartitions, true);
  for (int control : {id::kPartitionSearchProgress, id::kPartitionSearchText, id::kStopPartitionSearch})
    ui.Show(control, false);
  for (int control : {id::kNext, id::kBack, id::kLoadLog}) ui.Enable(control, true);
  if (!outcome.stopped) ui.Enable(id::kSave, false);
  if (mode == SearchMode::kAdvance) {
    for (int control : kAdvanceRangeControls) {
      ui.Show(control, true);
      ui.Enable(control, true);
    }
  }
}

void CChildDialogExDemoDlg::OnSearchMorePartitions() {
  State& s = *state_;
  if (s.page != 1 || s.JobRunning()) return;
  s.StartPartitionSearch(/*automatic=*/false);
}

void CChildDialogExDemoDlg::OnStopPartitionSearch() {
  State& s = *state_;
  if (s.job != Job::kPartitionSearch) return;
  if (s.Message(kStopSearchQuestion, MessageIcon::kQuestion) != MessageAnswer::kYes) return;
  if (s.job == Job::kPartitionSearch) s.session->RequestStop();
}

void CChildDialogExDemoDlg::OnSearchEntireDisk() {
  State& s = *state_;
  if (s.page != 1 || s.JobRunning()) return;
  for (int control : {id::kSearchMorePartitions, id::kPartitionTree, id::kStartSectorEdit, id::kEndSectorEdit,
                      id::kPartitionTypeCombo}) {
    s.ui.Enable(control, true);
  }
  const PartitionList& list = s.partitions.ForDisk(s.selectedDisk);
  const PartitionEntry first = list.At(0);
  s.ui.SetText(id::kStartSectorEdit, std::to_string(first.firstSector));
  if (first.endSector <= first.firstSector) {
    s.ui.SetText(id::kEndSectorEdit, s.diskValues.totalSectorsText);
  } else if (list.count > 0) {
    s.partitionTree->Select(first.item);
    s.ui.SetFocus(id::kPartitionTree);
  }
}

// --- Next, Back ---

void CChildDialogExDemoDlg::OnNext() {
  State& s = *state_;
  if (s.JobRunning()) return;
  if (s.page == 0) {
    if (s.mode == SearchMode::kNone || s.selectedDisk < 0 || !s.disk) return;
    s.logFolder = s.ui.Text(id::kLogFolderEdit);
    if (s.logFolder.empty()) {
      s.logFolder = s.options.tempFolder;
      s.ui.SetText(id::kLogFolderEdit, s.logFolder);
    }
    std::string error;
    s.disk = s.disks->Select(std::to_string(s.selectedDisk), &error);
    if (!s.disk) {
      s.Message(error, MessageIcon::kError);
      return;
    }
    s.ctx = std::make_unique<ScanContext>(s.feedback);
    s.ctx->reader = &s.disks->Reader();
    s.ctx->diskNumber = s.selectedDisk;
    s.EnterPartitionPage();
    return;
  }
  if (s.page == 1) {
    for (int control : {id::kNext, id::kBack, id::kLoadLog}) s.ui.Enable(control, false);
    auto reenable = [&s] {
      for (int control : {id::kNext, id::kBack, id::kLoadLog}) s.ui.Enable(control, true);
    };
    const int combo = s.ui.ComboIndex(id::kPartitionTypeCombo);
    if (combo < 0 || combo > 4 || combo == lost_partition_control::kNoTypeEntry) {
      if (s.mode == SearchMode::kAdvance) {
        s.Message("Select partition type", MessageIcon::kError);
        s.SetGuidance(kSelectTypeGuidance);
      } else {
        s.ui.ShowDialog(InfoDialog(DialogId::kStandardAdvice));
        s.SetGuidance(kStandardAdviceGuidance);
      }
      reenable();
      return;
    }
    static constexpr const char* kTypes[] = {"FAT16", "FAT32", "NTFS", "", "exFAT"};
    const std::string typeText = kTypes[combo];
    const std::string startText = s.ui.Text(id::kStartSectorEdit);
    const std::optional<std::uint64_t> start = ParseSectorText(startText);
    if (!start) {
      s.Message("Start sector is not valid", MessageIcon::kError);
      reenable();
      return;
    }
    const std::string endText = s.ui.Text(id::kEndSectorEdit);
    const std::optional<std::uint64_t> end = ParseSectorText(endText);
    if (!end) {
      s.Message("Ending sector is not valid", MessageIcon::kError);
      reenable();
      return;
    }
    if (*end <= *start) {
      if (s.mode == SearchMode::kStandard) {
        s.ui.ShowDialog(InfoDialog(DialogId::kStandardAdvice));
        s.SetGuidance(kStandardAdviceGuidance);
      } else {
        s.Message("Ending sector is not valid", MessageIcon::kError);
      }
      reenable();
      return;
    }
    s.partitionTypeText = typeText;
    s.start = *start;
    s.end = *end;
    s.startText = startText;
    s.endText = endText;
    s.StartScan();
    return;
  }
  if (s.page == 2) {
    if (!s.advance || s.fileSystemItems.empty()) return;
    s.SetGuidance(kSaveGuidancePanel);
    s.ui.Enable(id::kLoadLog, false);
    s.ui.Enable(id::kSave, false);
    s.ui.Enable(id::kSaveLog, false);
    s.ui.Show(id::kNext, false);
    s.ui.Enable(id::kNext, false);
    s.ui.Enable(id::kBack, false);
    s.ctx->SetFeedback(s.session->Reports());
    AdvanceSearch* search = s.advance.get();
    const int chosen = s.chosenFileSystem;
    auto outcome = std::make_shared<SecondStageOutcome>();
    s.StartJob(
        Job::kSecondStage,
        [search, chosen, outcome](std::stop_token stop) {
          *outcome = search->RunSecondStage(chosen, nullptr, stop);
        },
        [&s, outcome] {
          s.lastStopped = outcome->stopped;
          if (outcome->refused) {
            s.Message(*outcome->refused, MessageIcon::kError);
            s.ui.Show(id::kNext, true);
            s.ui.Enable(id::kBack, true);
            return;
          }
          s.ShowResultsPage();
          s.SetGuidance(kSaveGuidancePanel);
        });
  }
}

void CChildDialogExDemoDlg::State::StartScan() {
  SetDetails(NameValueContent({
      {"Disk Number : ", std::to_string(selectedDisk)},
      {"Partiton Number : ", std::to_string(partitionIndex + 1)},
      {"Partition Type : ", partitionTypeText},
      {"Search Range : ", std::to_string(start) + " to " + std::to_string(end)},
      {"Search Mode : ", searchModeText},
  }));
  ui.SetText(id::kSearchDiskText, std::to_string(selectedDisk));
  ui.SetText(id::kSearchRangeText, std::to_string(start) + " to " + std::to_string(end));
  ui.SetText(id::kSearchTypeText, partitionTypeText);
  ui.SetText(id::kSearchCriteriaText, searchModeText);
  ui.Show(id::kPartitionTree, false);
  for (int control :
       {id::kSearchMorePartitions, id::kAdvanceFrame, id::kAdvanceStartLabel, id::kAdvanceEndLabel,
        id::kStartSectorEdit, id::kEndSectorEdit, id::kPartitionTypeCombo, id::kSearchModeText}) {
    ui.Show(control, false);
  }
  for (int control : {id::kSearchDiskText, id::kSearchRangeText, id::kSearchTypeText, id::kSearchCriteriaText,
                      id::kStatus, id::kProgress, id::kFolderCounterLabel, id::kFolderCounter}) {
    ui.Show(control, true);
  }
  // The page follows the search mode itself, never its text.
  page = mode == SearchMode::kStandard ? 3 : 2;
  SetGuidance(kSearchingGuidance);

  // The range as entered, set up as the command line sets its --start, --end and --type up.
  SearchTarget target;
  target.range = SearchRange{start, end, FsTypeFromText(partitionTypeText).value_or(FsType::kNone)};
  target.codePage = ctx->codePage.Number();
  if (std::optional<std::string> refused = SetUpSearch(*disks, *disk, target, *ctx)) {
    Message(*refused, MessageIcon::kError);
    page = 1;
    EnterPartitionPage();
    return;
  }
  ui.SetTree(id::kResultsTree, nullptr);
  ctx->SetFeedback(session->Reports());
  ui.Enable(id::kNext, false);
  ui.Enable(id::kBack, false);
  ui.Show(id::kStopSearch, true);
  ui.Enable(id::kStopSearch, true);
  ScanContext* scan = ctx.get();
  if (mode == SearchMode::kStandard) {
    auto outcome = std::make_shared<StandardSearchOutcome>();
    StartJob(
        Job::kScan,
        [scan, outcome](std::stop_token stop) {
          StandardSearch search(*scan);
          std::stop_callback onStop(stop, [&search] { search.RequestStop(); });
          *outcome = search.Run(nullptr);
        },
        [this, outcome] {
          lastStopped = outcome->stopped;
          if (outcome->refused) {
            Message(*outcome->refused, MessageIcon::kError);
            page = 1;
            EnterPartitionPage();
            return;
          }
          if (auto guidance = GuidanceAfterSearch(*outcome)) SetGuidance(*guidance);
          if (auto advice = AdviceAfterSearch(*outcome)) ShowAdvice(*advice);
          ShowResultsPage();
        });
  } else {
    advance = std::make_unique<AdvanceSearch>(*scan);
    AdvanceSearch* search = advance.get();
    auto outcome = std::make_shared<AdvanceSearchOutcome>();
    StartJob(
        Job::kScan,
        [search, outcome](std::stop_token stop) {
          std::stop_callback onStop(stop, [search] { search->RequestStop(); });
          *outcome = search->Run();
        },
        [this, outcome] {
          lastStopped = outcome->stopped;
          if (outcome->refused) {
            Message(*outcome->refused, MessageIcon::kError);
            advance.reset();
            page = 1;
            EnterPartitionPage();
            return;
          }
          if (auto advice = AdviceAfterSearch(*outcome)) ShowAdvice(*advice);
          ShowFileSystemChoice(outcome->stopped);
          if (auto guidance = GuidanceAfterSearch(*outcome)) SetGuidance(*guidance);
        });
  }
}

void CChildDialogExDemoDlg::State::ShowFileSystemChoice(bool afterStop) {
  ui.Show(id::kStopSearch, false);
  if (fileSystemTree) ui.SetTree(id::kFileSystemTree, nullptr);
  // Filled here for every file system (FAT and NTFS alike) from the identified ones.
  fileSystemTree = std::make_unique<mytreectrl>(TreeKind::kFileSystems, selectedDisk);
  fileSystemItems.clear();
  const TreeItem first = FillFileSystemTree(ctx->results, *fileSystemTree);
  fileSystemItems = fileSystemTree->Children(fileSystemTree->Root());
  chosenFileSystem = 0;
  if (first != kNoItem) fileSystemTree->Select(first);
  ui.SetTree(id::kFileSystemTree, fileSystemTree.get());
  ui.Show(id::kFileSystemTree, true);
  if (!fileSystemItems.empty()) {
    SetDetailRows(IdentifiedFileSystemDetails(*ctx, 0, afterStop));
    ui.Enable(id::kNext, true);
  } else {
    ui.Enable(id::kNext, false);
  }
  ui.Show(id::kNext, true);
  ui.Enable(id::kBack, true);
}

void CChildDialogExDemoDlg::State::ShowResultsPage() {
  page = 3;
  ui.Show(id::kStopSearch, false);
  ui.Show(id::kFileSystemTree, false);
  resultsList.columns = ResultsColumns();
  resultsList.Clear();
  ShowResultsList();
  ShowRecoverabilityEstimates(*ctx);
  mytreectrl& tree = ctx->results.Tree();
  tree.SetExpandingHandler([this](TreeItem item, bool expanding) {
    OnResultsTreeExpanding(ctx->results, item, expanding, &flags,
                           [this](TreeItem folder) { ListItem(folder, false); });
  });
  ui.SetTree(id::kResultsTree, &tree);
  ui.Show(id::kResultsTree, true);
  ui.Enable(id::kResultsTree, true);
  ui.Show(id::kNext, false);
  ui.Show(id::kBack, true);
  ui.Enable(id::kBack, true);
  ui.Enable(id::kSave, true);
  ui.Enable(id::kSaveLog, true);
  ui.Enable(id::kLoadLog, false);
  ui.SetText(id::kCurrentFolder, "");
}

void CChildDialogExDemoDlg::State::ClearResults() {
  if (lister) lister->CancelAndWait();
  ui.SetTree(id::kResultsTree, nullptr);
  ui.Show(id::kResultsTree, false);
  if (ctx) {
    ctx->results.tables.PendingEntryTable.DeleteAllRows();
    ctx->results.tables.EntryTable.DeleteAllRows();
    ctx->results.tree = std::make_unique<mytreectrl>(TreeKind::kResults, selectedDisk);
    ctx->results.folderNodes.Clear();
    ctx->results.currentFolder = kNoItem;
  }
  resultsList.Clear();
  SetDetails(NameValueContent({}));
}

void CChildDialogExDemoDlg::OnBack() {
  State& s = *state_;
  if (s.page == 1) {
    s.StopAndWait();
    s.job = Job::kNone;
    ++s.jobNumber;
    s.ui.SetTree(id::kPartitionTree, nullptr);
    s.ui.Show(id::kPartitionTree, false);
    s.partitionTree.reset();
    s.SetDetails(NameValueContent({}));
    s.ui.SetChecked(id::kStandardSearchRadio, false);
    s.ui.SetChecked(id::kAdvanceSearchRadio, false);
    for (int control : {id::kRangeFromEdit, id::kRangeToEdit, id::kRangeStatic}) s.ui.SetText(control, "");
    s.mode = SearchMode::kNone;
    s.ui.Enable(id::kLoadLog, false);
    s.ui.Enable(id::kNext, false);
    for (int control :
         {id::kSearchMorePartitions, id::kStopPartitionSearch, id::kPartitionSearchProgress,
          id::kPartitionSearchText, id::kAdvanceFrame, id::kAdvanceStartLabel, id::kAdvanceEndLabel,
          id::kStartSectorEdit, id::kEndSectorEdit, id::kPartitionTypeCombo, id::kSearchModeText}) {
      s.ui.Show(control, false);
    }
    if (s.selectedDisk >= 0) s.partitions.ForDisk(s.selectedDisk).count = 0;
    s.RefreshDiskList();
    s.selectedDisk = -1;
    s.radiosEnabled = false;
    for (int control : {id::kStandardSearchRadio, id::kAdvanceSearchRadio}) s.ui.Enable(control, false);
    s.ui.Show(id::kDiskTree, true);
    s.SetGuidance(kStartGuidance);
    s.page = 0;
    if (s.diskTree->Children(s.diskTree->Root()).empty()) s.OpenNoDevice();
    return;
  }
  if (s.JobRunning()) return;
  if (s.page == 2) {
    s.ui.SetTree(id::kFileSystemTree, nullptr);
    s.ui.Show(id::kFileSystemTree, false);
    s.fileSystemTree.reset();
    s.fileSystemItems.clear();
    s.advance.reset();
    for (int control : {id::kFolderCounter, id::kBootCounter}) s.ui.SetText(control, "0");
    if (s.ctx) {
      ScanTables& tables = s.ctx->results.tables;
      tables.FileSystemTable.DeleteAllRows();
      tables.EntryTable.DeleteAllRows();
      tables.PendingEntryTable.DeleteAllRows();
      tables.IdentifiedFileSystemTable.DeleteAllRows();
      if (s.mode == SearchMode::kAdvance) tables.DirectoryTable.DeleteAllRows();
      s.ctx->results.tree = std::make_unique<mytreectrl>(TreeKind::kResults, s.selectedDisk);
    }
    s.ui.Show(id::kPartitionTree, true);
    for (int control :
         {id::kSearchMorePartitions, id::kAdvanceFrame, id::kAdvanceStartLabel, id::kAdvanceEndLabel,
          id::kStartSectorEdit, id::kEndSectorEdit, id::kPartitionTypeCombo, id::kSearchModeText}) {
      s.ui.Show(control, true);
    }
    const PartitionList& list = s.partitions.ForDisk(s.selectedDisk);
    const DiskTexts texts{s.diskValues.totalSectorsText, s.diskValues.sizeText};
    s.SetDetailRows(PartitionDetailsFor(list, list.Name(s.partitionIndex), s.partitionIndex, s.selectedDisk,
                                        s.mode, texts)
                        .rows);
    s.ui.SetText(id::kStartSectorEdit, s.startText);
    s.ui.SetText(id::kEndSectorEdit, s.endText);
    s.ui.Enable(id::kNext, true);
    s.ui.Show(id::kNext, true);
    s.ui.Enable(id::kBack, true);
    s.ui.Enable(id::kLoadLog, true);
    s.SetGuidance(kPartitionGuidance);
    s.page = 1;
    return;
  }
  if (s.page == 3) {
    s.ClearResults();
    s.ui.Enable(id::kSave, false);
    s.ui.Enable(id::kSaveLog, false);
    if (s.mode == SearchMode::kAdvance && s.advance && !s.fileSystemItems.empty()) {
      s.ui.Show(id::kNext, true);
      s.ui.Enable(id::kNext, true);
      s.chosenFileSystem = 0;
      s.fileSystemTree->Select(s.fileSystemItems.front());
      s.ui.Show(id::kFileSystemTree, true);
      s.SetDetailRows(IdentifiedFileSystemDetails(*s.ctx, 0));
      s.SetGuidance(kChooseFileSystemGuidance);
      s.page = 2;
      return;
    }
    // A Standard search (or a loaded log) goes back to the partition page, rebuilt from the table.
    s.advance.reset();
    s.ui.Show(id::kNext, true);
    s.ui.Enable(id::kNext, true);
    s.ui.Enable(id::kLoadLog, true);
    s.ui.Enable(id::kSearchMorePartitions, true);
    s.EnterPartitionPage();
  }
}

// --- Stop, logs ---

void CChildDialogExDemoDlg::OnStopSearch() {
  State& s = *state_;
  if (s.job != Job::kScan && s.job != Job::kSecondStage) return;
  s.ui.Show(id::kStopSearch, false);
  s.SetGuidance(kSaveGuidancePanel);
  s.session->RequestStop();
}

void CChildDialogExDemoDlg::OnLoadLog() {
  State& s = *state_;
  if (s.page != 1 || s.JobRunning() || !s.ctx || !s.disk) return;
  for (int control : {id::kNext, id::kBack, id::kSearchMorePartitions, id::kLoadLog})
    s.ui.Enable(control, false);
  FileDialogSpec spec;
  spec.save = false;
  spec.filter = "QLG Files (*.QLG)|*.QLG||";
  spec.defaultExtension = "QLG";
  spec.folder = s.logFolder;
  const std::optional<std::string> path = s.ui.AskFilePath(spec);
  if (!path) {
    for (int control : {id::kNext, id::kBack, id::kSearchMorePartitions, id::kLoadLog})
      s.ui.Enable(control, true);
    return;
  }
  s.ui.Show(id::kPartitionTree, false);
  s.ui.SetTree(id::kResultsTree, nullptr);
  s.page = 3;
  s.SetGuidance(kPleaseWaitGuidance);
  s.ctx->SetFeedback(s.session->Reports());
  ScanContext* scan = s.ctx.get();
  const std::string model = s.disk->model;
  auto outcome = std::make_shared<LoadLogOutcome>();
  s.StartJob(
      Job::kLoadLog,
      [scan, model, outcome, file = *path](std::stop_token) { *outcome = LoadScanLog(*scan, file, model); },
      [&s, outcome] {
        if (!outcome->loaded) {
          s.Message(outcome->message, MessageIcon::kError);
          // Back on the partition page, every button usable again.
          s.page = 1;
          s.ui.Show(id::kPartitionTree, true);
          for (int control : {id::kNext, id::kBack, id::kSearchMorePartitions, id::kLoadLog})
            s.ui.Enable(control, true);
          s.SetGuidance(kPartitionGuidanceQuoted);
          return;
        }
        s.mode = outcome->mode;
        s.partitionIndex = outcome->partitionIndex;
        s.advance.reset();
        s.ShowResultsPage();
        s.SetGuidance(kSaveGuidancePanel);
      });
}

void CChildDialogExDemoDlg::State::SaveLog() {
  FileDialogSpec spec;
  spec.save = true;
  spec.filter = "QLG Files (*.QLG)|*.QLG||";
  spec.defaultExtension = "QLG";
  spec.folder = logFolder;
  const std::optional<std::string> path = ui.AskFilePath(spec);
  if (!path) return;
  ScanLogSelection selection;
  selection.model = disk ? disk->model : std::string();
  selection.diskNumber = selectedDisk;
  selection.searchDiskNumber = selectedDisk;
  selection.partitionIndex = partitionIndex;
  selection.mode = mode == SearchMode::kAdvance ? SearchMode::kAdvance : SearchMode::kStandard;
  selection.floppy = disk && disk->label.rfind("Floppy", 0) == 0;
  const SaveLogOutcome saved = SaveScanLog(*ctx, selection, *path);
  if (!saved.saved) {
    Message(saved.message, MessageIcon::kError, saved.title.empty() ? kProductTitle : saved.title);
  } else if (saved.carvedLeftOut != 0) {
    // Saved, but a log loaded later will not show the carved folder: say so now.
    std::string text = CarvedLeftOutText(saved.carvedLeftOut);
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    Message(text + ".", MessageIcon::kInformation, kProductTitle);
  }
}

void CChildDialogExDemoDlg::OnSaveLog() {
  State& s = *state_;
  if (s.page != 3 || s.JobRunning() || !s.ctx) return;
  s.SaveLog();
}

// --- leaving ---

void CChildDialogExDemoDlg::OnExit() {
  State& s = *state_;
  if (s.page == 3 && !s.JobRunning()) {
    if (s.Message("Do you want to save the recovery?", MessageIcon::kQuestion) == MessageAnswer::kYes)
      s.SaveLog();
  }
  if (s.Message("Do you want to exit from Quarrow?", MessageIcon::kQuestion) != MessageAnswer::kYes) return;
  s.StopAndWait();
  s.session->Close();
  if (!s.options.webAddress.empty()) s.ui.OpenExternal(s.options.webAddress);
  s.ui.EndWizard(0);
}

void CChildDialogExDemoDlg::OnSystemMenuExit() {
  State& s = *state_;
  if (s.Message("Do you want to Exit?", MessageIcon::kQuestion) != MessageAnswer::kYes) return;
  // Every job is stopped and waited for. Only a tree that was whole when the user left is offered
  // for saving (a finished one, or one salvaged by an earlier Stop Search): a search, second stage
  // or log load still building it is stopped, and what its stop salvages is not offered.
  const bool building = s.job == Job::kScan || s.job == Job::kSecondStage || s.job == Job::kLoadLog;
  s.StopAndWait();
  if (!building && s.page == 3 && !s.JobRunning() && s.ctx && s.ctx->results.tree) {
    if (s.Message("Do you want to save the recovery?", MessageIcon::kQuestion) == MessageAnswer::kYes)
      s.SaveLog();
  }
  s.session->Close();
  s.ui.EndWizard(0);
}

// --- help, about, links ---

void CChildDialogExDemoDlg::OnHelp() {
  State& s = *state_;
  if (!s.options.userGuide.empty()) s.ui.OpenExternal(s.options.userGuide);
}

void CChildDialogExDemoDlg::OnAbout() {
  state_->ui.ShowDialog(InfoDialog(DialogId::kAbout));
}

void CChildDialogExDemoDlg::OnLink(int linkId) {
  State& s = *state_;
  switch (linkId) {
    case id::kConnectionHelpLink:
    case id::kNoDeviceEnableDiskLink:
    case id::kAdvanceAdviceHelpLink:
      s.ui.ShowDialog(InfoDialog(DialogId::kConnectionHelp));
      return;
    case id::kNoDeviceContactLink:
    case id::kStandardAdviceContactLink:
    case id::kAdvanceAdviceContactLink:
    case id::kAboutSupportLink:
      if (!s.options.mailAddress.empty())
        s.ui.OpenExternal("mailto:" + s.options.mailAddress + "?subject=" + std::string(ContactSubject()));
      return;
    case id::kNoDeviceWebLink:
    case id::kAdvanceAdviceWebLink:
    case id::kAboutWebLink:
      if (!s.options.webAddress.empty()) s.ui.OpenExternal(s.options.webAddress);
      return;
    default:
      return;
  }
}

// --- trees and lists ---

void CChildDialogExDemoDlg::OnTreeClick(int treeId, TreeItem item) {
  State& s = *state_;
  if (treeId == id::kDiskTree && s.page == 0 && s.diskTree) {
    if (!s.diskTree->Valid(item) || item == s.diskTree->Root() || s.diskTree->Text(item).empty()) return;
    s.diskTree->Select(item);
    for (const auto& [diskItem, index] : s.diskItems) {
      if (diskItem != item) continue;
      const ListedDisk& listed = s.disks->Disks()[index];
      s.selectedDisk = listed.number;
      s.disk = &listed;
      if (item != s.shownDiskItem) {
        s.shownDiskItem = item;
        s.diskValues = SelectedValuesOf(listed.record);
        std::vector<std::pair<std::string, std::string>> rows;
        for (const DetailRow& row : DiskDetailRows(listed.record)) rows.emplace_back(row.name, row.value);
        s.SetDetails(NameValueContent(rows));
      }
      s.radiosEnabled = true;
      s.ui.Enable(id::kStandardSearchRadio, true);
      s.ui.Enable(id::kAdvanceSearchRadio, true);
    }
    return;
  }
  if (treeId == id::kPartitionTree && s.page == 1 && s.partitionTree) {
    const PartitionList& list = s.partitions.ForDisk(s.selectedDisk);
    const int index = ClickPartitionItem(*s.partitionTree, item, list, s.job == Job::kPartitionSearch);
    if (index < 0) return;
    s.partitionIndex = index;
    const DiskTexts texts{s.diskValues.totalSectorsText, s.diskValues.sizeText};
    s.ApplyPartitionDetails(
        PartitionDetailsFor(list, list.Name(index), index, s.selectedDisk, s.mode, texts));
    return;
  }
  if (treeId == id::kFileSystemTree && s.page == 2 && s.fileSystemTree && !s.JobRunning()) {
    for (std::size_t i = 0; i < s.fileSystemItems.size(); ++i) {
      if (s.fileSystemItems[i] != item) continue;
      s.fileSystemTree->Select(item);
      s.chosenFileSystem = static_cast<int>(i);
      s.SetDetailRows(IdentifiedFileSystemDetails(*s.ctx, static_cast<int>(i)));
    }
    return;
  }
  if (treeId == id::kResultsTree && s.page == 3 && s.ctx && s.ctx->results.tree) {
    mytreectrl& tree = *s.ctx->results.tree;
    if (s.JobRunning()) return;  // a save reads the disk; the list waits for it
    s.flags.listOnClick = true;
    s.focusOnList = false;
    if (!tree.Valid(item) || tree.Text(item).empty()) {
      tree.Select(tree.Root());
      return;
    }
    s.ListItem(item, s.flags.listOnClick);
  }
}

// Lists a folder: the tree changes (current folder, images, names of its children) and its
// sub-folders here, its files read on the list worker and added when they arrive, unless another
// folder was asked for since.
void CChildDialogExDemoDlg::State::ListItem(TreeItem item, bool listOnClick) {
  if (!ctx || !ctx->results.tree) return;
  // The listing still being read is dropped and waited for: naming this folder's children reads
  // the disk here, and one reader never serves two threads at once.
  lister->CancelAndWait();
  ResultsState& results = ctx->results;
  VolumeHooks hooks = results.hooks;
  results.hooks.listFiles = nullptr;
  const bool ntfs = results.FilesInTables();  // NTFS and exFAT keep their files in the table
  // Without the listing hook NTFS files come straight from the table, which is quick; FAT files
  // (and NTFS files with estimates) are read by the hook on the worker.
  if (ntfs && hooks.listFiles)
    results.hooks.listFiles = [](DetailsList&, std::uint32_t, const FolderNode*) {};
  DetailsList folders;
  ListFolder(results, folders, item, listOnClick, Now());
  results.hooks = hooks;
  resultsList.rows = std::move(folders.rows);
  ShowResultsList();

  mytreectrl& tree = *results.tree;
  std::uint32_t key = ntfs ? kNtfsRootKey : kFatRootKey;
  std::optional<FolderNode> node;
  if (item != tree.Root()) {
    const FolderNode* found = results.folderNodes.FindByItem(item);
    if (!found) return;
    node = *found;
    key = found->self;
  }
  if (!hooks.listFiles || (!ntfs && key == kOrphanCluster)) {
    lister->Cancel();
    return;
  }
  auto listFiles = hooks.listFiles;
  lister->Start(
      [listFiles, key, node](std::stop_token) {
        DetailsList files;
        listFiles(files, key, node ? &*node : nullptr);
        return files;
      },
      [this](DetailsList files) {
        for (DetailsRow& row : files.rows) resultsList.rows.push_back(std::move(row));
        ShowResultsList();
      });
}

void CChildDialogExDemoDlg::OnTreeCheckBoxClick(int treeId, TreeItem item) {
  State& s = *state_;
  if (treeId != id::kResultsTree || s.page != 3 || !s.ctx || !s.ctx->results.tree || s.JobRunning()) return;
  ToggleCheckBox(*s.ctx->results.tree, item);
}

void CChildDialogExDemoDlg::OnTreeExpanding(int treeId, TreeItem item, bool expanding) {
  State& s = *state_;
  mytreectrl* tree = nullptr;
  if (treeId == id::kDiskTree) tree = s.diskTree.get();
  if (treeId == id::kPartitionTree) tree = s.partitionTree.get();
  if (treeId == id::kFileSystemTree) tree = s.fileSystemTree.get();
  if (treeId == id::kResultsTree && s.ctx) tree = s.ctx->results.tree.get();
  if (!tree || (treeId == id::kResultsTree && s.JobRunning())) return;
  tree->Expand(item, expanding);
}

void CChildDialogExDemoDlg::OnTreeRightClick(int treeId, TreeItem item) {
  State& s = *state_;
  (void)item;
  if (treeId != id::kResultsTree || s.page != 3 || s.JobRunning()) return;
  if (s.ui.PopupMenu(id::kTreeMenu) == id::kMenuTreeSave) OnSave();
}

void CChildDialogExDemoDlg::OnListClick(int row) {
  (void)row;
  state_->focusOnList = true;
}

void CChildDialogExDemoDlg::OnListDoubleClick(int row) {
  State& s = *state_;
  if (s.page != 3 || s.JobRunning() || !s.ctx || row < 0) return;
  s.lister->CancelAndWait();
  if (OpenListRow(s.ctx->results, s.resultsList, static_cast<std::size_t>(row))) s.ShowResultsList();
}

void CChildDialogExDemoDlg::OnListRightClick(int row) {
  State& s = *state_;
  if (s.page != 3 || s.JobRunning() || row < 0) return;
  switch (s.ui.PopupMenu(id::kListMenu)) {
    case id::kMenuOpen:
      OnListDoubleClick(row);
      break;
    case id::kMenuSave:
      OnSave();
      break;
    case id::kMenuSaveAll:
      OnSaveAll();
      break;
    default:
      break;
  }
}

void CChildDialogExDemoDlg::OnListHeaderClick(int column) {
  (void)column;  // the list keeps the order the folder gives it
}

void CChildDialogExDemoDlg::OnFileTypeChecked(int row, bool checked) {
  State& s = *state_;
  if (row < 0 || static_cast<std::size_t>(row) >= s.fileTypes.rows.size()) return;
  s.chosenFileType = row;
  s.fileTypes.rows[static_cast<std::size_t>(row)].check = checked ? 1 : 0;
  s.ui.SetList(id::kFileTypeList, s.fileTypes);
}

void CChildDialogExDemoDlg::OnFocus(int controlId) {
  State& s = *state_;
  if (controlId == id::kDetailsList) s.focusOnList = true;
  if (controlId == id::kResultsTree) s.focusOnList = false;
}

bool CChildDialogExDemoDlg::OnKey(WizardKey key) {
  State& s = *state_;
  switch (key) {
    case WizardKey::kEnter:
    case WizardKey::kSpace:
    case WizardKey::kEscape:
      return true;
    case WizardKey::kF1:
      OnHelp();
      return true;
    case WizardKey::kTab:
      if (s.page != 3) return false;
      s.focusOnList = !s.focusOnList;
      s.ui.SetFocus(s.focusOnList ? id::kDetailsList : id::kResultsTree);
      return true;
    case WizardKey::kF6: {
      const int trees[] = {id::kDiskTree, id::kPartitionTree, id::kFileSystemTree, id::kResultsTree};
      s.ui.SetFocus(trees[s.page >= 0 && s.page <= 3 ? s.page : 0]);
      s.focusOnList = false;
      return true;
    }
    case WizardKey::kF7:
      s.ui.SetFocus(id::kDetailsList);
      s.ui.SetListSelection(id::kDetailsList, 0);
      s.focusOnList = true;
      return true;
    case WizardKey::kRight:
      s.flags.refillOnExpand = true;
      s.flags.listOnClick = false;
      return false;
    case WizardKey::kLeft:
      s.flags.refillOnExpand = false;
      s.flags.listOnClick = false;
      return false;
    case WizardKey::kUp:
    case WizardKey::kDown: {
      if (s.page != 3 || s.focusOnList || !s.ctx || !s.ctx->results.tree || s.JobRunning()) return false;
      mytreectrl& tree = *s.ctx->results.tree;
      const TreeItem from = tree.Selected() != kNoItem ? tree.Selected() : tree.Root();
      const TreeItem to = key == WizardKey::kDown ? tree.NextVisible(from) : tree.PreviousVisible(from);
      if (to == kNoItem) return true;
      tree.Select(to);
      if (to != tree.Root()) s.ListItem(to, true);
      return true;
    }
  }
  return false;
}

// --- Save ---

namespace {

// The Replace File Confirmation asked from the recovery's worker: the question goes through the
// session's queue to the window's thread, and the worker waits for the answer. A queue closed
// before the answer came (the window is gone) answers Cancel.
class QueuedReplaceQuestion : public ReplaceQuestion {
 public:
  QueuedReplaceQuestion(QueuedFeedback& queue, Surface& ui, std::weak_ptr<int> alive)
      : queue_(queue), ui_(ui), alive_(std::move(alive)) {}
  ReplaceChoice Ask(const std::string& existing) override {
    auto answer = std::make_shared<std::promise<ReplaceReply>>();
    std::future<ReplaceReply> future = answer->get_future();
    queue_.Post([answer, existing, this] {
      if (!alive_.lock()) return;
      answer->set_value(ui_.AskReplace(existing));
    });
    ReplaceReply reply;
    try {
      reply = future.get();
    } catch (const std::future_error&) {
      return {ReplaceAnswer::kCancel, true};
    }
    switch (reply.button) {
      case ReplaceButton::kOverwrite:
        return {ReplaceAnswer::kOverwrite, reply.applyToAll};
      case ReplaceButton::kRename:
        return {ReplaceAnswer::kRename, reply.applyToAll};
      case ReplaceButton::kSkip:
        return {ReplaceAnswer::kSkip, reply.applyToAll};
      case ReplaceButton::kCancel:
        return {ReplaceAnswer::kCancel, true};
      case ReplaceButton::kYesToAll:
        return {ReplaceAnswer::kOverwrite, true};
      case ReplaceButton::kNoToAll:
        return {ReplaceAnswer::kSkip, true};
    }
    return {ReplaceAnswer::kCancel, true};
  }

 private:
  QueuedFeedback& queue_;
  Surface& ui_;
  std::weak_ptr<int> alive_;
};

}  // namespace

void CChildDialogExDemoDlg::State::SaveSelection(bool allRows) {
  if (page != 3 || JobRunning() || !ctx || !ctx->results.tree) return;
  RecoverySelection selection;
  selection.checkedFolders = !allRows;
  std::vector<int> rows;
  if (allRows) {
    for (std::size_t i = 0; i < resultsList.rows.size(); ++i) rows.push_back(static_cast<int>(i));
  } else {
    rows = ui.SelectedListRows(id::kDetailsList);
  }
  for (int row : rows) {
    if (row < 0 || static_cast<std::size_t>(row) >= resultsList.rows.size()) continue;
    const DetailsRow& shown = resultsList.rows[static_cast<std::size_t>(row)];
    if (shown.image != RowImage::kFile) continue;
    selection.files.push_back({ctx->results.currentFolder, shown});
  }
  const std::optional<std::string> destination = ui.AskDestination(lastDestination);
  if (!destination || destination->empty()) return;
  lastDestination = *destination;
  lister->CancelAndWait();

  for (int control : {id::kBack, id::kSave, id::kSaveLog}) ui.Enable(control, false);
  ui.Enable(id::kResultsTree, false);
  ui.SetText(id::kCalculatingText, kCountingText);
  ui.OpenProgressDialog(DialogId::kCalculating);
  savingOpen = false;
  calculatingOpen = true;
  recovery = std::make_unique<RecoveryRun>(*ctx);
  replace = std::make_unique<QueuedReplaceQuestion>(session->Queue(), ui, alive);
  ctx->SetFeedback(session->Reports());
  RecoveryRun* run = recovery.get();
  // Counting is over: the Calculating dialog gives way to Saving, which the writer's reports fill.
  // Posted on the session's queue, so it lands after the counting's reports and before the writer's.
  run->OnCounted([this, living = std::weak_ptr<int>(alive)](const RecoveryPlan& plan) {
    const std::uint64_t files = plan.totalFiles, bytes = plan.totalBytes;
    session->Queue().Post([this, living, files, bytes] {
      if (!living.lock() || job != Job::kSave || !calculatingOpen) return;
      ui.CloseProgressDialog(DialogId::kCalculating);
      calculatingOpen = false;
      ui.SetText(id::kSavingFileName, "");
      ui.SetText(id::kSavingFilePath, "");
      ui.SetText(id::kSavingTotals,
                 "0 / " + std::to_string(files) + " files, 0 / " + std::to_string(bytes) + " bytes");
      ui.SetProgress(id::kSavingFileProgress, 0, "");
      ui.SetProgress(id::kSavingTotalProgress, 0, "0 / " + std::to_string(files));
      ui.Enable(id::kSavingStop, true);
      ui.Enable(id::kSavingSkip, true);
      ui.OpenProgressDialog(DialogId::kSaving);
      savingOpen = true;
    });
  });
  RecoveryOptions options;
  options.destination = PathFromUtf8(*destination);
  options.replace = replace.get();
  auto outcome = std::make_shared<RecoveryRunOutcome>();
  StartJob(
      Job::kSave,
      [run, selection, options, outcome](std::stop_token stop) {
        std::stop_callback onStop(stop, [run] { run->RequestStop(); });
        *outcome = run->Run(selection, options);
      },
      [this, outcome, destination = *destination] {
        if (calculatingOpen) ui.CloseProgressDialog(DialogId::kCalculating);
        if (savingOpen) ui.CloseProgressDialog(DialogId::kSaving);
        calculatingOpen = savingOpen = false;
        for (int control : {id::kBack, id::kSave, id::kSaveLog}) ui.Enable(control, true);
        ui.Enable(id::kResultsTree, true);
        recovery.reset();
        replace.reset();
        if (outcome->unwritable) {
          Message(UnwritableDestinationText(*outcome->unwritable), MessageIcon::kError);
          return;
        }
        if (outcome->refused) {
          Message(*outcome->refused, MessageIcon::kError);
          return;
        }
        ListContent recovered;
        recovered.columns = {{"Files Recovered", 440}};
        for (const PlannedFile& file : outcome->plan.files) {
          if (!file.writtenAs.empty()) recovered.rows.push_back({{file.writtenAs}, 1, false, -1});
        }
        ui.SetList(id::kFilesRecovered, recovered);
        ui.SetText(id::kSaveSummary, SaveSummaryText(*outcome, destination));
        ui.Show(id::kFilesRecovered, true);
      });
}

void CChildDialogExDemoDlg::OnSave() {
  state_->SaveSelection(/*allRows=*/false);
}
void CChildDialogExDemoDlg::OnSaveAll() {
  state_->SaveSelection(/*allRows=*/true);
}
void CChildDialogExDemoDlg::OnOpen() {
  State& s = *state_;
  const std::vector<int> rows = s.ui.SelectedListRows(id::kDetailsList);
  if (!rows.empty()) OnListDoubleClick(rows.front());
}
void CChildDialogExDemoDlg::OnSavingStop() {
  State& s = *state_;
  if (s.job == Job::kSave) s.session->RequestStop();
}
void CChildDialogExDemoDlg::OnSavingSkip() {
  State& s = *state_;
  if (s.job == Job::kSave && s.recovery) s.recovery->RequestSkip();
}

// --- dispatch ---

void CChildDialogExDemoDlg::OnCommand(int controlId) {
  switch (controlId) {
    case id::kNext:
      return OnNext();
    case id::kBack:
      return OnBack();
    case id::kStandardSearchRadio:
    case id::kAdvanceSearchRadio:
      return OnRadioClicked(controlId);
    case id::kSearchMorePartitions:
      return OnSearchMorePartitions();
    case id::kStopPartitionSearch:
      return OnStopPartitionSearch();
    case id::kRefreshList:
      return OnRefreshList();
    case id::kEntireDiskRadio:
      return OnEntireDisk();
    case id::kSectorRangeRadio:
      return OnSectorRange();
    case id::kSearchEntireDisk:
      return OnSearchEntireDisk();
    case id::kHelp:
      return OnHelp();
    case id::kAbout:
    case id::kAboutText:
    case id::kSystemMenuAbout:
      return OnAbout();
    case id::kConnectionHelpLink:
      return OnLink(controlId);
    case id::kExit:
      return OnExit();
    case id::kSystemMenuExit:
      return OnSystemMenuExit();
    case id::kStopSearch:
      return OnStopSearch();
    case id::kLoadLog:
      return OnLoadLog();
    case id::kSaveLog:
      return OnSaveLog();
    case id::kSave:
    case id::kMenuSave:
    case id::kMenuTreeSave:
      return OnSave();
    case id::kMenuSaveAll:
      return OnSaveAll();
    case id::kMenuOpen:
      return OnOpen();
    case id::kSavingStop:
      return OnSavingStop();
    case id::kSavingSkip:
      return OnSavingSkip();
    case id::kNoDeviceRetry:
      return OnNoDeviceRetry();
    default:
      return;
  }
}

// --- state ---

int CChildDialogExDemoDlg::Page() const {
  return state_->page;
}
SearchMode CChildDialogExDemoDlg::Mode() const {
  return state_->mode;
}
const std::string& CChildDialogExDemoDlg::Guidance() const {
  return state_->guidance;
}
int CChildDialogExDemoDlg::SelectedDisk() const {
  return state_->selectedDisk;
}
const std::string& CChildDialogExDemoDlg::PartitionTypeText() const {
  return state_->partitionTypeText;
}
const std::string& CChildDialogExDemoDlg::SearchModeText() const {
  return state_->searchModeText;
}
std::uint64_t CChildDialogExDemoDlg::StartSector() const {
  return state_->start;
}
std::uint64_t CChildDialogExDemoDlg::EndSector() const {
  return state_->end;
}
const std::string& CChildDialogExDemoDlg::LogFolder() const {
  return state_->logFolder;
}
bool CChildDialogExDemoDlg::Stopped() const {
  return state_->lastStopped;
}
bool CChildDialogExDemoDlg::Busy() const {
  return state_->JobRunning() || state_->lister->Busy();
}
mytreectrl* CChildDialogExDemoDlg::DiskTree() {
  return state_->diskTree.get();
}
mytreectrl* CChildDialogExDemoDlg::PartitionTree() {
  return state_->partitionTree.get();
}
mytreectrl* CChildDialogExDemoDlg::FileSystemTree() {
  return state_->fileSystemTree.get();
}
mytreectrl* CChildDialogExDemoDlg::ResultsTree() {
  return state_->ctx && state_->page == 3 ? state_->ctx->results.tree.get() : nullptr;
}
const ListContent& CChildDialogExDemoDlg::DetailsContent() const {
  return state_->details;
}

std::optional<FilePreview> CChildDialogExDemoDlg::PreviewListRow(int row, std::size_t maxBytes) const {
  State& s = *state_;
  // A search, a save or a listing may be reading the volume on its worker; the preview waits.
  if (s.page != 3 || s.JobRunning() || (s.lister && s.lister->Busy()) || !s.ctx) return std::nullopt;
  if (row < 0 || static_cast<std::size_t>(row) >= s.resultsList.rows.size()) return std::nullopt;
  const DetailsRow& shown = s.resultsList.rows[static_cast<std::size_t>(row)];
  if (shown.image != RowImage::kFile) return std::nullopt;
  std::unique_ptr<FileDataSource> source = MakeFileDataSource(*s.ctx);
  if (!source) return std::nullopt;
  FilePreview preview;
  preview.name = shown.name;
  preview.bytes = ReadFileStart(*s.ctx, *source, shown, maxBytes);
  if (shown.deleted) {
    preview.estimate = shown.estimate;
    if (preview.estimate.empty()) {
      const Recoverability estimate = EstimateFile(*s.ctx, *source, shown);
      if (estimate != Recoverability::kNotDeleted)
        preview.estimate = std::string(RecoverabilityText(estimate));
    }
  }
  return preview;
}

}  // namespace quarrow::app
