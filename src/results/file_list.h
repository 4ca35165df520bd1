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
  std::string type;  // "FOLDER", "Deleted FOLDER" or the catalogue description
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

// Date and time texts. FAT values are the 16-bit directory-entry fields (higher bits ignored).
std::string FatDateText(std::uint32_t date);   // "05-JAN-2024"; month 0 or > 12 gives "ERR"
std::string FatTimeText(std::uint32_t time);   // "13:07"
std::string NtfsDateText(std::int64_t stamp);  // "5-JAN-2024"
std::string NtfsTimeText(std::int64_t stamp);  // "13:7:5"

// Calendar fields of an NTFS time stamp (100-ns units since 1601-01-01, no time-zone change).
// A negative stamp is not a time: every field is 0.
struct CalendarTime {
  std::int64_t year = 0;
  int month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
CalendarTime NtfsStampToCalendar(std::int64_t stamp);

// The catch-all folder's row in a listing made from the tree shows the local date and time of
// the listing ("%d-%b-%Y", "%H:%M", English month names whatever the locale).
std::string LocalDateText(const std::tm& local);  // "08-Dec-2026"
std::string LocalTimeText(const std::tm& local);  // "13:05"
// The current local time, for callers of ListFolder.
std::tm LocalTimeNow();

// A FAT file row from a decoded directory entry: the engine that reads the directory calls this
// so that every file row is typed, sized and dated the same way. fat16Root: listed from the
// FAT16 root directory.
DetailsRow FatFileRow(std::string name, std::uint32_t size, std::uint16_t date, std::uint16_t time,
                      std::uint32_t firstCluster, bool deleted, bool fat16Root);

// Adds the file rows of a FAT folder (cluster 0 = the root directory). The FAT engine supplies it.
using FatFileLister = std::function<void(ScanContext& ctx, DetailsList& list, std::uint32_t folderCluster)>;

// Adds the file rows of an NTFS folder from PendingEntryTable (the rows whose parent is the
// folder's record number), in table order.
void ListNtfsFiles(ScanContext& ctx, DetailsList& list, std::uint32_t folderRecord);

// What the list worker does for a tree item: the folder's sub-folders from FolderNodeList, then
// its files. For a FAT folder the directory is read for child names first (nameChildren).
// localNow is the local time shown by the catch-all folder's row.
struct FolderListing {
  const FatFileLister* listFatFiles = nullptr;
  const ChildNamer* nameChildren = nullptr;
  bool listOnClick = true;  // the listing came from a click or arrow key: the item shows open
};
void ListFolder(ScanContext& ctx, DetailsList& list, TreeItem item, const FolderListing& fat,
                const std::tm& localNow);

// The same filling without the directory read, the images and the catch-all date rule (opening a
// folder row from the list).
void FillFolderList(ScanContext& ctx, DetailsList& list, TreeItem item, const FolderListing& fat);

// Open on a row of the list: a folder row (its trimmed Type ends in "FOLDER" or "Folder")
// expands its way down the tree, becomes the current folder and refills the list with its
// contents. Returns false, changing nothing, for a file row or a row whose item is gone.
bool OpenListRow(ScanContext& ctx, DetailsList& list, std::size_t row, const FolderListing& fat);

}  // namespace quarrow
