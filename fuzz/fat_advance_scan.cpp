// An Advance search on FAT over a hostile disk: the sector classifiers (boot sectors, directories'
// first and later sectors) on every sector the input gives, the sector scan of a range, the
// analysis, then the second stage of the first identified file systems and every folder of the
// rebuilt tree opened and listed as the results page does. The seed "wiped" has no FAT and a
// folder that grew past its first cluster.
//
// The input is a FuzzDisk (fuzz_disk.h), read through SectorMapDisk. Bit 40 of its size field picks
// the partition type (FAT32 when set); the range starts at the chunk of the first sector given and
// covers at most 8192 sectors. Seeds are sectors of the advance_* test disks, for example
//   python3 fuzz/make_seeds.py fat_advance_scan backup_boot IMG 2048-2060 3310-3460
// with bit 40 then set for the FAT32 ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>

#include "app/results_page.h"
#include "fat/advance_scan.h"
#include "fat/fat_entries.h"
#include "results/file_list.h"
#include "scan/scan_context.h"
#include "sector_map_disk.h"
#include "session/advance_search.h"

namespace {

constexpr std::uint64_t kMaxRange = 8192;
constexpr int kMaxSecondStages = 2;
constexpr std::size_t kMaxFoldersOpened = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  const std::span<const std::uint8_t> input(data, size);
  for (std::size_t at = 8; at + 4 < size; at += fuzz::kRecordBytes) {
    const ByteSpan sector = input.subspan(at + 4, std::min(kSectorSize, size - at - 4));
    ClassifyBootSector(sector, Le32(input, at));
    ClassifyDirectorySector(sector, Le32(input, at));
    IsDirectoryContinuationSector(sector);
  }

  fuzz::SectorMapDisk disk(data, size);
  ScanContext ctx;
  ctx.reader = &disk.Reader();
  ctx.partitionType = (Le64(input, 0) >> 40) & 1 ? FsType::kFat32 : FsType::kFat16;
  ctx.searchStart = Le32(input, 8) / kAdvanceChunkSectors * kAdvanceChunkSectors;
  ctx.searchEnd = std::min(disk.sectors, ctx.searchStart + kMaxRange);
  if (ctx.searchEnd <= ctx.searchStart) ctx.searchEnd = ctx.searchStart + 1;

  AdvanceSearch search(ctx);
  const AdvanceSearchOutcome first = search.Run();
  const std::tm now{};
  for (int chosen = 0; chosen < std::min(first.identified, kMaxSecondStages); ++chosen) {
    DetailsList list;
    if (search.RunSecondStage(chosen, &list).refused) continue;
    ResultsState& results = ctx.results;
    mytreectrl& tree = results.Tree();
    tree.SetExpandingHandler(
        [&results](TreeItem item, bool expanding) { OnResultsTreeExpanding(results, item, expanding); });
    // Opening a folder can add nodes; the walk is bounded like a user who stops clicking.
    for (std::size_t i = 0; i < results.folderNodes.Count() && i < kMaxFoldersOpened; ++i) {
      const TreeItem item = results.folderNodes[i].item;
      tree.Expand(item, true);
      ListFolder(results, list, item, /*listOnClick=*/true, now);
    }
  }
  return 0;
}
