#include "fat/boot_sector.h"

#include "core/sector_size.h"

namespace quarrow {

namespace {

// Scaled counts saturate: a 32-bit count of 4096-byte sectors can exceed 32 bits in 512-byte ones,
// and such a figure must fail every fit test rather than wrap to a small one.
std::uint32_t Scaled32(std::uint64_t value, std::uint32_t scale) {
  const std::uint64_t scaled = value * (scale == 0 ? 1 : scale);
  return scaled > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(scaled);
}

}  // namespace

FatBootSector DecodeFatBootSector(ByteSpan sector) {
  using namespace fat_boot;
  FatBootSector b;
  b.signature = HasBootSignature(sector);
  const std::uint8_t jump = Byte(sector, kJump);
  b.jump = (jump == 0xEB && Byte(sector, kJump + 2) == 0x90) || jump == 0xE9;
  b.bytesPerSector = Le16(sector, kBytesPerSector);
  b.sectorScale = SectorScale(b.bytesPerSector);
  const std::uint32_t scale = b.sectorScale == 0 ? 1 : b.sectorScale;
  b.clusterSectorsByte = Byte(sector, kSectorsPerCluster);
  b.sectorsPerCluster = std::uint32_t{b.clusterSectorsByte} * scale;
  b.reservedSectors = std::uint32_t{Le16(sector, kReservedSectors)} * scale;
  b.fatCount = Byte(sector, kFatCount);
  b.rootEntries = Le16(sector, kRootEntries);
  const std::uint16_t total16 = Le16(sector, kTotalSectors16);
  b.totalSectors = std::uint64_t{total16 != 0 ? total16 : Le32(sector, kTotalSectors32)} * scale;
  b.media = Byte(sector, kMedia);
  b.fatSectors16 = std::uint32_t{Le16(sector, kFatSectors16)} * scale;
  b.fatSectors32 = Scaled32(Le32(sector, kFatSectors32), scale);
  b.rootCluster = Le32(sector, kRootCluster);
  b.backupBootSector = Le16(sector, kBackupBootSector);
  b.saysFat12 = BytesEqual(sector, kFat16TypeText, "FAT12");
  b.saysFat16 = BytesEqual(sector, kFat16TypeText, "FAT16");
  b.saysFat32 = BytesEqual(sector, kFat32TypeText, "FAT32");
  return b;
}

FsType RefineFatType(ByteSpan bootSector, FsType listed) {
  if (listed != FsType::kFat16) return listed;
  const FatBootSector boot = DecodeFatBootSector(bootSector);
  return boot.Plausible() && boot.TypeByClusterCount() == FsType::kFat12 ? FsType::kFat12 : listed;
}

bool FatBootSector::Plausible() const {
  return signature && jump && sectorScale != 0 && IsValidSectorsPerCluster(clusterSectorsByte) &&
         reservedSectors != 0 && (fatCount == 1 || fatCount == 2) && FatSectors() != 0 && totalSectors != 0 &&
         (media == 0xF0 || media >= 0xF8);
}

FsType FatBootSector::TypeByClusterCount() const {
  if (sectorsPerCluster == 0) return FsType::kNone;
  const std::uint64_t metadata =
      std::uint64_t{reservedSectors} + std::uint64_t{fatCount} * FatSectors() + RootDirSectors();
  if (totalSectors <= metadata) return FsType::kNone;
  const std::uint64_t clusters = (totalSectors - metadata) / sectorsPerCluster;
  if (clusters < 4085) return FsType::kFat12;
  if (clusters < 65525) return FsType::kFat16;
  return FsType::kFat32;
}

}  // namespace quarrow
