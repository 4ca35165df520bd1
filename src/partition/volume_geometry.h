#pragma once
// The selected volume's layout. All values are absolute sector numbers or counts on the disk
// (32-bit, as the scan log stores them); cluster n starts at n * SectorsPerCluster + Cluster0Sector.

#include <cstdint>
#include <string>

namespace quarrow {

// A FAT cluster is a power of two from 1 to 128 sectors; anything else is not a FAT volume.
inline bool IsValidSectorsPerCluster(std::uint32_t sectorsPerCluster) {
  switch (sectorsPerCluster) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 32:
    case 64:
    case 128:
      return true;
    default:
      return false;
  }
}

struct VolumeGeometry {
  std::uint32_t FatSectors = 0;  // sectors of one FAT copy
  std::uint32_t SectorsPerCluster = 0;
  std::uint32_t RootDirSectors = 0;  // FAT16 root directory sectors; 0 on FAT32
  std::uint32_t RootDirStart = 0;    // FAT16: first root sector; FAT32: root cluster
  std::uint32_t ReservedSectors = 0;
  std::uint32_t Cluster0Sector = 0;  // first data sector - 2 * SectorsPerCluster
  std::uint32_t FirstFatSector = 0;
  std::uint32_t SecondFatSector = 0;
  std::uint32_t MftSector = 0;
  std::uint32_t MftMirrSector = 0;
  std::uint32_t MftRecordSectors = 0;
  std::uint32_t IndexBlockSectors = 0;

  bool operator==(const VolumeGeometry&) const = default;
};

// The working copy that every reader uses once a scan has its geometry, with the type text
// ("FAT16", "FAT32" or "NTFS") that the chain follower and directory readers test.
struct ActiveVolumeGeometry : VolumeGeometry {
  std::string Type;

  void CopyFrom(const VolumeGeometry& geometry, std::string type) {
    static_cast<VolumeGeometry&>(*this) = geometry;
    Type = std::move(type);
  }
};

}  // namespace quarrow
