#include "app/results_page.h"

#include <cctype>
#include <string_view>

#include "results/folder_tree.h"

namespace quarrow {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

void ListFolder(ResultsState& results, DetailsList& list, TreeItem item, bool listOnClick,
                const std::tm& localNow) {
  list.Clear();
  if (!results.tree || !results.tree->Valid(item)) return;
  mytreectrl& tree = *results.tree;
  const bool isRoot = item == tree.Root();
  results.Ui().SetText(control::kCurrentFolder, FolderPath(tree, item));
  if (!isRoot) {
    if (tree.Valid(results.currentFolder) && !StartsWith(tree.Text(results.currentFolder), "Partition")) {
      tree.SetImages(results.currentFolder, tree_image::kFolderClosed, tree_image::kFolderClosed);
    }
    if (listOnClick && !StartsWith(tree.Text(item), "Partition")) {
      tree.SetImages(item, tree_image::kFolderOpen, tree_image::kFolderOpen);
    }
    tree.Select(item);
    results.currentFolder = item;
  }
  AddFolderContents(results, list, item, {/*readDirectory=*/true, &localNow});
  tree.Select(item);
}

bool OpenListRow(ResultsState& results, DetailsList& list, std::size_t row) {
  if (row >= list.rows.size() || !results.tree) return false;
  std::string_view type = list.rows[row].type;
  while (!type.empty() && std::isspace(static_cast<unsigned char>(type.front()))) type.remove_prefix(1);
  while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back()))) type.remove_suffix(1);
  if (type.size() < 6) return false;
  std::string_view tail = type.substr(type.size() - 6);
  if (tail != "FOLDER" && tail != "Folder") return false;
  mytreectrl& tree = *results.tree;
  // The row carries its item as data, never read back from a text; an item that no longer exists
  // is not followed.
  const TreeItem item = list.rows[row].item;
  if (!tree.Valid(item)) return false;
  const TreeItem parent = tree.Parent(item);
  if (parent != tree.Root()) tree.SetImages(parent, tree_image::kFolderClosed, tree_image::kFolderClosed);
  tree.Expand(parent, true);
  tree.Expand(item, true);
  results.currentFolder = item;
  tree.Select(item);
  tree.SetImages(item, tree_image::kFolderOpenCurrent, tree_image::kFolderOpenCurrent);
  results.Ui().SetText(control::kCurrentFolder, FolderPath(tree, item));
  FillFolderList(results, list, item);
  return true;
}

void OnResultsTreeExpanding(ResultsState& results, TreeItem item, bool expanding, ResultsTreeFlags* flags,
                            const std::function<void(TreeItem)>& refillList) {
  if (!results.tree) return;
  mytreectrl& tree = *results.tree;
  if (!tree.Valid(item)) return;
  // The root (an item without a named parent) is never listed or named from here.
  if (tree.Text(tree.Parent(item)).empty()) return;
  const bool keepImages = StartsWith(tree.Text(item), "Partition");

  if (flags && ((flags->listOnClick && expanding) || flags->refillOnExpand)) {
    results.Ui().SetText(control::kCurrentFolder, FolderPath(tree, item));
    if (!keepImages) tree.SetImages(item, tree_image::kFolderOpen, tree_image::kFolderOpen);
    if (results.currentFolder != item && tree.Valid(results.currentFolder) &&
        !StartsWith(tree.Text(results.currentFolder), "Partition")) {
      tree.SetImages(results.currentFolder, tree_image::kFolder, tree_image::kFolder);
    }
    results.currentFolder = item;
    if (flags->refillOnExpand) {
      flags->refillOnExpand = false;
      tree.Select(item);
      if (refillList) refillList(item);
    }
  } else if (flags && flags->listOnClick && !expanding) {
    if (item != tree.Root() && !keepImages) tree.SetImages(item, tree_image::kFolder, tree_image::kFolder);
  }
  NameChildrenOnFirstExpansion(results, item);
}

}  // namespace quarrow
