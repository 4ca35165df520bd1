#pragma once
// The record scan of an NTFS Advance search: every sector of the search range is read in bulk and
// sorted out without trusting any file-system metadata. NTFS boot sectors become FileSystemTable
// rows, FILE records MftEntryTable rows (name, parent, size, type, date, deletion) and INDX records
// MftRecordTable rows (the folder that owns each one). The numbering pass (mft_numbering.h) turns
// the three tables into numbered records, folders and volumes.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "ntfs/mft_record.h"

namespace quarrow {

struct ScanContext;
class TextTable;

// MftEntryTable's columns: name, sector, parent, self, size, type, fsNumber, date, first run,
// deleted.
namespace mft_entry_col {
constexpr int kName = 0, kSector = 1, kParent = 2, kSelf = 3, kSize = 4, kType = 5, kDate = 7, kFirstRun = 8,
              kDeleted = 9;
}

// Sectors read per request.
inline constexpr std::uint32_t kMftScanChunkSectors = 1024;

// Scans [searchStart, searchEnd) of ctx. MftEntryTable and MftRecordTable are emptied first, so a
// second scan in the same run does not see the first one's rows; FileSystemTable gets the boot
// sectors after the rows already there. The scan keeps 32-bit sector numbers: a range that ends
// past sector 2^32 is clipped there, and only sectors inside the range are classified (a record
// that starts inside it is read whole). Ends between chunks when a stop is requested; the rows
// found so far stay. Reports on the status line, the two counters and the progress bar. Unless
// ctx.carve is off, the sectors that start a file recognised by its content go to
// ctx.results.carvedStarts.
void ScanMftRecords(ScanContext& ctx);

// The "type" of an MftEntryTable row. Besides one "FOLDER" or "File" row per record, the scan
// writes rows for the names a file has besides its first, so that each name is listed:
// - kMftExtensionType: a record that holds attributes of another (its base-record reference is
//   not 0). It keeps its place for the numbering, which counts records in disk order, and is never
//   listed.
// - kMftNameType: a further name of a file. Written after its record's row; selfMFT "0" (the
//   numbering gives it the number of the row above) for a name held in the base record itself, the
//   base record's number for one held in an extension record.
// - kMftIndexNameType: a name found only as a key in a folder's index record (sector "0": there is
//   no record for it); parentMFT is the folder that owns the index record, selfMFT the record the
//   entry named when its header survived, else "0". Listed deleted, unless a record lists the name
//   in that folder.
inline constexpr std::string_view kMftFolderType = "FOLDER";
inline constexpr std::string_view kMftFileType = "File";
inline constexpr std::string_view kMftExtensionType = "Extension";
inline constexpr std::string_view kMftNameType = "Name";
inline constexpr std::string_view kMftIndexNameType = "Index name";

class ListedSoFar;

// Appends the MftEntryTable rows of the FILE record at sector from row rowCounter on (its own row,
// then one kMftNameType row per further name), advances the counter past them and counts the
// record in recordCounter (which ScanMftRecords shows once a chunk). The record is as large as its header
// says (1024 bytes when it says no size a record has); it is taken from `loaded` when that holds all of it,
// otherwise read. The file's names go into listed.
void ReadFileRecord(ScanContext& ctx, ListedSoFar& listed, int& rowCounter, int& recordCounter,
                    std::uint64_t sector, ByteSpan loaded = {});

// Appends the MftRecordTable row of the INDX record at sector, at row rowCounter, when the record
// is one (at most 65536 bytes, its first entry inside it, an owner of 5 or above): increments the
// counter then, and appends a kMftIndexNameType MftEntryTable row at entryRowCounter for each
// file key CarveIndexKeys finds in it whose name no row in listed lists in its folder yet (a row
// that would be passed over when the files are listed), adding it there. `loaded` holds at least
// the record's first sector, all of it when it lies inside.
void ReadIndexRecord(ScanContext& ctx, ListedSoFar& listed, int& rowCounter, int& entryRowCounter,
                     std::uint64_t sector, ByteSpan loaded);

// Places at index the MftEntryTable row of a decoded record found at sector; returns its index.
int InsertMftEntryRow(TextTable& table, int index, const FileRecord& record, std::uint64_t sector);

}  // namespace quarrow
