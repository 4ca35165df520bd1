#pragma once
// The types every floor above the disk shares about the volume being scanned: its file-system
// type, the search mode, and the two geometry records. They live below the engines so that the
// partition walk, the FAT and NTFS engines, the scan state and the scan log all use the same ones.

#include <cstdint>
#include <optional>
#include <string_view>

namespace quarrow {

// A volume's file system inside the code. FAT12 is a type of its own because its FAT entries
// are 12 bits wide, but everything the user sees calls it "FAT16".
enum class FsType : std::uint8_t { kNone, kFat12, kFat16, kFat32, kNtfs, kExfat };

// The text shown and stored for a type: "FAT16" (FAT12 too), "FAT32", "NTFS", "exFAT"; "" for kNone.
constexpr std::string_view FsTypeText(FsType type) {
  switch (type) {
    case FsType::kFat12:
    case FsType::kFat16:
      return "FAT16";
    case FsType::kFat32:
      return "FAT32";
    case FsType::kNtfs:
      return "NTFS";
    case FsType::kExfat:
      return "exFAT";
    case FsType::kNone:
      break;
  }
  return "";
}

// The type a shown or stored text names: "FAT16", "FAT32", "NTFS" or "exFAT"; nullopt for anything else.
// "FAT16" gives kFat16: whether such a volume is really FAT12 is decided from its boot sector.
constexpr std::optional<FsType> FsTypeFromText(std::string_view text) {
  if (text == "FAT16") return FsType::kFat16;
  if (text == "FAT32") return FsType::kFat32;
  if (text == "NTFS") return FsType::kNtfs;
  if (text == "exFAT") return FsType::kExfat;
  return std::nullopt;
}

constexpr bool IsFat(FsType type) {
  return type == FsType::kFat12 || type == FsType::kFat16 || type == FsType::kFat32;
}

// NTFS and exFAT searches list every folder and file into the scan tables as they read them, and
// key folders by a number of their own (the root is 5), where FAT reads a folder's files when it
// is shown.
constexpr bool KeepsFilesInTables(FsType type) {
  return type == FsType::kNtfs || type == FsType::kExfat;
}

enum class SearchMode : std::int16_t { kNone = -1, kStandard = 1, kAdvance = 2 };

// A cluster is a power of two of sectors, 1 to 128 of the volume's own: the boot sector's byte,
// and the sizes a search works out from the positions of directories.
constexpr bool IsValidSectorsPerCluster(std::uint32_t sectorsPerCluster) {
  return sectorsPerCluster != 0 && sectorsPerCluster <= 128 &&
         (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
}

// The largest cluster in 512-byte sectors: 128 sectors of 4096 bytes, 512 KiB.
inline constexpr std::uint32_t kMaxClusterSectors = 1024;

// A geometry's cluster size in 512-byte sectors: a power of two up to 1024, as a volume of
// 4096-byte sectors with clusters of 128 of them has.
constexpr bool IsValidClusterSectors(std::uint32_t sectorsPerCluster) {
  return sectorsPerCluster != 0 && sectorsPerCluster <= kMaxClusterSectors &&
         (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
}

// The selected volume's layout. All values are absolute sector numbers or counts on the disk
// (32-bit, as the scan log stores them); cluster n starts at n * SectorsPerCluster + Cluster0Sector.
// They count the reader's 512-byte sectors whatever the volume's own sector size: its boot-sector
// decoder scales them once, so that no reader of the geometry needs to know the volume's size.
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

// The working copy that every reader uses once a scan has its geometry, with the type that the
// chain follower and the directory readers test.
struct ActiveVolumeGeometry : VolumeGeometry {
  FsType type = FsType::kNone;

  void CopyFrom(const VolumeGeometry& geometry, FsType fsType) {
    static_cast<VolumeGeometry&>(*this) = geometry;
    type = fsType;
  }
};

}  // namespace quarrow
