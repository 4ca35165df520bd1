#include "exfat/entry_set.h"

#include <algorithm>

#include "core/unicode.h"

namespace quarrow {

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr std::int64_t kTicksPerSecond = 10'000'000;

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar, eras of 400 years).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

bool InUse(std::uint8_t type) {
  return (type & exfat_entry::kInUse) != 0;
}

std::uint8_t TypeCode(std::uint8_t type) {
  return type & 0x7F;
}

}  // namespace

ExfatTime DecodeExfatTime(std::uint32_t timestamp, std::uint8_t tenMs, std::uint8_t utcOffset) {
  const unsigned seconds2 = timestamp & 0x1F;
  const unsigned minute = (timestamp >> 5) & 0x3F;
  const unsigned hour = (timestamp >> 11) & 0x1F;
  unsigned day = (timestamp >> 16) & 0x1F;
  unsigned month = (timestamp >> 21) & 0x0F;
  const std::int64_t year = 1980 + ((timestamp >> 25) & 0x7F);
  if (day == 0) day = 1;
  if (month == 0 || month > 12) month = 1;
  std::int64_t local = DaysFromCivil(year, month, day) * 86'400 + hour * 3600 + minute * 60 + seconds2 * 2;
  const unsigned extraMs = std::min<unsigned>(tenMs, 199) * 10;
  local += extraMs / 1000;
  if (utcOffset & 0x80) {
    // Seven bits, signed, in quarters of an hour east of UTC.
    const int quarters = (utcOffset & 0x40) ? static_cast<int>(utcOffset & 0x7F) - 128 : utcOffset & 0x3F;
    local -= std::int64_t{quarters} * 15 * 60;
  }
  ExfatTime out;
  out.unixSeconds = local;
  out.ticks = (local + kSecondsFrom1601To1970) * kTicksPerSecond + std::int64_t{extraMs % 1000} * 10'000;
  return out;
}

std::uint16_t EntrySetChecksum(ByteSpan set, bool inUse) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (i == 2 || i == 3) continue;
    std::uint8_t byte = set[i];
    if (inUse && i % exfat_entry::kSize == 0) byte |= exfat_entry::kInUse;
    sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

std::optional<ExfatEntrySet> DecodeEntrySet(ByteSpan bytes, std::size_t offset) {
  using namespace exfat_entry;
  if (offset > bytes.size() || bytes.size() - offset < 3 * kSize) return std::nullopt;
  const ByteSpan file = bytes.subspan(offset, kSize);
  if (TypeCode(file[0]) != TypeCode(kFile)) return std::nullopt;
  const bool live = InUse(file[0]);
  const std::size_t secondaries = Byte(file, 1);
  if (secondaries < 2 || secondaries > 18) return std::nullopt;
  const std::size_t setBytes = (secondaries + 1) * kSize;
  if (bytes.size() - offset < setBytes) return std::nullopt;
  const ByteSpan set = bytes.subspan(offset, setBytes);
  for (std::size_t i = 1; i <= secondaries; ++i) {
    const std::uint8_t type = set[i * kSize];
    if (InUse(type) != live) return std::nullopt;
    if (TypeCode(type) != TypeCode(i == 1 ? kStream : kName)) return std::nullopt;
  }
  const ByteSpan stream = set.subspan(kSize, kSize);
  const std::size_t nameLength = Byte(stream, 3);
  const std::size_t nameEntries = secondaries - 1;
  if (nameLength == 0 || (nameLength + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry != nameEntries)
    return std::nullopt;

  ExfatEntrySet out;
  out.entryCount = secondaries + 1;
  out.deleted = !live;
  out.checksumHolds = EntrySetChecksum(set, true) == Le16(file, 2);
  out.attributes = Le16(file, 4);
  out.created = DecodeExfatTime(Le32(file, 8), Byte(file, 20), Byte(file, 22));
  out.modified = DecodeExfatTime(Le32(file, 12), Byte(file, 21), Byte(file, 23));
  out.accessed = DecodeExfatTime(Le32(file, 16), 0, Byte(file, 24));
  out.secondaryFlags = Byte(stream, 1);
  out.validDataLength = Le64(stream, 8);
  out.firstCluster = Le32(stream, 20);
  out.dataLength = Le64(stream, 24);
  std::vector<std::uint16_t> units;
  units.reserve(nameLength);
  for (std::size_t i = 0; i < nameLength; ++i) {
    const std::size_t entry = 2 + i / kNameUnitsPerEntry;
    units.push_back(Le16(set, entry * kSize + 2 + (i % kNameUnitsPerEntry) * 2));
  }
  out.name = Utf16ToUtf8(units);
  return out;
}

ExfatDirectoryContents ReadDirectoryEntries(ByteSpan bytes, bool listDamaged) {
  using namespace exfat_entry;
  ExfatDirectoryContents contents;
  for (std::size_t at = 0; at + kSize <= bytes.size();) {
    const ByteSpan entry = bytes.subspan(at, kSize);
    const std::uint8_t type = entry[0];
    if (type == kEndOfDirectory) {
      contents.ended = true;
      break;
    }
    if (TypeCode(type) == TypeCode(kFile)) {
      if (auto set = DecodeEntrySet(bytes, at)) {
        const std::size_t length = set->entryCount * kSize;
        if (set->checksumHolds || (listDamaged && !set->deleted)) {
          contents.sets.push_back({at, std::move(*set)});
          at += length;
          continue;
        }
      }
    } else if (type == kBitmap && !contents.bitmap) {
      contents.bitmap = ExfatDataEntry{Le32(entry, 20), Le64(entry, 24)};
    } else if (type == kUpcase && !contents.upcase) {
      contents.upcase = ExfatDataEntry{Le32(entry, 20), Le64(entry, 24)};
    } else if (type == kLabel && !contents.label) {
      const std::size_t count = std::min<std::size_t>(Byte(entry, 1), 11);
      std::vector<std::uint16_t> units;
      for (std::size_t i = 0; i < count; ++i) units.push_back(Le16(entry, 2 + 2 * i));
      contents.label = Utf16ToUtf8(units);
    }
    at += kSize;
  }
  return contents;
}

}  // namespace quarrow
