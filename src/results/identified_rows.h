#pragma once
// The rows of FileSystemTable and IdentifiedFileSystemTable. The tables are text with eleven
// columns, as every scan table is, but each family keeps different facts in them: a FAT row the
// figures of its boot sector, an exFAT row its boot sector and layout, an NTFS row its volume's
// start and end. The columns are named here once per family, and ReadIdentifiedFileSystem is the
// one reader for what the choice page and the front ends show, so that no reader takes an NTFS
// row's volume start for a FAT boot sector.

#include <cstdint>
#include <string>

#include "results/scan_tables.h"

namespace quarrow {

// Every family keeps its type text ("FAT16", "FAT32", "exFAT", "NTFS") in the last column.
inline constexpr int kFileSystemTypeColumn = 10;

// A FAT boot sector's FileSystemTable row, copied whole when it is identified; a FAT volume derived
// from its folders has only kSpc, kCluster0 and the type, kSector "0".
namespace fat_fs_col {
inline constexpr int kSector = 0, kSpf = 1, kSpc = 2, kRootSectors = 3, kRootStart = 4, kReserved = 5,
                     kCluster0 = 6, kFirstFat = 7, kSecondFat = 8, kTotalSectors = 9,
                     kPartType = kFileSystemTypeColumn;
}

// An exFAT volume: kFoundByBoot is "1" when its boot sector (main or backup) found it.
namespace exfat_fs_col {
inline constexpr int kBootSector = 0, kFatSectors = 1, kSpc = 2, kFoundByBoot = 3, kRootCluster = 4,
                     kVolumeStart = 5, kCluster0 = 6, kFirstFat = 7, kTotalSectors = 9,
                     kPartType = kFileSystemTypeColumn;
}

// An NTFS boot sector's FileSystemTable row (NtfsFileSystemRow gives all its cells).
namespace ntfs_boot_col {
inline constexpr int kSector = 0, kSpc = 1, kTotal = 4;
}

// An identified NTFS volume: kSector and kStart are its first sector however it was found,
// kFoundByBoot "1" when a boot sector found it and "0" when it was derived from folders.
namespace ntfs_fs_col {
inline constexpr int kSector = 0, kEnd = 1, kSpc = 2, kFoundByBoot = 3, kStart = 6, kPartType = kFileSystemTypeColumn;
}

// One row of IdentifiedFileSystemTable, as the file-system choice shows it.
struct IdentifiedFileSystem {
  int number = 0;  // 1-based: "File System 1 - FAT32"
  std::string typeText;
  std::uint64_t sector = 0;    // its boot sector (FAT, exFAT) or first sector (NTFS)
  std::uint32_t spc = 0;       // sectors per cluster
  std::uint64_t cluster0 = 0;  // FAT, exFAT: the sector of cluster 0; NTFS: the volume's first sector
  bool fromBootSector = false;
};

// Row (0-based) of table read by the columns of its own family.
IdentifiedFileSystem ReadIdentifiedFileSystem(const TextTable& table, int row);

}  // namespace quarrow
