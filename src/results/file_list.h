#pragma once
// DetailsList on the results page as data: the rows a folder shows (its sub-folders, then its
// files), with type descriptions, sizes, dates and times.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/folder_tree.h"
#include "results/results_state.h"
#include "results/tree_model.h"

namespace quarrow {

enum class RowImage { kFolder, kFile };

struct DetailsRow {
  std::string name;
  RowImage image = RowImage::kFile;
  std::string type;  // "FOLDER", "Deleted FOLDER" or the catalogue description
  std::string size;
  std::string date;
  std::string time;
  std::string debug1, debug2, debug3;  // the keys as the hidden columns show them
  TreeItem item = kNoItem;             // a folder row's item in the results tree (kept as data)
  bool deleted = false;                // a deleted file or folder
  // "Recoverability": how much of a deleted file's data is still on the disk ("intact", "partly
  // overwritten", "overwritten", "unknown"), filled by the volume's engine; empty otherwise.
  std::string estimate;
  // The FAT entry's write date and time as stored: a recovered file is given them to the second,
  // where the Date and Time texts stop at the minute.
  std::uint16_t fatDate = 0, fatTime = 0;
  // A carved file's first sector: its bytes are read from there on, not through the volume.
  std::optional<std::uint64_t> carvedSector;
};

struct DetailsColumn {
  std::string header;
  int width;
};

// The results-page columns: "Name" 145, "Type" 100, "Size" 70, "Date" 100, "Time" 70,
// "Recoverability" 110 and the three "Debug Info" columns of width 0.
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
// The date and time texts of fields already taken from a stamp.
std::string NtfsDateText(const CalendarTime& t);
std::string NtfsTimeText(const CalendarTime& t);

// The catch-all folder's row in a listing made from the tree shows the local date and time of
// the listing ("%d-%b-%Y", "%H:%M", English month names whatever the locale).
std::string LocalDateText(const std::tm& local);  // "08-Dec-2026"
std::string LocalTimeText(const std::tm& local);  // "13:05"

// A FAT file row from a decoded directory entry: the engine that reads the directory calls this
// so that every file row is typed, sized and dated the same way. fat16Root: listed from the
// FAT16 root directory.
DetailsRow FatFileRow(std::string name, std::uint32_t size, std::uint16_t date, std::uint16_t time,
                      std::uint32_t firstCluster, bool deleted, bool fat16Root);

// Adds the file rows of an NTFS folder from PendingEntryTable (the rows whose parent is the
// folder's record number), in table order.
void ListNtfsFiles(const ResultsState& results, DetailsList& list, std::uint32_t folderRecord);

// Every file row of PendingEntryTable (NTFS and exFAT), as the folders of the tree list them.
std::vector<DetailsRow> EveryTableFileRow(const ResultsState& results);

// Appends what a folder of the tree shows: its sub-folders from FolderNodeList, then its files
// (NTFS: PendingEntryTable; FAT: the volume's file-listing hook, nothing for the catch-all
// folder). With readDirectory the folder's directory is read for child names first (on every
// listing, whatever the node's expanded flag); with localNow the catch-all folder's row shows
// that time.
struct FolderContentsOptions {
  bool readDirectory = false;
  const std::tm* localNow = nullptr;
};
void AddFolderContents(ResultsState& results, DetailsList& list, TreeItem item,
                       const FolderContentsOptions& options);

// The filling of a folder opened from the list: emptied, then its contents without the directory
// read and the catch-all date rule.
void FillFolderList(ResultsState& results, DetailsList& list, TreeItem item);

}  // namespace quarrow
