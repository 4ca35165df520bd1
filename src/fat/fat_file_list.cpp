#include "fat/fat_file_list.h"

#include <string>
#include <vector>

#include "fat/fat_entries.h"
#include "fat/fat_volume.h"
#include "scan/scan_context.h"

namespace quarrow {

void ListFatFiles(ScanContext& ctx, DetailsList& list, std::uint32_t folderCluster) {
  const FsType layout = ctx.activeGeometry.type;
  if (!IsFat(layout)) return;
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  std::uint32_t c = folderCluster;
  if (layout == FsType::kFat32 && c == 0) {
    c = g.RootDirStart;
    if (c == 0) return;  // a FAT32 volume without a root cluster lists nothing
  }
  const bool fat16Root = c == 0;
  DirectorySectors directory(ctx, fat16Root ? Fat16RootSectors(ctx) : DirectoryChainSectors(ctx, c));
  const std::vector<std::uint64_t>& sectors = directory.Numbers();
  for (std::size_t index = 0; index < sectors.size(); ++index) {
    const ByteSpan sector = directory.At(index);
    // An unreadable directory sector is skipped rather than listed from stale bytes.
    if (sector.empty()) continue;
    bool endOfDirectory = false;
    for (int e = 0; e < kEntriesPerSector; ++e) {
      const std::size_t off = static_cast<std::size_t>(e) * kDirEntrySize;
      if (Byte(sector, off) == 0) {
        // The FAT16 root ends only this sector; any other directory ends here.
        endOfDirectory = !fat16Root;
        break;
      }
      const std::uint8_t attr = Byte(sector, off + 11);
      if (IsDotEntry(sector, off) || attr == kLongNameAttribute || (attr & kDirectoryAttribute) != 0)
        continue;
      EntryName name = ResolveEntryName(ctx, sector, off, sectors[index], DirectoryOrder{&sectors, index});
      if (!name.valid) continue;
      list.rows.push_back(FatFileRow(std::move(name.name), Le32(sector, off + 28), Le16(sector, off + 24),
                                     Le16(sector, off + 22), EntryCluster(sector, off, layout), name.deleted,
                                     fat16Root));
    }
    if (endOfDirectory) break;
  }
}

const FatFileLister& FatFileListerHook() {
  static const FatFileLister hook = [](ScanContext& ctx, DetailsList& list, std::uint32_t folderCluster) {
    ListFatFiles(ctx, list, folderCluster);
  };
  return hook;
}

const ChildNamer& FatChildNamerHook() {
  static const ChildNamer hook = [](ScanContext& ctx, const FolderNode& node) { NameFatChildren(ctx, node); };
  return hook;
}

}  // namespace quarrow
