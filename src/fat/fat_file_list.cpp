#include "fat/fat_file_list.h"

#include <string>
#include <vector>

#include "fat/directory_reader.h"
#include "fat/fat_entries.h"
#include "scan/scan_context.h"

namespace quarrow {

void ListFatFiles(const ScanContext& ctx, FatReader& fat, DetailsList& list, std::uint32_t folderCluster) {
  const FsType type = ctx.activeGeometry.type;
  if (!IsFat(type)) return;
  std::uint32_t c = folderCluster;
  if (type == FsType::kFat32 && c == 0) {
    c = ctx.activeGeometry.RootDirStart;
    if (c == 0) return;  // a FAT32 volume without a root cluster lists nothing
  }
  const bool fat16Root = c == 0;
  DirectorySectors directory(ctx, fat16Root ? Fat16RootSectors(ctx) : DirectoryChainSectors(ctx, fat, c),
                             ctx.listFromKept);
  // The FAT16 root is read whole; any other directory to the end of the cluster an end entry is in.
  DirectoryWalk walk;
  walk.clusterSectors = fat16Root ? 0 : ctx.activeGeometry.SectorsPerCluster;
  walk.subDirectory = c != 0 && !(type == FsType::kFat32 && c == ctx.activeGeometry.RootDirStart);
  ForEachDirectoryEntry(ctx, directory, walk, [&](const DirectoryEntry& entry) {
    // Folders come from the tree; the volume's label is no file.
    if (entry.IsDirectory() || entry.IsVolumeLabel()) return true;
    const EntryName& name = entry.Name();
    if (!name.valid) return true;
    list.rows.push_back(FatFileRow(name.name, entry.Size(), entry.Date(), entry.Time(), entry.Cluster(type),
                                   name.deleted, fat16Root));
    return true;
  });
}

}  // namespace quarrow
