// The whole wizard driven headless on disk images made by the test recipes: disk, mode, partition,
// the search, the results tree and the file list, the check boxes, the scan log saved and loaded
// back, a stop in each stage. The files the list shows are compared with the files the recipe
// wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/wizard_dialog.h"
#include "app/wizard_texts.h"
#include "exfat_fls.h"
#include "results/tree_model.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/disk_session.h"
#include "support/fake_surface.h"
#include "test_disks.h"

namespace quarrow::app {
namespace {

namespace fs = std::filesystem;
using test_support::FakeSurface;
using testing::ReadWholeFile;

// Every folder of the tree below item, as "a/b/c", with the items.
void Folders(const mytreectrl& tree, TreeItem item, const std::string& path,
             std::map<std::string, TreeItem>& out) {
  for (TreeItem child : tree.Children(item)) {
    const std::string childPath = path.empty() ? tree.Text(child) : path + "/" + tree.Text(child);
    out[childPath] = child;
    Folders(tree, child, childPath, out);
  }
}

std::map<std::string, TreeItem> Folders(const mytreectrl& tree) {
  std::map<std::string, TreeItem> out;
  Folders(tree, tree.Root(), "", out);
  return out;
}

class WizardFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("qrw-wizard-flow-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    wizard_.reset();
    fs::remove_all(dir_);
  }

  CChildDialogExDemoDlg& Start(const std::string& image) {
    WizardOptions options;
    options.images = {image};
    options.sysfsRoot = "";
    options.tempFolder = dir_.string();
    options.jobStarting = [this] { gate_.Pass(); };
    wizard_ = std::make_unique<CChildDialogExDemoDlg>(surface_, options);
    wizard_->OnInitDialog();
    const mytreectrl* disks = wizard_->DiskTree();
    wizard_->OnTreeClick(id::kDiskTree, disks->Children(disks->Root()).front());
    return *wizard_;
  }
  bool Idle() {
    return surface_.PumpUntil([&] { return !wizard_->Busy(); });
  }
  // Disk page -> partition page -> the search of partition 1 -> its end.
  void Search(int radio) {
    wizard_->OnRadioHover(radio);
    wizard_->OnCommand(id::kNext);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(wizard_->Page(), 1);
    const mytreectrl* partitions = wizard_->PartitionTree();
    ASSERT_FALSE(partitions->Children(partitions->Root()).empty());
    wizard_->OnTreeClick(id::kPartitionTree, partitions->Children(partitions->Root()).front());
    wizard_->OnCommand(id::kNext);
    ASSERT_TRUE(Idle());
  }
  // Back from the results page to the disk page, the disk chosen again.
  void BackToTheDiskPage() {
    wizard_->OnCommand(id::kBack);
    wizard_->OnCommand(id::kBack);
    ASSERT_EQ(wizard_->Page(), 0);
    const mytreectrl* disks = wizard_->DiskTree();
    wizard_->OnTreeClick(id::kDiskTree, disks->Children(disks->Root()).front());
  }
  void SecondStage() {
    ASSERT_EQ(wizard_->Page(), 2);
    const mytreectrl* systems = wizard_->FileSystemTree();
    ASSERT_NE(systems, nullptr);
    ASSERT_FALSE(systems->Children(systems->Root()).empty());
    wizard_->OnTreeClick(id::kFileSystemTree, systems->Children(systems->Root()).front());
    wizard_->OnCommand(id::kNext);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(wizard_->Page(), 3);
  }
  // Clicks every folder, parents first: a FAT folder's children are named from its directory when
  // it is first shown. Returns the folders as the tree then names them.
  std::set<std::string> ShowAll() {
    mytreectrl& tree = *wizard_->ResultsTree();
    std::vector<TreeItem> pending(tree.Children(tree.Root()).begin(), tree.Children(tree.Root()).end());
    for (std::size_t i = 0; i < pending.size(); ++i) {
      List(pending[i]);
      for (TreeItem child : tree.Children(pending[i])) pending.push_back(child);
    }
    std::set<std::string> paths;
    for (const auto& [path, item] : Folders(tree)) paths.insert(path);
    return paths;
  }
  // Clicks the folder and waits for its files; returns name -> (type, size, date) of its rows.
  std::map<std::string, std::vector<std::string>> List(TreeItem folder) {
    wizard_->OnTreeClick(id::kResultsTree, folder);
    EXPECT_TRUE(Idle());
    std::map<std::string, std::vector<std::string>> rows;
    for (const ListRow& row : surface_.lists[id::kDetailsList].rows) {
      if (row.image == 1) rows[row.cells[0]] = {row.cells[1], row.cells[2], row.cells[3], row.cells[4]};
    }
    return rows;
  }

  // Every folder and file the results tree shows, as "d PATH" and "f PATH SIZE" with " *" for a
  // deleted file (the tree does not mark deleted folders), after clicking every folder.
  std::set<std::string> TreeLines() {
    ShowAll();
    std::set<std::string> lines;
    const std::map<std::string, TreeItem> folders = Folders(*wizard_->ResultsTree());
    std::vector<std::pair<std::string, TreeItem>> places(folders.begin(), folders.end());
    places.emplace_back("", wizard_->ResultsTree()->Root());
    for (const auto& [path, item] : places) {
      if (!path.empty()) lines.insert("d " + path);
      wizard_->OnTreeClick(id::kResultsTree, item);
      EXPECT_TRUE(Idle());
      for (const ListRow& row : surface_.lists[id::kDetailsList].rows) {
        if (row.image != 1) continue;
        const std::string file = path.empty() ? row.cells[0] : path + "/" + row.cells[0];
        lines.insert("f " + file + " " + row.cells[2] + (row.deleted ? " *" : ""));
      }
    }
    return lines;
  }

  // Holds the jobs that start while it is closed, so that a stop comes before the job reads.
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool closed = false;
    void Pass() {
      std::unique_lock held(lock);
      changed.wait(held, [&] { return !closed; });
    }
    void Set(bool close) {
      {
        std::lock_guard held(lock);
        closed = close;
      }
      changed.notify_all();
    }
  };
  // Starts the stage Next starts, asks it to stop before it has read anything, and lets it run.
  void NextThenStop() {
    gate_.Set(true);
    wizard_->OnCommand(id::kNext);
    wizard_->OnCommand(id::kStopSearch);
    gate_.Set(false);
  }

  Gate gate_;
  fs::path dir_;
  FakeSurface surface_;
  std::unique_ptr<CChildDialogExDemoDlg> wizard_;
};

TEST_F(WizardFlowTest, StandardSearchOfFat16ListsSavesAndLoadsTheTree) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  const fs::path originals = image.substr(0, image.size() - 4) + ".originals";
  CChildDialogExDemoDlg& wizard = Start(image);
  Search(id::kStandardSearchRadio);
  ASSERT_EQ(wizard.Page(), 3);
  EXPECT_FALSE(wizard.Stopped());
  EXPECT_EQ(
      surface_.guidance,
      "Select Files and Folders from left panel Directories' Tree and Click on 'Save' button in Toolbar to "
      "save recovered Files and Folders.");
  mytreectrl* tree = wizard.ResultsTree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(surface_.trees[id::kResultsTree], tree);
  const std::map<std::string, TreeItem> folders = Folders(*tree);

  // Every folder the recipe made is in the tree, and clicking it lists its live files with the
  // sizes the recipe gave them, a type, a date and a time.
  int compared = 0;
  for (const auto& entry : fs::recursive_directory_iterator(originals)) {
    if (!entry.is_directory()) continue;
    const std::string path = fs::relative(entry.path(), originals).generic_string();
    auto found = folders.find(path);
    ASSERT_NE(found, folders.end()) << path;
    const auto rows = List(found->second);
    EXPECT_EQ(surface_.texts[id::kCurrentFolder], [&] {
      std::string backslashed = path;
      for (char& c : backslashed) c = c == '/' ? '\\' : c;
      return backslashed;
    }());
    for (const auto& file : fs::directory_iterator(entry.path())) {
      if (!file.is_regular_file()) continue;
      const std::string name = file.path().filename().string();
      auto row = rows.find(name);
      if (row == rows.end()) continue;  // a deleted 8.3 name shows under another name
      EXPECT_EQ(row->second[1], std::to_string(fs::file_size(file.path()))) << path << "/" << name;
      EXPECT_FALSE(row->second[0].empty());
      EXPECT_FALSE(row->second[2].empty());
      EXPECT_FALSE(row->second[3].empty());
      ++compared;
    }
  }
  EXPECT_GT(compared, 3);

  // Check boxes: a folder ticked ticks everything below it; ticked again, it clears them.
  const TreeItem top = tree->Children(tree->Root()).front();
  wizard.OnTreeCheckBoxClick(id::kResultsTree, top);
  EXPECT_EQ(tree->State(top), check_state::kChecked);
  for (TreeItem child : tree->Children(top)) EXPECT_EQ(tree->State(child), check_state::kChecked);
  wizard.OnTreeCheckBoxClick(id::kResultsTree, top);
  EXPECT_EQ(tree->State(top), check_state::kUnchecked);

  // Save Log, Back, Load Log: the same tree.
  const std::string log = (dir_ / "scan.QLG").string();
  surface_.filePaths.push_back(log);
  wizard.OnCommand(id::kSaveLog);
  ASSERT_TRUE(fs::exists(log));
  EXPECT_TRUE(surface_.fileDialogs.back().save);
  std::set<std::string> before;
  for (const auto& [path, item] : folders) before.insert(path);

  wizard.OnCommand(id::kBack);
  ASSERT_EQ(wizard.Page(), 1);
  surface_.filePaths.push_back(log);
  wizard.OnCommand(id::kLoadLog);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  std::set<std::string> after;
  const std::map<std::string, TreeItem> loaded = Folders(*wizard.ResultsTree());
  for (const auto& [path, item] : loaded) after.insert(path);
  EXPECT_EQ(after, before);

  // Save writes the ticked folders: every live file the recipe put in them comes out as it went in.
  std::string folder;
  for (const auto& entry : fs::directory_iterator(originals)) {
    if (entry.is_directory() && loaded.count(entry.path().filename().string())) {
      folder = entry.path().filename().string();
      break;
    }
  }
  ASSERT_FALSE(folder.empty());
  wizard.OnTreeCheckBoxClick(id::kResultsTree, loaded.at(folder));
  const fs::path out = dir_ / "out";
  surface_.destination = out.string();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  ASSERT_FALSE(surface_.progressDialogs.empty());
  EXPECT_EQ(surface_.progressDialogs.front(), DialogId::kCalculating);
  int written = 0;
  for (const auto& entry : fs::recursive_directory_iterator(originals / folder)) {
    if (!entry.is_regular_file()) continue;
    const fs::path copy = out / fs::relative(entry.path(), originals);
    if (!fs::exists(copy)) continue;  // a deleted file whose name the volume no longer knows
    EXPECT_EQ(ReadWholeFile(copy.string()), ReadWholeFile(entry.path().string())) << copy;
    ++written;
  }
  EXPECT_GT(written, 0);
  EXPECT_FALSE(surface_.lists[id::kFilesRecovered].rows.empty());

  // A destination the recovery cannot use is refused with a message, and nothing is written.
  std::ofstream((dir_ / "blocker").string()) << "a file, not a folder";
  surface_.destination = (dir_ / "blocker" / "out").string();
  surface_.messages.clear();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].icon, MessageIcon::kError);
}

TEST_F(WizardFlowTest, AdvanceSearchOfFat16GoesThroughTheFileSystemChoice) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  CChildDialogExDemoDlg& wizard = Start(image);
  Search(id::kStandardSearchRadio);
  ASSERT_EQ(wizard.Page(), 3);
  const std::set<std::string> standard = ShowAll();
  BackToTheDiskPage();

  Search(id::kAdvanceSearchRadio);
  ASSERT_EQ(wizard.Page(), 2);
  EXPECT_EQ(surface_.guidance, kChooseFileSystemGuidance);
  EXPECT_TRUE(surface_.Enabled(id::kNext));
  ASSERT_EQ(surface_.lists[id::kDetailsList].rows.size(), 4u);
  SecondStage();
  EXPECT_FALSE(wizard.Stopped());
  const std::set<std::string> advance = ShowAll();
  for (const std::string& path : standard) EXPECT_TRUE(advance.count(path)) << path;

  // Back goes to the choice page, and Next rebuilds the same tree.
  wizard.OnCommand(id::kBack);
  ASSERT_EQ(wizard.Page(), 2);
  SecondStage();
  EXPECT_EQ(ShowAll(), advance);
}

TEST_F(WizardFlowTest, AdvanceSearchOfNtfsFillsTheFileSystemChoice) {
  QRW_REQUIRE_DISK(image, "recover_ntfs");
  CChildDialogExDemoDlg& wizard = Start(image);
  Search(id::kAdvanceSearchRadio);
  ASSERT_EQ(wizard.Page(), 2);
  const mytreectrl* systems = wizard.FileSystemTree();
  ASSERT_NE(systems, nullptr);
  ASSERT_FALSE(systems->Children(systems->Root()).empty());
  EXPECT_NE(systems->Text(systems->Children(systems->Root()).front()).find("NTFS"), std::string::npos);
  SecondStage();
  EXPECT_FALSE(Folders(*wizard.ResultsTree()).empty());
}

// An exFAT card formatted without a partition table, through the wizard: the Standard search shows
// the tree fls lists (names in full, deleted files marked, sizes), the Advance search reaches the
// same tree through a file-system choice that names exFAT, and Save writes the card's files as the
// recipe wrote them.
TEST_F(WizardFlowTest, AnExfatCardShowsTheTreeFlsListsInBothSearchesAndIsSaved) {
  QRW_REQUIRE_DISK(image, "exfat_card");
  const std::string base = image.substr(0, image.size() - 4);
  std::set<std::string> expected;
  for (std::string line : testing::FlsLines(testing::ParseFls(ReadWholeFile(base + ".fls")))) {
    if (line.starts_with("d ") && line.ends_with(" *")) line.resize(line.size() - 2);
    expected.insert(line);
  }
  ASSERT_GT(expected.size(), 2500u);

  CChildDialogExDemoDlg& wizard = Start(image);
  Search(id::kStandardSearchRadio);
  ASSERT_EQ(wizard.Page(), 3);
  EXPECT_FALSE(wizard.Stopped());
  const std::set<std::string> standard = TreeLines();
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), standard.begin(), standard.end(),
                      std::back_inserter(missing));
  std::set_difference(standard.begin(), standard.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first: " << missing.front();
  EXPECT_TRUE(extra.empty()) << extra.size() << " extra, first: " << extra.front();

  // Save the top folders: every file fls lists in them, deleted ones too, comes out at its size,
  // and as the recipe wrote it where the recipe kept a copy.
  const fs::path originals = base + ".originals";
  mytreectrl& tree = *wizard.ResultsTree();
  for (TreeItem top : tree.Children(tree.Root())) wizard.OnTreeCheckBoxClick(id::kResultsTree, top);
  const fs::path out = dir_ / "out";
  surface_.destination = out.string();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  int written = 0, compared = 0;
  for (const testing::FlsEntry& e : testing::ParseFls(ReadWholeFile(base + ".fls"))) {
    if (e.folder || e.path.find('/') == std::string::npos) continue;  // root files are not ticked
    const fs::path relative(std::u8string(e.path.begin(), e.path.end()));
    const fs::path copy = out / relative;
    ASSERT_TRUE(fs::is_regular_file(copy)) << e.path;
    EXPECT_EQ(fs::file_size(copy), e.size) << e.path;
    ++written;
    if (!fs::is_regular_file(originals / relative)) continue;
    EXPECT_TRUE(ReadWholeFile(copy.string()) == ReadWholeFile((originals / relative).string())) << e.path;
    ++compared;
  }
  EXPECT_GT(written, 2000);
  EXPECT_GT(compared, 5);

  BackToTheDiskPage();
  Search(id::kAdvanceSearchRadio);
  ASSERT_EQ(wizard.Page(), 2);
  const mytreectrl* systems = wizard.FileSystemTree();
  ASSERT_NE(systems, nullptr);
  ASSERT_FALSE(systems->Children(systems->Root()).empty());
  EXPECT_NE(systems->Text(systems->Children(systems->Root()).front()).find("exFAT"), std::string::npos);
  SecondStage();
  EXPECT_EQ(TreeLines(), standard);
}

// A stop asked for before a stage has read anything: the stage says it was stopped and the page
// shows what it found. A stage run whole after a stopped one says it was not stopped.
TEST_F(WizardFlowTest, AStopInEachStageIsHonouredAndReported) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  CChildDialogExDemoDlg& wizard = Start(image);
  wizard.OnRadioHover(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  NextThenStop();
  EXPECT_FALSE(surface_.Shown(id::kStopSearch));
  EXPECT_EQ(surface_.guidance, kSaveGuidancePanel);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(wizard.Stopped());
  EXPECT_EQ(wizard.Page(), 3);
  ASSERT_NE(wizard.ResultsTree(), nullptr);

  BackToTheDiskPage();
  wizard.OnRadioHover(id::kAdvanceSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  NextThenStop();
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(wizard.Stopped());
  ASSERT_EQ(wizard.Page(), 2);

  // Back, and the first stage again, whole this time; then the second stage whole and stopped.
  wizard.OnCommand(id::kBack);
  ASSERT_EQ(wizard.Page(), 1);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  EXPECT_FALSE(wizard.Stopped());
  SecondStage();
  EXPECT_FALSE(wizard.Stopped());
  wizard.OnCommand(id::kBack);
  ASSERT_EQ(wizard.Page(), 2);
  NextThenStop();
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(wizard.Stopped());
  EXPECT_EQ(wizard.Page(), 3);
}

// A stop that comes once the first stage of an Advance search has read everything (a Ctrl-C at its
// very end, say) belongs to that stage: the second stage runs whole and says it was not stopped.
TEST(AdvanceSearchStagesTest, AStopOfTheFirstStageNeverReachesTheSecond) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  DiskSessionOptions options;
  options.sysfsRoot = "";
  DiskSession disks({image}, options);
  std::string error;
  const ListedDisk* disk = disks.Select(image, &error);
  ASSERT_NE(disk, nullptr) << error;
  auto rebuild = [&](bool stopBetween, bool& stopped) {
    ScanContext ctx;
    ctx.reader = &disks.Reader();
    ctx.diskNumber = disk->number;
    ctx.partitionType = FsType::kFat16;
    ctx.searchStart = 2048;
    ctx.searchEnd = disk->totalSectors;
    AdvanceSearch search(ctx);
    const AdvanceSearchOutcome first = search.Run();
    EXPECT_FALSE(first.stopped);
    EXPECT_GT(first.identified, 0);
    if (stopBetween) search.RequestStop();
    const SecondStageOutcome second = search.RunSecondStage(0, nullptr);
    stopped = second.stopped;
    std::size_t folders = 0;
    for (const FolderNode& node : ctx.results.folderNodes) folders += node.self != 0 ? 1 : 0;
    return folders;
  };
  bool stopped = true;
  const std::size_t whole = rebuild(false, stopped);
  EXPECT_FALSE(stopped);
  EXPECT_EQ(rebuild(true, stopped), whole);
  EXPECT_FALSE(stopped);
  EXPECT_GT(whole, 3u);
}

}  // namespace
}  // namespace quarrow::app
