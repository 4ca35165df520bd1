#include <gtest/gtest.h>

#include <stop_token>

#include "fat/fat_volume.h"
#include "fat_test_volume.h"

namespace quarrow {
namespace {

using namespace fat_test;

Sector FatStart() {
  Sector s{};
  s[0] = 0xF8;
  s[1] = 0xFF;
  s[2] = 0xFF;
  return s;
}

// FAT32: partition at 100, first FAT at 132 (32 reserved sectors), two FATs of 40 sectors, so
// the data area (cluster 2) begins at 212 and cluster 0 would begin at 204 with 4 sectors per
// cluster. Sub-directories at clusters 3 and 7 are at sectors 216 and 232.
class Fat32ParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.ctx.partitionType = FsType::kFat32;
    d.ctx.searchStart = 100;
    d.ctx.searchEnd = 1000;
    d.Put(132, FatStart());
    d.Put(172, FatStart());
  }
  TestDisk d{1200};
};

TEST_F(Fat32ParamsTest, TwoDirectoriesGiveTheGeometry) {
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  const VolumeGeometry& g = d.ctx.geometry;
  EXPECT_EQ(g.SectorsPerCluster, 4u);
  EXPECT_EQ(g.Cluster0Sector, 216u - 12u);
  EXPECT_EQ(g.ReservedSectors, 32u);
  EXPECT_EQ(g.FatSectors, 40u);
  EXPECT_EQ(g.FirstFatSector, 132u);
  EXPECT_EQ(g.SecondFatSector, 172u);
  EXPECT_EQ(g.RootDirStart, 2u);
  EXPECT_EQ(g.RootDirSectors, 0u);
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Calculating Partition Params..."));
}

TEST_F(Fat32ParamsTest, ProgressTextShowsSectorOfLastSector) {
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  ASSERT_FALSE(d.feedback.progress.empty());
  const auto& first = d.feedback.progress.front();
  EXPECT_EQ(first.controlId, control::kProgress);
  EXPECT_EQ(first.barText, std::string(94, ' ') + "100 / 1000" + std::string(90, ' '));
  EXPECT_EQ(first.position, 10);
}

TEST_F(Fat32ParamsTest, FirstDirectoryStaysTheReference) {
  // A stale copy of a directory whose "." does not fit where it lies comes first: it stays the
  // reference, and the two good directories behind it are never compared with each other.
  d.Put(208, DirectoryStart(9, 0));
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  d.ctx.geometry.SectorsPerCluster = 77;
  EXPECT_EQ(CalculatePartitionParams(d.ctx), 0);
  EXPECT_EQ(d.ctx.geometry.SectorsPerCluster, 77u);
}

TEST_F(Fat32ParamsTest, CandidatesThatDoNotFitAreDropped) {
  d.Put(216, DirectoryStart(3, 0));
  d.Put(219, DirectoryStart(4, 3));  // 3 sectors per cluster is not a cluster size
  d.Put(224, DirectoryStart(3, 0));  // the same cluster as the reference
  d.Put(232, DirectoryStart(7, 3));
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  EXPECT_EQ(d.ctx.geometry.SectorsPerCluster, 4u);
  EXPECT_EQ(d.ctx.geometry.Cluster0Sector, 204u);
}

TEST_F(Fat32ParamsTest, ReferenceNeedsAUsableCluster) {
  d.Put(210, DirectoryStart(1, 0));  // cluster 1 cannot be a directory: not a reference
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  EXPECT_EQ(d.ctx.geometry.Cluster0Sector, 204u);
}

TEST_F(Fat32ParamsTest, UnreadableSectorsAreSkipped) {
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  d.Put(248, DirectoryStart(11, 3));
  d.disk->MarkBad(216);
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  // The pair 7 and 11 gives the same layout.
  EXPECT_EQ(d.ctx.geometry.SectorsPerCluster, 4u);
  EXPECT_EQ(d.ctx.geometry.Cluster0Sector, 204u);
}

TEST_F(Fat32ParamsTest, DefaultReservedWhenNoFatFoundAndFailureWhenNoPair) {
  TestDisk empty{600};
  empty.ctx.partitionType = FsType::kFat32;
  empty.ctx.searchStart = 100;
  empty.ctx.searchEnd = 500;
  empty.Put(216, DirectoryStart(3, 0));
  EXPECT_EQ(CalculatePartitionParams(empty.ctx), 0);
  EXPECT_EQ(empty.ctx.geometry.ReservedSectors, 32u);
  EXPECT_EQ(empty.ctx.geometry.RootDirStart, 2u);
}

TEST_F(Fat32ParamsTest, LastFatStartInTheWindowWins) {
  d.Put(140, FatStart());
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  EXPECT_EQ(d.ctx.geometry.ReservedSectors, 40u);
  EXPECT_EQ(d.ctx.geometry.FirstFatSector, 140u);
}

TEST_F(Fat32ParamsTest, StopEndsTheSearch) {
  d.Put(216, DirectoryStart(3, 0));
  d.Put(232, DirectoryStart(7, 3));
  std::stop_source source;
  source.request_stop();
  d.ctx.stop = source.get_token();
  EXPECT_EQ(CalculatePartitionParams(d.ctx), 0);
}

TEST(FatParams, OtherTypesAreNotWorkedOut) {
  TestDisk d{300};
  d.ctx.partitionType = FsType::kNtfs;
  d.ctx.searchStart = 0;
  d.ctx.searchEnd = 300;
  d.Put(20, DirectoryStart(3, 0));
  d.Put(36, DirectoryStart(7, 0));
  EXPECT_EQ(CalculatePartitionParams(d.ctx), 0);
  EXPECT_EQ(d.ctx.geometry.SectorsPerCluster, 0u);
}

// FAT16: partition at 100, 4 reserved sectors, two FATs of 16 sectors, a root directory of 32
// sectors at 136, data from 168 (cluster 2) with 4 sectors per cluster.
TEST(Fat16Params, TwoDirectoriesGiveTheGeometryWithTheRootDirectory) {
  TestDisk d{800};
  d.ctx.partitionType = FsType::kFat16;
  d.ctx.searchStart = 100;
  d.ctx.searchEnd = 700;
  d.Put(104, FatStart());
  d.Put(120, FatStart());  // outside the window of 10 sectors
  d.Put(172, DirectoryStart(3, 0));
  // The FAT16 candidate's cluster is only the low word; a high word must not disturb it.
  Sector second = DirectoryStart(7, 3);
  second[20] = 0x55;
  d.Put(188, second);
  ASSERT_EQ(CalculatePartitionParams(d.ctx), 1);
  const VolumeGeometry& g = d.ctx.geometry;
  EXPECT_EQ(g.SectorsPerCluster, 4u);
  EXPECT_EQ(g.Cluster0Sector, 160u);
  EXPECT_EQ(g.ReservedSectors, 4u);
  EXPECT_EQ(g.FatSectors, 16u);
  EXPECT_EQ(g.FirstFatSector, 104u);
  EXPECT_EQ(g.SecondFatSector, 120u);
  EXPECT_EQ(g.RootDirStart, 136u);
  EXPECT_EQ(g.RootDirSectors, 32u);
}

TEST(Fat16Params, DefaultReservedIsOne) {
  TestDisk d{400};
  d.ctx.partitionType = FsType::kFat16;
  d.ctx.searchStart = 0;
  d.ctx.searchEnd = 300;
  EXPECT_EQ(CalculatePartitionParams(d.ctx), 0);
  EXPECT_EQ(d.ctx.geometry.ReservedSectors, 1u);
  EXPECT_EQ(d.ctx.geometry.RootDirSectors, 32u);
}

}  // namespace
}  // namespace quarrow
