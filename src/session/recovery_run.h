#pragma once
// RecoveryRun: one recovery of folders and files found by a search, as an object a front end
// drives (the command line now, the wizard's Save commands later). It owns the stop source and the
// Skip flag, refuses a destination on the disk being read, picks the data source of the volume's
// type, counts the selection and writes it, on the calling thread.
//
//   ScanContext ctx(feedback);  ...  StandardSearch(ctx).Run();    // a search first
//   RecoveryRun run(ctx);
//   RecoveryOptions options;  options.destination = "/media/backup/photos";
//   RecoveryRunOutcome out = run.Run(RecoverySelection{}, options);  // the ticked folders
//   // RequestStop() / RequestSkip() from another thread stop the run or drop the current file.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "recovery/file_data_source.h"
#include "recovery/recovery_engine.h"

namespace quarrow {

struct ScanContext;

// A destination nothing can be written to, found before anything is counted or written.
struct UnwritableDestination {
  std::filesystem::path destination;  // the folder asked for
  // The nearest of it and its parents that exists: the destination itself, the parent it would
  // be made in, or a file standing where a folder should be.
  std::filesystem::path blocking;
  bool blockingIsDestination = false;
  bool blockingIsFolder = false;
  std::string reason;  // the system's words ("Permission denied"), or "not a folder"
};

// Whether files can be made at destination: the nearest existing folder on the way to it gets a
// probe folder, removed at once; nothing else is made. nullopt when it can.
std::optional<UnwritableDestination> ProbeDestination(const std::filesystem::path& destination);

struct RecoveryRunOutcome {
  // Nothing was written, and why: the destination is on the disk being read, there is no volume
  // to recover from, the destination folder could not be made.
  std::optional<std::string> refused;
  // Set (with refused) when the destination takes no file.
  std::optional<UnwritableDestination> unwritable;
  RecoveryPlan plan;        // every file asked for, with what became of it
  RecoveryOutcome written;  // the totals, the report
};

class RecoveryRun {
 public:
  explicit RecoveryRun(ScanContext& ctx);

  // Recovers the selection from the volume ctx's last search shows. options.sourcePath, when
  // empty, becomes the path of ctx's disk.
  RecoveryRunOutcome Run(const RecoverySelection& selection, RecoveryOptions options);
  // Safe to call from any thread, at any time.
  void RequestStop() { stop_.request_stop(); }
  void RequestSkip() { skip_ = true; }
  std::stop_source& StopSource() { return stop_; }
  // Called on the run's thread once counting is over and before the first file is written, with
  // the plan's totals; a front end uses it to move from the counting display to the writing one.
  void OnCounted(std::function<void(const RecoveryPlan&)> counted) { counted_ = std::move(counted); }

 private:
  ScanContext& ctx_;
  std::stop_source stop_;
  std::atomic<bool> skip_{false};
  std::function<void(const RecoveryPlan&)> counted_;
};

// The data source of the volume ctx shows, picked by its type, reading carved files too when there
// are any; null when ctx shows no volume and no carved file. A FAT12 volume
// the search took for FAT16 gets its own type first (CorrectFat12Type), so that its FAT is read with 12-bit
// entries.
std::unique_ptr<FileDataSource> MakeFileDataSource(ScanContext& ctx);

// Lists the file starts the search recognised that nothing on the volume ctx shows claims as
// carved files (ctx.results.carvedFiles), in a folder of their own in the results tree, and binds
// their listing. Nothing when carving is off or nothing was recognised. Call it once the tree of
// the volume is built, before ShowRecoverabilityEstimates.
void AddCarvedFiles(ScanContext& ctx);

// The first bytes (at most maxBytes) of the file a row shows, read from where source places them;
// nothing is written anywhere. Unreadable sectors come back as zeros; the bytes end where the
// file does, or at a piece that would need decompressing.
std::vector<std::uint8_t> ReadFileStart(const ScanContext& ctx, FileDataSource& source, const DetailsRow& row,
                                        std::size_t maxBytes);

// Fills the "Recoverability" column of every deleted file the volume's file list shows from now
// on: the volume's listing hook is wrapped so that each deleted row gets its estimate. Call it
// once after a search, before the results are shown.
void ShowRecoverabilityEstimates(ScanContext& ctx);

}  // namespace quarrow
