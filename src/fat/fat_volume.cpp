#include "fat/fat_volume.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "fat/fat_entries.h"
#include "fat/fat_file_list.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

bool BeginsWithF8FF(ByteSpan sector) {
  return Byte(sector, 0) == 0xF8 && Byte(sector, 1) == 0xFF;
}

// The nodes that are children of cluster, in list order: the candidates an entry can name.
std::vector<FolderNode*> ChildrenOf(ScanContext& ctx, std::uint32_t cluster) {
  std::vector<FolderNode*> children;
  FolderNodeList& nodes = ctx.results.folderNodes;
  for (std::size_t index : nodes.ChildrenOf(cluster)) children.push_back(&nodes[index]);
  return children;
}

// What one read of a directory has named so far. A folder deleted and made again can leave two
// entries for the same cluster, the old one marked deleted; the live entry wins whatever their
// order, so the new folder is neither renamed after the old one nor shown as deleted.
struct NamingPass {
  std::unordered_set<const FolderNode*> namedByLiveEntry;
  std::unordered_set<const FolderNode*> markedDeleted;
};

WalkResult NameChildrenFrom(ScanContext& ctx, DirectorySectors& directory, const DirectoryWalk& walk,
                            std::uint32_t cluster, const std::vector<FolderNode*>& children) {
  const FsType type = ctx.activeGeometry.type;
  if (!IsFat(type)) return WalkResult::kRanOut;
  NamingPass pass;
  return ForEachDirectoryEntry(ctx, directory, walk, [&](const DirectoryEntry& entry) {
    // Only directory entries can name a folder: a deleted file whose first cluster a new
    // folder reuses must not rename that folder.
    if (!entry.IsDirectory()) return true;
    const std::uint32_t entryCluster = entry.Cluster(type);
    const EntryName& name = entry.Name();
    if (!name.valid) return true;
    for (FolderNode* node : children) {
      if (node->self != entryCluster || node->parent != cluster) continue;
      // A live entry wins over a deleted one, and the first of two live entries keeps its name.
      if (pass.namedByLiveEntry.count(node)) break;
      if (ctx.results.tree) ctx.results.tree->SetText(node->item, name.name);
      node->name = name.name;
      if (name.deleted) {
        if (!node->deleted) pass.markedDeleted.insert(node);
        node->deleted = true;
      } else {
        pass.namedByLiveEntry.insert(node);
        if (pass.markedDeleted.erase(node)) node->deleted = false;
      }
      break;
    }
    return true;
  });
}

}  // namespace

int CalculatePartitionParams(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  ui.SetText(control::kStatus, "Calculating Partition Params...");
  ui.ShowControl(control::kProgress, true);
  if (!IsFat(ctx.partitionType)) return 0;
  // The figures are 32-bit sector numbers; the session refuses ranges they cannot describe.
  if (ctx.searchEnd > kLastAddressableSector) return 0;
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

WalkResult NameChildNodes(ScanContext& ctx, std::uint64_t sector, std::uint32_t cluster) {
  DirectorySectors directory(ctx, {sector});
  return NameChildrenFrom(ctx, directory, {.clusterSectors = 1, .longNamesFromDiskOrder = true},
                          cluster, ChildrenOf(ctx, cluster));
}

void NameFatChildren(ScanContext& ctx, FatReader& fat, const FolderNode& node) {
  if (node.self == kOrphanCluster) return;
  const std::uint32_t self = node.self;
  // The candidates are gathered once per directory instead of once per sector.
  const std::vector<FolderNode*> children = ChildrenOf(ctx, self);
  if (children.empty()) return;
  DirectorySectors directory(ctx, DirectoryChainSectors(ctx, fat, self), ctx.listFromKept);
  DirectoryWalk walk;
  walk.clusterSectors = ctx.activeGeometry.SectorsPerCluster;
  walk.subDirectory = true;
  NameChildrenFrom(ctx, directory, walk, self, children);
}

void BindFatVolume(ScanContext& ctx, std::shared_ptr<FatReader> fat) {
  ctx.results.volumeType = ctx.activeGeometry.type;
  ctx.results.hooks.nameChildren = [&ctx, fat](const FolderNode& node) { NameFatChildren(ctx, *fat, node); };
  ctx.results.hooks.listFiles = [&ctx, fat](DetailsList& list, std::uint32_t folderKey,
                                            const FolderNode* folder) {
    // A deleted folder whose first cluster no longer begins its directory (another file took
    // it) has no contents that can be known: its entries would be someone else's bytes.
    if (folder && folder->deleted && !DirectoryBeginsAt(ctx, folderKey, ctx.listFromKept)) return;
    if (folderKey == kHollowFolderKey) return;  // its cluster's entries are listed where its folder is
    ListFatFiles(ctx, *fat, list, folderKey);
  };
}

}  // namespace quarrow
