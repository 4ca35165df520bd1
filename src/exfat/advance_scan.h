#pragma once
// The exFAT part of an Advance search: every sector of the search range is read once for what an
// exFAT volume leaves behind (boot sectors, main or backup; root directory sectors, which begin
// with the label, bitmap or up-case entry; directory sectors, which begin with an entry set whose
// checksum holds, with the first clusters of the folders those sets name). The volumes are then
// identified: by their boot sectors, else (a boot region wiped) by the cluster size and heap
// position under which most named folders' first clusters land on directory sectors.

#include <cstdint>
#include <optional>
#include <vector>

#include "exfat/boot_sector.h"

namespace quarrow {

struct ScanContext;

struct ExfatSectorFinds {
  struct Boot {
    std::uint64_t sector = 0;
    ExfatBootSector boot;
  };
  std::vector<Boot> bootSectors;
  std::vector<std::uint64_t> rootSectors;       // ascending
  std::vector<std::uint64_t> directorySectors;  // ascending
  std::vector<std::uint64_t> fatSectors;        // sectors beginning as a FAT does (F8 FF FF FF FF FF FF FF)
  std::vector<std::uint32_t>
      folderClusters;  // first clusters named by folder sets, at most kMaxFolderSamples
};

inline constexpr std::size_t kMaxFolderSamples = 64;

// Reads the search range in chunks; ends between chunks when a stop is requested. Unless ctx.carve
// is off, the sectors that start a file recognised by its content go to ctx.results.carvedStarts.
ExfatSectorFinds ScanExfatSectors(ScanContext& ctx);

// One volume the finds point to. cluster n lies at n x sectorsPerCluster + cluster0.
struct ExfatVolumeFind {
  std::uint64_t bootSector = 0;  // the boot sector it was found by; 0 when derived from folders
  std::uint64_t volumeStart = 0;
  std::uint64_t cluster0 = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t rootCluster = 0;
  // A derived volume's FAT: the last sector before the heap that begins as a FAT does, up to the
  // heap; 0 when none was found.
  std::uint64_t fatSector = 0;
  std::uint64_t fatSectors = 0;
  std::optional<ExfatLayout> layout;  // from its boot sector
};

// The volumes, those found by a boot sector first (a backup found with its main boot sector is
// the same volume), then at most one derived from the folders when no boot sector accounts for
// them. A derived volume needs a root sector that lies on a cluster boundary.
std::vector<ExfatVolumeFind> IdentifyExfatVolumes(const ExfatSectorFinds& finds, std::uint64_t searchEnd);

// The layout a walk reads a found volume by: its boot sector's, or for a derived volume the one
// the guess gives, with the FAT found before its heap (or none: directories and files are then
// read as runs) over the rest of the search range.
ExfatLayout LayoutOfFind(const ExfatVolumeFind& find, std::uint64_t searchEnd);

}  // namespace quarrow
