#include "ntfs/index_record.h"

#include <algorithm>

#include "ntfs/mft_record.h"

namespace quarrow {

namespace {

// Index entry layout: the named record's reference at 0, the entry length at 8, its flags at 12,
// then the $FILE_NAME key from 16 on.
constexpr std::size_t kEntryLength = 8;
constexpr std::size_t kEntryFlags = 12;
constexpr std::size_t kEntryHeaderSize = 16;
constexpr std::size_t kKeyParent = 16;
constexpr std::size_t kKeyCreationTime = 24;
constexpr std::size_t kKeyAttributesHigh = 74;  // upper half of the key's file attribute word
constexpr std::size_t kKeyNameLength = 80;
constexpr std::size_t kKeyNameSpace = 81;
constexpr std::size_t kKeyName = 82;
constexpr std::uint16_t kLastEntryFlag = 0x0002;
constexpr std::uint16_t kDirectoryBitHigh = 0x1000;
constexpr std::uint32_t kFirstOwner = 5;

bool Fits(ByteSpan bytes, std::uint64_t offset, std::uint64_t count) {
  return offset <= bytes.size() && bytes.size() - offset >= count;
}

// The record's first `size` bytes, fixed up.
std::vector<std::uint8_t> FixedCopy(ByteSpan wholeRecord, const IndexRecordHeader& header) {
  std::vector<std::uint8_t> bytes(header.size);
  std::copy_n(wholeRecord.begin(), std::min<std::size_t>(wholeRecord.size(), bytes.size()), bytes.begin());
  ApplyFixup(bytes);
  return bytes;
}

}  // namespace

std::optional<IndexRecordHeader> DecodeIndexRecordHeader(ByteSpan firstSector) {
  if (!BytesEqual(firstSector, 0, "INDX")) return std::nullopt;
  IndexRecordHeader header;
  header.size = std::uint64_t{Le32(firstSector, index_record::kAllocatedSize)} + index_record::kEntriesBase;
  if (header.size > kMaxIndexRecordSize) return std::nullopt;
  header.vcn = Le64(firstSector, index_record::kVcn);
  header.firstEntry =
      std::uint64_t{Le32(firstSector, index_record::kFirstEntry)} + index_record::kEntriesBase;
  return header;
}

std::optional<IndexRecordOwner> DecodeIndexRecord(ByteSpan wholeRecord) {
  const auto header = DecodeIndexRecordHeader(wholeRecord);
  if (!header) return std::nullopt;
  const std::vector<std::uint8_t> bytes = FixedCopy(wholeRecord, *header);
  if (!Fits(bytes, header->firstEntry + kKeyParent, 4)) return std::nullopt;
  const std::uint32_t owner = Le32(bytes, header->firstEntry + kKeyParent);
  if (owner < kFirstOwner || owner == 0xFFFFFFFF) return std::nullopt;
  return IndexRecordOwner{header->vcn, owner};
}

std::vector<IndexEntry> DecodeIndexEntries(ByteSpan wholeRecord) {
  std::vector<IndexEntry> entries;
  const auto header = DecodeIndexRecordHeader(wholeRecord);
  if (!header) return entries;
  const std::vector<std::uint8_t> bytes = FixedCopy(wholeRecord, *header);
  const ByteSpan record(bytes);
  std::uint64_t e = header->firstEntry;
  while (Fits(record, e, kKeyName)) {
    const std::uint16_t length = Le16(record, e + kEntryLength);
    if ((Le16(record, e + kEntryFlags) & kLastEntryFlag) != 0) break;
    const std::size_t units = Byte(record, e + kKeyNameLength);
    if (units == 0 || !Fits(record, e + kKeyName, 2 * units)) break;
    IndexEntry entry;
    entry.recordNumber = Le32(record, e);
    entry.parent = Le32(record, e + kKeyParent);
    entry.creationTime = static_cast<std::int64_t>(Le64(record, e + kKeyCreationTime));
    entry.isFolder = (Le16(record, e + kKeyAttributesHigh) & kDirectoryBitHigh) != 0;
    entry.nameSpace = Byte(record, e + kKeyNameSpace);
    entry.name = Utf16NameAt(record, e + kKeyName, units);
    entries.push_back(std::move(entry));
    if (length < kEntryHeaderSize || !Fits(record, e + length, 1)) break;
    e += length;
  }
  return entries;
}

}  // namespace quarrow
