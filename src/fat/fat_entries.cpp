#include "fat/fat_entries.h"

#include <array>

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
  return type == FsType::kFat32 ? EntryCluster32(sector, entryOffset)
                                     : EntryCluster16(sector, entryOffset);
}

bool IsDirectoryStartSector(ByteSpan sector) {
  return Byte(sector, 0) == '.' && Byte(sector, 1) == ' ' && Byte(sector, 32) == '.' &&
         Byte(sector, 33) == '.' && Byte(sector, 34) == ' ';
}

bool IsDotEntry(ByteSpan sector, std::size_t entryOffset) {
  return Byte(sector, entryOffset) == '.' && Byte(sector, entryOffset + 3) == ' ';
}

ShortName AssembleShortName(ByteSpan sector, std::size_t entryOffset) {
  ShortName result;
  for (std::size_t i = 0; i < 8; ++i) {
    std::uint8_t b = Byte(sector, entryOffset + i);
    if (b != ' ') result.name.push_back(static_cast<char>(b));
  }
  if (Byte(sector, entryOffset + 8) != ' ') result.name.push_back('.');
  for (std::size_t i = 8; i < 11; ++i) {
    std::uint8_t b = Byte(sector, entryOffset + i);
    if (b != ' ') result.name.push_back(static_cast<char>(b));
  }
  if (!result.name.empty() && static_cast<std::uint8_t>(result.name[0]) == kDeletedMarker) {
    result.name[0] = '_';
    result.deleted = true;
  }
  return result;
}

bool IsValidEntryName(std::string_view name) {
  for (char c : name) {
    auto b = static_cast<std::uint8_t>(c);
    if ((b >= 1 && b <= 31) || b >= 128) return false;
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
  std::string out;
  const auto found = [&out]() -> std::optional<std::string> { return std::move(out); };
  const auto notFound = [&out, &found]() -> std::optional<std::string> {
    // A name of whole 13-character parts that ran into a non-long-name entry is complete.
    if (!out.empty() && out.size() % 13 == 0) return found();
    return std::nullopt;
  };
  int o = entryOffset;
  std::uint64_t current = sectorNumber;
  std::size_t index = order.index;
  static constexpr std::array<std::size_t, 13> kCharOffsets = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  int q = 1;
  // Every step either returns or adds 13 characters, so the length test bounds the walk.
  for (;;) {
    if (out.size() > 255) return found();
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
      std::uint8_t c = Byte(bytes, e + off);
      if (c == 0) return found();
      out.push_back(static_cast<char>(c));
    }
    if (Byte(bytes, e) == 0x40 + q) return found();
    ++q;
  }
}

EntryName ResolveEntryName(const ScanContext& ctx, ByteSpan sector, std::size_t entryOffset,
                           std::uint64_t sectorNumber, DirectoryOrder order) {
  EntryName result;
  ShortName shortName = AssembleShortName(sector, entryOffset);
  result.deleted = shortName.deleted;
  if (!IsValidEntryName(shortName.name)) return result;
  std::optional<std::string> longName =
      ReadLongName(ctx, sector, static_cast<int>(entryOffset), sectorNumber, order);
  // An empty long name (a terminator in its first character) would leave the folder nameless.
  result.name = (longName && !longName->empty()) ? std::move(*longName) : std::move(shortName.name);
  result.valid = IsValidEntryName(result.name);
  if (!result.valid) result.name.clear();
  return result;
}

}  // namespace quarrow
