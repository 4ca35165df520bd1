#pragma once
// Which directories of an Advance search belong to which FAT file system, worked out from
// arithmetic alone: a directory belongs to a file system when its sector is exactly where that
// file system puts its cluster. Then, for the file system the user chose, the second stage's
// folder rows, the search for its FATs and the working geometry.
//
// The FAT branch of an Advance search (session/advance_search_fat.cpp) runs, in order:
//   AdvanceScan(ctx);                              // fat/advance_scan.h: the reading stage
//   int identified = AnalyzeFileSystems(ctx);      // 0: nothing to offer the user
//   IdentifiedFileSystemDetails(ctx, 0);           // DetailsList while the choice is shown
//   ... the user chooses file system x (0-based) ...
//   InsertAdvanceMiscFolderRow(ctx);               // Next on the choice page
//   PrepareFatSecondStage(ctx, x);                 // folder rows, LocateFats, the geometry
// and then, as a Standard search ends: EntryTable sorted by self, LinkLostDirectories (FAT form),
// sorted by parent, StoreDirectoryInformation (Advance search form) and SetResultsRoot.

#include <cstdint>
#include <vector>

#include "partition/partition_details.h"

namespace quarrow {

struct ScanContext;

// Values of DirectoryTable's "File System" column besides a file-system number.
inline constexpr int kUnassignedDirectory = 0;
inline constexpr int kDirectoryWithoutPartner = -1;

// Phase 1: every FileSystemTable row, in order, takes the still unassigned directories at
// sector self x SPC + Cluster0Start up to its TotalSectors; a boot sector that owns one is
// copied whole to IdentifiedFileSystemTable. A FAT32 boot sector that owns none and whose
// sector on the disk says it is a backup (6 in its backup field) is also read as the boot sector
// 6 sectors earlier, the one it copies; the directories that fit that reading make the row of
// that earlier sector the identified one, so a volume whose boot sector is gone is still
// identified from its backup, once. Phase 2: the remaining directories are paired, each
// with the first later one that fits (the pair gives a cluster size of 1 to 128 sectors and a
// Cluster0Start above 0), and every directory on the derived layout joins them; a directory
// without a partner gets "-1". A derived file system is "FAT32" when one of its directories
// reaches past cluster 65536, else the partition type's text. Writes DirectoryTable's "File
// System" column and returns the number of identified file systems.
int AnalyzeFileSystems(ScanContext& ctx);

// The catch-all folder row the wizard puts at row 0 of EntryTable before the second stage of an
// Advance search (parent "0"); the chosen file system's folders are inserted in front of it.
void InsertAdvanceMiscFolderRow(ScanContext& ctx);

// Inserts an EntryTable row "DIR" + r at row r for every directory of file system
// chosenIndex + 1, in DirectoryTable order. Returns the number of rows inserted.
int InsertChosenFolderRows(ScanContext& ctx, int chosenIndex);

struct FatLocation {
  std::uint64_t firstFat = 0;   // 0: not found
  std::uint64_t secondFat = 0;  // 0: not found
  std::uint64_t readFrom = 0;   // the copy chains are read from; 0: none (the FAT is gone)
  std::uint64_t sectorsRead = 0;
};

// Looks for the FATs of the chosen file system when its row has no firstFAT: single sectors from
// Cluster0Start - 550 (FAT16) or - 30000 (FAT32), or from 63 when that is not above 0, up to
// Cluster0Start, with progress on the second-stage bar. A sector beginning F8 FF FF is taken for
// a FAT only where it fits the row's layout: the FATs end where the data area (FAT16: its 32-sector
// root, unless the row gives another) begins, two copies of SPF sectors each, and SPF holds
// an entry for the highest folder cluster of the file system and not many more entries than
// the clusters up to the end of the range or the disk. Both copies fitting, the first is read
// unless the second has more of the file system's folders in use (a later format wrote its
// FAT over the first); one copy fitting, it is read alone. Fills SPF, Root Start, secondFAT when
// a second copy was found, and firstFAT with the copy chains are read from (the second copy,
// where the first is gone or is a later format's). Nothing fits: the FAT is gone, and the row
// stays as it was. Does nothing for a row that already names its first FAT.
FatLocation LocateFats(ScanContext& ctx, int chosenIndex);

// ActiveVolumeGeometry and its type from the chosen row (empty cells read as 0): a FAT16 root of
// 0 sectors becomes 32, and a FAT32 root cluster of 0 becomes 2. False, and nothing changed, when
// the row does not exist or is not a FAT file system.
bool SetActiveGeometryFromIdentified(ScanContext& ctx, int chosenIndex);

// The second-stage FAT setup in order: the folder rows, the type and Cluster0Start, LocateFats,
// the working geometry. EntryTable should already hold the catch-all row. False when the chosen
// row is missing or not FAT; then nothing is inserted.
bool PrepareFatSecondStage(ScanContext& ctx, int chosenIndex);

// The four DetailsList rows of an identified file system (the first one after the analysis).
// After a stop the first row's name carries four more spaces, as the salvage path shows it.
std::vector<PartitionDetailsRow> IdentifiedFileSystemDetails(const ScanContext& ctx, int index,
                                                             bool afterStop = false);

}  // namespace quarrow
