#include "fat/fat_volume.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>

#include "fat/fat_entries.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

bool BeginsWithF8FF(ByteSpan sector) {
  return Byte(sector, 0) == 0xF8 && Byte(sector, 1) == 0xFF;
}

// One FAT sector, from the context's memo when that is on and holds it.
bool ReadFatSector(ScanContext& ctx, std::uint64_t sector, std::array<std::uint8_t, kSectorSize>& buffer) {
  ScanContext::FatSectorMemo& memo = ctx.fatMemo;
  if (memo.enabled && memo.sector == sector && memo.disk == ctx.diskNumber) {
    buffer = memo.bytes;
    return true;
  }
  if (ctx.Read(sector, 1, buffer) == 0) return false;
  if (memo.enabled) {
    memo.bytes = buffer;
    memo.sector = sector;
    memo.disk = ctx.diskNumber;
  }
  return true;
}

}  // namespace

int CalculatePartitionParams(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  ui.SetText(control::kStatus, "Calculating Partition Params...");
  ui.ShowControl(control::kProgress, true);
  if (!IsFat(ctx.partitionType)) return 0;
  // FAT12 volumes are worked out by the FAT16 rules: both keep a fixed root directory.
  const bool fat16 = ctx.partitionType != FsType::kFat32;
  const auto start = static_cast<std::uint32_t>(ctx.searchStart);
  const auto end = static_cast<std::uint32_t>(ctx.searchEnd);
  VolumeGeometry& g = ctx.geometry;
  std::array<std::uint8_t, kSectorSize> sector{};

  // The first FAT begins with the media byte F8 and FF; the last such sector in the window wins.
  g.ReservedSectors = 0;
  const std::uint64_t windowFirst = std::uint64_t{start} + (fat16 ? 0 : 30);
  const std::uint64_t windowEnd = std::uint64_t{start} + (fat16 ? 10 : 60);
  bool matched = false;
  for (std::uint64_t s = windowFirst; s < windowEnd; ++s) {
    if (ctx.StopRequested()) return 0;
    if (ctx.Read(s, 1, sector) == 0) continue;
    if (BeginsWithF8FF(sector)) {
      g.ReservedSectors = static_cast<std::uint32_t>(s - start);
      matched = true;
    }
  }
  if (!matched) g.ReservedSectors = fat16 ? 1 : 32;

  const std::uint32_t rootSectors = fat16 ? 32 : 0;
  if (fat16) {
    g.RootDirSectors = 32;
  } else {
    g.RootDirStart = 2;
    g.RootDirSectors = 0;
  }

  bool haveReference = false;
  std::uint32_t s1 = 0, c1 = 0;
  std::uint64_t counted = 0;
  auto report = [&](std::uint64_t s) {
    ++counted;
    if (fat16) {
      if (counted % 500 != 0) return;
      ui.SetProgress(control::kProgress, ProgressPercent(s, end), "Completed ");
    } else {
      std::string text =
          std::string(94, ' ') + std::to_string(s) + " / " + std::to_string(end) + std::string(90, ' ');
      ui.SetProgress(control::kProgress, ProgressPercent(s, end), text);
    }
  };

  for (std::uint64_t s64 = start; s64 < end; ++s64) {
    if (ctx.StopRequested()) return 0;
    // An unreadable sector is skipped, not examined.
    if (ctx.Read(s64, 1, sector) == 0) {
      report(s64);
      continue;
    }
    if (!IsDirectoryStartSector(sector)) {
      report(s64);
      continue;
    }
    const auto s = static_cast<std::uint32_t>(s64);
    if (!haveReference) {
      // The first directory with a usable "." cluster is the reference for the whole run.
      std::uint32_t c = EntryCluster32(sector, 0);
      if (c >= 2 && c < 0xFFFFFFFFu) {
        haveReference = true;
        s1 = s;
        c1 = c;
      }
      report(s64);
      continue;
    }
    const std::uint32_t s2 = s;
    const std::uint32_t c2 = EntryCluster(sector, 0, ctx.partitionType);
    if (c2 == 0xFFFFFFFFu || c2 == c1) continue;
    const std::uint32_t clusterDiff = c2 - c1;
    const std::uint32_t sectorDiff = s2 - s1;
    if (sectorDiff % clusterDiff != 0) continue;
    if (!(c2 < s2 && c2 < s1)) continue;
    const std::uint32_t k = sectorDiff / clusterDiff;
    if (!IsValidSectorsPerCluster(k)) continue;
    if (s1 - c1 * k != s2 - c2 * k) continue;
    const std::uint32_t x1 = s1 - start - g.ReservedSectors - rootSectors - (c1 - 2) * k;
    const std::uint32_t x2 = s2 - start - g.ReservedSectors - rootSectors - (c2 - 2) * k;
    report(s64);
    if (x1 != x2) continue;
    g.Cluster0Sector = s1 - c1 * k;
    g.SectorsPerCluster = k;
    g.FatSectors = x1 >> 1;
    g.FirstFatSector = start + g.ReservedSectors;
    g.SecondFatSector = g.FirstFatSector + g.FatSectors;
    if (fat16) g.RootDirStart = g.SecondFatSector + g.FatSectors;
    return 1;
  }
  return 0;
}

std::uint64_t ClusterSector(const ScanContext& ctx, std::uint32_t cluster) {
  return std::uint64_t{cluster} * ctx.activeGeometry.SectorsPerCluster + ctx.activeGeometry.Cluster0Sector;
}

void FollowClusterChain(ScanContext& ctx, std::uint32_t start, std::size_t maxClusters) {
  ctx.clusterChain.clear();
  ctx.clusterChain.push_back(start);
  const FsType layout = ctx.activeGeometry.type;
  if (!IsFat(layout)) return;
  const std::uint32_t fat = ctx.activeGeometry.FirstFatSector;
  const std::uint32_t fatSectors = ctx.activeGeometry.FatSectors;
  if (fat == 0) return;
  const std::uint32_t perSector = layout == FsType::kFat32 ? 128 : 256;
  // No chain can be longer than the entries the FAT holds; the visited set stops loops sooner.
  const std::uint64_t maxEntries = (std::uint64_t{fatSectors} + 1) * perSector;
  std::unordered_set<std::uint32_t> visited{start};
  std::array<std::uint8_t, kSectorSize> buffer{};
  std::uint64_t loadedIndex = UINT64_MAX;
  std::uint32_t c = start;
  while (ctx.clusterChain.size() <= maxEntries && ctx.clusterChain.size() < maxClusters) {
    const std::uint32_t i = c / perSector;
    const std::uint32_t j = c % perSector;
    if (i > fatSectors) return;
    if (loadedIndex != i) {
      if (!ReadFatSector(ctx, std::uint64_t{fat} + i, buffer)) return;
      loadedIndex = i;
    }
    std::uint32_t next;
    if (layout != FsType::kFat32) {
      next = Le16(buffer, std::size_t{j} * 2);
      if (next < 2 || next >= 0xFFFF) return;
    } else {
      next = Le32(buffer, std::size_t{j} * 4);
      if (next < 2 || next >= 0x0FFFFFFF) return;
    }
    if (!visited.insert(next).second) return;
    ctx.clusterChain.push_back(next);
    c = next;
  }
}

std::vector<std::uint64_t> DirectoryChainSectors(ScanContext& ctx, std::uint32_t firstCluster) {
  const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
  constexpr std::size_t kMaxDirectorySectors = 65536 * kDirEntrySize / kSectorSize;
  FollowClusterChain(ctx, firstCluster, spc == 0 ? 1 : (kMaxDirectorySectors + spc - 1) / spc);
  std::vector<std::uint64_t> sectors;
  sectors.reserve(ctx.clusterChain.size() * spc);
  for (std::uint32_t cluster : ctx.clusterChain) {
    const std::uint64_t first = ClusterSector(ctx, cluster);
    for (std::uint32_t k = 0; k < spc; ++k) sectors.push_back(first + k);
  }
  ctx.clusterChain.clear();
  return sectors;
}

DirectorySectors::DirectorySectors(const ScanContext& ctx, std::vector<std::uint64_t> numbers)
    : ctx_(ctx),
      numbers_(std::move(numbers)),
      bytes_(numbers_.size() * kSectorSize),
      state_(numbers_.size(), State::kUnread) {}

ByteSpan DirectorySectors::At(std::size_t index) {
  if (index >= numbers_.size()) return {};
  if (state_[index] == State::kUnread) Load(index);
  if (state_[index] != State::kRead) return {};
  return ByteSpan(bytes_).subspan(index * kSectorSize, kSectorSize);
}

void DirectorySectors::Load(std::size_t index) {
  // 64 KiB per request at most; directories are read front to back, so a run starts here.
  constexpr std::size_t kMaxRun = 128;
  std::size_t end = index + 1;
  while (end < numbers_.size() && end - index < kMaxRun && state_[end] == State::kUnread &&
         numbers_[end] == numbers_[end - 1] + 1)
    ++end;
  const auto count = static_cast<std::uint32_t>(end - index);
  std::span<std::uint8_t> run(bytes_.data() + index * kSectorSize, std::size_t{count} * kSectorSize);
  if (ctx_.Read(numbers_[index], count, run) != 0) {
    std::fill(state_.begin() + static_cast<std::ptrdiff_t>(index), state_.begin() + static_cast<std::ptrdiff_t>(end),
              State::kRead);
    return;
  }
  for (std::size_t k = index; k < end; ++k) {
    std::span<std::uint8_t> one(bytes_.data() + k * kSectorSize, kSectorSize);
    state_[k] = ctx_.Read(numbers_[k], 1, one) != 0 ? State::kRead : State::kUnreadable;
  }
}

namespace {

// The nodes that are children of cluster, in list order: the candidates an entry can name.
std::vector<FolderNode*> ChildrenOf(ScanContext& ctx, std::uint32_t cluster) {
  std::vector<FolderNode*> children;
  for (std::size_t index : ctx.folderNodes.ChildrenOf(cluster)) children.push_back(&ctx.folderNodes[index]);
  return children;
}

// What one read of a directory has named so far. A folder deleted and made again can leave two
// entries for the same cluster, the old one marked deleted; the live entry wins whatever their
// order, so the new folder is neither renamed after the old one nor shown as deleted.
struct NamingPass {
  std::unordered_set<const FolderNode*> namedByLiveEntry;
  std::unordered_set<const FolderNode*> markedDeleted;
};

int NameChildNodesAmong(ScanContext& ctx, ByteSpan sector, std::uint64_t sectorNumber, std::uint32_t cluster,
                        const std::vector<std::uint64_t>* directorySectors, std::size_t index,
                        const std::vector<FolderNode*>& children, NamingPass& pass) {
  const FsType layout = ctx.activeGeometry.type;
  if (!IsFat(layout)) return 1;
  for (int e = 0; e < kEntriesPerSector; ++e) {
    const std::size_t off = static_cast<std::size_t>(e) * kDirEntrySize;
    if (Byte(sector, off) == 0) return 0;
    if (IsDotEntry(sector, off) || Byte(sector, off + 11) == kLongNameAttribute) continue;
    // Only directory entries can name a folder: a deleted file whose first cluster a new
    // folder reuses must not rename that folder.
    if ((Byte(sector, off + 11) & kDirectoryAttribute) == 0) continue;
    const std::uint32_t entryCluster = EntryCluster(sector, off, layout);
    EntryName name =
        ResolveEntryName(ctx, sector, off, sectorNumber, DirectoryOrder{directorySectors, index});
    if (!name.valid) continue;
    for (FolderNode* node : children) {
      if (node->self != entryCluster || node->parent != cluster) continue;
      if (name.deleted && pass.namedByLiveEntry.count(node)) break;
      if (ctx.resultsTree) ctx.resultsTree->SetText(node->item, name.name);
      node->name = name.name;
      if (name.deleted) {
        if (node->deleted == 0) pass.markedDeleted.insert(node);
        node->deleted = 1;
      } else {
        pass.namedByLiveEntry.insert(node);
        if (pass.markedDeleted.erase(node)) node->deleted = 0;
      }
      break;
    }
  }
  return 1;
}

}  // namespace

std::vector<std::uint64_t> Fat16RootSectors(const ScanContext& ctx) {
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  std::vector<std::uint64_t> sectors;
  if (g.RootDirStart == 0) return sectors;
  constexpr std::uint32_t kMaxRootSectors = 65536 * kDirEntrySize / kSectorSize;
  const std::uint32_t count = std::min(g.RootDirSectors, kMaxRootSectors);
  for (std::uint32_t k = 0; k < count; ++k) sectors.push_back(std::uint64_t{g.RootDirStart} + k);
  return sectors;
}

int NameChildNodes(ScanContext& ctx, std::uint64_t sector, std::uint32_t cluster) {
  return NameChildNodes(ctx, sector, cluster, nullptr, 0);
}

int NameChildNodes(ScanContext& ctx, std::uint64_t sectorNumber, std::uint32_t cluster,
                   const std::vector<std::uint64_t>* directorySectors, std::size_t index) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (ctx.Read(sectorNumber, 1, sector) == 0) return 1;
  NamingPass pass;
  return NameChildNodesAmong(ctx, sector, sectorNumber, cluster, directorySectors, index,
                             ChildrenOf(ctx, cluster), pass);
}

void NameFatChildren(ScanContext& ctx, const FolderNode& node) {
  if (node.self == kOrphanCluster) return;
  const std::uint32_t self = node.self;
  // The candidates are gathered once per directory instead of once per sector.
  const std::vector<FolderNode*> children = ChildrenOf(ctx, self);
  if (children.empty()) return;
  DirectorySectors directory(ctx, DirectoryChainSectors(ctx, self));
  const std::vector<std::uint64_t>& numbers = directory.Numbers();
  NamingPass pass;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const ByteSpan sector = directory.At(i);
    if (sector.empty()) continue;  // unreadable: skipped, the directory goes on
    if (NameChildNodesAmong(ctx, sector, numbers[i], self, &numbers, i, children, pass) == 0) break;
  }
}

}  // namespace quarrow
