#include "fat/directory_passes.h"

#include <algorithm>
#include <array>
#include <deque>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fat/boot_sector.h"
#include "fat/directory_reader.h"
#include "fat/fat_entries.h"
#include "fat/fat_reader.h"
#include "results/folder_tree.h"
#include "results/table_numbers.h"
#include "scan/chunk_reader.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

constexpr std::uint32_t kChunkSectors = 512;

void AppendFolderRow(TextTable& table, ByteSpan sector, std::uint64_t sectorNumber, std::uint32_t self,
                     FsType layout) {
  using namespace entry_col;
  const std::uint32_t parent =
      layout == FsType::kFat32 ? EntryCluster32(sector, 32) : EntryCluster16(sector, 32);
  // Columns: name, sector, self, parent, date, time, size, attr, sysID, type, deleted.
  table.AppendRowCells({"Dir" + std::to_string(table.RowCount()), std::uint64_t{sectorNumber},
                        std::uint32_t{self}, std::uint32_t{parent}, std::uint32_t{Le16(sector, 24)},
                        std::uint32_t{Le16(sector, 22)}, std::uint32_t{Le32(sector, 28)},
                        std::uint32_t{Byte(sector, 11)}, "0", "FOLDER"});
}

}  // namespace

void InsertMiscFolderRow(TextTable& table) {
  using namespace entry_col;
  int row = table.InsertRow(0, kMiscFolderName);
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

void ScanDataArea(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  TextTable& table = ctx.results.tables.EntryTable;
  const std::uint64_t last = ctx.searchEnd;
  const std::string lastText = std::to_string(last);
  ui.SetText(control::kFolderCounter, "0");
  ui.SetText(control::kBootCounter, "0");
  ui.SetText(control::kStatus, "Sectors  0 of " + lastText);
  InsertMiscFolderRow(table);
  ui.SetText(control::kFolderCounter, std::to_string(table.RowCount()));

  const FsType layout = ctx.partitionType;
  const std::uint32_t spc = ctx.geometry.SectorsPerCluster;
  if (!IsFat(layout) || spc == 0) return;

  // A cluster whose first sector begins a sub-directory that names itself is a folder row; what
  // the pass read of its directory is kept, since naming and listing the folder read it again.
  std::uint64_t cluster = 2;  // the running cluster counter
  const auto test = [&](std::uint64_t clusterSector, ByteSpan first, ByteSpan held) {
    if (!IsDirectoryStartSector(first) || EntryCluster(first, 0, layout) != cluster) return;
    AppendFolderRow(table, first, clusterSector, static_cast<std::uint32_t>(cluster), layout);
    ctx.KeepSectors(clusterSector, held);
    ui.SetText(control::kFolderCounter, std::to_string(table.RowCount()));
  };
  ProgressSteps progress(ui);
  std::array<std::uint8_t, kSectorSize> single{};
  std::uint64_t p = std::uint64_t{ctx.geometry.Cluster0Sector} + 2ull * spc;

  if (ReadsFirstSectorsOnly(spc)) {
    // Only the first sector of each cluster is tested: large clusters are read one sector each,
    // and a directory's cluster whole once its first sector is found.
    std::vector<std::uint8_t> held(std::size_t{kChunkSectors} * kSectorSize);
    const std::span<std::uint8_t> buffer(held);
    while (p < last) {
      if (ctx.StopRequested()) return;
      ui.SetText(control::kStatus, "Sectors  " + std::to_string(p) + " of " + lastText);
      const std::uint64_t stretchEnd = std::min<std::uint64_t>(last, p + kChunkSectors);
      for (; p < stretchEnd; p += spc, ++cluster) {
        if (cluster > 0xFFFFFFFFull) return;
        if (ctx.Read(p, 1, buffer.first(kSectorSize)) == 0) continue;
        if (!IsDirectoryStartSector(buffer.first(kSectorSize))) continue;
        // The rest of the cluster as far as the range and the buffer go, as the whole-area read
        // would have held it; only the first sector when the rest cannot be read.
        const auto held = static_cast<std::uint32_t>(
            std::min<std::uint64_t>({spc, last - p, std::uint64_t{kChunkSectors}}));
        const bool rest =
            held > 1 &&
            ctx.Read(p + 1, held - 1, buffer.subspan(kSectorSize, std::size_t{held - 1} * kSectorSize)) != 0;
        test(p, buffer.first(kSectorSize), buffer.first(std::size_t{rest ? held : 1u} * kSectorSize));
      }
      progress.Show(p, last);
    }
    return;
  }

  // The whole area, chunk by chunk; from an image file two threads read it (see chunk_reader.h).
  // The thread that read a chunk marks the clusters whose first sector begins a directory that
  // names itself, the test below, and only those are looked at again here.
  const std::uint64_t areaStart = p;
  const auto look = [areaStart, spc, last, layout](ChunkReader::Chunk& c) {
    if (!c.whole) return;
    std::uint64_t s = areaStart + (c.first - areaStart + spc - 1) / spc * spc;
    for (; s < c.first + c.count && s < last; s += spc) {
      const std::uint64_t number = 2 + (s - areaStart) / spc;
      if (number > 0xFFFFFFFFull) return;
      const ByteSpan first(c.bytes.data() + (s - c.first) * kSectorSize, kSectorSize);
      if (IsDirectoryStartSector(first) && EntryCluster(first, 0, layout) == number)
        c.marks.push_back(static_cast<std::uint32_t>(s - c.first));
    }
  };
  std::uint64_t clusterSector = p;  // first sector of the running cluster
  ChunkReader chunks(ctx, p, last, kChunkSectors, true, look);
  while (p < last) {
    if (ctx.StopRequested()) return;
    ui.SetText(control::kStatus, "Sectors  " + std::to_string(p) + " of " + lastText);
    const ChunkReader::Chunk* chunk = chunks.Next();
    if (chunk == nullptr) return;
    const std::uint32_t count = chunk->count;
    const std::span<const std::uint8_t> buffer = chunk->bytes;
    const bool whole = chunk->whole;
    const bool nothingRead = !whole && chunk->report.failedSectors >= count;
    std::size_t nextMark = 0;
    // Clusters are visited by their own first sector, so any cluster size lines up with the
    // buffer, and clusters that start past the end of the range are not part of the volume.
    for (; clusterSector < p + count && clusterSector < last; clusterSector += spc, ++cluster) {
      if (cluster > 0xFFFFFFFFull) return;
      if (nothingRead) continue;
      ByteSpan first(buffer.data() + (clusterSector - p) * kSectorSize, kSectorSize);
      if (!whole) {
        // Part of the chunk failed: read this cluster's first sector alone, and skip it when
        // it cannot be read rather than test what the buffer holds. The chunk's read counted
        // the sector already if it failed, so this second look is not counted again.
        ReadReport again;
        if (ctx.ReadUncounted(clusterSector, 1, single, again) == 0) continue;
        test(clusterSector, ByteSpan(single), ByteSpan(single));
        continue;
      }
      if (nextMark == chunk->marks.size() || chunk->marks[nextMark] != clusterSector - p) continue;
      ++nextMark;
      const std::uint64_t held = std::min<std::uint64_t>(spc, p + count - clusterSector);
      test(clusterSector, first, ByteSpan(first.data(), static_cast<std::size_t>(held) * kSectorSize));
    }
    progress.Show(p, last);
    p += kChunkSectors;
  }
}

void LinkLostDirectories(ScanContext& ctx, LinkForm form) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  // From here on a stop has nothing left to cut short.
  ui.StageBegun(SearchStage::kLinking);
  TextTable& table = ctx.results.tables.EntryTable;
  const int n = table.RowCount();
  const std::uint32_t rootValue = form == LinkForm::kNtfs ? 5 : 0;
  // The status and the bar when the percent changes: a card has thousands of folders.
  ProgressSteps steps(ui);
  for (int r = 0; r < n; ++r) {
    const std::uint32_t parent = table.U32(r, kParent);
    if (parent == rootValue) continue;
    // Every row takes part: a search from row 1 (as the NTFS form was once written) misses the
    // children of the smallest folder whenever the root's own record is not among the rows.
    int lo = 0;
    int hi = n - 1;
    bool found = false;
    while (lo <= hi) {
      const int mid = lo + (hi - lo) / 2;
      const std::uint32_t self = table.U32(mid, kSelf);
      if (self < parent) {
        lo = mid + 1;
      } else if (self > parent) {
        hi = mid - 1;
      } else {
        found = true;
        break;
      }
    }
    if (!found) table.SetCell(r, kParent, U32Text(kOrphanCluster));
    if (r > 0 && steps.Show(static_cast<std::uint64_t>(r), static_cast<std::uint64_t>(n)))
      ui.SetText(control::kStatus,
                 "Searching Lost Directories " + std::to_string(r) + "/" + std::to_string(n));
  }
}

namespace {

// The root directory's sectors in directory order (ActiveVolumeGeometry).
std::vector<std::uint64_t> RootDirectorySectors(ScanContext& ctx, FatReader& fat, FsType type) {
  if (type != FsType::kFat32) return Fat16RootSectors(ctx);
  // Cluster 0 is no data cluster: a FAT32 volume without a root cluster has no root to read.
  if (ctx.activeGeometry.RootDirStart == 0) return {};
  return DirectoryChainSectors(ctx, fat, ctx.activeGeometry.RootDirStart);
}

// A directory entry that names a folder, as the placing walk keeps it.
struct FolderEntry {
  std::uint32_t directory = 0;  // the key of the folder holding the entry (0 for the root)
  std::uint32_t cluster = 0;
  std::string name;
  bool deleted = false;
  std::uint16_t date = 0, time = 0;
};

void AppendPlacedRow(TextTable& table, const ScanContext& ctx, const FolderEntry& e) {
  using namespace entry_col;
  const int row = table.AppendRow(e.name);
  table.SetCell(row, kSector, std::to_string(ClusterSector(ctx, e.cluster)));
  table.SetCell(row, kSelf, U32Text(e.cluster));
  table.SetCell(row, kParent, U32Text(e.directory));
  table.SetCell(row, kDate, U32Text(e.date));
  table.SetCell(row, kTime, U32Text(e.time));
  table.SetCell(row, kSize, "0");
  table.SetCell(row, kAttr, U32Text(kDirectoryAttribute));
  table.SetCell(row, kSysId, "0");
  table.SetCell(row, kType, "FOLDER");
  table.SetCell(row, kDeleted, e.deleted ? "1" : "");
}

}  // namespace

void MendLoopedFolderParents(ScanContext& ctx, FatReader& fat) {
  using namespace entry_col;
  TextTable& table = ctx.results.tables.EntryTable;
  std::unordered_map<std::uint32_t, std::uint32_t> parentOf;
  std::unordered_map<std::uint32_t, int> rowOf;
  for (int r = 0; r < table.RowCount(); ++r) {
    const std::uint32_t self = ReadU32(table.GetCell(r, kSelf));
    if (self == kOrphanCluster || self == 0) continue;
    parentOf.try_emplace(self, ReadU32(table.GetCell(r, kParent)));
    rowOf.try_emplace(self, r);
  }
  // The folders on a loop of ".." links: each walk up from a folder not yet seen stops at the root,
  // at a folder that is no row, at a folder an earlier walk finished, or on a folder of its own path.
  std::unordered_set<std::uint32_t> looped, done;
  for (const auto& [start, unused] : parentOf) {
    std::vector<std::uint32_t> path;
    std::unordered_map<std::uint32_t, std::size_t> onPath;
    std::uint32_t at = start;
    while (!done.contains(at) && parentOf.contains(at)) {
      if (auto it = onPath.find(at); it != onPath.end()) {
        looped.insert(path.begin() + static_cast<std::ptrdiff_t>(it->second), path.end());
        break;
      }
      onPath.emplace(at, path.size());
      path.push_back(at);
      at = parentOf.at(at);
    }
    done.insert(path.begin(), path.end());
  }
  if (looped.empty()) return;

  // Every folder's directory is read for live entries that name a looped folder's cluster.
  const FsType type = ctx.activeGeometry.type;
  std::vector<std::uint32_t> keys{0};
  for (const auto& [self, unused] : parentOf) keys.push_back(self);
  std::unordered_map<std::uint32_t, std::uint32_t> namedIn;
  for (const std::uint32_t key : keys) {
    if (ctx.StopRequested() || namedIn.size() == looped.size()) break;
    DirectorySectors directory(
        ctx, key == 0 ? RootDirectorySectors(ctx, fat, type) : DirectoryChainSectors(ctx, fat, key), true);
    DirectoryWalk walk;
    walk.clusterSectors = key == 0 ? 0 : ctx.activeGeometry.SectorsPerCluster;
    walk.subDirectory = key != 0;
    ForEachDirectoryEntry(ctx, directory, walk, [&](const DirectoryEntry& entry) {
      if (!entry.IsDirectory()) return true;
      const std::uint32_t cluster = entry.Cluster(type);
      if (cluster == key || !looped.contains(cluster)) return true;
      const EntryName& name = entry.Name();
      if (name.valid && !name.deleted) namedIn.try_emplace(cluster, key);
      return true;
    });
  }
  for (const auto& [cluster, parent] : namedIn) table.SetCell(rowOf.at(cluster), kParent, U32Text(parent));
}

std::vector<FolderRowValues> PlaceFoldersByName(ScanContext& ctx, FatReader& fat) {
  using namespace entry_col;
  std::vector<FolderRowValues> deletedWithoutDirectory;
  const FsType type = ctx.activeGeometry.type;
  const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
  if (!IsFat(type) || spc == 0) return deletedWithoutDirectory;
  TextTable& table = ctx.results.tables.EntryTable;
  std::unordered_map<std::uint32_t, int> rowOf;
  for (int r = 0; r < table.RowCount(); ++r) {
    const std::uint32_t self = ReadU32(table.GetCell(r, kSelf));
    if (self != kOrphanCluster) rowOf.try_emplace(self, r);
  }
  // A cluster that lies past the search range belongs to no folder of this volume.
  const auto inVolume = [&](std::uint32_t cluster) {
    return cluster >= 2 && ClusterSector(ctx, cluster) < ctx.searchEnd;
  };

  std::unordered_set<std::uint32_t> placed{0};
  if (type == FsType::kFat32 && ctx.activeGeometry.RootDirStart != 0)
    placed.insert(ctx.activeGeometry.RootDirStart);
  std::deque<std::uint32_t> toRead{0};
  std::vector<FolderEntry> deletedEntries;  // met while reading, placed once no live entry claims them
  std::size_t nextDeleted = 0;

  const auto place = [&](const FolderEntry& e) {
    if (e.cluster == e.directory || !inVolume(e.cluster) || !placed.insert(e.cluster).second) return;
    auto it = rowOf.find(e.cluster);
    if (it != rowOf.end()) {
      table.SetCell(it->second, kParent, U32Text(e.directory));
      table.SetCell(it->second, kName, e.name);
      table.SetCell(it->second, kDeleted, e.deleted ? "1" : "");
      toRead.push_back(e.cluster);
    } else if (!e.deleted) {
      rowOf.emplace(e.cluster, table.RowCount());
      AppendPlacedRow(table, ctx, e);
      toRead.push_back(e.cluster);
    } else {
      FolderRowValues v;
      v.name = e.name;
      v.self = e.cluster;
      v.parent = e.directory;
      v.date = e.date;
      v.time = e.time;
      v.deleted = true;
      deletedWithoutDirectory.push_back(std::move(v));
    }
  };

  for (;;) {
    while (!toRead.empty()) {
      if (ctx.StopRequested()) return deletedWithoutDirectory;
      const std::uint32_t key = toRead.front();
      toRead.pop_front();
      DirectorySectors directory(
          ctx, key == 0 ? RootDirectorySectors(ctx, fat, type) : DirectoryChainSectors(ctx, fat, key), true);
      std::vector<FolderEntry> live;
      DirectoryWalk walk;
      walk.clusterSectors = key == 0 ? 0 : ctx.activeGeometry.SectorsPerCluster;
      walk.subDirectory = key != 0;
      ForEachDirectoryEntry(ctx, directory, walk, [&](const DirectoryEntry& entry) {
        if (!entry.IsDirectory()) return true;
        const EntryName& name = entry.Name();
        if (!name.valid) return true;
        FolderEntry e{key, entry.Cluster(type), name.name, name.deleted, entry.Date(), entry.Time()};
        (name.deleted ? deletedEntries : live).push_back(std::move(e));
        return true;
      });
      for (const FolderEntry& e : live) place(e);
    }
    // Live entries are placed first, wherever they are; then a deleted entry places a folder no
    // live entry named, and the directories it opens are read the same way.
    if (nextDeleted == deletedEntries.size()) break;
    place(deletedEntries[nextDeleted++]);
  }
  return deletedWithoutDirectory;
}

void AddDeletedFoldersWithoutDirectory(ScanContext& ctx, const std::vector<FolderRowValues>& folders) {
  ResultsState& results = ctx.results;
  std::unordered_map<std::uint32_t, TreeItem> itemOf;
  for (const FolderNode& node : results.folderNodes) itemOf.try_emplace(node.self, node.item);
  for (const FolderRowValues& folder : folders) {
    TreeItem parent = results.Tree().Root();
    if (folder.parent != 0) {
      auto it = itemOf.find(folder.parent);
      if (it == itemOf.end()) continue;  // its parent was not listed either
      parent = it->second;
    }
    const TreeItem item = InsertFolderNode(results, parent, folder);
    if (item != kNoItem) itemOf.try_emplace(folder.self, item);
    results.dataFound = true;
  }
}

void AddFoldersNamedElsewhere(ScanContext& ctx, FatReader& fat) {
  ResultsState& results = ctx.results;
  const FsType type = ctx.activeGeometry.type;
  if (!IsFat(type) || !results.tree) return;
  // Where each cluster's folder is listed; the directories to read, with the item they are at.
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> parentsOf;
  std::vector<std::pair<std::uint32_t, TreeItem>> directories{{kFatRootKey, results.Tree().Root()}};
  std::unordered_set<std::uint32_t> queued{kFatRootKey};
  for (const FolderNode& node : results.folderNodes) {
    if (node.self == kOrphanCluster || node.self == kHollowFolderKey) continue;
    parentsOf[node.self].push_back(node.parent);
    // A deleted folder whose first cluster another file took has no entries of its own.
    if (node.deleted && !DirectoryBeginsAt(ctx, node.self, true)) continue;
    if (queued.insert(node.self).second) directories.emplace_back(node.self, node.item);
  }
  std::vector<std::pair<TreeItem, FolderRowValues>> found;
  for (const auto& [key, item] : directories) {
    if (ctx.StopRequested()) return;
    DirectorySectors directory(
        ctx, key == kFatRootKey ? RootDirectorySectors(ctx, fat, type) : DirectoryChainSectors(ctx, fat, key),
        true);
    DirectoryWalk walk;
    walk.clusterSectors = key == kFatRootKey ? 0 : ctx.activeGeometry.SectorsPerCluster;
    walk.subDirectory = key != kFatRootKey;
    ForEachDirectoryEntry(ctx, directory, walk, [&](const DirectoryEntry& entry) {
      if (!entry.IsDirectory()) return true;
      const auto it = parentsOf.find(entry.Cluster(type));
      if (it == parentsOf.end() || std::ranges::find(it->second, key) != it->second.end()) return true;
      const EntryName& name = entry.Name();
      if (!name.valid) return true;
      FolderRowValues row;
      row.name = name.name;
      row.self = kHollowFolderKey;
      row.parent = key;
      row.date = entry.Date();
      row.time = entry.Time();
      row.deleted = name.deleted;
      found.emplace_back(item, std::move(row));
      return true;
    });
  }
  for (const auto& [item, row] : found) {
    if (InsertFolderNode(results, item, row) != kNoItem) results.dataFound = true;
  }
}

std::optional<std::string> ReadVolumeLabel(ScanContext& ctx, FatReader& fat) {
  const FsType type = ctx.activeGeometry.type;
  if (!IsFat(type)) return std::nullopt;
  DirectorySectors root(ctx, RootDirectorySectors(ctx, fat, type), true);
  std::string label;
  bool found = false;
  for (std::size_t index = 0; index < root.size() && !found; ++index) {
    const ByteSpan sector = root.At(index);
    for (std::size_t off = 0; off + kDirEntrySize <= sector.size(); off += kDirEntrySize) {
      const std::uint8_t first = Byte(sector, off);
      if (first == 0) break;
      if (first == kDeletedMarker || !IsVolumeLabelEntry(sector, off)) continue;
      label = LabelText(sector.subspan(off, 11), ctx.codePage);
      found = true;
      break;
    }
  }
  if (!found) {
    std::array<std::uint8_t, kSectorSize> boot{};
    if (ctx.Read(ctx.searchStart, 1, boot) != 0) {
      const std::size_t at = type == FsType::kFat32 ? fat_boot::kFat32Label : fat_boot::kFat16Label;
      label = LabelText(ByteSpan(boot).subspan(at, 11), ctx.codePage);
      if (label == "NO NAME") label.clear();
    }
  }
  if (label.empty()) return std::nullopt;
  return label;
}

namespace {

void NameRootFolders(ScanContext& ctx, FatReader& fat, FsType type) {
  using namespace entry_col;
  TextTable& table = ctx.results.tables.EntryTable;
  // The root directory's entries are matched against the root-level rows only.
  std::vector<int> rootRows;
  for (int r = 0; r < table.RowCount(); ++r) {
    if (ReadU32(table.GetCell(r, kParent)) == 0) rootRows.push_back(r);
  }
  DirectorySectors directory(ctx, RootDirectorySectors(ctx, fat, type), true);
  std::set<int> liveRows;
  ForEachDirectoryEntry(ctx, directory, {.clusterSectors = 0}, [&](const DirectoryEntry& entry) {
    const EntryName& name = entry.Name();
    if (!name.valid) return true;
    if (entry.HasExtension()) ctx.results.dataFound = true;
    // Only a directory entry names a folder (a deleted file may share a reused cluster).
    if (!entry.IsDirectory()) return true;
    const std::uint32_t cluster = entry.Cluster(type);
    for (int r : rootRows) {
      if (ReadU32(table.GetCell(r, kSelf)) != cluster) continue;
      // A live entry for the folder's cluster wins over a deleted one, in either order; of two
      // live entries (a cross-linked directory) the first keeps it, as it placed the folder.
      if (liveRows.count(r)) break;
      table.SetCell(r, kName, name.name);
      table.SetCell(r, kDeleted, name.deleted ? "1" : "");
      if (!name.deleted) liveRows.insert(r);
      ctx.results.dataFound = true;
      break;
    }
    return true;
  });
}

const FolderNode* FindMiscNode(const ResultsState& results) {
  for (const FolderNode& node : results.folderNodes) {
    if (node.self == kOrphanCluster && node.parent == 0) return &node;
  }
  return nullptr;
}

// First row below the root level that the node walk left behind, or -1.
int FirstUnattachedRow(const TextTable& table) {
  for (int r = 0; r < table.RowCount(); ++r) {
    if (ReadU32(table.GetCell(r, entry_col::kParent)) != 0) return r;
  }
  return -1;
}

}  // namespace

void StoreDirectoryInformation(ScanContext& ctx, FatReader& fat, StoreForm form) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  ResultsState& results = ctx.results;
  TextTable& table = results.tables.EntryTable;
  if (table.RowCount() > 1) results.dataFound = true;

  const FsType type = form == StoreForm::kStandardSearch ? ctx.partitionType : ctx.activeGeometry.type;
  if (IsFat(type)) NameRootFolders(ctx, fat, type);

  mytreectrl& tree = results.Tree();
  ui.SetProgress(control::kProgress, 0, "Completed ");
  const TreeItem root = tree.Root();
  for (int r = 0; r < table.RowCount(); ++r) {
    if (ReadU32(table.GetCell(r, kParent)) != 0) continue;
    InsertFolderNode(results, root, ReadFolderRow(table, r));
  }
  tree.Expand(root, true);
  tree.SetText(root, "Root");

  std::size_t visited = 0;
  int shown = 0;
  auto walk = [&] {
    visited += AttachDescendants(results, table, visited, /*skipEqualSelf=*/false, [&](std::size_t count) {
      if (form != StoreForm::kStandardSearch) return;
      const int percent = static_cast<int>((visited + count) * 100 / results.folderNodes.Count());
      if (percent > shown) {
        ui.SetProgress(control::kProgress, percent, "Completed ");
        shown = percent;
      }
    });
  };
  walk();

  // Folders whose parents name each other in a circle never reach the root; rather than lose
  // them, each such circle is opened at its first row and hung under "QRW_Miscellaneous".
  if (const FolderNode* misc = FindMiscNode(results)) {
    const TreeItem miscItem = misc->item;
    for (int row = FirstUnattachedRow(table); row >= 0; row = FirstUnattachedRow(table)) {
      const int before = table.RowCount();
      table.SetCell(row, kParent, U32Text(kOrphanCluster));
      table.Sort(kParent);
      AttachChildFolders(results, U32Text(kOrphanCluster), table, miscItem);
      if (table.RowCount() >= before) break;  // nothing was attached: give up rather than spin
      walk();
    }
  }

  if (form == StoreForm::kStandardSearch) table.DeleteAllRows();
}

}  // namespace quarrow
