// The FAT branch of an Advance search as a session runs it: the first stage with its choice page
// (or its advice when nothing is identified, or its salvage after a stop), the second stage's
// tree, and a volume identified from its backup boot sector.

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <set>

#include "app/results_page.h"
#include "app/search_outcomes.h"
#include "fat/advance_scan.h"
#include "fat/fs_analysis.h"
#include "fat_test_volume.h"
#include "session/advance_search.h"
#include "session/standard_search.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using fat_test::DirectoryStart;
using fat_test::ShortEntry;
namespace pt = partition_test;

constexpr std::uint64_t kStart = 2048;  // cluster 0 at 2110, root at cluster 2, FATs at 2080, 2096

pt::Sector Boot(std::uint16_t backupField = 6) {
  pt::Sector s =
      pt::Fat32Boot({.sectorsPerCluster = 1, .reserved = 32, .sectorsPerFat = 16, .rootCluster = 2});
  pt::Put32(s, 32, 4000);
  pt::Put16(s, 50, backupField);
  return s;
}

// A FAT32 volume: root with PHOTOS (3) and README.TXT, PHOTOS with 2024 (4) and IMG.JPG, and
// LOST (9) whose parent cluster 7 holds no directory.
struct Volume : fat_test::TestDisk {
  explicit Volume(std::uint64_t at = kStart, std::uint64_t sectors = 16384) : TestDisk(sectors) {
    Put(at, Boot());
    Put(at + 6, Boot());
    const std::uint64_t c0 = at + 62;
    PutEntries(c0 + 2, {ShortEntry("PHOTOS", 0x10, 3), ShortEntry("README  TXT", 0x20, 5, 100)});
    Put(c0 + 3, DirectoryStart(3, 0, {ShortEntry("2024", 0x10, 4), ShortEntry("IMG     JPG", 0x20, 6, 900)}));
    Put(c0 + 4, DirectoryStart(4, 3));
    Put(c0 + 9, DirectoryStart(9, 7));
    ctx.partitionType = FsType::kFat32;
    ctx.searchStart = at;
    ctx.searchEnd = at + 4000;
  }
};

TEST(FatAdvanceSession, FirstStageOffersTheIdentifiedFileSystemAndTheSecondRebuildsItsTree) {
  Volume v;
  AdvanceSearch search(v.ctx);
  const AdvanceSearchOutcome out = search.Run();
  EXPECT_EQ(out.identified, 1);
  EXPECT_FALSE(out.stopped);
  const mytreectrl& fs = out.choice.tree;
  ASSERT_EQ(fs.Children(fs.Root()).size(), 1u);
  EXPECT_EQ(fs.Text(fs.Selected()), "File System 1 - FAT32");
  ASSERT_EQ(out.choice.details.size(), 4u);
  EXPECT_EQ(out.choice.details[2].name + out.choice.details[2].value,
            "3.   File System Start                :    2110");
  // The page offers the choice: its guidance, and no advice.
  EXPECT_EQ(app::GuidanceAfterSearch(out),
            "Press 'Next' button to Recover Data. Or to select another Partition press 'Back' button.");
  EXPECT_EQ(v.feedback.lastText[control::kFolderCounterLabel], "Directories Found\t\t:");
  EXPECT_EQ(app::AdviceAfterSearch(out), std::nullopt);
  // The analysis began once the reading was over; the linking of a search that was not stopped
  // waits for the second stage.
  EXPECT_EQ(v.feedback.stages, (std::vector<SearchStage>{SearchStage::kAnalysis}));

  // Choosing it twice (Back, then Next again) gives the same tree, not two of everything.
  for (int run = 0; run < 2; ++run) {
    DetailsList list;
    ASSERT_FALSE(search.RunSecondStage(0, &list).refused);
    ResultsState& r = v.ctx.results;
    EXPECT_EQ(r.volumeType, FsType::kFat32);
    EXPECT_EQ(list.columns.size(), ResultsColumns().size());
    EXPECT_EQ(v.ctx.activeGeometry.FirstFatSector, kStart + 32);
    EXPECT_EQ(v.feedback.lastText[control::kStatus], "Storing Directory Information. Please Wait...");
    ASSERT_EQ(r.folderNodes.Count(), 4u);  // PHOTOS, 2024, LOST and QRW_Miscellaneous, none twice
    auto node = [&](std::uint32_t self) {
      const FolderNode* found = nullptr;
      for (const FolderNode& n : r.folderNodes) found = n.self == self ? &n : found;
      return found;
    };
    const FolderNode* photos = node(3);
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(r.Tree().Text(r.Tree().Parent(photos->item)), "Root");
    std::tm now{};
    ListFolder(r, list, photos->item, true, now);  // its first listing names 2024 from its directory
    std::vector<std::string> shown;
    for (const DetailsRow& row : list.rows) shown.push_back(row.name);
    EXPECT_EQ(shown, (std::vector<std::string>{"2024", "IMG.JPG"}));
    ASSERT_NE(node(9), nullptr);
    EXPECT_EQ(node(9)->parent, kOrphanCluster);
  }
}

TEST(FatAdvanceSession, NothingIdentifiedShowsTheAdviceAndOffersNoChoice) {
  Volume v(kStart);
  v.ctx.searchStart = 8192, v.ctx.searchEnd = 9000;  // past the volume: nothing there
  AdvanceSearch search(v.ctx);
  const AdvanceSearchOutcome out = search.Run();
  EXPECT_EQ(out.identified, 0);
  EXPECT_TRUE(out.choice.details.empty());
  EXPECT_EQ(app::AdviceAfterSearch(out), AdviceDialog::kAdvanceSearch);
  EXPECT_EQ(app::GuidanceAfterSearch(out),
            "No File System could be identified. Click on 'Back' button to select another Partition.");
  EXPECT_TRUE(search.RunSecondStage(0).refused);
}

TEST(FatAdvanceSession, StopDuringTheScanAnalysesWhatWasFoundUpToThere) {
  Volume v(kStart, 16384);
  v.Put(10240, Boot());  // a second volume, in a chunk the stop never reaches
  v.Put(10240 + 62 + 3, DirectoryStart(3, 0));
  v.ctx.searchEnd = 16384;
  struct StopAfterFirstChunk : fat_test::RecordingFeedback {
    std::stop_source source;
    void SetProgress(int id, int position, std::string_view text) override {
      RecordingFeedback::SetProgress(id, position, text);
      if (id == control::kProgress) source.request_stop();
    }
  } stopping;
  v.ctx.SetFeedback(stopping);
  AdvanceSearch search(v.ctx);
  std::stop_callback forward(stopping.source.get_token(), [&] { search.RequestStop(); });
  const AdvanceSearchOutcome out = search.Run();
  EXPECT_TRUE(out.stopped);
  EXPECT_EQ(out.identified, 1);
  ASSERT_EQ(out.choice.details.size(), 4u);
  EXPECT_EQ(out.choice.details[0].name, "1.   File System                        :    ");
  EXPECT_EQ(v.ctx.results.Tree().Text(v.ctx.results.Tree().Root()), "Root");
  EXPECT_TRUE(v.ctx.results.dataFound);
}

// The backup at 2054 is the only boot sector left, or both are there, or the backup does not say
// it is one, or the disk no longer holds what the table says.
TEST(FatAdvanceBackup, BootSectorThatOwnsNothingIsTriedAsTheBackupOfOneSixSectorsBefore) {
  struct Case {
    const char* name;
    bool mainKept;
    std::uint16_t backupField;
    bool rewrittenAfterScan;
    std::string identifiedSector;
  };
  for (const Case& c :
       {Case{"main gone", false, 6, false, "2048"}, Case{"both", true, 6, false, "2048"},
        Case{"no backup field", false, 0, false, "0"}, Case{"disk changed", false, 6, true, "0"}}) {
    SCOPED_TRACE(c.name);
    Volume v;
    if (!c.mainKept) v.Put(kStart, pt::Sector{});
    v.Put(kStart + 6, Boot(c.backupField));
    AdvanceScan(v.ctx);
    if (c.rewrittenAfterScan) {
      pt::Sector other = Boot();
      pt::Put32(other, 32, 5000);  // still a backup that fits, but not the one the table holds
      v.Put(kStart + 6, other);
    }
    EXPECT_EQ(AnalyzeFileSystems(v.ctx), 1);
    const TextTable& id = v.ctx.results.tables.IdentifiedFileSystemTable;
    EXPECT_EQ(id.Cell(0, 0), c.identifiedSector);
    if (c.identifiedSector == "2048") {
      EXPECT_EQ(id.Cell(0, 6), "2110");
      EXPECT_EQ(id.Cell(0, 9), "6048");
    }
  }
}

TEST(FatAdvanceScan, SmallVolumeWithItsSizeInThe16BitFieldOwnsItsDirectories) {
  fat_test::TestDisk d(4096);
  pt::Sector boot = pt::Fat16Boot({});  // 4 per cluster, 4 reserved, 32 per FAT, 512 root entries
  pt::Put16(boot, 19, 3000);
  d.Put(1000, boot);
  d.Put(1092 + 4 * 5, DirectoryStart(5, 0));  // cluster 0 at 1000 + 4 + 32 + 64 - 8 = 1092
  d.ctx.partitionType = FsType::kFat16;
  d.ctx.searchEnd = 2048;
  AdvanceScan(d.ctx);
  EXPECT_EQ(d.ctx.results.tables.FileSystemTable.Cell(0, 9), "4000");
  EXPECT_EQ(AnalyzeFileSystems(d.ctx), 1);
  EXPECT_EQ(d.ctx.results.tables.IdentifiedFileSystemTable.Cell(0, 0), "1000");
}

// Searches report what happened (texts, progress, the stages they reach) and leave the page's
// buttons to the page: the only controls they show or hide are their own progress displays.
TEST(FatSearchReports, SearchesShowOnlyTheirProgressDisplaysAndReportTheirStages) {
  const std::set<int> displays = {control::kProgress, control::kBootCounter, control::kFolderCounter,
                                  control::kStageProgress, control::kStageProgressText};
  struct Case {
    const char* name;
    std::function<void(ScanContext&)> run;
    std::vector<SearchStage> stages;
  };
  const Case cases[] = {
      {"standard",
       [](ScanContext& ctx) {
         StandardSearch search(ctx);
         EXPECT_FALSE(search.Run().refused);
       },
       {SearchStage::kLinking, SearchStage::kTree}},
      {"advance, both stages",
       [](ScanContext& ctx) {
         AdvanceSearch search(ctx);
         EXPECT_EQ(search.Run().identified, 1);
         EXPECT_FALSE(search.RunSecondStage(0).refused);
       },
       {SearchStage::kAnalysis, SearchStage::kLinking}},
      {"advance, stopped at once",
       [](ScanContext& ctx) {
         AdvanceSearch search(ctx);
         search.RequestStop();
         EXPECT_TRUE(search.Run().stopped);
       },
       // The salvage links what the scan found before the analysis.
       {SearchStage::kLinking, SearchStage::kAnalysis}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Volume v;
    c.run(v.ctx);
    for (const auto& [control, visible] : v.feedback.shows)
      EXPECT_TRUE(displays.count(control)) << "control " << control << (visible ? " shown" : " hidden");
    EXPECT_EQ(v.feedback.stages, c.stages);
  }
}

}  // namespace
}  // namespace quarrow
