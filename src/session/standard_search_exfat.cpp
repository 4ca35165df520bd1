// The exFAT stages of a Standard search: the walk over the directories from the root, then the
// results tree. Files stay in PendingEntryTable, where the file list takes them from, as NTFS
// files do.
#include "exfat/directory_walk.h"
#include "exfat/exfat_volume.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/standard_search.h"

namespace quarrow {

StandardSearchOutcome RunExfatStandardStages(ScanContext& ctx, bool validated, DetailsList* list) {
  StandardSearchOutcome outcome;
  outcome.validated = validated;
  Feedback& ui = ctx.Ui();
  ScanTables& tables = ctx.results.tables;
  tables.EntryTable.DeleteAllRows();
  tables.PendingEntryTable.DeleteAllRows();
  // A volume whose boot regions were both refused has no root to start from; VolumeGeometry may
  // still hold an earlier scan's figures, which must not be read as this volume's.

  ctx.activeGeometry.CopyFrom(ctx.geometry, FsType::kExfat);
  ui.SetText(control::kFolderCounterLabel, "Directories Found\t\t:");
  if (validated && !ctx.StopRequested()) {
    const ExfatLayout layout = ExfatLayoutFromGeometry(ctx.geometry, ctx.searchStart, ctx.searchEnd);
    const ExfatWalkSummary summary = WalkExfatVolume(ctx, layout);
    ctx.results.volumeLabel = summary.label.value_or("");
  }
  outcome.stopped = ctx.StopRequested();

  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  ui.StageBegun(SearchStage::kTree);
  ctx.results.volumeType = FsType::kExfat;
  tables.EntryTable.Sort(entry_col::kParent);
  BuildFolderTree(ctx.results);
  const int filesFound = tables.PendingEntryTable.RowCount();
  ctx.results.dataFound = ctx.results.dataFound || filesFound > 0;

  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  ui.SetText(control::kCurrentFolder, "");
  outcome.nothingFound = !validated || !ctx.results.dataFound;
  return outcome;
}

}  // namespace quarrow
