#include "partition/partition_table.h"

#include <set>
#include <vector>

#include "exfat/boot_sector.h"
#include "fat/boot_sector.h"
#include "ntfs/boot_sector.h"
#include "partition/gpt.h"
#include "partition/validate_partition.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

constexpr std::size_t kFirstEntryOffset = 446;
constexpr std::size_t kEntrySize = 16;

struct TableEntry {
  std::uint8_t type = 0;
  std::uint64_t first = 0;  // absolute (MBR) or relative (extended boot record), in 512-byte sectors
  std::uint64_t count = 0;
};

// perLba is the number of 512-byte sectors in one of the table's sectors: a table written on a
// disk of 4096-byte logical sectors counts in those.
TableEntry ReadEntry(ByteSpan table, int index, std::uint64_t perLba = 1) {
  const std::size_t at = kFirstEntryOffset + kEntrySize * static_cast<std::size_t>(index);
  return TableEntry{Byte(table, at + 4), Le32(table, at + 8) * perLba, Le32(table, at + 12) * perLba};
}

// 512-byte sectors per logical sector of the disk, when its device says it has larger ones; an
// image file says nothing, and its table is read in 512-byte sectors.
std::uint64_t TableSectorScale(SectorReader& reader, int diskNumber) {
  switch (reader.LogicalSectorSize(diskNumber)) {
    case 1024:
    case 2048:
    case 4096:
      return reader.LogicalSectorSize(diskNumber) / kSectorSize;
    default:
      return 1;
  }
}

// Appends one partition to the disk's list and the tree; false when the list is full. An end past
// the end of the disk (a table that claims more than the disk has: one flipped byte is enough)
// is cut to the disk's end, and the entry keeps the table's end for its note.
bool Append(PartitionList& list, PartitionState& state, mytreectrl& tree, FsType type, std::uint64_t first,
            std::uint64_t end, std::uint64_t totalSectors = 0, int* overlong = nullptr) {
  if (list.count >= kMaxListedPartitions) return false;
  const TreeItem item = tree.InsertItem(tree.Root(), PartitionItemText(list.count + 1, FsTypeText(type)),
                                        tree_image::kDriveLit, tree_image::kDriveLit);
  PartitionEntry entry{item, first, end, 0};
  if (totalSectors != 0 && end > totalSectors) {
    entry.tableEndSector = end;
    entry.endSector = totalSectors;
    if (overlong) ++*overlong;
  }
  list.Append(type, entry);
  state.anyPartitionListed = 1;
  if (list.count == 1) state.defaultItem = item;
  return true;
}

// The type of the volume a listed entry holds. Type 0x07 holds NTFS or exFAT: a boot sector that
// is not NTFS's is looked at as exFAT's, then the exFAT backup boot sector twelve sectors on (a
// damaged main boot sector). FAT types are refined by their boot sector.
FsType ListedVolumeType(SectorReader& reader, int diskNumber, std::uint64_t first, ByteSpan boot,
                        FsType listed) {
  if (listed != FsType::kNtfs) return RefineFatType(boot, listed);
  if (DecodeNtfsBootSector(boot).hasNtfsId) return listed;
  if (DecodeExfatBootSector(boot).IsExfatBootSector()) return FsType::kExfat;
  std::vector<std::uint8_t> backup(kSectorSize, 0);
  reader.ReadSectors(diskNumber, first + exfat_boot::kRegionSectors, 1, backup);
  if (DecodeExfatBootSector(backup).IsExfatBootSector()) return FsType::kExfat;
  return listed;
}

}  // namespace

bool PartitionList::Append(FsType fsType, const PartitionEntry& entry) {
  if (count < 0 || count >= kMaxListedPartitions) return false;
  type[count] = fsType;
  entries[count] = entry;
  ++count;
  return true;
}

std::string PartitionEntry::Note() const {
  if (tableEndSector == 0) return {};
  return "the table says the partition ends at sector " + std::to_string(tableEndSector) +
         ", past the end of the disk; its end is cut to the disk's end, sector " + std::to_string(endSector);
}

PartitionEntry PartitionList::At(int index) const {
  if (index < 0 || index >= count || index >= kPartitionEntrySlots) return PartitionEntry{};
  return entries[index];
}

PartitionList& PartitionState::ForDisk(int diskNumber) {
  if (diskNumber < 0 || diskNumber >= kPartitionListDisks) {
    scratch_.Clear();
    return scratch_;
  }
  return lists[diskNumber];
}

const PartitionList& PartitionState::ForDisk(int diskNumber) const {
  static const PartitionList empty;
  if (diskNumber < 0 || diskNumber >= kPartitionListDisks) return empty;
  return lists[diskNumber];
}

std::optional<FsType> ListedType(std::uint8_t type) {
  switch (type) {
    case partition_type::kFat12:
    case partition_type::kFat16Small:
    case partition_type::kFat16:
    case partition_type::kFat16Lba:
      return FsType::kFat16;
    case partition_type::kFat32:
    case partition_type::kFat32Lba:
      return FsType::kFat32;
    case partition_type::kNtfs:
      return FsType::kNtfs;
    default:
      return std::nullopt;
  }
}

bool IsExtendedType(std::uint8_t type) {
  return type == partition_type::kExtended || type == partition_type::kExtendedLba;
}

std::uint8_t TypeFromBootSector(ByteSpan bootSector, std::uint8_t tableType) {
  const FatBootSector fat = DecodeFatBootSector(bootSector);
  if (fat.saysFat32) return partition_type::kFat32;
  if (fat.saysFat16) return partition_type::kFat16;
  if (DecodeNtfsBootSector(bootSector).hasNtfsId) return partition_type::kNtfs;
  // exFAT shares the NTFS type; the boot sector tells them apart (ListedVolumeType).
  if (DecodeExfatBootSector(bootSector).IsExfatBootSector()) return partition_type::kNtfs;
  return tableType;
}

std::string PartitionItemText(int number, std::string_view fsName) {
  std::string text = "Partition - " + std::to_string(number) + " ( ";
  text += fsName;
  text += " )";
  return text;
}

bool StartsTooNearDiskEnd(std::uint64_t totalSectors, std::uint64_t firstSector) {
  // Compared in 64 bits: a 32-bit signed difference would call every partition of a disk
  // above 2^31 sectors corrupted, or let one far past the end through.
  return firstSector >= totalSectors || totalSectors - firstSector < kDiskEndMargin;
}

bool EntriesLookLikeATable(ByteSpan table) {
  bool anyInUse = false;
  for (int i = 0; i < 4; ++i) {
    const std::size_t at = kFirstEntryOffset + kEntrySize * static_cast<std::size_t>(i);
    const TableEntry entry = ReadEntry(table, i);
    const std::uint8_t status = Byte(table, at);
    if (entry.type == partition_type::kEmpty) continue;
    anyInUse = true;
    if ((status != 0x00 && status != 0x80) || entry.first == 0 || entry.count == 0) return false;
  }
  return anyInUse;
}

std::optional<VolumeAtSectorZero> FindVolumeAtSectorZero(SectorReader& reader, int diskNumber,
                                                         std::uint64_t totalSectors, ByteSpan sectorZero) {
  const ExfatBootSector exfat = DecodeExfatBootSector(sectorZero);
  // An exFAT boot sector names itself and keeps 53 zero bytes where a table's code would be; its
  // boot code may happen to read as table entries.
  if (!exfat.Plausible() && EntriesLookLikeATable(sectorZero)) return std::nullopt;
  VolumeAtSectorZero volume;
  const FatBootSector fat = DecodeFatBootSector(sectorZero);
  const NtfsBootSector ntfs = DecodeNtfsBootSector(sectorZero);
  if (exfat.Plausible()) {
    volume.type = FsType::kExfat;
    volume.endSector = exfat.volumeLength << (exfat.bytesPerSectorShift - 9);
  } else if (fat.Plausible() && !ntfs.hasNtfsId) {
    volume.type = fat.TypeByClusterCount();
    volume.endSector = fat.totalSectors;
  } else if (ntfs.IsNtfsBootSector() && ntfs.sectorScale != 0) {
    volume.type = FsType::kNtfs;
    // The volume's size leaves out its last sector, which holds the backup boot sector.
    volume.endSector = ntfs.totalSectors + ntfs.sectorScale;
  }
  if (volume.type == FsType::kNone || volume.endSector == 0) return std::nullopt;
  if (totalSectors != 0) volume.endSector = std::min(volume.endSector, totalSectors);
  // Only a boot sector that validation accepts there stands for a volume.
  ScanContext check;
  check.reader = &reader;
  check.diskNumber = diskNumber;
  check.partitionType = volume.type == FsType::kFat12 ? FsType::kFat16 : volume.type;
  check.searchStart = 0;
  check.searchEnd = volume.endSector;
  if (ValidatePartition(check) != 1) return std::nullopt;
  return volume;
}

std::vector<GptListing> ListGptPartitions(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                          const GptTable& gpt, std::vector<std::string>* skipped) {
  std::vector<GptListing> listed;
  const auto skip = [&](const GptEntry& e, const std::string& why) {
    if (!skipped) return;
    skipped->push_back("GPT entry " + std::to_string(e.index + 1) +
                       (e.name.empty() ? "" : " \"" + e.name + "\"") + " (" + GuidText(e.type) + "): " + why);
  };
  const std::uint64_t perLba = gpt.SectorsPerLba();
  std::vector<std::uint8_t> boot(kSectorSize, 0);
  for (const GptEntry& e : gpt.entries) {
    // LBAs far past any disk would wrap when counted in 512-byte sectors.
    if (e.lastLba >= UINT64_MAX / perLba || (totalSectors != 0 && e.firstLba * perLba >= totalSectors)) {
      skip(e, "it starts past the end of the disk");
      continue;
    }
    const std::uint64_t first = e.firstLba * perLba;
    std::fill(boot.begin(), boot.end(), std::uint8_t{0});
    reader.ReadSectors(diskNumber, first, 1, boot);
    const std::string typeText = GuidText(e.type);
    std::optional<FsType> type = ListedType(TypeFromBootSector(boot, partition_type::kEmpty));
    if (type) {
      // exFAT answers as NTFS does; its boot sector tells them apart.
      type = ListedVolumeType(reader, diskNumber, first, boot, *type);
    } else if (typeText == kBasicDataGuid || typeText == kEfiSystemGuid) {
      // A data or EFI partition whose boot sector is gone: exFAT when its backup boot sector says
      // so, else listed as FAT32, the file system of an EFI partition and of most sticks, as an
      // MBR entry of type 0x0C would be.
      type = ListedVolumeType(reader, diskNumber, first, boot, FsType::kNtfs) == FsType::kExfat
                 ? FsType::kExfat
                 : FsType::kFat32;
    } else {
      skip(e, "neither a data partition nor a FAT, exFAT or NTFS volume");
      continue;
    }
    listed.push_back({*type, first, (e.lastLba + 1) * perLba, e.index, e.name});
  }
  return listed;
}

void WalkGpt(SectorReader& reader, int diskNumber, std::uint64_t totalSectors, mytreectrl& tree,
             PartitionState& state, PartitionWalkOutcome& outcome) {
  PartitionList& list = state.ForDisk(diskNumber);
  std::string problem;
  const std::optional<GptTable> gpt = ReadGpt(reader, diskNumber, totalSectors, &problem);
  if (!gpt) {
    outcome.gptProblem = problem.empty() ? "no GPT header at LBA 1 or at the last LBA" : problem;
    return;
  }
  outcome.gpt = true;
  outcome.gptSectorSize = gpt->sectorSize;
  outcome.gptFromBackup = gpt->fromBackup;
  outcome.gptProblem = gpt->primaryProblem;
  for (const GptListing& p : ListGptPartitions(reader, diskNumber, totalSectors, *gpt, &outcome.gptSkipped)) {
    if (!Append(list, state, tree, p.type, p.firstSector, p.endSector, totalSectors, &outcome.overlong)) {
      outcome.listFull = true;
      break;
    }
    PartitionEntry& added = list.entries[list.count - 1];
    added.gpt = true;
    added.gptIndex = p.index;
    added.gptName = p.name;
    added.gptFromBackup = gpt->fromBackup;
  }
  outcome.listed = list.count;
}

PartitionWalkOutcome WalkPartitionTable(SectorReader& reader, int diskNumber, std::uint64_t totalSectors,
                                        mytreectrl& tree, PartitionState& state, std::uint64_t tableSector) {
  PartitionWalkOutcome outcome;
  state.anyPartitionListed = 0;
  state.defaultItem = kNoItem;
  PartitionList& list = state.ForDisk(diskNumber);
  // A walk that lists fewer partitions than the last one must not leave stale entries behind.
  list.Clear();

  std::vector<std::uint8_t> table(kSectorSize, 0);
  std::vector<std::uint8_t> boot(kSectorSize, 0);
  reader.ReadSectors(diskNumber, tableSector, 1, table);
  if (!HasBootSignature(table) && tableSector == 0) {
    // A card without a table whose exFAT boot sector is damaged is still read by its backup.
    std::vector<std::uint8_t> backup(kSectorSize, 0);
    reader.ReadSectors(diskNumber, exfat_boot::kRegionSectors, 1, backup);
    std::optional<VolumeAtSectorZero> volume;
    if (DecodeExfatBootSector(backup).Plausible())
      volume = FindVolumeAtSectorZero(reader, diskNumber, totalSectors, backup);
    if (volume) {
      outcome.volumeWithoutTable = true;
      outcome.volumeFromBackup = true;
      Append(list, state, tree, volume->type, 0, volume->endSector);
      outcome.listed = list.count;
      return outcome;
    }
  }
  if (!HasBootSignature(table)) return outcome;
  outcome.tableSigned = true;
  if (tableSector == 0) {
    for (int i = 0; i < 4; ++i) {
      if (ReadEntry(table, i).type == kProtectiveMbrType) outcome.protectiveMbr = true;
    }
    if (outcome.protectiveMbr) {
      WalkGpt(reader, diskNumber, totalSectors, tree, state, outcome);
      // Without a GPT to read, the MBR's own entries (a hybrid table) are all there is.
      if (outcome.gpt) return outcome;
    }
    if (auto volume = FindVolumeAtSectorZero(reader, diskNumber, totalSectors, table)) {
      outcome.volumeWithoutTable = true;
      Append(list, state, tree, volume->type, 0, volume->endSector);
      outcome.listed = list.count;
      return outcome;
    }
  }

  const std::uint64_t perLba = TableSectorScale(reader, diskNumber);
  bool chainPending = false;
  std::uint64_t extendedStart = 0;
  for (int i = 0; i < 4; ++i) {
    const TableEntry entry = ReadEntry(table, i, perLba);
    if (entry.type == partition_type::kEmpty) continue;
    if (StartsTooNearDiskEnd(totalSectors, entry.first)) {
      outcome.tableCorrupted = true;
      outcome.listed = list.count;
      reader.Trigger().Invoke();
      return outcome;
    }
    std::fill(boot.begin(), boot.end(), std::uint8_t{0});
    reader.ReadSectors(diskNumber, entry.first, 1, boot);
    const std::uint8_t type = TypeFromBootSector(boot, entry.type);
    if (auto listed = ListedType(type)) {
      const std::uint64_t first = entry.first;
      if (!Append(list, state, tree, ListedVolumeType(reader, diskNumber, first, boot, *listed), first,
                  first + entry.count, totalSectors, &outcome.overlong)) {
        outcome.listFull = true;
        outcome.listed = list.count;
        return outcome;
      }
    }
    if (IsExtendedType(type)) {
      // With several extended entries the last one is the chain that is followed.
      extendedStart = entry.first;
      chainPending = true;
    }
  }

  std::uint64_t linkOffset = 0;
  std::set<std::uint64_t> visited;
  int links = 0;
  while (chainPending) {
    chainPending = false;
    const std::uint64_t recordSector = extendedStart + linkOffset;
    if (!visited.insert(recordSector).second) {
      outcome.chainLooped = true;
      break;
    }
    if (++links > kMaxExtendedLinks) {
      outcome.chainTooLong = true;
      break;
    }
    std::fill(table.begin(), table.end(), std::uint8_t{0});
    reader.ReadSectors(diskNumber, recordSector, 1, table);
    for (int k = 0; k < 2; ++k) {
      const TableEntry entry = ReadEntry(table, k, perLba);
      if (entry.type == partition_type::kEmpty) continue;
      const std::uint64_t first = recordSector + entry.first;
      std::fill(boot.begin(), boot.end(), std::uint8_t{0});
      if (!IsExtendedType(entry.type)) reader.ReadSectors(diskNumber, first, 1, boot);
      const std::uint8_t type = TypeFromBootSector(boot, entry.type);
      // A logical drive that begins past the end of the disk has nothing to scan.
      const bool pastDiskEnd = totalSectors != 0 && first >= totalSectors;
      if (auto listed = ListedType(type); listed && !pastDiskEnd) {
        if (!Append(list, state, tree, ListedVolumeType(reader, diskNumber, first, boot, *listed), first,
                    first + entry.count, totalSectors, &outcome.overlong)) {
          outcome.listFull = true;
          outcome.listed = list.count;
          return outcome;
        }
      }
      if (IsExtendedType(type)) {
        linkOffset = entry.first;
        chainPending = true;
      }
    }
  }
  outcome.listed = list.count;
  return outcome;
}

}  // namespace quarrow
