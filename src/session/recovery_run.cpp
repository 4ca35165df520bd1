#include "session/recovery_run.h"

#include <algorithm>

#include "recovery/carved_files.h"
#include "recovery/destination_guard.h"
#include "recovery/exfat_data_source.h"
#include "recovery/fat_data_source.h"
#include "recovery/ntfs_data_source.h"
#include "recovery/output_file.h"
#include "results/carved_folders.h"
#include "results/file_list.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

// The source of the volume's own files, without the carved ones.
std::unique_ptr<FileDataSource> MakeVolumeDataSource(ScanContext& ctx) {
  if (ctx.activeGeometry.type == FsType::kNtfs) return std::make_unique<NtfsDataSource>(ctx);
  if (ctx.activeGeometry.type == FsType::kExfat) return std::make_unique<ExfatDataSource>(ctx);
  if (!IsFat(ctx.activeGeometry.type)) return nullptr;
  CorrectFat12Type(ctx);
  return std::make_unique<FatDataSource>(ctx);
}

}  // namespace

std::unique_ptr<FileDataSource> MakeFileDataSource(ScanContext& ctx) {
  std::unique_ptr<FileDataSource> volume = MakeVolumeDataSource(ctx);
  if (ctx.results.carvedFiles.empty()) return volume;
  return std::make_unique<CarvedDataSource>(ctx, std::move(volume));
}

void AddCarvedFiles(ScanContext& ctx) {
  ResultsState& results = ctx.results;
  results.carvedFiles.clear();
  if (!ctx.carve || results.carvedStarts.empty()) return;
  std::unique_ptr<FileDataSource> volume = MakeVolumeDataSource(ctx);
  results.carvedFiles = CarveLostFiles(ctx, volume.get(), results.carvedStarts);
  if (results.carvedFiles.empty()) return;
  AddCarvedFolders(results);
  // The folders of carved files are listed from the results, whatever the volume's own listing
  // does with a key it does not know.
  auto listFiles = results.hooks.listFiles;
  if (!listFiles && results.FilesInTables()) {
    listFiles = [&results](DetailsList& list, std::uint32_t folderKey, const FolderNode*) {
      ListNtfsFiles(results, list, folderKey);
    };
  }
  results.hooks.listFiles = [listFiles, &results](DetailsList& list, std::uint32_t folderKey,
                                                  const FolderNode* folder) {
    if (IsCarvedFolderKey(folderKey)) {
      ListCarvedFiles(results, list, folderKey);
    } else if (listFiles) {
      listFiles(list, folderKey, folder);
    }
  };
}

std::vector<std::uint8_t> ReadFileStart(const ScanContext& ctx, FileDataSource& source, const DetailsRow& row,
                                        std::size_t maxBytes) {
  std::vector<std::uint8_t> out;
  const FileData data = source.Locate(row);
  if (data.failure) return out;
  const std::uint64_t want = std::min<std::uint64_t>(data.size, maxBytes);
  constexpr std::uint64_t kChunk = 64 * kSectorSize;
  std::vector<std::uint8_t> chunk(kChunk);
  for (const DataPiece& piece : data.pieces) {
    for (std::uint64_t done = 0; done < piece.length && out.size() < want;) {
      const std::uint64_t within = done % kSectorSize;
      const auto take = static_cast<std::size_t>(
          std::min<std::uint64_t>({piece.length - done, want - out.size(), kChunk - within}));
      switch (piece.kind) {
        case DataPiece::Kind::kSectors: {
          const auto count = static_cast<std::uint32_t>((within + take + kSectorSize - 1) / kSectorSize);
          ctx.Read(piece.firstSector + done / kSectorSize, count,
                   std::span<std::uint8_t>(chunk.data(), std::size_t{count} * kSectorSize));
          out.insert(out.end(), chunk.begin() + static_cast<std::ptrdiff_t>(within),
                     chunk.begin() + static_cast<std::ptrdiff_t>(within + take));
          break;
        }
        case DataPiece::Kind::kBytes:
          if (done >= piece.bytes.size()) return out;
          for (std::size_t i = 0; i < take && done + i < piece.bytes.size(); ++i)
            out.push_back(piece.bytes[static_cast<std::size_t>(done + i)]);
          break;
        case DataPiece::Kind::kZeros:
        case DataPiece::Kind::kMissing:
          out.insert(out.end(), take, std::uint8_t{0});
          break;
        case DataPiece::Kind::kLznt1:
          return out;
      }
      done += take;
    }
    if (out.size() >= want) break;
  }
  return out;
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

std::optional<UnwritableDestination> ProbeDestination(const std::filesystem::path& destination) {
  namespace fs = std::filesystem;
  UnwritableDestination found;
  found.destination = destination;
  std::error_code ec;
  fs::path wanted = fs::absolute(destination, ec);
  if (ec) wanted = destination;
  wanted = wanted.lexically_normal();
  if (!wanted.has_filename() && wanted.has_relative_path()) wanted = wanted.parent_path();  // "out/"
  // Up to the nearest part of the path that exists.
  fs::path at = wanted;
  while (!fs::exists(at, ec)) {
    if (!at.has_relative_path() || at.parent_path() == at) break;
    at = at.parent_path();
  }
  found.blocking = at;
  found.blockingIsDestination = at == wanted;
  const fs::file_status status = fs::status(at, ec);
  if (ec || !fs::is_directory(status)) {
    found.reason = ec ? ec.message() : std::string("not a folder");
    return found;
  }
  found.blockingIsFolder = true;
  for (int n = 0; n < 100; ++n) {
    const fs::path probe = at / (".qrw-probe-" + std::to_string(n));
    if (fs::create_directory(probe, ec)) {
      fs::remove(probe, ec);
      return std::nullopt;
    }
    if (ec) {
      found.reason = ec.message();
      return found;
    }
    // A folder of that name was there already: the next name.
  }
  return std::nullopt;  // every probe name is taken by folders someone made there
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
  if (auto unwritable = ProbeDestination(options.destination)) {
    // An existing folder that takes no file, or a folder that cannot be made where it is asked for.
    const bool exists = unwritable->blockingIsDestination && unwritable->blockingIsFolder;
    outcome.refused =
        (exists ? "cannot write to the destination folder " : "cannot make the destination folder ") +
        Utf8FromPath(options.destination) + ": " +
        (unwritable->blockingIsDestination ? std::string() : Utf8FromPath(unwritable->blocking) + ": ") +
        unwritable->reason;
    outcome.unwritable = std::move(unwritable);
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
