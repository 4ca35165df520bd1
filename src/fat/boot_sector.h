#pragma once
// The FAT boot sector (BIOS parameter block): its fields by name and one decoder. Every reader of
// FAT boot sectors (partition validation, the partition walk, the Advance scan, the lost-partition
// search) takes its figures from here instead of bare offsets.

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "core/volume.h"

namespace quarrow {

namespace fat_boot {
inline constexpr std::size_t kJump = 0;                // 0xEB xx 0x90 or 0xE9 xx xx
inline constexpr std::size_t kBytesPerSector = 11;     // u16
inline constexpr std::size_t kSectorsPerCluster = 13;  // u8
inline constexpr std::size_t kReservedSectors = 14;    // u16
inline constexpr std::size_t kFatCount = 16;           // u8
inline constexpr std::size_t kRootEntries = 17;        // u16, 0 on FAT32
inline constexpr std::size_t kTotalSectors16 = 19;     // u16, 0 when the 32-bit field holds it
inline constexpr std::size_t kMedia = 21;              // u8
inline constexpr std::size_t kFatSectors16 = 22;       // u16, 0 on FAT32
inline constexpr std::size_t kTotalSectors32 = 32;     // u32
inline constexpr std::size_t kFatSectors32 = 36;       // u32, FAT32 only
inline constexpr std::size_t kRootCluster = 44;        // u32, FAT32 only
inline constexpr std::size_t kBackupBootSector = 50;   // u16, FAT32 only
inline constexpr std::size_t kFat16Label = 43;         // 11 bytes, FAT12 and FAT16
inline constexpr std::size_t kFat16TypeText = 54;      // "FAT12   " / "FAT16   "
inline constexpr std::size_t kFat32Label = 71;         // 11 bytes
inline constexpr std::size_t kFat32TypeText = 82;      // "FAT32   "
inline constexpr std::size_t kSignature = 510;         // 0x55 0xAA
}  // namespace fat_boot

// The sector counts of the decoded boot sector are in the reader's 512-byte sectors: a volume of
// 1024-, 2048- or 4096-byte sectors has them scaled by sectorScale here, once, so that every figure
// worked out from them (FAT positions, cluster 0, the volume's end) is in the disk's units. Any
// other sector size leaves sectorScale 0 and the figures as stored; such a volume is not plausible.
struct FatBootSector {
  bool signature = false;            // ends in 0x55 0xAA
  bool jump = false;                 // begins with a jump instruction, as every boot sector does
  std::uint16_t bytesPerSector = 0;  // as stored
  std::uint32_t sectorScale = 0;     // 512-byte sectors per volume sector: 1, 2, 4 or 8; 0 for another size
  std::uint8_t clusterSectorsByte = 0;  // sectors per cluster as stored, in the volume's sectors
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t reservedSectors = 0;
  std::uint8_t fatCount = 0;
  std::uint16_t rootEntries = 0;
  std::uint64_t totalSectors = 0;  // the 16-bit field, or the 32-bit one when that is 0
  std::uint8_t media = 0;
  std::uint32_t fatSectors16 = 0;
  std::uint32_t fatSectors32 = 0;
  std::uint32_t rootCluster = 0;
  std::uint16_t backupBootSector = 0;
  bool saysFat12 = false;  // "FAT12" at 54
  bool saysFat16 = false;  // "FAT16" at 54
  bool saysFat32 = false;  // "FAT32" at 82

  // Sectors of one FAT: the 16-bit field, or the FAT32 one when that is 0.
  std::uint32_t FatSectors() const { return fatSectors16 != 0 ? fatSectors16 : fatSectors32; }
  // Sectors of the fixed root directory (FAT12 and FAT16), rounded up to whole sectors of the
  // volume.
  std::uint32_t RootDirSectors() const {
    const std::uint32_t volumeSector = kSectorSize * (sectorScale == 0 ? 1 : sectorScale);
    return (std::uint32_t{rootEntries} * 32 + volumeSector - 1) / volumeSector *
           (sectorScale == 0 ? 1 : sectorScale);
  }
  // A BIOS parameter block that describes a FAT volume at all: sectors of 512 to 4096 bytes.
  bool Plausible() const;
  // The FAT type by the one rule that decides it, the number of data clusters: below 4085 FAT12,
  // below 65525 FAT16, FAT32 otherwise (the type texts at 54 and 82 are only labels). kNone when
  // the figures describe no volume.
  FsType TypeByClusterCount() const;
};

FatBootSector DecodeFatBootSector(ByteSpan sector);

// The type a volume listed or chosen as "FAT16" really has: kFat12 when its boot sector is sound
// and counts fewer than 4085 clusters (its FAT entries are then 12 bits wide); the listed type
// otherwise.
FsType RefineFatType(ByteSpan bootSector, FsType listed);

}  // namespace quarrow
