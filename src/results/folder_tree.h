#pragma once
// The results tree: building it from EntryTable, its check boxes, its paths and what expanding
// a folder does. The tree and FolderNodeList live in the ScanContext.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/feedback.h"
#include "results/folder_nodes.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext;
class TextTable;

// Root values of the parent column: a FAT folder whose parent is 0 and an NTFS folder whose
// parent is record 5 (the root directory's record) are children of the root.
inline constexpr std::uint32_t kFatRootKey = 0;
inline constexpr std::uint32_t kNtfsRootKey = 5;

// Inserts a folder item (image 4/4) under parent, sets its and the root's check box to
// unchecked and appends its FolderNode. Creates the results tree when the context has none.
// Returns the new item, or kNoItem (and appends no node) when parent is not an item of the tree.
TreeItem InsertFolderNode(ScanContext& ctx, TreeItem parent, std::string name, std::uint32_t self,
                          std::int64_t date, std::int64_t time, std::uint32_t parentKey, bool deleted);

// Turns the rows of table (sorted ascending by parent) whose parent equals key into children of
// parentItem, naming nameless rows "DIR_%d" and deleting each row it attaches. The rows of the
// run are attached from the last to the first. Returns 1.
int AttachChildFolders(ScanContext& ctx, std::string_view key, TextTable& table, TreeItem parentItem);

// Builds the results tree of an NTFS scan or a log from EntryTable (sorted by parent), showing
// its progress on progressBarId and the "Currently Enumerating" line. Empties EntryTable.
// Returns 1.
int BuildFolderTree(ScanContext& ctx, int progressBarId = control::kProgress);

// Fills the "File Systems" tree from IdentifiedFileSystemTable; returns the first item inserted
// (kNoItem when the table is empty).
TreeItem FillFileSystemTree(ScanContext& ctx, mytreectrl& fileSystemTree);

// Gives the results tree's root the text "Root", inserting it (and the tree) when there is none.
void SetResultsRoot(ScanContext& ctx);

// The item's path below the root, names joined with "\"; the root gives the empty text.
std::string FolderPath(const mytreectrl& tree, TreeItem item);

// A click on an item's check box: selects the item and toggles it, its descendants and its
// ancestors (checked -> unchecked, otherwise -> checked; an ancestor whose children disagree
// shows the partly filled box).
void ToggleCheckBox(mytreectrl& tree, TreeItem item);

// Reads a FAT folder's directory and names its child nodes (NameChildNodes over the chain).
// The FAT engine supplies it; the tree calls it on a folder's first expansion.
using ChildNamer = std::function<void(ScanContext& ctx, const FolderNode& node)>;

// The click and arrow-key flags of the results page that decide what an expansion shows.
struct ResultsTreeFlags {
  bool listOnClick = false;     // set by a click in the results tree, cleared by Left and Right
  bool refillOnExpand = false;  // set by the Right arrow key, cleared by Left
};

// True when the active volume is NTFS (its folders come from MFT records, its files from
// PendingEntryTable); FAT otherwise.
bool IsNtfsVolume(const ScanContext& ctx);

// What expanding (or collapsing) a folder of the results tree does: with the flags given, the
// current folder moves to the item and, with refillOnExpand, refillList fills the file list for
// it; the first expansion of a FAT folder names its children from its directory. Install it as
// the tree's expanding handler.
void OnResultsTreeExpanding(ScanContext& ctx, TreeItem item, bool expanding, const ChildNamer& nameChildren,
                            ResultsTreeFlags* flags = nullptr,
                            const std::function<void(TreeItem)>& refillList = {});

}  // namespace quarrow
