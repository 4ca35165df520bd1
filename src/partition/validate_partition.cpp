#include "partition/validate_partition.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "exfat/boot_sector.h"
#include "exfat/exfat_volume.h"
#include "fat/boot_sector.h"
#include "ntfs/boot_sector.h"
#include "ntfs/mft_record.h"

namespace quarrow {

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kFat32BackupOffset = 6;

Sector ReadOne(const ScanContext& context, std::uint64_t sector) {
  Sector bytes{};
  context.Read(sector, 1, bytes);
  return bytes;
}

bool Fits32(std::uint64_t value) {
  return value <= kMax32;
}

// The FAT figures of one boot sector, with the layout they give at a start sector. Worked out in
// 64 bits; a layout whose sectors do not fit the 32-bit geometry (or that would put cluster 0
// before sector 0) is not usable.
struct FatFigures {
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t fatSectors = 0;
  std::uint32_t rootSectors = 0;  // FAT16
  std::uint32_t rootCluster = 0;  // FAT32

  std::uint64_t FirstFat(std::uint64_t start) const { return start + reservedSectors; }
  std::uint64_t SecondFat(std::uint64_t start) const { return FirstFat(start) + fatSectors; }
};

// A zero cluster size would make every cluster the same sector, and a zero FAT length would
// test the first FAT as if it were the second.
bool Plausible(const FatFigures& f) {
  return f.sectorsPerCluster != 0 && f.fatSectors != 0;
}

bool FillFatGeometry(const FatFigures& f, std::uint64_t start, bool fat32, VolumeGeometry& out) {
  const std::uint64_t rootSectors = fat32 ? 0 : f.rootSectors;
  const std::uint64_t afterFats = start + f.reservedSectors + 2ull * f.fatSectors;
  const std::uint64_t dataStart = afterFats + rootSectors;
  const std::uint64_t twoClusters = 2ull * f.sectorsPerCluster;
  if (dataStart < twoClusters) return false;
  const std::uint64_t cluster0 = dataStart - twoClusters;
  if (!Fits32(afterFats) || !Fits32(cluster0) || !Fits32(f.SecondFat(start)) || !Fits32(dataStart))
    return false;
  VolumeGeometry g = out;
  g.FatSectors = f.fatSectors;
  g.SectorsPerCluster = f.sectorsPerCluster;
  g.RootDirSectors = static_cast<std::uint32_t>(rootSectors);
  g.ReservedSectors = f.reservedSectors;
  g.RootDirStart = fat32 ? f.rootCluster : static_cast<std::uint32_t>(afterFats);
  g.Cluster0Sector = static_cast<std::uint32_t>(cluster0);
  g.FirstFatSector = static_cast<std::uint32_t>(f.FirstFat(start));
  g.SecondFatSector = static_cast<std::uint32_t>(f.SecondFat(start));
  out = g;
  return true;
}

// F8 on fixed disks and most sticks, F0 on removable media; F9 to FF on old floppy formats.
bool IsMediaByte(std::uint8_t b) {
  return b == 0xF0 || b >= 0xF8;
}

// The FATs fit the boot sector: the second FAT begins with a media byte as formatting leaves it or,
// where that first entry is damaged (zeroed, say), the boot sector stands on its own figures: a
// sound parameter block whose FATs hold an entry for every cluster the volume counts, and whose
// two FATs agree in a first sector that holds something.
bool FatsFit(const ScanContext& context, const FatFigures& f, std::uint64_t start,
             const FatBootSector& boot) {
  const Sector second = ReadOne(context, f.SecondFat(start));
  if (IsMediaByte(second[0])) return true;
  if (!boot.Plausible() || boot.FatSectors() != f.fatSectors) return false;
  const FsType type = boot.TypeByClusterCount();
  if (type == FsType::kNone) return false;
  const std::uint64_t metadata = std::uint64_t{boot.reservedSectors} +
                                 std::uint64_t{boot.fatCount} * boot.FatSectors() + boot.RootDirSectors();
  const std::uint64_t entries = (boot.totalSectors - metadata) / boot.sectorsPerCluster + 2;
  const std::uint64_t bits = type == FsType::kFat12 ? 12 : (type == FsType::kFat16 ? 16 : 32);
  if (entries * bits > std::uint64_t{f.fatSectors} * kSectorSize * 8) return false;
  // Wiped FATs agree too, but say nothing of the volume.
  if (std::all_of(second.begin(), second.end(), [](std::uint8_t b) { return b == 0; })) return false;
  return ReadOne(context, f.FirstFat(start)) == second;
}

int ValidateFat16(ScanContext& context, std::uint64_t start) {
  const FatBootSector boot = DecodeFatBootSector(ReadOne(context, start));
  if (!boot.signature) return 0;
  FatFigures f;
  f.sectorsPerCluster = boot.sectorsPerCluster;
  f.reservedSectors = boot.reservedSectors;
  // Rounded up to whole sectors of the volume: a root of 65,535 entries takes 4,096 sectors of
  // 512 bytes, and the data area begins after the last of them.
  f.rootSectors = boot.RootDirSectors();
  f.fatSectors = boot.fatSectors16;
  // The volume is taken to have two FATs whatever its boot sector says.
  if (!Plausible(f) || !FatsFit(context, f, start, boot)) return 0;
  return FillFatGeometry(f, start, false, context.geometry) ? 1 : 0;
}

FatFigures Fat32Figures(const Sector& sector) {
  const FatBootSector boot = DecodeFatBootSector(sector);
  FatFigures f;
  f.sectorsPerCluster = boot.sectorsPerCluster;
  f.reservedSectors = boot.reservedSectors;
  f.fatSectors = boot.fatSectors32;
  f.rootCluster = boot.rootCluster;
  return f;
}

int ValidateFat32(ScanContext& context, std::uint64_t start) {
  Sector boot = ReadOne(context, start);
  // The backup lies six of the volume's sectors on: 48 of the reader's on a volume of 4096-byte
  // sectors, when the main boot sector still says its size.
  const std::uint32_t scale = DecodeFatBootSector(boot).sectorScale;
  const std::uint64_t backupSector = start + kFat32BackupOffset * (scale == 0 ? 1 : scale);
  if (!HasBootSignature(boot)) {
    boot = ReadOne(context, backupSector);
    if (!HasBootSignature(boot)) return 0;
  }
  FatFigures f = Fat32Figures(boot);
  context.geometry.RootDirStart = f.rootCluster;
  if (!Plausible(f) || !FatsFit(context, f, start, DecodeFatBootSector(boot))) {
    // The main boot sector may be damaged in its figures only: try the backup's.
    const Sector backup = ReadOne(context, backupSector);
    f = Fat32Figures(backup);
    context.geometry.RootDirStart = f.rootCluster;
    if (!Plausible(f) || !FatsFit(context, f, start, DecodeFatBootSector(backup))) return 0;
  }
  return FillFatGeometry(f, start, true, context.geometry) ? 1 : 0;
}

// One of the two NTFS boot sectors, the one at the start of the volume or its backup.
struct NtfsCopy {
  std::uint64_t sector = 0;
  Sector bytes{};
};

class NtfsCopies {
 public:
  NtfsCopies(const ScanContext& context, std::uint64_t start, std::optional<std::uint64_t> backup)
      : context_(context), start_(start), backup_(backup) {}

  bool ReadAt(std::uint64_t sector) {
    inUse_.sector = sector;
    inUse_.bytes = ReadOne(context_, sector);
    return HasBootSignature(inUse_.bytes);
  }
  // The copy in use becomes the other one; false when there is no other one.
  bool Switch() {
    if (!backup_) return false;
    ReadAt(inUse_.sector == start_ ? *backup_ : start_);
    return true;
  }
  const Sector& Bytes() const { return inUse_.bytes; }

 private:
  const ScanContext& context_;
  std::uint64_t start_;
  std::optional<std::uint64_t> backup_;
  NtfsCopy inUse_;
};

enum class MftCopy { kMft, kMirror };

// The sector of the MFT or its mirror by the copy in use (the low 32 bits of its cluster), when
// it begins with "FILE"; 0 otherwise.
std::uint64_t FindRecordSector(const ScanContext& context, const Sector& bytes, std::uint64_t start,
                               MftCopy which) {
  const NtfsBootSector boot = DecodeNtfsBootSector(bytes);
  const std::uint32_t sectorsPerCluster = boot.sectorsPerCluster;
  if (!IsValidClusterSectors(sectorsPerCluster)) return 0;
  const std::uint64_t cluster =
      (which == MftCopy::kMft ? boot.mftCluster : boot.mftMirrorCluster) & 0xFFFFFFFFu;
  const std::uint64_t sector = start + cluster * sectorsPerCluster;
  if (!Fits32(sector)) return 0;
  return BytesEqual(ReadOne(context, sector), 0, "FILE") ? sector : 0;
}

// The NTFS backup boot sector lies in the volume's last sector, whose place depends on the
// volume's sector size: the main boot sector says it; without one, the copy whose own sector
// size matches its distance from the end is taken, else the last 512-byte sector.
std::uint64_t FindNtfsBackupBootSector(const ScanContext& context, std::uint64_t start) {
  const NtfsBootSector main = DecodeNtfsBootSector(ReadOne(context, start));
  if (main.IsNtfsBootSector() && main.sectorScale != 0)
    return NtfsBackupBootSector(context.searchStart, context.searchEnd, main.sectorScale);
  for (std::uint32_t scale : {1u, 2u, 4u, 8u}) {
    const std::uint64_t sector = NtfsBackupBootSector(context.searchStart, context.searchEnd, scale);
    if (sector == 0) break;
    const NtfsBootSector backup = DecodeNtfsBootSector(ReadOne(context, sector));
    if (backup.IsNtfsBootSector() && backup.sectorScale == scale) return sector;
  }
  return NtfsBackupBootSector(context.searchStart, context.searchEnd, 1);
}

int ValidateNtfs(ScanContext& context, std::uint64_t start) {
  const std::uint64_t backupSector = FindNtfsBackupBootSector(context, start);
  NtfsCopies copies(context, start,
                    backupSector == 0 ? std::nullopt : std::optional<std::uint64_t>(backupSector));
  if (!copies.ReadAt(start)) {
    if (!copies.Switch() || !HasBootSignature(copies.Bytes())) return 0;
  }

  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t recordSectors = 0;
  bool switched = false;
  for (;;) {
    const NtfsBootSector boot = DecodeNtfsBootSector(copies.Bytes());
    sectorsPerCluster = boot.sectorsPerCluster;
    recordSectors = boot.recordSectors;
    // File records are 1024 bytes, or as large as the sector on volumes of 2048- and 4096-byte
    // sectors; any other size is a damaged field.
    const bool good =
        IsValidClusterSectors(sectorsPerCluster) && IsFileRecordSize(recordSectors * kSectorSize);
    if (good) break;
    if (switched || !copies.Switch()) return 0;
    switched = true;
  }
  const std::uint64_t indexSectors = DecodeNtfsBootSector(copies.Bytes()).indexRecordSectors;

  std::uint64_t mft = FindRecordSector(context, copies.Bytes(), start, MftCopy::kMft);
  if (mft == 0 && copies.Switch()) mft = FindRecordSector(context, copies.Bytes(), start, MftCopy::kMft);
  std::uint64_t mirror = FindRecordSector(context, copies.Bytes(), start, MftCopy::kMirror);
  if (mirror == 0 && copies.Switch())
    mirror = FindRecordSector(context, copies.Bytes(), start, MftCopy::kMirror);
  if (mft == 0 && mirror == 0) return 0;
  if (!Fits32(start)) return 0;

  VolumeGeometry& g = context.geometry;
  g.SectorsPerCluster = sectorsPerCluster;
  g.Cluster0Sector = static_cast<std::uint32_t>(start);
  g.MftSector = static_cast<std::uint32_t>(mft);
  g.MftMirrSector = static_cast<std::uint32_t>(mirror);
  g.MftRecordSectors = static_cast<std::uint32_t>(recordSectors);
  g.IndexBlockSectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(indexSectors, kMax32));
  return 1;
}

// An exFAT volume by its main boot region or its backup; its FAT must begin with the media entry
// (0xFFFFFFF8), as every exFAT FAT does.
int ValidateExfat(ScanContext& context, std::uint64_t start) {
  const std::optional<ExfatBootRegion> region = ReadExfatBootRegion(context, start);
  if (!region) return 0;
  const std::optional<ExfatLayout> layout = LayoutFromBootSector(region->boot, start);
  if (!layout) return 0;
  if (Le32(ReadOne(context, layout->fatSector), 0) != 0xFFFFFFF8u) return 0;
  return FillExfatGeometry(*layout, context.geometry) ? 1 : 0;
}

}  // namespace

std::uint64_t NtfsBackupBootSector(std::uint64_t searchStart, std::uint64_t searchEnd,
                                   std::uint32_t sectorScale) {
  if (searchEnd <= searchStart || sectorScale == 0) return 0;
  const std::uint64_t volumeSectors = (searchEnd - searchStart) / sectorScale;
  if (volumeSectors == 0) return 0;
  return searchStart + (volumeSectors - 1) * sectorScale;
}

int ValidatePartition(ScanContext& context) {
  context.Ui().SetText(control::kStatus, "Validating Partition ...");
  const std::uint64_t start = context.searchStart;
  switch (context.partitionType) {
    case FsType::kFat12:
    case FsType::kFat16:
      return ValidateFat16(context, start);
    case FsType::kFat32:
      return ValidateFat32(context, start);
    case FsType::kNtfs:
      return ValidateNtfs(context, start);
    case FsType::kExfat:
      return ValidateExfat(context, start);
    case FsType::kNone:
      break;
  }
  return 0;
}

}  // namespace quarrow
