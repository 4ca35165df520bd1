// The counting step of a recovery: which folders and files a selection holds, and the name each
// gets on the destination.
#include <algorithm>
#include <charconv>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "recovery/output_file.h"
#include "recovery/recovery_engine.h"
#include "recovery/recovery_report.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

std::uint64_t SizeOf(const DetailsRow& row) {
  std::uint64_t size = 0;
  std::from_chars(row.size.data(), row.size.data() + row.size.size(), size);
  return size;
}

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

// What makes two rows the same file: a row chosen in the list and the same row listed again with
// its ticked folder are written once.
using RowKey = std::tuple<std::size_t, std::string, std::string, std::string, bool>;
RowKey KeyOf(std::size_t folder, const DetailsRow& row) {
  return {folder, row.name, row.debug1, row.size, row.deleted};
}

class Planner {
 public:
  Planner(ScanContext& ctx, const RecoverySelection& selection, FileDataSource& source,
          const RecoveryOptions& options)
      : ctx_(ctx), selection_(selection), source_(source), options_(options) {}

  RecoveryPlan Run() {
    ctx_.Ui().SetText(recovery_control::kCounting, kCountingText);
    if (!ctx_.results.tree) return std::move(plan_);
    const mytreectrl& tree = *ctx_.results.tree;
    // Folders holding rows chosen in the list are reached whatever their boxes say.
    for (const SelectedFileRow& f : selection_.files) {
      for (TreeItem i = f.folder; tree.Valid(i); i = tree.Parent(i)) {
        if (!onTheWay_.insert(i).second) break;
      }
    }
    PlannedFolder root;
    root.item = tree.Root();
    root.ticked = Ticked(root.item);
    root.makeEvenIfEmpty = true;
    root.names = FolderNames(options_.rules);
    // The report's documented name is its own: a volume file of that name is renamed instead.
    if (options_.writeReport) root.names.Reserve(std::string(kRecoveryReportName));
    plan_.folders.push_back(std::move(root));
    index_[tree.Root()] = 0;

    // Depth first with an explicit stack: a hostile volume can nest folders past any call stack.
    // Depth costs the writer nothing; only a folder reached a second time is left out.
    std::vector<std::size_t> stack{0};
    while (!stack.empty() && !plan_.stopped) {
      const std::size_t folder = stack.back();
      stack.pop_back();
      const std::size_t first = plan_.folders.size();
      Visit(folder);
      for (std::size_t child = plan_.folders.size(); child > first; --child) stack.push_back(child - 1);
      plan_.stopped = ctx_.StopRequested();
    }
    for (const SelectedFileRow& f : selection_.files) {
      auto it = index_.find(f.folder);
      if (it == index_.end()) {
        // Its folder was left out (noted already): the file is asked for and not written.
        LeaveOut(f.row, FolderPath(tree, f.folder));
        continue;
      }
      AddFiles(it->second, {f.row});
    }
    return std::move(plan_);
  }

 private:
  bool Ticked(TreeItem item) const {
    return selection_.checkedFolders && ctx_.results.tree->State(item) == check_state::kChecked;
  }
  bool Wanted(TreeItem item) const {
    const int state = ctx_.results.tree->State(item);
    return (selection_.checkedFolders &&
            (state == check_state::kChecked || state == check_state::kPartial)) ||
           onTheWay_.count(item) != 0;
  }

  void Visit(std::size_t folder) {
    ResultsState& results = ctx_.results;
    const mytreectrl& tree = *results.tree;
    const TreeItem item = plan_.folders[folder].item;
    // Sub-folders take their names from the folder's directory when it is first read.
    if (item != tree.Root()) NameChildrenOnFirstExpansion(results, item);

    for (TreeItem child : tree.Children(item)) {
      if (!Wanted(child)) continue;
      const FolderNode* node = results.folderNodes.FindByItem(child);
      if (!node) continue;
      const std::string treePath = Join(plan_.folders[folder].treePath, node->name);
      // A tree holds an item once; one reached again would walk in a circle.
      if (index_.count(child)) {
        plan_.notes.push_back(treePath + ": not recovered, it was reached twice");
        continue;
      }
      PlannedFolder planned;
      planned.item = child;
      planned.parent = folder;
      planned.name = plan_.folders[folder].names.Claim(node->name);
      planned.treePath = treePath;
      planned.folderPath = FolderPath(tree, child);
      planned.ticked = Ticked(child);
      planned.makeEvenIfEmpty = planned.ticked && !options_.deletedOnly;
      planned.names = FolderNames(options_.rules);
      if (!results.FilesInTables()) {
        planned.modified = FatEntryTime(static_cast<std::uint16_t>(node->date & 0xFFFF),
                                        static_cast<std::uint16_t>(node->time & 0xFFFF));
      }
      index_[child] = plan_.folders.size();
      plan_.folders.push_back(std::move(planned));
    }

    if (!plan_.folders[folder].ticked) return;
    // A directory reached twice (two folders of the tree naming one cluster) is listed once.
    if (item != tree.Root()) {
      const FolderNode* node = results.folderNodes.FindByItem(item);
      if (node && node->self != kOrphanCluster) {
        auto [at, fresh] = listed_.emplace(node->self, folder);
        if (!fresh) {
          plan_.notes.push_back(plan_.folders[folder].treePath + ": the same directory as " +
                                (plan_.folders[at->second].treePath.empty()
                                     ? std::string("the root")
                                     : plan_.folders[at->second].treePath) +
                                ", its files are recovered there");
          return;
        }
        if (FolderInUnreadBlock(ctx_, node->self)) {
          plan_.notes.push_back(
              plan_.folders[folder].treePath +
              ": partly unreadable: its directory lies where the ddrescue map says the copy never "
              "read; what it held is not listed");
        }
      }
    }
    DetailsList list;
    AddFolderContents(results, list, item, {});
    std::vector<DetailsRow> files;
    for (DetailsRow& row : list.rows) {
      if (row.image == RowImage::kFile) files.push_back(std::move(row));
    }
    AddFiles(folder, std::move(files));
    ctx_.Ui().SetText(recovery_control::kTotalFiles, std::to_string(plan_.totalFiles));
  }

  // Live files take their names before deleted ones: when a deleted file and a live one share a
  // name, the live one keeps it and the deleted one becomes "name (1)".
  void AddFiles(std::size_t folder, std::vector<DetailsRow> rows) {
    for (bool deletedPass : {false, true}) {
      for (DetailsRow& row : rows) {
        if (row.deleted != deletedPass || (options_.deletedOnly && !row.deleted)) continue;
        if (!seen_.insert(KeyOf(folder, row)).second) continue;
        PlannedFile file;
        file.folder = folder;
        file.size = SizeOf(row);
        file.treePath = Join(plan_.folders[folder].treePath, row.name);
        file.estimate = EstimateFile(ctx_, source_, row);
        if (file.estimate != Recoverability::kNotDeleted)
          row.estimate = std::string(RecoverabilityText(file.estimate));
        if (options_.skipOverwritten && file.estimate == Recoverability::kOverwritten) {
          file.status = FileStatus::kSkippedOverwritten;
        } else if (file.estimate == Recoverability::kNoRecord) {
          // There are no bytes to write, only a name.
          file.status = FileStatus::kSkippedNoRecord;
        } else {
          file.name = plan_.folders[folder].names.Claim(row.name);
          ++plan_.totalFiles;
          plan_.totalBytes += file.size;
        }
        file.row = std::move(row);
        plan_.files.push_back(std::move(file));
      }
    }
  }

  // A chosen row whose folder is not in the plan: listed as failed, so the run does not pass it
  // over in silence.
  void LeaveOut(DetailsRow row, const std::string& folderPath) {
    PlannedFile file;
    file.size = SizeOf(row);
    std::string path = folderPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    file.treePath = Join(path, row.name);
    file.status = FileStatus::kFailed;
    file.reason = "its folder was left out";
    file.row = std::move(row);
    plan_.files.push_back(std::move(file));
  }

  ScanContext& ctx_;
  const RecoverySelection& selection_;
  FileDataSource& source_;
  const RecoveryOptions& options_;
  RecoveryPlan plan_;
  std::unordered_set<TreeItem> onTheWay_;
  std::unordered_map<TreeItem, std::size_t> index_;
  std::unordered_map<std::uint32_t, std::size_t> listed_;
  std::set<RowKey> seen_;
};

}  // namespace

RecoveryPlan PlanRecovery(ScanContext& ctx, const RecoverySelection& selection, FileDataSource& source,
                          const RecoveryOptions& options) {
  return Planner(ctx, selection, source, options).Run();
}

}  // namespace quarrow
