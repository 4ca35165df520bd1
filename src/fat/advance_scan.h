#pragma once
// The sector scan of an Advance search on FAT: every sector of the search range is tested for a
// FAT16 or FAT32 boot sector and for the start of a sub-directory, and each find becomes a row of
// FileSystemTable or DirectoryTable. Nothing is tied together here; the file-system analysis
// decides afterwards which directory belongs to which file system.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "core/volume.h"

namespace quarrow {

struct ScanContext;

// Sectors read per request: 512 KiB, so the scan runs close to the disk's sequential speed.
inline constexpr std::uint32_t kAdvanceChunkSectors = 1024;

// What a FAT boot sector found at sector S says, as its FileSystemTable row. Values derived from
// S are computed without wrapping, so a volume beyond 2^32 sectors keeps its true numbers.
struct FatBootRow {
  std::uint64_t sector = 0;         // S
  std::uint32_t sectorsPerFat = 0;  // 16-bit at 22 (FAT16), 32-bit at 36 (FAT32)
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t rootSectors = 0;  // root entries / 16 (FAT16), 0 (FAT32)
  std::uint64_t rootStart = 0;    // S + reserved + 2 x SPF (FAT16), the root cluster (FAT32)
  std::uint32_t reservedSectors = 0;
  std::int64_t cluster0Start = 0;  // S + reserved + root sectors + 2 x SPF - 2 x SPC
  std::uint64_t firstFat = 0;      // S + reserved
  std::uint64_t secondFat = 0;     // S + reserved + SPF
  std::uint64_t totalSectors = 0;  // S + the total (16-bit at 19, else 32-bit at 32): the end
  FsType type = FsType::kNone;     // kFat16 or kFat32

  // The eleven cells in FileSystemTable's column order.
  std::array<std::string, 11> Cells() const;
};

// A sector beginning with "." and ".." entries, as its DirectoryTable row.
struct DirectoryRow {
  std::uint64_t sector = 0;
  std::uint32_t selfCluster = 0;    // "." entry, high and low words joined
  std::uint32_t parentCluster = 0;  // ".." entry, high and low words joined
  std::uint16_t date = 0;           // "." entry write date
  std::uint16_t time = 0;           // "." entry write time

  // The seven cells in DirectoryTable's column order: File System "0", First Run empty.
  std::array<std::string, 7> Cells() const;
};

// The boot-sector test: the signature 0x55 0xAA, then "32" at 85-86 (FAT32) or else "16" at
// 57-58 (FAT16). Only these bytes decide; NTFS and FAT12 boot sectors give nothing.
std::optional<FatBootRow> ClassifyBootSector(ByteSpan sector, std::uint64_t sectorNumber);
// The directory test: a DirectoryStartSector.
std::optional<DirectoryRow> ClassifyDirectorySector(ByteSpan sector, std::uint64_t sectorNumber);

// Reads the search range 1024 sectors per request and appends a FileSystemTable row for every
// FAT boot sector and a DirectoryTable row for every directory start (a sector can give both).
// The last chunk is tested whole, so finds up to 1023 sectors past the range are recorded. A
// chunk that cannot be read whole is tested as the reader leaves it: its readable sectors in
// place and the others zero-filled. A stop is honoured between chunks; rows found so far stay.
// Unless ctx.carve is off, every sector that starts a file recognised by its content (a photo, a
// document, an archive, a video or a song) is listed in ctx.results.carvedStarts as it is read.
void AdvanceScan(ScanContext& ctx);

}  // namespace quarrow
