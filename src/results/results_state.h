#pragma once
// ResultsState: what a scan leaves for the results page and the scan log. The results tree and
// its FolderNodeList, the scan tables the tree is built from, the counter of generated names, the
// current folder and the data-found flag, with the Feedback the tree builders report to. The
// engine of the volume shown binds the hooks that read the disk (naming a folder's children,
// listing its files), so this floor never reads a disk itself.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "carve/carve.h"
#include "core/feedback.h"
#include "core/volume.h"
#include "results/file_rows_by_parent.h"
#include "results/folder_nodes.h"
#include "results/scan_tables.h"
#include "results/tree_model.h"

namespace quarrow {

struct DetailsList;

// What the results floor asks of the engine of the volume it shows.
struct VolumeHooks {
  // Reads a folder's directory and names its child nodes (FAT); empty when names never change.
  std::function<void(const FolderNode& folder)> nameChildren;
  // Appends the file rows of the folder whose key (own cluster or record number) is given; folder
  // is its node (null for the root).
  std::function<void(DetailsList& list, std::uint32_t folderKey, const FolderNode* folder)> listFiles;
};

// A file start the Advance sector scan recognised by its content: the sector and the format.
struct CarvedStartRow {
  std::uint64_t sector = 0;
  CarveType type = CarveType::kJpeg;
};

// A file the search lists by its content alone: a recognised start that no entry of the volume
// claims, with the length its format's structure gives. Its bytes are the contiguous sectors from
// sector on.
struct CarvedFile {
  std::uint64_t sector = 0;
  CarveType type = CarveType::kJpeg;
  std::uint64_t length = 0;  // bytes
};

class ResultsState {
 public:
  explicit ResultsState(Feedback& ui = NullFeedback()) : ui_(&ui) {}
  ResultsState(const ResultsState&) = delete;
  ResultsState& operator=(const ResultsState&) = delete;

  Feedback& Ui() const { return *ui_; }
  void SetFeedback(Feedback& ui) { ui_ = &ui; }

  // Empties what one scan built (tables, tree, nodes, current folder, data-found flag, hooks),
  // keeping the run-wide counter of generated names.
  void ResetForScan(int diskNumber) {
    tables.ClearAll();
    folderNodes.Clear();
    tree = std::make_unique<mytreectrl>(TreeKind::kResults, diskNumber);
    currentFolder = kNoItem;
    dataFound = false;
    volumeType = FsType::kNone;
    volumeLabel.clear();
    hooks = {};
    carvedStarts.clear();
    carvedFiles.clear();
    directoryTails.clear();
  }
  // Empties the folder and file rows and the tree they became, for a second stage that builds
  // another tree from the same scan (the scan's other tables stay).
  void ClearTree(int diskNumber) {
    tables.EntryTable.DeleteAllRows();
    tables.PendingEntryTable.DeleteAllRows();
    folderNodes.Clear();
    tree = std::make_unique<mytreectrl>(TreeKind::kResults, diskNumber);
    currentFolder = kNoItem;
    carvedFiles.clear();  // what no entry claims depends on the volume the tree shows
  }
  // The results tree, created with its root "Root" when there is none yet.
  mytreectrl& Tree() {
    if (!tree) tree = std::make_unique<mytreectrl>(TreeKind::kResults, 0);
    return *tree;
  }
  // NTFS and exFAT trees key the root as 5 and take their files from PendingEntryTable.
  bool FilesInTables() const { return KeepsFilesInTables(volumeType); }

  ScanTables tables;
  std::unique_ptr<mytreectrl> tree;  // the results tree ("Root")
  FolderNodeList folderNodes;        // FolderNodeList
  TreeItem currentFolder = kNoItem;
  bool dataFound = false;
  int generatedNameCounter = 1;       // "DIR_%d" names; 1 at start, never reset
  FsType volumeType = FsType::kNone;  // the type of the volume the tree shows
  std::string volumeLabel;            // the label the volume carries, "" when none
  VolumeHooks hooks;
  std::vector<CarvedStartRow> carvedStarts;  // in sector order
  std::vector<CarvedFile> carvedFiles;       // in sector order; listed under kCarvedFolderName
  // Sectors the FAT sector scan found inside directories past their first sector (entries
  // without "." and ".."), in sector order: where a directory went on once its FAT is gone.
  std::vector<std::uint64_t> directoryTails;
  // PendingEntryTable's rows by parent for the file listing, made again when the table changes.
  // Listing may run on the list worker, hence the lock.
  mutable std::mutex fileRowsLock;
  mutable FileRowsByParent fileRowsByParent;

 private:
  Feedback* ui_;
};

}  // namespace quarrow
