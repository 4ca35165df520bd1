#include "fat/directory_reader.h"

#include <algorithm>
#include <array>
#include <optional>

#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {

std::uint64_t ClusterSector(const ScanContext& ctx, std::uint32_t cluster) {
  return std::uint64_t{cluster} * ctx.activeGeometry.SectorsPerCluster + ctx.activeGeometry.Cluster0Sector;
}

namespace {

// The DirectoryTable rows are in sector order, as the sector scan found them; a table loaded
// from elsewhere in another order makes these answers incomplete, not wrong in kind.
int FirstDirectoryRowFrom(const TextTable& dirs, std::uint64_t sector) {
  int lo = 0;
  int hi = dirs.RowCount();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (ReadI64(dirs.Cell(mid, 0)) < static_cast<std::int64_t>(sector)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The cluster whose first sector this is, or nullopt when the sector begins none.
std::optional<std::uint32_t> ClusterBegunAt(const ScanContext& ctx, std::uint64_t sector) {
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  if (sector < g.Cluster0Sector || (sector - g.Cluster0Sector) % g.SectorsPerCluster != 0)
    return std::nullopt;
  const std::uint64_t cluster = (sector - g.Cluster0Sector) / g.SectorsPerCluster;
  if (cluster > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(cluster);
}

bool IsTailCluster(const ScanContext& ctx, std::uint32_t cluster) {
  const std::vector<std::uint64_t>& tails = ctx.results.directoryTails;
  return std::binary_search(tails.begin(), tails.end(), ClusterSector(ctx, cluster));
}

bool IsStartCluster(const ScanContext& ctx, std::uint32_t cluster) {
  const TextTable& dirs = ctx.results.tables.DirectoryTable;
  const std::uint64_t at = ClusterSector(ctx, cluster);
  const int row = FirstDirectoryRowFrom(dirs, at);
  return row < dirs.RowCount() && ReadI64(dirs.Cell(row, 0)) == static_cast<std::int64_t>(at);
}

// The cluster's last slot is used: its directory goes on past it.
bool ClusterIsFull(const ScanContext& ctx, std::uint32_t cluster) {
  std::array<std::uint8_t, kSectorSize> sector{};
  const std::uint64_t last = ClusterSector(ctx, cluster) + ctx.activeGeometry.SectorsPerCluster - 1;
  return ctx.Read(last, 1, sector) != 0 && sector[kSectorSize - kDirEntrySize] != 0;
}

// The cluster a full directory went on in when no FAT says. A FAT hands out clusters forward from
// the last one it gave, so a directory that fills its cluster grows into the next cluster, or
// into the first free one after the files written into it meanwhile: the nearest cluster of
// entries that does not go on from the cluster before it (a directory's or another such one's).
// A directory in between that is full as well could have taken that cluster: then no answer.
std::optional<std::uint32_t> TailClusterAfter(const ScanContext& ctx, std::uint32_t last) {
  if (last == UINT32_MAX) return std::nullopt;
  if (IsTailCluster(ctx, last + 1)) return last + 1;
  const std::vector<std::uint64_t>& tails = ctx.results.directoryTails;
  const std::uint64_t from = ClusterSector(ctx, last + 1);
  std::optional<std::uint32_t> tail;
  for (auto it = std::lower_bound(tails.begin(), tails.end(), from); it != tails.end() && !tail; ++it) {
    const std::optional<std::uint32_t> t = ClusterBegunAt(ctx, *it);
    if (t && !IsTailCluster(ctx, *t - 1) && !IsStartCluster(ctx, *t - 1)) tail = t;
  }
  if (!tail) return std::nullopt;
  // The directories between, each with the clusters of entries that follow it.
  const TextTable& dirs = ctx.results.tables.DirectoryTable;
  const std::uint64_t until = ClusterSector(ctx, *tail);
  constexpr int kMostLookedAt = 64;
  int looked = 0;
  for (int r = FirstDirectoryRowFrom(dirs, from); r < dirs.RowCount(); ++r) {
    const std::int64_t at = ReadI64(dirs.Cell(r, 0));
    if (at < 0 || static_cast<std::uint64_t>(at) >= until) break;
    const std::optional<std::uint32_t> start = ClusterBegunAt(ctx, static_cast<std::uint64_t>(at));
    if (!start) continue;
    if (++looked > kMostLookedAt) return std::nullopt;
    std::uint32_t c = *start;
    while (c < *tail && IsTailCluster(ctx, c + 1)) ++c;
    if (c < *tail && ClusterIsFull(ctx, c)) return std::nullopt;
  }
  return tail;
}

}  // namespace

std::vector<std::uint64_t> DirectoryChainSectors(const ScanContext& ctx, FatReader& fat,
                                                 std::uint32_t firstCluster) {
  const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
  // A geometry loaded from a scan log is not checked against a boot sector: a cluster size that
  // no FAT volume has would make a single cluster billions of sectors long.
  if (!IsValidClusterSectors(spc)) return {};
  constexpr std::size_t kMaxDirectorySectors = 65536 * kDirEntrySize / kSectorSize;
  const std::size_t maxClusters = (kMaxDirectorySectors + spc - 1) / spc;
  ClusterChain chain = FollowClusterChain(fat, firstCluster, maxClusters);
  // Without a FAT a directory is its first cluster and the clusters of entries it grew into,
  // found by the sector scan.
  if (!fat.Usable() && !ctx.results.directoryTails.empty() && firstCluster >= 2) {
    while (chain.size() < maxClusters && ClusterIsFull(ctx, chain.back())) {
      const std::optional<std::uint32_t> next = TailClusterAfter(ctx, chain.back());
      if (!next) break;
      chain.push_back(*next);
    }
  }
  std::vector<std::uint64_t> sectors;
  sectors.reserve(chain.size() * spc);
  for (std::uint32_t cluster : chain) {
    const std::uint64_t first = ClusterSector(ctx, cluster);
    for (std::uint32_t k = 0; k < spc; ++k) sectors.push_back(first + k);
  }
  return sectors;
}

bool DirectoryBeginsAt(const ScanContext& ctx, std::uint32_t cluster, bool fromKept) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (cluster < 2) return false;
  const std::uint64_t at = ClusterSector(ctx, cluster);
  if (!(fromKept && ctx.CopyKeptSector(at, sector)) && ctx.Read(at, 1, sector) == 0) return false;
  return IsDirectoryStartSector(sector) && EntryCluster(sector, 0, ctx.activeGeometry.type) == cluster;
}

std::vector<std::uint64_t> Fat16RootSectors(const ScanContext& ctx) {
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  std::vector<std::uint64_t> sectors;
  if (g.RootDirStart == 0) return sectors;
  constexpr std::uint32_t kMaxRootSectors = 65536 * kDirEntrySize / kSectorSize;
  std::uint32_t count = std::min(g.RootDirSectors, kMaxRootSectors);
  // The root ends where the data area begins; sectors past that are clusters, not entries.
  const std::uint64_t dataStart = std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster;
  if (dataStart > g.RootDirStart)
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, dataStart - g.RootDirStart));
  for (std::uint32_t k = 0; k < count; ++k) sectors.push_back(std::uint64_t{g.RootDirStart} + k);
  return sectors;
}

DirectorySectors::DirectorySectors(const ScanContext& ctx, std::vector<std::uint64_t> numbers, bool fromKept)
    : ctx_(ctx),
      numbers_(std::move(numbers)),
      bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(numbers_.size() * kSectorSize)),
      state_(numbers_.size(), State::kUnread),
      fromKept_(fromKept) {}

ByteSpan DirectorySectors::At(std::size_t index) {
  if (index >= numbers_.size()) return {};
  if (state_[index] == State::kUnread) Load(index);
  if (state_[index] == State::kZero) return KeptSectors::ZeroSector();
  if (state_[index] != State::kRead) return {};
  return ByteSpan(bytes_.get() + index * kSectorSize, kSectorSize);
}

void DirectorySectors::Load(std::size_t index) {
  // Sectors the data-area scan kept are taken from memory rather than read again, as many of the
  // directory's next sectors as the kept run holds in one look-up.
  if (fromKept_) {
    std::size_t contiguous = 1;
    while (index + contiguous < numbers_.size() && state_[index + contiguous] == State::kUnread &&
           numbers_[index + contiguous] == numbers_[index] + contiguous)
      ++contiguous;
    const std::size_t kept = ctx_.ForKeptRun(numbers_[index], contiguous, [&](std::size_t i, ByteSpan bytes) {
      if (bytes.data() == KeptSectors::ZeroSector().data()) {
        state_[index + i] = State::kZero;
        return;
      }
      std::copy(bytes.begin(), bytes.end(),
                bytes_.get() + (index + i) * kSectorSize);
      state_[index + i] = State::kRead;
    });
    if (kept > 0) return;
  }
  // 64 KiB per request at most; directories are read front to back, so a run starts here.
  constexpr std::size_t kMaxRun = 128;
  std::size_t end = index + 1;
  while (end < numbers_.size() && end - index < kMaxRun && state_[end] == State::kUnread &&
         numbers_[end] == numbers_[end - 1] + 1 && !(fromKept_ && ctx_.SectorKept(numbers_[end])))
    ++end;
  const auto count = static_cast<std::uint32_t>(end - index);
  std::span<std::uint8_t> run(bytes_.get() + index * kSectorSize, std::size_t{count} * kSectorSize);
  if (ctx_.Read(numbers_[index], count, run) != 0) {
    std::fill(state_.begin() + static_cast<std::ptrdiff_t>(index),
              state_.begin() + static_cast<std::ptrdiff_t>(end), State::kRead);
    return;
  }
  for (std::size_t k = index; k < end; ++k) {
    std::span<std::uint8_t> one(bytes_.get() + k * kSectorSize, kSectorSize);
    state_[k] = ctx_.Read(numbers_[k], 1, one) != 0 ? State::kRead : State::kUnreadable;
  }
}

const EntryName& DirectoryEntry::Name() const {
  if (!name_) name_ = ResolveEntryName(ctx_, sector_, offset_, sectorNumber_, order_);
  return *name_;
}

WalkResult ForEachDirectoryEntry(const ScanContext& ctx, DirectorySectors& directory,
                                 const DirectoryWalk& walk,
                                 const std::function<bool(const DirectoryEntry&)>& visit) {
  const std::vector<std::uint64_t>& numbers = directory.Numbers();
  std::size_t endsAt = numbers.size();  // the first sector not read once an end entry was met
  bool endMet = false;
  // An end entry in the sector at index: the walk reads on to the end of that sector's cluster.
  const auto meetEnd = [&](std::size_t index) {
    if (endMet) return;
    endMet = true;
    if (walk.clusterSectors != 0)
      endsAt = std::min(endsAt, (index / walk.clusterSectors + 1) * walk.clusterSectors);
  };
  for (std::size_t index = 0; index < endsAt; ++index) {
    const ByteSpan sector = directory.At(index);
    if (sector.empty()) continue;  // unreadable: skipped, the directory goes on
    if (directory.IsKeptZero(index)) {
      meetEnd(index);  // no entry, and its first free slot ends the entries
      continue;
    }
    if (index > 0 && IsDirectoryStartSector(sector)) return WalkResult::kEndMet;
    const DirectoryOrder order =
        walk.longNamesFromDiskOrder ? DirectoryOrder{} : DirectoryOrder{&numbers, index};
    for (int e = 0; e < kEntriesPerSector; ++e) {
      const std::size_t off = static_cast<std::size_t>(e) * kDirEntrySize;
      if (Byte(sector, off) == 0) {
        if (!(walk.subDirectory && index == 0 && e < 2)) meetEnd(index);  // not zeroed dot entries
        continue;
      }
      if (IsDotEntry(sector, off) || Byte(sector, off + 11) == kLongNameAttribute) continue;
      if (!visit(DirectoryEntry(ctx, sector, off, numbers[index], order))) return WalkResult::kStopped;
    }
  }
  return endMet ? WalkResult::kEndMet : WalkResult::kRanOut;
}

}  // namespace quarrow
