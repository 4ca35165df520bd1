#include "results/folder_tree.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "results/identified_rows.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"

namespace quarrow {
namespace {

std::uint32_t ParentOf(const TextTable& table, int row) {
  return table.U32(row, entry_col::kParent);
}

bool IsFolderRow(const TextTable& table, int row) {
  return table.GetCell(row, entry_col::kType, kShortCellBuffer) == "FOLDER";
}

// The self of the folder rows left in table by the walk from the root: rows whose parent is no
// folder of the tree, or is one of them. The rows at the root level (parent 5) are not left: the
// walk attached them first.
std::unordered_map<std::uint32_t, std::uint32_t> WaitingFolders(const TextTable& table) {
  std::unordered_map<std::uint32_t, std::uint32_t> parentOf;
  for (int row = 0; row < table.RowCount(); ++row) {
    if (!IsFolderRow(table, row) || ParentOf(table, row) == kNtfsRootKey) continue;
    parentOf.try_emplace(ReadU32(table.GetCell(row, entry_col::kSelf, kCellBuffer)), ParentOf(table, row));
  }
  return parentOf;
}

// Which waiting folders hang under the catch-all folder: those whose parent is not waiting (its
// record lost, or no folder), and the lowest-numbered one of each circle of parents that name
// each other, so that every other waiting folder comes under one of them.
std::unordered_set<std::uint32_t> LostFolderTops(
    const std::unordered_map<std::uint32_t, std::uint32_t>& parentOf) {
  std::unordered_set<std::uint32_t> tops;
  std::unordered_map<std::uint32_t, int> state;  // 1: on the path being followed, 2: done
  for (const auto& [start, ignored] : parentOf) {
    std::vector<std::uint32_t> path;
    std::uint32_t at = start;
    // Each step marks a new folder, so the walk ends within parentOf.size() steps.
    for (;;) {
      const auto seen = state.find(at);
      if (seen != state.end()) {
        if (seen->second == 1) {
          // The path came round to itself: a circle, opened at its lowest record number.
          const auto from = std::find(path.begin(), path.end(), at);
          tops.insert(*std::min_element(from, path.end()));
        }
        break;
      }
      const auto parent = parentOf.find(at);
      if (parent == parentOf.end()) break;
      state[at] = 1;
      path.push_back(at);
      if (!parentOf.count(parent->second)) {
        tops.insert(at);
        break;
      }
      at = parent->second;
    }
    for (std::uint32_t self : path) state[self] = 2;
  }
  return tops;
}

}  // namespace

void AttachLostFolders(ResultsState& results, TextTable& table) {
  TreeItem miscItem = kNoItem;
  for (const FolderNode& node : results.folderNodes) {
    if (node.self == kOrphanCluster) {
      miscItem = node.item;
      break;
    }
  }
  if (miscItem == kNoItem) return;
  // Every pass attaches at least one row or ends; a second pass only meets folders listed twice.
  for (;;) {
    const std::unordered_set<std::uint32_t> tops = LostFolderTops(WaitingFolders(table));
    if (tops.empty()) return;
    for (int row = 0; row < table.RowCount(); ++row) {
      if (IsFolderRow(table, row) && ParentOf(table, row) != kNtfsRootKey &&
          tops.count(ReadU32(table.GetCell(row, entry_col::kSelf, kCellBuffer))))
        table.SetCell(row, entry_col::kParent, U32Text(kOrphanCluster));
    }
    table.Sort(entry_col::kParent);
    const int before = table.RowCount();
    const std::size_t nodesBefore = results.folderNodes.Count();
    AttachChildFolders(results, U32Text(kOrphanCluster), table, miscItem);
    if (table.RowCount() >= before) return;
    AttachDescendants(results, table, nodesBefore, /*skipEqualSelf=*/true);
  }
}

FolderRowValues ReadFolderRow(const TextTable& table, int row) {
  // One walk along the row; each cell is then read as its bounded read would give it.
  std::array<RowCell, entry_col::kDeleted + 1> cells;
  table.RowCells(row, cells);
  const auto take = [&cells](int column, std::size_t bufferLength) {
    return BoundedCellText(cells[static_cast<std::size_t>(column)].Text(), bufferLength);
  };
  const auto u32 = [&](int column) {
    const RowCell& cell = cells[static_cast<std::size_t>(column)];
    if (cell.form() == RowCell::Form::kNumber &&
        cell.magnitude() <= std::numeric_limits<std::uint32_t>::max())
      return static_cast<std::uint32_t>(cell.magnitude());
    return ReadU32(take(column, kCellBuffer));
  };
  FolderRowValues v;
  v.name = take(entry_col::kName, kCellBuffer);
  v.self = u32(entry_col::kSelf);
  v.parent = u32(entry_col::kParent);
  v.date = ReadI64(take(entry_col::kDate, kShortCellBuffer));
  v.time = ReadI64(take(entry_col::kTime, kShortCellBuffer));
  v.deleted = take(entry_col::kDeleted, kFlagCellBuffer) == "1";
  return v;
}

TreeItem InsertFolderNode(ResultsState& results, TreeItem parent, std::string name, std::uint32_t self,
                          std::int64_t date, std::int64_t time, std::uint32_t parentKey, bool deleted) {
  mytreectrl& tree = results.Tree();
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
  node.deleted = deleted;
  results.folderNodes.Append(std::move(node));
  return item;
}

TreeItem InsertFolderNode(ResultsState& results, TreeItem parent, const FolderRowValues& row) {
  return InsertFolderNode(results, parent, row.name, row.self, row.date, row.time, row.parent, row.deleted);
}

void AttachChildFolders(ResultsState& results, std::string_view key, TextTable& table, TreeItem parentItem) {
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
  if (first == count || ParentOf(table, first) != wanted) return;
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
    FolderRowValues values = ReadFolderRow(table, row);
    if (values.name.empty()) values.name = "DIR_" + std::to_string(results.generatedNameCounter++);
    values.parent = wanted;
    results.dataFound = true;
    consumed.push_back(row);
    InsertFolderNode(results, parentItem, values);
  }
  table.DeleteRows(std::move(consumed));
}

std::size_t AttachDescendants(ResultsState& results, TextTable& table, std::size_t from, bool skipEqualSelf,
                              const std::function<void(std::size_t visited)>& afterVisit) {
  std::size_t visited = 0;
  // Nodes appended while attaching are visited too: a breadth-first walk. Every node comes from a
  // row that is consumed (or from the first level, which is walked once), so the walk ends.
  for (std::size_t i = from; i < results.folderNodes.Count();) {
    const std::uint32_t self = results.folderNodes[i].self;
    const TreeItem item = results.folderNodes[i].item;
    AttachChildFolders(results, U32Text(self), table, item);
    ++visited;
    std::size_t next = i + 1;
    if (skipEqualSelf) {
      while (next < results.folderNodes.Count() && results.folderNodes[next].self == self) ++next;
    }
    i = next;
    if (afterVisit) afterVisit(visited);
  }
  return visited;
}

void BuildFolderTree(ResultsState& results, int progressBarId) {
  TextTable& table = results.tables.EntryTable;
  mytreectrl& tree = results.Tree();
  if (tree.Root() == kNoItem) SetResultsRoot(results);
  const TreeItem root = tree.Root();
  if (table.RowCount() > 1) results.dataFound = true;

  for (int row = 0; row < table.RowCount(); ++row) {
    std::uint32_t parent = ParentOf(table, row);
    const std::uint32_t self = ReadU32(table.GetCell(row, entry_col::kSelf, kCellBuffer));
    // The catch-all row of an NTFS Advance search comes out of the lost-parent pass pointing at
    // itself; it belongs at the root.
    if (parent == kOrphanCluster && self == kOrphanCluster) {
      table.SetCell(row, entry_col::kParent, "5");
      parent = kNtfsRootKey;
    }
    if (parent == kNtfsRootKey && IsFolderRow(table, row) && self != kNtfsRootKey) {
      InsertFolderNode(results, root, ReadFolderRow(table, row));
    }
  }
  tree.Expand(root, true);
  tree.SetText(root, "Root");
  table.Sort(entry_col::kParent);

  Feedback& ui = results.Ui();
  ui.SetProgress(progressBarId, 0, "");
  ui.ShowControl(progressBarId, true);
  const int rowsBefore = table.RowCount();
  std::size_t lastShown = 0;
  AttachDescendants(results, table, 0, /*skipEqualSelf=*/true, [&](std::size_t visited) {
    ui.SetText(control::kEnumerating,
               "Currently Enumerating " + std::to_string(visited) + " / " + std::to_string(rowsBefore));
    const std::size_t percent = visited * 100 / results.folderNodes.Count();
    if (percent > lastShown) {
      ui.SetProgress(progressBarId, static_cast<int>(percent > 100 ? 100 : percent), "Completed ");
      lastShown = percent;
    }
  });
  AttachLostFolders(results, table);
  ui.ShowControl(progressBarId, false);
  table.DeleteAllRows();
}

void RebuildFatTree(ResultsState& results, int progressBarId) {
  TextTable& table = results.tables.EntryTable;
  mytreectrl& tree = results.Tree();
  if (tree.Root() == kNoItem) SetResultsRoot(results);
  const TreeItem root = tree.Root();
  for (int row = 0; row < table.RowCount(); ++row) {
    if (ParentOf(table, row) != kFatRootKey) continue;
    FolderRowValues values = ReadFolderRow(table, row);
    values.date &= 0xFFFF;
    values.time &= 0xFFFF;
    InsertFolderNode(results, root, values);
  }
  tree.Expand(root, true);
  tree.SetText(root, "Root");
  Feedback& ui = results.Ui();
  std::size_t shown = 0;
  AttachDescendants(results, table, 0, /*skipEqualSelf=*/false, [&](std::size_t visited) {
    const std::size_t percent = visited * 100 / results.folderNodes.Count();
    if (percent > shown) {
      ui.SetProgress(progressBarId, static_cast<int>(std::min<std::size_t>(percent, 100)), "Completed ");
      shown = percent;
    }
  });
  table.DeleteAllRows();
  for (FolderNode& node : results.folderNodes) node.expanded = true;
}

TreeItem FillFileSystemTree(const ResultsState& results, mytreectrl& fileSystemTree) {
  const TextTable& table = results.tables.IdentifiedFileSystemTable;
  TreeItem first = kNoItem;
  TreeItem root = fileSystemTree.Root();
  for (int row = 0; row < table.RowCount(); ++row) {
    std::string text =
        "File System " + std::to_string(row + 1) + " - " + table.GetCell(row, kFileSystemTypeColumn, 100);
    TreeItem item = fileSystemTree.InsertItem(root, std::move(text), tree_image::kDrive, tree_image::kDrive);
    if (first == kNoItem) first = item;
  }
  fileSystemTree.Expand(root, true);
  return first;
}

void SetResultsRoot(ResultsState& results) {
  mytreectrl& tree = results.Tree();
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

void NameChildrenOnFirstExpansion(ResultsState& results, TreeItem item) {
  FolderNode* node = results.folderNodes.FindByItem(item);
  if (!node) return;
  if (node->self == kOrphanCluster) node->expanded = true;  // the catch-all folder has no directory
  if (node->expanded) return;
  node->expanded = true;
  if (!results.FilesInTables() && results.hooks.nameChildren) results.hooks.nameChildren(*node);
}

}  // namespace quarrow
