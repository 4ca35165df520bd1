// The wizard's page logic driven headless through a fake Surface: page transitions, the mode
// radios, the range edits, the no-device dialog, the lost-partition search and its question, the
// log commands and the questions at exit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "app/control_ids.h"
#include "app/info_dialogs.h"
#include "app/save_summary.h"
#include "app/wizard_dialog.h"
#include "app/wizard_texts.h"
#include "carve_test_files.h"
#include "partition_test_disk.h"
#include "support/fake_surface.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quarrow::app {
namespace {

namespace fs = std::filesystem;
using partition_test::Fat16Boot;
using partition_test::Fat16Figures;
using partition_test::PartitionTable;
using partition_test::Sector;
using test_support::FakeSurface;

constexpr std::uint32_t kFirst = 63;
constexpr std::uint32_t kCount = 65473;

void WriteImage(const fs::path& path, std::uint64_t sectors,
                const std::vector<std::pair<std::uint64_t, Sector>>& at) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.seekp(static_cast<std::streamoff>(sectors * 512 - 1));
    out.put('\0');
  }
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  for (const auto& [sector, bytes] : at) {
    io.seekp(static_cast<std::streamoff>(sector * 512));
    io.write(reinterpret_cast<const char*>(bytes.data()), 512);
  }
}

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qrw-wizard-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    tablePath_ = (dir_ / "table.img").string();
    blankPath_ = (dir_ / "blank.img").string();
    WriteImage(tablePath_, 65536, {{0, PartitionTable({{0x06, kFirst, kCount}})}, {kFirst, Fat16Boot({})}});
    WriteImage(blankPath_, 4096, {});
  }
  void TearDown() override {
    wizard_.reset();
    fs::remove_all(dir_);
  }

  CChildDialogExDemoDlg& Start(std::vector<std::string> images) {
    WizardOptions options;
    options.images = std::move(images);
    options.sysfsRoot = "";
    options.tempFolder = dir_.string();
    options.webAddress = "https://quarrow.example/";
    options.userGuide = (dir_ / "user-guide.md").string();
    wizard_ = std::make_unique<CChildDialogExDemoDlg>(surface_, options);
    wizard_->OnInitDialog();
    return *wizard_;
  }
  TreeItem FirstDisk() {
    const mytreectrl* tree = wizard_->DiskTree();
    return tree->Children(tree->Root()).empty() ? kNoItem : tree->Children(tree->Root()).front();
  }
  // Disk page -> partition page with the given mode, the automatic search (if any) finished.
  void ToPartitionPage(int radio) {
    wizard_->OnTreeClick(id::kDiskTree, FirstDisk());
    wizard_->OnRadioHover(radio);
    wizard_->OnCommand(id::kNext);
    ASSERT_TRUE(surface_.PumpUntil([&] { return !wizard_->Busy(); }));
    ASSERT_EQ(wizard_->Page(), 1);
  }
  bool Idle() {
    return surface_.PumpUntil([&] { return !wizard_->Busy(); });
  }

  fs::path dir_;
  std::string tablePath_, blankPath_;
  FakeSurface surface_;
  std::unique_ptr<CChildDialogExDemoDlg> wizard_;
};

TEST_F(WizardTest, NextWaitsForAModeAndRefreshListTakesItAway) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  EXPECT_EQ(surface_.guidance, kStartGuidance);
  EXPECT_FALSE(surface_.Enabled(id::kNext));
  wizard.OnCommand(id::kNext);  // a disabled Next does nothing
  EXPECT_EQ(wizard.Page(), 0);

  wizard.OnTreeClick(id::kDiskTree, FirstDisk());
  EXPECT_EQ(surface_.lists[id::kDetailsList].rows.size(), 14u);  // the disk's detail rows
  EXPECT_TRUE(surface_.Enabled(id::kStandardSearchRadio));
  EXPECT_FALSE(surface_.Enabled(id::kNext));

  wizard.OnRadioHover(id::kStandardSearchRadio);
  EXPECT_TRUE(surface_.Enabled(id::kNext));

  wizard.OnCommand(id::kRefreshList);
  EXPECT_FALSE(surface_.Enabled(id::kNext));
  EXPECT_FALSE(surface_.Checked(id::kStandardSearchRadio));
  EXPECT_FALSE(surface_.Checked(id::kAdvanceSearchRadio));
  EXPECT_EQ(wizard.Mode(), SearchMode::kNone);
  EXPECT_TRUE(surface_.lists[id::kDetailsList].rows.empty());
}

TEST_F(WizardTest, ThePointerChoosesTheModeAndAPressChangesNothing) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  // Before a disk is chosen the radios are disabled: hovering them chooses nothing.
  wizard.OnRadioHover(id::kAdvanceSearchRadio);
  EXPECT_EQ(wizard.Mode(), SearchMode::kNone);

  wizard.OnTreeClick(id::kDiskTree, FirstDisk());
  wizard.OnRadioHover(id::kStandardSearchRadio);
  wizard.OnRadioHover(id::kAdvanceSearchRadio);
  EXPECT_EQ(wizard.Mode(), SearchMode::kAdvance);
  EXPECT_TRUE(surface_.Checked(id::kAdvanceSearchRadio));
  EXPECT_FALSE(surface_.Checked(id::kStandardSearchRadio));

  EXPECT_TRUE(wizard.OnRadioMouseDown(id::kStandardSearchRadio));
  EXPECT_EQ(wizard.Mode(), SearchMode::kAdvance);
  EXPECT_TRUE(surface_.Checked(id::kAdvanceSearchRadio));

  // The keyboard's click does what the pointer does.
  wizard.OnCommand(id::kStandardSearchRadio);
  EXPECT_EQ(wizard.Mode(), SearchMode::kStandard);
  EXPECT_FALSE(surface_.Checked(id::kAdvanceSearchRadio));
}

TEST_F(WizardTest, NoDeviceDialogLeavesTheWizardUsableAndRetryClosesItOnceADiskAppears) {
  const std::string later = (dir_ / "later.img").string();
  CChildDialogExDemoDlg& wizard = Start({later});
  EXPECT_TRUE(surface_.noDeviceOpen);
  // The wizard still answers behind it.
  wizard.OnCommand(id::kAbout);
  EXPECT_EQ(surface_.CountDialogs(DialogId::kAbout), 1);
  wizard.OnCommand(id::kHelp);
  ASSERT_EQ(surface_.opened.size(), 1u);

  wizard.OnNoDeviceRetry();
  EXPECT_TRUE(surface_.noDeviceOpen);  // still no disk
  EXPECT_FALSE(surface_.exitCode.has_value());

  fs::copy_file(tablePath_, later);
  wizard.OnNoDeviceRetry();
  EXPECT_FALSE(surface_.noDeviceOpen);
  EXPECT_EQ(wizard.DiskTree()->Children(wizard.DiskTree()->Root()).size(), 1u);
  EXPECT_FALSE(surface_.exitCode.has_value());
}

TEST_F(WizardTest, BackOnThePartitionPageThenNextListsThePartitionsAgain) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kStandardSearchRadio);
  auto partitions = [&] {
    const mytreectrl* tree = wizard.PartitionTree();
    std::vector<std::string> texts;
    for (TreeItem item : tree->Children(tree->Root())) texts.push_back(tree->Text(item));
    return texts;
  };
  const std::vector<std::string> first = partitions();
  ASSERT_EQ(first, std::vector<std::string>{"Partition - 1 ( FAT16 )"});
  EXPECT_EQ(surface_.guidance, kPartitionGuidance);
  EXPECT_EQ(surface_.texts[id::kSearchModeText], "Standard Search ");
  EXPECT_EQ(surface_.Text(id::kStartSectorEdit), "63");

  wizard.OnCommand(id::kBack);
  EXPECT_EQ(wizard.Page(), 0);
  EXPECT_EQ(wizard.Mode(), SearchMode::kNone);
  EXPECT_EQ(surface_.guidance, kStartGuidance);
  EXPECT_FALSE(surface_.Enabled(id::kNext));
  EXPECT_EQ(surface_.trees[id::kPartitionTree], nullptr);

  ToPartitionPage(id::kStandardSearchRadio);
  EXPECT_EQ(partitions(), first);
}

TEST_F(WizardTest, ADiskWithoutATableIsSearchedAndStopAsksFirst) {
  CChildDialogExDemoDlg& wizard = Start({blankPath_});
  wizard.OnTreeClick(id::kDiskTree, FirstDisk());
  wizard.OnRadioHover(id::kAdvanceSearchRadio);
  wizard.OnCommand(id::kNext);
  // The search started by itself; nothing it reported has been shown yet.
  EXPECT_EQ(surface_.guidance, "Partition Table is corrupted. Software is Searching Partitions...");
  EXPECT_TRUE(surface_.Shown(id::kStopPartitionSearch));
  EXPECT_FALSE(surface_.Shown(id::kStartSectorEdit));  // the Advance controls hide while it runs

  surface_.answers.push_back(MessageAnswer::kNo);
  wizard.OnCommand(id::kStopPartitionSearch);
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].text, "Do you want to stop searching partition?");
  EXPECT_EQ(surface_.messages[0].title, "Quarrow");
  EXPECT_EQ(surface_.messages[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(surface_.messages[0].buttons, MessageButtons::kYesNo);
  EXPECT_EQ(surface_.messages[0].defaultAnswer, MessageAnswer::kNo);

  ASSERT_TRUE(Idle());
  const mytreectrl* tree = wizard.PartitionTree();
  ASSERT_EQ(tree->Children(tree->Root()).size(), 1u);
  EXPECT_EQ(tree->Text(tree->Children(tree->Root()).front()), "Unknown Partition");
  EXPECT_TRUE(surface_.Enabled(id::kNext));
  EXPECT_TRUE(surface_.Shown(id::kStartSectorEdit));
  EXPECT_EQ(surface_.Text(id::kStartSectorEdit), "0");
  EXPECT_EQ(surface_.Text(id::kEndSectorEdit), "4096");
  // With nothing running STOP asks nothing.
  wizard.OnCommand(id::kStopPartitionSearch);
  EXPECT_EQ(surface_.messages.size(), 1u);
}

TEST_F(WizardTest, AnEmptyStandardRangeGivesTheAdviceAndStaysOnThePartitionPage) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kStandardSearchRadio);
  surface_.texts[id::kEndSectorEdit] = surface_.texts[id::kStartSectorEdit];
  wizard.OnCommand(id::kNext);
  EXPECT_EQ(wizard.Page(), 1);
  EXPECT_EQ(surface_.CountDialogs(DialogId::kStandardAdvice), 1);
  EXPECT_EQ(surface_.guidance,
            "Select the partition to recover from left panel and then click on next button or use Searching "
            "Partition for search missing partition.");
  EXPECT_TRUE(surface_.Enabled(id::kNext));
  EXPECT_TRUE(surface_.Enabled(id::kBack));
  EXPECT_FALSE(wizard.Busy());
}

struct RangeCase {
  const char* start;
  const char* end;
  const char* message;  // "" when the range is accepted
};

class WizardRangeTest : public WizardTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(WizardRangeTest, SectorTextsAreParsedAsUnsigned64BitNumbers) {
  const RangeCase& c = GetParam();
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kAdvanceSearchRadio);
  surface_.texts[id::kStartSectorEdit] = c.start;
  surface_.texts[id::kEndSectorEdit] = c.end;
  surface_.combo[id::kPartitionTypeCombo] = 0;
  wizard.OnCommand(id::kNext);
  if (std::string(c.message).empty()) {
    EXPECT_TRUE(surface_.messages.empty());
    EXPECT_EQ(wizard.Page(), 2);
    EXPECT_EQ(std::to_string(wizard.StartSector()), std::string(c.start));
    EXPECT_EQ(std::to_string(wizard.EndSector()), std::string(c.end));
    EXPECT_EQ(surface_.texts[id::kSearchRangeText], std::string(c.start) + " to " + c.end);
    ASSERT_TRUE(Idle());
    return;
  }
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].text, c.message);
  EXPECT_EQ(surface_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(wizard.Page(), 1);
  EXPECT_TRUE(surface_.Enabled(id::kNext));
  EXPECT_FALSE(wizard.Busy());
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, WizardRangeTest,
    ::testing::Values(RangeCase{"abc", "zzz", "Start sector is not valid"},  // the start is looked at first
                      RangeCase{"-5", "100", "Start sector is not valid"},
                      RangeCase{"12x", "100", "Start sector is not valid"},
                      RangeCase{"", "100", "Start sector is not valid"},
                      RangeCase{"0", "1e3", "Ending sector is not valid"},
                      RangeCase{"0", "-1", "Ending sector is not valid"},
                      RangeCase{"0", "18446744073709551616", "Ending sector is not valid"},
                      RangeCase{"100", "100", "Ending sector is not valid"},
                      // The entered end reaches the search as it was typed.
                      RangeCase{"63", "1063", ""}, RangeCase{"0", "4294967296", ""}));

TEST_F(WizardTest, AnAdvanceSearchNeedsAPartitionType) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kAdvanceSearchRadio);
  surface_.combo[id::kPartitionTypeCombo] = 3;
  wizard.OnCommand(id::kNext);
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].text, "Select partition type");
  EXPECT_EQ(surface_.guidance, kSelectTypeGuidance);
  EXPECT_EQ(wizard.Page(), 1);
  EXPECT_TRUE(surface_.Enabled(id::kNext));
}

TEST_F(WizardTest, LogCommandsBelongToTheirPages) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  wizard.OnCommand(id::kLoadLog);  // page 0
  wizard.OnCommand(id::kSaveLog);
  EXPECT_TRUE(surface_.fileDialogs.empty());
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kSaveLog);  // page 1
  EXPECT_TRUE(surface_.fileDialogs.empty());
  wizard.OnCommand(id::kLoadLog);  // page 1: asks for the file; Cancel gives the buttons back
  ASSERT_EQ(surface_.fileDialogs.size(), 1u);
  EXPECT_FALSE(surface_.fileDialogs[0].save);
  EXPECT_EQ(surface_.fileDialogs[0].filter, "QLG Files (*.QLG)|*.QLG||");
  EXPECT_EQ(wizard.Page(), 1);
  EXPECT_TRUE(surface_.Enabled(id::kLoadLog));
  EXPECT_TRUE(surface_.Enabled(id::kNext));
}

TEST_F(WizardTest, AFailedLoadLogReturnsToThePartitionPageWithItsButtons) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kStandardSearchRadio);
  const std::string log = (dir_ / "broken.QLG").string();
  std::ofstream(log) << "not a log";
  surface_.filePaths.push_back(log);
  wizard.OnCommand(id::kLoadLog);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(
      surface_.CountMessages(
          "Either the selected log file is corrupted or you have selected the wrong disk for recovery."),
      1);
  EXPECT_EQ(wizard.Page(), 1);
  for (int control : {id::kNext, id::kBack, id::kSearchMorePartitions, id::kLoadLog})
    EXPECT_TRUE(surface_.Enabled(control)) << control;
  EXPECT_TRUE(surface_.Shown(id::kPartitionTree));
}

TEST_F(WizardTest, ExitAsksToSaveOnlyOnAFinishedResultsPage) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  // Page 0: only the exit question; No keeps the wizard.
  wizard.OnCommand(id::kExit);
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].text, "Do you want to exit from Quarrow?");
  EXPECT_EQ(surface_.messages[0].defaultAnswer, MessageAnswer::kNo);
  EXPECT_FALSE(surface_.exitCode.has_value());

  // During a scan: no save question, whatever page the scan is on.
  ToPartitionPage(id::kStandardSearchRadio);
  surface_.messages.clear();
  wizard.OnCommand(id::kNext);
  ASSERT_EQ(wizard.Page(), 3);
  ASSERT_TRUE(wizard.Busy());
  wizard.OnCommand(id::kExit);
  ASSERT_GE(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.CountMessages("Do you want to save the recovery?"), 0);

  // On the finished results page the save question comes first.
  ASSERT_TRUE(Idle());
  surface_.messages.clear();
  wizard.OnCommand(id::kExit);
  ASSERT_EQ(surface_.messages.size(), 2u);
  EXPECT_EQ(surface_.messages[0].text, "Do you want to save the recovery?");
  EXPECT_EQ(surface_.messages[1].text, "Do you want to exit from Quarrow?");

  // Yes ends the wizard with exit code 0 and the web page opened.
  surface_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  wizard.OnCommand(id::kExit);
  EXPECT_EQ(surface_.exitCode, 0);
  EXPECT_EQ(surface_.opened.back(), "https://quarrow.example/");
}

// The system menu's Exit (the window's close button): it asks first, stops every job and waits
// for it, and offers to save only a tree that was whole when the user left: a finished one, or one
// an earlier Stop Search salvaged, never one a search was still building.
TEST_F(WizardTest, SystemMenuExitAsksToSaveOnlyATreeThatWasWhole) {
  const std::string exitQuestion = "Do you want to Exit?";
  const std::string saveQuestion = "Do you want to save the recovery?";
  auto texts = [&] {
    std::vector<std::string> out;
    for (const MessageSpec& m : surface_.messages) out.push_back(m.text);
    return out;
  };
  // Page 0: the question alone; its default, No, keeps the wizard.
  CChildDialogExDemoDlg& first = Start({tablePath_});
  first.OnCommand(id::kSystemMenuExit);
  EXPECT_EQ(texts(), std::vector<std::string>{exitQuestion});
  EXPECT_EQ(surface_.messages[0].defaultAnswer, MessageAnswer::kNo);
  EXPECT_FALSE(surface_.exitCode.has_value());

  enum class When { kDuringSearch, kFinished, kSalvaged };
  for (When when : {When::kDuringSearch, When::kFinished, When::kSalvaged}) {
    SCOPED_TRACE(static_cast<int>(when));
    wizard_.reset();
    surface_.Pump();
    surface_.exitCode.reset();
    surface_.fileDialogs.clear();
    CChildDialogExDemoDlg& wizard = Start({tablePath_});
    ToPartitionPage(id::kStandardSearchRadio);
    wizard.OnCommand(id::kNext);
    ASSERT_EQ(wizard.Page(), 3);
    ASSERT_TRUE(wizard.Busy());
    if (when == When::kSalvaged) wizard.OnCommand(id::kStopSearch);
    if (when != When::kDuringSearch) {
      ASSERT_TRUE(Idle());
      ASSERT_NE(wizard.ResultsTree(), nullptr);
      EXPECT_EQ(wizard.Stopped(), when == When::kSalvaged);
    }
    surface_.messages.clear();
    const fs::path log = dir_ / "exit.QLG";
    fs::remove(log);
    surface_.filePaths = {log.string()};
    surface_.answers = {MessageAnswer::kYes, MessageAnswer::kYes};
    wizard.OnCommand(id::kSystemMenuExit);
    // Every job was stopped and waited for before the wizard ended.
    EXPECT_FALSE(wizard.Busy());
    EXPECT_EQ(surface_.exitCode, 0);
    if (when == When::kDuringSearch) {
      EXPECT_EQ(texts(), std::vector<std::string>{exitQuestion});
      EXPECT_TRUE(surface_.fileDialogs.empty());
    } else {
      EXPECT_EQ(texts(), (std::vector<std::string>{exitQuestion, saveQuestion}));
      EXPECT_EQ(surface_.messages[1].defaultAnswer, MessageAnswer::kNo);
      EXPECT_TRUE(fs::exists(log));  // Yes saved the scan log
    }
  }
}

TEST_F(WizardTest, BackFromTheResultsOfAStandardSearchRebuildsThePartitionPage) {
  CChildDialogExDemoDlg& wizard = Start({tablePath_});
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  EXPECT_EQ(surface_.guidance, kSearchingGuidance);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  EXPECT_FALSE(surface_.Shown(id::kNext));
  wizard.OnCommand(id::kBack);
  EXPECT_EQ(wizard.Page(), 1);
  ASSERT_NE(wizard.PartitionTree(), nullptr);
  EXPECT_EQ(wizard.PartitionTree()->Children(wizard.PartitionTree()->Root()).size(), 1u);
  EXPECT_TRUE(surface_.Shown(id::kNext));
  EXPECT_TRUE(surface_.Enabled(id::kLoadLog));
  EXPECT_EQ(surface_.trees[id::kResultsTree], nullptr);
}

// A FAT16 volume at kFirst whose root holds one file, HELLO.TXT, in cluster 2, and when asked a
// deleted one, ?ONE.TXT, in cluster 3 (free in the FAT).
constexpr std::string_view kHello = "hello from the saving dialog\n";
constexpr std::string_view kGone = "what a deleted file's cluster still holds";

// The sector HELLO.TXT's bytes are in (cluster 2's first).
std::uint64_t HelloSector() {
  const Fat16Figures figures;
  const std::uint64_t root = kFirst + figures.reserved + std::uint64_t{figures.fats} * figures.sectorsPerFat;
  return root + figures.rootEntries * 32u / 512u;
}

// withBroken adds BROKEN.TXT, whose first cluster lies beyond the volume: no byte of it can be
// found.
std::vector<std::pair<std::uint64_t, Sector>> VolumeWithOneFile(bool withDeleted = false,
                                                                bool withBroken = false) {
  const Fat16Figures figures;
  const std::uint64_t fat1 = kFirst + figures.reserved;
  const std::uint64_t root = fat1 + std::uint64_t{figures.fats} * figures.sectorsPerFat;
  const std::uint64_t data = HelloSector();
  Sector fat{};
  for (int i = 0; i < 6; ++i) fat[i] = i == 0 ? 0xF8 : 0xFF;  // entries 0, 1 and cluster 2's end
  Sector dir{};
  const std::string_view name = "HELLO   TXT";
  std::copy(name.begin(), name.end(), dir.begin());
  dir[11] = 0x20;
  dir[26] = 2;  // first cluster
  dir[28] = static_cast<std::uint8_t>(kHello.size());
  Sector content{};
  std::copy(kHello.begin(), kHello.end(), content.begin());
  Sector gone{};
  if (withDeleted) {
    const std::string_view deleted = "\xE5ONE    TXT";
    std::copy(deleted.begin(), deleted.end(), dir.begin() + 32);
    dir[32 + 11] = 0x20;
    dir[32 + 26] = 3;
    dir[32 + 28] = static_cast<std::uint8_t>(kGone.size());
    std::copy(kGone.begin(), kGone.end(), gone.begin());
  }
  if (withBroken) {
    const std::size_t at = withDeleted ? 64 : 32;
    const std::string_view broken = "BROKEN  TXT";
    std::copy(broken.begin(), broken.end(), dir.begin() + static_cast<std::ptrdiff_t>(at));
    dir[at + 11] = 0x20;
    dir[at + 26] = 0xF0;  // cluster 0xFFF0
    dir[at + 27] = 0xFF;
    dir[at + 28] = 10;
  }
  return {{0, PartitionTable({{0x06, kFirst, kCount}})},
          {kFirst, Fat16Boot(figures)},
          {fat1, fat},
          {fat1 + figures.sectorsPerFat, fat},
          {root, dir},
          {data, content},
          {data + figures.sectorsPerCluster, gone}};
}

// The page a search ends on follows from its outcome: the guidance, the Next button and the advice
// dialog. The table disk's FAT16 volume is a boot sector alone: a Standard search refuses it,
// works the figures out, and finds nothing; an Advance search identifies nothing in it. The file
// disk's volume holds one file in its root.
struct OutcomeCase {
  const char* name;
  bool fileDisk;
  int radio;
  const char* start;  // "" keeps the partition's own range
  const char* end;
  const char* message;  // the one message box of the search, "" for none
  int page;
  std::string_view guidance;
  DialogId advice;
  int adviceShown;
  bool nextEnabled;
};

class WizardOutcomeTest : public WizardTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(WizardOutcomeTest, TheSearchOutcomeDecidesGuidanceNextAndAdvice) {
  const OutcomeCase& c = GetParam();
  std::string image = tablePath_;
  if (c.fileDisk) {
    image = (dir_ / "file.img").string();
    WriteImage(image, 65536, VolumeWithOneFile());
  }
  CChildDialogExDemoDlg& wizard = Start({image});
  ToPartitionPage(c.radio);
  if (std::string(c.start).size() > 0) {
    surface_.texts[id::kStartSectorEdit] = c.start;
    surface_.texts[id::kEndSectorEdit] = c.end;
  }
  surface_.combo[id::kPartitionTypeCombo] = 0;  // FAT16
  surface_.guidanceHistory.clear();
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  std::vector<std::string> messages;
  for (const auto& m : surface_.messages) messages.push_back(m.text);
  EXPECT_EQ(messages, std::string(c.message).empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{c.message});
  EXPECT_EQ(wizard.Page(), c.page);
  EXPECT_EQ(surface_.guidance, c.guidance);
  EXPECT_EQ(surface_.CountDialogs(c.advice), c.adviceShown);
  EXPECT_EQ(
      surface_.CountDialogs(DialogId::kStandardAdvice) + surface_.CountDialogs(DialogId::kAdvanceAdvice),
      c.adviceShown);
  EXPECT_EQ(surface_.Shown(id::kNext) && surface_.Enabled(id::kNext), c.nextEnabled);
  EXPECT_TRUE(surface_.Enabled(id::kBack));
  EXPECT_FALSE(surface_.Shown(id::kStopSearch));
  // The search page asked the user to let it run; a Standard search, once its reading was over,
  // to wait.
  ASSERT_FALSE(surface_.guidanceHistory.empty());
  EXPECT_EQ(surface_.guidanceHistory.front(), kSearchingGuidance);
  const bool waited = std::find(surface_.guidanceHistory.begin(), surface_.guidanceHistory.end(),
                                kPleaseWaitGuidance) != surface_.guidanceHistory.end();
  EXPECT_EQ(waited, c.radio == id::kStandardSearchRadio);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, WizardOutcomeTest,
    ::testing::Values(OutcomeCase{"StandardFindsNothing", false, id::kStandardSearchRadio, "", "",
                                  "Unable to calculate partition parameters", 3, kStandardSaveGuidance,
                                  DialogId::kStandardAdvice, 1, false},
                      OutcomeCase{"StandardFindsAFile", true, id::kStandardSearchRadio, "", "", "", 3,
                                  kStandardSaveGuidance, DialogId::kStandardAdvice, 0, false},
                      OutcomeCase{"AdvanceIdentifiesNothing", false, id::kAdvanceSearchRadio, "", "", "", 2,
                                  kNothingIdentifiedGuidance, DialogId::kAdvanceAdvice, 1, false},
                      OutcomeCase{"AdvanceIdentifiesNothingInARange", false, id::kAdvanceSearchRadio, "200",
                                  "2000", "", 2, kNothingIdentifiedGuidance, DialogId::kAdvanceAdvice, 1,
                                  false}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

// An Advance search that carved a file: Save Log writes the log, and says that the carved file is
// not in it (a loaded log would show the volume without it).
TEST_F(WizardTest, SaveLogSaysTheCarvedFilesAreLeftOut) {
  std::vector<std::pair<std::uint64_t, Sector>> sectors = VolumeWithOneFile();
  const std::vector<std::uint8_t> jpeg = carve_test::DecodableJpeg(8, 6, 5, 16);
  ASSERT_LE(jpeg.size(), 512u);
  Sector photo{};
  std::copy(jpeg.begin(), jpeg.end(), photo.begin());
  sectors.emplace_back(HelloSector() + 8 * Fat16Figures{}.sectorsPerCluster, photo);  // cluster 10
  // Folders at clusters 4 and 6, which the Advance search takes the volume's geometry from.
  const std::uint64_t rootSector = HelloSector() - Fat16Figures{}.rootEntries * 32u / 512u;
  for (const std::uint8_t cluster : {4, 6}) {
    for (auto& [sector, bytes] : sectors) {
      if (sector != rootSector) continue;
      const std::string_view name = cluster == 4 ? "DIR1       " : "DIR2       ";
      std::copy(name.begin(), name.end(), bytes.begin() + 16 * cluster - 32);
      bytes[16 * cluster - 32 + 11] = 0x10;
      bytes[16 * cluster - 32 + 26] = cluster;
    }
    Sector folder{};
    for (int k = 0; k < 2; ++k) {
      std::fill(folder.begin() + 32 * k, folder.begin() + 32 * k + 11, ' ');
      std::fill(folder.begin() + 32 * k, folder.begin() + 32 * k + 1 + k, '.');
      folder[32 * k + 11] = 0x10;
    }
    folder[26] = cluster;
    sectors.emplace_back(HelloSector() + (cluster - 2u) * Fat16Figures{}.sectorsPerCluster, folder);
  }
  const std::string image = (dir_ / "carve.img").string();
  WriteImage(image, 65536, sectors);
  CChildDialogExDemoDlg& wizard = Start({image});
  ToPartitionPage(id::kAdvanceSearchRadio);
  surface_.combo[id::kPartitionTypeCombo] = 0;  // FAT16
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 2);
  ASSERT_TRUE(surface_.Enabled(id::kNext)) << surface_.guidance;
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3) << surface_.guidance;
  surface_.messages.clear();
  const fs::path log = dir_ / "carved.QLG";
  surface_.filePaths.push_back(log.string());
  wizard.OnCommand(id::kSaveLog);
  EXPECT_TRUE(fs::exists(log));
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].text,
            "The scan log does not keep the 1 carved file; an Advance search finds it again.");
  EXPECT_EQ(surface_.messages[0].icon, MessageIcon::kInformation);
}

TEST_F(WizardTest, SaveCountsThenShowsTheSavingDialogWhileWritingAndClosesBoth) {
  const std::string image = (dir_ / "file.img").string();
  WriteImage(image, 65536, VolumeWithOneFile());
  CChildDialogExDemoDlg& wizard = Start({image});
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  mytreectrl& tree = *wizard.ResultsTree();
  wizard.OnTreeCheckBoxClick(id::kResultsTree, tree.Root());

  const fs::path out = dir_ / "out";
  surface_.destination = out.string();
  surface_.events.clear();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  ASSERT_TRUE(surface_.messages.empty()) << surface_.messages[0].text;

  // Calculating first, then Saving, each closed once the run is over.
  EXPECT_EQ(surface_.progressDialogs, (std::vector<DialogId>{DialogId::kCalculating, DialogId::kSaving}));
  EXPECT_EQ(surface_.closedProgressDialogs, surface_.progressDialogs);
  auto at = [&](const std::string& event) {
    return std::find(surface_.events.begin(), surface_.events.end(), event) - surface_.events.begin();
  };
  const std::string saving = std::to_string(static_cast<int>(DialogId::kSaving));
  const std::string calculating = std::to_string(static_cast<int>(DialogId::kCalculating));
  const auto opened = at("open " + saving), closed = at("close " + saving);
  const auto named = at("text " + std::to_string(id::kSavingFileName) + " HELLO.TXT");
  ASSERT_LT(closed, static_cast<std::ptrdiff_t>(surface_.events.size()));
  EXPECT_LT(at("close " + calculating), opened);
  // The file's name reaches the dialog while it is open, with the totals and both bars.
  EXPECT_LT(opened, named);
  EXPECT_LT(named, closed);
  // The totals end on what was written, not on where the last file began.
  const std::string size = std::to_string(kHello.size());
  EXPECT_EQ(surface_.texts[id::kSavingTotals], "1 / 1 files, " + size + " / " + size + " bytes");
  EXPECT_EQ(surface_.progress[id::kSavingTotalProgress].second, "1 / 1");
  EXPECT_EQ(surface_.progress[id::kSavingFileProgress].first, 100);
  EXPECT_TRUE(surface_.Enabled(id::kSavingStop));
  EXPECT_TRUE(surface_.Enabled(id::kSavingSkip));

  std::ifstream written(out / "HELLO.TXT", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, kHello);
}

// After a save the results page says what became of every file asked for: written, skipped,
// failed, and the unreadable sectors written as zeros.
struct SummaryCase {
  const char* name;
  bool broken;          // BROKEN.TXT is on the volume too: it fails
  bool badSector;       // a rescue map says HELLO.TXT's sector was never read
  bool savedBefore;     // HELLO.TXT is at the destination already, and the replace question says Skip
  const char* summary;  // after "Saved to DESTINATION: "
};

class WizardSaveSummaryTest : public WizardTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(WizardSaveSummaryTest, TheSummaryCountsWrittenSkippedFailedAndZeroFilledSectors) {
  const SummaryCase& c = GetParam();
  const std::string image = (dir_ / "file.img").string();
  WriteImage(image, 65536, VolumeWithOneFile(false, c.broken));
  if (c.badSector) {
    const std::uint64_t bad = HelloSector() * 512;
    std::ofstream map(image + ".map");
    map << "0x0 +\n"
        << "0x0 " << bad << " +\n"
        << bad << " 512 -\n"
        << bad + 512 << " " << 65536 * 512 - bad - 512 << " +\n";
  }
  const fs::path out = dir_ / "out";
  if (c.savedBefore) {
    fs::create_directories(out);
    std::ofstream(out / "HELLO.TXT") << "already here";
    surface_.replaceReply = {ReplaceButton::kSkip, true};
  }
  CChildDialogExDemoDlg& wizard = Start({image});
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  wizard.OnTreeCheckBoxClick(id::kResultsTree, wizard.ResultsTree()->Root());
  surface_.destination = out.string();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(surface_.messages.empty()) << surface_.messages.front().text;
  EXPECT_EQ(surface_.texts[id::kSaveSummary], "Saved to " + out.string() + ": " + c.summary);
  EXPECT_TRUE(surface_.Shown(id::kFilesRecovered));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, WizardSaveSummaryTest,
    ::testing::Values(SummaryCase{"Written", false, false, false, "1 file written, 0 skipped, 0 failed"},
                      SummaryCase{"Skipped", false, false, true, "0 files written, 1 skipped, 0 failed"},
                      SummaryCase{"Failed", true, false, false, "1 file written, 0 skipped, 1 failed"},
                      SummaryCase{"ZeroFilled", false, true, false,
                                  "1 file written, 0 skipped, 0 failed; 1 unreadable sector written as zeros "
                                  "in 1 file"}),
    [](const ::testing::TestParamInfo<SummaryCase>& info) { return std::string(info.param.name); });

// A folder this process cannot make anything in. For an ordinary user a fresh folder with mode
// 0555; root writes there all the same, so for root a sysfs folder, which refuses even root.
fs::path ReadOnlyFolder(const fs::path& scratch) {
#ifndef _WIN32
  if (::geteuid() == 0) return "/sys/kernel";
#endif
  const fs::path folder = scratch / "read-only";
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  return folder;
}

enum class Unwritable { kReadOnlyFolder, kNewFolderInReadOnlyFolder, kFolderUnderAFile, kAFile };

class WizardUnwritableTest : public WizardTest, public ::testing::WithParamInterface<Unwritable> {};

TEST_P(WizardUnwritableTest, AnUnwritableDestinationIsNamedWithItsReasonAndTheResultsPageStays) {
  const std::string image = (dir_ / "file.img").string();
  WriteImage(image, 65536, VolumeWithOneFile());
  const fs::path readOnly = ReadOnlyFolder(dir_);
  {
    std::error_code ec;
    ASSERT_TRUE(fs::is_directory(readOnly));
    const bool made = fs::create_directory(readOnly / "qrw-check", ec);
    if (made) fs::remove(readOnly / "qrw-check");
#ifdef _WIN32
    // A read-only attribute does not stop Windows from making folders in a folder, and an
    // administrator (or wine) has no place that refuses writes.
    if (made) GTEST_SKIP() << readOnly << " takes new folders: no place here refuses writes";
#endif
    ASSERT_FALSE(made) << readOnly << " takes new folders: no place here refuses writes";
  }
  std::ofstream((dir_ / "blocker").string()) << "a file, not a folder";
  fs::path destination;
  std::vector<std::string> expected;  // what the message says, in this order
  switch (GetParam()) {
    case Unwritable::kReadOnlyFolder:
      destination = readOnly;
      expected = {"The folder \"" + readOnly.string() + "\" cannot be written to: "};
      break;
    case Unwritable::kNewFolderInReadOnlyFolder:
      destination = readOnly / "recovered";
      expected = {"The folder \"" + destination.string() + "\" cannot be made in \"" + readOnly.string() +
                  "\": "};
      break;
    case Unwritable::kFolderUnderAFile:
      destination = dir_ / "blocker" / "out";
      expected = {"The folder \"" + destination.string() + "\" cannot be made: \"" +
                  (dir_ / "blocker").string() + "\" is a file, not a folder."};
      break;
    case Unwritable::kAFile:
      destination = dir_ / "blocker";
      expected = {"\"" + destination.string() + "\" is a file, not a folder."};
      break;
  }
  expected.push_back("Choose another folder for the recovered files.");

  CChildDialogExDemoDlg& wizard = Start({image});
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  wizard.OnTreeCheckBoxClick(id::kResultsTree, wizard.ResultsTree()->Root());
  surface_.destination = destination.string();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());

  ASSERT_EQ(surface_.messages.size(), 1u);
  const MessageSpec& message = surface_.messages[0];
  EXPECT_EQ(message.icon, MessageIcon::kError);
  EXPECT_EQ(message.title, "Quarrow");
  std::size_t from = 0;
  for (const std::string& part : expected) {
    const std::size_t at = message.text.find(part, from);
    ASSERT_NE(at, std::string::npos) << "\"" << part << "\" in \"" << message.text << "\"";
    if (from == 0) {
      EXPECT_EQ(at, 0u) << message.text;  // the message begins with what is wrong with the folder
    }
    from = at + part.size();
  }
  if (GetParam() == Unwritable::kReadOnlyFolder || GetParam() == Unwritable::kNewFolderInReadOnlyFolder) {
    // The system's own reason follows the folder.
    const std::string denied = std::make_error_code(std::errc::permission_denied).message();
    const std::string notPermitted = std::make_error_code(std::errc::operation_not_permitted).message();
    EXPECT_TRUE(message.text.find(denied + ".") != std::string::npos ||
                message.text.find(notPermitted + ".") != std::string::npos)
        << message.text;
  }
  EXPECT_FALSE(fs::exists(readOnly / "recovered"));
  EXPECT_FALSE(fs::exists(readOnly / "HELLO.TXT"));

  // The results page stays as it was and works: its buttons and tree are back, no progress dialog
  // is left open, and a save to a folder that takes files goes through.
  EXPECT_EQ(wizard.Page(), 3);
  EXPECT_FALSE(wizard.Busy());
  for (int control : {id::kSave, id::kSaveLog, id::kBack, id::kResultsTree})
    EXPECT_TRUE(surface_.Enabled(control)) << control;
  EXPECT_EQ(surface_.closedProgressDialogs, surface_.progressDialogs);
  EXPECT_EQ(surface_.texts.count(id::kSaveSummary), 0u);
  const fs::path out = dir_ / "out";
  surface_.destination = out.string();
  wizard.OnCommand(id::kSave);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(surface_.messages.size(), 1u);
  EXPECT_TRUE(fs::exists(out / "HELLO.TXT"));
  EXPECT_EQ(surface_.texts[id::kSaveSummary],
            "Saved to " + out.string() + ": 1 file written, 0 skipped, 0 failed");
}

INSTANTIATE_TEST_SUITE_P(Destinations, WizardUnwritableTest,
                         ::testing::Values(Unwritable::kReadOnlyFolder,
                                           Unwritable::kNewFolderInReadOnlyFolder,
                                           Unwritable::kFolderUnderAFile, Unwritable::kAFile),
                         [](const ::testing::TestParamInfo<Unwritable>& info) {
                           switch (info.param) {
                             case Unwritable::kReadOnlyFolder:
                               return std::string("ReadOnlyFolder");
                             case Unwritable::kNewFolderInReadOnlyFolder:
                               return std::string("NewFolderInReadOnlyFolder");
                             case Unwritable::kFolderUnderAFile:
                               return std::string("FolderUnderAFile");
                             case Unwritable::kAFile:
                               break;
                           }
                           return std::string("AFile");
                         });

TEST(SaveSummaryTextTest, SaysWhenASaveWasCutShort) {
  struct Case {
    bool stopped, cancelled;
    const char* ending;
  };
  for (const Case& c : {Case{false, false, "failed"}, Case{true, false, "failed (stopped)"},
                        Case{false, true, "failed (cancelled)"}, Case{true, true, "failed (cancelled)"}}) {
    RecoveryRunOutcome outcome;
    outcome.written.filesWritten = 2;
    outcome.written.skipped = 3;
    outcome.written.failed = 4;
    outcome.written.stopped = c.stopped;
    outcome.written.cancelled = c.cancelled;
    EXPECT_EQ(SaveSummaryText(outcome, "/backup"),
              std::string("Saved to /backup: 2 files written, 3 skipped, 4 ") + c.ending);
  }
}

TEST_F(WizardTest, APreviewGivesAListedFilesFirstBytesAndADeletedFilesEstimate) {
  const std::string image = (dir_ / "file.img").string();
  WriteImage(image, 65536, VolumeWithOneFile(/*withDeleted=*/true));
  CChildDialogExDemoDlg& wizard = Start({image});
  EXPECT_FALSE(wizard.PreviewListRow(0, 4096).has_value());  // no results page yet
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  wizard.OnTreeClick(id::kResultsTree, wizard.ResultsTree()->Root());
  ASSERT_TRUE(Idle());
  const ListContent& list = wizard.DetailsContent();
  auto rowOf = [&](std::string_view name) {
    for (std::size_t i = 0; i < list.rows.size(); ++i)
      if (!list.rows[i].cells.empty() && list.rows[i].cells[0] == name) return static_cast<int>(i);
    return -1;
  };
  const int live = rowOf("HELLO.TXT");
  ASSERT_GE(live, 0);
  int deleted = -1;
  for (std::size_t i = 0; i < list.rows.size(); ++i)
    if (list.rows[i].deleted) deleted = static_cast<int>(i);
  ASSERT_GE(deleted, 0);

  struct Case {
    int row;
    std::size_t maxBytes;
    std::string_view bytes;
    bool deleted;
  };
  for (const Case& c : {Case{live, 4096, kHello, false}, Case{live, 5, kHello.substr(0, 5), false},
                        Case{deleted, 4096, kGone, true}}) {
    SCOPED_TRACE(c.row);
    const std::optional<FilePreview> preview = wizard.PreviewListRow(c.row, c.maxBytes);
    ASSERT_TRUE(preview.has_value());
    EXPECT_EQ(preview->name, list.rows[static_cast<std::size_t>(c.row)].cells[0]);
    EXPECT_EQ(std::string(preview->bytes.begin(), preview->bytes.end()), c.bytes);
    // A deleted file carries the estimate its row shows; a live one none.
    EXPECT_EQ(preview->estimate.empty(), !c.deleted);
    if (c.deleted) {
      EXPECT_EQ(preview->estimate, list.rows[static_cast<std::size_t>(c.row)].cells.at(5));
    }
  }
  EXPECT_FALSE(wizard.PreviewListRow(static_cast<int>(list.rows.size()), 4096).has_value());
  EXPECT_FALSE(wizard.PreviewListRow(-1, 4096).has_value());
}

// The keys of the results page, its two context menus and the file-type list, on a search that
// found one file in the root and the catch-all folder below it.
TEST_F(WizardTest, KeysMenusAndTheFileTypeListOnTheResultsPage) {
  const std::string image = (dir_ / "file.img").string();
  WriteImage(image, 65536, VolumeWithOneFile());
  CChildDialogExDemoDlg& wizard = Start({image});
  EXPECT_FALSE(wizard.OnKey(WizardKey::kTab));  // off the results page Tab is the dialog's own
  ToPartitionPage(id::kStandardSearchRadio);
  wizard.OnCommand(id::kNext);
  ASSERT_TRUE(Idle());
  ASSERT_EQ(wizard.Page(), 3);
  mytreectrl& tree = *wizard.ResultsTree();
  ASSERT_FALSE(tree.Children(tree.Root()).empty());

  // Enter, Space and Escape are swallowed: nothing closes, no page changes, nothing is asked.
  for (const WizardKey key : {WizardKey::kEnter, WizardKey::kSpace, WizardKey::kEscape}) {
    EXPECT_TRUE(wizard.OnKey(key));
    EXPECT_EQ(wizard.Page(), 3);
  }
  EXPECT_TRUE(surface_.messages.empty());

  // F1 opens the guide; Tab goes list, tree, list; F6 the page's tree; F7 the list's first row.
  const struct {
    WizardKey key;
    int focus;
  } focusCases[] = {{WizardKey::kTab, id::kDetailsList},
                    {WizardKey::kTab, id::kResultsTree},
                    {WizardKey::kTab, id::kDetailsList},
                    {WizardKey::kF6, id::kResultsTree},
                    {WizardKey::kF7, id::kDetailsList}};
  EXPECT_TRUE(wizard.OnKey(WizardKey::kF1));
  ASSERT_FALSE(surface_.opened.empty());
  EXPECT_EQ(surface_.opened.back(), (dir_ / "user-guide.md").string());
  for (const auto& c : focusCases) {
    EXPECT_TRUE(wizard.OnKey(c.key));
    EXPECT_EQ(surface_.focus, c.focus);
  }
  EXPECT_EQ(surface_.listSelection[id::kDetailsList], 0);

  // Down and Up walk the visible folders from the tree, and list the one they reach.
  wizard.OnKey(WizardKey::kTab);  // back to the tree
  tree.Select(tree.Root());
  const TreeItem below = tree.NextVisible(tree.Root());
  ASSERT_NE(below, kNoItem);
  EXPECT_TRUE(wizard.OnKey(WizardKey::kDown));
  ASSERT_TRUE(Idle());
  EXPECT_EQ(tree.Selected(), below);
  EXPECT_EQ(surface_.texts[id::kCurrentFolder], tree.Text(below));
  EXPECT_TRUE(wizard.OnKey(WizardKey::kUp));
  EXPECT_EQ(tree.Selected(), tree.Root());

  // The tree's menu: dismissed, nothing; "Save" starts a save (the destination is asked).
  surface_.menuAnswer = 0;
  wizard.OnTreeRightClick(id::kResultsTree, tree.Root());
  ASSERT_EQ(surface_.menus, (std::vector<int>{id::kTreeMenu}));
  EXPECT_TRUE(surface_.progressDialogs.empty());
  wizard.OnTreeCheckBoxClick(id::kResultsTree, tree.Root());
  surface_.destination = (dir_ / "out").string();
  surface_.menuAnswer = id::kMenuTreeSave;
  wizard.OnTreeRightClick(id::kResultsTree, tree.Root());
  ASSERT_TRUE(Idle());
  EXPECT_FALSE(surface_.progressDialogs.empty());
  EXPECT_TRUE(fs::exists(dir_ / "out" / "HELLO.TXT"));

  // The list's menu on the catch-all folder's row: "Open" lists that folder.
  wizard.OnTreeClick(id::kResultsTree, tree.Root());
  ASSERT_TRUE(Idle());
  const ListContent& list = wizard.DetailsContent();
  int folderRow = -1;
  for (std::size_t r = 0; r < list.rows.size(); ++r)
    if (list.rows[r].cells.at(0) == tree.Text(below)) folderRow = static_cast<int>(r);
  ASSERT_GE(folderRow, 0);
  surface_.menuAnswer = id::kMenuOpen;
  wizard.OnListRightClick(folderRow);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(surface_.menus.back(), id::kListMenu);
  EXPECT_EQ(surface_.texts[id::kCurrentFolder], tree.Text(below));

  // The file-type list: the row clicked takes the check state given, the others keep theirs.
  ASSERT_EQ(surface_.lists[id::kFileTypeList].rows.size(), 4u);
  wizard.OnFileTypeChecked(2, true);
  wizard.OnFileTypeChecked(0, true);
  wizard.OnFileTypeChecked(0, false);
  wizard.OnFileTypeChecked(7, true);  // no such row
  std::vector<int> checks;
  for (const ListRow& row : surface_.lists[id::kFileTypeList].rows) checks.push_back(row.check);
  EXPECT_EQ(checks, (std::vector<int>{0, 0, 1, 0}));
}

// A disk image that cannot be opened is named with the reason, not silently left out; one that
// goes away after it was listed is refused at Next with the reason, and the disk page stays.
TEST_F(WizardTest, AnImageThatCannotBeOpenedIsNamedWithTheReason) {
  const std::string missing = (dir_ / "missing.img").string();
  CChildDialogExDemoDlg& wizard = Start({tablePath_, missing});
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_EQ(surface_.messages[0].icon, MessageIcon::kError);
  EXPECT_NE(surface_.messages[0].text.find(missing), std::string::npos) << surface_.messages[0].text;
#ifdef _WIN32
  // The system's own words follow the path; they differ between Windows versions (and wine).
  EXPECT_GT(surface_.messages[0].text.size(), surface_.messages[0].text.find(missing + ": ") + missing.size() + 2)
      << surface_.messages[0].text;
#else
  EXPECT_NE(surface_.messages[0].text.find("No such file"), std::string::npos) << surface_.messages[0].text;
#endif
  ASSERT_NE(FirstDisk(), kNoItem);  // the image that opens is listed all the same

  surface_.messages.clear();
  wizard.OnTreeClick(id::kDiskTree, FirstDisk());
  wizard.OnRadioHover(id::kStandardSearchRadio);
  fs::remove(tablePath_);
  wizard.OnCommand(id::kNext);
  EXPECT_EQ(wizard.Page(), 0);
  ASSERT_EQ(surface_.messages.size(), 1u);
  EXPECT_NE(surface_.messages[0].text.find(tablePath_), std::string::npos) << surface_.messages[0].text;
}

}  // namespace
}  // namespace quarrow::app
