// Directory entries, 8.3 names through two code pages and long names over hostile directory
// sectors: the input's sectors, in their order, are one directory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fat/directory_reader.h"
#include "fat/fat_entries.h"
#include "fuzz_disk.h"
#include "scan/scan_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  static const quarrow::CodePage kJapanese = *quarrow::CodePage::Open(932);
  std::vector<std::uint64_t> sectors;
  for (std::uint64_t s = 0; s < disk.sectors && s < 64; ++s) sectors.push_back(s);
  for (int page = 0; page < 2; ++page) {
    quarrow::ScanContext ctx;
    ctx.reader = &disk.reader;
    if (page == 1) ctx.codePage = kJapanese;
    for (quarrow::FsType type : {quarrow::FsType::kFat16, quarrow::FsType::kFat32}) {
      ctx.activeGeometry.type = type;
      quarrow::DirectorySectors directory(ctx, sectors);
      quarrow::DirectoryWalk walk;
      walk.subDirectory = type == quarrow::FsType::kFat32;
      quarrow::ForEachDirectoryEntry(ctx, directory, walk, [&](const quarrow::DirectoryEntry& entry) {
        (void)entry.Name();
        (void)entry.Cluster(type);
        (void)entry.IsVolumeLabel();
        return true;
      });
      // The lone-sector form reads long names from the sectors in front of it on the disk.
      if (!sectors.empty()) {
        quarrow::DirectorySectors last(ctx, {sectors.back()});
        walk.longNamesFromDiskOrder = true;
        quarrow::ForEachDirectoryEntry(
            ctx, last, walk, [](const quarrow::DirectoryEntry& e) { return e.Name().valid || true; });
      }
    }
  }
  return 0;
}
