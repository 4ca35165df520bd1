#pragma once
// The exFAT boot region: the boot sector's fields, the checksum of sectors 0 to 10 that sector 11
// repeats, and the volume's layout in 512-byte disk sectors. A volume keeps a second boot region
// (its backup) in the twelve sectors after the first.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace quarrow {

namespace exfat_boot {
inline constexpr std::size_t kFileSystemName = 3;  // "EXFAT   "
inline constexpr std::size_t kMustBeZero = 11;     // 53 bytes, 11 to 63
inline constexpr std::size_t kMustBeZeroLength = 53;
inline constexpr std::size_t kPartitionOffset = 64;          // u64, in the volume's sectors
inline constexpr std::size_t kVolumeLength = 72;             // u64, in the volume's sectors
inline constexpr std::size_t kFatOffset = 80;                // u32
inline constexpr std::size_t kFatLength = 84;                // u32
inline constexpr std::size_t kClusterHeapOffset = 88;        // u32
inline constexpr std::size_t kClusterCount = 92;             // u32
inline constexpr std::size_t kRootCluster = 96;              // u32
inline constexpr std::size_t kSerialNumber = 100;            // u32
inline constexpr std::size_t kRevision = 104;                // u16
inline constexpr std::size_t kVolumeFlags = 106;             // u16
inline constexpr std::size_t kBytesPerSectorShift = 108;     // u8, 9 to 12
inline constexpr std::size_t kSectorsPerClusterShift = 109;  // u8, at most 25 - the sector shift
inline constexpr std::size_t kNumberOfFats = 110;            // u8, 1 or 2
// Sectors of one boot region: boot sector, eight extended boot sectors, OEM parameters, a
// reserved sector, then the checksum sector.
inline constexpr std::uint32_t kRegionSectors = 12;
inline constexpr std::uint32_t kChecksumSector = 11;
}  // namespace exfat_boot

struct ExfatBootSector {
  bool hasSignature = false;    // 0x55 0xAA at 510
  bool hasExfatId = false;      // "EXFAT   " at 3
  bool zeroBytesClear = false;  // bytes 11 to 63 all zero, where a FAT boot sector has its figures
  std::uint64_t partitionOffset = 0;
  std::uint64_t volumeLength = 0;
  std::uint32_t fatOffset = 0;
  std::uint32_t fatLength = 0;
  std::uint32_t clusterHeapOffset = 0;
  std::uint32_t clusterCount = 0;
  std::uint32_t rootCluster = 0;
  std::uint32_t serialNumber = 0;
  std::uint16_t revision = 0;
  std::uint16_t volumeFlags = 0;
  std::uint8_t bytesPerSectorShift = 0;
  std::uint8_t sectorsPerClusterShift = 0;
  std::uint8_t numberOfFats = 0;

  // The name, the signature and the zero bytes: what tells an exFAT boot sector from an NTFS or
  // FAT one sharing partition type 0x07.
  bool IsExfatBootSector() const { return hasSignature && hasExfatId && zeroBytesClear; }
  // The figures describe a volume that can be read: shifts in range, the FAT before the cluster
  // heap, the heap inside the volume, the root cluster one of the heap's.
  bool Plausible() const;
  std::uint32_t BytesPerSector() const { return 1u << (bytesPerSectorShift & 31); }
};

// Decodes every field whatever the sector holds; a short buffer reads as zeros where it ends.
ExfatBootSector DecodeExfatBootSector(ByteSpan sector);

// The checksum of a boot region's first eleven sectors (bytesPerSector each), skipping the volume
// flags and the percent-in-use byte of the boot sector, which change while the volume is in use.
std::uint32_t BootRegionChecksum(ByteSpan region, std::size_t bytesPerSector);

// A whole boot region (twelve sectors of bytesPerSector): sector 11 is filled with the checksum
// of sectors 0 to 10. False when the buffer is shorter than the region.
bool BootRegionChecksumHolds(ByteSpan region, std::size_t bytesPerSector);

// Bit 1 of the volume flags: the volume was not cleanly dismounted.
inline constexpr std::uint16_t kVolumeDirty = 0x0002;

// A volume's layout in 512-byte disk sectors, counted from the start of the disk.
struct ExfatLayout {
  std::uint64_t volumeStart = 0;
  std::uint64_t volumeSectors = 0;
  std::uint64_t fatSector = 0;
  std::uint64_t fatSectors = 0;
  std::uint64_t heapSector = 0;  // cluster 2
  std::uint32_t clusterCount = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t rootCluster = 0;
  std::uint16_t volumeFlags = 0;

  bool ValidCluster(std::uint32_t cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }
  std::uint64_t ClusterSector(std::uint32_t cluster) const {
    return heapSector + std::uint64_t{cluster - 2} * sectorsPerCluster;
  }
  std::uint64_t ClusterBytes() const { return std::uint64_t{sectorsPerCluster} * kSectorSize; }
};

// The layout a plausible boot sector gives for a volume beginning at volumeStart; none for a
// boot sector that is not plausible or whose sectors are smaller than the disk's.
std::optional<ExfatLayout> LayoutFromBootSector(const ExfatBootSector& boot, std::uint64_t volumeStart);

}  // namespace quarrow

namespace quarrow {

struct ScanContext;

// The boot region a volume is read by: the main one when its boot sector is plausible and its
// checksum holds, else the backup's when that holds, else whichever boot sector is plausible
// (main first): a checksum sector can be damaged alone.
struct ExfatBootRegion {
  ExfatBootSector boot;
  bool backup = false;         // the backup region (the volume's sectors 12 to 23) was used
  bool checksumHolds = false;  // sector 11 of the region used repeats its checksum
};

// Reads the main boot region at volumeStart and, when needed, the backup after it (twelve of the
// volume's sectors on, whatever their size).
std::optional<ExfatBootRegion> ReadExfatBootRegion(const ScanContext& ctx, std::uint64_t volumeStart);

}  // namespace quarrow
