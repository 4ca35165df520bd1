#pragma once
// The directory walk of an exFAT Standard search: from the root cluster, every directory is read
// (along its FAT chain, or as a contiguous run when NoFatChain is set) and every entry set in it,
// live or deleted, becomes a row: folders in EntryTable, files in PendingEntryTable. Folders are
// keyed by numbers the walk gives them (the root is 5, as an NTFS root record is), so that a
// deleted folder whose clusters another folder took still has a key of its own.
//
// A file row keeps the disk sector of its File entry ("Sector") and the entry's place in that
// sector ("Self"), which is where recovery reads its entry set again; its date cell holds the
// modification time in 100 ns ticks since 1601, UTC.

#include <cstdint>
#include <optional>
#include <string>

#include "exfat/boot_sector.h"
#include "exfat/entry_set.h"

namespace quarrow {

struct ScanContext;

inline constexpr std::uint32_t kExfatRootKey = 5;
// Folder keys begin here, as NTFS's first ordinary record does.
inline constexpr std::uint32_t kExfatFirstFolderKey = 16;
// A walk lists at most this many directories: a volume with more is damaged beyond listing.
inline constexpr std::size_t kMaxExfatDirectories = 1u << 20;

struct ExfatWalkSummary {
  bool rootRead = false;  // the root directory held at least one entry the walk knows
  std::optional<std::string> label;
  std::optional<ExfatDataEntry> bitmap;
  std::optional<ExfatDataEntry> upcase;
  std::uint64_t folders = 0;
  std::uint64_t files = 0;
};

// Walks the volume's folders from its root into the scan tables. The folders of a deleted folder
// are read too, from its first cluster; in a deleted folder only deleted sets are listed (live
// ones there belong to whatever took its clusters). Ends between directories when a stop is
// requested.
ExfatWalkSummary WalkExfatVolume(ScanContext& ctx, const ExfatLayout& layout);

// The root directory's entries as the walk reads them (the bitmap, up-case and label entries).
ExfatDirectoryContents ReadExfatRoot(const ScanContext& ctx, const ExfatLayout& layout);

}  // namespace quarrow
