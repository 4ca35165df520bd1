#include "exfat/boot_sector.h"

#include <algorithm>

namespace quarrow {

bool ExfatBootSector::Plausible() const {
  if (!IsExfatBootSector()) return false;
  if (bytesPerSectorShift < 9 || bytesPerSectorShift > 12) return false;
  if (sectorsPerClusterShift > 25 - bytesPerSectorShift) return false;
  if (numberOfFats != 1 && numberOfFats != 2) return false;
  if (fatOffset < 24 || fatLength == 0 || clusterCount == 0) return false;
  // The heap follows the FATs; the volume holds the heap.
  const std::uint64_t fatsEnd = std::uint64_t{fatOffset} + std::uint64_t{fatLength} * numberOfFats;
  if (clusterHeapOffset < fatsEnd) return false;
  const std::uint64_t heapEnd =
      std::uint64_t{clusterHeapOffset} + (std::uint64_t{clusterCount} << sectorsPerClusterShift);
  if (volumeLength != 0 && heapEnd > volumeLength) return false;
  // Each cluster has a four-byte FAT entry, clusters 0 and 1 included.
  if ((std::uint64_t{clusterCount} + 2) * 4 > (std::uint64_t{fatLength} << bytesPerSectorShift)) return false;
  return rootCluster >= 2 && rootCluster - 2 < clusterCount;
}

ExfatBootSector DecodeExfatBootSector(ByteSpan sector) {
  using namespace exfat_boot;
  ExfatBootSector boot;
  boot.hasSignature = HasBootSignature(sector);
  boot.hasExfatId = BytesEqual(sector, kFileSystemName, "EXFAT   ");
  boot.zeroBytesClear = sector.size() >= kMustBeZero + kMustBeZeroLength;
  for (std::size_t i = 0; i < kMustBeZeroLength && boot.zeroBytesClear; ++i)
    boot.zeroBytesClear = Byte(sector, kMustBeZero + i) == 0;
  boot.partitionOffset = Le64(sector, kPartitionOffset);
  boot.volumeLength = Le64(sector, kVolumeLength);
  boot.fatOffset = Le32(sector, kFatOffset);
  boot.fatLength = Le32(sector, kFatLength);
  boot.clusterHeapOffset = Le32(sector, kClusterHeapOffset);
  boot.clusterCount = Le32(sector, kClusterCount);
  boot.rootCluster = Le32(sector, kRootCluster);
  boot.serialNumber = Le32(sector, kSerialNumber);
  boot.revision = Le16(sector, kRevision);
  boot.volumeFlags = Le16(sector, kVolumeFlags);
  boot.bytesPerSectorShift = Byte(sector, kBytesPerSectorShift);
  boot.sectorsPerClusterShift = Byte(sector, kSectorsPerClusterShift);
  boot.numberOfFats = Byte(sector, kNumberOfFats);
  return boot;
}

std::uint32_t BootRegionChecksum(ByteSpan region, std::size_t bytesPerSector) {
  const std::size_t length = std::min(region.size(), bytesPerSector * exfat_boot::kChecksumSector);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) {
    // The volume flags (106, 107) and the percent in use (112).
    if (i == 106 || i == 107 || i == 112) continue;
    sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + region[i];
  }
  return sum;
}

bool BootRegionChecksumHolds(ByteSpan region, std::size_t bytesPerSector) {
  if (bytesPerSector < 4 || region.size() < bytesPerSector * exfat_boot::kRegionSectors) return false;
  const std::uint32_t sum = BootRegionChecksum(region, bytesPerSector);
  const std::size_t at = bytesPerSector * exfat_boot::kChecksumSector;
  for (std::size_t i = 0; i + 4 <= bytesPerSector; i += 4) {
    if (Le32(region, at + i) != sum) return false;
  }
  return true;
}

std::optional<ExfatLayout> LayoutFromBootSector(const ExfatBootSector& boot, std::uint64_t volumeStart) {
  if (!boot.Plausible()) return std::nullopt;
  // The disk's sectors are 512 bytes; a volume's sectors are that or a power of two above.
  const std::uint32_t scale = 1u << (boot.bytesPerSectorShift - 9);
  ExfatLayout layout;
  layout.volumeStart = volumeStart;
  layout.volumeSectors = boot.volumeLength * scale;
  layout.fatSector = volumeStart + std::uint64_t{boot.fatOffset} * scale;
  layout.fatSectors = std::uint64_t{boot.fatLength} * scale;
  layout.heapSector = volumeStart + std::uint64_t{boot.clusterHeapOffset} * scale;
  layout.clusterCount = boot.clusterCount;
  layout.sectorsPerCluster = scale << boot.sectorsPerClusterShift;
  layout.rootCluster = boot.rootCluster;
  layout.volumeFlags = boot.volumeFlags;
  return layout;
}

}  // namespace quarrow

#include <vector>

#include "scan/scan_context.h"

namespace quarrow {

namespace {

// The region whose boot sector is at sector, with whether its checksum holds; none when that
// boot sector is not plausible.
std::optional<ExfatBootRegion> RegionAt(const ScanContext& ctx, std::uint64_t sector, bool backup) {
  std::vector<std::uint8_t> first(kSectorSize);
  ctx.Read(sector, 1, first);
  ExfatBootRegion region;
  region.boot = DecodeExfatBootSector(first);
  region.backup = backup;
  if (!region.boot.Plausible()) return std::nullopt;
  const std::uint32_t bytesPerSector = region.boot.BytesPerSector();
  std::vector<std::uint8_t> bytes(std::size_t{bytesPerSector} * exfat_boot::kRegionSectors);
  ctx.Read(sector, static_cast<std::uint32_t>(bytes.size() / kSectorSize), bytes);
  region.checksumHolds = BootRegionChecksumHolds(bytes, bytesPerSector);
  return region;
}

}  // namespace

std::optional<ExfatBootRegion> ReadExfatBootRegion(const ScanContext& ctx, std::uint64_t volumeStart) {
  std::optional<ExfatBootRegion> main = RegionAt(ctx, volumeStart, false);
  if (main && main->checksumHolds) return main;
  // The backup lies twelve volume sectors on; when the main boot sector is gone its size is not
  // known, so each size is tried.
  std::optional<ExfatBootRegion> backup;
  for (std::uint32_t shift = 9; shift <= 12 && !(backup && backup->checksumHolds); ++shift) {
    if (main && main->boot.bytesPerSectorShift != shift) continue;
    auto candidate =
        RegionAt(ctx, volumeStart + (std::uint64_t{exfat_boot::kRegionSectors} << (shift - 9)), true);
    if (candidate && candidate->boot.bytesPerSectorShift == shift) backup = candidate;
  }
  if (backup && backup->checksumHolds) return backup;
  return main ? main : backup;
}

}  // namespace quarrow
