#include "session/recovery_run.h"

#include "recovery/destination_guard.h"
#include "recovery/exfat_data_source.h"
#include "recovery/fat_data_source.h"
#include "recovery/ntfs_data_source.h"
#include "recovery/output_file.h"
#include "results/file_list.h"
#include "scan/scan_context.h"

namespace quarrow {

std::unique_ptr<FileDataSource> MakeFileDataSource(ScanContext& ctx) {
  if (ctx.activeGeometry.type == FsType::kNtfs) return std::make_unique<NtfsDataSource>(ctx);
  if (ctx.activeGeometry.type == FsType::kExfat) return std::make_unique<ExfatDataSource>(ctx);
  if (!IsFat(ctx.activeGeometry.type)) return nullptr;
  CorrectFat12Type(ctx);
  return std::make_unique<FatDataSource>(ctx);
}

void ShowRecoverabilityEstimates(ScanContext& ctx) {
  std::shared_ptr<FileDataSource> source = MakeFileDataSource(ctx);
  auto listFiles = ctx.results.hooks.listFiles;
  if (!listFiles && ctx.results.FilesInTables()) {
    listFiles = [&results = ctx.results](DetailsList& list, std::uint32_t folderKey, const FolderNode*) {
      ListNtfsFiles(results, list, folderKey);
    };
  }
  if (!source || !listFiles) return;
  // Whatever the hook is given besides the list goes on to the engine's own listing.
  ctx.results.hooks.listFiles = [listFiles, source, &ctx](DetailsList& list, const auto&... folder) {
    const std::size_t first = list.rows.size();
    listFiles(list, folder...);
    for (std::size_t i = first; i < list.rows.size(); ++i) {
      DetailsRow& row = list.rows[i];
      const Recoverability estimate = EstimateFile(ctx, *source, row);
      if (estimate != Recoverability::kNotDeleted) row.estimate = std::string(RecoverabilityText(estimate));
    }
  };
}

RecoveryRun::RecoveryRun(ScanContext& ctx) : ctx_(ctx) {}

RecoveryRunOutcome RecoveryRun::Run(const RecoverySelection& selection, RecoveryOptions options) {
  RecoveryRunOutcome outcome;
  ctx_.stop = stop_.get_token();
  skip_ = false;  // a Skip pressed before the run began concerns no file of it
  if (options.sourcePath.empty() && ctx_.reader)
    options.sourcePath = ctx_.reader->Paths().Get(ctx_.diskNumber);
  if (auto onSource = DestinationOnSourceDisk(options.sourcePath, Utf8FromPath(options.destination))) {
    outcome.refused = *onSource;
    return outcome;
  }
  std::unique_ptr<FileDataSource> source = MakeFileDataSource(ctx_);
  if (!source) {
    outcome.refused = "no volume to recover from: run a search first";
    return outcome;
  }
  options.reportHeader.insert(
      options.reportHeader.begin(),
      {{"source", options.sourcePath},
       {"volume", std::string(FsTypeText(ctx_.activeGeometry.type)) + ", sectors " +
                      std::to_string(ctx_.searchStart) + " to " + std::to_string(ctx_.searchEnd)}});
  outcome.plan = PlanRecovery(ctx_, selection, *source, options);
  if (outcome.plan.stopped) {
    outcome.written.stopped = true;
    return outcome;
  }
  if (counted_) counted_(outcome.plan);
  outcome.written = WriteRecovery(ctx_, outcome.plan, *source, options, &skip_);
  if (outcome.written.failure) outcome.refused = outcome.written.failure;
  return outcome;
}

}  // namespace quarrow
