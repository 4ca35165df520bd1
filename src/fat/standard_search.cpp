#include "fat/standard_search.h"

#include "fat/directory_passes.h"
#include "fat/fat_volume.h"
#include "scan/scan_context.h"

namespace quarrow {

StandardSearchOutcome RunFatStandardSearch(ScanContext& ctx, DetailsList* list) {
  using namespace entry_col;
  StandardSearchOutcome outcome;
  Feedback& ui = ctx.Ui();
  ui.EnableControl(control::kBack, false);
  ui.EnableControl(control::kNext, false);
  ctx.tables.EntryTable.DeleteAllRows();
  ctx.tables.PendingEntryTable.DeleteAllRows();
  ui.ShowControl(control::kStopSearching, true);

  if (!ctx.partitionValidated && CalculatePartitionParams(ctx) == 0 && !ctx.StopRequested()) {
    outcome.paramsFailed = true;
    ui.MessageBox("Unable to calculate partition parameters", kProductTitle, MessageIcon::kError);
  }
  if (!ctx.StopRequested()) {
    ui.SetText(control::kFolderCounterLabel, "Directories Found\t\t:");
    ScanDataArea(ctx);
  }
  outcome.stopped = ctx.StopRequested();
  if (outcome.stopped) {
    ui.ShowControl(control::kStopSearching, false);
    ui.SetGuidance(
        "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in Toolbar to "
        "save "
        "recovered Files and Folders.");
    // A stop before the data-area scan began leaves no catch-all row; the tree still needs one.
    if (ctx.tables.EntryTable.RowCount() == 0) ScanDataArea(ctx);
  }

  ctx.activeGeometry.CopyFrom(ctx.geometry, ctx.partitionType);

  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  ui.SetGuidance("Please wait...");
  ctx.tables.EntryTable.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kFat);
  ctx.tables.EntryTable.Sort(kParent);

  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  StoreDirectoryInformation(ctx, StoreForm::kStandardSearch);

  // The results page.
  ctx.tables.EntryTable.DeleteAllRows();
  ctx.tables.PendingEntryTable.DeleteAllRows();
  ctx.tables.DirectoryTable.DeleteAllRows();
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  ui.EnableControl(control::kBack, true);

  ui.ShowControl(control::kStopSearching, false);
  ui.ShowControl(control::kNext, false);
  ui.SetText(control::kCurrentFolder, "");
  ui.SetGuidance(
      "Select Files and Folders from left panel Directories' Tree and Click on 'Save' button in Toolbar to "
      "save "
      "recovered Files and Folders.");
  if (!ctx.dataFound) ui.ShowAdvice(AdviceDialog::kStandardSearch);
  return outcome;
}

}  // namespace quarrow
