#pragma once
// Directory index records ("INDX"): the header that gives the record's size, the folder that owns
// a record (the parent named by its first entry), and the entries themselves.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

namespace index_record {
inline constexpr std::size_t kVcn = 16;            // u64
inline constexpr std::size_t kEntriesBase = 24;    // entry offsets count from here
inline constexpr std::size_t kFirstEntry = 24;     // u32, counted from kEntriesBase
inline constexpr std::size_t kAllocatedSize = 32;  // u32, the record is this + 24 bytes
}  // namespace index_record

// The largest index record read; a header claiming more is not one.
inline constexpr std::uint64_t kMaxIndexRecordSize = 65536;

struct IndexRecordHeader {
  std::uint64_t vcn = 0;
  std::uint64_t firstEntry = 0;  // offset of the first entry in the record
  std::uint64_t size = 0;        // allocated size + 24, at most kMaxIndexRecordSize
  // Sectors to read for the whole record, the last partial one included.
  std::uint64_t SectorCount() const { return (size + kSectorSize - 1) / kSectorSize; }
};

// From the record's first sector: empty unless it begins with "INDX" and the size is at most
// 65536 bytes (worked out in 64 bits, so a huge allocated size cannot wrap to a small one).
std::optional<IndexRecordHeader> DecodeIndexRecordHeader(ByteSpan firstSector);

// The row a scan writes for an index record: its VCN and the folder that owns it.
struct IndexRecordOwner {
  std::uint64_t vcn = 0;
  std::uint32_t owner = 0;  // low half of the parent reference in the first entry's $FILE_NAME key
};

// Decodes a whole index record as read from the disk (the fix-up is applied to a copy of its
// first `size` bytes; bytes missing at the end read as zeros). Empty when the header is refused,
// the first entry's parent field lies outside the record, or the owner is below 5 or
// 0xFFFFFFFF. The root folder (5) owns records like any other.
std::optional<IndexRecordOwner> DecodeIndexRecord(ByteSpan wholeRecord);

// One entry of a folder index: the file or folder it names and its $FILE_NAME key.
struct IndexEntry {
  std::uint32_t recordNumber = 0;  // low half of the named record's reference
  std::uint32_t parent = 0;        // low half of the parent reference
  std::int64_t creationTime = 0;
  bool isFolder = false;  // the directory bit of the key's file attributes
  std::uint8_t nameSpace = 0;
  std::string name;  // UTF-8
};

// The entries of a whole index record in order, fix-up applied to a copy. The walk stops at the
// entry that marks the end of the list, at an entry without a name, at an entry or name that
// runs past the record, and at an entry length below the 16-byte entry header.
std::vector<IndexEntry> DecodeIndexEntries(ByteSpan wholeRecord);

// A $FILE_NAME key found anywhere in the entry area of an index record, the unused tail and the
// entries of a record the folder no longer uses included: the name of a file deleted from the
// folder (or an old copy of a live entry, which the caller weeds out against the names it lists).
struct IndexKeyName {
  // Low 48 bits of the named record's reference, taken from the entry header in front of the key
  // when that header still agrees with the key; 0 when it was overwritten (the key alone survives
  // where a later entry or the end marker took the header's place).
  std::uint64_t recordNumber = 0;
  std::uint32_t parent = 0;  // always the owner the keys were checked against
  std::int64_t creationTime = 0;
  std::int64_t modificationTime = 0;
  std::uint64_t size = 0;  // the key's real size
  bool isFolder = false;
  std::uint8_t nameSpace = 0;
  std::string name;  // UTF-8
};

// Earliest and latest time stamps a carved key may carry (FILETIME): 1980-01-01 and 2100-01-01.
inline constexpr std::int64_t kEarliestKeyTime = 119600064000000000;
inline constexpr std::int64_t kLatestKeyTime = 157469184000000000;

// The well-formed $FILE_NAME keys of the folder `owner` in a whole index record (fix-up applied to
// a copy), in record order, at every 8-byte step of the entry area. A key counts only when all of
// it is believable: its name (1 to 255 units) lies inside the record and is valid UTF-16 without
// control characters, '/' or, in a Win32 name, the characters Win32 forbids; its namespace is
// POSIX, Win32 or Win32-and-DOS (a DOS key only repeats a Win32 one and is left out); its parent
// reference is owner with a nonzero sequence number; its four times lie between kEarliestKeyTime
// and kLatestKeyTime; its sizes are below 2^44 and the real one not above the allocated one; its
// attribute word has no bit NTFS does not define. Empty for a record the header refuses.
std::vector<IndexKeyName> CarveIndexKeys(ByteSpan wholeRecord, std::uint32_t owner);

}  // namespace quarrow
