#include "fat/directory_reader.h"

#include <algorithm>
#include <array>

#include "scan/scan_context.h"

namespace quarrow {

std::uint64_t ClusterSector(const ScanContext& ctx, std::uint32_t cluster) {
  return std::uint64_t{cluster} * ctx.activeGeometry.SectorsPerCluster + ctx.activeGeometry.Cluster0Sector;
}

std::vector<std::uint64_t> DirectoryChainSectors(const ScanContext& ctx, FatReader& fat,
                                                 std::uint32_t firstCluster) {
  const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
  // A geometry loaded from a scan log is not checked against a boot sector: a cluster size that
  // no FAT volume has would make a single cluster billions of sectors long.
  if (!IsValidClusterSectors(spc)) return {};
  constexpr std::size_t kMaxDirectorySectors = 65536 * kDirEntrySize / kSectorSize;
  const ClusterChain chain = FollowClusterChain(fat, firstCluster, (kMaxDirectorySectors + spc - 1) / spc);
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
      bytes_(numbers_.size() * kSectorSize),
      state_(numbers_.size(), State::kUnread),
      fromKept_(fromKept) {}

ByteSpan DirectorySectors::At(std::size_t index) {
  if (index >= numbers_.size()) return {};
  if (state_[index] == State::kUnread) Load(index);
  if (state_[index] != State::kRead) return {};
  return ByteSpan(bytes_).subspan(index * kSectorSize, kSectorSize);
}

void DirectorySectors::Load(std::size_t index) {
  // A sector the data-area scan kept is taken from memory rather than read again.
  if (fromKept_ &&
      ctx_.CopyKeptSector(numbers_[index], std::span<std::uint8_t>(bytes_).subspan(index * kSectorSize, kSectorSize))) {
    state_[index] = State::kRead;
    return;
  }
  // 64 KiB per request at most; directories are read front to back, so a run starts here.
  constexpr std::size_t kMaxRun = 128;
  std::size_t end = index + 1;
  while (end < numbers_.size() && end - index < kMaxRun && state_[end] == State::kUnread &&
         numbers_[end] == numbers_[end - 1] + 1 && !(fromKept_ && ctx_.SectorKept(numbers_[end])))
    ++end;
  const auto count = static_cast<std::uint32_t>(end - index);
  std::span<std::uint8_t> run(bytes_.data() + index * kSectorSize, std::size_t{count} * kSectorSize);
  if (ctx_.Read(numbers_[index], count, run) != 0) {
    std::fill(state_.begin() + static_cast<std::ptrdiff_t>(index),
              state_.begin() + static_cast<std::ptrdiff_t>(end), State::kRead);
    return;
  }
  for (std::size_t k = index; k < end; ++k) {
    std::span<std::uint8_t> one(bytes_.data() + k * kSectorSize, kSectorSize);
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
  for (std::size_t index = 0; index < endsAt; ++index) {
    const ByteSpan sector = directory.At(index);
    if (sector.empty()) continue;  // unreadable: skipped, the directory goes on
    if (index > 0 && IsDirectoryStartSector(sector)) return WalkResult::kEndMet;
    const DirectoryOrder order =
        walk.longNamesFromDiskOrder ? DirectoryOrder{} : DirectoryOrder{&numbers, index};
    for (int e = 0; e < kEntriesPerSector; ++e) {
      const std::size_t off = static_cast<std::size_t>(e) * kDirEntrySize;
      if (Byte(sector, off) == 0) {
        if (!endMet && !(walk.subDirectory && index == 0 && e < 2)) {  // not zeroed dot entries
          endMet = true;
          if (walk.clusterSectors != 0)
            endsAt = std::min(endsAt, (index / walk.clusterSectors + 1) * walk.clusterSectors);
        }
        continue;
      }
      if (IsDotEntry(sector, off) || Byte(sector, off + 11) == kLongNameAttribute) continue;
      if (!visit(DirectoryEntry(ctx, sector, off, numbers[index], order))) return WalkResult::kStopped;
    }
  }
  return endMet ? WalkResult::kEndMet : WalkResult::kRanOut;
}

}  // namespace quarrow
