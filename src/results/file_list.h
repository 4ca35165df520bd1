#pragma once
// DetailsList on the results page as data: the rows a folder shows (its sub-folders, then its
// files), with type descriptions, sizes, dates and times.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "results/folder_tree.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext;

enum class RowImage { kFolder, kFile };

struct DetailsRow {
  std::string name;
  RowImage image = RowImage::kFile;
  std::string type;   // "FOLDER", "Deleted FOLDER" or the catalogue description
  std::string size;
  std::string date;
  std::string time;
  std::string debug1, debug2, debug3;  // the keys that opening a row needs
  bool deleted = false;                // a deleted file or folder
};

struct DetailsColumn {
  std::string header;
  int width;
};

// The results-page columns: "Name" 145, "Type" 100, "Size" 70, "Date" 100, "Time" 70 and the
// three "Debug Info" columns of width 0.
const std::vector<DetailsColumn>& ResultsColumns();

struct DetailsList {
  std::vector<DetailsColumn> columns;
  std::vector<DetailsRow> rows;
  void Clear() { rows.clear(); }
};

// File-type description of a name (case-sensitive endings, first match; "File" when none).
// fat16Root selects the variants shown when listing the FAT16 root directory.
std::string FileTypeDescription(std::string_view name, bool fat16Root = false);

// Date and time texts.
std::string FatDateText(std::uint32_t date);   // "05-JAN-2024"; month 0 or > 12 gives "ERR"
std::string FatTimeText(std::uint32_t time);   // "13:07"
std::string NtfsDateText(std::int64_t stamp);  // "5-JAN-2024"
std::string NtfsTimeText(std::int64_t stamp);  // "13:7:5"

// Adds the file rows of a FAT folder (cluster 0 = the root directory). The FAT engine supplies it.
using FatFileLister = std::function<void(ScanContext& ctx, DetailsList& list, std::uint32_t folderCluster)>;

// Adds the file rows of an NTFS folder from PendingEntryTable.
void ListNtfsFiles(ScanContext& ctx, DetailsList& list, std::uint32_t folderRecord);

// What the list worker does for a tree item: the folder's sub-folders from FolderNodeList, then
// its files. For a FAT folder the directory is read for child names first (nameChildren).
// now is the local time used by the catch-all folder's row.
struct FolderListing {
  const FatFileLister* listFatFiles = nullptr;
  const ChildNamer* nameChildren = nullptr;
};
void ListFolder(ScanContext& ctx, DetailsList& list, TreeItem item, const FolderListing& fat, std::time_t now);

// The same filling without the directory read and the catch-all date rule (opening a folder
// row from the list).
void FillFolderList(ScanContext& ctx, DetailsList& list, TreeItem item, const FolderListing& fat);

}  // namespace quarrow
