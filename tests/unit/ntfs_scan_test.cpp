// The record scan of an NTFS Advance search over a disk built in memory: which sectors become
// rows of which table, in their exact text forms.

#include <gtest/gtest.h>

#include "ntfs/mft_scan.h"
#include "results/scan_tables.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;
using Table = std::vector<std::vector<std::string>>;

Bytes Folder(const std::u16string& name, std::uint8_t flags, std::uint32_t number, std::uint32_t parent,
             std::uint32_t firstRun) {
  std::vector<Bytes> attributes{FileNameAttr(name, 1, parent, 777)};
  if (firstRun) attributes.push_back(NonResident(0xA0, RunList({{1, firstRun}}), 4096, u"$I30"));
  return FileRecordBytes(attributes, flags, number);
}

Bytes File(const std::u16string& name, std::uint8_t flags, std::uint32_t parent, std::size_t size) {
  return FileRecordBytes({FileNameAttr(name, 1, parent, 888), Resident(0x80, Bytes(size))}, flags, 0);
}

TEST(NtfsRecordScanTest, SectorsBecomeRowsInTheirTextForms) {
  NtfsDisk d(4000);
  d.Put(100, NtfsBoot(8, 0x1'0000'0FA0ull, 4, 8));
  d.Put(200, Folder(u"Фото", 3, 70, 5, 0x30));
  d.Put(202, Folder(u"gone", 2, 71, 70, 0));
  d.Put(204, File(u"$MFT", 1, 5, 10));
  d.Put(206, File(u"a.txt", 0, 70, 300));
  d.Put(208, File(u"b.txt", 4, 70, 1));
  Bytes big = File(u"big", 1, 5, 1);
  Put(big, 28, 4096, 2);
  d.Put(210, big);
  d.Put(300, IndexRecordBytes({IndexEntryBytes(80, u"x", 5, false)}, 0));
  d.Put(310, IndexRecordBytes({IndexEntryBytes(81, u"y", 3, false)}, 0));
  d.Put(320, IndexRecordBytes({IndexEntryBytes(82, u"z", 70, false)}, 2));
  d.Put(1123, File(u"split", 1, 70, 5));  // its second sector is in the next chunk
  d.Put(1900, File(u"past the end", 1, 5, 1));
  d.ctx.searchStart = 100;
  d.ctx.searchEnd = 1900;

  ScanMftRecords(d.ctx);
  const ScanTables& t = d.ctx.results.tables;
  EXPECT_EQ(Rows(t.FileSystemTable), (Table{{"100", "8", "8", "2", "4000", "4", "8", "", "", "", ""}}));
  const std::string u = reinterpret_cast<const char*>(u8"Фото");
  EXPECT_EQ(Rows(t.MftEntryTable), (Table{{u, "200", "5", "70", "0", "FOLDER", "0", "777", "48", ""},
                                          {"gone", "202", "70", "71", "0", "FOLDER", "0", "777", "0", "1"},
                                          {"$MFT", "204", "5", "1", "10", "File", "0", "888", "0", ""},
                                          {"a.txt", "206", "70", "0", "300", "File", "0", "888", "0", "1"},
                                          {"b.txt", "208", "70", "0", "1", "File", "0", "888", "0", ""},
                                          {"split", "1123", "70", "0", "5", "File", "0", "888", "0", ""}}));
  EXPECT_EQ(Rows(t.MftRecordTable),
            (Table{{"300", "5", "0", "4294967295"}, {"320", "70", "2", "4294967295"}}));
  EXPECT_EQ(d.feedback.lastText[control::kFolderCounter], "6");
  EXPECT_EQ(d.feedback.lastText[control::kBootCounter], "1");
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  1124 of 1900"));
  ASSERT_FALSE(d.feedback.progress.empty());
  EXPECT_EQ(d.feedback.progress.front().position, 100 * 100 / 1900);  // from the start, not from 0

  // A second scan of the same run starts from empty record tables.
  ScanMftRecords(d.ctx);
  EXPECT_EQ(t.MftEntryTable.RowCount(), 6);
  EXPECT_EQ(t.MftRecordTable.RowCount(), 2);
}

// A name found as an index key that a row before it lists in the same folder (the file's record,
// or a key of an earlier index record) is listed through that row, and gets no row of its own.
TEST(NtfsRecordScanTest, AnIndexKeyGetsARowOnlyWhenNoRowBeforeItListsItsNameInItsFolder) {
  NtfsDisk d(2000);
  d.Put(200, File(u"a.jpg", 1, 70, 10));
  d.Put(300, IndexRecordBytes({KeyEntryBytes(90, u"a.jpg", 70), KeyEntryBytes(91, u"b.jpg", 70),
                               KeyEntryBytes(92, u"c.jpg", 70)}));
  d.Put(320, IndexRecordBytes({KeyEntryBytes(91, u"b.jpg", 70), KeyEntryBytes(93, u"A.jpg", 70)}, 1));
  d.Put(340, IndexRecordBytes({KeyEntryBytes(94, u"a.jpg", 71)}));
  d.Put(400, File(u"c.jpg", 1, 70, 10));  // listed after its key: the listing passes the key over
  ScanMftRecords(d.ctx);

  const TextTable& rows = d.ctx.results.tables.MftEntryTable;
  Table seen;
  for (int r = 0; r < rows.RowCount(); ++r) seen.push_back({rows.Cell(r, 0), rows.Cell(r, 2), rows.Cell(r, 5)});
  EXPECT_EQ(seen, (Table{{"a.jpg", "70", "File"},
                         {"b.jpg", "70", "Index name"},
                         {"c.jpg", "70", "Index name"},
                         {"A.jpg", "70", "Index name"},
                         {"a.jpg", "71", "Index name"},
                         {"c.jpg", "70", "File"}}));
  EXPECT_EQ(d.ctx.results.tables.MftRecordTable.RowCount(), 3);
}

TEST(NtfsRecordScanTest, RangeIsClippedAtSector2To32) {
  constexpr std::uint64_t k2To32 = 0x1'0000'0000ull;
  NtfsDisk d(k2To32 + 4096);
  d.Put(k2To32 - 2, File(u"last", 1, 5, 1));
  d.Put(k2To32 + 10, File(u"beyond", 1, 5, 1));
  d.ctx.searchStart = k2To32 - 1024;
  d.ctx.searchEnd = k2To32 + 4096;
  ScanMftRecords(d.ctx);
  const TextTable& rows = d.ctx.results.tables.MftEntryTable;
  ASSERT_EQ(rows.RowCount(), 1);
  EXPECT_EQ(rows.Cell(0, 0), "last");
  EXPECT_EQ(rows.Cell(0, 1), "4294967294");
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  0 of 4294967296"));
}

TEST(NtfsRecordScanTest, StopEndsTheScanBetweenChunks) {
  NtfsDisk d(5000);
  d.Put(10, File(u"first", 1, 5, 1));
  d.Put(3000, File(u"later", 1, 5, 1));
  std::stop_source stop;
  stop.request_stop();
  d.ctx.stop = stop.get_token();
  ScanMftRecords(d.ctx);
  EXPECT_EQ(d.ctx.results.tables.MftEntryTable.RowCount(), 0);
}

}  // namespace
}  // namespace quarrow
