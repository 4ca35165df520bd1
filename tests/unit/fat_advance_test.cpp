// The Advance search on FAT: the sector scan.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stop_token>

#include "fat/advance_scan.h"
#include "fat_test_volume.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using fat_test::TestDisk;
namespace pt = partition_test;

std::vector<std::string> Row(const TextTable& t, int r) {
  std::vector<std::string> cells;
  for (int c = 0; c < t.ColumnCount(); ++c) cells.push_back(t.Cell(r, c));
  return cells;
}
std::vector<std::string> Column(const TextTable& t, int c) {
  std::vector<std::string> cells;
  for (int r = 0; r < t.RowCount(); ++r) cells.push_back(t.Cell(r, c));
  return cells;
}

pt::Sector Fat32Boot(std::uint32_t total) {
  pt::Sector s = pt::Fat32Boot({});  // 8 sectors per cluster, 32 reserved, 600 per FAT, root 2
  pt::Put32(s, 32, total);
  return s;
}

TEST(FatAdvanceScan, BootSectorsAndDirectoriesBecomeRowsInTheirTextForms) {
  TestDisk d{8192};
  d.Put(2048, Fat32Boot(100000));
  d.Put(2054, Fat32Boot(100000));  // its backup: Cluster0Start comes out 6 higher
  pt::Sector fat12 = pt::Fat16Boot({.label = "FAT12   "});
  d.Put(3000, fat12);
  d.Put(3100, pt::NtfsBoot({}));
  pt::Sector fat16 = pt::Fat16Boot({});
  pt::Put32(fat16, 32, 5000);
  d.Put(5000, fat16);
  fat_test::Sector both = fat_test::DirectoryStart(0x12345, 7);
  both[57] = '1', both[58] = '6', both[510] = 0x55, both[511] = 0xAA;
  d.Put(6000, both);
  d.Put(7100, fat_test::DirectoryStart(0x20003, 0x10002));
  d.ctx.searchStart = 2048;
  d.ctx.searchEnd = 7000;  // the last chunk is tested whole, so 7100 is still examined
  AdvanceScan(d.ctx);

  const TextTable& fs = d.ctx.tables.FileSystemTable;
  ASSERT_EQ(fs.RowCount(), 4);
  using V = std::vector<std::string>;
  EXPECT_EQ(Row(fs, 0), (V{"2048", "600", "8", "0", "2", "32", "3264", "2080", "2680", "102048", "FAT32"}));
  EXPECT_EQ(Row(fs, 1), (V{"2054", "600", "8", "0", "2", "32", "3270", "2086", "2686", "102054", "FAT32"}));
  EXPECT_EQ(Row(fs, 2), (V{"5000", "32", "4", "32", "5068", "4", "5092", "5004", "5036", "10000", "FAT16"}));
  EXPECT_EQ(fs.Cell(3, 0), "6000");
  const TextTable& dirs = d.ctx.tables.DirectoryTable;
  ASSERT_EQ(dirs.RowCount(), 2);
  EXPECT_EQ(dirs.Cell(0, 0), "6000");
  EXPECT_EQ(Row(dirs, 1), (V{"7100", "131075", "65538", "0", "22565", "26848", ""}));
  EXPECT_TRUE(d.feedback.HasText(control::kBootCounter, "4"));
  EXPECT_TRUE(d.feedback.HasText(control::kFolderCounter, "2"));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  0 of 7000"));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  6144 of 7000"));
}

TEST(FatAdvanceScan, FailedChunksGiveOnlyTheirReadableSectorsAndStopEndsBetweenChunks) {
  TestDisk d{4096};
  d.Put(100, fat_test::DirectoryStart(5, 0));
  d.Put(200, Fat32Boot(1000));
  d.disk->MarkBadRange(1024, 1024);  // a whole chunk that cannot be read
  d.disk->MarkBad(2100);             // one bad sector in the next chunk
  d.Put(2101, fat_test::DirectoryStart(9, 5));
  d.ctx.searchEnd = 4096;
  AdvanceScan(d.ctx);
  // Stale bytes of the first chunk would repeat its finds at 1124 and 1224.
  EXPECT_EQ(Column(d.ctx.tables.DirectoryTable, 0), (std::vector<std::string>{"100", "2101"}));
  EXPECT_EQ(Column(d.ctx.tables.FileSystemTable, 0), (std::vector<std::string>{"200"}));

  struct StopAfterFirstChunk : fat_test::RecordingFeedback {
    std::stop_source source;
    void SetProgress(int, int, std::string_view) override { source.request_stop(); }
  } stopping;
  d.ctx.tables.ClearAll();
  d.ctx.feedback = &stopping;
  d.ctx.stop = stopping.source.get_token();
  AdvanceScan(d.ctx);
  EXPECT_EQ(d.ctx.tables.DirectoryTable.RowCount(), 1);
}

TEST(FatAdvanceScan, ClassifiersStayInBoundsOnRandomAndShortSectors) {
  std::mt19937 rng(13);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(i % 600));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(rng));
    // Plant the patterns the tests look for, so that the decoders behind them run too.
    const std::pair<std::size_t, std::string_view> marks[] = {{0, ". "}, {32, ".. "}, {85, "32"}, {57, "16"}};
    for (auto [at, mark] : marks) {
      if (bytes.size() < at + mark.size() || byte(rng) < 128) continue;
      std::copy(mark.begin(), mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (bytes.size() >= 512 && byte(rng) < 128) bytes[510] = 0x55, bytes[511] = 0xAA;
    if (const auto boot = ClassifyBootSector(bytes, UINT64_MAX - static_cast<std::uint64_t>(i))) {
      EXPECT_TRUE(HasBootSignature(bytes));
      EXPECT_EQ(boot->type, BytesEqual(bytes, 85, "32") ? FsType::kFat32 : FsType::kFat16);
    }
    if (auto dir = ClassifyDirectorySector(bytes, static_cast<std::uint64_t>(i))) {
      EXPECT_TRUE(BytesEqual(bytes, 32, ".. "));
      EXPECT_EQ(dir->Cells()[0], std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace quarrow
