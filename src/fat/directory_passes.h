#pragma once
// The directory passes of a Standard search on FAT: the data-area scan for clusters that begin a
// sub-directory naming itself, the re-parenting of folders whose parent was not found, and the
// naming of top-level folders from the root directory with the building of the results tree.

namespace quarrow {

struct ScanContext;
class FatReader;

// Reads the data area from cluster 2 to the end of the search range (VolumeGeometry) and appends
// an EntryTable row for every cluster whose first sector is a DirectoryStartSector naming that
// cluster, after the catch-all row "QRW_Miscellaneous" at row 0. Ends early when a stop is
// requested; the rows found so far stay.
void ScanDataArea(ScanContext& ctx);

enum class LinkForm { kFat, kNtfs };

// On EntryTable sorted ascending by self: gives every row whose parent is not among the selves
// the catch-all parent 268435455. The root value is 0 (FAT) or 5 (NTFS).
void LinkLostDirectories(ScanContext& ctx, LinkForm form);

enum class StoreForm { kStandardSearch, kAdvanceSearch };

// On EntryTable sorted ascending by parent: names root-level folders from the root directory
// (ActiveVolumeGeometry, its chain through fat) and builds the results tree. The Standard search
// form empties EntryTable when done; the Advance search form leaves the remaining rows.
void StoreDirectoryInformation(ScanContext& ctx, FatReader& fat, StoreForm form);

}  // namespace quarrow
