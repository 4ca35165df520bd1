// The NTFS stages of a Standard search: the $MFT's extents, the walk over every record, the
// linking of folders whose parent was not found and the results tree. Files stay in
// PendingEntryTable, where the file list takes them from.
#include "fat/directory_passes.h"
#include "ntfs/mft_walk.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/standard_search.h"

namespace quarrow {

StandardSearchOutcome RunNtfsStandardStages(ScanContext& ctx, bool validated, DetailsList* list) {
  using namespace entry_col;
  StandardSearchOutcome outcome;
  outcome.validated = validated;
  Feedback& ui = ctx.Ui();
  ScanTables& tables = ctx.results.tables;
  tables.EntryTable.DeleteAllRows();
  tables.PendingEntryTable.DeleteAllRows();
  // A volume whose boot sectors were refused has no MFT to follow; VolumeGeometry may still hold
  // an earlier scan's figures, which must not be read as this volume's.

  ctx.activeGeometry.CopyFrom(ctx.geometry, FsType::kNtfs);
  MftExtentList extents;
  if (validated && !ctx.StopRequested()) {
    extents = LoadMftExtents(ctx, ctx.activeGeometry.Cluster0Sector, ctx.activeGeometry.MftSector,
                             ctx.activeGeometry.SectorsPerCluster,
                             std::size_t{ctx.activeGeometry.MftRecordSectors} * kSectorSize);
  }
  ui.SetText(control::kFolderCounterLabel, "MFT Found                               :");
  WalkMft(ctx, extents);
  outcome.stopped = ctx.StopRequested();

  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  tables.EntryTable.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kNtfs);
  tables.EntryTable.Sort(kParent);
  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  ui.StageBegun(SearchStage::kTree);
  ctx.results.volumeType = FsType::kNtfs;
  BuildFolderTree(ctx.results);
  const int filesFound = tables.PendingEntryTable.RowCount();
  ctx.results.dataFound = true;

  // The results page; PendingEntryTable stays, the file list reads it.
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  ui.SetText(control::kCurrentFolder, "");
  outcome.nothingFound = !validated || !ctx.results.dataFound || filesFound < 1;
  return outcome;
}

}  // namespace quarrow
