#include "ntfs/boot_sector.h"

namespace quarrow {

namespace {

// The format's two size words have a fixed meaning; any other word is read as a cluster count.
std::uint64_t SizeInSectors(std::uint32_t word, std::uint32_t fixedWord, std::uint64_t fixedSectors,
                            std::uint8_t sectorsPerCluster) {
  if (word == fixedWord) return fixedSectors;
  return static_cast<std::uint64_t>(word) * sectorsPerCluster;
}

std::string Low32Text(std::uint64_t value) {
  return std::to_string(static_cast<std::uint32_t>(value));
}

}  // namespace

NtfsBootSector DecodeNtfsBootSector(ByteSpan sector) {
  using namespace ntfs_boot;
  NtfsBootSector boot;
  boot.hasSignature = HasBootSignature(sector);
  boot.hasNtfsId = BytesEqual(sector, kOemId, "NTFS");
  boot.bytesPerSector = Le16(sector, kBytesPerSector);
  boot.sectorsPerCluster = Byte(sector, kSectorsPerCluster);
  boot.totalSectors = Le64(sector, kTotalSectors);
  boot.mftCluster = Le64(sector, kMftCluster);
  boot.mftMirrorCluster = Le64(sector, kMftMirrorCluster);
  boot.clustersPerRecord = Le32(sector, kClustersPerRecord);
  boot.clustersPerIndexRecord = Le32(sector, kClustersPerIndexRecord);
  boot.recordSectors = SizeInSectors(boot.clustersPerRecord, kRecordWord1024, 2, boot.sectorsPerCluster);
  boot.indexRecordSectors =
      SizeInSectors(boot.clustersPerIndexRecord, kIndexWord4096, 8, boot.sectorsPerCluster);
  return boot;
}

NtfsFileSystemRow MakeNtfsFileSystemRow(const NtfsBootSector& boot, std::uint64_t sector) {
  return NtfsFileSystemRow{
      .sector = std::to_string(sector),
      .sectorsPerCluster = std::to_string(boot.sectorsPerCluster),
      .sectorsPerIndexRecord = std::to_string(boot.indexRecordSectors),
      .rootSectors = "2",
      .totalSectors = Low32Text(boot.totalSectors),
      .mftCluster = Low32Text(boot.mftCluster),
      .mftMirrorCluster = Low32Text(boot.mftMirrorCluster),
  };
}

}  // namespace quarrow
