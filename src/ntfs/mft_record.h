#pragma once
// MFT file records ("FILE"): the update-sequence fix-up, a bounded walk over a record's
// attributes, the $FILE_NAME, $DATA and "$I30" look-ups, and the decoding of a whole record into
// what an MftEntryTable row holds. Every function takes the record's bytes and nothing else, so
// each can be driven by a fuzz target directly. The attribute look-ups expect a record whose
// fix-up has been applied; DecodeFileRecord applies it itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

// The size of a file record where nothing says otherwise; volumes made with larger sectors write
// records as large as a sector, up to kMaxFileRecordSize.
inline constexpr std::size_t kFileRecordSize = 1024;
inline constexpr std::size_t kMaxFileRecordSize = 4096;

// 1024, 2048 or 4096 bytes: the record sizes the format uses.
constexpr bool IsFileRecordSize(std::uint64_t bytes) {
  return bytes == 1024 || bytes == 2048 || bytes == 4096;
}

namespace mft_record {
inline constexpr std::size_t kUpdateSequenceOffset = 4;  // u16
inline constexpr std::size_t kUpdateSequenceCount = 6;   // u16, the sequence number included
inline constexpr std::size_t kFirstAttribute = 20;       // u16
inline constexpr std::size_t kFlags = 22;                // only the low byte counts
inline constexpr std::size_t kAllocatedSize = 28;        // u32, the record's size in bytes
inline constexpr std::size_t kBaseRecord = 32;           // u64 reference, 0 on a base record
inline constexpr std::size_t kRecordNumber = 44;         // u32
}  // namespace mft_record

namespace attr_type {
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kIndexAllocation = 0xA0;
inline constexpr std::uint32_t kEnd = 0xFFFFFFFF;
}  // namespace attr_type

// $FILE_NAME namespaces.
inline constexpr std::uint8_t kPosixNamespace = 0;
inline constexpr std::uint8_t kWin32Namespace = 1;
inline constexpr std::uint8_t kDosNamespace = 2;
inline constexpr std::uint8_t kWin32AndDosNamespace = 3;

// Restores the last two bytes of every 512-byte sector of a multi-sector record from its update
// sequence array (offset at 4, count at 6; the count includes the sequence number itself, so a
// count of 3 covers two sectors). All count - 1 sectors are restored, the last one included, as
// far as the buffer reaches. An array that does not lie wholly inside the buffer changes nothing.
// Returns the number of sectors restored. The sector ends are not compared with the sequence
// number: a torn write still shows what the disk holds.
std::size_t ApplyFixup(std::span<std::uint8_t> record);

// One attribute header, each field read with the bounded readers (a field past the record reads
// 0). Offsets inside the attribute are relative to its start; `offset` is its place in the record.
struct AttributeHeader {
  std::size_t offset = 0;
  std::uint32_t type = 0;
  std::uint32_t length = 0;
  bool nonResident = false;  // the byte at 8 is 1
  std::uint8_t nameLength = 0;
  std::uint16_t nameOffset = 0;
  std::uint16_t flags = 0;  // 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
  // Resident form.
  std::uint32_t contentLength = 0;
  std::uint16_t contentOffset = 0;
  // Non-resident form.
  std::uint64_t lowestVcn = 0;
  std::uint64_t highestVcn = 0;
  std::uint16_t runListOffset = 0;
  std::uint8_t compressionUnit = 0;  // log2 of the clusters of a compression unit (0: not compressed)
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;
};

// Walks the attributes of a record from the offset at 20. Offsets are unsigned, so a negative
// one on disk points past the record instead of in front of it. An attribute is yielded when its
// type and length lie inside the record and its type is neither 0 nor 0xFFFFFFFF; the walk ends
// after an attribute whose length is 0 or whose end reaches the end of the record. Every step
// moves forward, so a record of n bytes yields at most n attributes.
class AttributeWalk {
 public:
  explicit AttributeWalk(ByteSpan record);
  std::optional<AttributeHeader> Next();

 private:
  ByteSpan record_;
  std::size_t position_;
  bool done_ = false;
};

// True when the attribute's own name (nameLength UTF-16 units at nameOffset) is exactly name and
// lies inside the record; an empty name matches an unnamed attribute.
bool AttributeNameIs(ByteSpan record, const AttributeHeader& attribute, std::u16string_view name);

// The first attribute of the type with the given name (empty: unnamed).
std::optional<AttributeHeader> FindAttribute(ByteSpan record, std::uint32_t type,
                                             std::u16string_view name = {});

// A resident attribute's content: contentLength bytes at contentOffset, cut at the end of the
// record. Empty for a non-resident attribute or a content offset past the record.
ByteSpan ResidentContent(ByteSpan record, const AttributeHeader& attribute);

// A non-resident attribute's run list: from its run-list offset to the end of the record (the
// list ends itself with a 0 header). Empty for a resident attribute or an offset past the record.
ByteSpan RunListBytes(ByteSpan record, const AttributeHeader& attribute);

// units UTF-16 code units at offset as UTF-8, cut at the first U+0000. Empty when the units do
// not all lie inside bytes.
std::string Utf16NameAt(ByteSpan bytes, std::size_t offset, std::size_t units);

struct FileName {
  std::string name;               // UTF-8
  std::uint32_t parent = 0;       // low half of the parent directory's reference
  std::int64_t creationTime = 0;  // FILETIME, 100-ns units since 1601
  std::uint8_t nameSpace = 0;
};

// The first unnamed $FILE_NAME attribute in the namespace. The walk gives up at a content offset
// that points past the record; a $FILE_NAME whose name does not fit inside the record is stepped
// over.
std::optional<FileName> FindFileName(ByteSpan record, std::uint8_t nameSpace);
// The name a record is listed under: Win32, else Win32 and DOS, else DOS, else POSIX. A POSIX
// name comes last but counts: a volume written by a POSIX system (ntfs-3g, for one) names every
// file in that namespace only, and dropping those names would lose every such file.
std::optional<FileName> FindFileName(ByteSpan record);

// Appends to names every name the record is listed under, in attribute order: each unnamed
// $FILE_NAME in the POSIX, Win32 or Win32-and-DOS namespace. A DOS name is left out: it is the
// short twin of a Win32 name of the same file. A file with hard links has one such name per link,
// each with its parent.
void AppendListedFileNames(ByteSpan record, std::vector<FileName>& names);

// The size of the first unnamed $DATA attribute: the real size when non-resident, the content
// length when resident. None when that attribute is a later piece of a stream split over several
// records (its lowest VCN is not 0): only the first piece holds the stream's sizes.
std::optional<std::uint64_t> FindDataSize(ByteSpan record);

// What listing a file takes from one of its records, read in one walk over its attributes: its
// names, as AppendListedFileNames appends them to names; its size, as FindDataSize gives it; and
// its attribute list, as FindAttribute(record, attr_type::kAttributeList) finds it.
struct ListedFileParts {
  std::optional<std::uint64_t> dataSize;
  std::optional<AttributeHeader> attributeList;
};
ListedFileParts ReadListedFileParts(ByteSpan record, std::vector<FileName>& names);

// The first cluster of a folder's "$I30" index allocation: the offset field of the first run,
// zero-extended from at most its first four bytes. 0 when there is no such attribute, the run
// list is empty or sparse, or the run does not lie inside the record.
std::uint32_t FindFirstRun(ByteSpan record);

// The number a system file is listed under by its exact name ("$MFT" 1, "$LogFile" 2, ...); 0
// for every other name.
std::uint32_t SystemFileNumber(std::string_view name);

// What a record found by a sector scan contributes to its MftEntryTable row. Numbers are kept at
// full width, and so is the row's size (a file can be 4 GiB and more).
struct FileRecord {
  std::string name;  // "name"; empty when the record has no $FILE_NAME in any namespace
  bool hasName = false;
  std::uint8_t nameSpace = 0;      // the namespace of name
  std::uint32_t parent = 0;        // "parentMFT"; 0 without a name
  std::int64_t creationTime = 0;   // "date"; 0 without a name
  std::uint32_t recordNumber = 0;  // the u32 at 44, whatever the type
  std::uint32_t selfMft = 0;       // "selfMFT": folders their record number, files SystemFileNumber
  std::uint64_t size = 0;          // "size": the unnamed $DATA size, 0 when there is none
  std::uint8_t flags = 0;          // low byte of the flags: 1 in use, 2 directory
  bool isFolder = false;           // "type": flags 3 or 2 are "FOLDER", all others "File"
  bool deleted = false;            // "Deleted": a folder with flags 2, a file with flags 0
  std::uint32_t firstRun = 0;      // "First Run": folders FindFirstRun, files 0
  std::uint64_t baseRecord = 0;    // the base-record reference at 32; 0 on a base record
  // The record's further names (AppendListedFileNames's, less the one above): the hard links of a file,
  // or, in an extension record, names of its base record's file.
  std::vector<FileName> otherNames;
};

// The size in bytes of the file record a sector begins, as its header gives it: "FILE", an
// allocated size (the u32 at 28) of 1024, 2048 or 4096, and an update sequence that covers each
// 512-byte stride of that size (a count of size / 512 + 1, the sequence number included). None
// for any other sector: a header whose size and update sequence disagree is no record's.
std::optional<std::size_t> FileRecordSize(ByteSpan sector);

// True for a sector that begins a file record a scan reads (FileRecordSize says a size).
bool IsFileRecordStart(ByteSpan sector);

// Decodes a file record as read from the disk, of the size its header gives (the fix-up is
// applied to a copy; a shorter buffer reads as zeros where it ends). Empty when the bytes do not
// begin a file record a scan reads (IsFileRecordStart).
std::optional<FileRecord> DecodeFileRecord(ByteSpan record);

// What a sector of a scanned range is. A sector ending in 0x55 0xAA is a boot sector or nothing,
// never a record; "FILE" counts only with a header that says its size (FileRecordSize).
enum class NtfsSectorKind { kOther, kBootSector, kFileRecord, kIndexRecord };
NtfsSectorKind ClassifyNtfsSector(ByteSpan sector);

}  // namespace quarrow
