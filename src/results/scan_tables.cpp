#include "results/scan_tables.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

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

// A packed row is its cells one after another, each a form byte and its payload:
//   kEmpty                                  the empty text
//   kNumber, magnitude (LEB128)             a decimal number written without sign or leading zero
//   kNegative, magnitude (LEB128)           "-" and such a number (not "-0")
//   kText, length (LEB128), the bytes       any other text
// Only texts that come back byte for byte are held as numbers, so every cell reads as written.
enum CellForm : std::uint8_t { kEmpty = 0, kNumber = 1, kNegative = 2, kText = 3 };

struct PackedCell {
  CellForm form = kEmpty;
  std::uint64_t magnitude = 0;
  std::string_view text;
  std::size_t begin = 0, end = 0;  // the cell's bytes in the row
};

// Writes value as LEB128 at out; returns the end.
char* PutVarint(char* out, std::uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

// The number a text stands for when writing that number back gives the same text.
std::optional<std::pair<bool, std::uint64_t>> CanonicalNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 20 || (text[0] == '0' && (text.size() > 1 || negative)))
    return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return std::pair{negative, value};
}

// The most bytes a cell takes packed: its form, a ten-byte LEB128 at most, and a text's bytes.
std::size_t PackedBound(const RowCell& cell) {
  return 11 + (cell.form() == RowCell::Form::kText ? cell.text().size() : 0);
}

// Writes a cell at out, which has room for PackedBound of it; returns the end.
char* PutCell(char* out, const RowCell& cell) {
  switch (cell.form()) {
    case RowCell::Form::kEmpty:
      *out++ = static_cast<char>(kEmpty);
      return out;
    case RowCell::Form::kNumber:
    case RowCell::Form::kNegative:
      // "-0" is no number's text: a zero is held as 0 whichever form it was given in.
      *out++ = static_cast<char>(cell.form() == RowCell::Form::kNegative && cell.magnitude() != 0 ? kNegative
                                                                                                  : kNumber);
      return PutVarint(out, cell.magnitude());
    case RowCell::Form::kText:
      break;
  }
  *out++ = static_cast<char>(kText);
  out = PutVarint(out, cell.text().size());
  return std::copy(cell.text().begin(), cell.text().end(), out);
}

// Packs cells into row (emptied first), then `empties` empty cells: room for the most they can
// take is made once and the bytes written straight into it, rather than appended one by one.
void PackCells(std::string& row, std::span<const RowCell> cells, std::size_t empties = 0) {
  std::size_t bound = empties;
  for (const RowCell& cell : cells) bound += PackedBound(cell);
  row.resize(bound);
  char* end = row.data();
  for (const RowCell& cell : cells) end = PutCell(end, cell);
  end = std::fill_n(end, empties, static_cast<char>(kEmpty));
  row.resize(static_cast<std::size_t>(end - row.data()));
}

// Reads a LEB128 value at pos, bounded by the row and by ten bytes.
std::uint64_t GetVarint(std::string_view row, std::size_t& pos) {
  std::uint64_t value = 0;
  for (int shift = 0; pos < row.size() && shift < 70; shift += 7) {
    const auto byte = static_cast<std::uint8_t>(row[pos++]);
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  return value;
}

// The cell that begins at pos of a packed row; pos moves past it. Rows are written only by this
// file, so the forms are trusted, and the row's end bounds the read all the same.
PackedCell NextCell(std::string_view row, std::size_t& pos) {
  PackedCell cell;
  cell.begin = pos;
  cell.form = static_cast<CellForm>(static_cast<std::uint8_t>(row[pos++]));
  if (cell.form == kNumber || cell.form == kNegative) {
    cell.magnitude = GetVarint(row, pos);
  } else if (cell.form == kText) {
    const std::uint64_t length = GetVarint(row, pos);
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(length, row.size() - pos));
    cell.text = row.substr(pos, take);
    pos += take;
  }
  cell.end = pos;
  return cell;
}

// Moves pos past the cell that begins there, its number or text not read.
void SkipCell(std::string_view row, std::size_t& pos) {
  const auto form = static_cast<CellForm>(static_cast<std::uint8_t>(row[pos++]));
  if (form == kNumber || form == kNegative) {
    while (pos < row.size() && (static_cast<std::uint8_t>(row[pos++]) & 0x80) != 0) {
    }
  } else if (form == kText) {
    const std::uint64_t length = GetVarint(row, pos);
    pos += static_cast<std::size_t>(std::min<std::uint64_t>(length, row.size() - pos));
  }
}

// The cell of a packed row at column.
PackedCell FindCell(std::string_view row, int column) {
  std::size_t pos = 0;
  for (int c = 0; c < column && pos < row.size(); ++c) SkipCell(row, pos);
  return pos < row.size() ? NextCell(row, pos) : PackedCell{};
}

// The text of a cell of either kind, held in a row or given to one.
static_assert(static_cast<int>(RowCell::Form::kEmpty) == kEmpty &&
              static_cast<int>(RowCell::Form::kNumber) == kNumber &&
              static_cast<int>(RowCell::Form::kNegative) == kNegative &&
              static_cast<int>(RowCell::Form::kText) == kText);
std::string FormText(CellForm form, std::uint64_t magnitude, std::string_view text) {
  switch (form) {
    case kNumber:
      return std::to_string(magnitude);
    case kNegative:
      return "-" + std::to_string(magnitude);
    case kText:
      return std::string(text);
    default:
      return {};
  }
}

std::string CellText(const PackedCell& cell) {
  return FormText(cell.form, cell.magnitude, cell.text);
}

// Sort key of one cell: numbers compare as numbers without their text being made.
struct SortKey {
  bool number = false;
  bool negative = false;
  std::uint64_t magnitude = 0;
  std::string text;  // cells that are not held as numbers
};

int CompareKeys(const SortKey& a, const SortKey& b) {
  if (a.number && b.number) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    if (a.magnitude == b.magnitude) return 0;
    return (a.magnitude < b.magnitude) != a.negative ? -1 : 1;
  }
  auto text = [](const SortKey& k) {
    if (!k.number) return k.text;
    return (k.negative ? "-" : "") + std::to_string(k.magnitude);
  };
  return CompareCells(text(a), text(b));
}

// Epochs are drawn from one counter for all tables, so a table assigned from another never
// comes back to a stamp an index took from it before.
std::atomic<std::uint64_t> nextEpoch{1};
thread_local std::uint64_t cellReads = 0;

}  // namespace

RowCell::RowCell(std::string_view text) : form_(Form::kText), text_(text) {
  if (text.empty()) {
    form_ = Form::kEmpty;
  } else if (const auto number = CanonicalNumber(text)) {
    form_ = number->first ? Form::kNegative : Form::kNumber;
    magnitude_ = number->second;
  }
}

std::string RowCell::Text() const {
  return FormText(static_cast<CellForm>(form_), magnitude_, text_);
}

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

TextTable::TextTable(const TextTable& other) : headers_(other.headers_) {
  CopyRowsFrom(other);
  NewEpoch();
}

TextTable& TextTable::operator=(const TextTable& other) {
  if (this != &other) {
    headers_ = other.headers_;
    ReleaseRows();
    CopyRowsFrom(other);
  }
  NewEpoch();
  return *this;
}

TextTable::TextTable(TextTable&& other) noexcept
    : headers_(std::move(other.headers_)),
      rows_(std::move(other.rows_)),
      blocks_(std::move(other.blocks_)),
      free_(other.free_),
      freeLeft_(other.freeLeft_),
      held_(other.held_),
      dropped_(other.dropped_) {
  other.ReleaseRows();
  NewEpoch();
  other.NewEpoch();
}

TextTable& TextTable::operator=(TextTable&& other) noexcept {
  if (this != &other) {
    headers_ = std::move(other.headers_);
    rows_ = std::move(other.rows_);
    blocks_ = std::move(other.blocks_);
    free_ = other.free_, freeLeft_ = other.freeLeft_, held_ = other.held_, dropped_ = other.dropped_;
    other.ReleaseRows();
    other.NewEpoch();
  }
  NewEpoch();
  return *this;
}

namespace {

// Rows are cut from blocks of this size; a row of more than a quarter of one gets a block of its
// own, so that a long name does not leave most of a block unused.
constexpr std::size_t kRowBlockBytes = 64 * 1024;

// Room for a row of size bytes that later cells may grow: the next multiple of eight, and slack
// bytes more.
std::size_t RoomFor(std::size_t size, std::size_t slack) {
  return ((size + 7) & ~std::size_t{7}) + slack;
}

}  // namespace

TextTable::Row TextTable::NewRow(std::string_view bytes, std::size_t capacity) {
  capacity = std::max(capacity, bytes.size());
  Row row;
  if (capacity > kRowBlockBytes / 4) {
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity));
    row.data = blocks_.back().get();
  } else {
    if (capacity > freeLeft_) {
      dropped_ += freeLeft_;
      // The block of its own, if any, stays last; the new one is where the next rows go.
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(kRowBlockBytes));
      free_ = blocks_.back().get();
      freeLeft_ = kRowBlockBytes;
    }
    row.data = free_;
    free_ += capacity;
    freeLeft_ -= capacity;
  }
  std::copy(bytes.begin(), bytes.end(), row.data);
  row.size = static_cast<std::uint32_t>(bytes.size());
  row.capacity = static_cast<std::uint32_t>(capacity);
  held_ += capacity;
  return row;
}

void TextTable::CompactIfWasteful() {
  if (dropped_ <= held_ || dropped_ < kRowBlockBytes * 16) return;
  std::deque<Row> old = std::move(rows_);
  std::vector<std::unique_ptr<char[]>> oldBlocks = std::move(blocks_);
  ReleaseRows();
  for (const Row& row : old) rows_.push_back(NewRow(row.View(), row.capacity));
}

void TextTable::CopyRowsFrom(const TextTable& other) {
  for (const Row& row : other.rows_) rows_.push_back(NewRow(row.View(), row.capacity));
}

void TextTable::ReleaseRows() {
  rows_.clear();
  blocks_.clear();
  free_ = nullptr;
  freeLeft_ = 0;
  held_ = dropped_ = 0;
}

void TextTable::DeleteAllRows() {
  Edited();
  ReleaseRows();
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
  std::string& row = Scratch();
  if (!headers_.empty()) {
    const RowCell first(key);
    PackCells(row, std::span<const RowCell>(&first, 1), headers_.size() - 1);
  }
  // A row made from its key alone is filled a cell at a time: room for a few numbers more.
  rows_.insert(rows_.begin() + index, NewRow(row, RoomFor(row.size(), 24)));
  return index;
}

int TextTable::InsertRowCells(int index, std::initializer_list<RowCell> cells, std::size_t growth) {
  Edited();
  index = std::clamp(index, 0, RowCount());
  const std::size_t columns = headers_.size();
  const std::size_t given = std::min(columns, cells.size());
  std::string& row = Scratch();
  PackCells(row, std::span<const RowCell>(cells.begin(), given), columns - given);
  rows_.insert(rows_.begin() + index, NewRow(row, RoomFor(row.size() + growth, 0)));
  return index;
}

void TextTable::SetCell(int row, int column, const RowCell& cell) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
  Edited();
  Row& packed = rows_[static_cast<std::size_t>(row)];
  const std::string_view bytes = packed.View();
  const PackedCell old = FindCell(bytes, column);
  std::string& next = Scratch();
  next.resize(old.begin + PackedBound(cell) + (bytes.size() - old.end));
  char* end = std::copy_n(bytes.data(), old.begin, next.data());
  end = PutCell(end, cell);
  end = std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(old.end), bytes.end(), end);
  next.resize(static_cast<std::size_t>(end - next.data()));
  if (next.size() <= packed.capacity) {
    std::copy(next.begin(), next.end(), packed.data);
    packed.size = static_cast<std::uint32_t>(next.size());
    return;
  }
  // Otherwise the row moves to a larger room, with slack: rows are many and set a few cells
  // each, and the next cells set then fit in place.
  Drop(packed);
  packed = NewRow(next, RoomFor(next.size(), 16));
  CompactIfWasteful();
}

std::string TextTable::Cell(int row, int column) const {
  ++cellReads;
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return {};
  return CellText(FindCell(rows_[static_cast<std::size_t>(row)].View(), column));
}

namespace {

// Whether a cell reads as text; held numbers are canonical, so the text must be the same number
// written the same way.
bool PackedIs(const PackedCell& cell, std::string_view text) {
  switch (cell.form) {
    case kText:
      return cell.text == text;
    case kNumber:
    case kNegative: {
      const auto number = CanonicalNumber(text);
      return number && number->first == (cell.form == kNegative) && number->second == cell.magnitude;
    }
    default:
      return text.empty();
  }
}

}  // namespace

bool TextTable::CellIs(int row, int column, std::string_view text) const {
  ++cellReads;
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return text.empty();
  return PackedIs(FindCell(rows_[static_cast<std::size_t>(row)].View(), column), text);
}

int TextTable::WhichText(int row, int column, std::initializer_list<std::string_view> texts) const {
  ++cellReads;
  const bool inside = row >= 0 && row < RowCount() && column >= 0 && column < ColumnCount();
  const PackedCell cell =
      inside ? FindCell(rows_[static_cast<std::size_t>(row)].View(), column) : PackedCell{};
  int place = 0;
  for (std::string_view text : texts) {
    if (PackedIs(cell, text)) return place;
    ++place;
  }
  return -1;
}

void TextTable::Cells(int row, std::span<std::string> out) const {
  ++cellReads;
  for (std::string& each : out) each.clear();
  if (row < 0 || row >= RowCount()) return;
  const std::string_view packed = rows_[static_cast<std::size_t>(row)].View();
  std::size_t pos = 0;
  const std::size_t n = std::min(out.size(), headers_.size());
  for (std::size_t c = 0; c < n && pos < packed.size(); ++c) out[c] = CellText(NextCell(packed, pos));
}

void TextTable::RowCells(int row, std::span<RowCell> out) const {
  ++cellReads;
  for (RowCell& each : out) each = RowCell();
  if (row < 0 || row >= RowCount()) return;
  const std::string_view packed = rows_[static_cast<std::size_t>(row)].View();
  std::size_t pos = 0;
  const std::size_t n = std::min(out.size(), headers_.size());
  for (std::size_t c = 0; c < n && pos < packed.size(); ++c) {
    const PackedCell cell = NextCell(packed, pos);
    out[c] = RowCell(static_cast<RowCell::Form>(cell.form), cell.magnitude, cell.text);
  }
}

std::uint32_t TextTable::U32(int row, int column) const {
  ++cellReads;
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return 0;
  const PackedCell cell = FindCell(rows_[static_cast<std::size_t>(row)].View(), column);
  switch (cell.form) {
    case kNumber:
    case kNegative: {
      if (cell.magnitude > std::numeric_limits<std::uint32_t>::max())
        return std::numeric_limits<std::uint32_t>::max();
      const auto value = static_cast<std::uint32_t>(cell.magnitude);
      return cell.form == kNegative ? 0u - value : value;
    }
    case kText:
      return ReadU32(cell.text);
    default:
      return 0;
  }
}

std::string TextTable::GetCell(int row, int column, std::size_t bufferLength) const {
  return BoundedCellText(Cell(row, column), bufferLength);
}

std::string BoundedCellText(std::string cell, std::size_t bufferLength) {
  if (bufferLength == 0) return {};
  if (cell.size() < bufferLength) return cell;
  // Names are UTF-8: a cut falls before the character it would split, so the text stays whole.
  std::size_t cut = bufferLength - 1;
  while (cut > 0 && (static_cast<unsigned char>(cell[cut]) & 0xC0) == 0x80) --cut;
  cell.resize(cut);
  return cell;
}

void TextTable::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  Edited();
  Drop(rows_[static_cast<std::size_t>(row)]);
  rows_.erase(rows_.begin() + row);
  CompactIfWasteful();
}

int TextTable::FindRow(std::string_view key) const {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  for (int r = 0; r < RowCount(); ++r) {
    const std::string cell = Cell(r, 0);
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
    if (lo > hi) continue;
    for (int r = lo; r <= hi; ++r) Drop(rows_[static_cast<std::size_t>(r)]);
    rows_.erase(rows_.begin() + lo, rows_.begin() + hi + 1);
  }
  CompactIfWasteful();
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
  std::vector<SortKey> keys(n);
  for (std::size_t i = 0; i < n; ++i) {
    const PackedCell cell = FindCell(rows_[i].View(), column);
    keys[i].number = cell.form == kNumber || cell.form == kNegative;
    keys[i].negative = cell.form == kNegative;
    keys[i].magnitude = cell.magnitude;
    if (!keys[i].number) keys[i].text = CellText(cell);
  }
  auto less = [&keys](std::size_t a, std::size_t b) { return CompareKeys(keys[a], keys[b]) < 0; };
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
  std::deque<Row> sorted;
  for (std::size_t index : order) sorted.push_back(rows_[index]);
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
