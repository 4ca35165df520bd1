#include "results/scan_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "results/table_numbers.h"

namespace quarrow {
namespace {

std::vector<std::string> Column(const TextTable& table, int column) {
  std::vector<std::string> out;
  for (int r = 0; r < table.RowCount(); ++r) out.push_back(table.Cell(r, column));
  return out;
}

TextTable TwoColumns() {
  return TextTable({"key", "value"});
}

TEST(ScanTablesTest, TablesHaveTheirHeadersInOrder) {
  ScanTables t;
  const std::vector<std::string> entry = {"Name", "sector", "self",  "parent", "date",   "time",
                                          "size", "attr",   "sysID", "Type",   "Deleted"};
  EXPECT_EQ(t.EntryTable.Headers(), entry);
  EXPECT_EQ(t.PendingEntryTable.Headers(), entry);
  EXPECT_EQ(t.DirectoryTable.Headers(),
            (std::vector<std::string>{"Sector", "Self Cluster", "Parent Cluster", "File System", "Date",
                                      "Time", "First Run"}));
  // The duplicate filter keys on the self value, so it comes first there.
  EXPECT_EQ(t.SpareDirectoryTable.Headers(),
            (std::vector<std::string>{"Self Cluster", "Sector", "Parent Cluster", "File System", "Date",
                                      "Time", "First Run"}));
  const std::vector<std::string> fs = {
      "Sector",        "SPF",      "SPC",       "Root Sectors", "Root Start", "Reserve Sectors",
      "Cluster0Start", "firstFAT", "secondFAT", "TotalSectors", "PartType"};
  EXPECT_EQ(t.FileSystemTable.Headers(), fs);
  EXPECT_EQ(t.IdentifiedFileSystemTable.Headers(), fs);
  EXPECT_EQ(t.MftRecordTable.Headers(),
            (std::vector<std::string>{"sector", "mftReference", "vcn", "fsNumber"}));
  EXPECT_EQ(t.MftEntryTable.Headers(),
            (std::vector<std::string>{"name", "Sector", "parentMFT", "selfMFT", "size", "type", "fsNumber",
                                      "date", "First Run", "Deleted"}));
  EXPECT_EQ(entry_col::kParent, 3);
  EXPECT_EQ(entry_col::kDeleted, 10);
}

TEST(ScanTablesTest, InsertSetGetDeleteKeepRowOrder) {
  TextTable t = TwoColumns();
  EXPECT_EQ(t.AppendRow("a"), 0);
  EXPECT_EQ(t.AppendRow("c"), 1);
  EXPECT_EQ(t.InsertRow(1, "b"), 1);  // rows from the index on move down
  EXPECT_EQ(t.InsertRow(0, "first"), 0);
  EXPECT_EQ(t.InsertRow(99, "last"), 4);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"first", "a", "b", "c", "last"}));
  EXPECT_EQ(t.GetCell(2, 1), "");  // never set
  t.SetCell(2, 1, "x");
  t.SetCell(2, 1, "y");  // overwrites
  t.SetCell(9, 1, "ignored");
  t.SetCell(0, 7, "ignored");
  EXPECT_EQ(t.GetCell(2, 1), "y");
  EXPECT_EQ(t.GetCell(9, 0), "");
  EXPECT_EQ(t.RowCount(), 5);
  t.DeleteRow(1);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"first", "b", "c", "last"}));
  EXPECT_EQ(t.GetCell(1, 1), "y");  // the cell moved up with its row
  t.DeleteRow(-1);
  t.DeleteRow(4);
  EXPECT_EQ(t.RowCount(), 4);
  t.DeleteRows({3, 0, 3, 17, -2});
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"b", "c"}));
  t.DeleteAllRows();
  EXPECT_EQ(t.RowCount(), 0);
}

TEST(ScanTablesTest, BoundedReadsCutLongCells) {
  TextTable t = TwoColumns();
  t.AppendRow(std::string(300, 'n'));
  t.SetCell(0, 1, "FOLDER-and-a-long-tail-of-text");
  EXPECT_EQ(t.GetCell(0, 0).size(), 254u);  // names and numbers: 255-character buffer
  EXPECT_EQ(t.GetCell(0, 0, kLogCellBuffer).size(), 255u);
  EXPECT_EQ(t.GetCell(0, 1, kShortCellBuffer), "FOLDER-and-a-long-t");
  EXPECT_EQ(t.GetCell(0, 1, kFlagCellBuffer), "FOLDER-an");
  EXPECT_EQ(t.GetCell(0, 1, 0), "");
  EXPECT_EQ(t.Cell(0, 0).size(), 300u);  // the cell itself is whole
  // A UTF-8 name is cut before the character the bound would split, never through it.
  std::string name(253, 'a');
  name += "\xD0\x96\xD0\x96";  // two Cyrillic letters across bytes 253-256
  t.SetCell(0, 0, name);
  EXPECT_EQ(t.GetCell(0, 0), std::string(253, 'a'));
  t.SetCell(0, 0, std::string(252, 'a') + "\xD0\x96\xD0\x96");
  EXPECT_EQ(t.GetCell(0, 0), std::string(252, 'a') + "\xD0\x96");
}

TEST(ScanTablesTest, FindMatchesWholeColumnZeroIgnoringCase) {
  TextTable t = TwoColumns();
  t.AppendRow("Alpha");
  t.AppendRow("12");
  t.AppendRow("ALPHA");
  t.SetCell(1, 1, "alpha");
  EXPECT_EQ(t.FindRow("alpha"), 0);  // first match from row 0
  EXPECT_EQ(t.FindRow("aLpHa"), 0);
  EXPECT_EQ(t.FindRow("12"), 1);
  EXPECT_EQ(t.FindRow("1"), -1);  // whole text only
  EXPECT_EQ(t.FindRow("Alphabet"), -1);
  EXPECT_EQ(t.FindRow("Alph"), -1);
  t.DeleteRow(0);
  EXPECT_EQ(t.FindRow("alpha"), 1);  // column 1 is never searched
}

TEST(ScanTablesTest, SortIsNumericForNumbersAndMovesWholeRows) {
  TextTable t = TwoColumns();
  for (const char* key : {"268435455", "10", "9", "100", "0", "4294967295", "2"}) {
    int r = t.AppendRow(key);
    t.SetCell(r, 1, std::string("v") + key);
  }
  t.Sort(0);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"0", "2", "9", "10", "100", "268435455", "4294967295"}));
  for (int r = 0; r < t.RowCount(); ++r) EXPECT_EQ(t.Cell(r, 1), "v" + t.Cell(r, 0));
}

TEST(ScanTablesTest, SortIsStableForEqualKeys) {
  TextTable t = TwoColumns();
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"7", "a"}, {"3", "b"}, {"7", "c"}, {"3", "d"}, {"07", "e"}, {"3", "f"}, {"7", "g"}};
  for (const auto& [key, tag] : rows) t.SetCell(t.AppendRow(key), 1, tag);
  t.Sort(0);
  EXPECT_EQ(Column(t, 1), (std::vector<std::string>{"b", "d", "f", "a", "c", "e", "g"}));
}

TEST(ScanTablesTest, SortComparesDatesThenText) {
  TextTable t = TwoColumns();
  // As text "01-FEB-2024" < "05-JAN-2024" < "31-DEC-2023"; as dates the order is reversed.
  for (const char* key : {"01-FEB-2024", "05-JAN-2024", "31-DEC-2023"}) t.AppendRow(key);
  t.Sort(0);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"31-DEC-2023", "05-JAN-2024", "01-FEB-2024"}));

  TextTable words = TwoColumns();
  for (const char* key : {"b", "B", "a", "ab"}) words.AppendRow(key);
  words.Sort(0);
  EXPECT_EQ(Column(words, 0), (std::vector<std::string>{"B", "a", "ab", "b"}));
}

TEST(ScanTablesTest, SortOfMixedColumnKeepsEveryRow) {
  // Numbers, dates and text compare pairwise in a way that is not transitive ("9" < "10" as
  // numbers, "10" < "1a" < "9" as text); every row must survive the sort.
  TextTable t = TwoColumns();
  std::vector<std::string> keys;
  for (int i = 0; i < 200; ++i) {
    std::string key =
        i % 3 == 0 ? std::to_string(i) : (i % 3 == 1 ? std::to_string(i) + "a" : "x" + std::to_string(i));
    keys.push_back(key);
    t.AppendRow(key);
  }
  t.Sort(0);
  std::vector<std::string> after = Column(t, 0);
  std::sort(after.begin(), after.end());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(after, keys);
}

TEST(ScanTablesTest, SortOfEmptyOrOneRowOrBadColumnChangesNothing) {
  TextTable t = TwoColumns();
  t.Sort(0);
  EXPECT_EQ(t.RowCount(), 0);
  t.AppendRow("5");
  t.SetCell(0, 1, "x");
  t.Sort(1);
  t.Sort(7);
  EXPECT_EQ(t.Cell(0, 0), "5");
  EXPECT_EQ(t.Cell(0, 1), "x");
}

// Rows are kept packed, with plain decimal numbers held as numbers: every cell must still read
// back byte for byte, whatever text was written, and next to cells of every other form.
// Texts of every form a cell can hold: empty, numbers held packed (up to the largest), numbers
// that must stay texts (leading zeros, signs, too large), and other texts.
const std::vector<std::string>& CellTexts() {
  static const std::vector<std::string> texts = {"",
                                                 "0",
                                                 "1",
                                                 "7",
                                                 "00",
                                                 "007",
                                                 "-0",
                                                 "-1",
                                                 "-007",
                                                 "+5",
                                                 " 5",
                                                 "4294967295",
                                                 "4294967296",
                                                 "18446744073709551615",
                                                 "18446744073709551616",
                                                 "-9223372036854775808",
                                                 "-18446744073709551616",
                                                 "125911584000000000",
                                                 "12a",
                                                 "-",
                                                 "FOLDER",
                                                 "Caf\xC3\xA9.txt",
                                                 std::string(300, 'n')};
  return texts;
}

TEST(ScanTablesTest, EveryTextReadsBackAsWrittenNextToEveryOtherForm) {
  const std::vector<std::string>& texts = CellTexts();
  for (const std::string& before : texts) {
    for (const std::string& text : texts) {
      TextTable t({"a", "b", "c"});
      const int row = t.AppendRow(before);
      t.SetCell(row, 2, before);
      t.SetCell(row, 1, "999");
      t.SetCell(row, 1, text);  // overwritten, so a cell of another size sits between the others
      EXPECT_EQ(t.Cell(row, 1), text) << "after \"" << before << "\"";
      EXPECT_EQ(t.Cell(row, 0), before) << "before \"" << text << "\"";
      EXPECT_EQ(t.Cell(row, 2), before) << "after \"" << text << "\"";
      EXPECT_EQ(t.U32(row, 1), ReadU32(text)) << "\"" << text << "\"";
    }
  }
}

// A row given whole, the whole-row read and the comparison without a text must agree with the
// cell-by-cell forms on every kind of text, numbers held packed included.
TEST(ScanTablesTest, WholeRowsAndComparisonsAgreeWithSingleCells) {
  const std::vector<std::string>& texts = CellTexts();
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      TextTable byCells({"a", "b", "c", "d"});
      byCells.AppendRow("first");
      byCells.InsertRowCells(0, {a, b, a});  // the fourth cell not given: empty
      TextTable bySet({"a", "b", "c", "d"});
      bySet.AppendRow("first");
      const int row = bySet.InsertRow(0, a);
      bySet.SetCell(row, 1, b);
      bySet.SetCell(row, 2, a);
      std::array<std::string, 4> whole;
      byCells.Cells(0, whole);
      // A row copied as it is held into another table reads the same there.
      std::array<RowCell, 4> held;
      byCells.RowCells(0, held);
      TextTable copied({"a", "b", "c", "d"});
      copied.AppendRowCells({held[0], held[1], held[2], held[3]});
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(byCells.Cell(0, c), bySet.Cell(0, c)) << a << " | " << b << " column " << c;
        EXPECT_EQ(whole[static_cast<std::size_t>(c)], bySet.Cell(0, c)) << a << " | " << b << " column " << c;
        EXPECT_EQ(copied.Cell(0, c), bySet.Cell(0, c)) << a << " | " << b << " column " << c;
        EXPECT_EQ(held[static_cast<std::size_t>(c)].Text(), bySet.Cell(0, c))
            << a << " | " << b << " column " << c;
      }
      EXPECT_EQ(byCells.Cell(1, 0), "first");
      // CellIs says what comparing the cell's text says, for every other text too.
      for (const std::string& probe : texts) {
        EXPECT_EQ(byCells.CellIs(0, 1, probe), b == probe) << "\"" << b << "\" against \"" << probe << "\"";
        EXPECT_EQ(byCells.WhichText(0, 1, {"\x01none", probe, b}), b == probe ? 1 : 2) << b << " | " << probe;
      }
    }
  }
  // A cell given as a number reads as its decimal text, and as that text given as a text does.
  const auto asNumber = [](auto value, std::string text) {
    TextTable byNumber({"n", "m"}), byText({"n", "m"});
    byNumber.AppendRowCells({value, "after"});
    byText.AppendRowCells({text, "after"});
    EXPECT_EQ(byNumber.Cell(0, 0), text);
    EXPECT_EQ(byNumber.Cell(0, 1), "after");
    EXPECT_EQ(byNumber.U32(0, 0), byText.U32(0, 0)) << text;
    EXPECT_TRUE(byNumber.CellIs(0, 0, text)) << text;
    EXPECT_EQ(byNumber.GetCell(0, 0, 3), byText.GetCell(0, 0, 3)) << text;
  };
  asNumber(0, "0");
  asNumber(std::uint8_t{200}, "200");
  asNumber(std::uint32_t{4294967295u}, "4294967295");
  asNumber(std::uint64_t{18446744073709551615u}, "18446744073709551615");
  asNumber(-1, "-1");
  asNumber(std::int16_t{-300}, "-300");
  asNumber(std::numeric_limits<std::int64_t>::min(), "-9223372036854775808");
  asNumber(std::int64_t{133536836960000000}, "133536836960000000");

  TextTable t({"a", "b"});
  t.AppendRowCells({"x", "y", "extra cells are ignored"});
  EXPECT_EQ(t.Cell(0, 1), "y");
  EXPECT_TRUE(t.CellIs(5, 0, ""));  // outside the table: the empty text, as Cell reads it
  EXPECT_FALSE(t.CellIs(5, 0, "x"));
  EXPECT_EQ(t.WhichText(5, 0, {"x", ""}), 1);
  EXPECT_EQ(t.WhichText(0, 0, {"y", "z"}), -1);
  const TextTable::Stamp before = t.CurrentStamp();
  t.AppendRowCells({"z"});
  EXPECT_NE(t.CurrentStamp(), before);  // an index over the rows must know it is stale
  std::array<std::string, 2> outside{"left", "over"};
  t.Cells(9, outside);
  EXPECT_EQ(outside, (std::array<std::string, 2>{"", ""}));
}

// Sorting compares held numbers without their text; the order must be the one the texts give.
// Rows set larger, set back, deleted and copied keep every cell, whatever block of the table
// they end up in, and the room a table holds follows its live rows rather than its history.
TEST(ScanTablesTest, RowsKeepTheirCellsThroughGrowthDeletionCopyAndMove) {
  TextTable t({"name", "n", "note"});
  const int rows = 20000;
  const auto noteOf = [](int r) { return std::string(150 + r % 100, static_cast<char>('a' + r % 26)); };
  for (int r = 0; r < rows; ++r) t.AppendRowCells({"row" + std::to_string(r), r});
  for (int r = 0; r < rows; ++r) t.SetCell(r, 2, noteOf(r));  // each row moves to a larger room
  const std::string huge(40000, 'h');                         // more than a block of rows holds
  t.SetCell(7, 0, huge);
  for (int r = 0; r < rows; r += 2) t.SetCell(r, 2, "short");  // fits where the row is
  // Every other row and then all but the last thousand: the room they held is given up.
  std::vector<int> odd;
  for (int r = 1; r < rows; r += 2) odd.push_back(r);
  t.DeleteRows(odd);
  std::vector<int> front;
  for (int r = 0; r < rows / 2 - 1000; ++r) front.push_back(r);
  t.DeleteRows(front);
  ASSERT_EQ(t.RowCount(), 1000);
  const auto check = [&](const TextTable& table, const std::string& what) {
    for (int i = 0; i < 1000; ++i) {
      const int r = rows - 2000 + 2 * i;
      ASSERT_EQ(table.Cell(i, 0), "row" + std::to_string(r)) << what;
      ASSERT_EQ(table.U32(i, 1), static_cast<std::uint32_t>(r)) << what;
      ASSERT_EQ(table.Cell(i, 2), "short") << what;
    }
  };
  check(t, "after the deletions");
  // What the live rows hold, and not the 20,000 rows of up to 250 bytes the table once held.
  EXPECT_LT(t.ReservedBytes(), std::size_t{1} << 20);

  TextTable copy(t);
  check(copy, "a copy");
  copy.SetCell(0, 2, "changed in the copy");
  EXPECT_EQ(t.Cell(0, 2), "short");
  TextTable moved(std::move(copy));
  EXPECT_EQ(moved.Cell(0, 2), "changed in the copy");
  EXPECT_EQ(copy.RowCount(), 0);  // NOLINT(bugprone-use-after-move): its rows went with it
  TextTable assigned({"x"});
  assigned = t;
  check(assigned, "an assigned copy");
  assigned.Sort(1);
  EXPECT_EQ(assigned.Cell(999, 0), "row" + std::to_string(rows - 2));

  TextTable wide({"a", "b"});
  wide.AppendRow("k");
  wide.SetCell(0, 1, huge);
  wide.AppendRowCells({huge, "after"});
  EXPECT_EQ(wide.Cell(0, 1), huge);
  EXPECT_EQ(wide.Cell(1, 0), huge);
  EXPECT_EQ(wide.Cell(1, 1), "after");
}

// A row made with room for its growth takes a number set later in place of its 0 where it is:
// the table asks for no more blocks. Made without that room, the rows move.
TEST(ScanTablesTest, RowsMadeWithRoomToGrowTakeLaterNumbersInPlace) {
  constexpr int kRows = 4000;
  // Rows of 24 bytes, a whole number of the eights rows are cut in, so that none has room to spare.
  const auto name = [](int r) {
    std::string digits = std::to_string(100000000 + r);
    return "IMG_" + digits + ".JPG";
  };
  const auto fill = [&name](std::size_t growth) {
    TextTable t({"Name", "sector", "self"});
    for (int r = 0; r < kRows; ++r) t.AppendRowCells({name(r), 1000 + r, 0}, growth);
    const std::size_t before = t.ReservedBytes();
    for (int r = 0; r < kRows; ++r) t.SetCell(r, 2, std::to_string(4000000000u - static_cast<unsigned>(r)));
    EXPECT_EQ(t.Cell(kRows - 1, 2), std::to_string(4000000000u - (kRows - 1)));
    EXPECT_EQ(t.Cell(kRows - 1, 0), name(kRows - 1));
    EXPECT_EQ(t.Cell(kRows - 1, 1), std::to_string(1000 + kRows - 1));
    return t.ReservedBytes() - before;
  };
  EXPECT_EQ(fill(4), 0u);
  EXPECT_GT(fill(0), 0u);
}

TEST(ScanTablesTest, SortOfHeldNumbersMatchesTheTextOrder) {
  const std::vector<std::string> keys = {
      "268435455", "9", "-1", "0", "+3", "-20", "007", "18446744073709551615", "4294967296", "-3", "12"};
  TextTable t({"k"});
  for (const std::string& k : keys) t.AppendRow(k);
  t.Sort(0);
  std::vector<std::string> expected = keys;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const std::string& a, const std::string& b) { return CompareCells(a, b) < 0; });
  EXPECT_EQ(Column(t, 0), expected);
}

TEST(TableNumbersTest, UnsignedReadsKeepValuesAboveTheSignedRange) {
  EXPECT_EQ(ReadU32("4294967295"), 4294967295u);
  EXPECT_EQ(ReadU32("3000000000"), 3000000000u);
  EXPECT_EQ(ReadU32("2147483648"), 2147483648u);
  EXPECT_EQ(ReadU32("268435455"), 268435455u);
  EXPECT_EQ(ReadU32("-1"), 4294967295u);  // "%d" of the same bits
  EXPECT_EQ(ReadU32("99999999999"), 4294967295u);
  EXPECT_EQ(ReadU32(U32Text(4000000000u)), 4000000000u);
  EXPECT_EQ(ReadU32(""), 0u);
  EXPECT_EQ(ReadU32("FOLDER"), 0u);
  EXPECT_EQ(ReadU32("  42abc"), 42u);
}

TEST(TableNumbersTest, SaturatingAndSixtyFourBitReads) {
  EXPECT_EQ(ReadI32Saturating("4294967295"), 2147483647);
  EXPECT_EQ(ReadI32Saturating("-1"), -1);
  EXPECT_EQ(ReadI32Saturating("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(ReadI32Saturating("x"), 0);
  EXPECT_EQ(ReadI64("133536836960000000"), 133536836960000000);
  EXPECT_EQ(ReadI64("-5"), -5);
  EXPECT_EQ(ReadI64("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(I32Text(-1), "-1");
  EXPECT_EQ(U32Text(static_cast<std::uint32_t>(-1)), "4294967295");
  EXPECT_TRUE(IsDecimalNumber("-12"));
  EXPECT_FALSE(IsDecimalNumber(""));
  EXPECT_FALSE(IsDecimalNumber("-"));
  EXPECT_FALSE(IsDecimalNumber("1 "));
}

}  // namespace
}  // namespace quarrow
