#include "partition/lost_partition_search.h"

#include <algorithm>
#include <limits>
#include <span>
#include <vector>

#include "exfat/boot_sector.h"
#include "fat/boot_sector.h"
#include "ntfs/boot_sector.h"
#include "partition/gpt.h"
#include "results/table_numbers.h"

namespace quarrow {
namespace {

namespace pc = lost_partition_control;

constexpr std::uint64_t kTranslatedHeads = 255;
constexpr std::uint64_t kTranslatedSectorsPerTrack = 63;
// The FAT32 backup boot sector lies this many of the volume's own sectors after its start.
constexpr std::uint16_t kFat32BackupOffset = 6;
// The exFAT backup boot region begins twelve of the volume's own sectors after its start.
constexpr std::uint16_t kExfatBackupOffset = exfat_boot::kRegionSectors;
// 512-byte sectors per volume sector of the sector sizes media have (512 to 4096 bytes).
constexpr std::uint64_t kSectorScales[] = {1, 2, 4, 8};
constexpr std::uint64_t kLargestScale = 8;

std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a)
    return std::numeric_limits<std::uint64_t>::max();
  return a * b;
}

std::uint64_t TextNumber(const std::string& text) {
  const std::int64_t value = ReadI64(text);
  return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

// Sectors [first, first + count) of the disk, read in one request. Sectors that lie past the
// disk's end are not asked for and read as zeros, like sectors the reader could not read.
class SectorWindow {
 public:
  SectorWindow(const LostPartitionDisk& disk, std::uint64_t first, std::uint64_t count)
      : first_(first), bytes_(count * kSectorSize, 0) {
    std::uint64_t readable = count;
    if (disk.totalSectors != 0)
      readable = first >= disk.totalSectors ? 0 : std::min(count, disk.totalSectors - first);
    if (disk.reader && readable > 0) {
      disk.reader->ReadSectors(disk.diskNumber, first, static_cast<std::uint32_t>(readable),
                               std::span<std::uint8_t>(bytes_.data(), readable * kSectorSize));
    }
  }
  // The sector's bytes, empty when it is outside the window.
  ByteSpan At(std::uint64_t sector) const {
    if (sector < first_ || sector - first_ >= bytes_.size() / kSectorSize) return {};
    return ByteSpan(bytes_).subspan((sector - first_) * kSectorSize, kSectorSize);
  }

 private:
  std::uint64_t first_;
  std::vector<std::uint8_t> bytes_;
};

// Reads around sector x: the last volume sector before it (where an NTFS backup of a volume
// ending there lies: 1 to 8 sectors back, by the volume's sector size), x itself, and the FAT32
// and exFAT backups of a volume starting at x (6 and 12 of its own sectors on, up to x + 96).
SectorWindow WindowAround(const LostPartitionDisk& disk, std::uint64_t x, std::uint64_t extra = 0) {
  const std::uint64_t first = x < kLargestScale ? 0 : x - kLargestScale;
  return SectorWindow(disk, first, x - first + kExfatBackupOffset * kLargestScale + 1 + extra);
}

std::optional<std::string_view> TypeNamedIn(std::string_view text) {
  for (std::string_view name : {"FAT16", "FAT32", "NTFS", "exFAT"}) {
    if (text.find(name) != std::string_view::npos) return name;
  }
  return std::nullopt;
}

}  // namespace

SearchGeometry SearchGeometryFor(std::uint64_t cylinders, std::uint64_t heads, std::uint64_t sectorsPerTrack,
                                 std::uint64_t totalSectors) {
  SearchGeometry g{cylinders, heads, sectorsPerTrack};
  // Without heads every cylinder would start at sector 0; such a geometry is translated too.
  if (sectorsPerTrack != kTranslatedSectorsPerTrack || heads == 0) {
    g.cylinders = SaturatingProduct(SaturatingProduct(cylinders, heads), sectorsPerTrack) /
                  (kTranslatedHeads * kTranslatedSectorsPerTrack);
    g.heads = kTranslatedHeads;
    g.sectorsPerTrack = kTranslatedSectorsPerTrack;
  }
  const std::uint64_t perCylinder = g.CylinderSectors();
  if (totalSectors != 0 && perCylinder != 0) {
    g.cylinders = std::min(g.cylinders, (totalSectors + perCylinder - 1) / perCylinder);
  }
  return g;
}

SearchGeometry SearchGeometryFor(const SelectedDiskValues& disk) {
  return SearchGeometryFor(TextNumber(disk.cylindersText), TextNumber(disk.headsText),
                           TextNumber(disk.sectorsPerTrackText), disk.totalSectors);
}

std::array<std::uint64_t, 2> CylinderCandidates(const SearchGeometry& geometry, std::uint64_t cylinder) {
  const std::uint64_t base = cylinder * geometry.CylinderSectors();
  return {base + geometry.sectorsPerTrack, base};
}

std::optional<BootSectorFind> RecognizePartitionBootSector(ByteSpan sector, std::uint64_t sectorNumber) {
  if (!HasBootSignature(sector)) return std::nullopt;
  BootSectorFind find;
  std::uint64_t size = 0;
  // A FAT volume under 65536 sectors keeps its size in the 16-bit field at 19 and 0 at 32;
  // mkfs.fat writes small FAT32 volumes that way too.
  if (BytesEqual(sector, 85, "32")) {
    find.type = FsType::kFat32;
    size = DecodeFatBootSector(sector).totalSectors;
  } else if (BytesEqual(sector, 57, "16")) {
    find.type = FsType::kFat16;
    size = DecodeFatBootSector(sector).totalSectors;
  } else if (BytesEqual(sector, 3, "NTFS")) {
    find.type = FsType::kNtfs;
    // The low 32 bits of the length, in the volume's sectors, counted in 512-byte ones.
    const std::uint32_t scale = DecodeNtfsBootSector(sector).sectorScale;
    size = std::uint64_t{static_cast<std::uint32_t>(Le64(sector, 40))} * (scale == 0 ? 1 : scale);
  } else if (const ExfatBootSector exfat = DecodeExfatBootSector(sector); exfat.Plausible()) {
    find.type = FsType::kExfat;
    size = exfat.volumeLength << (exfat.bytesPerSectorShift - 9);
  } else {
    return std::nullopt;
  }
  // A volume of no sectors holds nothing to recover; such a sector is no boot sector.
  if (size == 0) return std::nullopt;
  find.firstSector = sectorNumber;
  find.endSector = sectorNumber + size;
  return find;
}

std::optional<BootSectorFind> RecognizeFat32BackupBootSector(ByteSpan sector, std::uint64_t sectorNumber) {
  auto find = RecognizePartitionBootSector(sector, sectorNumber);
  if (!find || find->type != FsType::kFat32) return std::nullopt;
  // Six of the volume's own sectors after its start, as its bytes per sector make them.
  const std::uint64_t scale = DecodeFatBootSector(sector).sectorScale;
  const std::uint64_t back = kFat32BackupOffset * scale;
  if (scale == 0 || sectorNumber < back || Le16(sector, 50) != kFat32BackupOffset) return std::nullopt;
  const std::uint64_t start = sectorNumber - back;
  // The hidden sectors name the start, counted in 512-byte sectors or in the volume's own.
  const std::uint32_t hidden = Le32(sector, 28);
  if (hidden != 0 && hidden != start && std::uint64_t{hidden} * scale != start) return std::nullopt;
  return BootSectorFind{FsType::kFat32, start, find->endSector - back};
}

std::optional<BootSectorFind> RecognizeExfatBackupBootSector(ByteSpan sector, std::uint64_t sectorNumber) {
  auto find = RecognizePartitionBootSector(sector, sectorNumber);
  if (!find || find->type != FsType::kExfat) return std::nullopt;
  // Twelve of the volume's own sectors after its start (512 to 4096 bytes each).
  const std::uint8_t shift = Byte(sector, exfat_boot::kBytesPerSectorShift);
  if (shift < 9 || shift > 12) return std::nullopt;
  const std::uint64_t back = std::uint64_t{kExfatBackupOffset} << (shift - 9);
  if (sectorNumber < back) return std::nullopt;
  const std::uint64_t start = sectorNumber - back;
  // The boot sector names the volume's start on the disk, in its own sectors, when the formatter
  // knew it.
  const std::uint64_t offset = Le64(sector, exfat_boot::kPartitionOffset);
  if (offset != 0 && offset != start && (offset << (shift - 9)) != start) return std::nullopt;
  return BootSectorFind{FsType::kExfat, start, find->endSector - back};
}

std::optional<BootSectorFind> RecognizeNtfsBackupBootSector(ByteSpan sector, std::uint64_t sectorNumber) {
  auto find = RecognizePartitionBootSector(sector, sectorNumber);
  if (!find || find->type != FsType::kNtfs) return std::nullopt;
  // The backup lies in the volume sector right after the ones its total counts, whatever their size.
  const std::uint64_t size = find->endSector - sectorNumber;
  if (size == 0 || size > sectorNumber) return std::nullopt;
  const std::uint64_t start = sectorNumber - size;
  const std::uint32_t hidden = Le32(sector, 28);
  if (hidden != 0 && hidden != start) return std::nullopt;
  return BootSectorFind{FsType::kNtfs, start, sectorNumber};
}

LostPartitionDisk LostPartitionDiskFor(SectorReader& reader, int diskNumber, const SelectedDiskValues& disk) {
  return LostPartitionDisk{&reader, diskNumber, disk.totalSectors, SearchGeometryFor(disk),
                           DiskTexts{disk.totalSectorsText, disk.sizeText}};
}

LostPartitionSearch::LostPartitionSearch(LostPartitionDisk disk, PartitionList& list, mytreectrl& tree,
                                         Feedback& ui, SearchMode mode, LostPartitionHooks hooks)
    : disk_(std::move(disk)), list_(list), tree_(tree), ui_(ui), mode_(mode), hooks_(std::move(hooks)) {}

LostPartitionSearch::~LostPartitionSearch() {
  if (trigger_) trigger_->SetStart(nullptr);
  abandoned_ = true;
  {
    std::lock_guard lock(mutex_);
    stopSource_.request_stop();
  }
  Wait();
}

void LostPartitionSearch::InstallAutomaticStart(LostPartitionTrigger& trigger) {
  trigger_ = &trigger;
  trigger.SetStart([this] { AutomaticStart(); });
}

void LostPartitionSearch::SearchMorePartitions() {
  if (Running()) return;
  const bool legacy = disk_.reader && disk_.reader->Family() == OsFamily::kLegacy;
  if (legacy) {
    // The legacy family's variant only animates its progress bar; it searches nothing, so the
    // outcome says it did not run and the page goes straight to where that animation ends.
    std::lock_guard lock(mutex_);
    outcome_ = LostPartitionOutcome{};
    return;
  }
  ui_.SetText(pc::kProgressText, "Searching Partition...");
  // The placeholder keeps the empty tree expandable while the first find is awaited; it goes in
  // before the worker starts, so that only the worker changes the tree afterwards.
  if (list_.count == 0) tree_.InsertItem(tree_.Root(), "", 0, 0);
  StartWorker();
}

void LostPartitionSearch::AutomaticStart() {
  if (Running()) return;
  if (mode_ == SearchMode::kAdvance) {
    std::lock_guard lock(mutex_);
    marker_ = std::string(kAdvanceMarker);
  }
  StartWorker();
}

bool LostPartitionSearch::Stop() {
  if (!Running()) return false;
  if (!ui_.MessageBox(kStopSearchQuestion, kProductTitle, MessageIcon::kQuestion)) {
    // The tree belongs to the worker while it runs; it drops the placeholder at its next step.
    removePlaceholder_ = true;
    return false;
  }
  RequestStop();
  return true;
}

void LostPartitionSearch::RequestStop() {
  if (!Running()) return;
  userStopped_ = true;
  std::lock_guard lock(mutex_);
  stopSource_.request_stop();
}

void LostPartitionSearch::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

std::string LostPartitionSearch::Marker() const {
  std::lock_guard lock(mutex_);
  return marker_;
}

LostPartitionOutcome LostPartitionSearch::Outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

void LostPartitionSearch::StartWorker() {
  std::lock_guard lock(mutex_);
  if (running_.exchange(true)) return;
  if (worker_.joinable()) worker_.join();  // the last run has ended; only its thread remains
  userStopped_ = false;
  removePlaceholder_ = false;
  stopSource_ = std::stop_source();
  worker_ = std::jthread([this, token = stopSource_.get_token()] {
    LostPartitionOutcome outcome = Run(token);
    {
      std::lock_guard done(mutex_);
      outcome_ = outcome;
    }
    running_ = false;
  });
}

LostPartitionOutcome LostPartitionSearch::RunOnThisThread() {
  std::stop_token token;
  {
    std::lock_guard lock(mutex_);
    if (running_.exchange(true)) return outcome_;
    userStopped_ = false;
    removePlaceholder_ = false;
    stopSource_ = std::stop_source();
    token = stopSource_.get_token();
  }
  LostPartitionOutcome outcome = Run(token);
  {
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
  }
  running_ = false;
  return outcome;
}

LostPartitionOutcome LostPartitionSearch::Run(std::stop_token stop) {
  LostPartitionOutcome outcome;
  outcome.ran = true;
  const TreeItem root = tree_.Root();
  if (hooks_.selectPartitionType) hooks_.selectPartitionType(pc::kNoTypeEntry);
  ui_.SetText(pc::kStartSectorEdit, "0");
  if (list_.count == 0) tree_.Expand(root, false);
  // "Unknown Partition" stood for the whole disk because nothing was found; this search decides
  // that again.
  for (TreeItem item : std::vector<TreeItem>(tree_.Children(root))) {
    if (tree_.Text(item) == kUnknownPartition) tree_.DeleteItem(item);
  }

  Scan(stop, outcome);
  if (abandoned_) return outcome;

  if (userStopped_) {
    outcome.stopped = true;
  } else {
    if (list_.count > 0 && hooks_.selectPartitionType) {
      hooks_.selectPartitionType(PartitionTypeComboIndex(list_.Name(0)));
    }
    ui_.SetProgress(pc::kProgress, 100, "Completed ");
  }
  // Also after a stop: an empty item left in front would hide "Unknown Partition".
  RemovePlaceholder();
  EndOfSearch(outcome);
  return outcome;
}

void LostPartitionSearch::Scan(std::stop_token stop, LostPartitionOutcome& outcome) {
  const SearchGeometry& g = disk_.geometry;
  const std::uint64_t perCylinder = g.CylinderSectors();
  const TreeItem root = tree_.Root();
  bool full = false;

  // Offers what a sector says. A signed sector ends the scan once the list holds 26 partitions;
  // a find already listed (same start, end and type) is not added again. True when the sector
  // named a partition.
  auto offer = [&](ByteSpan sector, const std::optional<BootSectorFind>& find) {
    if (full || !HasBootSignature(sector)) return false;
    if (list_.count >= kMaxListedPartitions) {
      full = outcome.listFull = true;
      return false;
    }
    if (!find) return false;
    const std::string_view name = FsTypeText(find->type);
    for (int i = 0; i < list_.count; ++i) {
      const PartitionEntry& e = list_.entries[i];
      if (e.firstSector == find->firstSector && e.endSector == find->endSector && list_.Name(i) == name)
        return true;
    }
    const TreeItem item = tree_.InsertItem(root, PartitionItemText(list_.count + 1, name),
                                           tree_image::kDriveLit, tree_image::kDriveLit);
    list_.Append(find->type, PartitionEntry{item, find->firstSector, find->endSector});
    tree_.Expand(root, true);
    ++outcome.added;
    return true;
  };
  // A backup found at sector n counts for the volume the scan looks at only when it names that
  // volume's start (or end): a copy of another size lies elsewhere and is looked for there.
  auto backupAt = [&](const SectorWindow& w, std::uint64_t n, auto recognize, auto names) {
    std::optional<BootSectorFind> find = recognize(w.At(n), n);
    if (find && !names(*find)) find.reset();
    return offer(w.At(n), find);
  };
  // A volume starting at x: its boot sector, or where that is gone its FAT32 or exFAT backup,
  // six or twelve of the volume's own sectors on.
  auto volumeAt = [&](const SectorWindow& w, std::uint64_t x) {
    if (offer(w.At(x), RecognizePartitionBootSector(w.At(x), x))) return true;
    const auto startsAtX = [x](const BootSectorFind& f) { return f.firstSector == x; };
    for (std::uint64_t scale : kSectorScales) {
      if (backupAt(w, x + kFat32BackupOffset * scale, RecognizeFat32BackupBootSector, startsAtX)) return true;
    }
    for (std::uint64_t scale : kSectorScales) {
      if (backupAt(w, x + kExfatBackupOffset * scale, RecognizeExfatBackupBootSector, startsAtX)) return true;
    }
    return false;
  };
  // A volume ending just before x, by its NTFS backup boot sector in the last volume sector.
  auto volumeEndingBefore = [&](const SectorWindow& w, std::uint64_t x) {
    for (std::uint64_t scale : kSectorScales) {
      if (x < scale) break;
      const std::uint64_t n = x - scale;
      const std::uint32_t own = DecodeNtfsBootSector(w.At(n)).sectorScale;
      if (own == scale &&
          backupAt(w, n, RecognizeNtfsBackupBootSector, [](const BootSectorFind&) { return true; }))
        return;
    }
  };
  auto alignedFrom = [](std::uint64_t s) {
    return (s + kAlignmentSectors - 1) / kAlignmentSectors * kAlignmentSectors;
  };
  auto probeAligned = [&](std::uint64_t m) {
    const SectorWindow w = WindowAround(disk_, m);
    volumeAt(w, m);
    volumeEndingBefore(w, m);
  };
  auto step = [&] {
    if (removePlaceholder_.exchange(false)) RemovePlaceholder();
  };

  // A GPT outlives the MBR in front of it: its header and entries are read first, so that its
  // partitions come with their table's ends, names and order.
  if (std::optional<GptTable> gpt = ReadGpt(*disk_.reader, disk_.diskNumber, disk_.totalSectors)) {
    outcome.gptFound = true;
    outcome.gptFromBackup = gpt->fromBackup;
    for (const GptListing& p :
         ListGptPartitions(*disk_.reader, disk_.diskNumber, disk_.totalSectors, *gpt, nullptr)) {
      if (list_.count >= kMaxListedPartitions) {
        full = outcome.listFull = true;
        break;
      }
      const std::string_view name = FsTypeText(p.type);
      bool known = false;
      for (int i = 0; i < list_.count; ++i) {
        const PartitionEntry& e = list_.entries[i];
        known =
            known || (e.firstSector == p.firstSector && e.endSector == p.endSector && list_.Name(i) == name);
      }
      if (known) continue;
      const TreeItem item = tree_.InsertItem(root, PartitionItemText(list_.count + 1, name),
                                             tree_image::kDriveLit, tree_image::kDriveLit);
      PartitionEntry entry{item, p.firstSector,
                           std::min(p.endSector, disk_.totalSectors ? disk_.totalSectors : p.endSector)};
      entry.gpt = true;
      entry.gptIndex = p.index;
      entry.gptName = p.name;
      entry.gptFromBackup = gpt->fromBackup;
      list_.Append(p.type, entry);
      tree_.Expand(root, true);
      ++outcome.added;
    }
  }

  for (std::uint64_t c = 0; c < g.cylinders && !full; ++c) {
    if (stop.stop_requested()) return;
    step();
    ui_.SetProgress(pc::kProgress, ProgressPercent(c, g.cylinders), "Completed ");
    const auto [head1, head0] = CylinderCandidates(g, c);
    // One request covers both candidates, their FAT32 backups and the sector before the cylinder.
    const SectorWindow w = WindowAround(disk_, head0, head1 - head0);
    if (!volumeAt(w, head1)) volumeAt(w, head0);
    volumeEndingBefore(w, head0);
    for (std::uint64_t m = alignedFrom(head0); m < head0 + perCylinder && !full; m += kAlignmentSectors) {
      if (m != head0 && m != head1) probeAligned(m);
    }
  }
  // Past the last whole cylinder (all of the disk when the geometry has none), the 1 MiB
  // boundaries up to the end of the disk, and the volumes that end with the last cylinder or
  // with the disk.
  const std::uint64_t tail = SaturatingProduct(g.cylinders, perCylinder);
  if (disk_.totalSectors == 0 || full) return;
  for (std::uint64_t m = alignedFrom(tail); m < disk_.totalSectors && !full; m += kAlignmentSectors) {
    if (stop.stop_requested()) return;
    step();
    if (g.cylinders == 0)
      ui_.SetProgress(pc::kProgress, ProgressPercent(m, disk_.totalSectors), "Completed ");
    probeAligned(m);
  }
  std::vector<std::uint64_t> ends = {disk_.totalSectors};
  if (tail != 0 && tail < disk_.totalSectors) ends.push_back(tail);
  for (std::uint64_t end : ends) {
    const std::uint64_t first = end < kLargestScale ? 0 : end - kLargestScale;
    volumeEndingBefore(SectorWindow(disk_, first, end - first), end);
  }
}

void LostPartitionSearch::RemovePlaceholder() {
  for (TreeItem item : tree_.Children(tree_.Root())) {
    if (tree_.Text(item).empty()) {
      tree_.DeleteItem(item);
      return;
    }
  }
}

void LostPartitionSearch::EndOfSearch(LostPartitionOutcome& outcome) {
  const TreeItem root = tree_.Root();
  const auto& children = tree_.Children(root);
  std::optional<std::string_view> name;
  if (!children.empty()) name = TypeNamedIn(tree_.Text(children.front()));
  PartitionDetails details;
  if (name) {
    details = PartitionDetailsFor(list_, *name, 0, disk_.diskNumber, mode_, disk_.texts);
  } else {
    if (children.empty()) tree_.InsertItem(root, std::string(kUnknownPartition), 0, 0);
    outcome.unknownPartition = true;
    details = PartitionDetailsFor(list_, kUnknownPartition, 0, disk_.diskNumber, mode_, disk_.texts);
  }
  if (details.expandRoot) tree_.Expand(root, true);
  if (hooks_.showDetails) hooks_.showDetails(details);
  outcome.details = std::move(details);
}

}  // namespace quarrow
