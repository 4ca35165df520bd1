#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/results_page.h"
#include "results/file_list.h"
#include "results/results_state.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

constexpr std::uint16_t FatDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t FatTime(int hour, int minute, int twoSeconds) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | twoSeconds);
}
// 100-ns ticks since 1601-01-01, worked out apart from the code under test.
constexpr std::int64_t kStamp2024Leap = 133536836960000000;  // 2024-02-29 12:34:56
constexpr std::int64_t kStamp2000Leap = 125962560000000000;  // 2000-02-29 00:00:00
constexpr std::int64_t kStamp1900 = 94406687990000000;       // 1900-03-01 23:59:59
constexpr std::int64_t kStamp2100 = 157783717230000000;      // 2100-12-31 01:02:03
constexpr std::int64_t kStamp9999 = 2650467743990000000;     // 9999-12-31 23:59:59

TEST(FileTypeCatalogueTest, EndingsMatchWithLetterCase) {
  EXPECT_EQ(FileTypeDescription("REPORT.DOC"), "Microsoft Word File");
  EXPECT_EQ(FileTypeDescription("report.doc"), "Microsoft Word File");
  EXPECT_EQ(FileTypeDescription("report.docx"), "Microsoft Word File");
  EXPECT_EQ(FileTypeDescription("report.Doc"), "File");
  EXPECT_EQ(FileTypeDescription("notes.Txt"), "File");
  EXPECT_EQ(FileTypeDescription("photo.JPEG"), "Image File");
  EXPECT_EQ(FileTypeDescription("photo.jpeg"), "Image File");
  EXPECT_EQ(FileTypeDescription("drawing.eps"), "Image File");
  EXPECT_EQ(FileTypeDescription("voice.au"), "Sound file");
  EXPECT_EQ(FileTypeDescription("stream.ram"), "Sound file");
  EXPECT_EQ(FileTypeDescription("movie.rm"), "Video File");
  EXPECT_EQ(FileTypeDescription("movie.3G2"), "Video File");
  EXPECT_EQ(FileTypeDescription("page.xhtml"), "Web file");
  EXPECT_EQ(FileTypeDescription("PAGE.HTML"), "Web file");
  EXPECT_EQ(FileTypeDescription("noextensionhtml"), "Web file");  // the ending carries no dot
  EXPECT_EQ(FileTypeDescription("page.Html"), "File");
  EXPECT_EQ(FileTypeDescription("main.c"), "C++ file");
  EXPECT_EQ(FileTypeDescription("main.h"), "Header file");
  EXPECT_EQ(FileTypeDescription("SETUP.EXE"), "Executable file");
  EXPECT_EQ(FileTypeDescription("x.torrent"), "BitTorrent File");
  EXPECT_EQ(FileTypeDescription("book.wks"), "Microsoft Works Spreadsheet File");
  EXPECT_EQ(FileTypeDescription("LOG.LOG"), "Text file");
  EXPECT_EQ(FileTypeDescription("archive.doc.zip"), "Winzip File");  // only the last characters count
  EXPECT_EQ(FileTypeDescription(""), "File");
  EXPECT_EQ(FileTypeDescription("c"), "File");
  EXPECT_EQ(FileTypeDescription(".c"), "C++ file");
  // Only the ending from the last dot on is a dotted ending; one without a dot can match anywhere.
  EXPECT_EQ(FileTypeDescription("backup.tar.gz"), "Winzip File");
  EXPECT_EQ(FileTypeDescription("notes.txt.bak"), "Backup File");
  EXPECT_EQ(FileTypeDescription("a.b.c"), "C++ file");
  EXPECT_EQ(FileTypeDescription("photo.jpg."), "File");
  EXPECT_EQ(FileTypeDescription("page.XHTML"), "Web file");
  EXPECT_EQ(FileTypeDescription("index.shtml"), "Web file");  // "html" without its dot
  EXPECT_EQ(FileTypeDescription("movie.mp4html"), "Web file");
  EXPECT_EQ(FileTypeDescription("archive.zip.HTML"), "Web file");
  EXPECT_EQ(FileTypeDescription("ps"), "File");
  EXPECT_EQ(FileTypeDescription("x.ps"), "Image File");
  EXPECT_EQ(FileTypeDescription("IMG_00001.JPG"), "Image File");
}

TEST(FileTypeCatalogueTest, Fat16RootVariants) {
  EXPECT_EQ(FileTypeDescription("a.zip", true), "Compressed File");
  EXPECT_EQ(FileTypeDescription("a.zip", false), "Winzip File");
  EXPECT_EQ(FileTypeDescription("A.RAR", true), "Compressed File");
  EXPECT_EQ(FileTypeDescription("a.reg", true), "Windows Registry file");
  EXPECT_EQ(FileTypeDescription("a.reg", false), "Registry file");
  EXPECT_EQ(FileTypeDescription("a.doc", true), "Microsoft Word File");
  EXPECT_EQ(FileTypeDescription("a.Zip", true), "File");
}

TEST(DateTimeTextTest, FatDatesAndTimes) {
  EXPECT_EQ(FatDateText(FatDate(2024, 1, 5)), "05-JAN-2024");
  EXPECT_EQ(FatDateText(FatDate(1999, 12, 31)), "31-DEC-1999");
  EXPECT_EQ(FatDateText(FatDate(2107, 7, 15)), "15-JUL-2107");
  EXPECT_EQ(FatDateText(0), "00-ERR-1980");  // the stored date of the catch-all folder
  EXPECT_EQ(FatDateText(FatDate(2024, 13, 5)), "05-ERR-2024");
  EXPECT_EQ(FatDateText(FatDate(2024, 15, 5)), "05-ERR-2024");
  EXPECT_EQ(FatDateText(0x10000u | FatDate(2024, 1, 5)), "05-JAN-2024");  // only the low 16 bits
  EXPECT_EQ(FatTimeText(FatTime(13, 7, 5)), "13:07");                     // seconds are not shown
  EXPECT_EQ(FatTimeText(0), "00:00");
  EXPECT_EQ(FatTimeText(FatTime(23, 59, 29)), "23:59");
  EXPECT_EQ(FatTimeText(0xFFFF), "31:63");  // out-of-range fields shown as stored
}

TEST(DateTimeTextTest, NtfsStampsBecomeCalendarTime) {
  EXPECT_EQ(NtfsDateText(kStamp2024Leap), "29-FEB-2024");
  EXPECT_EQ(NtfsTimeText(kStamp2024Leap), "12:34:56");
  EXPECT_EQ(NtfsTimeText(kStamp2024Leap + 9'999'999), "12:34:56");  // fractions are dropped
  EXPECT_EQ(NtfsDateText(kStamp2000Leap), "29-FEB-2000");
  EXPECT_EQ(NtfsTimeText(kStamp2000Leap), "0:0:0");
  EXPECT_EQ(NtfsDateText(kStamp2000Leap - 1), "28-FEB-2000");
  EXPECT_EQ(NtfsDateText(kStamp1900), "1-MAR-1900");  // 1900 has no 29 February
  EXPECT_EQ(NtfsTimeText(kStamp1900), "23:59:59");
  EXPECT_EQ(NtfsDateText(kStamp2100), "31-DEC-2100");
  EXPECT_EQ(NtfsTimeText(kStamp2100), "1:2:3");
  EXPECT_EQ(NtfsDateText(kStamp9999), "31-DEC-9999");
  EXPECT_EQ(NtfsDateText(0), "1-JAN-1601");
  EXPECT_EQ(NtfsTimeText(0), "0:0:0");
  EXPECT_EQ(NtfsDateText(116444736000000000), "1-JAN-1970");
  // A stamp with the top bit set is not a time; it reads as all-zero fields.
  EXPECT_EQ(NtfsDateText(-1), "0-ERR-0");
  EXPECT_EQ(NtfsTimeText(INT64_MIN), "0:0:0");
  CalendarTime far = NtfsStampToCalendar(INT64_MAX);
  EXPECT_EQ(far.year, 30828);
  EXPECT_GE(far.month, 1);
  EXPECT_LE(far.month, 12);
}

TEST(DateTimeTextTest, LocalTextsUseEnglishMonthNames) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 9;
  t.tm_min = 5;
  EXPECT_EQ(LocalDateText(t), "08-Dec-2026");
  EXPECT_EQ(LocalTimeText(t), "09:05");
  t.tm_mon = 0;
  t.tm_mday = 31;
  EXPECT_EQ(LocalDateText(t), "31-Jan-2026");
}

TEST(DetailsListTest, ResultsColumns) {
  const auto& columns = ResultsColumns();
  std::vector<std::string> headers;
  std::vector<int> widths;
  for (const auto& c : columns) {
    headers.push_back(c.header);
    widths.push_back(c.width);
  }
  EXPECT_EQ(headers, (std::vector<std::string>{"Name", "Type", "Size", "Date", "Time", "Recoverability",
                                               "Debug Info 1", "Debug Info 2", "Debug Info 3"}));
  EXPECT_EQ(widths, (std::vector<int>{145, 100, 70, 100, 70, 110, 0, 0, 0}));
}

TEST(DetailsListTest, FatFileRowFields) {
  DetailsRow row =
      FatFileRow("_REPORT.TXT", 3000000000u, FatDate(2024, 1, 5), FatTime(13, 7, 0), 70000, true, false);
  EXPECT_EQ(row.name, "_REPORT.TXT");
  EXPECT_EQ(row.type, "Text file");
  EXPECT_EQ(row.size, "3000000000");
  EXPECT_EQ(row.date, "05-JAN-2024");
  EXPECT_EQ(row.time, "13:07");
  EXPECT_EQ(row.debug1, "70000");
  EXPECT_EQ(row.debug2, "");
  EXPECT_EQ(row.debug3, "");
  EXPECT_TRUE(row.deleted);
  EXPECT_EQ(row.image, RowImage::kFile);
  // The stored fields travel with the row (the time's seconds too), for the file written back.
  EXPECT_EQ(row.fatDate, FatDate(2024, 1, 5));
  EXPECT_EQ(row.fatTime, FatTime(13, 7, 0));
  EXPECT_EQ(row.estimate, "");
  EXPECT_EQ(FatFileRow("a.zip", 0, 0, 0, 0, false, true).type, "Compressed File");
}

using test_support::RecordingFeedback;

std::vector<std::string> Names(const DetailsList& list) {
  std::vector<std::string> out;
  for (const auto& row : list.rows) out.push_back(row.name);
  return out;
}

class FatListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.SetFeedback(ui);
    ctx.ResetForScan(0);
    ctx.volumeType = FsType::kFat32;
    TreeItem root = ctx.tree->Root();
    docs = InsertFolderNode(ctx, root, "Docs", 10, FatDate(2023, 6, 1), FatTime(8, 30, 0), 0, false);
    misc = InsertFolderNode(ctx, root, "QRW_Miscellaneous", kOrphanCluster, 0, 0, 0, false);
    sub = InsertFolderNode(ctx, docs, "Sub", 11, 0, 0, 10, true);
    subsub = InsertFolderNode(ctx, sub, "Inner", 12, 0, 0, 11, false);
    lost = InsertFolderNode(ctx, misc, "Lost", 40, 0, 0, kOrphanCluster, false);
    ctx.hooks.listFiles = [this](DetailsList& list, std::uint32_t cluster, const FolderNode*) {
      listed.push_back(cluster);
      list.rows.push_back(
          FatFileRow("f" + std::to_string(cluster) + ".txt", 1, 0, 0, cluster + 100, false, cluster == 0));
    };
    ctx.hooks.nameChildren = [this](const FolderNode& node) { named.push_back(node.self); };
    now.tm_year = 126;
    now.tm_mon = 11;
    now.tm_mday = 8;
    now.tm_hour = 13;
    now.tm_min = 5;
  }
  RecordingFeedback ui;
  ResultsState ctx;
  TreeItem docs = kNoItem, misc = kNoItem, sub = kNoItem, subsub = kNoItem, lost = kNoItem;
  bool listOnClick = true;
  std::vector<std::uint32_t> listed, named;
  std::tm now{};
  DetailsList list;
};

TEST_F(FatListingTest, RootListsTopFoldersThenItsFiles) {
  ListFolder(ctx, list, ctx.tree->Root(), listOnClick, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Docs", "QRW_Miscellaneous", "f0.txt"}));
  EXPECT_EQ(listed, (std::vector<std::uint32_t>{0}));
  EXPECT_TRUE(named.empty());  // the root has no node to name children for
  const DetailsRow& folder = list.rows[0];
  EXPECT_EQ(folder.type, "FOLDER");
  EXPECT_EQ(folder.image, RowImage::kFolder);
  EXPECT_EQ(folder.size, "0");
  EXPECT_EQ(folder.date, "01-JUN-2023");
  EXPECT_EQ(folder.time, "08:30");
  EXPECT_EQ(folder.debug1, "10");
  EXPECT_EQ(folder.debug2, "0");
  EXPECT_EQ(folder.debug3, std::to_string(docs));
  // The catch-all folder shows the time of the listing.
  EXPECT_EQ(list.rows[1].date, "08-Dec-2026");
  EXPECT_EQ(list.rows[1].time, "13:05");
  EXPECT_EQ(list.rows[2].type, "Text file");
  EXPECT_EQ(ui.lastText[control::kCurrentFolder], "");
  EXPECT_EQ(ctx.currentFolder, kNoItem);  // the root never becomes the current folder

  // Opened from the list instead, the catch-all folder shows its stored date.
  FillFolderList(ctx, list, ctx.tree->Root());
  EXPECT_EQ(list.rows[1].date, "00-ERR-1980");
  EXPECT_EQ(list.rows[1].time, "00:00");
}

TEST_F(FatListingTest, FolderReadsItsDirectoryEveryTimeItIsListed) {
  ListFolder(ctx, list, docs, listOnClick, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Sub", "f10.txt"}));
  EXPECT_EQ(list.rows[0].type, "Deleted FOLDER");
  EXPECT_EQ(list.rows[1].type, "Text file");
  EXPECT_EQ(list.rows[1].debug1, "110");
  ListFolder(ctx, list, docs, listOnClick, now);
  EXPECT_EQ(list.rows.size(), 2u);  // emptied before every filling
  EXPECT_EQ(named, (std::vector<std::uint32_t>{10, 10}));
  EXPECT_EQ(listed, (std::vector<std::uint32_t>{10, 10}));
  EXPECT_EQ(ctx.currentFolder, docs);
  EXPECT_EQ(ui.lastText[control::kCurrentFolder], "Docs");

  FillFolderList(ctx, list, docs);
  EXPECT_EQ(named.size(), 2u);  // opening from the list reads no directory for names
  EXPECT_EQ(listed.size(), 3u);
}

TEST_F(FatListingTest, ChildrenOfADeletedFolderShowAndStayDeleted) {
  ASSERT_FALSE(ctx.folderNodes.FindByItem(subsub)->deleted);
  ListFolder(ctx, list, sub, listOnClick, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Inner", "f11.txt"}));
  EXPECT_EQ(list.rows[0].type, "Deleted FOLDER");
  EXPECT_TRUE(list.rows[0].deleted);
  EXPECT_TRUE(ctx.folderNodes.FindByItem(subsub)->deleted);
  EXPECT_EQ(ui.lastText[control::kCurrentFolder], "Docs\\Sub");
}

TEST_F(FatListingTest, CatchAllFolderReadsNoDirectory) {
  ListFolder(ctx, list, misc, listOnClick, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Lost"}));
  EXPECT_TRUE(listed.empty());
  EXPECT_TRUE(named.empty());
}

TEST_F(FatListingTest, CurrentFolderImagesMoveWithTheListing) {
  mytreectrl& tree = *ctx.tree;
  ListFolder(ctx, list, docs, listOnClick, now);
  EXPECT_EQ(tree.Image(docs), tree_image::kFolderOpen);
  ListFolder(ctx, list, sub, listOnClick, now);
  EXPECT_EQ(tree.Image(docs), tree_image::kFolderClosed);
  EXPECT_EQ(tree.Image(sub), tree_image::kFolderOpen);
  EXPECT_EQ(tree.Selected(), sub);
  listOnClick = false;
  ListFolder(ctx, list, lost, listOnClick, now);
  EXPECT_EQ(tree.Image(sub), tree_image::kFolderClosed);
  EXPECT_EQ(tree.Image(lost), tree_image::kFolder);
  EXPECT_EQ(ctx.currentFolder, lost);
}

TEST_F(FatListingTest, MissingHooksOrItemsListFoldersOnly) {
  ctx.hooks = {};
  ListFolder(ctx, list, docs, listOnClick, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Sub"}));
  ListFolder(ctx, list, 9999, listOnClick, now);
  EXPECT_TRUE(list.rows.empty());
  ctx.tree.reset();
  FillFolderList(ctx, list, docs);
  EXPECT_TRUE(list.rows.empty());
}

void AddPendingFile(TextTable& table, std::string name, std::string sector, std::string self,
                    std::uint32_t parent, std::int64_t stamp, std::string size, std::string deleted) {
  int r = table.AppendRow(name);
  table.SetCell(r, entry_col::kSector, sector);
  table.SetCell(r, entry_col::kSelf, self);
  table.SetCell(r, entry_col::kParent, U32Text(parent));
  table.SetCell(r, entry_col::kDate, I64Text(stamp));
  table.SetCell(r, entry_col::kSize, size);
  table.SetCell(r, entry_col::kType, "FILE");
  table.SetCell(r, entry_col::kDeleted, deleted);
}

TEST(NtfsListingTest, FilesComeFromThePendingTable) {
  ResultsState ctx;
  ctx.ResetForScan(0);
  ctx.volumeType = FsType::kNtfs;
  TreeItem root = ctx.tree->Root();
  TreeItem big = InsertFolderNode(ctx, root, "Big", 3000000000u, kStamp2024Leap, 0, 5, false);
  InsertFolderNode(ctx, big, "Child", 77, kStamp2000Leap, 0, 3000000000u, false);
  TextTable& pending = ctx.tables.PendingEntryTable;
  AddPendingFile(pending, "readme.txt", "4096", "64", 5, kStamp2100, "1234", "");
  AddPendingFile(pending, "song.mp3", "5000", "65", 3000000000u, kStamp2024Leap, "0", "1");
  AddPendingFile(pending, "a.zip", "4100", "66", 5, 0, "3000000000", "");
  AddPendingFile(pending, "elsewhere.doc", "4200", "67", 2147483647u, 0, "9", "");
  // A name is shown as a bounded read of its cell gives it: cut before the character it would split.
  AddPendingFile(pending, std::string(253, 'n') + "\xC3\xA9", "4300", "68", 3000000000u, 0, "1", "");

  DetailsList list;
  std::tm now{};
  ListFolder(ctx, list, root, true, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Big", "readme.txt", "a.zip"}));
  EXPECT_EQ(list.rows[0].date, "29-FEB-2024");
  EXPECT_EQ(list.rows[0].time, "12:34:56");
  EXPECT_EQ(list.rows[0].debug1, "3000000000");
  const DetailsRow& readme = list.rows[1];
  EXPECT_EQ(readme.type, "Text file");
  EXPECT_EQ(readme.size, "1234");
  EXPECT_EQ(readme.date, "31-DEC-2100");
  EXPECT_EQ(readme.time, "1:2:3");
  EXPECT_EQ(readme.debug1, "4096");
  EXPECT_EQ(readme.debug2, "5");
  EXPECT_EQ(readme.debug3, "64");
  EXPECT_EQ(list.rows[2].type, "Winzip File");  // no FAT16 root variant on NTFS
  EXPECT_EQ(list.rows[2].size, "3000000000");

  ListFolder(ctx, list, big, true, now);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Child", "song.mp3", std::string(253, 'n')}));
  EXPECT_EQ(list.rows[0].date, "29-FEB-2000");
  EXPECT_EQ(list.rows[1].type, "Sound file");
  EXPECT_TRUE(list.rows[1].deleted);
  EXPECT_EQ(list.rows[1].debug2, "3000000000");
}

// A card's folders, each with its files interleaved through the table the way a record scan
// leaves them, plus files whose parent is no folder (shown in the catch-all folder).
class NtfsWholeListingTest : public ::testing::Test {
 protected:
  static constexpr int kFolders = 40;
  static constexpr int kFilesPerFolder = 25;
  static constexpr int kLostFiles = 30;
  static constexpr std::uint32_t kFirstFolderRecord = 100;
  static constexpr std::uint32_t kLostParent = 999999;  // no folder of the tree

  void SetUp() override {
    ctx.ResetForScan(0);
    ctx.volumeType = FsType::kNtfs;
    misc =
        InsertFolderNode(ctx, ctx.tree->Root(), std::string(kMiscFolderName), kOrphanCluster, 0, 0, 5, false);
    for (int f = 0; f < kFolders; ++f)
      InsertFolderNode(ctx, ctx.tree->Root(), "D" + std::to_string(f), kFirstFolderRecord + f, 0, 0, 5,
                       false);
    TextTable& pending = ctx.tables.PendingEntryTable;
    int self = 1000;
    for (int i = 0; i < kFilesPerFolder; ++i) {
      for (int f = 0; f < kFolders; ++f) {
        AddPendingFile(pending, "f" + std::to_string(f) + "_" + std::to_string(i) + ".txt", "8",
                       std::to_string(self++), kFirstFolderRecord + f, 0, "1", "");
      }
      AddPendingFile(pending, "root" + std::to_string(i) + ".txt", "8", std::to_string(self++), 5, 0, "1",
                     "");
    }
    for (int i = 0; i < kLostFiles; ++i) {
      AddPendingFile(pending, "lost" + std::to_string(i) + ".txt", "8", std::to_string(self++),
                     i % 2 ? kLostParent : kOrphanCluster, 0, "1", "");
    }
  }

  // Lists the root and every folder the way the scan output walks the tree; returns, for each
  // file row listed, the parent key of the folder that listed it, keyed by the file's record.
  std::map<std::string, std::vector<std::string>> ListEverything() {
    std::map<std::string, std::vector<std::string>> where;
    std::vector<TreeItem> items{ctx.tree->Root()};
    for (const FolderNode& node : ctx.folderNodes) items.push_back(node.item);
    for (TreeItem item : items) {
      DetailsList list;
      AddFolderContents(ctx, list, item, {});
      for (const DetailsRow& row : list.rows) {
        if (row.image == RowImage::kFile) where[row.debug3].push_back(row.debug2);
      }
    }
    return where;
  }

  ResultsState ctx;
  TreeItem misc = kNoItem;
};

TEST_F(NtfsWholeListingTest, EveryFolderListedReadsEachRowABoundedNumberOfTimes) {
  const int rows = ctx.tables.PendingEntryTable.RowCount();
  // A file row shown is read in one walk along it (one read); finding the rows of a folder may
  // read each row's parent once more for the whole walk. A walk of the table per folder reads
  // every parent once per folder: kFolders + 2 times here.
  constexpr std::uint64_t kReadsPerRowShown = 1;
  for (int pass = 0; pass < 2; ++pass) {
    const std::uint64_t before = TextTable::CellReadsOnThisThread();
    const auto where = ListEverything();
    const std::uint64_t reads = TextTable::CellReadsOnThisThread() - before;
    EXPECT_LE(reads, (kReadsPerRowShown + 1) * static_cast<std::uint64_t>(rows)) << "pass " << pass;
    // And each file is listed once, in its own folder (the lost ones in the catch-all folder).
    ASSERT_EQ(where.size(), static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
      const std::string& self = ctx.tables.PendingEntryTable.Cell(r, entry_col::kSelf);
      const std::uint32_t parent = ReadU32(ctx.tables.PendingEntryTable.Cell(r, entry_col::kParent));
      const std::uint32_t shownIn = parent == kLostParent ? kOrphanCluster : parent;
      EXPECT_EQ(where.at(self), std::vector<std::string>{U32Text(shownIn)}) << "record " << self;
    }
  }
}

TEST_F(NtfsWholeListingTest, ListingFollowsTheTableAsItChanges) {
  const TreeItem d0 = ctx.folderNodes[1].item;  // record kFirstFolderRecord
  auto namesIn = [&](TreeItem item) {
    DetailsList list;
    AddFolderContents(ctx, list, item, {});
    return Names(list);
  };
  std::vector<std::string> expected;
  for (int i = 0; i < kFilesPerFolder; ++i) expected.push_back("f0_" + std::to_string(i) + ".txt");
  EXPECT_EQ(namesIn(d0), expected);  // table order within the folder

  TextTable& pending = ctx.tables.PendingEntryTable;
  AddPendingFile(pending, "late.txt", "8", "5000", kFirstFolderRecord, 0, "1", "");
  expected.push_back("late.txt");
  EXPECT_EQ(namesIn(d0), expected);

  pending.SetCell(pending.RowCount() - 1, entry_col::kParent, U32Text(kLostParent));
  expected.pop_back();
  EXPECT_EQ(namesIn(d0), expected);
  const std::vector<std::string> lost = namesIn(misc);
  EXPECT_EQ(lost.back(), "late.txt");

  pending.DeleteRow(0);  // f0_0.txt
  expected.erase(expected.begin());
  EXPECT_EQ(namesIn(d0), expected);

  pending.Sort(entry_col::kName);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(d0), expected);

  // A table put in place whole (a log loaded over a scan) is listed, not the rows it replaced.
  TextTable other = pending;
  other.DeleteAllRows();
  AddPendingFile(other, "only.txt", "8", "1", kFirstFolderRecord, 0, "1", "");
  pending = other;
  EXPECT_EQ(namesIn(d0), std::vector<std::string>{"only.txt"});
  pending.DeleteAllRows();
  EXPECT_EQ(namesIn(d0), std::vector<std::string>{});
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

TEST_F(FatListingTest, OpeningAFolderRowGoesDownTheTree) {
  mytreectrl& tree = *ctx.tree;
  std::vector<TreeItem> expanded;
  tree.SetExpandingHandler([&](TreeItem item, bool expanding) {
    if (expanding) expanded.push_back(item);
    OnResultsTreeExpanding(ctx, item, expanding);
  });
  ListFolder(ctx, list, docs, listOnClick, now);
  ASSERT_EQ(list.rows[0].type, "Deleted FOLDER");  // opened like any folder
  list.rows[0].type += "  ";                       // the type is trimmed before the test
  ASSERT_TRUE(OpenListRow(ctx, list, 0));
  EXPECT_EQ(expanded, (std::vector<TreeItem>{docs, sub}));
  EXPECT_EQ(ctx.currentFolder, sub);
  EXPECT_EQ(tree.Image(sub), tree_image::kFolderOpenCurrent);
  EXPECT_EQ(tree.Image(docs), tree_image::kFolderClosed);
  EXPECT_EQ(ui.lastText[control::kCurrentFolder], "Docs\\Sub");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Inner", "f11.txt"}));

  // A file row, a row past the end and a row whose item is gone open nothing.
  ASSERT_EQ(list.rows[1].type, "Text file");
  EXPECT_FALSE(OpenListRow(ctx, list, 1));
  EXPECT_FALSE(OpenListRow(ctx, list, 2));
  const TreeItem inner = list.rows[0].item;
  list.rows[0].item = 999999;
  EXPECT_FALSE(OpenListRow(ctx, list, 0));
  list.rows[0].item = kNoItem;
  EXPECT_FALSE(OpenListRow(ctx, list, 0));
  EXPECT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(ctx.currentFolder, sub);

  // The hidden column's text is only shown: what it says does not decide which folder opens.
  list.rows[0].item = inner;
  list.rows[0].debug3 = "1";
  ASSERT_TRUE(OpenListRow(ctx, list, 0));
  EXPECT_EQ(ctx.currentFolder, inner);
}

}  // namespace
}  // namespace quarrow
