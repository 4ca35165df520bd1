#include "results/folder_tree.h"

#include <memory>
#include <vector>

#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

mytreectrl& ResultsTree(ScanContext& ctx) {
  if (!ctx.resultsTree) ctx.resultsTree = std::make_unique<mytreectrl>(3, ctx.diskNumber);
  return *ctx.resultsTree;
}

std::uint32_t ParentOf(const TextTable& table, int row) {
  return ReadU32(table.GetCell(row, entry_col::kParent, kCellBuffer));
}

bool IsFolderRow(const TextTable& table, int row) {
  return table.GetCell(row, entry_col::kType, kShortCellBuffer) == "FOLDER";
}

bool IsDeletedRow(const TextTable& table, int row) {
  return table.GetCell(row, entry_col::kDeleted, kFlagCellBuffer) == "1";
}

}  // namespace

bool IsNtfsVolume(const ScanContext& ctx) {
  if (ctx.activeGeometry.type != FsType::kNone) return ctx.activeGeometry.type == FsType::kNtfs;
  return ctx.partitionType == FsType::kNtfs;
}

TreeItem InsertFolderNode(ScanContext& ctx, TreeItem parent, std::string name, std::uint32_t self,
                          std::int64_t date, std::int64_t time, std::uint32_t parentKey, bool deleted) {
  mytreectrl& tree = ResultsTree(ctx);
  TreeItem item = tree.InsertItem(parent, name, tree_image::kFolder, tree_image::kFolder);
  if (item == kNoItem) return kNoItem;
  tree.SetState(item, check_state::kUnchecked);
  tree.SetState(tree.Root(), check_state::kUnchecked);
  FolderNode node;
  node.name = std::move(name);
  node.item = item;
  node.self = self;
  node.parent = parentKey;
  node.date = date;
  node.time = time;
  node.deleted = deleted ? 1 : 0;
  ctx.folderNodes.Append(std::move(node));
  return item;
}

int AttachChildFolders(ScanContext& ctx, std::string_view key, TextTable& table, TreeItem parentItem) {
  // Keys may come formatted "%d" or "%lu"; both read back to the same unsigned value.
  const std::uint32_t wanted = ReadU32(key);
  const int count = table.RowCount();
  // The first and one-past-last rows of the run whose parent equals the key.
  int lo = 0, hi = count;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (ParentOf(table, mid) < wanted)
      lo = mid + 1;
    else
      hi = mid;
  }
  const int first = lo;
  if (first == count || ParentOf(table, first) != wanted) return 1;
  hi = count;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (ParentOf(table, mid) <= wanted)
      lo = mid + 1;
    else
      hi = mid;
  }
  const int end = lo;

  std::vector<int> consumed;
  for (int row = end - 1; row >= first; --row) {
    if (!IsFolderRow(table, row) || ParentOf(table, row) != wanted) continue;
    std::string name = table.GetCell(row, entry_col::kName, kCellBuffer);
    if (name.empty()) name = "DIR_" + std::to_string(ctx.generatedNameCounter++);
    std::uint32_t self = ReadU32(table.GetCell(row, entry_col::kSelf, kCellBuffer));
    std::int64_t date = ReadI64(table.GetCell(row, entry_col::kDate, kShortCellBuffer));
    std::int64_t time = ReadI64(table.GetCell(row, entry_col::kTime, kShortCellBuffer));
    bool deleted = IsDeletedRow(table, row);
    ctx.dataFound = true;
    consumed.push_back(row);
    InsertFolderNode(ctx, parentItem, std::move(name), self, date, time, wanted, deleted);
  }
  table.DeleteRows(std::move(consumed));
  return 1;
}

int BuildFolderTree(ScanContext& ctx, int progressBarId) {
  TextTable& table = ctx.tables.EntryTable;
  mytreectrl& tree = ResultsTree(ctx);
  if (tree.Root() == kNoItem) SetResultsRoot(ctx);
  const TreeItem root = tree.Root();
  if (table.RowCount() > 1) ctx.dataFound = true;

  for (int row = 0; row < table.RowCount(); ++row) {
    std::uint32_t parent = ParentOf(table, row);
    std::uint32_t self = ReadU32(table.GetCell(row, entry_col::kSelf, kCellBuffer));
    // The catch-all row of an NTFS Advance search comes out of the lost-parent pass pointing at
    // itself; it belongs at the root.
    if (parent == kOrphanCluster && self == kOrphanCluster) {
      table.SetCell(row, entry_col::kParent, "5");
      parent = kNtfsRootKey;
    }
    if (parent == kNtfsRootKey && IsFolderRow(table, row) && self != kNtfsRootKey) {
      InsertFolderNode(ctx, root, table.GetCell(row, entry_col::kName, kCellBuffer), self,
                       ReadI64(table.GetCell(row, entry_col::kDate, kShortCellBuffer)),
                       ReadI64(table.GetCell(row, entry_col::kTime, kShortCellBuffer)), parent,
                       IsDeletedRow(table, row));
    }
  }
  tree.Expand(root, true);
  tree.SetText(root, "Root");
  table.Sort(entry_col::kParent);

  Feedback& ui = ctx.Ui();
  ui.SetProgress(progressBarId, 0, "");
  ui.ShowControl(progressBarId, true);
  const int rowsBefore = table.RowCount();
  std::size_t visited = 0;
  std::size_t lastShown = 0;
  // Nodes appended while attaching are visited too: a breadth-first walk. Every node comes from
  // a row that is consumed (or from the first level, which is walked once), so the walk ends.
  for (std::size_t i = 0; i < ctx.folderNodes.Count();) {
    const std::uint32_t self = ctx.folderNodes[i].self;
    const TreeItem item = ctx.folderNodes[i].item;
    AttachChildFolders(ctx, U32Text(self), table, item);
    ++visited;
    std::size_t next = i + 1;
    while (next < ctx.folderNodes.Count() && ctx.folderNodes[next].self == self) ++next;
    i = next;
    ui.SetText(control::kEnumerating,
               "Currently Enumerating " + std::to_string(visited) + " / " + std::to_string(rowsBefore));
    std::size_t percent = visited * 100 / ctx.folderNodes.Count();
    if (percent > lastShown) {
      ui.SetProgress(progressBarId, static_cast<int>(percent > 100 ? 100 : percent), "Completed ");
      lastShown = percent;
    }
  }
  ui.ShowControl(progressBarId, false);
  table.DeleteAllRows();
  return 1;
}

TreeItem FillFileSystemTree(ScanContext& ctx, mytreectrl& fileSystemTree) {
  const TextTable& table = ctx.tables.IdentifiedFileSystemTable;
  constexpr int kPartTypeColumn = 10;
  TreeItem first = kNoItem;
  TreeItem root = fileSystemTree.Root();
  for (int row = 0; row < table.RowCount(); ++row) {
    std::string text =
        "File System " + std::to_string(row + 1) + " - " + table.GetCell(row, kPartTypeColumn, 100);
    TreeItem item = fileSystemTree.InsertItem(root, std::move(text), tree_image::kDrive, tree_image::kDrive);
    if (first == kNoItem) first = item;
  }
  fileSystemTree.Expand(root, true);
  return first;
}

void SetResultsRoot(ScanContext& ctx) {
  mytreectrl& tree = ResultsTree(ctx);
  if (tree.Root() == kNoItem) {
    tree.InsertRootItem("Root", tree_image::kComputer, tree_image::kComputer);
  } else {
    tree.SetText(tree.Root(), "Root");
  }
}

std::string FolderPath(const mytreectrl& tree, TreeItem item) {
  const TreeItem root = tree.Root();
  std::vector<const std::string*> names;  // the item first, then its ancestors
  for (TreeItem at = item; tree.Valid(at) && at != root; at = tree.Parent(at))
    names.push_back(&tree.Text(at));
  if (names.empty()) return {};
  std::string path;
  for (std::size_t i = names.size() - 1; i > 0; --i) {
    const std::string& name = *names[i];
    path += name;
    if (name.empty() || name.back() != '\\') path += '\\';
  }
  path += *names.front();
  return path;
}

void ToggleCheckBox(mytreectrl& tree, TreeItem item) {
  if (!tree.Valid(item)) return;
  tree.Select(item);
  const int target =
      tree.State(item) == check_state::kChecked ? check_state::kUnchecked : check_state::kChecked;
  // Iterative, so that a deep tree made from a damaged disk cannot exhaust the stack.
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    TreeItem at = pending.back();
    pending.pop_back();
    tree.SetState(at, target);
    const auto& children = tree.Children(at);
    pending.insert(pending.end(), children.begin(), children.end());
  }
  for (TreeItem at = tree.Parent(item); at != kNoItem; at = tree.Parent(at)) {
    bool all = true;
    for (TreeItem child : tree.Children(at)) all = all && tree.State(child) == target;
    tree.SetState(at, all ? target : check_state::kPartial);
  }
}

void OnResultsTreeExpanding(ScanContext& ctx, TreeItem item, bool expanding, const ChildNamer& nameChildren,
                            ResultsTreeFlags* flags, const std::function<void(TreeItem)>& refillList) {
  if (!ctx.resultsTree) return;
  mytreectrl& tree = *ctx.resultsTree;
  if (!tree.Valid(item)) return;
  // The root (an item without a named parent) is never listed or named from here.
  if (tree.Text(tree.Parent(item)).empty()) return;
  const bool keepImages = StartsWith(tree.Text(item), "Partition");

  if (flags && ((flags->listOnClick && expanding) || flags->refillOnExpand)) {
    ctx.Ui().SetText(control::kCurrentFolder, FolderPath(tree, item));
    if (!keepImages) tree.SetImages(item, tree_image::kFolderOpen, tree_image::kFolderOpen);
    if (ctx.currentFolder != item && tree.Valid(ctx.currentFolder) &&
        !StartsWith(tree.Text(ctx.currentFolder), "Partition")) {
      tree.SetImages(ctx.currentFolder, tree_image::kFolder, tree_image::kFolder);
    }
    ctx.currentFolder = item;
    if (flags->refillOnExpand) {
      flags->refillOnExpand = false;
      tree.Select(item);
      if (refillList) refillList(item);
    }
  } else if (flags && flags->listOnClick && !expanding) {
    if (item != tree.Root() && !keepImages) tree.SetImages(item, tree_image::kFolder, tree_image::kFolder);
  }

  FolderNode* node = ctx.folderNodes.FindByItem(item);
  if (!node) return;
  if (node->self == kOrphanCluster) node->expanded = true;  // the catch-all folder has no directory
  if (node->expanded) return;
  node->expanded = true;
  if (!IsNtfsVolume(ctx) && nameChildren) nameChildren(ctx, *node);
}

}  // namespace quarrow
