#include "ntfs/index_record.h"

#include <algorithm>
#include <array>
#include <string_view>

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
  // The record's bytes, and zeros only for what the given bytes do not hold.
  std::vector<std::uint8_t> bytes(
      wholeRecord.begin(), wholeRecord.begin() + static_cast<std::ptrdiff_t>(
                                                     std::min<std::size_t>(wholeRecord.size(), header.size)));
  bytes.resize(header.size);
  ApplyFixup(bytes);
  return bytes;
}

// $FILE_NAME key layout, from the key's start.
constexpr std::size_t kKeyParentRef = 0;    // u64: record number (48 bits), sequence (16 bits)
constexpr std::size_t kKeyTimes = 8;        // four u64 FILETIMEs
constexpr std::size_t kKeyAllocated = 40;   // u64
constexpr std::size_t kKeyRealSize = 48;    // u64
constexpr std::size_t kKeyAttributes = 56;  // u32
constexpr std::size_t kKeyLength = 64;      // u8, name length in UTF-16 units
constexpr std::size_t kKeySpace = 65;       // u8
constexpr std::size_t kKeyChars = 66;
constexpr std::size_t kKeyLengthField = 10;  // u16 in the entry header: the key's length
constexpr std::uint64_t kLargestKeySize = std::uint64_t{1} << 44;
// The file attribute bits NTFS defines: 0x0001 to 0x4000, directory and index view.
constexpr std::uint32_t kKnownAttributes = 0x00007FFF | 0x10000000 | 0x20000000;
constexpr std::uint32_t kDirectoryAttribute = 0x10000000;

std::uint64_t Align8(std::uint64_t n) {
  return (n + 7) & ~std::uint64_t{7};
}

// A name of units UTF-16 units at offset, as UTF-8; none when a unit is a control character,
// '/', an unpaired surrogate or a non-character, or (Win32 names) one of the characters Win32
// forbids in names.
// The ASCII units no name holds, as bits of two words (units 0-63, 64-127): control characters,
// '/' and DEL, and in a Win32 name also \ : * ? " < > |.
constexpr std::array<std::uint64_t, 2> AsciiRefused(std::u16string_view more) {
  std::array<std::uint64_t, 2> bits{0xFFFFFFFFull | (1ull << '/'), 1ull << (0x7F - 64)};
  for (const char16_t c : more) bits[c / 64] |= 1ull << (c % 64);
  return bits;
}
constexpr std::array<std::uint64_t, 2> kRefusedInAnyName = AsciiRefused(u"");
constexpr std::array<std::uint64_t, 2> kRefusedInWin32Name = AsciiRefused(u"\\:*?\"<>|");

std::optional<std::string> CheckedKeyName(ByteSpan bytes, std::size_t offset, std::size_t units, bool win32) {
  if (!Fits(bytes, offset, 2 * units)) return std::nullopt;
  // Every unit lies inside bytes, checked once above.
  const auto unitAt = [at = bytes.data() + offset](std::size_t i) {
    return LittleEndianAt<std::uint16_t>(at + 2 * i);
  };
  const std::array<std::uint64_t, 2>& refused = win32 ? kRefusedInWin32Name : kRefusedInAnyName;
  for (std::size_t i = 0; i < units; ++i) {
    const std::uint16_t c = unitAt(i);
    if (c < 0x80) {
      if ((refused[c / 64] >> (c % 64)) & 1) return std::nullopt;
      continue;
    }
    if (c == 0xFFFE || c == 0xFFFF) return std::nullopt;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == units || unitAt(i + 1) < 0xDC00 || unitAt(i + 1) > 0xDFFF) return std::nullopt;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
  }
  return Utf16NameAt(bytes, offset, units);
}

// The key at offset k of the fixed-up record when it is a believable key of owner's.
std::optional<IndexKeyName> KeyAt(ByteSpan record, std::size_t k, std::size_t entryArea,
                                  std::uint32_t owner) {
  if (!Fits(record, k, kKeyChars)) return std::nullopt;
  const std::uint64_t parentRef = Le64(record, k + kKeyParentRef);
  if (static_cast<std::uint32_t>(parentRef) != owner || ((parentRef >> 32) & 0xFFFF) != 0 ||
      (parentRef >> 48) == 0)
    return std::nullopt;
  const std::size_t units = Byte(record, k + kKeyLength);
  const std::uint8_t nameSpace = Byte(record, k + kKeySpace);
  if (units == 0 || nameSpace == kDosNamespace || nameSpace > kWin32AndDosNamespace ||
      !Fits(record, k + kKeyChars, 2 * units))
    return std::nullopt;
  std::int64_t times[4];
  for (std::size_t t = 0; t < 4; ++t) {
    times[t] = static_cast<std::int64_t>(Le64(record, k + kKeyTimes + 8 * t));
    if (times[t] < kEarliestKeyTime || times[t] > kLatestKeyTime) return std::nullopt;
  }
  const std::uint64_t allocated = Le64(record, k + kKeyAllocated);
  const std::uint64_t size = Le64(record, k + kKeyRealSize);
  if (allocated >= kLargestKeySize || size > allocated) return std::nullopt;
  const std::uint32_t attributes = Le32(record, k + kKeyAttributes);
  if ((attributes & ~kKnownAttributes) != 0) return std::nullopt;
  auto name = CheckedKeyName(record, k + kKeyChars, units, nameSpace != kPosixNamespace);
  if (!name || name->empty()) return std::nullopt;

  IndexKeyName key;
  key.parent = owner;
  key.creationTime = times[0];
  key.modificationTime = times[1];
  key.size = size;
  key.isFolder = (attributes & kDirectoryAttribute) != 0;
  key.nameSpace = nameSpace;
  key.name = std::move(*name);
  // The entry header in front of the key still names the record when its key length is this
  // key's and its entry length holds the key.
  if (k >= entryArea + kEntryHeaderSize) {
    const std::size_t e = k - kEntryHeaderSize;
    const std::uint64_t keyLength = kKeyChars + 2 * units;
    const std::uint16_t entryLength = Le16(record, e + kEntryLength);
    if (Le16(record, e + kKeyLengthField) == keyLength && entryLength % 8 == 0 &&
        entryLength >= Align8(kEntryHeaderSize + keyLength) &&
        entryLength <= Align8(kEntryHeaderSize + keyLength) + 8)
      key.recordNumber = Le64(record, e) & 0xFFFFFFFFFFFFull;
  }
  return key;
}

}  // namespace

std::vector<IndexKeyName> CarveIndexKeys(ByteSpan wholeRecord, std::uint32_t owner) {
  std::vector<IndexKeyName> keys;
  const auto header = DecodeIndexRecordHeader(wholeRecord);
  if (!header || header->firstEntry >= header->size) return keys;
  const std::vector<std::uint8_t> bytes = FixedCopy(wholeRecord, *header);
  const ByteSpan record(bytes);
  // Entries, and so their keys, start on 8-byte boundaries of the record.
  const std::size_t area = static_cast<std::size_t>(Align8(header->firstEntry));
  for (std::size_t k = area; k + kKeyChars <= record.size();) {
    // Most places hold no key of owner's: a key begins with its parent's record number.
    if (LittleEndianAt<std::uint32_t>(record.data() + k + kKeyParentRef) != owner) {
      k += 8;
      continue;
    }
    auto key = KeyAt(record, k, area, owner);
    if (!key) {
      k += 8;
      continue;
    }
    k += static_cast<std::size_t>(Align8(kKeyChars + 2 * Byte(record, k + kKeyLength)));
    keys.push_back(std::move(*key));
  }
  return keys;
}

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
