#include "results/scan_tables.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <optional>

#include "results/table_numbers.h"

namespace quarrow {
namespace {

const std::vector<std::string> kEntryColumns = {"Name", "sector", "self",  "parent", "date",   "time",
                                                "size", "attr",   "sysID", "Type",   "Deleted"};
const std::vector<std::string> kFileSystemColumns = {
    "Sector",        "SPF",      "SPC",       "Root Sectors", "Root Start", "Reserve Sectors",
    "Cluster0Start", "firstFAT", "secondFAT", "TotalSectors", "PartType"};

// Compares two decimal numbers of any length exactly.
int CompareNumbers(std::string_view a, std::string_view b) {
  auto split = [](std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
      negative = s[0] == '-';
      s.remove_prefix(1);
    }
    while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
    if (s == "0") negative = false;
    return std::pair{negative, s};
  };
  auto [na, ma] = split(a);
  auto [nb, mb] = split(b);
  if (na != nb) return na ? -1 : 1;
  int magnitude = ma.size() != mb.size() ? (ma.size() < mb.size() ? -1 : 1) : ma.compare(mb);
  if (magnitude > 0) magnitude = 1;
  if (magnitude < 0) magnitude = -1;
  return na ? -magnitude : magnitude;
}

// Day number of a date text: "05-JAN-2024" (the system's own form), "2024-01-05" or "01/05/2024".
std::optional<long> ReadDate(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  auto number = [](std::string_view t, int& out) {
    if (t.empty() || t.size() > 4) return false;
    out = 0;
    for (char c : t) {
      if (c < '0' || c > '9') return false;
      out = out * 10 + (c - '0');
    }
    return true;
  };
  int day = 0, month = 0, year = 0;
  auto first = s.find_first_of("-/");
  if (first == std::string_view::npos) return std::nullopt;
  auto second = s.find(s[first], first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  std::string_view p1 = s.substr(0, first), p2 = s.substr(first + 1, second - first - 1),
                   p3 = s.substr(second + 1);
  if (s[first] == '-') {
    std::string upper(p2);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = std::find(kMonths.begin(), kMonths.end(), upper);
    if (it != kMonths.end()) {
      month = static_cast<int>(it - kMonths.begin()) + 1;
      if (!number(p1, day) || !number(p3, year)) return std::nullopt;
    } else if (!number(p1, year) || !number(p2, month) || !number(p3, day)) {
      return std::nullopt;
    }
  } else if (!number(p1, month) || !number(p2, day) || !number(p3, year)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  return static_cast<long>(year) * 372 + (month - 1) * 31 + (day - 1);
}

// Epochs are drawn from one counter for all tables, so a table assigned from another never
// comes back to a stamp an index took from it before.
std::atomic<std::uint64_t> nextEpoch{1};
thread_local std::uint64_t cellReads = 0;

}  // namespace

int CompareCells(std::string_view a, std::string_view b) {
  if (IsDecimalNumber(a) && IsDecimalNumber(b)) return CompareNumbers(a, b);
  auto da = ReadDate(a), db = ReadDate(b);
  if (da && db) return *da < *db ? -1 : (*da > *db ? 1 : 0);
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

TextTable::TextTable(std::vector<std::string> headers) : headers_(std::move(headers)) {
  NewEpoch();
}

TextTable::TextTable(const TextTable& other) : headers_(other.headers_), rows_(other.rows_) {
  NewEpoch();
}

TextTable& TextTable::operator=(const TextTable& other) {
  if (this != &other) {
    headers_ = other.headers_;
    rows_ = other.rows_;
  }
  NewEpoch();
  return *this;
}

TextTable::TextTable(TextTable&& other) noexcept
    : headers_(std::move(other.headers_)), rows_(std::move(other.rows_)) {
  NewEpoch();
  other.NewEpoch();
}

TextTable& TextTable::operator=(TextTable&& other) noexcept {
  if (this != &other) {
    headers_ = std::move(other.headers_);
    rows_ = std::move(other.rows_);
    other.NewEpoch();
  }
  NewEpoch();
  return *this;
}

void TextTable::NewEpoch() {
  stamp_.epoch = nextEpoch.fetch_add(1, std::memory_order_relaxed);
  stamp_.edits = 0;
}

std::uint64_t TextTable::CellReadsOnThisThread() {
  return cellReads;
}

int TextTable::InsertRow(int index, std::string_view key) {
  Edited();
  index = std::clamp(index, 0, RowCount());
  std::vector<std::string> row(headers_.size());
  if (!row.empty()) row[0] = std::string(key);
  rows_.insert(rows_.begin() + index, std::move(row));
  return index;
}

void TextTable::SetCell(int row, int column, std::string_view text) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
  Edited();
  rows_[row][column] = std::string(text);
}

const std::string& TextTable::Cell(int row, int column) const {
  static const std::string empty;
  ++cellReads;
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return empty;
  return rows_[row][column];
}

std::string TextTable::GetCell(int row, int column, std::size_t bufferLength) const {
  const std::string& cell = Cell(row, column);
  if (bufferLength == 0) return {};
  if (cell.size() < bufferLength) return cell;
  // Names are UTF-8: a cut falls before the character it would split, so the text stays whole.
  std::size_t cut = bufferLength - 1;
  while (cut > 0 && (static_cast<unsigned char>(cell[cut]) & 0xC0) == 0x80) --cut;
  return cell.substr(0, cut);
}

void TextTable::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  Edited();
  rows_.erase(rows_.begin() + row);
}

int TextTable::FindRow(std::string_view key) const {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  for (int r = 0; r < RowCount(); ++r) {
    const std::string& cell = Cell(r, 0);
    if (cell.size() != key.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) same = lower(cell[i]) == lower(key[i]);
    if (same) return r;
  }
  return -1;
}

void TextTable::DeleteRows(std::vector<int> rows) {
  Edited();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // Erase contiguous runs from the back so that the indices still to erase stay valid.
  std::size_t i = rows.size();
  while (i > 0) {
    int last = rows[i - 1];
    int first = last;
    --i;
    while (i > 0 && rows[i - 1] == first - 1) first = rows[--i];
    int lo = std::max(first, 0), hi = std::min(last, RowCount() - 1);
    if (lo <= hi) rows_.erase(rows_.begin() + lo, rows_.begin() + hi + 1);
  }
}

void TextTable::Sort(int column) {
  if (column < 0 || column >= ColumnCount() || rows_.size() < 2) return;
  Edited();
  // A bottom-up merge sort of row indices. A column that mixes numbers, dates and text compares
  // pairwise in a way that is not transitive; the merge loops are bounded by the indices alone,
  // so such a column still ends with every row present exactly once, in some order.
  const std::size_t n = rows_.size();
  std::vector<std::size_t> order(n), merged(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  auto less = [this, column](std::size_t a, std::size_t b) {
    return CompareCells(rows_[a][column], rows_[b][column]) < 0;
  };
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      std::size_t i = lo, j = mid, k = lo;
      // The right run wins only when strictly smaller: equal keys keep their order.
      while (i < mid && j < hi) merged[k++] = less(order[j], order[i]) ? order[j++] : order[i++];
      while (i < mid) merged[k++] = order[i++];
      while (j < hi) merged[k++] = order[j++];
    }
    order.swap(merged);
  }
  std::deque<std::vector<std::string>> sorted;
  for (std::size_t index : order) sorted.push_back(std::move(rows_[index]));
  rows_ = std::move(sorted);
}

ScanTables::ScanTables()
    : EntryTable(kEntryColumns),
      PendingEntryTable(kEntryColumns),
      DirectoryTable(
          {"Sector", "Self Cluster", "Parent Cluster", "File System", "Date", "Time", "First Run"}),
      SpareDirectoryTable(
          {"Self Cluster", "Sector", "Parent Cluster", "File System", "Date", "Time", "First Run"}),
      FileSystemTable(kFileSystemColumns),
      IdentifiedFileSystemTable(kFileSystemColumns),
      MftRecordTable({"sector", "mftReference", "vcn", "fsNumber"}),
      MftEntryTable({"name", "Sector", "parentMFT", "selfMFT", "size", "type", "fsNumber", "date",
                     "First Run", "Deleted"}) {}

void ScanTables::ClearAll() {
  for (TextTable* t : {&EntryTable, &PendingEntryTable, &DirectoryTable, &SpareDirectoryTable,
                       &FileSystemTable, &IdentifiedFileSystemTable, &MftRecordTable, &MftEntryTable}) {
    t->DeleteAllRows();
  }
}

}  // namespace quarrow
