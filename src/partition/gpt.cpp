#include "partition/gpt.h"

#include <algorithm>
#include <cstdio>

#include "core/unicode.h"

namespace quarrow {

namespace {

constexpr std::size_t kMinHeaderSize = 92;
constexpr std::size_t kMinEntrySize = 128;
constexpr std::size_t kNameOffset = 56;
constexpr std::size_t kNameUnits = 36;

struct CrcTable {
  std::array<std::uint32_t, 256> values{};
  constexpr CrcTable() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      values[i] = c;
    }
  }
};
constexpr CrcTable kCrcTable;

Guid GuidAt(ByteSpan bytes, std::size_t offset) {
  Guid guid{};
  for (std::size_t i = 0; i < guid.size(); ++i) guid[i] = Byte(bytes, offset + i);
  return guid;
}

bool IsZero(const Guid& guid) {
  return std::all_of(guid.begin(), guid.end(), [](std::uint8_t b) { return b == 0; });
}

// Reads `bytes` bytes from byte offset `at` of the disk (both multiples of 512). False when any
// sector of them failed.
bool ReadBytes(SectorReader& reader, int diskNumber, std::uint64_t at, std::vector<std::uint8_t>& out,
               std::uint64_t bytes) {
  out.assign(static_cast<std::size_t>(bytes), 0);
  ReadReport report;
  reader.ReadSectors(diskNumber, at / kSectorSize, static_cast<std::uint32_t>(bytes / kSectorSize), out,
                     &report);
  return report.failedSectors == 0;
}

// The header at lba and its entry array, checked; the text of what was wrong otherwise.
struct HeaderRead {
  std::optional<GptTable> table;
  std::string problem;
};

HeaderRead ReadHeaderAt(SectorReader& reader, int diskNumber, std::uint64_t lbaCount,
                        std::uint32_t sectorSize, std::uint64_t lba, bool backup) {
  HeaderRead out;
  const char* which = backup ? "the backup header" : "the primary header";
  std::vector<std::uint8_t> sector;
  if (!ReadBytes(reader, diskNumber, lba * sectorSize, sector, sectorSize)) {
    out.problem = std::string(which) + " cannot be read";
    return out;
  }
  const DecodedGptHeader decoded = DecodeGptHeader(sector);
  if (decoded.problem != GptHeaderProblem::kNone) {
    out.problem = std::string(which) + " " + std::string(GptHeaderProblemText(decoded.problem));
    return out;
  }
  const GptHeader& h = decoded.header;
  if (h.myLba != lba) {
    out.problem = std::string(which) + " names LBA " + std::to_string(h.myLba) + " as its own";
    return out;
  }
  // The array must lie on the disk, outside the header itself.
  const std::uint64_t arrayLbas = (h.ArrayBytes() + sectorSize - 1) / sectorSize;
  if (h.entriesLba == 0 || h.entriesLba >= lbaCount || lbaCount - h.entriesLba < arrayLbas ||
      (lba >= h.entriesLba && lba < h.entriesLba + arrayLbas)) {
    out.problem = std::string(which) + " places its entry array off the disk";
    return out;
  }
  std::vector<std::uint8_t> array;
  if (!ReadBytes(reader, diskNumber, h.entriesLba * sectorSize, array, arrayLbas * sectorSize)) {
    out.problem = std::string(which) + "'s entry array cannot be read";
    return out;
  }
  const ByteSpan entries(array.data(), static_cast<std::size_t>(h.ArrayBytes()));
  if (Crc32(entries) != h.entriesCrc) {
    out.problem = std::string(which) + "'s entry array fails its CRC32";
    return out;
  }
  GptTable table;
  table.sectorSize = sectorSize;
  table.header = h;
  table.entries = DecodeGptEntries(entries, h.entryCount, h.entrySize);
  out.table = std::move(table);
  return out;
}

}  // namespace

std::string GuidText(const Guid& g) {
  char text[37];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  return text;
}

std::uint32_t Crc32(ByteSpan bytes, std::uint32_t crc) {
  crc = ~crc;
  for (std::uint8_t b : bytes) crc = kCrcTable.values[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string_view GptHeaderProblemText(GptHeaderProblem problem) {
  switch (problem) {
    case GptHeaderProblem::kNone:
      return "";
    case GptHeaderProblem::kNoSignature:
      return "has no \"EFI PART\" signature";
    case GptHeaderProblem::kBadSize:
      return "gives a header size no header has";
    case GptHeaderProblem::kBadCrc:
      return "fails its CRC32";
    case GptHeaderProblem::kBadFields:
      return "gives an entry array or a usable range no table has";
  }
  return "";
}

DecodedGptHeader DecodeGptHeader(ByteSpan sector) {
  DecodedGptHeader out;
  if (!BytesEqual(sector, 0, "EFI PART")) return out;
  GptHeader& h = out.header;
  h.revision = Le32(sector, 8);
  h.headerSize = Le32(sector, 12);
  if (h.headerSize < kMinHeaderSize || h.headerSize > sector.size()) {
    out.problem = GptHeaderProblem::kBadSize;
    return out;
  }
  // The CRC covers the header with its own CRC field taken as zero.
  std::uint32_t crc = Crc32(sector.first(16));
  const std::array<std::uint8_t, 4> zero{};
  crc = Crc32(zero, crc);
  crc = Crc32(sector.subspan(20, h.headerSize - 20), crc);
  if (crc != Le32(sector, 16)) {
    out.problem = GptHeaderProblem::kBadCrc;
    return out;
  }
  h.myLba = Le64(sector, 24);
  h.alternateLba = Le64(sector, 32);
  h.firstUsableLba = Le64(sector, 40);
  h.lastUsableLba = Le64(sector, 48);
  h.diskGuid = GuidAt(sector, 56);
  h.entriesLba = Le64(sector, 72);
  h.entryCount = Le32(sector, 80);
  h.entrySize = Le32(sector, 84);
  h.entriesCrc = Le32(sector, 88);
  if (h.entrySize < kMinEntrySize || h.entrySize % 8 != 0 || h.ArrayBytes() > kMaxGptArrayBytes ||
      h.firstUsableLba > h.lastUsableLba) {
    out.problem = GptHeaderProblem::kBadFields;
    return out;
  }
  out.problem = GptHeaderProblem::kNone;
  return out;
}

std::vector<GptEntry> DecodeGptEntries(ByteSpan array, std::uint32_t entryCount, std::uint32_t entrySize) {
  std::vector<GptEntry> entries;
  if (entrySize < kMinEntrySize) return entries;
  const std::size_t fit = array.size() / entrySize;
  const std::size_t count = std::min<std::size_t>(entryCount, fit);
  for (std::size_t i = 0; i < count; ++i) {
    const ByteSpan e = array.subspan(i * entrySize, entrySize);
    GptEntry entry;
    entry.index = static_cast<int>(i);
    entry.type = GuidAt(e, 0);
    if (IsZero(entry.type)) continue;
    entry.unique = GuidAt(e, 16);
    entry.firstLba = Le64(e, 32);
    entry.lastLba = Le64(e, 40);
    entry.attributes = Le64(e, 48);
    if (entry.lastLba < entry.firstLba) continue;
    std::array<std::uint16_t, kNameUnits> units{};
    std::size_t length = 0;
    while (length < kNameUnits && (units[length] = Le16(e, kNameOffset + 2 * length)) != 0) ++length;
    entry.name = Utf16ToUtf8(std::span<const std::uint16_t>(units.data(), length));
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<GptTable> ReadGpt(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                std::string* problem) {
  std::vector<std::uint32_t> sizes;
  if (const std::uint32_t own = reader.LogicalSectorSize(diskNumber);
      own >= kSectorSize && own % kSectorSize == 0 && own <= 65536) {
    sizes.push_back(own);
  } else {
    sizes = {512, 4096};
  }
  std::string firstProblem;
  for (std::uint32_t size : sizes) {
    const std::uint64_t lbaCount = totalSectors / (size / kSectorSize);
    if (lbaCount < 3) continue;
    HeaderRead primary = ReadHeaderAt(reader, diskNumber, lbaCount, size, 1, false);
    if (primary.table) return primary.table;
    if (firstProblem.empty()) firstProblem = primary.problem;
    // The backup of a disk of the other sector size is not at this size's last LBA either, so a
    // backup found here settles the size too.
    HeaderRead backup = ReadHeaderAt(reader, diskNumber, lbaCount, size, lbaCount - 1, true);
    if (backup.table) {
      backup.table->fromBackup = true;
      backup.table->backupChecked = true;
      backup.table->primaryProblem = primary.problem;
      return backup.table;
    }
  }
  if (problem) *problem = firstProblem;
  return std::nullopt;
}

}  // namespace quarrow
