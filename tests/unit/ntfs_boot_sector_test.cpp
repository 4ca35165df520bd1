// The NTFS boot sector decoder and the FileSystemTable row a scan writes for it.

#include <gtest/gtest.h>

#include "ntfs/boot_sector.h"
#include "ntfs/mft_record.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

struct SizeCase {
  std::uint8_t spc;
  std::uint32_t recordWord, indexWord;
  std::uint64_t recordSectors, indexSectors;
};

TEST(NtfsBootSectorTest, RecordAndIndexSizesFromTheirWords) {
  const SizeCase cases[] = {
      {8, 0xF6, 0xF4, 2, 8},          // the words of 1024- and 4096-byte records
      {4, 1, 2, 4, 8},                // counts of clusters
      {8, 0x1F6, 0x1F4, 4016, 4000},  // the marker byte followed by a nonzero byte is a count
      {128, 0xFFFFFFFF, 0x80000000, 0xFFFFFFFFull * 128, 0x80000000ull * 128},  // no 32-bit wrap
  };
  for (const SizeCase& c : cases) {
    const NtfsBootSector boot = DecodeNtfsBootSector(NtfsBoot(c.spc, 1000, 4, 8, c.recordWord, c.indexWord));
    EXPECT_EQ(boot.recordSectors, c.recordSectors) << c.recordWord;
    EXPECT_EQ(boot.indexRecordSectors, c.indexSectors) << c.indexWord;
    EXPECT_EQ(boot.clustersPerIndexRecord, c.indexWord);
  }
}

// A volume of larger sectors has its figures in 512-byte sectors: mkntfs -s 4096 writes one
// sector per cluster and records of one cluster, -s 2048 the word 0xF5 for 2048-byte records.
struct SectorSizeCase {
  std::uint16_t bytesPerSector;
  std::uint8_t spc;
  std::uint32_t recordWord, indexWord;
  std::uint32_t scale, sectorsPerCluster;
  std::uint64_t recordSectors, indexSectors, totalSectors;
};

TEST(NtfsBootSectorTest, LargerSectorsAreCountedInTheReadersSectors) {
  const SectorSizeCase cases[] = {
      {512, 8, 0xF6, 0xF4, 1, 8, 2, 8, 1000},     {1024, 4, 0xF6, 0xF4, 2, 8, 2, 8, 2000},
      {2048, 2, 0xF5, 1, 4, 8, 4, 8, 4000},       {4096, 1, 1, 1, 8, 8, 8, 8, 8000},
      {4096, 16, 0xF4, 0xF4, 8, 128, 8, 8, 8000},  // 64 KiB clusters
      {3000, 8, 0xF6, 0xF4, 0, 8, 2, 8, 1000},     // no medium's size: left unscaled
  };
  for (const SectorSizeCase& c : cases) {
    Bytes bytes = NtfsBoot(c.spc, 1000, 4, 8, c.recordWord, c.indexWord);
    Put(bytes, 11, c.bytesPerSector, 2);
    const NtfsBootSector boot = DecodeNtfsBootSector(bytes);
    EXPECT_EQ(boot.sectorScale, c.scale) << c.bytesPerSector;
    EXPECT_EQ(boot.sectorsPerCluster, c.sectorsPerCluster) << c.bytesPerSector;
    EXPECT_EQ(boot.recordSectors, c.recordSectors) << c.bytesPerSector;
    EXPECT_EQ(boot.indexRecordSectors, c.indexSectors) << c.bytesPerSector;
    EXPECT_EQ(boot.totalSectors, c.totalSectors) << c.bytesPerSector;
  }
}

TEST(NtfsBootSectorTest, RowTakesTheLowHalvesOfWideFields) {
  const NtfsBootSector boot =
      DecodeNtfsBootSector(NtfsBoot(4, 0x100000123ull, 0x200000005ull, 0x300000010ull));
  ASSERT_TRUE(boot.IsNtfsBootSector());
  EXPECT_EQ(boot.totalSectors, 0x100000123ull);
  EXPECT_EQ(boot.mftCluster, 0x200000005ull);
  EXPECT_EQ(boot.bytesPerSector, 512);
  EXPECT_EQ(MakeNtfsFileSystemRow(boot, 63).Cells(),
            (std::array<std::string, 7>{"63", "4", "8", "2", "291", "5", "16"}));
}

TEST(NtfsBootSectorTest, ClassifiesSectorsOfAScan) {
  Bytes fatBoot = NtfsBoot(8, 1, 1, 1);
  fatBoot[3] = 'M';
  Bytes unsignedBoot = NtfsBoot(8, 1, 1, 1);
  unsignedBoot[510] = 0;
  Bytes big = FileRecordBytes({});
  Put(big, 28, 4096, 2);
  Bytes fileEndingLikeBoot = FileRecordBytes({});
  fileEndingLikeBoot[510] = 0x55, fileEndingLikeBoot[511] = 0xAA;
  const std::pair<Bytes, NtfsSectorKind> cases[] = {
      {NtfsBoot(8, 1, 1, 1), NtfsSectorKind::kBootSector},
      {fatBoot, NtfsSectorKind::kOther},
      {unsignedBoot, NtfsSectorKind::kOther},
      {FileRecordBytes({}), NtfsSectorKind::kFileRecord},
      {big, NtfsSectorKind::kOther},
      {fileEndingLikeBoot, NtfsSectorKind::kOther},
      {IndexRecordBytes({}), NtfsSectorKind::kIndexRecord},
      {Bytes(3, 'F'), NtfsSectorKind::kOther},
  };
  for (const auto& [bytes, kind] : cases) EXPECT_EQ(ClassifyNtfsSector(bytes), kind);
  EXPECT_FALSE(DecodeNtfsBootSector(Bytes(12, 0)).IsNtfsBootSector());
}

}  // namespace
}  // namespace quarrow
