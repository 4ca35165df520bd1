#pragma once
// The GUID partition table: the header at LBA 1 (and its backup at the disk's last LBA), each
// with a CRC32 of its own and of its partition entry array. A protective MBR (one entry of type
// 0xEE) sends the partition walk here.
//
// LBAs count logical sectors of the disk, 512 or 4096 bytes; the rest of the system counts
// 512-byte sectors, so an LBA of a 4096-byte disk is eight of its sectors. A disk image carries no
// sector size of its own: when the device does not say (a block device and an evidence file do),
// the header is looked for at LBA 1 of 512 bytes and then at LBA 1 of 4096 bytes, and the sector
// size is the one whose header is found.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "disk/sector_reader.h"

namespace quarrow {

inline constexpr std::uint8_t kProtectiveMbrType = 0xEE;
// Entry arrays beyond this are taken as damage: real tables hold 128 entries of 128 bytes.
inline constexpr std::uint64_t kMaxGptArrayBytes = 1u << 20;

using Guid = std::array<std::uint8_t, 16>;

// "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7": the first three fields are stored little-endian.
std::string GuidText(const Guid& guid);

// Type GUIDs the walk lists without looking further.
inline constexpr std::string_view kBasicDataGuid = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
inline constexpr std::string_view kEfiSystemGuid = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";

// The CRC32 of GPT headers and entry arrays (the reflected 0xEDB88320 polynomial of zlib).
std::uint32_t Crc32(ByteSpan bytes, std::uint32_t crc = 0);

struct GptHeader {
  std::uint32_t revision = 0;
  std::uint32_t headerSize = 0;
  std::uint64_t myLba = 0;
  std::uint64_t alternateLba = 0;
  std::uint64_t firstUsableLba = 0;
  std::uint64_t lastUsableLba = 0;
  Guid diskGuid{};
  std::uint64_t entriesLba = 0;
  std::uint32_t entryCount = 0;
  std::uint32_t entrySize = 0;
  std::uint32_t entriesCrc = 0;

  std::uint64_t ArrayBytes() const { return std::uint64_t{entryCount} * entrySize; }
};

// Why a header was not taken; kNone for a sound one.
enum class GptHeaderProblem : std::uint8_t { kNone, kNoSignature, kBadSize, kBadCrc, kBadFields };
std::string_view GptHeaderProblemText(GptHeaderProblem problem);

// Decodes the header in one logical sector. Checks the signature "EFI PART", a header size from
// 92 bytes to the sector, the header's CRC32, entries of at least 128 bytes (a multiple of 8)
// in an array of at most kMaxGptArrayBytes, and a usable range that does not run backwards.
struct DecodedGptHeader {
  GptHeaderProblem problem = GptHeaderProblem::kNoSignature;
  GptHeader header;
};
DecodedGptHeader DecodeGptHeader(ByteSpan sector);

struct GptEntry {
  int index = 0;  // its place in the array, from 0
  Guid type{};
  Guid unique{};
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;  // inclusive
  std::uint64_t attributes = 0;
  std::string name;  // UTF-8, up to the first NUL of its 36 UTF-16 units
};

// The entries in use (type GUID not all zeros) of an entry array, in array order. Entries whose
// last LBA lies before their first are damage and left out. Reads no further than the array.
std::vector<GptEntry> DecodeGptEntries(ByteSpan array, std::uint32_t entryCount, std::uint32_t entrySize);

// A GPT as read from a disk.
struct GptTable {
  std::uint32_t sectorSize = 512;  // bytes per LBA
  GptHeader header;
  std::vector<GptEntry> entries;
  bool fromBackup = false;     // the primary header or its array was damaged; the backup was used
  std::string primaryProblem;  // what was wrong with the primary, "" when it was used
  bool backupChecked = false;  // the backup was read as well (only when the primary failed)

  // 512-byte sectors per LBA.
  std::uint64_t SectorsPerLba() const { return sectorSize / kSectorSize; }
};

// Reads the GPT of a disk of totalSectors 512-byte sectors: the primary header at LBA 1 and its
// array, or, when either is damaged, the backup header at the last LBA and its array. The sector
// size is the device's (reader.LogicalSectorSize) or, when the device does not say, the first of
// 512 and 4096 whose header is found. nullopt when no sound header is found; *problem then says
// what was wrong with the primary at 512 bytes (empty when it was missing altogether).
std::optional<GptTable> ReadGpt(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                std::string* problem = nullptr);

}  // namespace quarrow
