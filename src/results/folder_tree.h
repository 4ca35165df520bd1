#pragma once
// The results tree: building it from EntryTable, its check boxes and its paths. The tree and
// FolderNodeList live in ResultsState.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/feedback.h"
#include "results/folder_nodes.h"
#include "results/results_state.h"
#include "results/tree_model.h"

namespace quarrow {

class TextTable;

// Root values of the parent column: a FAT folder whose parent is 0 and an NTFS folder whose
// parent is record 5 (the root directory's record) are children of the root.
inline constexpr std::uint32_t kFatRootKey = 0;
inline constexpr std::uint32_t kNtfsRootKey = 5;
// The key of a FAT folder shown for an entry whose cluster is another folder's directory (a moved
// folder's old entry, a cross-linked one): cluster 1 is no data cluster, so it lists nothing.
inline constexpr std::uint32_t kHollowFolderKey = 1;

// The values of one folder row of EntryTable, read through the cells' bounded buffers.
struct FolderRowValues {
  std::string name;
  std::uint32_t self = 0;
  std::uint32_t parent = 0;
  std::int64_t date = 0;
  std::int64_t time = 0;
  bool deleted = false;  // "Deleted" is "1"
};
FolderRowValues ReadFolderRow(const TextTable& table, int row);

// Inserts a folder item (image 4/4) under parent, sets its and the root's check box to
// unchecked and appends its FolderNode. Creates the results tree when there is none.
// Returns the new item, or kNoItem (and appends no node) when parent is not an item of the tree.
TreeItem InsertFolderNode(ResultsState& results, TreeItem parent, std::string name, std::uint32_t self,
                          std::int64_t date, std::int64_t time, std::uint32_t parentKey, bool deleted);
TreeItem InsertFolderNode(ResultsState& results, TreeItem parent, const FolderRowValues& row);

// Turns the rows of table (sorted ascending by parent) whose parent equals key into children of
// parentItem, naming nameless rows "DIR_%d" and deleting each row it attaches. The rows of the
// run are attached from the last to the first.
void AttachChildFolders(ResultsState& results, std::string_view key, TextTable& table, TreeItem parentItem);

// The breadth-first walk of the tree builders: visits FolderNodeList from node `from` on,
// including the nodes appended during the walk, and attaches each visited node's child rows of
// table. With skipEqualSelf, a run of consecutive nodes with the same self is visited once.
// afterVisit(visited) runs after every visit. Returns the number of nodes visited.
std::size_t AttachDescendants(ResultsState& results, TextTable& table, std::size_t from, bool skipEqualSelf,
                              const std::function<void(std::size_t visited)>& afterVisit = {});

// Hangs the NTFS folder rows the walk from the root left in table under the catch-all folder
// "QRW_Miscellaneous" (the node whose self is kOrphanCluster): folders whose parent is missing or
// no folder, and folders whose parents name each other in a circle, opened at one of its rows;
// their sub-folders come with them. Nothing happens without that node.
void AttachLostFolders(ResultsState& results, TextTable& table);

// Builds the results tree of an NTFS scan or a log from EntryTable (sorted by parent), showing
// its progress on progressBarId and the "Currently Enumerating" line. Empties EntryTable.
void BuildFolderTree(ResultsState& results, int progressBarId = control::kProgress);

// Builds the results tree of a FAT log from EntryTable (sorted by parent): the rows whose parent
// is 0 under the root (date and time taken as 16-bit values), then every node's children, breadth
// first, with its progress on progressBarId. Empties EntryTable and marks every node expanded: a
// log's names are final.
void RebuildFatTree(ResultsState& results, int progressBarId = control::kProgress);

// Fills the "File Systems" tree from IdentifiedFileSystemTable; returns the first item inserted
// (kNoItem when the table is empty).
TreeItem FillFileSystemTree(const ResultsState& results, mytreectrl& fileSystemTree);

// Gives the results tree's root the text "Root", inserting it (and the tree) when there is none.
void SetResultsRoot(ResultsState& results);

// The item's path below the root, names joined with "\"; the root gives the empty text.
std::string FolderPath(const mytreectrl& tree, TreeItem item);

// A click on an item's check box: selects the item and toggles it, its descendants and its
// ancestors (checked -> unchecked, otherwise -> checked; an ancestor whose children disagree
// shows the partly filled box).
void ToggleCheckBox(mytreectrl& tree, TreeItem item);

// The first expansion of a folder names its children from its directory (through the volume's
// hooks; nothing on NTFS or for the catch-all folder). Later expansions read nothing.
void NameChildrenOnFirstExpansion(ResultsState& results, TreeItem item);

}  // namespace quarrow
