#pragma once
// The results page as toolkit-free page logic: what a click, an arrow key, an expansion and Open
// do to the results tree (images, the current folder, the "Current Folder" text) and to the file
// list. A front end forwards its events here and shows the tree and list models.

#include <cstddef>
#include <ctime>
#include <functional>

#include "results/file_list.h"
#include "results/results_state.h"
#include "results/tree_model.h"

namespace quarrow {

// The click and arrow-key flags of the results page that decide what an expansion shows.
struct ResultsTreeFlags {
  bool listOnClick = false;     // set by a click in the results tree, cleared by Left and Right
  bool refillOnExpand = false;  // set by the Right arrow key, cleared by Left
};

// What the list worker does for a tree item: the folder becomes the current folder (unless it is
// the root) and shows open when the listing came from a click or arrow key (listOnClick); the
// list is emptied and filled with the folder's sub-folders and files, its directory read for
// child names first. localNow is the local time shown by the catch-all folder's row.
void ListFolder(ResultsState& results, DetailsList& list, TreeItem item, bool listOnClick,
                const std::tm& localNow);

// Open on a row of the list: a folder row (its trimmed Type ends in "FOLDER" or "Folder")
// expands its way down the tree, becomes the current folder and refills the list with its
// contents. Returns false, changing nothing, for a file row or a row whose item is gone.
bool OpenListRow(ResultsState& results, DetailsList& list, std::size_t row);

// What expanding (or collapsing) a folder of the results tree does: with the flags given, the
// current folder moves to the item and, with refillOnExpand, refillList fills the file list for
// it; the first expansion of a FAT folder names its children from its directory. Install it as
// the tree's expanding handler.
void OnResultsTreeExpanding(ResultsState& results, TreeItem item, bool expanding,
                            ResultsTreeFlags* flags = nullptr,
                            const std::function<void(TreeItem)>& refillList = {});

}  // namespace quarrow
