// The FAT stages of an Advance search: the sector scan and the analysis that identifies the file
// systems (the first stage), then for the one chosen its folder rows, FATs, working geometry,
// linking and tree (the second stage).
#include <memory>
#include <string_view>

#include "fat/advance_scan.h"
#include "fat/directory_passes.h"
#include "fat/fat_reader.h"
#include "fat/fat_volume.h"
#include "fat/fs_analysis.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"

namespace quarrow {
namespace {

// What a stop during the sector scan leaves to do before the analysis: the linking and tree
// passes on the folder rows as they stand (none in an Advance search, so the tree is only its
// root), with the volume's figures as they stood.
void SalvageBeforeAnalysis(ScanContext& ctx) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  TextTable& entries = ctx.results.tables.EntryTable;
  ctx.activeGeometry.CopyFrom(ctx.geometry, ctx.partitionType);
  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  entries.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kFat);
  entries.Sort(kParent);
  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  ctx.results.dataFound = true;
}

}  // namespace

AdvanceSearchOutcome RunFatAdvanceStages(ScanContext& ctx) {
  AdvanceSearchOutcome outcome;
  Feedback& ui = ctx.Ui();
  ctx.results.tables.EntryTable.DeleteAllRows();
  ctx.results.tables.PendingEntryTable.DeleteAllRows();
  ctx.results.dataFound = true;

  ui.SetText(control::kFolderCounterLabel, "Directories Found\t\t:");
  AdvanceScan(ctx);
  outcome.stopped = ctx.StopRequested();
  if (outcome.stopped) SalvageBeforeAnalysis(ctx);

  ui.StageBegun(SearchStage::kAnalysis);
  outcome.identified = AnalyzeFileSystems(ctx);

  FileSystemChoice& choice = outcome.choice;
  choice.tree.Select(FillFileSystemTree(ctx.results, choice.tree));
  choice.chosen = 0;
  if (outcome.identified != 0) choice.details = IdentifiedFileSystemDetails(ctx, 0, outcome.stopped);
  if (outcome.stopped) {
    // The tree the salvage builds: the folder rows are still to come from the chosen file system.
    auto fat = std::make_shared<FatReader>(ctx);
    StoreDirectoryInformation(ctx, *fat, StoreForm::kAdvanceSearch);
  }
  ui.SetText(control::kCurrentFolder, "");
  return outcome;
}

SecondStageOutcome RunFatSecondStage(ScanContext& ctx, int chosen, DetailsList* list) {
  using namespace entry_col;
  SecondStageOutcome outcome;
  ResultsState& results = ctx.results;
  const TextTable& identified = results.tables.IdentifiedFileSystemTable;
  const auto type = FsTypeFromText(identified.Cell(chosen, kFileSystemTypeColumn));
  if (!type || !IsFat(*type)) {
    outcome.refused = "file system " + std::to_string(chosen + 1) + " is no FAT file system";
    return outcome;
  }
  Feedback& ui = ctx.Ui();
  TextTable& entries = results.tables.EntryTable;

  // Next on the choice page. A second choice after going back starts from an empty results
  // page, as Back leaves it.
  results.ClearTree(ctx.diskNumber);
  results.hooks = {};
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  InsertAdvanceMiscFolderRow(ctx);

  // The second-stage worker.
  ui.ShowControl(control::kStageProgressText, true);
  ui.SetText(control::kStageProgressText, "Loading tree, Please Wait...");
  PrepareFatSecondStage(ctx, chosen);
  auto fat = std::make_shared<FatReader>(ctx);
  // A ".." that names its own folder (or a loop of them) would hide the folder's whole sub-tree.
  MendLoopedFolderParents(ctx, *fat);
  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  entries.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kFat);
  entries.Sort(kParent);
  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  StoreDirectoryInformation(ctx, *fat, StoreForm::kAdvanceSearch);
  AddFoldersNamedElsewhere(ctx, *fat);
  SetResultsRoot(results);
  results.volumeType = ctx.activeGeometry.type;
  BindFatVolume(ctx, fat);
  ui.ShowControl(control::kStageProgressText, false);
  return outcome;
}

}  // namespace quarrow
