// The exFAT stages of an Advance search: the sector scan of the search range and the volumes it
// identifies (by boot sector, main or backup, or from the folders when the boot region is gone);
// then, for the volume the user chose, the directory walk from its root and the results tree.
#include <array>

#include "exfat/advance_scan.h"
#include "exfat/directory_walk.h"
#include "exfat/exfat_volume.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"

namespace quarrow {

namespace {

std::string Cell64(std::uint64_t value) {
  return U32Text(static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFull)));
}

}  // namespace

AdvanceSearchOutcome RunExfatAdvanceStages(ScanContext& ctx) {
  using namespace exfat_fs_col;
  AdvanceSearchOutcome outcome;
  Feedback& ui = ctx.Ui();
  ctx.results.tables.EntryTable.DeleteAllRows();
  ctx.results.tables.PendingEntryTable.DeleteAllRows();
  ctx.results.dataFound = true;

  ui.SetText(control::kFolderCounterLabel, "Directories Found\t\t:");
  const ExfatSectorFinds finds = ScanExfatSectors(ctx);
  outcome.stopped = ctx.StopRequested();
  ui.StageBegun(SearchStage::kAnalysis);
  ui.SetText(control::kStatus, "Analyzing File Systems List");

  TextTable& identified = ctx.results.tables.IdentifiedFileSystemTable;
  identified.DeleteAllRows();
  for (const ExfatVolumeFind& find : IdentifyExfatVolumes(finds, ctx.searchEnd)) {
    // The tables keep 32-bit sector numbers.
    if (find.cluster0 > 0xFFFFFFFFull || find.bootSector > 0xFFFFFFFFull) continue;
    const int row = identified.AppendRow(Cell64(find.bootSector));
    identified.SetCell(row, kFatSectors, Cell64(find.layout ? find.layout->fatSectors : find.fatSectors));
    identified.SetCell(row, kSpc, U32Text(find.sectorsPerCluster));
    identified.SetCell(row, kFoundByBoot, find.layout ? "1" : "0");
    identified.SetCell(row, kRootCluster, U32Text(find.rootCluster));
    identified.SetCell(row, kVolumeStart, Cell64(find.volumeStart));
    identified.SetCell(row, kCluster0, Cell64(find.cluster0));
    identified.SetCell(row, kFirstFat, Cell64(find.layout ? find.layout->fatSector : find.fatSector));
    identified.SetCell(row, kTotalSectors, Cell64(find.layout ? find.layout->volumeSectors : 0));
    identified.SetCell(row, kPartType, "exFAT");
  }
  outcome.identified = identified.RowCount();
  ui.SetText(control::kCurrentFolder, "");
  return outcome;
}

SecondStageOutcome RunExfatSecondStage(ScanContext& ctx, int chosen, DetailsList* list) {
  using namespace exfat_fs_col;
  Feedback& ui = ctx.Ui();
  ResultsState& results = ctx.results;
  results.ClearTree(ctx.diskNumber);

  const TextTable& identified = results.tables.IdentifiedFileSystemTable;
  ExfatVolumeFind find;
  find.bootSector = ReadU32(identified.GetCell(chosen, kBootSector));
  find.volumeStart = ReadU32(identified.GetCell(chosen, kVolumeStart));
  find.cluster0 = ReadU32(identified.GetCell(chosen, kCluster0));
  find.sectorsPerCluster = ReadU32(identified.GetCell(chosen, kSpc));
  find.rootCluster = ReadU32(identified.GetCell(chosen, kRootCluster));
  find.fatSector = ReadU32(identified.GetCell(chosen, kFirstFat));
  find.fatSectors = ReadU32(identified.GetCell(chosen, kFatSectors));
  if (identified.GetCell(chosen, kFoundByBoot) == "1") {
    std::array<std::uint8_t, kSectorSize> boot{};
    ctx.Read(find.bootSector, 1, boot);
    find.layout = LayoutFromBootSector(DecodeExfatBootSector(boot), find.volumeStart);
  }
  const ExfatLayout layout = LayoutOfFind(find, ctx.searchEnd);

  ui.ShowControl(control::kStageProgressText, true);
  ui.SetText(control::kStageProgressText, "Loading tree, Please Wait...");
  VolumeGeometry geometry;
  if (FillExfatGeometry(layout, geometry)) {
    ctx.geometry = geometry;
    ctx.activeGeometry.CopyFrom(geometry, FsType::kExfat);
    const ExfatWalkSummary summary = WalkExfatVolume(ctx, layout);
    results.volumeLabel = summary.label.value_or("");
  }
  results.volumeType = FsType::kExfat;
  results.tables.EntryTable.Sort(entry_col::kParent);
  BuildFolderTree(results);
  ui.ShowControl(control::kStageProgressText, false);
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  return {};
}

}  // namespace quarrow
