#include "exfat/directory_walk.h"

#include <deque>

#include "exfat/exfat_volume.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

struct PendingDirectory {
  std::uint32_t key = 0;
  std::uint32_t firstCluster = 0;
  bool contiguous = false;
  std::uint64_t bytes = 0;  // 0: as far as the chain goes
  bool deleted = false;
};

std::vector<std::uint32_t> DirectoryClusters(ExfatVolume& volume, const PendingDirectory& dir) {
  const std::uint64_t clusterBytes = volume.Layout().ClusterBytes();
  const std::uint64_t wanted = dir.bytes == 0 ? kMaxDirectoryBytes : std::min(dir.bytes, kMaxDirectoryBytes);
  const std::uint64_t clusters = (wanted + clusterBytes - 1) / clusterBytes;
  std::vector<std::uint32_t> list = volume.Clusters(dir.firstCluster, dir.contiguous, clusters);
  // A deleted folder's chain may be freed: what it had is read from the run after its first
  // cluster.
  // So is a folder's on a volume whose FAT is not known (found without its boot region).
  const bool noFat = volume.Layout().fatSectors == 0;
  if ((dir.deleted || noFat) && !dir.contiguous && dir.bytes != 0 && list.size() < clusters)
    list = volume.Clusters(dir.firstCluster, true, clusters);
  return list;
}

void AppendRow(TextTable& table, const ExfatEntrySet& set, std::uint64_t sector, std::uint32_t self,
               std::uint32_t parent, bool folder) {
  using namespace entry_col;
  const int row = table.AppendRow(set.name);
  table.SetCell(row, kSector, U32Text(static_cast<std::uint32_t>(sector)));
  table.SetCell(row, kSelf, U32Text(self));
  table.SetCell(row, kParent, U32Text(parent));
  table.SetCell(row, kDate, I64Text(set.modified.ticks));
  table.SetCell(row, kTime, "0");
  table.SetCell(row, kSize, folder ? "0" : std::to_string(set.dataLength));
  table.SetCell(row, kAttr, std::to_string(set.attributes));
  table.SetCell(row, kSysId, "0");
  table.SetCell(row, kType, folder ? "FOLDER" : "FILE");
  if (set.deleted) table.SetCell(row, kDeleted, "1");
}

}  // namespace

ExfatDirectoryContents ReadExfatRoot(const ScanContext& ctx, const ExfatLayout& layout) {
  ExfatVolume volume(ctx, layout);
  const PendingDirectory root{kExfatRootKey, layout.rootCluster, false, 0, false};
  return ReadDirectoryEntries(volume.ReadClusters(DirectoryClusters(volume, root), kMaxDirectoryBytes));
}

ExfatWalkSummary WalkExfatVolume(ScanContext& ctx, const ExfatLayout& layout) {
  ExfatWalkSummary summary;
  Feedback& ui = ctx.Ui();
  ui.SetText(control::kFolderCounter, "0");
  ExfatVolume volume(ctx, layout);
  TextTable& folders = ctx.results.tables.EntryTable;
  TextTable& files = ctx.results.tables.PendingEntryTable;

  std::deque<PendingDirectory> queue{{kExfatRootKey, layout.rootCluster, false, 0, false}};
  std::uint32_t nextKey = kExfatFirstFolderKey;
  std::size_t walked = 0;
  while (!queue.empty() && walked < kMaxExfatDirectories) {
    if (ctx.StopRequested()) break;
    const PendingDirectory dir = queue.front();
    queue.pop_front();
    ++walked;
    const std::vector<std::uint32_t> clusters = DirectoryClusters(volume, dir);
    const std::vector<std::uint8_t> bytes = volume.ReadClusters(clusters, kMaxDirectoryBytes);
    const ExfatDirectoryContents contents = ReadDirectoryEntries(bytes, !dir.deleted);
    if (dir.key == kExfatRootKey) {
      summary.label = contents.label;
      summary.bitmap = contents.bitmap;
      summary.upcase = contents.upcase;
      summary.rootRead = contents.bitmap || contents.upcase || !contents.sets.empty();
    }
    for (const ExfatDirectoryContents::Found& found : contents.sets) {
      const ExfatEntrySet& set = found.set;
      if (dir.deleted && !set.deleted) continue;
      const std::uint64_t sector = volume.SectorOf(clusters, found.offset);
      // The tables keep 32-bit sector numbers.
      if (sector == 0 || sector > 0xFFFFFFFFull) continue;
      if (set.Directory()) {
        if (nextKey == kOrphanCluster) ++nextKey;
        const std::uint32_t key = nextKey++;
        AppendRow(folders, set, sector, key, dir.key, true);
        ++summary.folders;
        if (queue.size() + walked < kMaxExfatDirectories && set.dataLength != 0)
          queue.push_back(
              {key, set.firstCluster, set.NoFatChain(), set.dataLength, dir.deleted || set.deleted});
      } else {
        const auto index = static_cast<std::uint32_t>((found.offset % kSectorSize) / exfat_entry::kSize);
        AppendRow(files, set, sector, index, dir.key, false);
        ++summary.files;
      }
    }
    ui.SetText(control::kFolderCounter, std::to_string(summary.folders));
  }
  return summary;
}

}  // namespace quarrow
