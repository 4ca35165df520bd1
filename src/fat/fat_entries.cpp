#include "fat/fat_entries.h"

#include <array>

#include "core/unicode.h"
#include "scan/scan_context.h"

namespace quarrow {

std::uint32_t EntryCluster32(ByteSpan sector, std::size_t entryOffset) {
  return static_cast<std::uint32_t>(Le16(sector, entryOffset + 26)) |
         (static_cast<std::uint32_t>(Le16(sector, entryOffset + 20)) << 16);
}

std::uint32_t EntryCluster16(ByteSpan sector, std::size_t entryOffset) {
  return Le16(sector, entryOffset + 26);
}

std::uint32_t EntryCluster(ByteSpan sector, std::size_t entryOffset, FsType type) {
  return type == FsType::kFat32 ? EntryCluster32(sector, entryOffset) : EntryCluster16(sector, entryOffset);
}

bool IsDirectoryStartSector(ByteSpan sector) {
  return Byte(sector, 0) == '.' && Byte(sector, 1) == ' ' && Byte(sector, 32) == '.' &&
         Byte(sector, 33) == '.' && Byte(sector, 34) == ' ';
}

namespace {

// One used 32-byte slot as a directory holds it; deleted entries (0xE5 first) included.
bool IsPlausibleEntry(ByteSpan sector, std::size_t off) {
  const std::uint8_t first = Byte(sector, off);
  const std::uint8_t attr = Byte(sector, off + 11);
  if (attr == kLongNameAttribute) {
    // A long-name part: order 1-20 (0x40 on the last), or deleted; type 0 and cluster 0.
    const std::uint8_t order = first & 0x3F;
    const bool ordered = first == kDeletedMarker || ((first & 0x80) == 0 && order >= 1 && order <= 20);
    return ordered && Byte(sector, off + 12) == 0 && Le16(sector, off + 26) == 0;
  }
  if ((attr & 0xC0) != 0) return false;
  // NT's case flags are the only bits of byte 12 that writers set.
  if ((Byte(sector, off + 12) & ~0x18) != 0) return false;
  if (first == '.' || first == ' ' || (first < 0x20 && first != 0x05)) return false;
  static constexpr std::string_view kNever = "\"*+,./:;<=>?[\\]|";
  for (std::size_t i = 0; i < 11; ++i) {
    const std::uint8_t b = Byte(sector, off + i);
    if (i > 0 && b < 0x20) return false;
    if (kNever.find(static_cast<char>(b)) != std::string_view::npos) return false;
  }
  // A folder's entry has no size.
  return (attr & kDirectoryAttribute) == 0 || Le32(sector, off + 28) == 0;
}

}  // namespace

bool IsDirectoryContinuationSector(ByteSpan sector) {
  if (sector.size() < kSectorSize || IsDotEntry(sector, 0)) return false;
  bool used = false;
  bool ended = false;
  for (int e = 0; e < kEntriesPerSector; ++e) {
    const std::size_t off = static_cast<std::size_t>(e) * kDirEntrySize;
    if (Byte(sector, off) == 0) {
      ended = true;
      continue;
    }
    if (ended || !IsPlausibleEntry(sector, off)) return false;
    used = true;
  }
  return used;
}

bool IsDotEntry(ByteSpan sector, std::size_t entryOffset) {
  return Byte(sector, entryOffset) == '.' && Byte(sector, entryOffset + 3) == ' ';
}

bool IsVolumeLabelEntry(ByteSpan sector, std::size_t entryOffset) {
  const std::uint8_t attr = Byte(sector, entryOffset + 11);
  return attr != kLongNameAttribute && (attr & kVolumeLabelAttribute) != 0 &&
         (attr & kDirectoryAttribute) == 0;
}

ShortName AssembleShortName(ByteSpan sector, std::size_t entryOffset, const CodePage& codePage) {
  ShortName result;
  const std::uint8_t caseFlags = Byte(sector, entryOffset + 12);
  const auto part = [&](std::size_t from, std::size_t to, bool lower) {
    std::string bytes;
    for (std::size_t i = from; i < to; ++i) {
      std::uint8_t b = Byte(sector, entryOffset + i);
      if (b == ' ') continue;
      if (i == 0 && b == 0x05) b = kDeletedMarker;  // a real first byte of 0xE5, not the mark
      if (lower && b >= 'A' && b <= 'Z') b = static_cast<std::uint8_t>(b - 'A' + 'a');
      bytes.push_back(static_cast<char>(b));
    }
    return bytes;
  };
  const std::uint8_t first = Byte(sector, entryOffset);
  const std::string base = part(0, 8, (caseFlags & 0x08) != 0);
  result.deleted = first == kDeletedMarker && !base.empty();
  const std::string decoded = codePage.Decode(std::string_view(base).substr(result.deleted ? 1 : 0));
  const std::string extension = codePage.Decode(part(8, 11, (caseFlags & 0x10) != 0));
  result.name.reserve(decoded.size() + extension.size() + 2);
  if (result.deleted) result.name.push_back('_');
  result.name.append(decoded);
  if (Byte(sector, entryOffset + 8) != ' ') result.name.push_back('.');
  result.name.append(extension);
  return result;
}

std::string LabelText(ByteSpan bytes11, const CodePage& codePage) {
  std::string bytes;
  for (std::size_t i = 0; i < 11; ++i) bytes.push_back(static_cast<char>(Byte(bytes11, i)));
  while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\0')) bytes.pop_back();
  return codePage.Decode(bytes);
}

bool IsValidEntryName(std::string_view name) {
  for (char c : name) {
    auto b = static_cast<std::uint8_t>(c);
    if (b >= 1 && b <= 31) return false;
    switch (c) {
      case '"':
      case '\\':
      case '/':
      case '?':
      case '*':
      case '<':
      case '>':
      case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

std::optional<std::string> ReadLongName(const ScanContext& ctx, ByteSpan sector, int entryOffset,
                                        std::uint64_t sectorNumber, DirectoryOrder order) {
  // The entries are read from the caller's sector until the name runs into the sector before it.
  std::array<std::uint8_t, kSectorSize> previousSector{};
  ByteSpan bytes = sector;
  // The name's UTF-16 code units, in order: at most 255 and the 13 of the part that passed them.
  std::array<std::uint16_t, 256 + 13> unitBuffer;
  std::size_t unitCount = 0;
  const auto found = [&]() -> std::optional<std::string> {
    return Utf16ToUtf8(std::span<const std::uint16_t>(unitBuffer.data(), unitCount));
  };
  const auto notFound = [&]() -> std::optional<std::string> {
    // A name of whole 13-character parts that ran into a non-long-name entry is complete.
    if (unitCount != 0 && unitCount % 13 == 0) return found();
    return std::nullopt;
  };
  int o = entryOffset;
  std::uint64_t current = sectorNumber;
  std::size_t index = order.index;
  static constexpr std::array<std::size_t, 13> kCharOffsets = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  int q = 1;
  // Every step either returns or adds 13 characters, so the length test bounds the walk.
  for (;;) {
    if (unitCount > 255) return found();
    o -= static_cast<int>(kDirEntrySize);
    if (o < 0) {
      // The entries in front of the first one of this sector are in the sector before it.
      std::uint64_t previous;
      if (order.sectors) {
        if (index == 0 || index > order.sectors->size()) return notFound();
        --index;
        previous = (*order.sectors)[index];
      } else {
        if (current == 0) return notFound();
        previous = current - 1;
      }
      if (ctx.Read(previous, 1, previousSector) == 0) return notFound();
      bytes = previousSector;
      current = previous;
      o = static_cast<int>(kSectorSize - kDirEntrySize);
    }
    const auto e = static_cast<std::size_t>(o);
    if (Byte(bytes, e + 11) != kLongNameAttribute) return notFound();
    for (std::size_t off : kCharOffsets) {
      const std::uint16_t unit = Le16(bytes, e + off);
      if (unit == 0) return found();
      unitBuffer[unitCount++] = unit;
    }
    if (Byte(bytes, e) == 0x40 + q) return found();
    ++q;
  }
}

EntryName ResolveEntryName(const ScanContext& ctx, ByteSpan sector, std::size_t entryOffset,
                           std::uint64_t sectorNumber, DirectoryOrder order) {
  EntryName result;
  ShortName shortName = AssembleShortName(sector, entryOffset, ctx.codePage);
  result.deleted = shortName.deleted;
  if (!IsValidEntryName(shortName.name)) return result;
  std::optional<std::string> longName =
      ReadLongName(ctx, sector, static_cast<int>(entryOffset), sectorNumber, order);
  // An empty long name (a terminator in its first character) would leave the folder nameless, and
  // one holding "/", "\" or a control character cannot be a name: the sound 8.3 name stands in.
  const bool longUsable = longName && !longName->empty() && IsValidEntryName(*longName);
  result.name = longUsable ? std::move(*longName) : std::move(shortName.name);
  result.valid = true;
  return result;
}

}  // namespace quarrow
