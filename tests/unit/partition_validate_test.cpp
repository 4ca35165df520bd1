// ValidatePartition over hand-built FAT16, FAT32 and NTFS volumes.

#include <gtest/gtest.h>

#include <algorithm>

#include "partition/validate_partition.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using namespace partition_test;

class PartitionValidateTest : public ::testing::Test {
 protected:
  static constexpr std::uint64_t kStart = 2048;
  static constexpr std::uint64_t kEnd = 2048 + 60000;  // the first sector after the partition

  PartitionValidateTest() : disk(70000) {
    context.reader = &disk.reader;
    context.diskNumber = 0;
    context.searchStart = kStart;
    context.searchEnd = kEnd;
    context.SetFeedback(feedback);
  }

  int Validate(const std::string& type) {
    context.partitionType = FsTypeFromText(type).value_or(FsType::kNone);
    return ValidatePartition(context);
  }

  // A geometry no validation would produce, to see what a failure leaves alone.
  void Poison() {
    VolumeGeometry g;
    g.FatSectors = g.SectorsPerCluster = g.RootDirSectors = g.RootDirStart = g.ReservedSectors = 77;
    g.Cluster0Sector = g.FirstFatSector = g.SecondFatSector = g.MftSector = g.MftMirrSector = 77;
    g.MftRecordSectors = g.IndexBlockSectors = 77;
    context.geometry = g;
  }

  MemoryDisk disk;
  ScanContext context;
  RecordingFeedback feedback;
};

TEST_F(PartitionValidateTest, Fat16LayoutFromTheBootSector) {
  Fat16Figures f;  // 4 reserved, 32 sectors per FAT, 512 root entries, 4 sectors per cluster
  f.fats = 1;      // ignored: the volume is taken to have two FATs
  disk.Write(kStart, Fat16Boot(f));
  disk.Write(kStart + 4 + 32, FatStart(0xF8));
  ASSERT_EQ(Validate("FAT16"), 1);
  const VolumeGeometry& g = context.geometry;
  EXPECT_EQ(g.FatSectors, 32u);
  EXPECT_EQ(g.SectorsPerCluster, 4u);
  EXPECT_EQ(g.RootDirSectors, 32u);
  EXPECT_EQ(g.ReservedSectors, 4u);
  EXPECT_EQ(g.RootDirStart, 2048u + 4 + 64);
  EXPECT_EQ(g.Cluster0Sector, 2048u + 4 + 64 + 32 - 8);
  EXPECT_EQ(g.FirstFatSector, 2052u);
  EXPECT_EQ(g.SecondFatSector, 2084u);
  ASSERT_EQ(feedback.texts.size(), 1u);
  EXPECT_EQ(feedback.texts[0].controlId, control::kStatus);
  EXPECT_EQ(feedback.texts[0].text, "Validating Partition ...");
}

TEST_F(PartitionValidateTest, Fat16Failures) {
  disk.Write(kStart, Fat16Boot({}));
  disk.Write(kStart + 36, FatStart(0x12));  // no media byte, and the first FAT differs
  Poison();
  const VolumeGeometry poisoned = context.geometry;
  EXPECT_EQ(Validate("FAT16"), 0);
  EXPECT_EQ(context.geometry, poisoned);

  disk.Write(kStart + 36, FatStart(0xF8));
  EXPECT_EQ(Validate("FAT16"), 1);

  Sector unsigned_ = Fat16Boot({});
  unsigned_[511] = 0;
  disk.Write(kStart, unsigned_);
  Poison();
  EXPECT_EQ(Validate("FAT16"), 0);
  EXPECT_EQ(context.geometry, poisoned);

  // A zero cluster size would put every cluster on the same sector.
  Fat16Figures zero;
  zero.sectorsPerCluster = 0;
  disk.Write(kStart, Fat16Boot(zero));
  EXPECT_EQ(Validate("FAT16"), 0);
}

TEST_F(PartitionValidateTest, Fat12IsReadWithTheFat16Rules) {
  Fat16Figures f;
  f.label = "FAT12   ";
  f.sectorsPerFat = 12;
  disk.Write(kStart, Fat16Boot(f));
  disk.Write(kStart + 4 + 12, FatStart(0xF8));
  ASSERT_EQ(Validate("FAT16"), 1);
  EXPECT_EQ(context.geometry.SecondFatSector, kStart + 16);
}

TEST_F(PartitionValidateTest, Fat32LayoutFromTheBootSector) {
  disk.Write(kStart, Fat32Boot({}));  // 32 reserved, 600 per FAT, 8 per cluster, root cluster 2
  disk.Write(kStart + 32 + 600, FatStart(0xF8));
  ASSERT_EQ(Validate("FAT32"), 1);
  const VolumeGeometry& g = context.geometry;
  EXPECT_EQ(g.FatSectors, 600u);
  EXPECT_EQ(g.SectorsPerCluster, 8u);
  EXPECT_EQ(g.RootDirSectors, 0u);
  EXPECT_EQ(g.RootDirStart, 2u);
  EXPECT_EQ(g.ReservedSectors, 32u);
  EXPECT_EQ(g.Cluster0Sector, 2048u + 32 + 1200 - 16);
  EXPECT_EQ(g.FirstFatSector, 2080u);
  EXPECT_EQ(g.SecondFatSector, 2680u);
}

TEST_F(PartitionValidateTest, Fat32FromTheBackupWhenTheMainBootSectorIsUnsigned) {
  Fat32Figures f;
  f.rootCluster = 5;
  disk.Write(kStart + 6, Fat32Boot(f));  // sector 0 of the volume is wiped
  disk.Write(kStart + 32 + 600, FatStart(0xF8));
  ASSERT_EQ(Validate("FAT32"), 1);
  EXPECT_EQ(context.geometry.RootDirStart, 5u);
  EXPECT_EQ(context.geometry.SecondFatSector, kStart + 632);
}

TEST_F(PartitionValidateTest, Fat32FromTheBackupWhenTheMainFiguresMissTheSecondFat) {
  Fat32Figures damaged;
  damaged.sectorsPerFat = 9999;  // signed, but its second FAT holds no media byte
  damaged.rootCluster = 9;
  disk.Write(kStart, Fat32Boot(damaged));
  Fat32Figures good;
  good.rootCluster = 3;
  disk.Write(kStart + 6, Fat32Boot(good));
  disk.Write(kStart + 32 + 600, FatStart(0xF8));
  ASSERT_EQ(Validate("FAT32"), 1);
  EXPECT_EQ(context.geometry.FatSectors, 600u);
  EXPECT_EQ(context.geometry.RootDirStart, 3u);
}

TEST_F(PartitionValidateTest, Fat32FailureLeavesAllButTheRootCluster) {
  Fat32Figures f;
  f.rootCluster = 11;
  disk.Write(kStart, Fat32Boot(f));
  disk.Write(kStart + 32 + 600, FatStart(0x12));
  Poison();
  VolumeGeometry expected = context.geometry;
  expected.RootDirStart = 0;  // the blank backup's root cluster, taken before its test failed
  EXPECT_EQ(Validate("FAT32"), 0);
  EXPECT_EQ(context.geometry, expected);

  Poison();
  disk.Write(kStart, Sector{});
  expected = context.geometry;
  EXPECT_EQ(Validate("FAT32"), 0);  // neither boot sector signed: nothing accepted, nothing written
  EXPECT_EQ(context.geometry, expected);
}

class PartitionValidateNtfsTest : public PartitionValidateTest {
 protected:
  // An NTFS volume with 8 sectors per cluster, its MFT at cluster 4 and its mirror at cluster 2;
  // its backup boot sector in its last volume sector.
  void WriteVolume(const NtfsFigures& f, bool primary = true, bool backup = true) {
    const std::uint64_t scale = f.bytesPerSector / 512;
    if (primary) disk.Write(kStart, NtfsBoot(f));
    if (backup) disk.Write(kEnd - scale, NtfsBoot(f));
    disk.Write(kStart + f.mftCluster * f.sectorsPerCluster * scale, FileRecord());
    disk.Write(kStart + f.mirrorCluster * f.sectorsPerCluster * scale, FileRecord());
  }
};

TEST_F(PartitionValidateNtfsTest, LayoutFromTheBootSector) {
  NtfsFigures f;
  WriteVolume(f);
  ASSERT_EQ(Validate("NTFS"), 1);
  const VolumeGeometry& g = context.geometry;
  EXPECT_EQ(g.SectorsPerCluster, 8u);
  EXPECT_EQ(g.Cluster0Sector, kStart);
  EXPECT_EQ(g.MftSector, kStart + 32);
  EXPECT_EQ(g.MftMirrSector, kStart + 16);
  EXPECT_EQ(g.MftRecordSectors, 2u);   // 0xF6 at byte 64
  EXPECT_EQ(g.IndexBlockSectors, 8u);  // 1 cluster of 8 sectors
}

TEST_F(PartitionValidateNtfsTest, RecordAndIndexSizes) {
  NtfsFigures f;
  f.sectorsPerCluster = 2;
  f.recordField = 1;    // one cluster of 2 sectors: 1024 bytes
  f.indexField = 0xF4;  // 4096 bytes
  WriteVolume(f);
  ASSERT_EQ(Validate("NTFS"), 1);
  EXPECT_EQ(context.geometry.MftRecordSectors, 2u);
  EXPECT_EQ(context.geometry.IndexBlockSectors, 8u);
}

// Records of 1024 bytes, or as large as the sector of a volume made with 2048- or 4096-byte
// sectors, whether the word at 64 counts clusters or says a power of two; 0: refused.
TEST_F(PartitionValidateNtfsTest, RecordSizesTheFormatUsesAreAccepted) {
  struct Case {
    std::uint16_t bytesPerSector;
    std::uint8_t sectorsPerCluster;
    std::uint32_t recordField;
    std::uint32_t recordSectors;
  };
  const Case cases[] = {
      {512, 2, 1, 2},  {512, 2, 2, 4},     {512, 8, 1, 8},     {512, 8, 0xF5, 4}, {512, 8, 0xF4, 8},
      {4096, 1, 1, 8}, {4096, 1, 0xF4, 8}, {2048, 2, 0xF5, 4}, {2048, 1, 1, 4},   {512, 2, 5, 0},
      {512, 8, 2, 0},  {512, 8, 0xF7, 0},  {512, 8, 0xF3, 0},  {4096, 2, 1, 0},   {512, 2, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytesPerSector) + " " + std::to_string(c.sectorsPerCluster) + " " +
                 std::to_string(c.recordField));
    NtfsFigures f;
    f.bytesPerSector = c.bytesPerSector;
    f.sectorsPerCluster = c.sectorsPerCluster;
    f.recordField = c.recordField;
    WriteVolume(f);
    Poison();
    EXPECT_EQ(Validate("NTFS"), c.recordSectors != 0 ? 1 : 0);
    EXPECT_EQ(context.geometry.MftRecordSectors, c.recordSectors != 0 ? c.recordSectors : 77u);
  }
}

// The backup lies in the last sector of the volume's own size: 8 disk sectors before the end on a
// volume of 4096-byte sectors. The main copy says which; without it, the copy whose size fits.
TEST_F(PartitionValidateNtfsTest, BackupOfAVolumeOfLargeSectorsIsItsLastVolumeSector) {
  for (const std::uint16_t bytesPerSector : {1024, 2048, 4096}) {
    SCOPED_TRACE(bytesPerSector);
    const std::uint64_t scale = bytesPerSector / 512;
    for (const bool mainSigned : {true, false}) {
      disk.Write(kEnd - 1, Sector{});
      NtfsFigures good;
      good.bytesPerSector = bytesPerSector;
      good.sectorsPerCluster = 1;
      good.recordField = 0xF4;
      WriteVolume(good, false, true);
      NtfsFigures bad = good;
      bad.sectorsPerCluster = 3;
      disk.Write(kStart, mainSigned ? NtfsBoot(bad) : Sector{});
      disk.device->ClearReads();
      ASSERT_EQ(Validate("NTFS"), 1) << mainSigned;
      EXPECT_EQ(context.geometry.SectorsPerCluster, scale);
      EXPECT_EQ(context.geometry.MftSector, kStart + 4 * scale);
      bool readBackup = false;
      for (const auto& read : disk.device->Reads()) readBackup |= read.offset == (kEnd - scale) * 512;
      EXPECT_TRUE(readBackup) << mainSigned;
      disk.Write(kEnd - scale, Sector{});
    }
  }
  EXPECT_EQ(NtfsBackupBootSector(100, 196, 8), 188u);
  EXPECT_EQ(NtfsBackupBootSector(100, 200, 8), 188u);  // the last whole volume sector
  EXPECT_EQ(NtfsBackupBootSector(100, 204, 8), 196u);
  EXPECT_EQ(NtfsBackupBootSector(100, 107, 8), 0u);
  EXPECT_EQ(NtfsBackupBootSector(100, 200, 0), 0u);
}

TEST_F(PartitionValidateNtfsTest, ThreeSectorsPerClusterFails) {
  NtfsFigures f;
  f.sectorsPerCluster = 3;
  WriteVolume(f);
  Poison();
  const VolumeGeometry poisoned = context.geometry;
  EXPECT_EQ(Validate("NTFS"), 0);
  EXPECT_EQ(context.geometry, poisoned);
}

TEST_F(PartitionValidateNtfsTest, BackupIsReadAtThePartitionsLastSector) {
  NtfsFigures bad;
  bad.sectorsPerCluster = 3;
  NtfsFigures good;
  WriteVolume(good, false, true);
  disk.Write(kStart, NtfsBoot(bad));  // the main copy fails its cluster size
  ASSERT_EQ(Validate("NTFS"), 1);
  EXPECT_EQ(context.geometry.SectorsPerCluster, 8u);
  EXPECT_EQ(context.geometry.MftSector, kStart + 32);
  const auto reads = disk.device->Reads();
  EXPECT_TRUE(
      std::any_of(reads.begin(), reads.end(), [](const auto& r) { return r.offset == (kEnd - 1) * 512; }));
}

TEST_F(PartitionValidateNtfsTest, UnsignedMainCopyFallsBackToTheBackup) {
  WriteVolume({}, false, true);
  ASSERT_EQ(Validate("NTFS"), 1);
  EXPECT_EQ(context.geometry.MftRecordSectors, 2u);
}

TEST_F(PartitionValidateNtfsTest, SectorAfterThePartitionIsNotTakenForTheBackup) {
  // The first sector after this partition may be the next volume's boot sector.
  WriteVolume({}, false, false);
  disk.Write(kEnd, NtfsBoot({}));
  EXPECT_EQ(Validate("NTFS"), 0);
}

TEST_F(PartitionValidateNtfsTest, MftOrMirrorIsEnough) {
  NtfsFigures f;
  WriteVolume(f);
  disk.Write(kStart + 32, Sector{});  // the MFT is gone, the mirror is there
  ASSERT_EQ(Validate("NTFS"), 1);
  EXPECT_EQ(context.geometry.MftSector, 0u);
  EXPECT_EQ(context.geometry.MftMirrSector, kStart + 16);

  disk.Write(kStart + 16, Sector{});  // both gone
  Poison();
  const VolumeGeometry poisoned = context.geometry;
  EXPECT_EQ(Validate("NTFS"), 0);
  EXPECT_EQ(context.geometry, poisoned);
}

TEST_F(PartitionValidateNtfsTest, MftFoundThroughTheOtherCopy) {
  // The main copy points the MFT at an empty cluster; the backup points at the real one.
  NtfsFigures main;
  main.mftCluster = 100;
  disk.Write(kStart, NtfsBoot(main));
  NtfsFigures backup;
  WriteVolume(backup, false, true);
  ASSERT_EQ(Validate("NTFS"), 1);
  EXPECT_EQ(context.geometry.MftSector, kStart + 32);
  EXPECT_EQ(context.geometry.MftMirrSector, kStart + 16);
}

TEST_F(PartitionValidateTest, OtherTypesAndRangesFail) {
  disk.Write(kStart, Fat32Boot({}));
  disk.Write(kStart + 632, FatStart(0xF8));
  EXPECT_EQ(Validate("FAT12"), 0);
  EXPECT_EQ(Validate(""), 0);
  EXPECT_EQ(Validate("fat32"), 0);
  context.searchStart = -1;
  EXPECT_EQ(Validate("FAT32"), 0);
  EXPECT_EQ(NtfsBackupBootSector(100, 100), 0u);
  EXPECT_EQ(NtfsBackupBootSector(100, 50), 0u);
  EXPECT_EQ(NtfsBackupBootSector(100, 200), 199u);
}

TEST(PartitionValidateLargeDisk, VolumesBeyondThirtyTwoBitSectorsAreRefused) {
  // The geometry holds 32-bit sector numbers; a volume past them cannot be described by it.
  const std::uint64_t start = (1ull << 32) + 2048;
  MemoryDisk disk(start + 100000);
  disk.Write(start, Fat32Boot({}));
  disk.Write(start + 632, FatStart(0xF8));
  disk.Write(start + 6, Fat32Boot({}));
  ScanContext context;
  context.reader = &disk.reader;
  context.partitionType = FsType::kFat32;
  context.searchStart = static_cast<std::uint64_t>(start);
  context.searchEnd = static_cast<std::uint64_t>(start + 90000);
  EXPECT_EQ(ValidatePartition(context), 0);
  EXPECT_EQ(context.geometry.FirstFatSector, 0u);

  // The same volume below 2^32 validates, so the refusal is the size and nothing else.
  MemoryDisk small(100000);
  small.Write(2048, Fat32Boot({}));
  small.Write(2048 + 632, FatStart(0xF8));
  context.reader = &small.reader;
  context.searchStart = 2048;
  EXPECT_EQ(ValidatePartition(context), 1);
}

TEST_F(PartitionValidateTest, WithoutAReaderNothingValidates) {
  ScanContext empty;
  empty.partitionType = FsType::kNtfs;
  empty.searchStart = 63;
  empty.searchEnd = 1000;
  EXPECT_EQ(ValidatePartition(empty), 0);
}

}  // namespace
}  // namespace quarrow
