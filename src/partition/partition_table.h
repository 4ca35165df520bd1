#pragma once
// The partition-table walk: the MBR in the table sector and the chain of extended boot records
// behind it. Every partition whose file system the system can scan becomes a child item of the
// partition tree's root ("Partition - 1 ( FAT32 )") and an entry of the disk's PartitionList.
//
// How a front end uses it:
//   mytreectrl tree(TreeKind::kPartitions, disk);                       // root "Disk N"
//   PartitionWalkOutcome out = WalkPartitionTable(reader, disk, totalSectors, tree, state);
//   state.ForDisk(disk) then holds the listed partitions in tree order; state.anyPartitionListed
//   and state.defaultItem are what the disk and partition pages read.
// A primary entry within 24576 sectors of the disk's end (or past it) marks the table corrupted:
// the walk disables Load Log, fires the reader's lost-partition trigger and stops listing.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/feedback.h"
#include "core/volume.h"
#include "disk/sector_reader.h"
#include "results/tree_model.h"

namespace quarrow {

inline constexpr int kMaxListedPartitions = 26;  // partitions one disk can list
inline constexpr int kPartitionListDisks = 26;   // PartitionList records, by disk number
inline constexpr int kPartitionEntrySlots = 50;
// A primary entry must start at least this many sectors before the end of the disk.
inline constexpr std::uint64_t kDiskEndMargin = 24576;
// Links of the extended chain followed at most; a longer chain is taken as hostile.
inline constexpr int kMaxExtendedLinks = 256;

// Partition types of the table.
namespace partition_type {
inline constexpr std::uint8_t kEmpty = 0x00, kFat12 = 0x01, kFat16Small = 0x04, kExtended = 0x05,
                              kFat16 = 0x06, kNtfs = 0x07, kFat32 = 0x0B, kFat32Lba = 0x0C, kFat16Lba = 0x0E,
                              kExtendedLba = 0x0F;
}

struct PartitionEntry {
  TreeItem item = kNoItem;
  // Absolute sectors. The end sector is the first sector after the partition. Kept in 64 bits:
  // a logical drive's start is the sum of two 32-bit fields.
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;
  // The end the table gives when it lies past the end of the disk: the entry's end is then cut
  // to the disk's end (0 when the table's end was kept).
  std::uint64_t tableEndSector = 0;
  // A partition of a GUID partition table: its place in the entry array (from 0), its name, and
  // whether the table was read from its backup header because the primary was damaged.
  bool gpt = false;
  int gptIndex = -1;
  std::string gptName{};
  bool gptFromBackup = false;

  bool operator==(const PartitionEntry&) const = default;
  // "the table says the partition ends at sector E, past the end of the disk; it is cut to ...",
  // or "" when the entry was taken as the table gives it.
  std::string Note() const;
};

// The listed partitions of one disk, in the order of the tree items.
struct PartitionList {
  int count = 0;
  std::array<FsType, kMaxListedPartitions> type{};  // shown as "FAT16", "FAT32" or "NTFS"
  std::array<PartitionEntry, kPartitionEntrySlots> entries;

  // Appends a partition; false (nothing changed) when the list already holds 26.
  bool Append(FsType fsType, const PartitionEntry& entry);
  // The shown name of partition index ("FAT16", "FAT32", "NTFS"), "" for an unlisted index.
  std::string_view Name(int index) const {
    return index >= 0 && index < count && index < kMaxListedPartitions ? FsTypeText(type[index]) : "";
  }
  // The entry at index, or an empty one when index is not a listed slot.
  PartitionEntry At(int index) const;
  void Clear() { *this = PartitionList{}; }
};

// What the walk leaves behind for the disk and partition pages.
struct PartitionState {
  std::array<PartitionList, kPartitionListDisks> lists;  // PartitionList, by disk number
  int anyPartitionListed = 0;                            // 0 or 1
  TreeItem defaultItem = kNoItem;                        // the first partition listed

  // The record of a disk number; numbers outside 0..25 share a scratch record.
  PartitionList& ForDisk(int diskNumber);
  const PartitionList& ForDisk(int diskNumber) const;

 private:
  PartitionList scratch_;
};

struct PartitionWalkOutcome {
  bool tableSigned = false;     // the table sector ends in 0x55 0xAA
  bool tableCorrupted = false;  // a primary entry lies too near the end of the disk or past it
  bool chainLooped = false;     // the extended chain came back to a record it had read
  bool chainTooLong = false;    // the extended chain had more than kMaxExtendedLinks links
  bool listFull = false;        // a 27th scannable partition was found and not listed
  // Sector 0 holds a volume's own boot sector, not a table (a stick formatted without one, or
  // the image of one partition); that volume is partition 1.
  bool volumeWithoutTable = false;
  // Sector 0 is no boot sector, and the volume without a table was found by its exFAT backup
  // boot sector (sector 12).
  bool volumeFromBackup = false;
  int overlong = 0;  // entries whose end lay past the end of the disk and was cut to it
  int listed = 0;
  // A protective MBR (type 0xEE) sent the walk to the GUID partition table.
  bool protectiveMbr = false;
  bool gpt = false;                     // a sound GPT header and entry array were found
  std::uint32_t gptSectorSize = 0;      // its logical sector size
  bool gptFromBackup = false;           // the primary was damaged; the backup header was read
  std::string gptProblem;               // what was wrong with the primary (or, with no GPT, why none)
  std::vector<std::string> gptSkipped;  // GPT entries in use that were not listed, and why
};

// True when the four entries of a table sector describe partitions a table can hold: at least
// one entry in use, and every entry in use with a boot flag of 0x00 or 0x80, a first sector
// after sector 0 and a sector count. A boot sector's code, read as entries, is no such table.
bool EntriesLookLikeATable(ByteSpan table);

// The volume whose boot sector sector 0 is, as partition 1 would list it: its type and end
// sector (clipped to the disk). nullopt unless the boot sector is one partition validation
// accepts at sector 0 and the sector's entries do not look like a table.
struct VolumeAtSectorZero {
  FsType type = FsType::kNone;
  std::uint64_t endSector = 0;
};
std::optional<VolumeAtSectorZero> FindVolumeAtSectorZero(SectorReader& reader, int diskNumber,
                                                         std::uint64_t totalSectors, ByteSpan sectorZero);

// The file system a partition type is listed as (FAT12 and FAT16 types as kFat16, whose text is
// "FAT16"), or nullopt for a type the walk does not list (empty, extended, anything else).
std::optional<FsType> ListedType(std::uint8_t type);
bool IsExtendedType(std::uint8_t type);
// The type a partition's first sector says it has: "FAT32" at 82, "FAT16" at 54, "NTFS" at 3,
// tested in that order; the table's own type when none matches (a FAT12 boot sector keeps it).
std::uint8_t TypeFromBootSector(ByteSpan bootSector, std::uint8_t tableType);
// "Partition - " + number + " ( " + name + " )".
std::string PartitionItemText(int number, std::string_view fsName);
// The disk-end test of a primary entry: true when it starts within kDiskEndMargin sectors of
// the end of the disk, or past it.
bool StartsTooNearDiskEnd(std::uint64_t totalSectors, std::uint64_t firstSector);

// A partition a GPT lists, in 512-byte sectors.
struct GptListing {
  FsType type = FsType::kNone;
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;  // the first sector after it
  int index = 0;                // its place in the entry array, from 0
  std::string name;
};
struct GptTable;
// The entries of a GPT that the walk lists, in array order: the basic-data and EFI-system types,
// and any entry whose first sector holds a FAT or NTFS boot sector. The others are named, with
// the reason, in *skipped.
std::vector<GptListing> ListGptPartitions(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                          const GptTable& gpt, std::vector<std::string>* skipped);

// Lists the partitions of the GPT of diskNumber (after a protective MBR), filling the outcome's
// GPT fields. Entries of the basic-data and EFI-system types, and any entry whose first sector
// holds a FAT or NTFS boot sector, are listed in array order; others are named in gptSkipped.
void WalkGpt(SectorReader& reader, int diskNumber, std::uint64_t totalSectors, mytreectrl& tree,
             PartitionState& state, PartitionWalkOutcome& outcome);

// Walks the table at tableSector (always 0 from the wizard) of diskNumber, appending items to
// tree's root and overwriting state.ForDisk(diskNumber) from its first slot.
PartitionWalkOutcome WalkPartitionTable(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                        mytreectrl& tree, PartitionState& state,
                                        std::uint64_t tableSector = 0);

}  // namespace quarrow
