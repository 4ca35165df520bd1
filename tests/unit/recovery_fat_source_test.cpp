// Where FatDataSource reads a file's bytes from, and its estimate of a deleted file, on FAT12,
// FAT16 and FAT32 volumes built in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carve_test_files.h"
#include "recovery/fat_data_source.h"
#include "recovery_test_volume.h"

namespace quarrow {
namespace {

using recovery_test::Entry;
using recovery_test::FatDate;
using recovery_test::MemoryVolume;
using recovery_test::ShortEntry;
using test_support::Put16;

DetailsRow Row(std::uint32_t first, std::uint64_t size, bool deleted) {
  DetailsRow row;
  row.name = "F.BIN";
  row.size = std::to_string(size);
  row.debug1 = std::to_string(first);
  row.deleted = deleted;
  return row;
}

// A row with the write date and time its entry gives.
DetailsRow DatedRow(std::uint32_t first, std::uint64_t size, bool deleted, std::uint16_t date, std::uint16_t time) {
  DetailsRow row = Row(first, size, deleted);
  row.fatDate = date;
  row.fatTime = time;
  return row;
}

// The clusters the pieces read, in file order, worked back from their sectors.
std::vector<std::uint32_t> ClustersRead(const FileData& data, const MemoryVolume& v) {
  std::vector<std::uint32_t> clusters;
  const std::uint64_t clusterSectors = v.ClusterBytes() / 512;
  for (const DataPiece& p : data.pieces) {
    EXPECT_EQ(p.kind, DataPiece::Kind::kSectors);
    EXPECT_EQ(p.length % v.ClusterBytes(), 0u);
    const std::uint64_t first = (p.firstSector - v.ClusterSector(0)) / clusterSectors;
    for (std::uint64_t k = 0; k < p.length / v.ClusterBytes(); ++k)
      clusters.push_back(static_cast<std::uint32_t>(first + k));
  }
  return clusters;
}

struct ChainCase {
  const char* what;
  std::vector<std::uint32_t> chain;  // linked in the FAT before the file is located (empty: none)
  std::uint32_t first;
  std::uint64_t clustersOfSize;  // the size, in clusters (then minus 1 byte)
  bool deleted;
  std::vector<std::uint32_t> read;
  ReadMethod method;
  std::size_t pieces;
};

class FatSourceChainTest : public ::testing::TestWithParam<FsType> {};

TEST_P(FatSourceChainTest, ClustersReadFollowTheChainOrTheRunAfterTheFirstCluster) {
  const std::vector<ChainCase> cases = {
      {"one cluster", {5}, 5, 1, false, {5}, ReadMethod::kChain, 1},
      {"contiguous chain is one piece", {5, 6, 7}, 5, 3, false, {5, 6, 7}, ReadMethod::kChain, 1},
      {"fragmented chain", {5, 9, 6, 7}, 5, 4, false, {5, 9, 6, 7}, ReadMethod::kChain, 3},
      {"chain longer than the size is cut", {5, 6, 7, 8}, 5, 2, false, {5, 6}, ReadMethod::kChain, 1},
      {"chain ends early: the rest follows it",
       {5, 9},
       5,
       4,
       false,
       {5, 9, 10, 11},
       ReadMethod::kChainThenContiguous,
       2},
      {"no chain at all", {}, 12, 2, false, {12, 13}, ReadMethod::kChainThenContiguous, 1},
      {"deleted: the run from the first cluster", {}, 20, 3, true, {20, 21, 22}, ReadMethod::kContiguous, 1},
      {"deleted: a chain left in the FAT is not followed",
       {20, 30},
       20,
       2,
       true,
       {20, 21},
       ReadMethod::kContiguous,
       1},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryVolume v(GetParam(), 2, 200);
    if (!c.chain.empty()) v.Chain(c.chain);
    FatDataSource source(v.Ctx());
    const FileData data = source.Locate(Row(c.first, c.clustersOfSize * v.ClusterBytes() - 1, c.deleted));
    EXPECT_FALSE(data.failure.has_value());
    EXPECT_EQ(data.size, c.clustersOfSize * v.ClusterBytes() - 1);
    EXPECT_EQ(ClustersRead(data, v), c.read);
    EXPECT_EQ(data.method, c.method);
    EXPECT_EQ(data.pieces.size(), c.pieces);
  }
}

TEST_P(FatSourceChainTest, LoopingOrStrayChainEndsWhereItTurnsBack) {
  MemoryVolume v(GetParam(), 1, 200);
  v.SetEntry(5, 6);
  v.SetEntry(6, 5);  // back to the start
  v.SetEntry(40, 41);
  v.SetEntry(41, v.EndOfChain() & ~0xFu);  // a cluster number past the volume, no end marker
  FatDataSource source(v.Ctx());
  EXPECT_EQ(ClustersRead(source.Locate(Row(5, 4 * 512, false)), v), (std::vector<std::uint32_t>{5, 6, 7, 8}));
  EXPECT_EQ(ClustersRead(source.Locate(Row(40, 3 * 512, false)), v),
            (std::vector<std::uint32_t>{40, 41, 42}));
}

TEST_P(FatSourceChainTest, EmptyFilesReadNothingAndFilesWithoutAClusterFail) {
  MemoryVolume v(GetParam(), 4, 100);
  FatDataSource source(v.Ctx());
  const FileData empty = source.Locate(Row(0, 0, false));
  EXPECT_TRUE(empty.pieces.empty());
  EXPECT_FALSE(empty.failure.has_value());
  EXPECT_EQ(empty.method, ReadMethod::kNone);
  for (std::uint32_t first : {0u, 1u, v.LastCluster() + 1, 0xFFFFFFFFu}) {
    SCOPED_TRACE(first);
    EXPECT_TRUE(source.Locate(Row(first, 10, false)).failure.has_value());
    EXPECT_TRUE(source.Locate(Row(first, 10, true)).failure.has_value());
  }
  DetailsRow noCluster = Row(0, 10, false);
  noCluster.debug1 = "";
  EXPECT_TRUE(source.Locate(noCluster).failure.has_value());
}

TEST_P(FatSourceChainTest, RunPastTheLastClusterStopsThere) {
  MemoryVolume v(GetParam(), 2, 100);
  FatDataSource source(v.Ctx());
  EXPECT_EQ(source.LastCluster(), v.LastCluster());
  const std::uint32_t last = v.LastCluster();
  const FileData data = source.Locate(Row(last - 1, 4 * v.ClusterBytes(), true));
  // The pieces reach two clusters; the writer names the rest as unreadable.
  EXPECT_EQ(ClustersRead(data, v), (std::vector<std::uint32_t>{last - 1, last}));
}

INSTANTIATE_TEST_SUITE_P(Widths, FatSourceChainTest,
                         ::testing::Values(FsType::kFat12, FsType::kFat16, FsType::kFat32));

struct EstimateCase {
  const char* what;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // FAT entries set before the estimate
  std::uint32_t first;
  std::uint64_t size;
  bool deleted;
  Recoverability expected;
};

TEST(FatSourceEstimateTest, ClustersTheFileWouldBeReadFromDecide) {
  constexpr std::uint32_t kEnd = 0x0FFFFFFF;
  const std::vector<EstimateCase> cases = {
      {"all free", {}, 10, 3 * 1024, true, Recoverability::kIntact},
      {"free around allocated neighbours",
       {{9, kEnd}, {13, kEnd}},
       10,
       3 * 1024,
       true,
       Recoverability::kIntact},
      {"first cluster taken", {{10, kEnd}}, 10, 3 * 1024, true, Recoverability::kOverwritten},
      {"first and more taken",
       {{10, 11}, {11, 12}, {12, kEnd}},
       10,
       3 * 1024,
       true,
       Recoverability::kOverwritten},
      {"last cluster taken", {{12, kEnd}}, 10, 3 * 1024, true, Recoverability::kPartlyOverwritten},
      {"a byte into the last cluster counts",
       {{12, kEnd}},
       10,
       2 * 1024 + 1,
       true,
       Recoverability::kPartlyOverwritten},
      {"the cluster after the size does not", {{12, kEnd}}, 10, 2 * 1024, true, Recoverability::kIntact},
      {"reserved FAT32 bits are no allocation", {{10, 0xF0000000}}, 10, 100, true, Recoverability::kIntact},
      {"empty deleted file", {{10, kEnd}}, 10, 0, true, Recoverability::kIntact},
      {"no first cluster", {}, 0, 100, true, Recoverability::kUnknown},
      {"a live file is not estimated", {{10, kEnd}}, 10, 100, false, Recoverability::kNotDeleted},
  };
  for (const EstimateCase& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryVolume v(FsType::kFat32, 2, 100);
    for (const auto& [cluster, value] : c.entries) v.SetEntry(cluster, value);
    FatDataSource source(v.Ctx());
    EXPECT_EQ(source.Estimate(Row(c.first, c.size, c.deleted)), c.expected);
  }
}

TEST(FatSourceEstimateTest, WithoutAReadableFatNothingCanBeSaid) {
  MemoryVolume v(FsType::kFat16, 1, 100);
  const std::uint64_t fatSector = v.FirstFatSector();
  {
    v.Ctx().activeGeometry.FirstFatSector = 0;  // an Advance search that found no FAT
    FatDataSource source(v.Ctx());
    EXPECT_EQ(source.Estimate(Row(10, 100, true)), Recoverability::kUnknown);
    // The data is still read from its first cluster on.
    EXPECT_EQ(source.Locate(Row(10, 100, true)).pieces.size(), 1u);
  }
  v.Ctx().activeGeometry.FirstFatSector = static_cast<std::uint32_t>(fatSector);
  v.Device().MarkBad(fatSector);
  FatDataSource source(v.Ctx());
  EXPECT_EQ(source.Estimate(Row(10, 100, true)), Recoverability::kUnknown);
}

// A later volume whose boot sector the scan found inside this one's clusters wrote its reserved
// sectors, FATs and root over them: what a file would read there is not the file's. The volume's
// own boot sector and its backup lie before the clusters and say nothing of them.
TEST(FatSourceEstimateTest, ClustersUnderAnotherVolumesStructuresAreNotTheFiles) {
  MemoryVolume v(FsType::kFat32, 2, 100);
  auto boot = [&](std::uint64_t sector, int spf, int rootSectors, int rootStart, int reserved,
                  std::uint64_t cluster0, const char* type) {
    TextTable& t = v.Ctx().results.tables.FileSystemTable;
    const int r = t.AppendRow(std::to_string(sector));
    const std::vector<std::string> cells = {std::to_string(spf),      "2", std::to_string(rootSectors),
                                            std::to_string(rootStart), std::to_string(reserved),
                                            std::to_string(cluster0), "0", "0", "0", type};
    for (std::size_t c = 0; c < cells.size(); ++c) t.SetCell(r, static_cast<int>(c + 1), cells[c]);
  };
  boot(v.ClusterSector(40), 2, 4, 0, 1, 0, "FAT16");  // sectors of clusters 40-44
  boot(v.ClusterSector(80), 1, 0, 5, 2, v.ClusterSector(60), "FAT32");  // clusters 80-81, root 65
  boot(v.ClusterSector(2) - 1, 5000, 0, 2, 32, 0, "FAT32");  // before the clusters: this volume's
  constexpr std::uint32_t kEnd = 0x0FFFFFFF;
  v.SetEntry(10, 41), v.SetEntry(41, kEnd);
  v.SetEntry(11, 12), v.SetEntry(12, kEnd);
  FatDataSource source(v.Ctx());
  const struct {
    const char* what;
    DetailsRow row;
    Recoverability expected;
  } cases[] = {
      {"first cluster under the other FATs", Row(40, 100, true), Recoverability::kOverwritten},
      {"the run reaches them", Row(38, 3 * 1024, true), Recoverability::kPartlyOverwritten},
      {"the run ends before them", Row(37, 3 * 1024, true), Recoverability::kIntact},
      {"under the other FAT32's root cluster", Row(65, 100, true), Recoverability::kOverwritten},
      {"under its boot sector and reserved sectors", Row(81, 100, true), Recoverability::kOverwritten},
      {"past them", Row(82, 100, true), Recoverability::kIntact},
      {"a live chain through them", Row(10, 2 * 1024, false), Recoverability::kMayBeMixed},
      {"a live chain beside them", Row(11, 2 * 1024, false), Recoverability::kNotDeleted},
  };
  for (const auto& c : cases) EXPECT_EQ(source.Estimate(c.row), c.expected) << c.what;
}

TEST(FatSourceEstimateTest, RunLeavingTheVolumeIsPartlyLost) {
  MemoryVolume v(FsType::kFat16, 1, 100);
  FatDataSource source(v.Ctx());
  EXPECT_EQ(source.Estimate(Row(v.LastCluster(), 2 * 512, true)), Recoverability::kPartlyOverwritten);
  EXPECT_EQ(source.Estimate(Row(v.LastCluster(), 512, true)), Recoverability::kIntact);
}

// What the directories say lies in the clusters a file is read from: a deleted file's run, or what
// a live file reads after a chain that ended early, that holds a directory or another entry's
// first cluster may be mixed; the allocation cannot tell, as all of them are free.
TEST(FatSourceEstimateTest, RunsOverOtherEntriesOrFoldersMayBeMixed) {
  constexpr std::uint16_t kEarly = FatDate(2024, 5, 6), kLate = FatDate(2024, 5, 7);
  MemoryVolume v(FsType::kFat16, 1, 100);
  auto deleted = [](const char* name, std::uint32_t first, std::uint32_t size, std::uint16_t date) {
    Entry e = ShortEntry(name, 0x20, first, size, date);
    e[0] = 0xE5;
    return e;
  };
  v.PutRoot({
      deleted("XRUN    BIN", 10, 4 * 512, kEarly),  // 10-13, and YIN begins at 12
      deleted("YIN     BIN", 12, 512, kEarly),
      deleted("ZDIR    BIN", 18, 3 * 512, kEarly),  // 18-20, and a deleted folder is at 20
      [] {
        Entry e = ShortEntry("FOLDER     ", 0x10, 20);
        e[0] = 0xE5;
        return e;
      }(),
      deleted("WOLD    BIN", 30, 2 * 512, kEarly),  // 30-31; VNEW was written there later
      deleted("VNEW    BIN", 30, 3 * 512, kLate),   // 30-32
      deleted("UTIE    BIN", 36, 512, kEarly),      // two of the same time: neither is marked
      deleted("TTIE    BIN", 36, 2 * 512, kEarly),
      ShortEntry("LIVE    BIN", 0x20, 40, 3 * 512),  // its chain ends at 40: 41 and 42 are read on
      ShortEntry("KIN     BIN", 0x20, 41, 512),
      ShortEntry("LONE    BIN", 0x20, 50, 2 * 512),  // its chain ends at 50, nothing after it
      deleted("SLIVE   BIN", 60, 2 * 512, kLate),    // 60 is a live file's now: overwritten
      ShortEntry("RLIVE   BIN", 0x20, 60, 512),
  });
  v.PutDirectory(20, 0, {deleted("INNER   BIN", 70, 512, kEarly)});
  v.SetEntry(20, 0);  // deleted: its cluster is free, but its directory is still there
  v.AddFolder(v.Ctx().results.Tree().Root(), "FOLDER", 20, 0);
  v.Chain({40});
  v.Chain({41});
  v.Chain({50});
  v.Chain({60});
  auto row = [](std::uint32_t first, std::uint64_t size, bool isDeleted, std::uint16_t date) {
    return DatedRow(first, size, isDeleted, date, 0x68E0);
  };
  struct Case {
    const char* what;
    DetailsRow row;
    Recoverability expected;
  };
  const std::vector<Case> cases = {
      {"another entry begins inside the run", row(10, 4 * 512, true, kEarly), Recoverability::kMayBeMixed},
      {"the entry that begins there reads its own cluster", row(12, 512, true, kEarly),
       Recoverability::kIntact},
      {"a folder lies in the run", row(18, 3 * 512, true, kEarly), Recoverability::kMayBeMixed},
      {"a later file took the first cluster", row(30, 2 * 512, true, kEarly), Recoverability::kMayBeMixed},
      {"the later file itself", row(30, 3 * 512, true, kLate), Recoverability::kIntact},
      {"same first cluster, same time", row(36, 512, true, kEarly), Recoverability::kIntact},
      {"a live file read on over another's first cluster", row(40, 3 * 512, false, 0x5825),
       Recoverability::kMayBeMixed},
      {"a live file read on over free clusters", row(50, 2 * 512, false, 0x5825),
       Recoverability::kNotDeleted},
      {"the allocation says overwritten first", row(60, 2 * 512, true, kLate), Recoverability::kOverwritten},
      {"an entry of a sub-folder counts too", row(69, 2 * 512, true, kEarly), Recoverability::kMayBeMixed},
  };
  FatDataSource source(v.Ctx());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(source.Estimate(c.row), c.expected);
  }
  // Without a FAT nothing is allocated, and the directories still tell.
  v.Ctx().activeGeometry.FirstFatSector = 0;
  FatDataSource noFat(v.Ctx());
  EXPECT_EQ(noFat.Estimate(row(10, 4 * 512, true, kEarly)), Recoverability::kMayBeMixed);
  EXPECT_EQ(noFat.Estimate(row(12, 512, true, kEarly)), Recoverability::kUnknown);
}

// A file whose run from its first cluster reads into what others hold is read around them too,
// and the run whose bytes hold together as a file of their type is taken; with no such check, the
// plain run stays with its estimate. One 512-byte-cluster FAT16 volume:
//   10 11 [12 13 live OTHER] 14 15     a deleted PNG written around a live file
//   30 31 [32 live KEEP] 33            deleted bytes of no known type, the same shape
//   50 51 [52-54 deleted GONE] 55-57   a deleted JPEG written around a file deleted since
//   70-73, a deleted STALE entry at 72 a deleted PNG in one piece: STALE's claim is old news
//   90 [91 live SMALL] 92-95           a live zip whose chain is gone (read without the FAT)
TEST(FatSourceAroundOthersTest, RunThatHoldsTogetherIsTakenAndCalledSound) {
  namespace ct = carve_test;
  using ct::Bytes;
  constexpr std::uint16_t kDay = FatDate(2024, 5, 6);
  MemoryVolume v(FsType::kFat16, 1, 200);
  const Bytes png = ct::Png(1900);        // 4 clusters
  const Bytes jpeg = ct::DecodableJpeg(40, 14, 3);
  const Bytes zip = ct::Zip({{"a.bin", ct::Noise(1500, 2)}, {"b.bin", ct::Noise(700, 3)}}, "");
  const Bytes noise = ct::Noise(4 * 512 - 100, 9);
  ASSERT_EQ((png.size() + 511) / 512, 4u);
  ASSERT_EQ((jpeg.size() + 511) / 512, 6u);
  ASSERT_EQ((zip.size() + 511) / 512, 5u);
  auto deleted = [&](const char* name, std::uint32_t first, std::size_t size) {
    Entry e = ShortEntry(name, 0x20, first, static_cast<std::uint32_t>(size), kDay);
    e[0] = 0xE5;
    return e;
  };
  v.PutRoot({
      deleted("APNG    PNG", 10, png.size()),
      ShortEntry("OTHER   BIN", 0x20, 12, 1024),
      deleted("NOISE   BIN", 30, noise.size()),
      ShortEntry("KEEP    BIN", 0x20, 32, 512),
      deleted("BJPG    JPG", 50, jpeg.size()),
      deleted("GONE    BIN", 52, 3 * 512),
      deleted("CPNG    PNG", 70, png.size()),
      deleted("STALE   BIN", 72, 512),
      ShortEntry("DZIP    ZIP", 0x20, 90, static_cast<std::uint32_t>(zip.size())),
      ShortEntry("SMALL   BIN", 0x20, 91, 512),
  });
  v.PutFile({10, 11, 14, 15}, png, false);
  v.PutFile({12, 13}, ct::Noise(1024, 4), true);
  v.PutFile({30, 31, 33}, noise, false);
  v.PutFile({32}, ct::Noise(512, 5), true);
  v.PutFile({50, 51, 55, 56, 57, 58}, jpeg, false);
  v.PutFile({52, 53, 54}, ct::Noise(3 * 512, 6), false);
  v.PutFile({70, 71, 72, 73}, png, false);
  v.PutFile({90, 92, 93, 94, 95}, zip, false);
  v.PutFile({91}, ct::Noise(512, 7), false);
  auto row = [&](std::uint32_t first, std::size_t size, bool isDeleted) {
    return DatedRow(first, size, isDeleted, kDay, 0);
  };
  struct Case {
    const char* what;
    DetailsRow row;
    std::vector<std::uint32_t> read;
    ReadMethod method;
    Recoverability estimate;
  };
  const std::vector<Case> withFat = {
      {"around a live file", row(10, png.size(), true), {10, 11, 14, 15}, ReadMethod::kAroundOthers,
       Recoverability::kIntact},
      {"nothing to check it by", row(30, noise.size(), true), {30, 31, 32, 33}, ReadMethod::kContiguous,
       Recoverability::kPartlyOverwritten},
      {"around a deleted file's span", row(50, jpeg.size(), true), {50, 51, 55, 56, 57, 58},
       ReadMethod::kAroundOthers, Recoverability::kIntact},
      {"whole where it lay", row(70, png.size(), true), {70, 71, 72, 73}, ReadMethod::kContiguous,
       Recoverability::kIntact},
  };
  auto check = [&](const std::vector<Case>& cases) {
    FatDataSource source(v.Ctx());
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      EXPECT_EQ(source.Estimate(c.row), c.estimate);
      const FileData data = source.Locate(c.row);
      EXPECT_EQ(ClustersRead(data, v), c.read);
      EXPECT_EQ(data.method, c.method);
    }
  };
  check(withFat);
  // Without a FAT the live files' spans still say where they are.
  v.Ctx().activeGeometry.FirstFatSector = 0;
  check({
      {"a live zip around a live file", row(90, zip.size(), false), {90, 92, 93, 94, 95},
       ReadMethod::kAroundOthers, Recoverability::kNotDeleted},
      {"around a live file's span", row(10, png.size(), true), {10, 11, 14, 15}, ReadMethod::kAroundOthers,
       Recoverability::kIntact},
      {"nothing to check it by", row(30, noise.size(), true), {30, 31, 32, 33}, ReadMethod::kContiguous,
       Recoverability::kMayBeMixed},
  });
}

// A volume the search took for FAT16 whose boot sector counts a FAT12 volume's clusters is read
// with 12-bit entries; a boot sector that places its FAT elsewhere changes nothing.
TEST(FatSourceFat12Test, BootSectorOfAFat12VolumeCorrectsTheType) {
  MemoryVolume v(FsType::kFat16, 4, 300);
  ScanContext& ctx = v.Ctx();
  std::array<std::uint8_t, 512> boot{0xEB, 0x3C, 0x90};
  Put16(boot, 11, 512), boot[13] = 4, Put16(boot, 14, 4), boot[16] = 2, Put16(boot, 17, 512), boot[21] = 0xF8;
  Put16(boot, 19, static_cast<std::uint16_t>(ctx.searchEnd - ctx.searchStart));
  Put16(boot, 22, static_cast<std::uint16_t>(ctx.activeGeometry.FatSectors));
  boot[510] = 0x55, boot[511] = 0xAA;
  v.Device().WriteSector(ctx.searchStart, boot);
  ctx.activeGeometry.FirstFatSector += 1;
  EXPECT_FALSE(CorrectFat12Type(ctx));
  EXPECT_EQ(ctx.activeGeometry.type, FsType::kFat16);
  ctx.activeGeometry.FirstFatSector -= 1;
  EXPECT_TRUE(CorrectFat12Type(ctx));
  EXPECT_EQ(ctx.activeGeometry.type, FsType::kFat12);
  EXPECT_FALSE(CorrectFat12Type(ctx));  // once only
}

}  // namespace
}  // namespace quarrow
