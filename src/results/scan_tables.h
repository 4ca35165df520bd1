#pragma once
// The scan tables: ordered in-memory text tables that carry all scan state between stages.
// Every cell reads as text; numbers are decimal text (see table_numbers.h). A row is kept packed:
// a cell whose text is a plain decimal number is held as that number and its text is made again
// when it is read, so a card's worth of file rows costs tens of bytes a row, not hundreds.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quarrow {

// Buffer lengths of the bounded reads: a read returns at most length - 1 characters.
inline constexpr std::size_t kCellBuffer = 255;      // names and numbers
inline constexpr std::size_t kLogCellBuffer = 256;   // the scan-log writer
inline constexpr std::size_t kShortCellBuffer = 20;  // "Type", "date" and "time" cells
inline constexpr std::size_t kFlagCellBuffer = 10;   // "Deleted" cells

inline constexpr std::uint32_t kOrphanCluster = 268435455;  // 0x0FFFFFFF
inline constexpr std::string_view kMiscFolderName = "QRW_Miscellaneous";

// One cell of a row given whole: a text, or a number that is held as it would be held from its
// decimal text, without that text being made and read back. A text is sorted into number or
// text once, when the cell is made.
class RowCell {
 public:
  RowCell() = default;             // the empty text
  RowCell(std::string_view text);  // NOLINT(google-explicit-constructor): rows are lists of texts
  RowCell(const std::string& text) : RowCell(std::string_view(text)) {}  // NOLINT
  RowCell(const char* text) : RowCell(std::string_view(text)) {}         // NOLINT
  template <typename Number>
  requires(std::is_integral_v<Number> && !std::is_same_v<Number, bool> && !std::is_same_v<Number, char>)
      RowCell(Number value)  // NOLINT
      : form_(value < 0 ? Form::kNegative : Form::kNumber),
        magnitude_(value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value)) {}

  enum class Form : std::uint8_t { kEmpty, kNumber, kNegative, kText };
  Form form() const { return form_; }
  std::uint64_t magnitude() const { return magnitude_; }
  std::string_view text() const { return text_; }
  // The cell's text, as the table would read it.
  std::string Text() const;

 private:
  friend class TextTable;
  RowCell(Form form, std::uint64_t magnitude, std::string_view text)
      : form_(form), magnitude_(magnitude), text_(text) {}

  Form form_ = Form::kEmpty;
  std::uint64_t magnitude_ = 0;
  std::string_view text_;
};

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers);
  TextTable(const TextTable& other);
  TextTable& operator=(const TextTable& other);
  TextTable(TextTable&& other) noexcept;
  TextTable& operator=(TextTable&& other) noexcept;

  const std::vector<std::string>& Headers() const { return headers_; }
  int ColumnCount() const { return static_cast<int>(headers_.size()); }
  int RowCount() const { return static_cast<int>(rows_.size()); }

  // Places a row whose column 0 is key at index (clamped to 0..count); returns its index.
  int InsertRow(int index, std::string_view key);
  // Appends a row; returns its index.
  int AppendRow(std::string_view key) { return InsertRow(RowCount(), key); }
  // Places a row whose cells are given in column order (those not given are empty, extra ones are
  // ignored), packed in one go: what a stage that knows a whole row uses instead of a key and a
  // SetCell per column. Returns its index.
  // A cell may be given as a number: it reads as the number's decimal text. growth: bytes the
  // row's cells are to grow by later (a number set in place of a 0), kept free behind it so that
  // those SetCells need not move the row.
  int InsertRowCells(int index, std::initializer_list<RowCell> cells, std::size_t growth = 0);
  int AppendRowCells(std::initializer_list<RowCell> cells, std::size_t growth = 0) {
    return InsertRowCells(RowCount(), cells, growth);
  }
  // Overwrites a cell; ignored for a row or column that does not exist. A number given as a
  // number is held as its decimal text would be.
  void SetCell(int row, int column, const RowCell& cell);
  // Reads a cell through a buffer of bufferLength bytes: at most bufferLength - 1 come back, cut
  // before a UTF-8 character rather than through it. A cell never set, or outside the table,
  // reads as the empty text.
  std::string GetCell(int row, int column, std::size_t bufferLength = kCellBuffer) const;
  // The whole cell, for callers that need no bound (sorting, the tests).
  std::string Cell(int row, int column) const;
  // ReadU32 of the cell, taken from the number it holds without making its text: the reading of
  // parent and self columns by code that walks every row.
  std::uint32_t U32(int row, int column) const;
  // Whether the cell reads as text, told without making the cell's text; one read.
  bool CellIs(int row, int column, std::string_view text) const;
  // The place in texts of the first one the cell reads as, -1 for none; one read. Sorts a row by
  // a column of a few known texts (a type, a mark) in one walk.
  int WhichText(int row, int column, std::initializer_list<std::string_view> texts) const;
  // The first out.size() cells of a row, read in one walk along it: the listing of a file row
  // takes most of its columns, and each Cell walks the row from its start. One read, as one walk.
  void Cells(int row, std::span<std::string> out) const;
  // The same cells as they are held: numbers as numbers, texts as views of the table's own bytes
  // that last until the table next changes. A row goes into another table this way without its
  // texts being made and its numbers read back from them. One read.
  void RowCells(int row, std::span<RowCell> out) const;
  void DeleteRow(int row);
  // Deletes the rows whose indices are listed (any order, duplicates ignored) in one pass, so
  // that consuming many rows of a large table does not move its tail once per row.
  void DeleteRows(std::vector<int> rows);
  void DeleteAllRows();
  // First row whose column 0 equals key, letter case not significant; -1 when none.
  int FindRow(std::string_view key) const;
  // Sorts whole rows ascending by a column: numbers when both cells are numbers, else dates
  // when both read as dates, else text. Rows with equal keys keep their order.
  void Sort(int column);

  // Changes whenever the rows change (a row inserted, deleted or sorted, a cell set, the table
  // assigned), and is never the same for two states of one table: an index built over the rows
  // keeps the stamp it was built at and knows from it when it is stale.
  struct Stamp {
    std::uint64_t epoch = 0;
    std::uint64_t edits = 0;
    bool operator==(const Stamp&) const = default;
  };
  Stamp CurrentStamp() const { return stamp_; }

  // Cells read on the calling thread so far, by every table (each GetCell, Cell, U32, CellIs or
  // Cells is one read):
  // lets a test bound how much of a table a walk reads, without timing it.
  static std::uint64_t CellReadsOnThisThread();
  // The bytes the table keeps for its rows' cells: what its live rows hold, and no more than as
  // much again given up by rows deleted or moved (and less than that below a few blocks).
  std::size_t ReservedBytes() const { return held_ + dropped_ + freeLeft_; }

 private:
  void Edited() { ++stamp_.edits; }
  void NewEpoch();

  // A packed row (see scan_tables.cpp for the cell forms): its bytes lie in the table's blocks,
  // with room for capacity of them. Sixteen bytes a row here and the row's own bytes there, where
  // a string each cost a header, a heap block and the allocator's rounding: a card holds rows by
  // the hundred thousand.
  struct Row {
    char* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t capacity = 0;
    std::string_view View() const { return {data, size}; }
  };
  // A row holding bytes, with room for at least capacity of them.
  Row NewRow(std::string_view bytes, std::size_t capacity);
  // The row's room is given up (the row was deleted or moved to a larger room).
  void Drop(const Row& row) { held_ -= row.capacity, dropped_ += row.capacity; }
  // Copies the live rows into new blocks once more room is given up than held, so that a table
  // whose rows are set, deleted and added again does not grow without bound.
  void CompactIfWasteful();
  void CopyRowsFrom(const TextTable& other);
  void ReleaseRows();

  std::vector<std::string> headers_;
  // A deque: the tree builder consumes runs of rows mostly near the front of a large table, and
  // a deque erases them by moving the shorter side.
  std::deque<Row> rows_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // the unused end of the last block
  std::size_t freeLeft_ = 0;
  std::size_t held_ = 0;     // room of the live rows
  std::size_t dropped_ = 0;  // room given up, and block ends left unused
  Stamp stamp_;
  // The bytes of a row being made, kept so that making a row allocates nothing; the table's own,
  // never copied. (One thread_local buffer for all tables made the Windows build crash now and
  // then as a worker thread ended, freeing a corrupted pointer among the thread-local destructors
  // of its winpthreads runtime.)
  std::string scratch_;
  std::string& Scratch() {
    scratch_.clear();
    return scratch_;
  }
};

// Column indices of the folder and file tables.
namespace entry_col {
inline constexpr int kName = 0, kSector = 1, kSelf = 2, kParent = 3, kDate = 4, kTime = 5, kSize = 6,
                     kAttr = 7, kSysId = 8, kType = 9, kDeleted = 10;
}

struct ScanTables {
  ScanTables();
  TextTable EntryTable;
  TextTable PendingEntryTable;
  TextTable DirectoryTable;
  TextTable SpareDirectoryTable;
  TextTable FileSystemTable;
  TextTable IdentifiedFileSystemTable;
  TextTable MftRecordTable;
  TextTable MftEntryTable;

  void ClearAll();
};

// A cell's text as a read through a buffer of bufferLength bytes gives it (see GetCell).
std::string BoundedCellText(std::string cell, std::size_t bufferLength);

// Compares two cells the way the table sort does: <0, 0 or >0.
int CompareCells(std::string_view a, std::string_view b);

}  // namespace quarrow
