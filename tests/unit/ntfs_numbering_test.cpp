// The numbering after the record scan, on tables filled the way the scan fills them and index
// records on a disk in memory: MFT numbers, volumes from boot sectors and from folder pairs, the
// inheritance of volume numbers, and the second stage's folder and file rows.

#include <gtest/gtest.h>

#include <random>

#include "ntfs/index_record.h"
#include "ntfs/mft_numbering.h"
#include "ntfs/mft_scan.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

struct MftRow {
  std::string name;
  std::uint32_t sector, parent, self;
  bool folder;
  std::int64_t date = 777;
  std::uint32_t firstRun = 0;
  bool deleted = false;
};

class NtfsNumberingTest : public ::testing::Test {
 protected:
  void AddRecords(const std::vector<MftRow>& rows) {
    TextTable& t = d.ctx.results.tables.MftEntryTable;
    for (const MftRow& r : rows) {
      const int i = t.AppendRow(r.name);
      for (const auto& [column, text] :
           std::vector<std::pair<int, std::string>>{{1, U32Text(r.sector)},
                                                    {2, U32Text(r.parent)},
                                                    {3, U32Text(r.self)},
                                                    {4, "0"},
                                                    {5, r.folder ? "FOLDER" : "File"},
                                                    {6, "0"},
                                                    {7, I64Text(r.date)},
                                                    {8, U32Text(r.firstRun)},
                                                    {9, r.deleted ? "1" : ""}})
        t.SetCell(i, column, text);
    }
  }
  // An index record on the disk and its MftRecordTable row.
  void AddIndexRecord(std::uint32_t sector, std::uint32_t owner, const std::vector<Bytes>& entries = {}) {
    std::vector<Bytes> all = entries;
    if (all.empty()) all.push_back(IndexEntryBytes(99, u"f", owner, false));
    d.Put(sector, IndexRecordBytes(all, 0, 1024));
    TextTable& t = d.ctx.results.tables.MftRecordTable;
    const int i = t.AppendRow(U32Text(sector));
    t.SetCell(i, 1, U32Text(owner)), t.SetCell(i, 2, "0"), t.SetCell(i, 3, "4294967295");
  }
  void AddBootRow(std::uint32_t sector, std::uint32_t spc, std::uint32_t total) {
    TextTable& t = d.ctx.results.tables.FileSystemTable;
    const int i = t.AppendRow(U32Text(sector));
    t.SetCell(i, 1, U32Text(spc)), t.SetCell(i, 4, U32Text(total));
  }
  std::vector<std::string> Column(const TextTable& t, int column) const {
    std::vector<std::string> out;
    for (int r = 0; r < t.RowCount(); ++r) out.push_back(t.Cell(r, column));
    return out;
  }
  const ScanTables& Tables() const { return d.ctx.results.tables; }

  NtfsDisk d{40000};
};

TEST_F(NtfsNumberingTest, UnnumberedRecordsCountUpFromTheRowAboveAndTheRangeIsTheFallbackVolume) {
  AddRecords(
      {{"f1", 10, 5, 0, false}, {"d", 12, 5, 57, true}, {"f2", 14, 57, 0, false}, {"f3", 16, 57, 0, false}});
  d.ctx.searchStart = 100;
  d.ctx.searchEnd = 3000000000u;
  EXPECT_EQ(AssignMftNumbers(d.ctx), 0);
  EXPECT_EQ(Column(Tables().MftEntryTable, 3), (std::vector<std::string>{"2", "57", "58", "59"}));
  // No boot sector, no pair: the whole range, in the signed form, with 8 sectors per cluster.
  EXPECT_EQ(Rows(Tables().IdentifiedFileSystemTable),
            (std::vector<std::vector<std::string>>{
                {"100", "-1294967296", "8", "0", "", "", "100", "", "", "", "NTFS"}}));
  EXPECT_EQ(Column(Tables().DirectoryTable, 3), (std::vector<std::string>{"1"}));  // inherited

  NtfsDisk empty(100);
  EXPECT_EQ(AssignMftNumbers(empty.ctx), 0);
  // No record, no volume: nothing identified (the page's advice follows from that).
  EXPECT_EQ(empty.ctx.results.tables.IdentifiedFileSystemTable.RowCount(), 0);
}

TEST_F(NtfsNumberingTest, FolderEntriesNumberFoldersByNameTimeAndParent) {
  AddRecords({{"Docs", 20, 64, 0, true}, {"Docs", 22, 65, 0, true}, {"x", 24, 5, 0, false}});
  AddIndexRecord(500, 64,
                 {IndexEntryBytes(81, u"Docs", 64, true, 778), IndexEntryBytes(82, u"docs", 65, true, 777),
                  IndexEntryBytes(83, u"Docs", 64, false, 777), IndexEntryBytes(80, u"Docs", 64, true, 777)});
  AssignMftNumbers(d.ctx);
  // Only the entry with the same time, name (letter case counts), parent and folder bit matches.
  EXPECT_EQ(Column(Tables().MftEntryTable, 3), (std::vector<std::string>{"80", "81", "82"}));
}

// The matching through its look-up gives what a linear search of the candidates in order gives.
TEST_F(NtfsNumberingTest, MatchingEqualsTheLinearSearch) {
  std::mt19937 rng(7);
  std::vector<MftRow> rows;
  for (std::uint32_t i = 0; i < 60; ++i) {
    rows.push_back({rng() % 2 ? "a" : "b", 100 + 2 * i, 64 + static_cast<std::uint32_t>(rng() % 2),
                    rng() % 5 == 0 ? 1000 + i : 0, rng() % 4 != 0, static_cast<std::int64_t>(rng() % 2)});
  }
  AddRecords(rows);
  std::vector<std::vector<IndexEntry>> records;
  for (std::uint32_t k = 0; k < 6; ++k) {
    std::vector<Bytes> entries;
    for (std::uint32_t e = 0; e < 8; ++e) {
      entries.push_back(IndexEntryBytes(2000 + 10 * k + e, rng() % 2 ? u"a" : u"b", 64 + rng() % 2,
                                        rng() % 3 != 0, static_cast<std::int64_t>(rng() % 2)));
    }
    AddIndexRecord(1000 + 8 * k, 64, entries);
    records.push_back(DecodeIndexEntries(IndexRecordBytes(entries, 0, 1024)));
  }
  // The straightforward form.
  std::vector<std::uint32_t> self;
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    self.push_back(rows[i].self);
    if (rows[i].folder && rows[i].self == 0) candidates.push_back(i);
  }
  for (const auto& entries : records) {
    for (const IndexEntry& e : entries) {
      if (!e.isFolder) continue;
      for (auto c = candidates.begin(); c != candidates.end(); ++c) {
        const MftRow& r = rows[*c];
        if (r.date == e.creationTime && r.name == e.name && r.parent == e.parent) {
          self[*c] = e.recordNumber;
          candidates.erase(c);
          break;
        }
      }
    }
  }
  std::uint32_t last = 1;
  std::vector<std::string> expected;
  for (std::uint32_t& s : self) expected.push_back(U32Text(last = s == 0 ? last + 1 : s));
  AssignMftNumbers(d.ctx);
  EXPECT_EQ(Column(Tables().MftEntryTable, 3), expected);
}

TEST_F(NtfsNumberingTest, BootSectorClaimsTheFoldersWhoseIndexRecordIsWhereItSays) {
  AddRecords({{"D", 1500, 5, 70, true, 1, 100}, {"E", 1502, 5, 71, true, 1, 120}});
  AddIndexRecord(1700, 70);
  AddIndexRecord(1800, 70);  // start + 8 x 100
  AddIndexRecord(1960, 71);  // start + 8 x 120
  AddBootRow(1000, 8, 100000);
  EXPECT_EQ(AssignMftNumbers(d.ctx), 1);
  EXPECT_EQ(Column(Tables().DirectoryTable, 3), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(Column(Tables().MftRecordTable, 0), (std::vector<std::string>{"1700"}));
  EXPECT_EQ(Rows(Tables().IdentifiedFileSystemTable),
            (std::vector<std::vector<std::string>>{
                {"1000", "101000", "8", "1", "", "", "1000", "", "", "", "NTFS"}}));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Assigned 2 / 2"));
}

TEST_F(NtfsNumberingTest, FolderPairsGiveTheGeometryOfALostVolume) {
  struct Case {
    std::uint32_t s1, fr1, s2, fr2;
    int identified;
    std::string start, spc;
  };
  const Case cases[] = {
      {10063, 8, 10031, 4, 1, "9999", "8"}, {10043, 8, 10031, 4, 0, "", ""},  // 3 sectors per cluster
      {10287, 2, 10031, 1, 0, "", ""},                                        // 256
      {10063, 8, 10063, 4, 0, "", ""},                                        // the same index record
      {10063, 8, 10031, 8, 0, "", ""},                                        // equal first runs
      {100, 20, 132, 24, 0, "", ""},  // 8 sectors per cluster, but a volume before sector 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s1);
    d.ctx.ResetForScan();
    d.ctx.searchEnd = 20000;
    AddRecords({{"A", 10500, 5, 70, true, 1, c.fr1}, {"B", 10600, 5, 71, true, 1, c.fr2}});
    AddIndexRecord(c.s1, 70);
    AddIndexRecord(c.s2, 71);
    EXPECT_EQ(AssignMftNumbers(d.ctx), c.identified);
    const TextTable& fs = Tables().IdentifiedFileSystemTable;
    ASSERT_EQ(fs.RowCount(), 1);  // the volume, or the fallback row
    if (c.identified == 1) {
      EXPECT_EQ(std::make_tuple(fs.Cell(0, 0), fs.Cell(0, 1), fs.Cell(0, 2), fs.Cell(0, 3)),
                std::make_tuple(c.start, std::string("20000"), c.spc, std::string("0")));  // derived
      EXPECT_EQ(Column(Tables().DirectoryTable, 3), (std::vector<std::string>{"1", "1"}));
      EXPECT_EQ(Tables().MftRecordTable.RowCount(), 0);
    } else {
      EXPECT_EQ(fs.Cell(0, 2), "8");
    }
  }
}

TEST_F(NtfsNumberingTest, UnassignedFoldersInheritTheNumberAbove) {
  for (const char* fs : {"4294967295", "2", "4294967295", "0", "4294967295"}) {
    const int r = d.ctx.results.tables.DirectoryTable.AppendRow("10");
    d.ctx.results.tables.DirectoryTable.SetCell(r, 3, fs);
  }
  int assigned = 0;
  InheritVolumeNumbers(d.ctx, assigned);
  EXPECT_EQ(Column(Tables().DirectoryTable, 3), (std::vector<std::string>{"1", "2", "2", "0", "0"}));
  EXPECT_EQ(assigned, 3);
}

TEST_F(NtfsNumberingTest, SecondStageTakesEachFolderOnceAndEveryFile) {
  TextTable& dirs = d.ctx.results.tables.DirectoryTable;
  // The root's own record comes first, as on a volume (self 5, parent 5: never shown).
  const std::vector<std::vector<std::string>> folders = {{"8", "5", "5", "1", "1", ".", "0"},
                                                         {"10", "70", "5", "1", "5", "A", "0"},
                                                         {"12", "70", "5", "1", "6", "A again", "0"},
                                                         {"14", "71", "70", "2", "7", "other volume", "0"},
                                                         {"16", "72", "70", "1", "8", "C", "0"}};
  for (const auto& row : folders) {
    const int r = dirs.AppendRow(row[0]);
    for (int c = 1; c < 7; ++c) dirs.SetCell(r, c, row[static_cast<std::size_t>(c)]);
  }
  TextTable& fs = d.ctx.results.tables.IdentifiedFileSystemTable;
  fs.AppendRow("1000"), fs.SetCell(0, 6, "1000"), fs.SetCell(0, 2, "4"), fs.SetCell(0, 10, "NTFS");
  AddRecords({{"A", 10, 5, 70, true}, {"C", 16, 70, 72, true, 8, 0, true}, {"f.txt", 18, 72, 90, false, 9}});
  TextTable& entries = d.ctx.results.tables.EntryTable;
  entries.AppendRow(kMiscFolderName);
  entries.SetCell(0, entry_col::kSelf, U32Text(kOrphanCluster)), entries.SetCell(0, entry_col::kParent, "0");
  entries.SetCell(0, entry_col::kType, "FOLDER");

  SetUpNtfsSecondStage(d.ctx, 1);
  std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t, bool>> nodes;
  for (const FolderNode& n : d.ctx.results.folderNodes)
    nodes.emplace_back(n.name, n.self, n.parent, n.deleted);
  EXPECT_EQ(nodes,
            (std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t, bool>>{
                {"A", 70, 5, false}, {"QRW_Miscellaneous", kOrphanCluster, 5, false}, {"C", 72, 70, true}}));
  EXPECT_EQ(
      Rows(Tables().PendingEntryTable),
      (std::vector<std::vector<std::string>>{{"f.txt", "18", "90", "72", "9", "", "0", "", "", "FILE", ""}}));
  EXPECT_EQ(std::make_tuple(d.ctx.activeGeometry.Cluster0Sector, d.ctx.activeGeometry.SectorsPerCluster,
                            d.ctx.activeGeometry.type),
            std::make_tuple(1000u, 4u, FsType::kNtfs));
  EXPECT_TRUE(d.ctx.results.FilesInTables());
}

// Names found as index keys become file rows of their own only where no file row lists them in
// that folder, whether that row comes before or after the key's, and a name found twice in a
// folder becomes one row.
TEST_F(NtfsNumberingTest, SecondStageListsAnIndexKeyNameOncePerFolderAndOnlyWhereNoRecordDoes) {
  TextTable& dirs = d.ctx.results.tables.DirectoryTable;
  for (const auto& row : std::vector<std::vector<std::string>>{{"8", "5", "5", "1", "1", ".", "0"},
                                                               {"10", "70", "5", "1", "5", "A", "0"}}) {
    const int r = dirs.AppendRow(row[0]);
    for (int c = 1; c < 7; ++c) dirs.SetCell(r, c, row[static_cast<std::size_t>(c)]);
  }
  TextTable& fs = d.ctx.results.tables.IdentifiedFileSystemTable;
  fs.AppendRow("1000"), fs.SetCell(0, 6, "1000"), fs.SetCell(0, 2, "4"), fs.SetCell(0, 10, "NTFS");
  TextTable& mft = d.ctx.results.tables.MftEntryTable;
  // Columns: name, sector, parent, self, size, type, -, date, first run, deleted.
  const auto key = [&mft](std::string name, std::uint32_t parent, std::uint32_t self) {
    mft.AppendRowCells({std::move(name), "0", parent, self, std::uint64_t{1234}, kMftIndexNameType, "0",
                        std::int64_t{555}, "0", "1"});
  };
  AddRecords({{"A", 10, 5, 70, true}, {"f.txt", 18, 70, 90, false, 9}});
  key("f.txt", 70, 90);     // its record lists it: no row
  key("gone.txt", 70, 91);  // listed by nothing: a row
  key("gone.txt", 70, 91);  // the same key again: no second row
  key("gone.txt", 5, 91);   // the same name in another folder: a row
  key("later.txt", 70, 92);
  AddRecords({{"later.txt", 22, 70, 92, false, 10}});  // a record after its key lists it
  TextTable& entries = d.ctx.results.tables.EntryTable;
  entries.AppendRow(kMiscFolderName);
  entries.SetCell(0, entry_col::kSelf, U32Text(kOrphanCluster)), entries.SetCell(0, entry_col::kParent, "0");
  entries.SetCell(0, entry_col::kType, "FOLDER");

  SetUpNtfsSecondStage(d.ctx, 1);
  EXPECT_EQ(Rows(Tables().PendingEntryTable),
            (std::vector<std::vector<std::string>>{
                {"f.txt", "18", "90", "70", "9", "", "0", "", "", "FILE", ""},
                {"gone.txt", "0", "91", "70", "555", "", "1234", "", "", "FILE", "1"},
                {"gone.txt", "0", "91", "5", "555", "", "1234", "", "", "FILE", "1"},
                {"later.txt", "22", "92", "70", "10", "", "0", "", "", "FILE", ""}}));
}

}  // namespace
}  // namespace quarrow
