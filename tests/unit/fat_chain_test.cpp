#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fat/directory_reader.h"
#include "fat/fat_reader.h"
#include "fat_test_volume.h"

namespace quarrow {
namespace {

using namespace fat_test;

class Fat16ChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.ctx.activeGeometry.type = FsType::kFat16;
    d.ctx.activeGeometry.FirstFatSector = kFat;
    d.ctx.activeGeometry.FatSectors = kFatSectors;
  }
  void Set(std::uint32_t cluster, std::uint16_t next) {
    std::array<std::uint8_t, 2> v{static_cast<std::uint8_t>(next), static_cast<std::uint8_t>(next >> 8)};
    d.disk->Write(std::uint64_t{kFat} * 512 + std::uint64_t{cluster} * 2, v);
  }
  std::vector<std::uint32_t> Chain(std::uint32_t start) {
    FatReader fat(d.ctx);
    return FollowClusterChain(fat, start);
  }
  static constexpr std::uint32_t kFat = 10;
  static constexpr std::uint32_t kFatSectors = 255;
  TestDisk d{400};
};

TEST_F(Fat16ChainTest, FollowsUntilAllOnesAndStopsAtFreeOrReserved) {
  Set(2, 3);
  Set(3, 9);
  Set(9, 0xFFFF);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 3, 9}));
  Set(20, 0);  // free entry
  EXPECT_EQ(Chain(20), (std::vector<std::uint32_t>{20}));
  Set(21, 1);
  EXPECT_EQ(Chain(21), (std::vector<std::uint32_t>{21}));
}

TEST_F(Fat16ChainTest, Fff8IsFollowedAsClusterNumber) {
  // 0xFFF8 (an end marker to other readers) is followed as cluster 65528, whose FAT sector
  // index 255 equals the FAT's size and is therefore still read.
  Set(4, 0xFFF8);
  Set(0xFFF8, 0xFFFF);
  EXPECT_EQ(Chain(4), (std::vector<std::uint32_t>{4, 0xFFF8}));
  Set(0xFFF8, 5);
  Set(5, 0xFFFF);
  EXPECT_EQ(Chain(4), (std::vector<std::uint32_t>{4, 0xFFF8, 5}));
}

TEST_F(Fat16ChainTest, IndexBeyondTheFatEnds) {
  d.ctx.activeGeometry.FatSectors = 254;
  Set(4, 0xFFF8);  // cluster 65528 lies in FAT sector 255 > 254
  Set(0xFFF8, 5);
  EXPECT_EQ(Chain(4), (std::vector<std::uint32_t>{4, 0xFFF8}));
}

TEST_F(Fat16ChainTest, LoopingFatEnds) {
  Set(2, 3);
  Set(3, 4);
  Set(4, 2);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 3, 4}));
  Set(7, 7);
  EXPECT_EQ(Chain(7), (std::vector<std::uint32_t>{7}));
}

TEST_F(Fat16ChainTest, NoFatOrUnreadableFatOrOtherTypeGivesOnlyTheStart) {
  Set(2, 3);
  Set(3, 0xFFFF);
  d.ctx.activeGeometry.FirstFatSector = 0;
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2}));
  d.ctx.activeGeometry.FirstFatSector = kFat;
  d.disk->MarkBad(kFat);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2}));
  d.disk->ClearBad();
  d.ctx.activeGeometry.type = FsType::kNtfs;
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2}));
  // Even an invalid start is recorded.
  d.ctx.activeGeometry.type = FsType::kFat16;
  EXPECT_EQ(Chain(0), (std::vector<std::uint32_t>{0}));
}

TEST_F(Fat16ChainTest, EachChainIsItsOwn) {
  Set(2, 0xFFFF);
  FatReader fat(d.ctx);
  FollowClusterChain(fat, 2);
  EXPECT_EQ(FollowClusterChain(fat, 2), (std::vector<std::uint32_t>{2}));
}

class Fat32ChainTest : public ::testing::Test {
 protected:
  void SetUp() override { layout.Apply(d.ctx, 2000); }
  std::vector<std::uint32_t> Chain(std::uint32_t start) {
    FatReader fat(d.ctx);
    return FollowClusterChain(fat, start);
  }
  Fat32Layout layout;
  TestDisk d{2000};
};

TEST_F(Fat32ChainTest, EndMarkersAndTopBits) {
  SetFat32(d, layout, 2, 3);
  SetFat32(d, layout, 3, 0x0FFFFFFF);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 3}));
  // 0x1FFFFFFF is above 0x0FFFFFFF and ends the chain (the top bits are not masked).
  SetFat32(d, layout, 3, 0x1FFFFFFF);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 3}));
  // 0x0FFFFFF8 is below 0x0FFFFFFF and is taken as a cluster; it lies far past the FAT.
  SetFat32(d, layout, 3, 0x0FFFFFF8);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 3, 0x0FFFFFF8}));
}

TEST_F(Fat32ChainTest, ChainAcrossFatSectors) {
  SetFat32(d, layout, 2, 200);  // FAT sector 1
  SetFat32(d, layout, 200, 5);
  SetFat32(d, layout, 5, 0x0FFFFFFF);
  EXPECT_EQ(Chain(2), (std::vector<std::uint32_t>{2, 200, 5}));
}

TEST_F(Fat32ChainTest, LongLoopEndsAtTheRepeat) {
  for (std::uint32_t c = 2; c < 1000; ++c) SetFat32(d, layout, c, c + 1);
  SetFat32(d, layout, 1000, 500);
  auto chain = Chain(2);
  ASSERT_EQ(chain.size(), 999u);
  EXPECT_EQ(chain.back(), 1000u);
  // Back to a cluster of the chain's first stretch, and to one just past it.
  for (const std::uint32_t repeat : {3u, 33u, 34u, 35u}) {
    SetFat32(d, layout, 1000, repeat);
    EXPECT_EQ(Chain(2).size(), 999u) << repeat;
  }
  SetFat32(d, layout, 34, 2);  // a loop closed at the switch from searching to the set
  EXPECT_EQ(Chain(2).size(), 33u);
  SetFat32(d, layout, 35, 20);
  SetFat32(d, layout, 34, 35);
  EXPECT_EQ(Chain(2).size(), 34u);
}

// A chain that climbs, steps back to a cluster it does not hold, climbs past its old top and then
// steps back into itself (its first stretch, or the climb after the step) ends there, however
// long it was when it stepped back.
TEST_F(Fat32ChainTest, AChainThatStepsBackEndsAtItsFirstRepeat) {
  for (const std::uint32_t top : {20u, 100u}) {
    for (const std::uint32_t repeat : {12u, top + 50}) {
      for (std::uint32_t c = 10; c < top; ++c) SetFat32(d, layout, c, c + 1);
      SetFat32(d, layout, top, 5);  // back, to a cluster the chain does not hold
      SetFat32(d, layout, 5, top + 50);
      SetFat32(d, layout, top + 50, top + 51);
      SetFat32(d, layout, top + 51, repeat);
      const auto chain = Chain(10);
      ASSERT_EQ(chain.size(), top - 10 + 1 + 3) << top << " " << repeat;
      EXPECT_EQ(std::vector<std::uint32_t>(chain.end() - 3, chain.end()),
                (std::vector<std::uint32_t>{5, top + 50, top + 51}));
    }
  }
}

TEST_F(Fat32ChainTest, DirectorySectorsFollowTheChainInOrder) {
  SetFat32(d, layout, 6, 4);
  SetFat32(d, layout, 4, 0x0FFFFFFF);
  FatReader fat(d.ctx);
  auto sectors = DirectoryChainSectors(d.ctx, fat, 6);
  std::vector<std::uint64_t> expected;
  for (std::uint32_t c : {6u, 4u}) {
    for (std::uint32_t k = 0; k < layout.spc; ++k) expected.push_back(layout.ClusterSector(c) + k);
  }
  EXPECT_EQ(sectors, expected);
}

TEST_F(Fat32ChainTest, HugeClusterNumbersDoNotWrapSectors) {
  EXPECT_EQ(ClusterSector(d.ctx, 0xFFFFFFF0u), std::uint64_t{0xFFFFFFF0u} * layout.spc + layout.Cluster0());
}

// A FAT reader keeps the FAT sectors it read for the volume it belongs to; a reader made for a
// new scan follows a chain through the FAT as it is on the disk now.
TEST_F(Fat16ChainTest, FatReaderKeepsItsSectorsAndANewReaderReadsTheFatAgain) {
  Set(2, 3);
  Set(3, 0xFFFF);
  const auto fatReads = [&] {
    const auto reads = d.disk->Reads();
    return std::count_if(reads.begin(), reads.end(), [](const auto& r) { return r.offset == kFat * 512; });
  };
  FatReader fat(d.ctx);
  EXPECT_EQ(FollowClusterChain(fat, 2), (std::vector<std::uint32_t>{2, 3}));
  d.disk->ClearReads();
  EXPECT_EQ(FollowClusterChain(fat, 3), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(fatReads(), 0);  // the same FAT sector again comes from the reader's cache

  Set(3, 4);
  Set(4, 0xFFFF);
  EXPECT_EQ(FollowClusterChain(fat, 2), (std::vector<std::uint32_t>{2, 3}));  // it still holds the old FAT
  d.disk->ClearReads();
  FatReader fresh(d.ctx);
  EXPECT_EQ(FollowClusterChain(fresh, 2), (std::vector<std::uint32_t>{2, 3, 4}));
  EXPECT_EQ(fatReads(), 1);
}

// A directory is read one run of consecutive sectors per request; a sector that cannot be read
// is missing on its own, its neighbours in the same run still come back.
TEST(DirectorySectorsTest, ReadsRunsInOneRequestAndLeavesOutOnlyBadSectors) {
  TestDisk d{1000};
  d.disk->SetStamped(true);
  d.disk->MarkBad(101);
  DirectorySectors dir(d.ctx, {100, 101, 102, 200, 201, 103});
  d.disk->ClearReads();
  const auto expect = [&](std::size_t index, std::uint64_t sector) {
    const ByteSpan bytes = dir.At(index);
    ASSERT_EQ(bytes.size(), 512u) << "index " << index;
    const auto stamped = FaultBlockDevice::StampedSector(sector);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), stamped.begin())) << "index " << index;
  };
  expect(0, 100);
  EXPECT_TRUE(dir.At(1).empty());
  expect(2, 102);
  expect(3, 200);
  expect(4, 201);
  expect(5, 103);
  EXPECT_TRUE(dir.At(6).empty());

  // Sectors 200-201 came in one 1 KiB request, and nothing was read twice once it was in.
  const auto reads = d.disk->Reads();
  EXPECT_EQ(std::count_if(reads.begin(), reads.end(),
                          [](const auto& r) { return r.offset == 200 * 512 && r.length == 1024 && r.ok; }),
            1);
  d.disk->ClearReads();
  expect(0, 100);
  EXPECT_TRUE(dir.At(1).empty());
  EXPECT_TRUE(d.disk->Reads().empty());
}

TEST(DirectorySectorsTest, LongRunsAreSplitInto64KiBRequests) {
  TestDisk d{1000};
  std::vector<std::uint64_t> numbers;
  for (std::uint64_t s = 300; s < 600; ++s) numbers.push_back(s);
  DirectorySectors dir(d.ctx, numbers);
  d.disk->ClearReads();
  for (std::size_t i = 0; i < dir.size(); ++i) ASSERT_EQ(dir.At(i).size(), 512u);
  std::vector<std::size_t> lengths;
  for (const auto& r : d.disk->Reads()) lengths.push_back(r.length);
  EXPECT_EQ(lengths, (std::vector<std::size_t>{128 * 512, 128 * 512, 44 * 512}));
}

}  // namespace
}  // namespace quarrow
