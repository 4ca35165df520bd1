#include <gtest/gtest.h>

#include <map>
#include <stop_token>
#include <string>

#include "app/results_page.h"
#include "app/search_outcomes.h"
#include "fat/directory_passes.h"
#include "fat/fat_file_list.h"
#include "fat/fat_volume.h"
#include "fat_test_volume.h"
#include "results/folder_tree.h"
#include "session/standard_search.h"

namespace quarrow {
namespace {

using namespace fat_test;

constexpr std::uint32_t kEof = 0x0FFFFFFF;

Entry Deleted(Entry e) {
  e[0] = 0xE5;
  return e;
}

// A FAT32 volume: partition at 100, 32 reserved sectors, FATs of 32 sectors, 4 sectors per
// cluster (cluster 0 at 188), root directory in cluster 2.
//   /DCIM (3)            IMG_0001.JPG, 100CANON (4) with PIC.PNG
//   /My Documents (5)    Old (6), "A long file name here.txt", deleted REPORT.TXT
//   cluster 7            a stale copy of a directory naming cluster 30: not a folder
//   /_LD (8)             a deleted folder
//   cluster 9            a folder whose parent, cluster 50, was overwritten
//   /Caf\xE9 (12)         a long name with a character above U+007F, named in full
//   ROOT.TXT, volume label "MYDISK"
struct SampleVolume {
  SampleVolume() {
    layout.fatSectors = 32;
    layout.Apply(d.ctx, 600);
    d.Put(layout.FirstFat(), [] {
      Sector s{};
      s[0] = 0xF8, s[1] = 0xFF, s[2] = 0xFF;
      return s;
    }());
    for (std::uint32_t c : {2u, 3u, 4u, 5u, 6u, 8u, 9u, 12u}) SetFat32(d, layout, c, kEof);

    std::vector<Entry> root = {ShortEntry("MYDISK     ", 0x08, 0), ShortEntry("DCIM       ", 0x10, 3)};
    for (const Entry& e : NamedEntries("My Documents", ShortEntry("MYDOCU~1   ", 0x10, 5))) root.push_back(e);
    root.push_back(Deleted(ShortEntry("XLD        ", 0x10, 8)));
    for (const Entry& e : NamedEntries("Caf\xE9", ShortEntry("CAF~1      ", 0x10, 12))) root.push_back(e);
    root.push_back(ShortEntry("ROOT    TXT", 0x20, 20, 6, 0x5825, 0x68E0));
    d.PutEntries(layout.ClusterSector(2), root);

    d.Put(layout.ClusterSector(3),
          DirectoryStart(3, 0,
                         {ShortEntry("100CANON   ", 0x10, 4),
                          ShortEntry("IMG_0001JPG", 0x20, 21, 12345, 0x5825, 0x68E7)}));
    d.Put(layout.ClusterSector(4), DirectoryStart(4, 3, {ShortEntry("PIC     PNG", 0x20, 22, 10)}));
    std::vector<Entry> docs = {ShortEntry("OLD        ", 0x10, 6)};
    for (const Entry& e : NamedEntries("A long file name here.txt", ShortEntry("ALONGF~1TXT", 0x20, 23, 7)))
      docs.push_back(e);
    docs.push_back(Deleted(ShortEntry("XREPORT TXT", 0x20, 24, 8)));
    d.Put(layout.ClusterSector(5), DirectoryStart(5, 0, docs));
    d.Put(layout.ClusterSector(6), DirectoryStart(6, 5));
    d.Put(layout.ClusterSector(7), DirectoryStart(30, 5));
    d.Put(layout.ClusterSector(8), DirectoryStart(8, 0, {ShortEntry("LOST    DAT", 0x20, 25, 1)}));
    d.Put(layout.ClusterSector(9), DirectoryStart(9, 50));
    d.Put(layout.ClusterSector(12), DirectoryStart(12, 0));
  }

  // The folder names below the root, by path, after every folder was expanded.
  std::map<std::string, const FolderNode*> Folders() {
    mytreectrl& tree = *d.ctx.results.tree;
    std::map<std::string, const FolderNode*> out;
    std::vector<std::pair<TreeItem, std::string>> stack;
    for (TreeItem t : tree.Children(tree.Root())) stack.push_back({t, ""});
    while (!stack.empty()) {
      auto [item, prefix] = stack.back();
      stack.pop_back();
      FolderNode* node = d.ctx.results.folderNodes.FindByItem(item);
      if (!node) continue;
      NameChildren(d.ctx, *node);
      std::string path = prefix.empty() ? node->name : prefix + "/" + node->name;
      out[path] = node;
      for (TreeItem t : tree.Children(item)) stack.push_back({t, path});
    }
    return out;
  }

  Fat32Layout layout;
  TestDisk d{600};
};

TEST(FatScanDataArea, RowsForSelfNamingDirectoriesAfterTheCatchAll) {
  SampleVolume v;
  ScanDataArea(v.d.ctx);
  const TextTable& t = v.d.ctx.results.tables.EntryTable;
  using namespace entry_col;
  ASSERT_EQ(t.RowCount(), 8);
  EXPECT_EQ(t.Cell(0, kName), "QRW_Miscellaneous");
  EXPECT_EQ(t.Cell(0, kSelf), "268435455");
  EXPECT_EQ(t.Cell(0, kParent), "0");
  EXPECT_EQ(t.Cell(0, kAttr), "16");
  std::vector<std::string> selves;
  for (int r = 1; r < t.RowCount(); ++r) {
    EXPECT_EQ(t.Cell(r, kName), "Dir" + std::to_string(r));
    selves.push_back(t.Cell(r, kSelf));
  }
  // The stale copy in cluster 7 names cluster 30 and is not listed.
  EXPECT_EQ(selves, (std::vector<std::string>{"3", "4", "5", "6", "8", "9", "12"}));
  EXPECT_EQ(t.Cell(2, kSector), std::to_string(v.layout.ClusterSector(4)));
  EXPECT_EQ(t.Cell(2, kParent), "3");
  EXPECT_EQ(t.Cell(6, kParent), "50");
  EXPECT_EQ(t.Cell(1, kDate), std::to_string(0x5825));
  EXPECT_EQ(t.Cell(1, kTime), std::to_string(0x68E0));
  EXPECT_EQ(t.Cell(1, kAttr), "16");
  EXPECT_EQ(t.Cell(1, kType), "FOLDER");
  EXPECT_EQ(t.Cell(1, kSysId), "0");
  EXPECT_TRUE(v.d.feedback.HasText(control::kFolderCounter, "8"));
  EXPECT_TRUE(v.d.feedback.HasText(control::kStatus, "Sectors  0 of 600"));
}

TEST(FatScanDataArea, HighWordOfClustersOnlyOnFat32) {
  SampleVolume v;
  Sector s = DirectoryStart(6, 5);
  s[32 + 20] = 0x01;  // ".." high word: cluster 0x10005 on FAT32
  v.d.Put(v.layout.ClusterSector(6), s);
  ScanDataArea(v.d.ctx);
  EXPECT_EQ(v.d.ctx.results.tables.EntryTable.Cell(4, entry_col::kParent), std::to_string(0x10005));
  TextTable& t = v.d.ctx.results.tables.EntryTable;
  t.DeleteAllRows();
  v.d.ctx.partitionType = FsType::kFat16;
  ScanDataArea(v.d.ctx);
  EXPECT_EQ(t.Cell(4, entry_col::kParent), "5");
}

TEST(FatScanDataArea, ClustersPastTheRangeAreNotExamined) {
  SampleVolume v;
  v.d.ctx.searchEnd = static_cast<std::uint64_t>(v.layout.ClusterSector(8));
  ScanDataArea(v.d.ctx);
  const TextTable& t = v.d.ctx.results.tables.EntryTable;
  ASSERT_EQ(t.RowCount(), 5);
  EXPECT_EQ(t.Cell(4, entry_col::kSelf), "6");
}

TEST(FatScanDataArea, UnreadableClusterIsSkippedAndTheRestOfTheChunkStillRead) {
  SampleVolume v;
  v.d.disk->MarkBad(v.layout.ClusterSector(4));
  ScanDataArea(v.d.ctx);
  const TextTable& t = v.d.ctx.results.tables.EntryTable;
  ASSERT_EQ(t.RowCount(), 7);
  EXPECT_EQ(t.Cell(1, entry_col::kSelf), "3");
  EXPECT_EQ(t.Cell(2, entry_col::kSelf), "5");
  EXPECT_EQ(t.Cell(6, entry_col::kSelf), "12");
}

TEST(FatScanDataArea, StopLeavesTheCatchAllOnlyAndZeroClusterSizeReadsNothing) {
  SampleVolume v;
  std::stop_source source;
  source.request_stop();
  v.d.ctx.stop = source.get_token();
  ScanDataArea(v.d.ctx);
  EXPECT_EQ(v.d.ctx.results.tables.EntryTable.RowCount(), 1);

  SampleVolume w;
  w.d.ctx.geometry.SectorsPerCluster = 0;
  ScanDataArea(w.d.ctx);
  EXPECT_EQ(w.d.ctx.results.tables.EntryTable.RowCount(), 1);
}

TEST(FatScanDataArea, ClusterSizeThatDoesNotDivideTheChunkStaysAligned) {
  // With 3 sectors per cluster, cluster starts cross the 512-sector chunks; each is still
  // tested at its own first sector.
  TestDisk d{3000};
  d.ctx.partitionType = FsType::kFat32;
  d.ctx.searchStart = 0;
  d.ctx.searchEnd = 3000;
  d.ctx.geometry.SectorsPerCluster = 3;
  d.ctx.geometry.Cluster0Sector = 10;
  for (std::uint32_t c : {2u, 170u, 171u, 300u, 900u}) d.Put(10 + 3 * c, DirectoryStart(c, 0));
  ScanDataArea(d.ctx);
  const TextTable& t = d.ctx.results.tables.EntryTable;
  ASSERT_EQ(t.RowCount(), 6);
  EXPECT_EQ(t.Cell(2, entry_col::kSelf), "170");
  EXPECT_EQ(t.Cell(3, entry_col::kSelf), "171");
  EXPECT_EQ(t.Cell(5, entry_col::kSelf), "900");
}

// Directories at clusters 2, 5 and 20 and one whose cluster the range's end cuts (at 40), on
// volumes of each cluster size: the same rows, and each found cluster kept as far as the range and
// a 512-sector chunk go. Clusters of 64 sectors and more are read one first sector each (the
// benchmark's rule), smaller ones whole.
struct ReadsCase {
  std::uint32_t spc;
  bool oneSectorEach;
};
class FatScanDataAreaReads : public ::testing::TestWithParam<ReadsCase> {};

TEST_P(FatScanDataAreaReads, EveryClusterSizeGivesTheSameRowsAndKeepsWhatItFound) {
  const std::uint32_t spc = GetParam().spc;
  EXPECT_EQ(ReadsFirstSectorsOnly(spc), GetParam().oneSectorEach);
  constexpr std::uint64_t kCluster0 = 10;
  const auto at = [&](std::uint32_t c) { return kCluster0 + std::uint64_t{c} * spc; };
  const std::uint64_t end = at(40) + 3;
  TestDisk d{end + spc};
  d.ctx.partitionType = FsType::kFat32;
  d.ctx.searchStart = 0;
  d.ctx.searchEnd = end;
  d.ctx.geometry.SectorsPerCluster = spc;
  d.ctx.geometry.Cluster0Sector = kCluster0;
  for (std::uint32_t c : {2u, 5u, 20u, 40u}) d.Put(at(c), DirectoryStart(c, 0));
  d.disk->ClearReads();
  ScanDataArea(d.ctx);

  const TextTable& t = d.ctx.results.tables.EntryTable;
  ASSERT_EQ(t.RowCount(), 5);
  std::uint64_t heldSectors = 0;
  for (int r = 1; r < t.RowCount(); ++r) {
    const std::uint32_t c = std::vector<std::uint32_t>{2, 5, 20, 40}[r - 1];
    SCOPED_TRACE(c);
    EXPECT_EQ(t.Cell(r, entry_col::kSelf), std::to_string(c));
    const std::uint64_t held = std::min<std::uint64_t>({spc, end - at(c), 512});
    heldSectors += held;
    EXPECT_TRUE(d.ctx.SectorKept(at(c)));
    EXPECT_TRUE(d.ctx.SectorKept(at(c) + held - 1));
    EXPECT_FALSE(d.ctx.SectorKept(at(c) + held));
  }
  std::uint64_t readSectors = 0;
  for (const FaultBlockDevice::ReadCall& call : d.disk->Reads()) readSectors += call.length / 512;
  const std::uint64_t area = end - at(2);
  if (GetParam().oneSectorEach) {
    // One sector of each cluster, and the rest of each directory's.
    EXPECT_EQ(readSectors, 39 + heldSectors - 4);
  } else {
    EXPECT_GE(readSectors, area);
  }
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, FatScanDataAreaReads,
                         ::testing::Values(ReadsCase{8, false}, ReadsCase{32, false}, ReadsCase{64, true},
                                           ReadsCase{128, true}, ReadsCase{1024, true}),
                         [](const ::testing::TestParamInfo<ReadsCase>& info) {
                           return std::to_string(info.param.spc) + "SectorClusters";
                         });

// An image file is read on two threads (chunk_reader.h), a disk on one: the rows, the sectors kept
// and the read totals are the same, with unreadable sectors in several of the 40 chunks.
TEST(FatScanDataArea, AnImageFileReadOnTwoThreadsGivesWhatADiskGives) {
  constexpr std::uint32_t kSpc = 8;
  constexpr std::uint64_t kCluster0 = 10;
  const auto at = [](std::uint32_t c) { return kCluster0 + std::uint64_t{c} * kSpc; };
  const std::uint64_t end = at(2) + 40 * 512 - 100;
  struct Outcome {
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> kept;
    std::uint64_t unreadable = 0;
  };
  const auto scan = [&](bool imageFile) {
    TestDisk d{end + 64};
    d.disk->SetImageFile(imageFile);
    d.ctx.partitionType = FsType::kFat32;
    d.ctx.searchStart = 0;
    d.ctx.searchEnd = end;
    d.ctx.geometry.SectorsPerCluster = kSpc;
    d.ctx.geometry.Cluster0Sector = kCluster0;
    for (std::uint32_t c = 2; at(c) < end; c += 37) d.Put(at(c), DirectoryStart(c, 0));
    d.disk->MarkBad(at(2 + 37 * 3));      // a directory's first sector: no row
    d.disk->MarkBad(at(2 + 37 * 9) + 3);  // inside one: a row
    d.disk->MarkBad(at(1500));
    d.disk->MarkBadRange(at(2000), 20);
    ScanDataArea(d.ctx);
    Outcome o;
    const TextTable& t = d.ctx.results.tables.EntryTable;
    for (int r = 0; r < t.RowCount(); ++r) {
      std::vector<std::string> cells;
      for (int col = 0; col < t.ColumnCount(); ++col) cells.emplace_back(t.Cell(r, col));
      o.rows.push_back(cells);
    }
    for (std::uint64_t s = at(2); s < end; ++s) o.kept.push_back(d.ctx.SectorKept(s));
    o.unreadable = d.ctx.readTotals.unreadable;
    return o;
  };
  const Outcome disk = scan(false);
  const Outcome image = scan(true);
  EXPECT_GT(disk.rows.size(), 60u);
  EXPECT_EQ(disk.unreadable, 23u);
  EXPECT_EQ(image.rows, disk.rows);
  EXPECT_EQ(image.kept, disk.kept);
  EXPECT_EQ(image.unreadable, disk.unreadable);
}

TEST(FatScanDataArea, OneSectorReadsSkipAnUnreadableClusterAndKeepWhatTheyCouldRead) {
  constexpr std::uint32_t kSpc = 64;
  static_assert(ReadsFirstSectorsOnly(kSpc));
  const auto at = [](std::uint32_t c) { return 10 + std::uint64_t{c} * kSpc; };
  TestDisk d{at(12)};
  d.ctx.partitionType = FsType::kFat32;
  d.ctx.searchStart = 0;
  d.ctx.searchEnd = at(12);
  d.ctx.geometry.SectorsPerCluster = kSpc;
  d.ctx.geometry.Cluster0Sector = 10;
  for (std::uint32_t c : {3u, 6u, 9u}) d.Put(at(c), DirectoryStart(c, 0));
  d.disk->MarkBad(at(6));      // its first sector: no row
  d.disk->MarkBad(at(9) + 5);  // inside: a row, and only its first sector kept
  ScanDataArea(d.ctx);
  const TextTable& t = d.ctx.results.tables.EntryTable;
  ASSERT_EQ(t.RowCount(), 3);
  EXPECT_EQ(t.Cell(1, entry_col::kSelf), "3");
  EXPECT_EQ(t.Cell(2, entry_col::kSelf), "9");
  EXPECT_TRUE(d.ctx.SectorKept(at(3) + kSpc - 1));
  EXPECT_TRUE(d.ctx.SectorKept(at(9)));
  EXPECT_FALSE(d.ctx.SectorKept(at(9) + 1));
}

TextTable& FolderRows(ScanContext& ctx, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& rows) {
  TextTable& t = ctx.results.tables.EntryTable;
  t.DeleteAllRows();
  for (auto [self, parent] : rows) {
    int r = t.AppendRow("Dir" + std::to_string(t.RowCount()));
    t.SetCell(r, entry_col::kSelf, std::to_string(self));
    t.SetCell(r, entry_col::kParent, std::to_string(parent));
    t.SetCell(r, entry_col::kType, "FOLDER");
  }
  return t;
}

TEST(FatLinkLostDirectories, MissingParentsGoToTheCatchAll) {
  TestDisk d{10};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rows = {{268435455, 0}, {3, 0}};
  // Many rows whose parent is the first folder found, and one whose parent vanished.
  for (std::uint32_t c = 4; c < 40; ++c) rows.push_back({c, 3});
  rows.push_back({41, 77});
  TextTable& t = FolderRows(d.ctx, rows);
  t.Sort(entry_col::kSelf);
  LinkLostDirectories(d.ctx, LinkForm::kFat);
  for (int r = 0; r < t.RowCount(); ++r) {
    const std::string self = t.Cell(r, entry_col::kSelf);
    const std::string parent = t.Cell(r, entry_col::kParent);
    if (self == "41") {
      EXPECT_EQ(parent, "268435455");
    } else if (self == "3" || self == "268435455") {
      EXPECT_EQ(parent, "0");
    } else {
      EXPECT_EQ(parent, "3") << self;
    }
  }
  EXPECT_TRUE(
      d.feedback.HasText(control::kStatus, "Searching Lost Directories 1/" + std::to_string(t.RowCount())));
}

TEST(FatLinkLostDirectories, NtfsFormKeepsRootChildrenAndSearchesEveryRow) {
  TestDisk d{10};
  TextTable& t = FolderRows(d.ctx, {{5, 5}, {30, 5}, {31, 30}, {32, 5000}, {33, 5}});
  t.Sort(entry_col::kSelf);
  LinkLostDirectories(d.ctx, LinkForm::kNtfs);
  EXPECT_EQ(t.Cell(1, entry_col::kParent), "5");
  EXPECT_EQ(t.Cell(2, entry_col::kParent), "30");
  EXPECT_EQ(t.Cell(3, entry_col::kParent), "268435455");
  // Without the root's own row, the smallest folder is row 0: its child is still found.
  TestDisk e{10};
  TextTable& u = FolderRows(e.ctx, {{30, 5}, {31, 30}, {40, 31}});
  u.Sort(entry_col::kSelf);
  LinkLostDirectories(e.ctx, LinkForm::kNtfs);
  EXPECT_EQ(u.Cell(1, entry_col::kParent), "30");
  EXPECT_EQ(u.Cell(2, entry_col::kParent), "31");
}

TEST(FatStandardSearch, BuildsTheNamedTree) {
  SampleVolume v;
  DetailsList list;
  list.rows.push_back({});
  StandardSearchOutcome outcome = RunFatStandardStages(v.d.ctx, true, &list);
  EXPECT_FALSE(outcome.stopped);
  EXPECT_FALSE(outcome.paramsFailed);
  EXPECT_EQ(v.d.ctx.results.tables.EntryTable.RowCount(), 0);
  EXPECT_TRUE(v.d.ctx.results.dataFound);
  EXPECT_FALSE(outcome.nothingFound);
  EXPECT_TRUE(list.rows.empty());
  EXPECT_EQ(list.columns.size(), ResultsColumns().size());
  EXPECT_FALSE(v.d.feedback.HasText(control::kStatus, "Calculating Partition Params..."));
  EXPECT_EQ(v.d.ctx.activeGeometry.type, FsType::kFat32);
  EXPECT_EQ(static_cast<const VolumeGeometry&>(v.d.ctx.activeGeometry), v.d.ctx.geometry);

  mytreectrl& tree = *v.d.ctx.results.tree;
  EXPECT_EQ(tree.Text(tree.Root()), "Root");
  std::vector<std::string> top;
  for (TreeItem t : tree.Children(tree.Root())) top.push_back(tree.Text(t));
  EXPECT_EQ(top,
            (std::vector<std::string>{"DCIM", "My Documents", "_LD", "Caf\xC3\xA9", "QRW_Miscellaneous"}));

  auto folders = v.Folders();
  ASSERT_TRUE(folders.count("DCIM/100CANON"));
  ASSERT_TRUE(folders.count("My Documents/OLD"));
  ASSERT_TRUE(folders.count("QRW_Miscellaneous/Dir6"));
  EXPECT_EQ(folders["QRW_Miscellaneous/Dir6"]->self, 9u);
  EXPECT_TRUE(folders["_LD"]->deleted);
  EXPECT_FALSE(folders["DCIM"]->deleted);
  EXPECT_EQ(folders["Caf\xC3\xA9"]->self, 12u);  // the long name as the user wrote it, in UTF-8
  EXPECT_EQ(folders.size(), 8u);
}

TEST(FatStandardSearch, WorksOutTheGeometryWhenValidationFailed) {
  SampleVolume v;
  VolumeGeometry expected = v.d.ctx.geometry;
  expected.RootDirStart = 2;
  v.d.ctx.geometry = VolumeGeometry{};
  RunFatStandardStages(v.d.ctx, false, nullptr);
  EXPECT_TRUE(v.d.feedback.HasText(control::kStatus, "Calculating Partition Params..."));
  EXPECT_EQ(v.d.ctx.geometry, expected);
  EXPECT_EQ(v.d.ctx.results.tree->Children(v.d.ctx.results.tree->Root()).size(), 5u);
}

TEST(FatStandardSearch, NothingFoundShowsTheAdvice) {
  TestDisk d{400};
  Fat32Layout layout;
  layout.Apply(d.ctx, 400);
  const StandardSearchOutcome outcome = RunFatStandardStages(d.ctx, true, nullptr);
  EXPECT_FALSE(d.ctx.results.dataFound);
  EXPECT_TRUE(outcome.nothingFound);
  EXPECT_EQ(app::AdviceAfterSearch(outcome), AdviceDialog::kStandardSearch);
  mytreectrl& tree = *d.ctx.results.tree;
  ASSERT_EQ(tree.Children(tree.Root()).size(), 1u);
  EXPECT_EQ(tree.Text(tree.Children(tree.Root())[0]), "QRW_Miscellaneous");
}

TEST(FatStandardSearch, NoFittingDirectoryPairShowsTheMessageAndGoesOn) {
  SampleVolume v;
  v.d.ctx.partitionType = FsType::kFat32;
  // No directory pair fits: the figures cannot be worked out; the scan goes on.
  for (std::uint32_t c : {3u, 4u, 5u, 6u, 8u, 9u, 12u}) v.d.Put(v.layout.ClusterSector(c), Sector{});
  StandardSearchOutcome outcome = RunFatStandardStages(v.d.ctx, false, nullptr);
  EXPECT_TRUE(outcome.paramsFailed);
  ASSERT_EQ(v.d.feedback.messages.size(), 1u);
  EXPECT_EQ(v.d.feedback.messages[0], "Quarrow: Unable to calculate partition parameters");
}

TEST(FatStandardSearch, FoldersNamingEachOtherAsParentsAreKeptUnderTheCatchAll) {
  SampleVolume v;
  v.d.Put(v.layout.ClusterSector(30), DirectoryStart(30, 31));
  v.d.Put(v.layout.ClusterSector(31), DirectoryStart(31, 30));
  v.d.Put(v.layout.ClusterSector(32), DirectoryStart(32, 32));
  RunFatStandardStages(v.d.ctx, true, nullptr);
  auto folders = v.Folders();
  std::size_t cycleFolders = 0;
  for (const auto& [path, node] : folders) {
    if (node->self == 30 || node->self == 31 || node->self == 32) {
      ++cycleFolders;
      EXPECT_EQ(path.rfind("QRW_Miscellaneous/", 0), 0u) << path;
    }
  }
  EXPECT_EQ(cycleFolders, 3u);
}

TEST(FatStandardSearch, StopDuringTheScanStillBuildsATree) {
  SampleVolume v;
  std::stop_source source;
  source.request_stop();
  v.d.ctx.stop = source.get_token();
  StandardSearchOutcome outcome = RunFatStandardStages(v.d.ctx, true, nullptr);
  EXPECT_TRUE(outcome.stopped);
  mytreectrl& tree = *v.d.ctx.results.tree;
  ASSERT_EQ(tree.Children(tree.Root()).size(), 1u);
  EXPECT_EQ(tree.Text(tree.Children(tree.Root())[0]), "QRW_Miscellaneous");
}

TEST(FatFileList, ListsFileEntriesOnly) {
  SampleVolume v;
  RunFatStandardStages(v.d.ctx, true, nullptr);
  DetailsList list;
  ListFiles(v.d.ctx, list, 3);
  ASSERT_EQ(list.rows.size(), 1u);
  const DetailsRow& img = list.rows[0];
  EXPECT_EQ(img.name, "IMG_0001.JPG");
  EXPECT_EQ(img.type, "Image File");
  EXPECT_EQ(img.size, "12345");
  EXPECT_EQ(img.date, "05-JAN-2024");
  EXPECT_EQ(img.time, "13:07");
  EXPECT_EQ(img.debug1, "21");
  EXPECT_FALSE(img.deleted);

  DetailsList docs;
  ListFiles(v.d.ctx, docs, 5);
  ASSERT_EQ(docs.rows.size(), 2u);
  EXPECT_EQ(docs.rows[0].name, "A long file name here.txt");
  EXPECT_EQ(docs.rows[0].type, "Text file");
  EXPECT_EQ(docs.rows[1].name, "_REPORT.TXT");
  EXPECT_TRUE(docs.rows[1].deleted);

  // The root: neither the volume label nor a sub-directory is a file row.
  DetailsList root;
  ListFiles(v.d.ctx, root, 0);
  ASSERT_EQ(root.rows.size(), 1u);
  EXPECT_EQ(root.rows[0].name, "ROOT.TXT");
}

TEST(FatFileList, UnreadableDirectorySectorIsSkipped) {
  SampleVolume v;
  RunFatStandardStages(v.d.ctx, true, nullptr);
  // Cluster 3's second sector holds another file; its first sector cannot be read.
  v.d.PutEntries(v.layout.ClusterSector(3) + 1, {ShortEntry("LATER   TXT", 0x20, 40, 3)});
  v.d.disk->MarkBad(v.layout.ClusterSector(3));
  DetailsList list;
  ListFiles(v.d.ctx, list, 3);
  ASSERT_EQ(list.rows.size(), 1u);
  EXPECT_EQ(list.rows[0].name, "LATER.TXT");
}

TEST(FatFileList, AnEndEntryEndsTheDirectoryAtTheEndOfItsCluster) {
  SampleVolume v;
  RunFatStandardStages(v.d.ctx, true, nullptr);
  // Sector 1 of cluster 3 is empty (an end entry); an entry after it in the same cluster is a real
  // one that damage put behind a zeroed slot. The cluster the chain names next is not read.
  v.d.PutEntries(v.layout.ClusterSector(3) + 2, {ShortEntry("AFTER   TXT", 0x20, 40, 3)});
  SetFat32(v.d, v.layout, 3, 10);
  SetFat32(v.d, v.layout, 10, kEof);
  v.d.PutEntries(v.layout.ClusterSector(10), {ShortEntry("BEYOND  TXT", 0x20, 41, 3)});
  DetailsList list;
  ListFiles(v.d.ctx, list, 3);
  std::vector<std::string> names;
  for (const DetailsRow& row : list.rows) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"IMG_0001.JPG", "AFTER.TXT"}));
}

TEST(FatFileList, Fat16RootListsEverySectorAndUsesRootDescriptions) {
  TestDisk d{200};
  d.ctx.activeGeometry.type = FsType::kFat16;
  d.ctx.activeGeometry.RootDirStart = 50;
  d.ctx.activeGeometry.RootDirSectors = 2;
  d.PutEntries(50, {ShortEntry("TOP     ZIP", 0x20, 7, 6)});
  d.PutEntries(51, {ShortEntry("NEXT    REG", 0x20, 8, 6)});
  DetailsList list;
  ListFiles(d.ctx, list, 0);
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0].type, "Compressed File");
  EXPECT_EQ(list.rows[1].type, "Windows Registry file");
}

TEST(FatNameChildNodes, OnlyDirectoryEntriesOfThisParentNameNodes) {
  SampleVolume v;
  RunFatStandardStages(v.d.ctx, true, nullptr);
  // A deleted file in DCIM whose first cluster is 4 (the cluster 100CANON reuses) comes first.
  v.d.Put(v.layout.ClusterSector(3),
          DirectoryStart(
              3, 0, {Deleted(ShortEntry("XOLDPIC JPG", 0x20, 4, 5)), ShortEntry("100CANON   ", 0x10, 4)}));
  FolderNode* canon = nullptr;
  for (FolderNode& n : v.d.ctx.results.folderNodes) {
    if (n.self == 4) canon = &n;
  }
  ASSERT_NE(canon, nullptr);
  EXPECT_EQ(NameChildNodes(v.d.ctx, v.layout.ClusterSector(3), 3), WalkResult::kEndMet);
  EXPECT_EQ(canon->name, "100CANON");
  EXPECT_FALSE(canon->deleted);
  EXPECT_EQ(v.d.ctx.results.tree->Text(canon->item), "100CANON");
  // The same entry read as the directory of another cluster names nothing.
  canon->name = "X";
  NameChildNodes(v.d.ctx, v.layout.ClusterSector(3), 5);
  EXPECT_EQ(canon->name, "X");
  // A sector without an end entry runs out, an unreadable one too.
  v.d.PutEntries(300, std::vector<Entry>(16, ShortEntry("FILLER  TXT", 0x20, 1)));
  EXPECT_EQ(NameChildNodes(v.d.ctx, 300, 3), WalkResult::kRanOut);
  v.d.disk->MarkBad(301);
  EXPECT_EQ(NameChildNodes(v.d.ctx, 301, 3), WalkResult::kRanOut);
}

TEST(FatStandardSearch, FolderMadeAgainOnAnOldClusterStaysLiveWhateverTheEntryOrder) {
  SampleVolume v;
  // The root holds a deleted entry for cluster 3 before DCIM's and one after it; DCIM holds a
  // deleted folder entry for cluster 4 after 100CANON's.
  std::vector<Entry> root = {Deleted(ShortEntry("XARLY      ", 0x10, 3)), ShortEntry("DCIM       ", 0x10, 3),
                             Deleted(ShortEntry("XATER      ", 0x10, 3))};
  v.d.PutEntries(v.layout.ClusterSector(2), root);
  v.d.Put(v.layout.ClusterSector(3),
          DirectoryStart(3, 0,
                         {Deleted(ShortEntry("XLDCANON   ", 0x10, 4)), ShortEntry("100CANON   ", 0x10, 4),
                          Deleted(ShortEntry("XEWCANON   ", 0x10, 4))}));
  RunFatStandardStages(v.d.ctx, true, nullptr);
  auto folders = v.Folders();
  ASSERT_TRUE(folders.count("DCIM"));
  EXPECT_FALSE(folders["DCIM"]->deleted);
  ASSERT_TRUE(folders.count("DCIM/100CANON"));
  EXPECT_FALSE(folders["DCIM/100CANON"]->deleted);
  // With only the deleted entry left, the folder shows as deleted.
  v.d.Put(v.layout.ClusterSector(3), DirectoryStart(3, 0, {Deleted(ShortEntry("XLDCANON   ", 0x10, 4))}));
  FolderNode* canon = nullptr;
  for (FolderNode& n : v.d.ctx.results.folderNodes) {
    if (n.self == 4) canon = &n;
  }
  ASSERT_NE(canon, nullptr);
  NameChildren(v.d.ctx, *folders["DCIM"]);
  EXPECT_EQ(canon->name, "_LDCANON");
  EXPECT_TRUE(canon->deleted);
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

using namespace fat_test;

// How many of the disk's reads so far took in sector.
int ReadsOf(const FaultBlockDevice& disk, std::uint64_t sector) {
  int n = 0;
  for (const FaultBlockDevice::ReadCall& r : disk.Reads()) {
    const std::uint64_t first = r.offset / kSectorSize;
    const std::uint64_t end = (r.offset + r.length + kSectorSize - 1) / kSectorSize;
    if (sector >= first && sector < end) ++n;
  }
  return n;
}

// The data-area scan reads every directory cluster it finds; the passes that name the folders
// and build the tree take them from what it kept, so during the search each sector of them is
// read from the disk once, and what was kept is what the disk holds. The FAT that the search
// follows is read once too, however many chains go through a sector of it. A folder listed after
// the search is read from the disk as it is then, once more, unless its caller lists right away.
TEST(FatStandardSearch, DirectoryClustersAndFatSectorsAreReadOnceBySearch) {
  SampleVolume v;
  v.d.disk->ClearReads();
  RunFatStandardStages(v.d.ctx, true, nullptr);
  const std::vector<std::uint32_t> directories = {3, 4, 5, 6, 8, 9, 12};
  for (std::uint32_t s = v.layout.FirstFat(); s < v.layout.FirstFat() + v.layout.fatSectors; ++s)
    EXPECT_LE(ReadsOf(*v.d.disk, s), 1) << "FAT sector " << s;
  for (std::uint32_t cluster : directories) {
    for (std::uint32_t k = 0; k < v.layout.spc; ++k) {
      const std::uint64_t sector = v.layout.ClusterSector(cluster) + k;
      EXPECT_EQ(ReadsOf(*v.d.disk, sector), 1) << "cluster " << cluster << " sector " << k;
    }
  }

  // Named and listed right after the search from what it kept, as the command line lists: none
  // is read again.
  v.d.ctx.listFromKept = true;
  auto folders = v.Folders();
  ASSERT_EQ(folders.size(), 8u);
  std::size_t listed = 0;
  for (const auto& [path, node] : folders) {
    DetailsList list;
    ListFiles(v.d.ctx, list, node->self);
    listed += list.rows.size();
  }
  EXPECT_GT(listed, 0u);
  for (std::uint32_t cluster : directories) {
    for (std::uint32_t k = 0; k < v.layout.spc; ++k)
      EXPECT_EQ(ReadsOf(*v.d.disk, v.layout.ClusterSector(cluster) + k), 1) << "cluster " << cluster;
  }
  v.d.ctx.listFromKept = false;
  for (const auto& [path, node] : folders) {
    DetailsList list;
    ListFiles(v.d.ctx, list, node->self);
  }
  for (std::uint32_t cluster : directories) {
    for (std::uint32_t k = 0; k < v.layout.spc; ++k) {
      const std::uint64_t sector = v.layout.ClusterSector(cluster) + k;
      EXPECT_LE(ReadsOf(*v.d.disk, sector), 3) << "cluster " << cluster << " sector " << k;
      Sector kept{}, fresh{};
      ASSERT_TRUE(v.d.ctx.CopyKeptSector(sector, kept)) << "cluster " << cluster << " sector " << k;
      ASSERT_NE(v.d.ctx.Read(sector, 1, fresh), 0);
      EXPECT_EQ(kept, fresh) << "cluster " << cluster << " sector " << k;
    }
  }
  // The stale copy in cluster 7 names another cluster: it is no folder and nothing of it is kept.
  Sector unused{};
  EXPECT_FALSE(v.d.ctx.CopyKeptSector(v.layout.ClusterSector(7), unused));
}

// Kept sectors stand for the disk they were read from: another disk, or a new scan, finds none.
TEST(FatStandardSearch, KeptSectorsBelongToTheirDiskAndScan) {
  SampleVolume v;
  ScanDataArea(v.d.ctx);
  const std::uint64_t sector = v.layout.ClusterSector(3);
  Sector out{};
  EXPECT_TRUE(v.d.ctx.CopyKeptSector(sector, out));
  v.d.ctx.diskNumber = 1;
  EXPECT_FALSE(v.d.ctx.CopyKeptSector(sector, out));
  v.d.ctx.diskNumber = 0;
  v.d.ctx.ResetForScan();
  EXPECT_FALSE(v.d.ctx.CopyKeptSector(sector, out));
}

// The zeros that end a kept run are kept as a count: every sector still reads as it was, and only
// the bytes before them count against the bound. Zeros between data stay bytes.
TEST(FatStandardSearch, KeptRunsHoldTheirTrailingZerosAsACount) {
  const KeptSectors::Source disk{nullptr, 0};
  std::vector<std::uint8_t> run(5 * 512, 0);
  run[3] = 1;            // sector 0
  run[2 * 512 + 7] = 2;  // sector 2; sectors 1, 3 and 4 are zeros
  KeptSectors kept;
  ASSERT_TRUE(kept.Keep(disk, 100, run));
  EXPECT_EQ(kept.Bytes(), 3u * 512);
  for (std::uint64_t k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const ByteSpan sector = kept.Find(disk, 100 + k);
    ASSERT_EQ(sector.size(), 512u);
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), run.begin() + static_cast<std::ptrdiff_t>(k * 512)));
  }
  EXPECT_TRUE(kept.Find(disk, 105).empty());
  EXPECT_TRUE(kept.Find(disk, 99).empty());
  // One look-up gives the rest of a run in order, as far as asked; the zero tail is the one
  // sector of zeros, which the directory walk passes over without looking at its slots.
  std::vector<bool> zeroTail;
  EXPECT_EQ(kept.ForRun(disk, 101, 10,
                        [&](std::size_t i, ByteSpan sector) {
                          EXPECT_TRUE(std::equal(sector.begin(), sector.end(),
                                                 run.begin() + static_cast<std::ptrdiff_t>((1 + i) * 512)));
                          zeroTail.push_back(sector.data() == KeptSectors::ZeroSector().data());
                        }),
            4u);
  EXPECT_EQ(zeroTail, (std::vector<bool>{false, false, true, true}));
  EXPECT_EQ(kept.ForRun(disk, 100, 2, [](std::size_t, ByteSpan) {}), 2u);
  EXPECT_EQ(kept.ForRun(disk, 105, 2, [](std::size_t, ByteSpan) {}), 0u);
  // A run of zeros alone costs nothing and still reads back.
  ASSERT_TRUE(kept.Keep(disk, 200, std::vector<std::uint8_t>(2 * 512, 0)));
  EXPECT_EQ(kept.Bytes(), 3u * 512);
  EXPECT_EQ(kept.Find(disk, 201).size(), 512u);
  EXPECT_TRUE(kept.Find(disk, 202).empty());
  // Kept again, a run's old bytes no longer count.
  ASSERT_TRUE(kept.Keep(disk, 100, std::vector<std::uint8_t>(512, 9)));
  EXPECT_EQ(kept.Bytes(), 512u);
  EXPECT_TRUE(kept.Find(disk, 101).empty());
}

}  // namespace
}  // namespace quarrow
