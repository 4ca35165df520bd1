// quarrow recover: a search of one partition or sector range, run through the search session as
// `quarrow scan` runs it, then the recovery of the named paths of its results tree (everything
// when none is named) to a destination folder, through the recovery session. Progress goes to
// stderr; a summary (text or JSON) to stdout. Exit 0 when every file asked for was written whole,
// 1 otherwise, 2 for a usage error. A file written whole whose estimate says its bytes may be
// another file's ("may be mixed") is named in a warning and counted in the summary.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "session/disk_session.h"
#include "cli/interrupt.h"
#include "cli/json_text.h"
#include "cli/search_run.h"
#include "cli/terminal_feedback.h"
#include "core/unicode.h"
#include "partition/partition_table.h"
#include "recovery/destination_guard.h"
#include "recovery/output_file.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/recovery_run.h"
#include "session/standard_search.h"

namespace quarrow::cli {
namespace {

struct RecoverOptions {
  SearchOptions search;
  std::string to;
  std::vector<std::string> paths;
  bool deletedOnly = false;
  bool skipOverwritten = false;
  std::string onConflict = "rename";
  bool json = false;
};

// The terminal's live line during a recovery: the counting and saving texts take the status
// line, the file total the counter, the total progress the bar.
class RecoveryTerminal : public Feedback {
 public:
  RecoveryTerminal(TerminalFeedback& terminal, const InterruptWatch& interrupt, const RecoverSeams* seams)
      : terminal_(terminal), interrupt_(interrupt), seams_(seams) {}
  // The recovery run to stop once a Ctrl-C or SIGTERM has come; null while none runs.
  void Watch(RecoveryRun* run) { run_ = run; }

  void SetText(int controlId, std::string_view text) override {
    StopOnInterrupt();
    switch (controlId) {
      case recovery_control::kCounting:
        terminal_.SetText(control::kStatus, text);
        terminal_.SetText(control::kFolderCounterLabel, "Total Files :");
        break;
      case recovery_control::kTotalFiles:
        terminal_.SetText(control::kFolderCounter, text);
        break;
      case recovery_control::kFilePath:
        // The tree's "\"-joined path, shown as the command line shows paths.
        folder_.assign(text);
        std::replace(folder_.begin(), folder_.end(), '\\', '/');
        break;
      case recovery_control::kFileName:
        if (seams_ && seams_->fileStarted) {
          seams_->fileStarted(text);
          StopOnInterrupt();
        }
        terminal_.SetText(
            control::kStatus,
            "Saving " + (folder_.empty() ? std::string(text) : folder_ + "/" + std::string(text)));
        break;
      default:
        terminal_.SetText(controlId, text);
    }
  }
  void SetProgress(int controlId, int position, std::string_view barText) override {
    StopOnInterrupt();
    if (controlId == recovery_control::kTotalProgress) {
      terminal_.SetProgress(control::kProgress, position, barText);
    } else if (controlId != recovery_control::kFileProgress) {
      terminal_.SetProgress(controlId, position, barText);
    }
  }
  void ShowControl(int controlId, bool visible) override { terminal_.ShowControl(controlId, visible); }
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override {
    return terminal_.MessageBox(text, title, icon);
  }

 private:
  // The recovery reports on this thread between two chunks; a signal that has come is turned
  // into the stop here too, so it takes effect at the next chunk whatever the watcher thread does.
  void StopOnInterrupt() {
    if (run_ && interrupt_.Interrupted()) run_->RequestStop();
  }

  TerminalFeedback& terminal_;
  const InterruptWatch& interrupt_;
  const RecoverSeams* seams_;
  RecoveryRun* run_ = nullptr;
  std::string folder_;  // the folder of the file being saved
};

// Every folder of the tree named from its parent's directory, as opening each one does, so that
// the names a path is matched against are the ones `quarrow scan` prints.
void NameWholeTree(ResultsState& results) {
  mytreectrl& tree = results.Tree();
  std::vector<TreeItem> stack(tree.Children(tree.Root()).begin(), tree.Children(tree.Root()).end());
  while (!stack.empty()) {
    const TreeItem item = stack.back();
    stack.pop_back();
    NameChildrenOnFirstExpansion(results, item);
    for (TreeItem child : tree.Children(item)) stack.push_back(child);
  }
}

std::vector<std::string> PathNames(const std::string& path) {
  std::vector<std::string> names;
  std::string name;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!name.empty()) names.push_back(std::move(name));
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) names.push_back(std::move(name));
  return names;
}

// Ticks the folder a path names, or chooses the file rows it names; false when it names nothing.
bool SelectPath(ResultsState& results, const std::string& path, RecoverySelection& selection) {
  mytreectrl& tree = results.Tree();
  const std::vector<std::string> names = PathNames(path);
  TreeItem folder = tree.Root();
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    TreeItem next = kNoItem;
    for (TreeItem child : tree.Children(folder)) {
      const FolderNode* node = results.folderNodes.FindByItem(child);
      if (node && node->name == names[i]) next = child;
    }
    if (next == kNoItem) return false;
    folder = next;
  }
  bool found = false;
  auto tick = [&tree](TreeItem item) {
    if (tree.State(item) != check_state::kChecked) ToggleCheckBox(tree, item);
  };
  if (names.empty()) {
    tick(folder);
    return true;
  }
  for (TreeItem child : tree.Children(folder)) {
    const FolderNode* node = results.folderNodes.FindByItem(child);
    if (node && node->name == names.back()) {
      tick(child);
      found = true;
    }
  }
  DetailsList list;
  AddFolderContents(results, list, folder, {});
  for (DetailsRow& row : list.rows) {
    if (row.image == RowImage::kFile && row.name == names.back()) {
      selection.files.push_back({folder, std::move(row)});
      found = true;
    }
  }
  return found;
}

std::string_view ConflictText(ReplaceAnswer answer) {
  switch (answer) {
    case ReplaceAnswer::kOverwrite:
      return "overwrite";
    case ReplaceAnswer::kSkip:
      return "skip";
    default:
      return "rename";
  }
}

ReplaceAnswer ConflictAnswer(const std::string& text) {
  if (text == "overwrite") return ReplaceAnswer::kOverwrite;
  if (text == "skip") return ReplaceAnswer::kSkip;
  return ReplaceAnswer::kRename;
}

bool FileComplete(const PlannedFile& f) {
  switch (f.status) {
    case FileStatus::kWritten:
    case FileStatus::kSkippedExisting:     // the answer the command was given
    case FileStatus::kSkippedOverwritten:  // --skip-overwritten
    case FileStatus::kSkippedNoRecord:     // a name without data: nothing was left to write
      return true;
    default:
      return false;
  }
}

std::string StatusText(const PlannedFile& f) {
  std::string text(FileStatusText(f.status));
  if (!f.reason.empty()) text += ": " + f.reason;
  return text;
}

// A file written whose data was read over clusters the volume's directories give to other data.
bool WrittenMayBeMixed(const PlannedFile& f) {
  return f.estimate == Recoverability::kMayBeMixed &&
         (f.status == FileStatus::kWritten || f.status == FileStatus::kWrittenWithGaps);
}

std::size_t MayBeMixed(const RecoveryRunOutcome& outcome) {
  return static_cast<std::size_t>(
      std::count_if(outcome.plan.files.begin(), outcome.plan.files.end(), WrittenMayBeMixed));
}

bool PrintJson(const ScanContext& ctx, int disk, bool advance, const RecoverOptions& options,
               const RecoveryRunOutcome& outcome) {
  const RecoveryOutcome& w = outcome.written;
  std::string out;
  {
    JsonObject doc(out);
    doc.Member("search");
    JsonObject(out)
        .Text("mode", advance ? "Advance Search" : "Standard Search")
        .Text("type", FsTypeText(ctx.partitionType))
        .Number("disk", disk)
        .Number("start", ctx.searchStart)
        .Number("end", ctx.searchEnd);
    doc.Text("destination", options.to);
    doc.Text("report", Utf8FromPath(w.report));
    doc.Text("onConflict", ConflictText(ConflictAnswer(options.onConflict)));
    doc.Member("summary");
    JsonObject(out)
        .Number("files", outcome.plan.files.size())
        .Number("written", w.filesWritten)
        .Number("bytes", w.bytesWritten)
        .Number("skipped", w.skipped)
        .Number("failed", w.failed)
        .Number("unreadableSectors", w.unreadableSectors)
        .Number("filesWithUnreadableBytes", w.filesWithGaps)
        .Number("mayBeMixed", MayBeMixed(outcome))
        .Bool("stopped", w.stopped)
        .Bool("cancelled", w.cancelled);
    doc.Array("files", outcome.plan.files, [](JsonObject& o, const PlannedFile& f) {
      o.Text("path", f.treePath)
          .Text("writtenAs", f.writtenAs)
          .Number("size", f.size)
          .Bool("deleted", f.row.deleted)
          .Text("estimate", RecoverabilityText(f.estimate))
          .Text("status", StatusText(f))
          .Text("read", ReadMethodText(f.method))
          .Array("unreadable", f.unreadable, [](JsonObject& r, const ByteRange& b) {
            r.Number("first", b.first).Number("last", b.end - 1);
          });
    });
    doc.Array("notes", outcome.plan.notes,
              [](JsonObject& o, const std::string& note) { o.Text("text", note); });
  }
  out += '\n';
  return WriteStdout(out);
}

bool PrintText(const RecoverOptions& options, const RecoveryRunOutcome& outcome) {
  const RecoveryOutcome& w = outcome.written;
  std::ostringstream out;
  out << "files: " << outcome.plan.files.size() << " asked for, " << w.filesWritten << " written, "
      << w.skipped << " skipped, " << w.failed << " failed\n";
  out << "bytes: " << w.bytesWritten << " written to " << options.to << "\n";
  out << "unreadable: " << w.unreadableSectors << " sectors in " << w.filesWithGaps
      << " files, written as zeros\n";
  if (const std::size_t mixed = MayBeMixed(outcome))
    out << "may be mixed: " << mixed << " files were read over other files' clusters\n";
  if (w.stopped) out << "stopped: the files after the stop were not written\n";
  if (w.cancelled) out << "cancelled: the files after the cancel were not written\n";
  for (const std::string& note : outcome.plan.notes) out << "note: " << EscapeControls(note) << "\n";
  if (!w.report.empty()) out << "report: " << Utf8FromPath(w.report) << "\n";
  return WriteStdout(out.str());
}

int RunRecover(const RecoverOptions& options, const RecoverSeams* seams) {
  if (const int usage = CheckSearchOptions("recover", options.search)) return usage;
  DiskSession session(options.search.images, SessionOptionsFor(options.search));
  std::string error;
  const ListedDisk* disk = session.Select(options.search.disk, &error);
  if (!disk) {
    std::cerr << "quarrow recover: " << error << "\n";
    return 1;
  }
  if (!session.MapNote().empty()) std::cerr << "quarrow recover: " << session.MapNote() << "\n";
  // Refused before the search: a long scan should not end in this message.
  if (auto onSource = DestinationOnSourceDisk(disk->path, options.to)) {
    std::cerr << "quarrow recover: " << *onSource << "\n";
    return 1;
  }
  // Watched from before the search to after the report, so that no Ctrl-C or SIGTERM falls
  // between the two and is lost.
  InterruptWatch interrupt;
  TerminalFeedback terminal(stderr);
  RecoveryTerminal feedback(terminal, interrupt, seams);
  ScanContext ctx(feedback);
  if (const int failed = SetUpSearch("recover", options.search, session, *disk, ctx)) return failed;

  SearchRunOutcome searched = RunSearch(ctx, feedback, options.search);
  if (searched.advice) terminal.ShowAdvice(*searched.advice);
  // Ctrl-C during the search means the user does not want this recovery; a disk that stopped
  // answering would give nothing but zeros.
  if (searched.failure.empty() && !searched.refused) {
    if (searched.stopped) {
      searched.refused = "the search was stopped; nothing was recovered";
    } else if (interrupt.Interrupted()) {
      searched.refused = "stopped before any file was written; nothing was recovered";
    } else if (searched.diskGone) {
      searched.refused = "the disk stopped answering during the search; nothing was recovered";
    } else if (options.search.Advance() && searched.identified.empty()) {
      searched.refused = "the Advance search identified no file system to recover from";
    }
  }
  if (!searched.failure.empty() || searched.refused) {
    terminal.Finish();
    std::cerr << "quarrow recover: " << (searched.refused ? *searched.refused : searched.failure) << "\n";
    return 1;
  }
  for (const std::string& warning : searched.warnings)
    std::cerr << "quarrow recover: warning: " << warning << "\n";

  NameWholeTree(ctx.results);
  RecoverySelection selection;
  if (options.paths.empty()) {
    SelectPath(ctx.results, "", selection);
  }
  std::vector<std::string> unknown;
  for (const std::string& path : options.paths) {
    if (!SelectPath(ctx.results, path, selection)) unknown.push_back(path);
  }
  if (!unknown.empty()) {
    terminal.Finish();
    for (const std::string& path : unknown)
      std::cerr << "quarrow recover: no folder or file " << path << " in the results (see 'quarrow scan')\n";
    return 1;
  }

  RecoveryOptions recovery;
  recovery.destination = PathFromUtf8(options.to);
  recovery.deletedOnly = options.deletedOnly;
  recovery.skipOverwritten = options.skipOverwritten;
  FixedReplaceAnswer answer(ConflictAnswer(options.onConflict));
  recovery.replace = &answer;
  recovery.sourcePath = disk->path;
  RecoveryRun run(ctx);
  RecoveryRunOutcome outcome;
  if (seams && seams->searchEnded) seams->searchEnded();
  // Ctrl-C or SIGTERM stops the recovery: the file being written is dropped, no later one is
  // begun, and the report says so. One that came since the search stops it before it begins.
  interrupt.Forward(run.StopSource());
  feedback.Watch(&run);
  outcome = run.Run(selection, recovery);
  feedback.Watch(nullptr);
  terminal.Finish();
  if (outcome.refused) {
    std::cerr << "quarrow recover: " << *outcome.refused << "\n";
    return 1;
  }
  // A stop is honoured whenever it came: even one after the last file fails the run.
  const bool stopped = outcome.written.stopped || interrupt.Interrupted();
  if (stopped) {
    std::cerr << "quarrow recover: stopped; "
              << (outcome.written.stopped ? "the files after the stop were not written"
                                          : "it came after the last file was written")
              << "\n";
  }
  bool complete = !stopped && !outcome.written.cancelled;
  for (const PlannedFile& f : outcome.plan.files) {
    if (FileComplete(f)) continue;
    complete = false;
    if (f.status == FileStatus::kStopped || f.status == FileStatus::kCancelled) continue;
    std::cerr << "quarrow recover: " << EscapeControls(f.treePath) << ": " << StatusText(f);
    if (f.unreadableSectors) std::cerr << " (" << f.unreadableSectors << " unreadable sectors)";
    std::cerr << "\n";
  }
  for (const PlannedFile& f : outcome.plan.files) {
    if (!WrittenMayBeMixed(f)) continue;
    std::cerr << "quarrow recover: warning: " << EscapeControls(f.treePath)
              << ": may be mixed: its clusters are read over another file's or a folder's\n";
  }
  if (!outcome.written.reportError.empty()) {
    complete = false;
    std::cerr << "quarrow recover: the report could not be written: " << outcome.written.reportError << "\n";
  }
  const bool printed = options.json ? PrintJson(ctx, disk->number, options.search.Advance(), options, outcome)
                                    : PrintText(options, outcome);
  if (!printed) {
    std::cerr << "quarrow recover: could not write the summary to standard output\n";
    return 1;
  }
  return complete ? 0 : 1;
}

}  // namespace

void AddRecoverCommand(CLI::App& app, int* exitCode, const RecoverSeams* seams) {
  auto options = std::make_shared<RecoverOptions>();
  auto* cmd = app.add_subcommand(
      "recover",
      "Search a partition or a sector range, then write the folders and files found (deleted "
      "ones too) to a folder on another disk");
  AddSearchOptions(*cmd, options->search,
                   "Advance search: the identified file system to recover from (default 1)");
  cmd->add_option("--to", options->to,
                  "the folder to write the recovered files into (not on the disk recovered)")
      ->required();
  cmd->add_option("--path", options->paths,
                  "a folder (with everything below it) or a file of the results, as 'quarrow scan' prints it "
                  "(repeatable; default: everything)");
  cmd->add_flag("--deleted-only", options->deletedOnly, "write deleted files only");
  cmd->add_flag("--skip-overwritten", options->skipOverwritten,
                "leave out deleted files estimated overwritten");
  cmd->add_option("--on-conflict", options->onConflict,
                  "when a file of the same name is in the destination: overwrite, rename (default) or skip")
      ->check(CLI::IsMember({"overwrite", "rename", "skip"}));
  cmd->add_flag("--json", options->json, "print the summary as JSON");
  cmd->callback([options, exitCode, seams] { *exitCode = RunRecover(*options, seams); });
}

}  // namespace quarrow::cli
