// A whole small NTFS volume with bytes flipped anywhere (MFT records, index records, run lists,
// attribute lists, the boot sector, the $Bitmap): what `scan` and `recover` do with it. A Standard
// search, then the recovery's counting step over the whole tree, every planned file located and
// estimated; then an Advance search of the same disk, its first identified file system rebuilt,
// and the same again. No piece may reach past its file's size, and nothing may crash or hang.
//
// The input is the NtfsFuzzDisk format (ntfs_search_disk.h); the seed is a whole small volume
// made by mkntfs and filled through ntfs-3g (fuzz/make_corpora.sh), its blank sectors left out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ntfs_search_disk.h"
#include "recovery/ntfs_data_source.h"
#include "recovery/recovery_engine.h"
#include "results/folder_tree.h"
#include "session/advance_search.h"
#include "session/standard_search.h"

namespace {

using namespace quarrow;

// The counting step over the whole tree (the root ticked, as `recover` without paths does), then
// each planned file read as the writer would read it.
void RecoverAll(ScanContext& ctx) {
  ctx.activeGeometry.type = FsType::kNtfs;
  NtfsDataSource source(ctx);
  mytreectrl& tree = ctx.results.Tree();
  if (tree.Root() == kNoItem) return;
  if (tree.State(tree.Root()) != check_state::kChecked) ToggleCheckBox(tree, tree.Root());
  RecoveryOptions options;
  options.destination = "/nonexistent";
  options.writeReport = false;
  const RecoveryPlan plan = PlanRecovery(ctx, RecoverySelection{}, source, options);
  for (const PlannedFile& file : plan.files) {
    const FileData data = source.Locate(file.row);
    std::uint64_t total = 0;
    for (const DataPiece& piece : data.pieces) {
      if (piece.length == 0 || piece.length > data.size - total) std::abort();
      total += piece.length;
    }
    source.Estimate(file.row);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    fuzz::NtfsFuzzDisk disk(data, size);
    ScanContext ctx;
    disk.SetUp(ctx);
    StandardSearch(ctx).Run();
    RecoverAll(ctx);
  }
  {
    fuzz::NtfsFuzzDisk disk(data, size);
    ScanContext ctx;
    disk.SetUp(ctx);
    AdvanceSearch search(ctx);
    if (search.Run().identified > 0 && !search.RunSecondStage(0).refused) RecoverAll(ctx);
  }
  return 0;
}
