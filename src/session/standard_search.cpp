#include "session/standard_search.h"

#include <array>
#include <memory>
#include <vector>

#include "fat/boot_sector.h"
#include "fat/directory_passes.h"
#include "fat/fat_reader.h"
#include "fat/fat_volume.h"
#include "partition/validate_partition.h"
#include "results/file_list.h"
#include "scan/scan_context.h"
#include "session/search_range.h"

namespace quarrow {
namespace {

void BuildFatResults(ScanContext& ctx, DetailsList* list, StandardSearchOutcome& outcome);

}  // namespace

StandardSearchOutcome RunFatStandardStages(ScanContext& ctx, bool validated, DetailsList* list) {
  using namespace entry_col;
  StandardSearchOutcome outcome;
  outcome.validated = validated;
  Feedback& ui = ctx.Ui();
  TextTable& entries = ctx.results.tables.EntryTable;
  entries.DeleteAllRows();
  ctx.results.tables.PendingEntryTable.DeleteAllRows();

  // Memory running out during the reading stages ends them where they were, like a stop: the
  // folders found so far are linked and shown.
  GuardMemory(ui, outcome.outOfMemory, [&] {
    if (!validated && CalculatePartitionParams(ctx) == 0 && !ctx.StopRequested()) {
      outcome.paramsFailed = true;
      ui.MessageBox("Unable to calculate partition parameters", kProductTitle, MessageIcon::kError);
    }
    if (!ctx.StopRequested()) {
      ui.SetText(control::kFolderCounterLabel, "Directories Found\t\t:");
      ScanDataArea(ctx);
    }
  });
  outcome.stopped = ctx.StopRequested() || outcome.outOfMemory;
  if (outcome.stopped) {
    // A stop before the data-area scan began leaves no catch-all row; the tree still needs one.
    if (entries.RowCount() == 0) InsertMiscFolderRow(entries);
  }

  GuardMemory(ui, outcome.outOfMemory, [&] { BuildFatResults(ctx, list, outcome); });
  return outcome;
}

namespace {

void BuildFatResults(ScanContext& ctx, DetailsList* list, StandardSearchOutcome& outcome) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  TextTable& entries = ctx.results.tables.EntryTable;
  ctx.activeGeometry.CopyFrom(ctx.geometry, ctx.partitionType);
  auto fat = std::make_shared<FatReader>(ctx);
  // Folders take their places by the names their parents give them before the lost ones are
  // looked for, so that a damaged ".." or a looping entry cannot move a named folder.
  // It reads every folder it reaches: a search cut short (a stop, memory that ran out) skips it.
  const std::vector<FolderRowValues> deletedWithoutDirectory =
      outcome.stopped ? std::vector<FolderRowValues>{} : PlaceFoldersByName(ctx, *fat);

  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  entries.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kFat);
  entries.Sort(kParent);

  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  ui.StageBegun(SearchStage::kTree);
  StoreDirectoryInformation(ctx, *fat, StoreForm::kStandardSearch);
  AddDeletedFoldersWithoutDirectory(ctx, deletedWithoutDirectory);
  if (!outcome.stopped) AddFoldersNamedElsewhere(ctx, *fat);
  ctx.results.volumeLabel = ReadVolumeLabel(ctx, *fat).value_or("");
  BindFatVolume(ctx, fat);

  // The results page.
  entries.DeleteAllRows();
  ctx.results.tables.PendingEntryTable.DeleteAllRows();
  ctx.results.tables.DirectoryTable.DeleteAllRows();
  if (list) {
    list->columns = ResultsColumns();
    list->Clear();
  }
  ui.SetText(control::kCurrentFolder, "");
  outcome.nothingFound = !ctx.results.dataFound;
}

}  // namespace

StandardSearch::StandardSearch(ScanContext& ctx) : ctx_(ctx) {}

StandardSearchOutcome StandardSearch::Run(DetailsList* list) {
  StandardSearchOutcome outcome;
  std::vector<std::string> warnings;
  if (auto refused = CheckSearchRange(ctx_, "Standard search", warnings)) {
    outcome.refused = std::move(refused);
    return outcome;
  }
  ctx_.stop = stop_.get_token();
  // Next on the partition page: the tables are emptied, then the partition is validated.
  ctx_.ResetForScan();
  const bool validated = ValidatePartition(ctx_) == 1;
  if (validated && ctx_.partitionType == FsType::kFat16) {
    // A volume chosen as "FAT16" may be FAT12, whose chains are read 12 bits an entry.
    std::array<std::uint8_t, kSectorSize> boot{};
    ctx_.Read(ctx_.searchStart, 1, boot);
    ctx_.partitionType = RefineFatType(boot, ctx_.partitionType);
    ctx_.results.volumeType = ctx_.partitionType;
  }
  bool outOfMemory = false;
  GuardMemory(ctx_.Ui(), outOfMemory, [&] {
    if (ctx_.partitionType == FsType::kNtfs)
      outcome = RunNtfsStandardStages(ctx_, validated, list);
    else if (ctx_.partitionType == FsType::kExfat)
      outcome = RunExfatStandardStages(ctx_, validated, list);
    else
      outcome = RunFatStandardStages(ctx_, validated, list);
  });
  outcome.outOfMemory = outcome.outOfMemory || outOfMemory;
  NoteReadProblems(ctx_, warnings);
  outcome.diskGone = ctx_.DiskGone();
  outcome.warnings.insert(outcome.warnings.begin(), warnings.begin(), warnings.end());
  return outcome;
}

}  // namespace quarrow
