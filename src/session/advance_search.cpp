#include "session/advance_search.h"

#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"
#include "session/recovery_run.h"
#include "session/search_range.h"

namespace quarrow {

AdvanceSearch::AdvanceSearch(ScanContext& ctx) : ctx_(ctx) {}

AdvanceSearchOutcome AdvanceSearch::Run() {
  AdvanceSearchOutcome outcome;
  std::vector<std::string> warnings;
  if (auto refused = CheckSearchRange(ctx_, "Advance search", warnings)) {
    outcome.refused = std::move(refused);
    return outcome;
  }
  ctx_.stop = stop_.get_token();
  ctx_.ResetForScan();
  bool outOfMemory = false;
  GuardMemory(ctx_.Ui(), outOfMemory, [&] {
    if (ctx_.partitionType == FsType::kNtfs)
      outcome = RunNtfsAdvanceStages(ctx_);
    else if (ctx_.partitionType == FsType::kExfat)
      outcome = RunExfatAdvanceStages(ctx_);
    else
      outcome = RunFatAdvanceStages(ctx_);
  });
  outcome.outOfMemory = outcome.outOfMemory || outOfMemory;
  NoteReadProblems(ctx_, warnings);
  outcome.diskGone = ctx_.DiskGone();
  outcome.warnings.insert(outcome.warnings.begin(), warnings.begin(), warnings.end());
  return outcome;
}

std::vector<IdentifiedFileSystem> AdvanceSearch::Identified() const {
  const TextTable& table = ctx_.results.tables.IdentifiedFileSystemTable;
  std::vector<IdentifiedFileSystem> out;
  for (int row = 0; row < table.RowCount(); ++row) out.push_back(ReadIdentifiedFileSystem(table, row));
  return out;
}

void AdvanceSearch::RequestStop() {
  std::lock_guard lock(mutex_);
  (inSecondStage_ ? second_ : stop_).request_stop();
}

SecondStageOutcome AdvanceSearch::RunSecondStage(int chosen, DetailsList* list, std::stop_token jobStop) {
  const int count = ctx_.results.tables.IdentifiedFileSystemTable.RowCount();
  if (chosen < 0 || chosen >= count) {
    SecondStageOutcome outcome;
    outcome.refused = count == 0 ? std::string("no file system was identified")
                                 : "there is no file system " + std::to_string(chosen + 1) + " (" +
                                       std::to_string(count) + " were identified)";
    return outcome;
  }
  std::stop_source stop;
  {
    std::lock_guard lock(mutex_);
    second_ = std::stop_source();
    stop = second_;
    inSecondStage_ = true;
  }
  // Linked once the stage's own source exists: a stop the job already had is not lost with the
  // source the stage replaced.
  std::stop_callback linked(jobStop, [&stop] { stop.request_stop(); });
  ctx_.stop = stop.get_token();
  SecondStageOutcome outcome;
  bool outOfMemory = false;
  GuardMemory(ctx_.Ui(), outOfMemory, [&] {
    if (ctx_.partitionType == FsType::kNtfs)
      outcome = RunNtfsSecondStage(ctx_, chosen, list);
    else if (ctx_.partitionType == FsType::kExfat)
      outcome = RunExfatSecondStage(ctx_, chosen, list);
    else
      outcome = RunFatSecondStage(ctx_, chosen, list);
    if (!outcome.refused && !ctx_.StopRequested()) AddCarvedFiles(ctx_);
  });
  outcome.outOfMemory = outcome.outOfMemory || outOfMemory;
  outcome.stopped = stop.stop_requested();
  return outcome;
}

}  // namespace quarrow
