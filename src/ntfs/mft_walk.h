#pragma once
// The MFT walk of an NTFS Standard search: the $MFT's own data runs become a list of sector
// extents, then every record of those extents (1024, 2048 or 4096 bytes, as the volume's records
// are) is read in order and numbered by its position. Folders become EntryTable rows, files PendingEntryTable
// rows, deleted ones included.

#include <cstdint>
#include <span>
#include <vector>

#include "core/bytes.h"
#include "ntfs/data_runs.h"

namespace quarrow {

struct ScanContext;

// The $MFT's data as sector extents, in VCN order, and how many records the walk reads from them.
struct MftExtentList {
  std::vector<SectorExtent> extents;
  // The $MFT's data size in records (from record 0's $DATA header), at most what the extents
  // hold; the extents' whole length when the header gives no size. Space an extent holds past
  // the data size is not part of the MFT: stale records there are not listed.
  std::uint64_t recordCount = 0;
  // The size of each record in bytes: 1024, 2048 or 4096.
  std::uint32_t recordBytes = 1024;
  std::uint32_t RecordSectors() const { return recordBytes / kSectorSize; }
  // Sectors of all extents, sparse ones included.
  std::uint64_t TotalSectors() const;
};

// An attribute list is never larger than this; a header claiming more is cut here.
inline constexpr std::uint64_t kMaxAttributeListBytes = 256 * 1024;

// Reads record 0 (the $MFT itself) at mftSector and decodes its unnamed $DATA runs into sector
// extents of the volume starting at partitionStart. Records are recordBytes long, as the boot
// sector says; a record 0 whose header says another size is refused (no extents). With
// recordBytes 0 record 0's header gives the size (1024 when it gives none). When record 0 has an
// $ATTRIBUTE_LIST naming the records that hold pieces of $DATA, the extents are rebuilt from those
// records in list order: the first is read at mftSector + its number x the record's sectors, every
// later one through the extents known so far. A record that cannot be found or does not read
// "FILE" ends the load with the extents found up to it. Every record is fixed up whole before its
// attributes are read.
MftExtentList LoadMftExtents(const ScanContext& ctx, std::uint64_t partitionStart, std::uint64_t mftSector,
                             std::uint32_t sectorsPerCluster, std::size_t recordBytes = 0);

// A record's $ATTRIBUTE_LIST value, resident or read through its runs on the volume starting at
// partitionStart (at most kMaxAttributeListBytes); empty when it has none.
std::vector<std::uint8_t> ReadAttributeListValue(const ScanContext& ctx, ByteSpan record,
                                                 std::uint64_t partitionStart,
                                                 std::uint32_t sectorsPerCluster);

// Reads sectors of the $MFT, counted from its first, through the extents into buffer (whole
// sectors): a record that lies across two extents is read from both. Sectors of sparse extents and
// beyond the extents read as zeros; false when any lay beyond them.
bool ReadMftSectors(const ScanContext& ctx, const MftExtentList& list, std::uint64_t first,
                    std::span<std::uint8_t> buffer);

// The first sector of MFT record `record` over the extents; 0 beyond them (or in a sparse one).
std::uint64_t RecordToSector(const MftExtentList& list, std::uint64_t record);

// Reads every record of the extents in order and lists those with a name (a record whose header
// says another size than the list's is not listed): folders (flags 3 or 2)
// into EntryTable after the catch-all row "QRW_Miscellaneous" (parent 5), files into
// PendingEntryTable, one row per name (AppendListedFileNames over the record and the records its list
// names: each hard link under its own folder, all with the file's record and size). Then the
// index records of every listed folder's "$I30" allocation are searched for file keys
// (CarveIndexKeys) whose name no row lists in that folder: each becomes a deleted file row with
// sector "0" (it has no record), the key's name, time and size, and the record number its entry
// named when that survived. A record's name and size may live in the records its $ATTRIBUTE_LIST names
// (at most 53, the record itself first); a list that does not fit its record is read through its
// runs on the volume of ActiveVolumeGeometry (Cluster0Sector, SectorsPerCluster). The walk reads
// no more records than the search range holds sectors for. Ends between records when a stop is
// requested.
void WalkMft(ScanContext& ctx, const MftExtentList& list);

}  // namespace quarrow
