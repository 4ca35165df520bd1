#pragma once
// The recovery engine: what the results page's Save commands write. It takes the folders ticked
// in the results tree and file rows chosen in the list, counts what they hold (the "Calculating
// Total Number of Files" step), then writes every file under a destination folder at its place in
// the tree, byte for byte from the volume's data source, reporting each file as it goes and
// honouring Stop and Skip. Every name is made safe for the destination, a file of the same name
// already there is left to the replace question, each file is written under a temporary name
// first, unreadable sectors are written as zeros and named in the recovery report.
//
//   FatDataSource source(ctx);
//   RecoveryPlan plan = PlanRecovery(ctx, selection, source, options);           // counting
//   RecoveryOutcome out = WriteRecovery(ctx, plan, source, options);             // writing

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recovery/file_data_source.h"
#include "recovery/recovery_types.h"
#include "recovery/safe_name.h"
#include "results/file_list.h"
#include "results/results_state.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext;

// The controls of the saving dialogs, numbered after their templates: 134 "Calculating Number of
// Files..." and 130 "Saving...". A front end maps them to what it shows.
namespace recovery_control {
inline constexpr int kCounting = 1341;       // "Calculating Total Number of Files, Please Wait ..."
inline constexpr int kTotalFiles = 1342;     // the number after "Total Files :"
inline constexpr int kFileName = 1301;       // the file being written
inline constexpr int kFilePath = 1302;       // its folder's FolderPath in the results tree
inline constexpr int kTotals = 1303;         // "3 / 120 files, 1048576 / 52428800 bytes"
inline constexpr int kFileProgress = 1304;   // the file written so far
inline constexpr int kTotalProgress = 1305;  // everything written so far, with "3 / 120"
}  // namespace recovery_control

inline constexpr std::string_view kCountingText = "Calculating Total Number of Files, Please Wait ...";

// The answers of the "Replace File Confirmation" question.
enum class ReplaceAnswer : std::uint8_t { kOverwrite, kRename, kSkip, kCancel };
struct ReplaceChoice {
  ReplaceAnswer answer = ReplaceAnswer::kRename;
  bool applyToAll = false;  // "Apply the answer to all the files"
};

// Asked when a recovered file is to be written where a file of its name is: the front end asks
// the user (or answers from its settings).
class ReplaceQuestion {
 public:
  virtual ~ReplaceQuestion() = default;
  // existing: the path of the file already there (UTF-8).
  virtual ReplaceChoice Ask(const std::string& existing) = 0;
};

// The same answer for every file, as the command line's --on-conflict gives it.
class FixedReplaceAnswer : public ReplaceQuestion {
 public:
  explicit FixedReplaceAnswer(ReplaceAnswer answer) : answer_(answer) {}
  ReplaceChoice Ask(const std::string&) override { return {answer_, true}; }

 private:
  ReplaceAnswer answer_;
};

// A file row chosen in the list, with the folder it was listed in.
struct SelectedFileRow {
  TreeItem folder = kNoItem;
  DetailsRow row;
};

struct RecoverySelection {
  // The results tree's ticked folders are recovered with their files, their ticked sub-folders
  // likewise, and so on down; a partly ticked folder is made only as the way to the ticked ones
  // below it (its own files have no box ticked). A tree whose root is ticked gives everything.
  bool checkedFolders = true;
  std::vector<SelectedFileRow> files;  // rows chosen in the list ("Save" on selected rows)
};

struct RecoveryOptions {
  std::filesystem::path destination;
  bool deletedOnly = false;            // only deleted files (and the folders they lie in)
  bool skipOverwritten = false;        // deleted files estimated "overwritten" are not written
  ReplaceQuestion* replace = nullptr;  // null: every clash is answered Rename
  NameRules rules = DestinationNameRules();
  // The disk (device or image) the files are read from: a recovered file never takes its place.
  std::string sourcePath;
  bool writeReport = true;
  // Lines at the top of the report ("source", "volume"...).
  std::vector<std::pair<std::string, std::string>> reportHeader;
  // Called with a folder's path as soon as the writer has made it and holds it open: the seam
  // through which tests act as someone who changes the destination while a recovery runs.
  std::function<void(const std::filesystem::path&)> folderMade;
};

// A folder the recovery writes into, in the order folders are reached (a parent before its
// children; the results tree's root is the destination itself).
struct PlannedFolder {
  TreeItem item = kNoItem;
  std::size_t parent = SIZE_MAX;        // index in the plan; SIZE_MAX for the destination
  std::string name;                     // safe, unique among the names given in its parent
  std::string treePath;                 // "/" between the names of the tree, "" for the root
  std::string folderPath;               // FolderPath: the tree's own "\"-joined form, as the dialogs show it
  bool ticked = false;                  // its files are recovered (not only a way down)
  bool makeEvenIfEmpty = false;         // made whether or not a file goes in
  std::optional<std::time_t> modified;  // the folder's own date and time, when the volume keeps one
  // Filled while writing.
  bool made = false;
  bool madeByUs = false;  // it was not there before, so its time is set
  std::string relative;   // its path below the destination, "/" between names
  std::string refused;    // why the destination would not take it (its files fail with this)
  FolderNames names{NameRules{}};
};

struct PlannedFile {
  std::size_t folder = 0;
  DetailsRow row;
  std::string name;      // safe and unique in its folder
  std::string treePath;  // the file's path in the results tree, "/" between names
  std::uint64_t size = 0;
  Recoverability estimate = Recoverability::kNotDeleted;
  // Filled while writing.
  FileStatus status = FileStatus::kPending;
  std::string reason;  // why it failed
  ReadMethod method = ReadMethod::kNone;
  std::vector<ByteRange> unreadable;
  std::uint64_t unreadableSectors = 0;
  std::string writtenAs;  // its path below the destination ("/" between names)
};

struct RecoveryPlan {
  std::vector<PlannedFolder> folders;
  std::vector<PlannedFile> files;
  std::vector<std::string> notes;  // folders left out (reached twice) or listed once for two
  std::uint64_t totalFiles = 0;    // files to write (those skipped as overwritten are not counted)
  std::uint64_t totalBytes = 0;
  bool stopped = false;  // Stop came while counting
};

// The counting step: walks the selection through ctx's results tree, listing each ticked folder
// as the file list does, and gives every folder and file its destination name.
RecoveryPlan PlanRecovery(ScanContext& ctx, const RecoverySelection& selection, FileDataSource& source,
                          const RecoveryOptions& options);

struct RecoveryOutcome {
  std::optional<std::string> failure;  // the destination could not be made: nothing was written
  std::uint64_t filesWritten = 0;      // whole or with zero-filled gaps
  std::uint64_t bytesWritten = 0;
  std::uint64_t filesWithGaps = 0;
  std::uint64_t skipped = 0;  // by the replace answer, as overwritten, or by Skip
  std::uint64_t failed = 0;
  std::uint64_t unreadableSectors = 0;
  bool stopped = false;
  bool cancelled = false;
  std::filesystem::path report;  // the report written, empty when none
  std::string reportError;       // why the report could not be written
};

// Writes the plan. Stop is ctx's stop token; skip, when given, is set by the front end's Skip and
// cleared here when the file being written is dropped.
RecoveryOutcome WriteRecovery(const ScanContext& ctx, RecoveryPlan& plan, FileDataSource& source,
                              const RecoveryOptions& options, std::atomic<bool>* skip = nullptr);

}  // namespace quarrow
