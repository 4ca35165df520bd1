#include "ntfs/mft_record.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "core/unicode.h"
#include "ntfs/boot_sector.h"

namespace quarrow {

namespace {

// $FILE_NAME content: parent reference at 0, creation time at 8, name length at 64, namespace at
// 65, the name from 66 on.
constexpr std::size_t kFileNameParent = 0;
constexpr std::size_t kFileNameCreationTime = 8;
constexpr std::size_t kFileNameLength = 64;
constexpr std::size_t kFileNameSpace = 65;
constexpr std::size_t kFileNameChars = 66;

// The smallest piece of an attribute header the walk needs: its type and its length.
constexpr std::size_t kAttributeTypeAndLength = 8;

constexpr std::array<std::pair<std::string_view, std::uint32_t>, 10> kSystemFiles = {{
    {"$MFT", 1},
    {"$MFTMirror", 1},
    {"$LogFile", 2},
    {"$Volume", 3},
    {"$AttrDef", 4},
    {"$Bitmap", 6},
    {"$Boot", 7},
    {"$BadClus", 8},
    {"$Secure", 9},
    {"$UpCase", 10},
}};

// True when count bytes from offset lie inside bytes (no overflow on hostile values).
bool Fits(ByteSpan bytes, std::size_t offset, std::size_t count) {
  return offset <= bytes.size() && bytes.size() - offset >= count;
}

std::uint32_t FirstRunCluster(ByteSpan runList) {
  const std::uint8_t header = Byte(runList, 0);
  const std::size_t lengthBytes = header & 0x0F;
  // Only the low four bytes of a longer offset fit the 32-bit cluster number.
  const std::size_t offsetBytes = std::min<std::size_t>(header >> 4, 4);
  if (header == 0 || !Fits(runList, 1 + lengthBytes, offsetBytes)) return 0;
  std::uint32_t cluster = 0;
  for (std::size_t i = 0; i < offsetBytes; ++i) {
    cluster |= static_cast<std::uint32_t>(runList[1 + lengthBytes + i]) << (8 * i);
  }
  return cluster;
}

}  // namespace

std::size_t ApplyFixup(std::span<std::uint8_t> record) {
  const ByteSpan bytes(record.data(), record.size());
  const std::size_t arrayOffset = Le16(bytes, mft_record::kUpdateSequenceOffset);
  const std::size_t count = Le16(bytes, mft_record::kUpdateSequenceCount);
  if (count < 2 || !Fits(bytes, arrayOffset, 2 * count)) return 0;
  std::size_t restored = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    const std::size_t end = kSectorSize * i + kSectorSize - 2;
    if (!Fits(bytes, end, 2)) break;
    record[end] = record[arrayOffset + 2 + 2 * i];
    record[end + 1] = record[arrayOffset + 3 + 2 * i];
    ++restored;
  }
  return restored;
}

AttributeWalk::AttributeWalk(ByteSpan record)
    : record_(record), position_(Le16(record, mft_record::kFirstAttribute)) {}

namespace {

// The field of type T at offset at; with kChecked, 0 when it runs past the record.
template <typename T, bool kChecked>
T FieldAt(ByteSpan record, std::size_t at) {
  if constexpr (kChecked) {
    if (!Fits(record, at, sizeof(T))) return 0;
  }
  return LittleEndianAt<T>(record.data() + at);
}

// The header's fields at p; unchecked only when the whole header lies inside the record.
template <bool kChecked>
void ReadAttributeFields(ByteSpan record, std::size_t p, AttributeHeader& a) {
  a.length = FieldAt<std::uint32_t, kChecked>(record, p + 4);
  a.nonResident = FieldAt<std::uint8_t, kChecked>(record, p + 8) == 1;
  a.nameLength = FieldAt<std::uint8_t, kChecked>(record, p + 9);
  a.nameOffset = FieldAt<std::uint16_t, kChecked>(record, p + 10);
  a.flags = FieldAt<std::uint16_t, kChecked>(record, p + 12);
  a.contentLength = FieldAt<std::uint32_t, kChecked>(record, p + 16);
  a.contentOffset = FieldAt<std::uint16_t, kChecked>(record, p + 20);
  a.lowestVcn = FieldAt<std::uint64_t, kChecked>(record, p + 16);
  a.highestVcn = FieldAt<std::uint64_t, kChecked>(record, p + 24);
  a.runListOffset = FieldAt<std::uint16_t, kChecked>(record, p + 32);
  a.compressionUnit = FieldAt<std::uint8_t, kChecked>(record, p + 34);
  a.allocatedSize = FieldAt<std::uint64_t, kChecked>(record, p + 40);
  a.realSize = FieldAt<std::uint64_t, kChecked>(record, p + 48);
  a.initializedSize = FieldAt<std::uint64_t, kChecked>(record, p + 56);
}

// The bytes of a non-resident attribute's header, its last field included.
constexpr std::size_t kWholeAttributeHeader = 64;

}  // namespace

std::optional<AttributeHeader> AttributeWalk::Next() {
  if (done_) return std::nullopt;
  const std::size_t p = position_;
  AttributeHeader a;
  a.offset = p;
  a.type = Le32(record_, p);
  if (!Fits(record_, p, kAttributeTypeAndLength) || a.type == 0 || a.type == attr_type::kEnd) {
    done_ = true;
    return std::nullopt;
  }
  // Most headers lie whole inside the record: their fields are read without a bounds check each.
  if (Fits(record_, p, kWholeAttributeHeader)) {
    ReadAttributeFields<false>(record_, p, a);
  } else {
    ReadAttributeFields<true>(record_, p, a);
  }
  if (a.length == 0 || a.length >= record_.size() - p) {
    done_ = true;
  } else {
    position_ = p + a.length;
  }
  return a;
}

bool AttributeNameIs(ByteSpan record, const AttributeHeader& attribute, std::u16string_view name) {
  if (attribute.nameLength != name.size()) return false;
  if (name.empty()) return true;
  const std::size_t at = attribute.offset + attribute.nameOffset;
  if (!Fits(record, at, 2 * name.size())) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Le16(record, at + 2 * i) != name[i]) return false;
  }
  return true;
}

std::optional<AttributeHeader> FindAttribute(ByteSpan record, std::uint32_t type, std::u16string_view name) {
  AttributeWalk walk(record);
  while (auto a = walk.Next()) {
    if (a->type == type && AttributeNameIs(record, *a, name)) return a;
  }
  return std::nullopt;
}

ByteSpan ResidentContent(ByteSpan record, const AttributeHeader& attribute) {
  const std::size_t start = attribute.offset + attribute.contentOffset;
  if (attribute.nonResident || start >= record.size()) return {};
  return record.subspan(start, std::min<std::size_t>(attribute.contentLength, record.size() - start));
}

ByteSpan RunListBytes(ByteSpan record, const AttributeHeader& attribute) {
  const std::size_t start = attribute.offset + attribute.runListOffset;
  if (!attribute.nonResident || start >= record.size()) return {};
  return record.subspan(start);
}

std::string Utf16NameAt(ByteSpan bytes, std::size_t offset, std::size_t units) {
  if (!Fits(bytes, offset, 2 * units)) return {};
  // Decoded straight from the bytes: a name of a card is mostly ASCII, one byte per unit, and
  // its leading ASCII units are copied over in one go.
  const std::uint8_t* const unit = bytes.data() + offset;
  std::size_t ascii = 0;
  while (ascii < units && unit[2 * ascii + 1] == 0 && unit[2 * ascii] != 0 && unit[2 * ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(unit[2 * i]);
  if (ascii == units) return out;
  out.reserve(units + 3 * (units - ascii));
  for (std::size_t i = ascii; i < units; ++i) {
    const char32_t u = Le16(bytes, offset + 2 * i);
    if (u == 0) break;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t low = Le16(bytes, offset + 2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

namespace {

// Hands take the name of the unnamed $FILE_NAME attribute a of record, decoded, when wants accepts
// its namespace; a name that does not fit inside the record is stepped over. False when the
// attribute's content offset points past the record: a walk for names gives up there.
template <typename Wants, typename Take>
bool TakeFileName(ByteSpan record, const AttributeHeader& a, Wants wants, Take take) {
  if (a.type != attr_type::kFileName || a.nameLength != 0) return true;
  const std::size_t content = a.offset + a.contentOffset;
  if (content >= record.size()) return false;
  if (!Fits(record, content, kFileNameChars)) return true;
  const std::uint8_t nameSpace = Byte(record, content + kFileNameSpace);
  if (!wants(nameSpace)) return true;
  const std::size_t units = Byte(record, content + kFileNameLength);
  if (!Fits(record, content + kFileNameChars, 2 * units)) return true;
  FileName name;
  name.name = Utf16NameAt(record, content + kFileNameChars, units);
  name.parent = Le32(record, content + kFileNameParent);
  name.creationTime = static_cast<std::int64_t>(Le64(record, content + kFileNameCreationTime));
  name.nameSpace = nameSpace;
  take(std::move(name));
  return true;
}

// Walks the record's unnamed $FILE_NAME attributes and hands take every name whose namespace
// wants accepts, as TakeFileName does.
template <typename Wants, typename Take>
void ForEachFileName(ByteSpan record, Wants wants, Take take) {
  AttributeWalk walk(record);
  while (auto a = walk.Next()) {
    if (!TakeFileName(record, *a, wants, take)) return;
  }
}

// The namespaces a file is listed under: the DOS twin repeats a Win32 name that is listed
// already, and a namespace past 3 is no name.
bool ListedNameSpace(std::uint8_t nameSpace) {
  return nameSpace != kDosNamespace && nameSpace <= kWin32AndDosNamespace;
}

// The size FindDataSize gives for the first unnamed $DATA attribute.
std::optional<std::uint64_t> DataSizeOf(const AttributeHeader& data) {
  // Only the piece that starts the stream carries its sizes; a later piece says 0.
  if (data.nonResident && data.lowestVcn != 0) return std::nullopt;
  return data.nonResident ? data.realSize : data.contentLength;
}

// One walk over the record's attributes: the names ForEachFileName(record, wants, take) would
// hand take, with the record's size and attribute list found on the way.
template <typename Wants, typename Take>
ListedFileParts ReadFileParts(ByteSpan record, Wants wants, Take take) {
  ListedFileParts parts;
  bool namesEnded = false, dataSeen = false;
  AttributeWalk walk(record);
  while (auto a = walk.Next()) {
    if (!namesEnded) namesEnded = !TakeFileName(record, *a, wants, take);
    if (a->nameLength != 0) continue;
    if (a->type == attr_type::kData && !dataSeen) {
      dataSeen = true;
      parts.dataSize = DataSizeOf(*a);
    } else if (a->type == attr_type::kAttributeList && !parts.attributeList) {
      parts.attributeList = *a;
    }
  }
  return parts;
}

// The namespaces in the order a record's own name is taken from them.
constexpr std::array<std::uint8_t, 4> kNamePreference = {kWin32Namespace, kWin32AndDosNamespace,
                                                         kDosNamespace, kPosixNamespace};

// The first name of each namespace in wantedMask (indexed by namespace, 0 to 3).
void CollectFileNames(ByteSpan record, std::array<std::optional<FileName>, 4>& found, unsigned wantedMask) {
  ForEachFileName(
      record,
      [&](std::uint8_t nameSpace) {
        return nameSpace < found.size() && (wantedMask & (1u << nameSpace)) != 0 && !found[nameSpace];
      },
      [&](FileName&& name) { found[name.nameSpace] = std::move(name); });
}

}  // namespace

void AppendListedFileNames(ByteSpan record, std::vector<FileName>& names) {
  ForEachFileName(record, ListedNameSpace, [&](FileName&& name) { names.push_back(std::move(name)); });
}

ListedFileParts ReadListedFileParts(ByteSpan record, std::vector<FileName>& names) {
  return ReadFileParts(record, ListedNameSpace, [&](FileName&& name) { names.push_back(std::move(name)); });
}

std::optional<FileName> FindFileName(ByteSpan record, std::uint8_t nameSpace) {
  std::array<std::optional<FileName>, 4> found;
  if (nameSpace >= found.size()) return std::nullopt;
  CollectFileNames(record, found, 1u << nameSpace);
  return std::move(found[nameSpace]);
}

std::optional<FileName> FindFileName(ByteSpan record) {
  // One walk for all four namespaces: the first name of each, then the preferred one.
  std::array<std::optional<FileName>, 4> found;
  CollectFileNames(record, found, 0xF);
  for (const std::uint8_t nameSpace : kNamePreference) {
    if (found[nameSpace]) return std::move(found[nameSpace]);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> FindDataSize(ByteSpan record) {
  const auto data = FindAttribute(record, attr_type::kData);
  return data ? DataSizeOf(*data) : std::nullopt;
}

std::uint32_t FindFirstRun(ByteSpan record) {
  const auto index = FindAttribute(record, attr_type::kIndexAllocation, u"$I30");
  return index ? FirstRunCluster(RunListBytes(record, *index)) : 0;
}

std::uint32_t SystemFileNumber(std::string_view name) {
  for (const auto& [fileName, number] : kSystemFiles) {
    if (name == fileName) return number;
  }
  return 0;
}

std::optional<std::size_t> FileRecordSize(ByteSpan sector) {
  if (!BytesEqual(sector, 0, "FILE")) return std::nullopt;
  const std::uint32_t size = Le32(sector, mft_record::kAllocatedSize);
  if (!IsFileRecordSize(size)) return std::nullopt;
  // The update sequence protects every 512-byte stride whatever the volume's sector size.
  if (Le16(sector, mft_record::kUpdateSequenceCount) != size / kSectorSize + 1) return std::nullopt;
  return size;
}

bool IsFileRecordStart(ByteSpan sector) {
  return FileRecordSize(sector).has_value();
}

std::optional<FileRecord> DecodeFileRecord(ByteSpan record) {
  const std::optional<std::size_t> size = FileRecordSize(record);
  if (!size) return std::nullopt;
  std::array<std::uint8_t, kMaxFileRecordSize> whole;  // the record's size of it, set below
  const std::span<std::uint8_t> bytes(whole.data(), *size);
  const std::size_t given = std::min(record.size(), bytes.size());
  std::copy_n(record.begin(), given, bytes.begin());
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(given), bytes.end(), std::uint8_t{0});
  ApplyFixup(bytes);
  const ByteSpan fixed(bytes.data(), bytes.size());

  FileRecord r;
  // Every name in one walk: the preferred one is the file's, the others its hard links.
  std::vector<FileName> names;
  const ListedFileParts parts = ReadFileParts(
      fixed, [](std::uint8_t nameSpace) { return nameSpace <= kWin32AndDosNamespace; },
      [&](FileName&& name) { names.push_back(std::move(name)); });
  std::size_t preferred = names.size();
  for (const std::uint8_t nameSpace : kNamePreference) {
    for (std::size_t i = 0; i < names.size() && preferred == names.size(); ++i)
      if (names[i].nameSpace == nameSpace) preferred = i;
  }
  if (preferred < names.size()) {
    r.hasName = true;
    r.parent = names[preferred].parent;
    r.creationTime = names[preferred].creationTime;
    r.nameSpace = names[preferred].nameSpace;
    r.name = std::move(names[preferred].name);
    // Hard links: every other name the record holds; a DOS name only repeats a Win32 one.
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i != preferred && names[i].nameSpace != kDosNamespace) r.otherNames.push_back(std::move(names[i]));
    }
  }
  r.size = parts.dataSize.value_or(0);
  r.flags = Byte(fixed, mft_record::kFlags);
  r.recordNumber = Le32(fixed, mft_record::kRecordNumber);
  r.baseRecord = Le64(fixed, mft_record::kBaseRecord);
  r.isFolder = r.flags == 3 || r.flags == 2;
  if (r.isFolder) {
    r.deleted = r.flags == 2;
    r.selfMft = r.recordNumber;
    r.firstRun = FindFirstRun(fixed);
  } else {
    r.deleted = r.flags == 0;
    r.selfMft = SystemFileNumber(r.name);
  }
  return r;
}

NtfsSectorKind ClassifyNtfsSector(ByteSpan sector) {
  if (HasBootSignature(sector)) {
    return BytesEqual(sector, ntfs_boot::kOemId, "NTFS") ? NtfsSectorKind::kBootSector
                                                         : NtfsSectorKind::kOther;
  }
  if (IsFileRecordStart(sector)) return NtfsSectorKind::kFileRecord;
  if (BytesEqual(sector, 0, "INDX")) return NtfsSectorKind::kIndexRecord;
  return NtfsSectorKind::kOther;
}

}  // namespace quarrow
