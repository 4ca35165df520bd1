#include "fat/fs_analysis.h"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

#include "fat/advance_scan.h"
#include "results/identified_rows.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

namespace fs_col = fat_fs_col;
namespace dir_col {
inline constexpr int kSector = 0, kSelf = 1, kParent = 2, kFileSystem = 3, kDate = 4, kTime = 5;
}

constexpr std::array<std::uint32_t, 8> kClusterSizes = {1, 2, 4, 8, 16, 32, 64, 128};
// A derived file system whose directories reach past this cluster cannot be FAT16.
constexpr std::uint32_t kLargestFat16Cluster = 65536;
// No sector of a 512-byte disk lies this far; larger texts are clamped so that the layout
// arithmetic below cannot overflow 64 bits.
constexpr std::int64_t kSectorLimit = std::int64_t{1} << 56;

std::int64_t SectorValue(std::string_view text) {
  return std::clamp<std::int64_t>(ReadI64(text), -kSectorLimit, kSectorLimit);
}

// The directories as numbers, parsed once rather than at every comparison.
struct Directories {
  std::vector<std::int64_t> sector;
  std::vector<std::uint32_t> self;
  std::vector<int> fileSystem;  // kUnassignedDirectory, kDirectoryWithoutPartner or a number

  std::size_t Size() const { return sector.size(); }
  bool Unassigned(std::size_t row) const { return fileSystem[row] == kUnassignedDirectory; }
};

// The progress bar of the analysis moves with every assignment.
class AssignmentProgress {
 public:
  AssignmentProgress(Feedback& ui, std::size_t directories)
      : directories_(directories), progress_(ui, control::kProgress, 0) {}
  void Assigned() { progress_.Show(++assignments_, directories_); }

 private:
  std::uint64_t directories_;
  std::uint64_t assignments_ = 0;
  ProgressSteps progress_;
};

// sector = self x clusterSize + cluster0, computed without overflow.
bool OnLayout(std::int64_t sector, std::uint32_t self, std::uint32_t clusterSize, std::int64_t cluster0) {
  if (sector < cluster0) return false;
  const auto offset = static_cast<std::uint64_t>(sector - cluster0);
  if (clusterSize == 0) return offset == 0;
  return offset % clusterSize == 0 && offset / clusterSize == self;
}

// The FAT32 backup boot sector lies this many sectors after the boot sector it copies.
constexpr std::uint16_t kFat32BackupOffset = 6;

std::array<std::string, 11> RowCells(const TextTable& table, int row) {
  std::array<std::string, 11> cells;
  for (int c = 0; c < static_cast<int>(cells.size()); ++c)
    cells[static_cast<std::size_t>(c)] = table.Cell(row, c);
  return cells;
}

// A FAT32 boot sector that owns no directory may be the backup copy of a boot sector that is
// gone. When the sector on the disk still reads as the row says and its backup field says 6,
// this is the row its volume would have from the real start, 6 sectors earlier.
std::optional<FatBootRow> ReadAsBackup(ScanContext& ctx, const TextTable& boots, int f) {
  if (boots.Cell(f, fs_col::kPartType) != "FAT32") return std::nullopt;
  const std::int64_t at = SectorValue(boots.Cell(f, fs_col::kSector));
  if (at < kFat32BackupOffset) return std::nullopt;
  std::array<std::uint8_t, kSectorSize> sector{};
  if (ctx.Read(static_cast<std::uint64_t>(at), 1, sector) == 0) return std::nullopt;
  if (Le16(sector, 50) != kFat32BackupOffset) return std::nullopt;
  // A table that no longer matches the disk (one loaded from a log, say) is not reinterpreted.
  const auto asFound = ClassifyBootSector(sector, static_cast<std::uint64_t>(at));
  if (!asFound || asFound->Cells() != RowCells(boots, f)) return std::nullopt;
  return ClassifyBootSector(sector, static_cast<std::uint64_t>(at - kFat32BackupOffset));
}

// Phase 1: a boot sector owns the unassigned directories that sit on its layout within its volume.
int AssignToBootSectors(ScanContext& ctx, Directories& dirs, AssignmentProgress& progress) {
  const TextTable& boots = ctx.results.tables.FileSystemTable;
  TextTable& identified = ctx.results.tables.IdentifiedFileSystemTable;
  int count = 0;
  std::vector<std::size_t> open;
  for (std::size_t r = 0; r < dirs.Size(); ++r) {
    if (dirs.Unassigned(r)) open.push_back(r);
  }
  // Gives the open directories on a layout to a new file system whose row is cells; the
  // directories taken drop out of the list the later boot sectors search. False when none fits.
  auto claim = [&](std::uint32_t spc, std::int64_t cluster0, std::int64_t end,
                   const std::array<std::string, 11>& cells) {
    bool owns = false;
    std::size_t kept = 0;
    for (std::size_t r : open) {
      const std::int64_t s = dirs.sector[r];
      if (s > end || !OnLayout(s, dirs.self[r], spc, cluster0)) {
        open[kept++] = r;
        continue;
      }
      if (!owns) {
        owns = true;
        ++count;
        const int row = identified.AppendRow(cells[0]);
        for (int c = 1; c < static_cast<int>(cells.size()); ++c)
          identified.SetCell(row, c, cells[static_cast<std::size_t>(c)]);
      }
      dirs.fileSystem[r] = count;
      progress.Assigned();
    }
    open.resize(kept);
    return owns;
  };
  for (int f = 0; f < boots.RowCount() && !open.empty(); ++f) {
    const std::uint32_t spc = ReadU32(boots.Cell(f, fs_col::kSpc));
    const std::int64_t cluster0 = SectorValue(boots.Cell(f, fs_col::kCluster0));
    const std::int64_t end = SectorValue(boots.Cell(f, fs_col::kTotalSectors));
    if (claim(spc, cluster0, end, RowCells(boots, f))) continue;
    if (const auto main = ReadAsBackup(ctx, boots, f)) {
      const std::array<std::string, 11> cells = main->Cells();
      claim(main->sectorsPerCluster, SectorValue(cells[fs_col::kCluster0]),
            SectorValue(cells[fs_col::kTotalSectors]), cells);
    }
  }
  return count;
}

// The unassigned directories of one cluster size, grouped by the Cluster0Start that the cluster
// size gives them (sector - size x self) and within a group in row order. Two directories fit
// with this cluster size exactly when they are in the same group, the group's Cluster0Start is
// above 0 and the later one's self cluster lies between the earlier one's self cluster and its
// sector. Directories assigned since the groups were built are skipped through a forward link
// that every skip shortens, so that each one costs about once.
class LayoutGroups {
 public:
  LayoutGroups(std::uint32_t clusterSize, const Directories& dirs) : size_(clusterSize), dirs_(dirs) {
    for (std::size_t r = 0; r < dirs.Size(); ++r) {
      if (dirs.Unassigned(r)) slots_.push_back({Key(static_cast<int>(r)), static_cast<int>(r)});
    }
    // By key, rows in order within a key: the keys sit beside the rows, so neither the sort nor
    // a group's lookup reaches into the directories for them.
    std::stable_sort(slots_.begin(), slots_.end(),
                     [](const Slot& a, const Slot& b) { return a.key < b.key; });
    next_.resize(slots_.size() + 1);
    for (std::size_t p = 0; p < next_.size(); ++p) next_[p] = static_cast<std::uint32_t>(p);
    // In a table written by the scan, sectors and so self clusters rise with the row within a
    // group; where they do, a search can end at the first self cluster that is too large.
    ordered_.assign(slots_.size(), 1);
    for (std::size_t lo = 0; lo < slots_.size();) {
      std::size_t hi = lo + 1;
      bool rising = true;
      for (; hi < slots_.size() && slots_[hi].key == slots_[lo].key; ++hi) {
        if (dirs.self[slots_[hi].row] < dirs.self[slots_[hi - 1].row]) rising = false;
      }
      if (!rising) std::fill(ordered_.begin() + lo, ordered_.begin() + hi, 0);
      lo = hi;
    }
  }

  std::uint32_t ClusterSize() const { return size_; }
  std::int64_t Key(int row) const {
    return dirs_.sector[row] - static_cast<std::int64_t>(size_) * dirs_.self[row];
  }

  // The first unassigned directory after row j that pairs with it in group key, or INT_MAX;
  // rows at or past limit are not looked at.
  int FirstPartner(int j, std::int64_t key, int limit) {
    const std::uint32_t low = dirs_.self[j];
    const std::int64_t high = dirs_.sector[j];
    auto [lo, hi] = Group(key);
    auto from = std::upper_bound(slots_.begin() + static_cast<std::ptrdiff_t>(lo),
                                 slots_.begin() + static_cast<std::ptrdiff_t>(hi), j,
                                 [](int row, const Slot& slot) { return row < slot.row; });
    for (std::size_t p = Live(static_cast<std::size_t>(from - slots_.begin())); p < hi; p = Live(p + 1)) {
      const int b = slots_[p].row;
      if (b >= limit) break;
      const std::uint32_t h = dirs_.self[b];
      if (h > low && h < high) return b;
      if (ordered_[p] && h >= high) break;
    }
    return INT_MAX;
  }

  // Calls take(row) for every unassigned directory of group key, in row order.
  template <typename Take>
  void ForEachUnassigned(std::int64_t key, Take take) {
    auto [lo, hi] = Group(key);
    for (std::size_t p = Live(lo); p < hi; p = Live(p + 1)) take(slots_[p].row);
  }

 private:
  struct Slot {
    std::int64_t key;
    int row;
  };

  std::pair<std::size_t, std::size_t> Group(std::int64_t key) const {
    auto lo = std::lower_bound(slots_.begin(), slots_.end(), key,
                               [](const Slot& slot, std::int64_t k) { return slot.key < k; });
    auto hi = std::upper_bound(lo, slots_.end(), key,
                               [](std::int64_t k, const Slot& slot) { return k < slot.key; });
    return {static_cast<std::size_t>(lo - slots_.begin()), static_cast<std::size_t>(hi - slots_.begin())};
  }

  // The first position at or after p whose directory is still unassigned (slots_.size() if none).
  std::size_t Live(std::size_t p) {
    std::size_t q = p;
    while (q < slots_.size() &&
           (next_[q] != q || !dirs_.Unassigned(static_cast<std::size_t>(slots_[q].row)))) {
      if (next_[q] == q) next_[q] = static_cast<std::uint32_t>(q + 1);
      q = next_[q];
    }
    while (p != q) {
      const std::size_t after = next_[p];
      next_[p] = static_cast<std::uint32_t>(q);
      p = after;
    }
    return q;
  }

  std::uint32_t size_;
  const Directories& dirs_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> next_;
  std::vector<std::uint8_t> ordered_;
};

struct DerivedFileSystem {
  std::uint32_t clusterSize = 0;
  std::int64_t cluster0 = 0;
  std::uint32_t largestSelf = 0;
};

struct PairHash {
  std::size_t operator()(const std::pair<std::uint32_t, std::int64_t>& p) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(p.second) * 1000003u + p.first);
  }
};

// Phase 2, giving the same assignments as trying every later directory against each
// unassigned one in turn, with the first that fits ending the search.
std::vector<DerivedFileSystem> PairDirectories(Directories& dirs, int firstNumber,
                                               AssignmentProgress& progress) {
  std::vector<LayoutGroups> groups;
  groups.reserve(kClusterSizes.size());
  for (std::uint32_t size : kClusterSizes) groups.emplace_back(size, dirs);
  // A directory that found no partner finds none later either, as the unassigned set only
  // shrinks; copies of it are answered at once.
  std::unordered_set<std::pair<std::uint32_t, std::int64_t>, PairHash> partnerless;
  std::vector<DerivedFileSystem> derived;
  int number = firstNumber;
  for (std::size_t r = 0; r < dirs.Size(); ++r) {
    if (!dirs.Unassigned(r)) continue;
    const int j = static_cast<int>(r);
    const std::uint32_t l = dirs.self[r];
    const std::int64_t m = dirs.sector[r];
    if (partnerless.count({l, m})) {
      dirs.fileSystem[r] = kDirectoryWithoutPartner;
      continue;
    }
    int partner = INT_MAX;
    LayoutGroups* chosen = nullptr;
    for (LayoutGroups& g : groups) {
      const std::int64_t key = g.Key(j);
      if (key <= 0) continue;
      const int b = g.FirstPartner(j, key, partner);
      if (b < partner) {
        partner = b;
        chosen = &g;
      }
    }
    if (!chosen) {
      dirs.fileSystem[r] = kDirectoryWithoutPartner;
      partnerless.insert({l, m});
      continue;
    }
    ++number;
    DerivedFileSystem fs{chosen->ClusterSize(), chosen->Key(j), dirs.self[partner]};
    // j and its partner lie on the layout too, so they are assigned here with the rest.
    chosen->ForEachUnassigned(fs.cluster0, [&](int row) {
      dirs.fileSystem[row] = number;
      fs.largestSelf = std::max(fs.largestSelf, dirs.self[row]);
      progress.Assigned();
    });
    derived.push_back(fs);
  }
  return derived;
}

TextTable* IdentifiedRow(ScanContext& ctx, int index) {
  TextTable& table = ctx.results.tables.IdentifiedFileSystemTable;
  return index >= 0 && index < table.RowCount() ? &table : nullptr;
}

// Where the FATs of an identified file system are, worked out from sectors that begin like a FAT
// and from the layout the row gives: the FATs end right where the data area (FAT32) or the root
// directory (FAT16) begins, two copies of one size, and that size holds an entry for every
// cluster the volume can have and not many more. A later format of the same space puts its own
// FATs below the old data area too, usually with the first one exactly where the old first FAT
// was; those sectors begin like a FAT as well, but their size does not fit the old layout.
struct FatPlacement {
  std::uint64_t firstFat = 0;   // 0: not found
  std::uint64_t secondFat = 0;  // 0: not found
  std::uint64_t readFrom = 0;   // the copy that chains are read from
  std::uint64_t sectorsPerFat = 0;
  std::uint64_t fatsEnd = 0;  // the sector after the last FAT
};

// Entries of the copy at fatSector that say their cluster is in use, for the given clusters.
int ClustersInUse(ScanContext& ctx, std::uint64_t fatSector, bool fat32,
                  const std::vector<std::uint32_t>& clusters) {
  const std::uint32_t perSector = fat32 ? 128 : 256;
  std::array<std::uint8_t, kSectorSize> sector{};
  std::uint64_t loaded = UINT64_MAX;
  int inUse = 0;
  for (std::uint32_t c : clusters) {  // ascending, so each FAT sector is read once
    const std::uint64_t index = c / perSector;
    if (index != loaded) {
      if (ctx.Read(fatSector + index, 1, sector) == 0)
        std::fill(sector.begin(), sector.end(), std::uint8_t{0});
      loaded = index;
    }
    const std::size_t at = std::size_t{c % perSector} * (fat32 ? 4 : 2);
    const std::uint32_t entry = fat32 ? (Le32(sector, at) & 0x0FFFFFFF) : Le16(sector, at);
    inUse += entry != 0;
  }
  return inUse;
}

std::optional<FatPlacement> PlaceFats(ScanContext& ctx, int chosenIndex,
                                      const std::vector<std::uint64_t>& signatures) {
  const TextTable& table = ctx.results.tables.IdentifiedFileSystemTable;
  const bool fat32 = table.Cell(chosenIndex, fs_col::kPartType) == "FAT32";
  const std::int64_t cluster0 = SectorValue(table.Cell(chosenIndex, fs_col::kCluster0));
  const std::uint32_t spc = ReadU32(table.Cell(chosenIndex, fs_col::kSpc));
  if (!IsValidSectorsPerCluster(spc) || cluster0 <= 0) return std::nullopt;
  // A FAT16 root whose size the row does not give has the 512 entries of nearly every volume.
  std::uint32_t rootSectors = fat32 ? 0 : ReadU32(table.Cell(chosenIndex, fs_col::kRootSectors));
  if (!fat32 && rootSectors == 0) rootSectors = 32;
  const std::int64_t dataStart = cluster0 + 2 * std::int64_t{spc};
  const std::int64_t fatsEnd = dataStart - rootSectors;
  if (fatsEnd <= 0) return std::nullopt;

  // The directories of this file system are clusters of it: its FAT has entries for them.
  std::vector<std::uint32_t> dirClusters;
  const TextTable& dirs = ctx.results.tables.DirectoryTable;
  for (int r = 0; r < dirs.RowCount(); ++r) {
    if (ReadI32Saturating(dirs.Cell(r, dir_col::kFileSystem)) != chosenIndex + 1) continue;
    const std::uint32_t self = ReadU32(dirs.Cell(r, dir_col::kSelf));
    if (self >= 2) dirClusters.push_back(self);
  }
  std::sort(dirClusters.begin(), dirClusters.end());
  dirClusters.erase(std::unique(dirClusters.begin(), dirClusters.end()), dirClusters.end());
  const std::uint64_t largest = dirClusters.empty() ? 2 : dirClusters.back();
  // A "FAT16" search may have found a FAT12 volume, whose entries take a byte and a half.
  const std::uint64_t least = fat32 ? ((largest + 1) * 4 + kSectorSize - 1) / kSectorSize
                                    : ((largest + 1) * 3 / 2 + kSectorSize - 1) / kSectorSize;
  // The volume ends no later than the range or the disk; a FAT is sized to the clusters up to its
  // end, with some slack for the rounding formatters do (to a cluster, or a little over).
  std::uint64_t end = ctx.searchEnd;
  if (ctx.reader) end = std::max(end, ctx.reader->SizeInSectors(ctx.diskNumber));
  const std::uint64_t clusters = end > static_cast<std::uint64_t>(dataStart) ? (end - dataStart) / spc : 0;
  const std::uint64_t needed = ((clusters + 2) * (fat32 ? 4 : 2) + kSectorSize - 1) / kSectorSize;
  const std::uint64_t most = needed + needed / 8 + spc + 8;
  auto fits = [&](std::int64_t size) {
    return size > 0 && static_cast<std::uint64_t>(size) >= least && static_cast<std::uint64_t>(size) <= most;
  };
  auto signatureAt = [&](std::int64_t s) {
    return s > 0 && std::binary_search(signatures.begin(), signatures.end(), static_cast<std::uint64_t>(s));
  };

  FatPlacement placed;
  placed.fatsEnd = static_cast<std::uint64_t>(fatsEnd);
  // Both copies where the layout puts them.
  for (std::uint64_t second : signatures) {
    const std::int64_t size = fatsEnd - static_cast<std::int64_t>(second);
    if (!fits(size) || !signatureAt(static_cast<std::int64_t>(second) - size)) continue;
    placed.firstFat = second - static_cast<std::uint64_t>(size);
    placed.secondFat = second;
    placed.sectorsPerFat = static_cast<std::uint64_t>(size);
    // The copies normally agree. Where they do not, the one that has the file system's folders
    // in use is its own; the other was written over by a later format.
    const bool secondKnowsMore = ClustersInUse(ctx, second, fat32, dirClusters) >
                                 ClustersInUse(ctx, placed.firstFat, fat32, dirClusters);
    placed.readFrom = secondKnowsMore ? second : placed.firstFat;
    return placed;
  }
  // One copy left: the last FAT, ending where the layout says (or the only FAT of a volume that
  // has one); failing that, a first FAT whose second copy is gone.
  for (std::uint64_t second : signatures) {
    const std::int64_t size = fatsEnd - static_cast<std::int64_t>(second);
    if (!fits(size)) continue;
    placed.secondFat = placed.readFrom = second;
    placed.sectorsPerFat = static_cast<std::uint64_t>(size);
    return placed;
  }
  for (std::uint64_t first : signatures) {
    const std::int64_t both = fatsEnd - static_cast<std::int64_t>(first);
    if (both % 2 != 0 || !fits(both / 2)) continue;
    placed.firstFat = placed.readFrom = first;
    placed.sectorsPerFat = static_cast<std::uint64_t>(both / 2);
    return placed;
  }
  return std::nullopt;
}

std::optional<FsType> FatTypeOf(const TextTable& table, int row) {
  const auto type = FsTypeFromText(table.Cell(row, fs_col::kPartType));
  if (!type || !IsFat(*type)) return std::nullopt;
  return type;
}

}  // namespace

int AnalyzeFileSystems(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  ui.SetText(control::kStatus, "Analyzing The Data For File Systems Phase 1 \\ 2   ...");
  ui.SetProgress(control::kProgress, 0, "0  % Completed ");

  TextTable& table = ctx.results.tables.DirectoryTable;
  Directories dirs;
  const auto rows = static_cast<std::size_t>(table.RowCount());
  dirs.sector.resize(rows);
  dirs.self.resize(rows);
  dirs.fileSystem.resize(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    const int row = static_cast<int>(r);
    dirs.sector[r] = SectorValue(table.Cell(row, dir_col::kSector));
    dirs.self[r] = ReadU32(table.Cell(row, dir_col::kSelf));
    dirs.fileSystem[r] = ReadI32Saturating(table.Cell(row, dir_col::kFileSystem));
  }
  const std::vector<int> before = dirs.fileSystem;

  AssignmentProgress progress(ui, rows);
  const int fromBootSectors = AssignToBootSectors(ctx, dirs, progress);
  ui.SetText(control::kStatus, "Analyzing The Data For File Systems Phase 2 \\ 2   ...");
  const std::vector<DerivedFileSystem> derived = PairDirectories(dirs, fromBootSectors, progress);

  const std::string_view partitionText = FsTypeText(ctx.partitionType);
  TextTable& identified = ctx.results.tables.IdentifiedFileSystemTable;
  for (const DerivedFileSystem& fs : derived) {
    const int row = identified.AppendRow("0");
    identified.SetCell(row, fs_col::kSpc, std::to_string(fs.clusterSize));
    identified.SetCell(row, fs_col::kCluster0, std::to_string(fs.cluster0));
    const bool relabel = partitionText != "FAT32" && fs.largestSelf > kLargestFat16Cluster;
    identified.SetCell(row, fs_col::kPartType, relabel ? "FAT32" : partitionText);
  }
  for (std::size_t r = 0; r < rows; ++r) {
    if (dirs.fileSystem[r] != before[r]) {
      table.SetCell(static_cast<int>(r), dir_col::kFileSystem, I32Text(dirs.fileSystem[r]));
    }
  }
  return fromBootSectors + static_cast<int>(derived.size());
}

void InsertAdvanceMiscFolderRow(ScanContext& ctx) {
  using namespace entry_col;
  TextTable& table = ctx.results.tables.EntryTable;
  const int row = table.InsertRow(0, kMiscFolderName);
  table.SetCell(row, kSector, "0");
  table.SetCell(row, kSelf, U32Text(kOrphanCluster));
  table.SetCell(row, kParent, "0");
  table.SetCell(row, kDate, "0");
  table.SetCell(row, kTime, "0");
  table.SetCell(row, kSize, "0");
  table.SetCell(row, kAttr, "16");
  table.SetCell(row, kSysId, "0");
  table.SetCell(row, kType, "FOLDER");
}

int InsertChosenFolderRows(ScanContext& ctx, int chosenIndex) {
  using namespace entry_col;
  const TextTable& dirs = ctx.results.tables.DirectoryTable;
  TextTable& entries = ctx.results.tables.EntryTable;
  const int number = chosenIndex + 1;
  int r = 0;
  for (int d = 0; d < dirs.RowCount(); ++d) {
    if (ReadI32Saturating(dirs.Cell(d, dir_col::kFileSystem)) != number) continue;
    const int row = entries.InsertRow(r, "DIR" + std::to_string(r));
    entries.SetCell(row, kSector, dirs.Cell(d, dir_col::kSector));
    entries.SetCell(row, kSelf, dirs.Cell(d, dir_col::kSelf));
    entries.SetCell(row, kParent, dirs.Cell(d, dir_col::kParent));
    entries.SetCell(row, kDate, dirs.Cell(d, dir_col::kDate));
    entries.SetCell(row, kTime, dirs.Cell(d, dir_col::kTime));
    entries.SetCell(row, kSize, "0");
    entries.SetCell(row, kAttr, "16");
    entries.SetCell(row, kType, "FOLDER");
    ++r;
  }
  return r;
}

FatLocation LocateFats(ScanContext& ctx, int chosenIndex) {
  FatLocation found;
  TextTable* table = IdentifiedRow(ctx, chosenIndex);
  if (!table || SectorValue(table->Cell(chosenIndex, fs_col::kFirstFat)) != 0) return found;
  const bool fat32 = table->Cell(chosenIndex, fs_col::kPartType) == "FAT32";
  const std::int64_t cluster0 = SectorValue(table->Cell(chosenIndex, fs_col::kCluster0));
  // The FATs end where the data area (or the FAT16 root) begins; they are looked for in a window
  // below it that holds the FATs of a small volume.
  const std::int64_t window = fat32 ? 30000 : 550;
  const std::int64_t start = cluster0 > window ? cluster0 - window : 63;
  Feedback& ui = ctx.Ui();
  std::array<std::uint8_t, kSectorSize> sector{};
  std::vector<std::uint64_t> signatures;
  ProgressSteps progress(ui, control::kStageProgress);
  for (std::int64_t s = start; s < cluster0; ++s) {
    if (ctx.StopRequested()) break;
    const auto at = static_cast<std::uint64_t>(s);
    ctx.Read(at, 1, sector);
    ++found.sectorsRead;
    progress.Show(at, static_cast<std::uint64_t>(cluster0));
    if (sector[0] == 0xF8 && sector[1] == 0xFF && sector[2] == 0xFF) signatures.push_back(at);
  }
  const std::optional<FatPlacement> placed = PlaceFats(ctx, chosenIndex, signatures);
  if (!placed) return found;
  found.firstFat = placed->firstFat;
  found.secondFat = placed->secondFat;
  found.readFrom = placed->readFrom;
  // firstFAT is the FAT that chains are read from: the second copy where the first is gone or
  // is a later format's.
  table->SetCell(chosenIndex, fs_col::kFirstFat, std::to_string(placed->readFrom));
  ctx.activeGeometry.FirstFatSector = static_cast<std::uint32_t>(placed->readFrom);
  if (placed->secondFat != 0) {
    table->SetCell(chosenIndex, fs_col::kSecondFat, std::to_string(placed->secondFat));
    ctx.activeGeometry.SecondFatSector = static_cast<std::uint32_t>(placed->secondFat);
  }
  table->SetCell(chosenIndex, fs_col::kSpf, std::to_string(placed->sectorsPerFat));
  table->SetCell(chosenIndex, fs_col::kRootStart, fat32 ? "2" : std::to_string(placed->fatsEnd));
  return found;
}

bool SetActiveGeometryFromIdentified(ScanContext& ctx, int chosenIndex) {
  const TextTable* table = IdentifiedRow(ctx, chosenIndex);
  if (!table) return false;
  const auto type = FatTypeOf(*table, chosenIndex);
  if (!type) return false;
  auto cell = [&](int column) { return ReadU32(table->Cell(chosenIndex, column)); };
  ActiveVolumeGeometry g;
  g.type = *type;
  g.Cluster0Sector = cell(fs_col::kCluster0);
  g.FirstFatSector = cell(fs_col::kFirstFat);
  g.ReservedSectors = cell(fs_col::kReserved);
  g.RootDirSectors = cell(fs_col::kRootSectors);
  g.RootDirStart = cell(fs_col::kRootStart);
  g.SecondFatSector = cell(fs_col::kSecondFat);
  g.SectorsPerCluster = cell(fs_col::kSpc);
  g.FatSectors = cell(fs_col::kSpf);
  if (*type != FsType::kFat32 && g.RootDirSectors == 0) g.RootDirSectors = 32;
  // Cluster 2 is where a FAT32 root nearly always begins. A FAT16 root is a sector number, and
  // an unknown one stays 0 (no root to read) rather than reading sectors 2-33 of the disk.
  if (*type == FsType::kFat32 && g.RootDirStart == 0) g.RootDirStart = 2;
  ctx.activeGeometry = g;
  return true;
}

bool PrepareFatSecondStage(ScanContext& ctx, int chosenIndex) {
  const TextTable* table = IdentifiedRow(ctx, chosenIndex);
  if (!table || !FatTypeOf(*table, chosenIndex)) return false;
  InsertChosenFolderRows(ctx, chosenIndex);
  SetActiveGeometryFromIdentified(ctx, chosenIndex);
  LocateFats(ctx, chosenIndex);
  return SetActiveGeometryFromIdentified(ctx, chosenIndex);
}

std::vector<PartitionDetailsRow> IdentifiedFileSystemDetails(const ScanContext& ctx, int index,
                                                             bool afterStop) {
  const TextTable& table = ctx.results.tables.IdentifiedFileSystemTable;
  if (index < 0 || index >= table.RowCount()) return {};
  return {
      {afterStop ? "1.   File System                        :    "
                 : "1.   File System                        :",
       std::to_string(index + 1)},
      {"2.   Partition Type                    :    ", table.GetCell(index, fs_col::kPartType)},
      {"3.   File System Start                :    ", table.GetCell(index, fs_col::kCluster0)},
      {"4.   Sectors Per Clusters          :    ", table.GetCell(index, fs_col::kSpc)},
  };
}

}  // namespace quarrow
