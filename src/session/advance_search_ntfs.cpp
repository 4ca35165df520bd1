// The NTFS stages of an Advance search: the record scan of the search range and the numbering
// that identifies the volumes in it; then, for the volume the user chose, its folder tree and
// file rows.
#include "ntfs/mft_numbering.h"
#include "ntfs/mft_scan.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"

namespace quarrow {

AdvanceSearchOutcome RunNtfsAdvanceStages(ScanContext& ctx) {
  AdvanceSearchOutcome outcome;
  Feedback& ui = ctx.Ui();
  ctx.results.tables.EntryTable.DeleteAllRows();
  ctx.results.tables.PendingEntryTable.DeleteAllRows();
  ctx.results.dataFound = true;

  ui.SetText(control::kFolderCounterLabel, "MFT Found\t\t\t:");
  ScanMftRecords(ctx);
  // A stop ends the scan between chunks; the numbering runs on the records found up to there.
  outcome.stopped = ctx.StopRequested();
  ui.StageBegun(SearchStage::kAnalysis);
  AssignMftNumbers(ctx);
  outcome.identified = ctx.results.tables.IdentifiedFileSystemTable.RowCount();
  ui.SetText(control::kCurrentFolder, "");
  return outcome;
}

SecondStageOutcome RunNtfsSecondStage(ScanContext& ctx, int chosen, DetailsList* list) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  ResultsState& results = ctx.results;
  // A second choice starts from an empty results tree, as Back to the choice page leaves it.
  results.ClearTree(ctx.diskNumber);

  TextTable& entries = results.tables.EntryTable;
  const int misc = entries.InsertRow(0, kMiscFolderName);
  entries.SetCell(misc, kSector, "0");
  entries.SetCell(misc, kSelf, U32Text(kOrphanCluster));
  for (int column : {kParent, kDate, kTime, kSize}) entries.SetCell(misc, column, "0");
  entries.SetCell(misc, kAttr, "16");
  entries.SetCell(misc, kSysId, "0");
  entries.SetCell(misc, kType, "FOLDER");

  ui.ShowControl(control::kStageProgressText, true);
  ui.SetText(control::kStageProgressText, "Loading tree, Please Wait...");
  SetUpNtfsSecondStage(ctx, chosen + 1);
  ui.ShowControl(control::kStageProgressText, false);
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  return {};
}

}  // namespace quarrow
