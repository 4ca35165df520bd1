#pragma once
// The results tree: building it from EntryTable, its check boxes, its paths and what expanding
// a folder does. The tree and FolderNodeList live in the ScanContext.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "results/folder_nodes.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext;
class TextTable;

// Inserts a folder item (image 4/4) under parent, sets its and the root's check box to
// unchecked and appends its FolderNode. Returns the new item.
TreeItem InsertFolderNode(ScanContext& ctx, TreeItem parent, std::string name, std::uint32_t self,
                          std::int64_t date, std::int64_t time, std::uint32_t parentKey, bool deleted);

// Turns the rows of table (sorted ascending by parent) whose parent equals key into children of
// parentItem, naming nameless rows "DIR_%d" and deleting each row it attaches. Returns 1.
int AttachChildFolders(ScanContext& ctx, std::string_view key, TextTable& table, TreeItem parentItem);

// Builds the results tree of an NTFS scan or a log from EntryTable (sorted by parent). Returns 1.
int BuildFolderTree(ScanContext& ctx);

// Fills the "File Systems" tree from IdentifiedFileSystemTable; returns the first item inserted.
TreeItem FillFileSystemTree(ScanContext& ctx, mytreectrl& fileSystemTree);

// Gives the results tree's root the text "Root", inserting it when there is none.
void SetResultsRoot(ScanContext& ctx);

// The item's path below the root, names joined with "\"; the root gives the empty text.
std::string FolderPath(const mytreectrl& tree, TreeItem item);

// A click on an item's check box: toggles it, its descendants and its ancestors.
void ToggleCheckBox(mytreectrl& tree, TreeItem item);

// Reads a FAT folder's directory and names its child nodes (NameChildNodes over the chain).
// The FAT engine supplies it; the tree calls it on a folder's first expansion.
using ChildNamer = std::function<void(ScanContext& ctx, const FolderNode& node)>;

// What expanding a folder of the results tree does: the first expansion of a FAT folder names
// its children from its directory. Install it as the tree's expanding handler.
void OnResultsTreeExpanding(ScanContext& ctx, TreeItem item, bool expanding, const ChildNamer& nameChildren);

}  // namespace quarrow
