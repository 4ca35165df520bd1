#pragma once
// exFAT directory entries: the entry set of a file or folder (a File entry, its Stream Extension
// and its File Name entries, guarded by a checksum over the whole set), the allocation bitmap,
// up-case table and volume label entries, and a directory's bytes read as a list of them.
// A deleted set keeps its entries with the in-use bit (bit 7 of the type) cleared: 0x05, 0x40,
// 0x41; its name stays whole.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

namespace exfat_entry {
inline constexpr std::size_t kSize = 32;
inline constexpr std::uint8_t kEndOfDirectory = 0x00;
inline constexpr std::uint8_t kInUse = 0x80;
inline constexpr std::uint8_t kBitmap = 0x81;
inline constexpr std::uint8_t kUpcase = 0x82;
inline constexpr std::uint8_t kLabel = 0x83;
inline constexpr std::uint8_t kFile = 0x85;
inline constexpr std::uint8_t kStream = 0xC0;
inline constexpr std::uint8_t kName = 0xC1;
inline constexpr std::uint16_t kDirectoryAttribute = 0x10;
inline constexpr std::uint8_t kAllocationPossible = 0x01;
inline constexpr std::uint8_t kNoFatChain = 0x02;
inline constexpr std::size_t kNameUnitsPerEntry = 15;
}  // namespace exfat_entry

// An exFAT time as the system keeps it: 100-nanosecond ticks since 1601 in UTC (the NTFS
// reckoning, which the results rows already show), and seconds since 1970 for the file written.
struct ExfatTime {
  std::int64_t ticks = 0;
  std::int64_t unixSeconds = 0;
};

// A 32-bit timestamp (local time in two-second steps), its 10 ms increment (0 to 199) and its UTC
// offset byte (bit 7 set when the low seven bits, a signed count of 15 minutes, are valid). A
// timestamp with a month or day of 0 reads as 1 January 1980.
ExfatTime DecodeExfatTime(std::uint32_t timestamp, std::uint8_t tenMs, std::uint8_t utcOffset);

// The checksum of an entry set, every byte of its entries but the checksum field itself (bytes 2
// and 3 of the first). With inUse set, each entry's type byte is taken with bit 7 set, as it was
// when the set was written: a deleted set is checked as it was before deletion.
std::uint16_t EntrySetChecksum(ByteSpan set, bool inUse = false);

struct ExfatEntrySet {
  std::size_t entryCount = 0;  // the File entry and its secondaries
  bool deleted = false;        // the in-use bit of the File entry is clear
  bool checksumHolds = false;
  std::uint16_t attributes = 0;
  bool Directory() const { return (attributes & exfat_entry::kDirectoryAttribute) != 0; }
  std::string name;  // UTF-8
  ExfatTime created, modified, accessed;
  std::uint8_t secondaryFlags = 0;
  bool NoFatChain() const { return (secondaryFlags & exfat_entry::kNoFatChain) != 0; }
  std::uint32_t firstCluster = 0;
  std::uint64_t validDataLength = 0;
  std::uint64_t dataLength = 0;
};

// Decodes the entry set whose File entry is at offset (live 0x85 or deleted 0x05): its secondary
// count (2 to 18) must cover a Stream Extension followed by the File Name entries its name length
// needs, all of the same in-use state as the File entry. None when the bytes do not hold such a
// set; a set whose checksum fails is returned with checksumHolds false.
std::optional<ExfatEntrySet> DecodeEntrySet(ByteSpan bytes, std::size_t offset);

// A bitmap or up-case entry: where its data lies.
struct ExfatDataEntry {
  std::uint32_t firstCluster = 0;
  std::uint64_t dataLength = 0;
};

// What a directory's bytes hold: each entry set found with its byte offset in the directory, and
// for the root the bitmap, up-case table and label entries.
struct ExfatDirectoryContents {
  struct Found {
    std::size_t offset = 0;
    ExfatEntrySet set;
  };
  std::vector<Found> sets;
  std::optional<ExfatDataEntry> bitmap;  // the first allocation bitmap
  std::optional<ExfatDataEntry> upcase;
  std::optional<std::string> label;  // UTF-8
  bool ended = false;                // an end-of-directory entry was met
};

// Reads a directory's bytes entry by entry until the end-of-directory entry (or their end).
// Sets whose checksum fails are listed only when listDamaged is set; a deleted set is never
// listed with a failed checksum, as its entries may belong to a newer set written over it.
ExfatDirectoryContents ReadDirectoryEntries(ByteSpan bytes, bool listDamaged = true);

}  // namespace quarrow
