#pragma once
// The directory passes of a Standard search on FAT: the data-area scan for clusters that begin a
// sub-directory naming itself, the re-parenting of folders whose parent was not found, and the
// naming of top-level folders from the root directory with the building of the results tree.

#include <optional>
#include <string>
#include <vector>

#include "results/folder_tree.h"

namespace quarrow {

struct ScanContext;
class FatReader;

// Reads the data area from cluster 2 to the end of the search range (VolumeGeometry) and appends
// an EntryTable row for every cluster whose first sector is a DirectoryStartSector naming that
// cluster, after the catch-all row "QRW_Miscellaneous" at row 0. Ends early when a stop is
// requested; the rows found so far stay. Clusters of ReadsFirstSectorsOnly size are read one
// sector each (and a directory's whole cluster once found), smaller ones in 512-sector chunks.
void ScanDataArea(ScanContext& ctx);

// Whether the data-area pass reads only the first sector of each cluster rather than the whole
// area. bench/sparse_vs_whole.sh decides it: from memory, one read a cluster beats the whole area
// from 16 sectors on, but a cold block device (a loop device here) reads a sector every 16 or 32
// no faster than all of them, and only clusters of 64 sectors (32 KiB, an SD card's FAT32) or more
// are read faster one sector each from both.
constexpr bool ReadsFirstSectorsOnly(std::uint32_t sectorsPerCluster) {
  return sectorsPerCluster >= 64;
}

// The catch-all row "QRW_Miscellaneous" (self 268435455, parent 0) at row 0 of table.
void InsertMiscFolderRow(TextTable& table);

// Folders as their names place them. Walks the directories reachable by name from the root (the
// root, then every folder an entry names, breadth first, live entries before deleted ones) and,
// before the linking pass, gives every EntryTable row its place by name:
// - a row named by an entry gets that entry's folder as its parent and the entry's name and
//   deleted mark, whatever its ".." says;
// - a folder a live entry names whose first cluster no longer begins with "." and ".." (damaged
//   dot entries) gets a row of its own, and its directory is read on;
// - an entry that names a folder already placed (an ancestor: a loop; another entry's folder) is
//   passed over, so a loop cannot take a named sub-tree away from its path.
// Rows no entry reaches keep their ".." parents. A deleted entry whose folder's first cluster no
// longer holds its directory (reused by another file) is returned: such a folder is listed,
// deleted and empty, once the tree is built (AddDeletedFoldersWithoutDirectory).
std::vector<FolderRowValues> PlaceFoldersByName(ScanContext& ctx, FatReader& fat);

// Adds the folders PlaceFoldersByName returned under their parents' nodes (the root for 0), after
// the tree was built, so that no folder found by its ".." entry is taken into them.
void AddDeletedFoldersWithoutDirectory(ScanContext& ctx, const std::vector<FolderRowValues>& folders);

// The volume's label: its root directory's label entry, else the boot sector's label field
// ("NO NAME" is no label); nullopt when it has none.
std::optional<std::string> ReadVolumeLabel(ScanContext& ctx, FatReader& fat);

// Directory entries that name a folder the tree shows under another parent: the deleted entry a
// folder left where it was before a move, an old folder's entry whose cluster a new folder took,
// a live entry naming an ancestor or another folder (a cross-linked directory). Reads the directory
// of every listed folder and adds each such entry under the folder holding it as a folder of its
// own (kHollowFolderKey, deleted as the entry is) with nothing in it: the cluster's contents are
// listed once, where its folder is, and a folder that held its own ancestor would never end.
void AddFoldersNamedElsewhere(ScanContext& ctx, FatReader& fat);

enum class LinkForm { kFat, kNtfs };

// On EntryTable sorted ascending by self: gives every row whose parent is not among the selves
// the catch-all parent 268435455. The root value is 0 (FAT) or 5 (NTFS).
void LinkLostDirectories(ScanContext& ctx, LinkForm form);

// EntryTable's folders whose ".." names themselves, or whose ".." links close a loop, are given as
// parent the folder whose directory holds a live entry naming their cluster (the root included),
// read from the disk; a folder no such entry names keeps its link. Rows still hold raw clusters.
void MendLoopedFolderParents(ScanContext& ctx, FatReader& fat);

enum class StoreForm { kStandardSearch, kAdvanceSearch };

// On EntryTable sorted ascending by parent: names root-level folders from the root directory
// (ActiveVolumeGeometry, its chain through fat) and builds the results tree. The Standard search
// form empties EntryTable when done; the Advance search form leaves the remaining rows.
void StoreDirectoryInformation(ScanContext& ctx, FatReader& fat, StoreForm form);

}  // namespace quarrow
