#include "results/file_list.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <unordered_set>

#include "results/carved_folders.h"
#include "results/folder_tree.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"

namespace quarrow {
namespace {

constexpr std::array<std::string_view, 12> kMonthAbbreviations = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                                  "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr std::array<std::string_view, 12> kLocalMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string_view MonthText(std::int64_t month) {
  if (month < 1 || month > 12) return "ERR";
  return kMonthAbbreviations[static_cast<std::size_t>(month - 1)];
}

std::string TwoDigits(std::int64_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

DetailsRow FolderRow(FolderNode& node, bool ntfs, bool listedDeleted, const std::tm* localNow) {
  DetailsRow row;
  row.name = node.name;
  row.image = RowImage::kFolder;
  row.deleted = node.deleted || listedDeleted;
  // A folder inside a deleted folder is shown deleted, and stays marked so from now on.
  if (row.deleted) node.deleted = true;
  row.type = row.deleted ? "Deleted FOLDER" : "FOLDER";
  row.size = "0";
  if (IsCarvedFolderKey(node.self)) {
    // A folder of carved files stands for no directory and has no date.
  } else if (localNow && node.self == kOrphanCluster) {
    // The catch-all folder has no date of its own; a listing from the tree shows "now".
    row.date = LocalDateText(*localNow);
    row.time = LocalTimeText(*localNow);
  } else if (ntfs) {
    row.date = NtfsDateText(node.date);
    row.time = NtfsTimeText(node.date);
  } else {
    row.date = FatDateText(static_cast<std::uint32_t>(node.date & 0xFFFF));
    row.time = FatTimeText(static_cast<std::uint32_t>(node.time & 0xFFFF));
  }
  row.debug1 = U32Text(node.self);
  row.debug2 = U32Text(node.parent);
  row.debug3 = std::to_string(node.item);
  row.item = node.item;
  return row;
}

}  // namespace

void AddFolderContents(ResultsState& results, DetailsList& list, TreeItem item,
                       const FolderContentsOptions& options) {
  if (!results.tree || !results.tree->Valid(item)) return;
  const mytreectrl& tree = *results.tree;
  const bool ntfs = results.FilesInTables();
  std::uint32_t key = ntfs ? kNtfsRootKey : kFatRootKey;
  bool listedDeleted = false;
  const FolderNode* folder = nullptr;
  if (item != tree.Root()) {
    FolderNode* node = results.folderNodes.FindByItem(item);
    if (!node) return;
    folder = node;
    key = node->self;
    if (options.readDirectory && !ntfs && node->self != kOrphanCluster && !IsCarvedFolderKey(node->self) &&
        results.hooks.nameChildren) {
      results.hooks.nameChildren(*node);
    }
    listedDeleted = node->deleted;
  }
  for (std::size_t index : results.folderNodes.ChildrenOf(key)) {
    list.rows.push_back(FolderRow(results.folderNodes[index], ntfs, listedDeleted, options.localNow));
  }
  // NTFS files are in the tables, for every folder the catch-all one included; a bound hook (one
  // that adds estimates, say) lists them in their place.
  if (ntfs && !results.hooks.listFiles) {
    ListNtfsFiles(results, list, key);
  } else if ((ntfs || key != kOrphanCluster) && results.hooks.listFiles) {
    results.hooks.listFiles(list, key, folder);
  }
}

const std::vector<DetailsColumn>& ResultsColumns() {
  static const std::vector<DetailsColumn> columns = {
      {"Name", 145},           {"Type", 100},       {"Size", 70},        {"Date", 100},      {"Time", 70},
      {"Recoverability", 110}, {"Debug Info 1", 0}, {"Debug Info 2", 0}, {"Debug Info 3", 0}};
  return columns;
}

namespace {
// A number below 100 in two digits, a leading zero for one below 10.
char* PutTwoDigits(char* at, std::uint32_t value) {
  *at++ = static_cast<char>('0' + value / 10);
  *at++ = static_cast<char>('0' + value % 10);
  return at;
}
}  // namespace

// Both are made for every file a FAT folder lists: written on the stack, made into a string once.
std::string FatDateText(std::uint32_t date) {
  date &= 0xFFFF;
  char text[16];  // "DD-MMM-YYYY"
  char* p = PutTwoDigits(text, date & 0x1F);
  *p++ = '-';
  const std::string_view month = MonthText((date >> 5) & 0x0F);
  p = std::copy(month.begin(), month.end(), p);
  *p++ = '-';
  p = std::to_chars(p, text + sizeof text, (date >> 9) + 1980).ptr;
  return std::string(text, p);
}

std::string FatTimeText(std::uint32_t time) {
  time &= 0xFFFF;
  char text[8];  // "HH:MM", the hour below 32 and the minute below 64
  char* p = PutTwoDigits(text, time >> 11);
  *p++ = ':';
  p = PutTwoDigits(p, (time >> 5) & 0x3F);
  return std::string(text, p);
}

CalendarTime NtfsStampToCalendar(std::int64_t stamp) {
  CalendarTime out;
  if (stamp < 0) return out;
  constexpr std::int64_t kTicksPerSecond = 10'000'000;
  constexpr std::int64_t kSecondsPerDay = 86'400;
  constexpr std::int64_t kDaysFrom1601To1970 = 134'774;
  const std::int64_t seconds = stamp / kTicksPerSecond;
  const std::int64_t secondOfDay = seconds % kSecondsPerDay;
  out.hour = static_cast<int>(secondOfDay / 3600);
  out.minute = static_cast<int>(secondOfDay / 60 % 60);
  out.second = static_cast<int>(secondOfDay % 60);
  // Civil date from a day count (proleptic Gregorian calendar, eras of 400 years).
  const std::int64_t z = seconds / kSecondsPerDay - kDaysFrom1601To1970 + 719'468;
  const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const std::int64_t dayOfEra = z - era * 146'097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
  out.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  out.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  out.year = yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0);
  return out;
}

// A card lists both texts for every file: each is written into a buffer on the stack and made
// into one string of its own length, which short texts keep without an allocation.
namespace {
char* PutNumber(char* at, char* end, std::int64_t value) {
  return std::to_chars(at, end, value).ptr;
}
}  // namespace

std::string NtfsDateText(const CalendarTime& t) {
  char text[48];  // two numbers of at most 20 characters, a month and two dashes
  char* const end = text + sizeof text;
  char* p = PutNumber(text, end, t.day);
  *p++ = '-';
  const std::string_view month = MonthText(t.month);
  p = std::copy(month.begin(), month.end(), p);
  *p++ = '-';
  p = PutNumber(p, end, t.year);
  return std::string(text, p);
}

std::string NtfsTimeText(const CalendarTime& t) {
  char text[64];  // three numbers of at most 20 characters and two colons
  char* const end = text + sizeof text;
  char* p = PutNumber(text, end, t.hour);
  *p++ = ':';
  p = PutNumber(p, end, t.minute);
  *p++ = ':';
  p = PutNumber(p, end, t.second);
  return std::string(text, p);
}

std::string NtfsDateText(std::int64_t stamp) {
  return NtfsDateText(NtfsStampToCalendar(stamp));
}

std::string NtfsTimeText(std::int64_t stamp) {
  return NtfsTimeText(NtfsStampToCalendar(stamp));
}

std::string LocalDateText(const std::tm& local) {
  std::string_view month = local.tm_mon >= 0 && local.tm_mon < 12
                               ? kLocalMonthNames[static_cast<std::size_t>(local.tm_mon)]
                               : std::string_view("???");
  return TwoDigits(local.tm_mday) + "-" + std::string(month) + "-" +
         std::to_string(static_cast<long long>(local.tm_year) + 1900);
}

std::string LocalTimeText(const std::tm& local) {
  return TwoDigits(local.tm_hour) + ":" + TwoDigits(local.tm_min);
}

DetailsRow FatFileRow(std::string name, std::uint32_t size, std::uint16_t date, std::uint16_t time,
                      std::uint32_t firstCluster, bool deleted, bool fat16Root) {
  DetailsRow row;
  row.type = FileTypeDescription(name, fat16Root);
  row.name = std::move(name);
  row.image = RowImage::kFile;
  row.size = U32Text(size);
  row.date = FatDateText(date);
  row.time = FatTimeText(time);
  row.debug1 = U32Text(firstCluster);
  row.deleted = deleted;
  row.fatDate = date;
  row.fatTime = time;
  return row;
}

void ListNtfsFiles(const ResultsState& results, DetailsList& list, std::uint32_t folderRecord) {
  const TextTable& table = results.tables.PendingEntryTable;
  std::lock_guard lock(results.fileRowsLock);
  // One walk along each row; only the cells it shows are made into texts, each cut as a bounded
  // read of it would be.
  std::array<RowCell, entry_col::kDeleted + 1> cells;
  const std::string folderText = U32Text(folderRecord);
  auto addRow = [&](int r) {
    table.RowCells(r, cells);
    const auto take = [&cells](int column, std::size_t bufferLength) {
      return BoundedCellText(cells[static_cast<std::size_t>(column)].Text(), bufferLength);
    };
    DetailsRow row;
    row.name = take(entry_col::kName, kCellBuffer);
    row.image = RowImage::kFile;
    row.type = FileTypeDescription(row.name, false);
    row.size = take(entry_col::kSize, kCellBuffer);
    // A stamp held as a number below 2^63 has at most 19 digits, which its bounded read keeps
    // whole: it is taken as it is held.
    const RowCell& date = cells[entry_col::kDate];
    const std::int64_t stamp =
        date.form() == RowCell::Form::kNumber && date.magnitude() <= std::uint64_t{INT64_MAX}
            ? static_cast<std::int64_t>(date.magnitude())
            : ReadI64(take(entry_col::kDate, kShortCellBuffer));
    const CalendarTime t = NtfsStampToCalendar(stamp);
    row.date = NtfsDateText(t);
    row.time = NtfsTimeText(t);
    row.debug1 = take(entry_col::kSector, kCellBuffer);
    row.debug2 = folderText;
    row.debug3 = take(entry_col::kSelf, kCellBuffer);
    row.deleted = take(entry_col::kDeleted, kFlagCellBuffer) == "1";
    list.rows.push_back(std::move(row));
  };
  if (folderRecord != kOrphanCluster) {
    const std::span<const int> rows = results.fileRowsByParent.RowsOf(table, folderRecord);
    list.rows.reserve(list.rows.size() + rows.size());
    for (int r : rows) addRow(r);
    return;
  }
  // The catch-all folder also holds the files whose parent is no folder of the tree (its record
  // lost or reused, or a file): without it they would be listed nowhere.
  std::unordered_set<std::uint32_t> folders;
  folders.insert(kNtfsRootKey);
  for (const FolderNode& node : results.folderNodes) folders.insert(node.self);
  folders.erase(kOrphanCluster);
  for (int r :
       results.fileRowsByParent.RowsOutside(table, [&](std::uint32_t p) { return folders.count(p) > 0; }))
    addRow(r);
}

std::vector<DetailsRow> EveryTableFileRow(const ResultsState& results) {
  // The root, every folder of the tree, and the catch-all folder, which lists the rows whose
  // parent is none of them: together, every row once.
  std::unordered_set<std::uint32_t> keys{kNtfsRootKey, kOrphanCluster};
  for (const FolderNode& node : results.folderNodes) keys.insert(node.self);
  DetailsList list;
  for (std::uint32_t key : keys) {
    if (!IsCarvedFolderKey(key)) ListNtfsFiles(results, list, key);
  }
  return std::move(list.rows);
}

void FillFolderList(ResultsState& results, DetailsList& list, TreeItem item) {
  list.Clear();
  AddFolderContents(results, list, item, {});
}

}  // namespace quarrow
