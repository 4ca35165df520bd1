#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "scanlog/scan_log_format.h"
#include "scanlog/scan_log_rows.h"

namespace quarrow {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;

// Twelve distinct values, so that two swapped fields show.
VolumeGeometry Geometry(std::uint32_t b) {
  return {b, b + 1, b + 2, b + 3, b + 4, b + 5, b + 6, b + 7, b + 8, b + 9, b + 10, b + 11};
}

ScanLog FatLog() {
  ScanLog log{"Kingston DT", 2,       3,  3, 1, "FAT32", "Advance Search", 2048, 4196351, Geometry(100),
              Geometry(200), "FAT32", {}, {}};
  log.folders = {
      FolderRecordFromNode({.name = "", .self = 3, .date = 0x5A21, .time = 0x6C00, .deleted = 1}),
      FolderRecordFromNode({.name = "DCIM", .self = 4000000000u, .parent = 3, .date = -1, .time = 7})};
  return log;
}

TextTable Table(TextTable table, const std::vector<Row>& rows) {
  for (const Row& cells : rows) {
    const int row = table.AppendRow(cells[0]);
    for (int c = 1; c < table.ColumnCount(); ++c) table.SetCell(row, c, cells[c]);
  }
  return table;
}

// The file rows an NTFS scan leaves, the second with an empty "Deleted" cell.
const std::vector<Row> kFileRows = {
    {"song1.mp3", "3000000000", "70", "64", "133000000000000001", "", "4294967295", "", "", "FILE", "1"},
    {"a.txt", "2147483648", "71", "5", "-5", "", "0", "", "", "FILE", ""}};

ScanLog NtfsLog() {
  ScanLog log{"Generic SD",  1,      0,  0, 0, "NTFS", "Standard Search", 63, 7744511, Geometry(300),
              Geometry(400), "NTFS", {}, {}};
  log.folders = {{.name = "Music", .self = 64, .parent = 5, .date = 133000000000000000}};
  const TextTable rows = Table(ScanTables().PendingEntryTable, kFileRows);
  for (int r = 0; r < rows.RowCount(); ++r) log.files.push_back(FileRecordFromRow(rows, r));
  return log;
}

struct Field {
  std::size_t offset;
  int width;  // 1, 4 or 8 bytes; 0 for a text
  std::int64_t value;
  std::string_view text = {};
};

void ExpectLayout(const Bytes& bytes, std::size_t size, const std::vector<Field>& fields) {
  ASSERT_EQ(bytes.size(), size);
  EXPECT_TRUE(BytesEqual(bytes, 0, "QRWWIN7SR2009"));
  for (const Field& f : fields) {
    const std::int64_t got = f.width == 1   ? Byte(bytes, f.offset)
                             : f.width == 4 ? Le32(bytes, f.offset)
                                            : static_cast<std::int64_t>(Le64(bytes, f.offset));
    EXPECT_TRUE(f.width == 0 ? BytesEqual(bytes, f.offset, f.text) : got == f.value) << "at " << f.offset;
  }
}

void ExpectRows(const TextTable& table, const std::vector<Row>& rows) {
  ASSERT_EQ(table.RowCount(), static_cast<int>(rows.size()));
  for (int r = 0; r < table.RowCount(); ++r) {
    for (int c = 0; c < table.ColumnCount(); ++c) EXPECT_EQ(table.Cell(r, c), rows[r][c]) << r << "," << c;
  }
}

TEST(ScanLogFormatTest, FatLogLayoutRoundTripAndFolderRows) {
  ScanLog log = FatLog();
  log.files = NtfsLog().files;  // a FAT log has no file section, whatever the struct holds
  const Bytes bytes = EncodeScanLog(log);
  // clang-format off
  ExpectLayout(bytes, 237, {
      {13, 4, 11}, {17, 0, 0, "Kingston DT"}, {28, 1, 2}, {29, 1, 3}, {30, 1, 3}, {31, 1, 1},
      {32, 1, 5}, {33, 0, 0, "FAT32"}, {38, 1, 14}, {39, 0, 0, "Advance Search"}, {53, 8, 2048},
      {61, 8, 4196351}, {69, 4, 100}, {113, 4, 111}, {117, 4, 200}, {149, 4, 208}, {161, 4, 211},
      {165, 1, 5}, {166, 0, 0, "FAT32"}, {171, 4, 2},
      {175, 4, 25}, {179, 4, 3}, {183, 4, 0}, {187, 8, 0x5A21}, {195, 8, 0x6C00}, {203, 1, 1},  // empty name
      {204, 4, 29}, {208, 0, 0, "DCIM"}, {212, 4, 4000000000}, {216, 4, 3}, {220, 8, -1}, {228, 8, 7},
      {236, 1, 0}});
  // clang-format on
  const std::optional<ScanLog> loaded = DecodeScanLog(bytes);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, FatLog());
  // A loaded folder is never shown deleted, whatever its record says.
  TextTable entries = ScanTables().EntryTable;
  for (const auto& folder : loaded->folders) InsertFolderRow(entries, entries.RowCount(), folder);
  ExpectRows(entries, {{"", "", "3", "0", "23073", "27648", "0", "", "", "FOLDER", ""},
                       {"DCIM", "", "4000000000", "3", "-1", "7", "0", "", "", "FOLDER", ""}});
}

TEST(ScanLogFormatTest, NtfsLogLayoutRoundTripAndFileRows) {
  const Bytes bytes = EncodeScanLog(NtfsLog());
  // clang-format off
  ExpectLayout(bytes, 289, {
      {13, 4, 10}, {17, 0, 0, "Generic SD"}, {27, 1, 1}, {31, 1, 4}, {32, 0, 0, "NTFS"}, {36, 1, 15},
      {37, 0, 0, "Standard Search"}, {52, 8, 63}, {60, 8, 7744511}, {68, 4, 300}, {112, 4, 311},
      {116, 4, 400}, {148, 4, 408}, {160, 4, 411}, {164, 1, 4}, {165, 0, 0, "NTFS"}, {169, 4, 1},
      {173, 4, 30}, {177, 0, 0, "Music"}, {182, 4, 64}, {186, 4, 5}, {190, 8, 133000000000000000},
      {207, 4, 2}, {211, 4, 9}, {215, 0, 0, "song1.mp3"}, {224, 4, 3000000000}, {228, 4, 70},
      {232, 4, 64}, {236, 8, 133000000000000001}, {244, 4, 4294967295}, {248, 4, 1}, {252, 4, 5},
      {256, 0, 0, "a.txt"}, {261, 4, 2147483648}, {273, 8, -5}, {281, 4, 0}, {285, 4, 0}});
  // clang-format on
  const std::optional<ScanLog> loaded = DecodeScanLog(bytes);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, NtfsLog());
  // Values above 2147483647 come back whole; the empty "Deleted" cell was saved as 0 and loads as "0".
  TextTable rows = ScanTables().PendingEntryTable;
  for (const auto& file : loaded->files) InsertFileRow(rows, rows.RowCount(), file);
  std::vector<Row> want = kFileRows;
  want[1][entry_col::kDeleted] = "0";
  ExpectRows(rows, want);

  ScanLog empty = NtfsLog();  // an NTFS log always has its file section
  empty.files.clear();
  const Bytes noFiles = EncodeScanLog(empty);
  ExpectLayout(noFiles, 211, {{207, 4, 0}});
  EXPECT_EQ(DecodeScanLog(noFiles), empty);
}

TEST(ScanLogFormatTest, TheModelIsComparedAndTheMagicIsNot) {
  Bytes bytes = EncodeScanLog(FatLog());
  std::fill_n(bytes.begin(), 13, 'X');
  bytes.push_back(0xEE);  // nothing after the last record is read
  const std::optional<ScanLog> log = DecodeScanLog(bytes);
  ASSERT_TRUE(log);
  EXPECT_EQ(*log, FatLog());
  for (auto [model, matches] : {std::tuple{"Kingston DT", true}, std::tuple{"kingston DT", false},
                                std::tuple{"Kingston DT ", false}, std::tuple{"", false}}) {
    EXPECT_EQ(ScanLogModelMatches(*log, model), matches) << model;
  }
  EXPECT_FALSE(ScanLogAllowed(/*floppyDisk=*/true));
  EXPECT_TRUE(ScanLogAllowed(/*floppyDisk=*/false));
}

TEST(ScanLogFormatTest, LongTextsAreSavedCutToWhatALogCanLoad) {
  const std::string a47(47, 'a'), a48(48, 'a'), a49(49, 'a'), sixty(60, 'M');
  // Never half of a UTF-8 sequence; stray continuation bytes are cut where they fall.
  for (auto [text, kept] : {std::tuple{sixty, std::string(49, 'M')}, std::tuple{a48 + "\xC3\xA9", a48},
                            std::tuple{a47 + "\xE2\x82\xAC", a47}, std::tuple{a49 + "\x80\x80", a49}}) {
    EXPECT_EQ(ScanLogText(text), kept);
  }
  ScanLog log = FatLog();
  log.model = log.searchModeText = sixty;
  const std::optional<ScanLog> loaded = DecodeScanLog(EncodeScanLog(log));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->searchModeText, std::string(49, 'M'));
  EXPECT_TRUE(ScanLogModelMatches(*loaded, sixty));
}

TEST(ScanLogFormatTest, DamagedLogsAreRefused) {
  const Bytes fat = EncodeScanLog(FatLog()), ntfs = EncodeScanLog(NtfsLog());
  // Each text replaced by a well-formed one of n bytes: its offset, the bytes it had, the width of its
  // length.
  for (auto [offset, old, width] :
       {std::tuple{13, 15, 4}, std::tuple{32, 6, 1}, std::tuple{38, 15, 1}, std::tuple{165, 6, 1}}) {
    for (int n : {49, 50, 60, 255}) {
      Bytes bytes = fat, text(width + n, 'T');
      std::fill_n(text.begin(), width, 0);
      text[0] = static_cast<std::uint8_t>(n);
      bytes.erase(bytes.begin() + offset, bytes.begin() + offset + old);
      bytes.insert(bytes.begin() + offset, text.begin(), text.end());
      EXPECT_EQ(DecodeScanLog(bytes).has_value(), n <= 49) << "offset " << offset << " length " << n;
    }
  }
  auto with = [](Bytes bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
  };
  // Record lengths 24 and 0, lengths and counts that run past the end.
  for (const Bytes& bad : {with(fat, 175, 24), with(fat, 204, 0), with(fat, 204, 30), with(fat, 171, 3),
                           with(fat, 171, 0xFFFFFFFF), with(fat, 13, 0xFFFFFFFF), with(ntfs, 207, 3),
                           with(ntfs, 207, 0x10000000), with(ntfs, 211, 1000), with(ntfs, 252, 0xFFFFFFF0)}) {
    EXPECT_FALSE(DecodeScanLog(bad));
  }
  for (const Bytes* log : {&fat, &ntfs}) {
    for (std::size_t n = 0; n < log->size(); ++n) EXPECT_FALSE(DecodeScanLog(ByteSpan(log->data(), n))) << n;
  }
}

// Mutations of real logs and plain noise, each in a buffer of exactly its size so that the
// sanitizer build sees any read past the end. A log that decodes must be what its bytes say.
TEST(ScanLogFormatTest, MutatedLogsAreRefusedOrDecodeToTheirOwnBytes) {
  ScanLog noFiles = NtfsLog();
  noFiles.files.clear();
  const std::vector<Bytes> seeds = {EncodeScanLog(FatLog()), EncodeScanLog(NtfsLog()),
                                    EncodeScanLog(noFiles)};
  const std::uint32_t bounds[] = {0, 24, 25, 49, 50, 0x7FFFFFFF, 0xFFFFFFFF};
  std::mt19937 rng(6101);
  int decoded = 0;
  for (int round = 0; round < 6000; ++round) {
    Bytes bytes = seeds[round % seeds.size()];
    if (round % 16 == 0) {  // plain noise
      bytes.resize(rng() % 400);
      std::generate(bytes.begin(), bytes.end(), std::ref(rng));
    }
    for (unsigned edit = 0, edits = 1 + rng() % 3; edit < edits && !bytes.empty(); ++edit) {
      const std::size_t at = rng() % bytes.size(), kind = rng() % 4;
      const std::uint32_t value =
          kind == 1 ? bounds[rng() % 7] : rng();  // a length or count that tests a bound
      for (std::size_t i = 0; kind <= 1 && i < 1 + 3 * kind && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
      }
      if (kind == 2) bytes.resize(at);
      if (kind == 3) bytes.insert(bytes.begin() + at, static_cast<std::uint8_t>(value));
    }
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    const std::optional<ScanLog> log = DecodeScanLog(ByteSpan(exact.get(), bytes.size()));
    if (!log) continue;
    ++decoded;
    const Bytes again = EncodeScanLog(*log);
    ASSERT_LE(again.size(), bytes.size());
    ASSERT_TRUE(std::equal(again.begin() + 13, again.end(), bytes.begin() + 13)) << "round " << round;
  }
  EXPECT_GT(decoded, 300);  // the mutations reach the accepting paths, not only the first refusal
}

}  // namespace
}  // namespace quarrow
