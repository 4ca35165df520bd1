#include "ntfs/boot_sector.h"

#include "core/sector_size.h"

namespace quarrow {

namespace {

// A size word whose low byte is 0xE1 to 0xFF gives the size as a power of two of bytes (2^-n,
// 0xF6 for 1024); any other word is read as a cluster count. Sizes below a 512-byte sector count 0.
std::uint64_t SizeInSectors(std::uint32_t word, std::uint32_t sectorsPerCluster) {
  const std::uint32_t low = word & 0xFFu;
  if (word <= 0xFFu && low >= 0xE1u) {
    const std::uint32_t shift = 256u - low;
    return shift < 9 ? 0 : std::uint64_t{1} << (shift - 9);
  }
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
  boot.sectorScale = SectorScale(boot.bytesPerSector);
  const std::uint32_t scale = boot.sectorScale == 0 ? 1 : boot.sectorScale;
  boot.sectorsPerCluster = std::uint32_t{Byte(sector, kSectorsPerCluster)} * scale;
  const std::uint64_t total = Le64(sector, kTotalSectors);
  boot.totalSectors = total > UINT64_MAX / scale ? UINT64_MAX : total * scale;
  boot.mftCluster = Le64(sector, kMftCluster);
  boot.mftMirrorCluster = Le64(sector, kMftMirrorCluster);
  boot.clustersPerRecord = Le32(sector, kClustersPerRecord);
  boot.clustersPerIndexRecord = Le32(sector, kClustersPerIndexRecord);
  boot.recordSectors = SizeInSectors(boot.clustersPerRecord, boot.sectorsPerCluster);
  boot.indexRecordSectors = SizeInSectors(boot.clustersPerIndexRecord, boot.sectorsPerCluster);
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
