// Both NTFS searches end to end over one small volume built in memory, the $MFT's extents of a
// fragmented MFT, and MFT walks over run lists and attribute lists that lie.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "app/search_outcomes.h"
#include "ntfs/mft_walk.h"
#include "results/folder_tree.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "session/advance_search.h"
#include "session/standard_search.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

// A volume at sector 64 with clusters as large as its records (1 KiB unless told; 2 and 4 KiB as
// mkntfs makes them for volumes of 2048- and 4096-byte sectors), its MFT of 16 records at cluster 8
// and a mirror at cluster 200; folders keep their index records at clusters 100, 110 and 120.
struct Volume {
  static constexpr std::uint64_t kStart = 64, kSectors = 8000;
  static constexpr std::uint32_t kMftCluster = 8, kMirrorCluster = 200;
  std::size_t recordBytes;
  std::uint32_t spc;
  NtfsDisk d{kStart + kSectors + 64};

  std::uint64_t Cluster(std::uint64_t c) const { return kStart + c * spc; }
  void Record(std::uint32_t n, const Bytes& bytes) { d.Put(Cluster(kMftCluster + n), bytes); }
  Bytes Folder(const std::u16string& name, std::uint8_t flags, std::uint32_t n, std::uint32_t parent,
               std::uint32_t indexCluster) const {
    return FileRecordBytes({FileNameAttr(name, 1, parent, 1000 + n),
                            NonResident(0xA0, RunList({{1, indexCluster}}), 1024, u"$I30")},
                           flags, n, recordBytes);
  }
  Bytes File(const std::u16string& name, std::uint8_t flags, std::uint32_t n, std::uint32_t parent,
             std::size_t size, std::uint8_t nameSpace = 1) const {
    return FileRecordBytes({FileNameAttr(name, nameSpace, parent, 1000 + n), Resident(0x80, Bytes(size))},
                           flags, n, recordBytes);
  }
  // The boot sector's word at 64: 2^-n bytes for a record of 2^n.
  std::uint32_t RecordWord() const { return recordBytes == 4096 ? 0xF4 : recordBytes == 2048 ? 0xF5 : 0xF6; }

  explicit Volume(std::size_t record = 1024)
      : recordBytes(record), spc(static_cast<std::uint32_t>(record / 512)) {
    const Bytes record0 = FileRecordBytes(
        {FileNameAttr(u"$MFT", 3), NonResident(0x80, RunList({{16, kMftCluster}}), 16 * recordBytes)}, 1, 0,
        recordBytes);
    d.Put(kStart, NtfsBoot(spc, kSectors, kMftCluster, kMirrorCluster, RecordWord(), 0xF4));
    d.Put(kStart + kSectors - 1, NtfsBoot(spc, kSectors, kMftCluster, kMirrorCluster, RecordWord(), 0xF4));
    Record(0, record0);
    d.Put(Cluster(kMirrorCluster), record0);
    Record(1, File(u"$MFTMirr", 1, 1, 5, 64, 3));
    Record(2, File(u"$LogFile", 1, 2, 5, 0, 3));
    Record(5, Folder(u".", 3, 5, 5, 100));
    Record(6, Folder(u"Docs", 3, 6, 5, 110));
    Record(7, File(u"a.txt", 1, 7, 6, 300));
    Record(8, File(u"b.txt", 0, 8, 6, 20));
    Record(9, Folder(u"Old", 2, 9, 6, 120));
    Record(10, File(u"c.txt", 0, 10, 9, 30));
    Record(11, File(u"posix name", 1, 11, 5, 40, 0));
    Record(12, FileRecordBytes({}, 1, 12, recordBytes));  // no name: not listed
    // 13 keeps its name and data in 14, as a file with many attributes does.
    Record(13,
           FileRecordBytes({Resident(0x20, AttributeList({{0x30, 14}, {0x80, 14}}))}, 1, 13, recordBytes));
    Bytes extension = File(u"split.txt", 1, 14, 6, 50);
    Put(extension, 32, 13, 8);
    Record(14, extension);
    // Index records: each folder's own, named by its first entry's parent. "gone.txt" is a deleted
    // file whose record 15 was cleared: only keys name it, in two folders, and twice in "Old" (a
    // stale copy of the key, as a rewritten index record leaves one).
    d.Put(Cluster(100), IndexRecordBytes({IndexEntryBytes(6, u"Docs", 5, true, 1006)}, 0, 1024));
    d.Put(Cluster(110),
          IndexRecordBytes({IndexEntryBytes(7, u"a.txt", 6, false), KeyEntryBytes(15, u"gone.txt", 6)}, 0,
                           1024));
    d.Put(Cluster(120),
          IndexRecordBytes({IndexEntryBytes(10, u"c.txt", 9, false), KeyEntryBytes(15, u"gone.txt", 9),
                            KeyEntryBytes(15, u"gone.txt", 9)},
                           0, 1024));
    d.ctx.searchStart = kStart;
    d.ctx.searchEnd = kStart + kSectors;
  }
};

// self -> (name, parent, deleted, folder) of what the results tree shows.
using Listing = std::map<std::uint32_t, std::vector<std::tuple<std::string, std::uint32_t, bool, bool>>>;
Listing Shown(const ResultsState& results) {
  Listing out;
  std::set<std::uint32_t> folders{5};
  for (const FolderNode& n : results.folderNodes) {
    out[n.self].emplace_back(n.name, n.parent, n.deleted, true);
    folders.insert(n.self);
  }
  const TextTable& files = results.tables.PendingEntryTable;
  for (int r = 0; r < files.RowCount(); ++r) {
    const FolderRowValues v = ReadFolderRow(files, r);
    if (folders.contains(v.parent)) out[v.self].emplace_back(v.name, v.parent, v.deleted, false);
  }
  return out;
}

const Listing kExpected = {
    {0, {{"$MFT", 5, false, false}}},
    {1, {{"$MFTMirr", 5, false, false}}},
    {2, {{"$LogFile", 5, false, false}}},
    {6, {{"Docs", 5, false, true}}},
    {7, {{"a.txt", 6, false, false}}},
    {8, {{"b.txt", 6, true, false}}},
    {9, {{"Old", 6, true, true}}},
    {10, {{"c.txt", 9, true, false}}},
    {11, {{"posix name", 5, false, false}}},
    {13, {{"split.txt", 6, false, false}}},
    {15, {{"gone.txt", 6, true, false}, {"gone.txt", 9, true, false}}},
    {kOrphanCluster, {{"QRW_Miscellaneous", 5, false, true}}},
};

TEST(NtfsStandardSearchTest, ListsEveryNamedRecordByItsPosition) {
  for (const std::size_t recordBytes : {1024u, 2048u, 4096u}) {
    SCOPED_TRACE(recordBytes);
    Volume v(recordBytes);
    const StandardSearchOutcome out = StandardSearch(v.d.ctx).Run();
    ASSERT_FALSE(out.refused);
    EXPECT_TRUE(out.validated);
    EXPECT_EQ(v.d.ctx.geometry.MftRecordSectors, recordBytes / 512);
    EXPECT_EQ(Shown(v.d.ctx.results), kExpected);
    EXPECT_TRUE(v.d.ctx.results.FilesInTables());
    // A file row: its record's sector and the size of the record that holds its data.
    const TextTable& files = v.d.ctx.results.tables.PendingEntryTable;
    for (int r = 0; r < files.RowCount(); ++r) {
      if (files.Cell(r, entry_col::kName) != "split.txt") continue;
      EXPECT_EQ(files.Cell(r, entry_col::kSector), std::to_string(v.Cluster(Volume::kMftCluster + 13)));
      EXPECT_EQ(files.Cell(r, entry_col::kSize), "50");
    }
    EXPECT_TRUE(
        v.d.feedback.HasText(control::kFolderCounterLabel, "MFT Found                               :"));
    const std::string sectors = std::to_string(16 * recordBytes / 512);
    EXPECT_TRUE(v.d.feedback.HasText(control::kStatus, "Sectors  " + sectors + " of " + sectors));
    EXPECT_FALSE(out.nothingFound);
    EXPECT_EQ(app::AdviceAfterSearch(out), std::nullopt);
  }
}

// The boot sector says how large the records are; an MFT whose records say otherwise is not read
// at the boot sector's size (a record cut apart there would list wrong names under wrong numbers).
TEST(NtfsStandardSearchTest, RecordsWhoseHeaderContradictsTheBootSectorAreNotListed) {
  struct Case {
    std::size_t recordBytes;  // what the records are
    std::uint32_t bootWord;   // what the boot sector says
  };
  for (const Case c : {Case{4096, 0xF6}, Case{1024, 0xF4}, Case{2048, 0xF4}}) {
    SCOPED_TRACE(c.recordBytes);
    Volume v(c.recordBytes);
    v.d.Put(Volume::kStart,
            NtfsBoot(v.spc, Volume::kSectors, Volume::kMftCluster, Volume::kMirrorCluster, c.bootWord, 0xF4));
    EXPECT_TRUE(LoadMftExtents(v.d.ctx, Volume::kStart, v.Cluster(Volume::kMftCluster), v.spc,
                               std::size_t{1} << (256 - c.bootWord))
                    .extents.empty());
    const StandardSearchOutcome out = StandardSearch(v.d.ctx).Run();
    ASSERT_FALSE(out.refused);
    EXPECT_EQ(Shown(v.d.ctx.results), (Listing{{kOrphanCluster, {{"QRW_Miscellaneous", 5, false, true}}}}));
    // The same records with the size the boot sector gives.
    EXPECT_FALSE(LoadMftExtents(v.d.ctx, Volume::kStart, v.Cluster(Volume::kMftCluster), v.spc, c.recordBytes)
                     .extents.empty());
  }
  // Inside an MFT of the boot sector's size, a record that says another size is passed over.
  Volume v(4096);
  v.Record(7, FileRecordBytes({FileNameAttr(u"a.txt", 1, 6, 1007), Resident(0x80, Bytes(300))}, 1, 7, 1024));
  StandardSearch(v.d.ctx).Run();
  Listing expected = kExpected;
  expected.erase(7);
  EXPECT_EQ(Shown(v.d.ctx.results), expected);
}

TEST(NtfsAdvanceSearchTest, FindsTheVolumeAndRebuildsTheSameTree) {
  for (const std::size_t recordBytes : {1024u, 2048u, 4096u})
    for (bool bootSectors : {true, false}) {
      SCOPED_TRACE(bootSectors ? "with boot sectors" : "boot sectors zeroed");
      SCOPED_TRACE(recordBytes);
      Volume v(recordBytes);
      if (!bootSectors) {
        v.d.Put(Volume::kStart, Bytes(512));
        v.d.Put(Volume::kStart + Volume::kSectors - 1, Bytes(512));
      }
      AdvanceSearch search(v.d.ctx);
      ASSERT_FALSE(search.Run().refused);
      const std::vector<IdentifiedFileSystem> fs = search.Identified();
      ASSERT_EQ(fs.size(), 1u);
      EXPECT_EQ(std::make_tuple(fs[0].typeText, fs[0].cluster0, fs[0].spc),
                std::make_tuple("NTFS", Volume::kStart, v.spc));
      ASSERT_FALSE(search.RunSecondStage(0).refused);
      // Files are numbered by their order on the disk; "$MFT" takes the number the system-file
      // names give it, and the mirror's copy of record 0 is listed too. A base record whose name
      // lives in an extension record is listed under its own number, as the Standard search lists
      // it; the extension record is no file of its own.
      Listing expected = kExpected;
      expected.erase(0);
      expected[1] = {{"$MFT", 5, false, false}, {"$MFT", 5, false, false}};
      expected[2] = {{"$MFTMirr", 5, false, false}, {"$LogFile", 5, false, false}};
      EXPECT_EQ(Shown(v.d.ctx.results), expected);
    }
}

TEST(NtfsSearchStopTest, AStopBeforeTheReadingStagesStillEndsWithATree) {
  Volume standard;
  StandardSearch search(standard.d.ctx);
  search.RequestStop();
  EXPECT_TRUE(search.Run().stopped);
  EXPECT_EQ(Shown(standard.d.ctx.results),
            (Listing{{kOrphanCluster, {{"QRW_Miscellaneous", 5, false, true}}}}));
  Volume advance;
  AdvanceSearch scan(advance.d.ctx);
  scan.RequestStop();
  const AdvanceSearchOutcome out = scan.Run();
  EXPECT_TRUE(out.stopped);
  EXPECT_EQ(out.identified, 0);  // the numbering ran on no record
  EXPECT_EQ(app::AdviceAfterSearch(out), AdviceDialog::kAdvanceSearch);
}

TEST(NtfsMftExtentsTest, FragmentedMftGivesItsExtentsInListOrder) {
  Volume v;
  // Record 0 lists its $DATA in itself and in records 3 and 4; record 3 lies in the first extent,
  // record 4 in the second, found through the extents known so far.
  const Bytes list = AttributeList({{0x10, 0}, {0x80, 0}, {0x80, 3}, {0x80, 4}});
  v.Record(0, FileRecordBytes(
                  {Resident(0x20, list), NonResident(0x80, RunList({{4, 8}, {2, 100}}), 16 * 1024)}, 1, 0));
  Bytes piece3 = FileRecordBytes({NonResident(0x80, RunList({{4, 300}}), 0)}, 1, 3);
  Bytes piece4 = FileRecordBytes({NonResident(0x80, RunList({{6, 400}, {1, -10}}), 0)}, 1, 4);
  v.Record(3, piece3);
  v.d.Put(v.Cluster(108), piece4);  // record 4 is the first record of the second extent
  const MftExtentList got = LoadMftExtents(v.d.ctx, Volume::kStart, v.Cluster(8), v.spc);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
  for (const SectorExtent& e : got.extents) extents.emplace_back(e.startSector, e.sectorCount);
  EXPECT_EQ(extents, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{v.Cluster(8), 8},
                                                                           {v.Cluster(108), 4},
                                                                           {v.Cluster(300), 8},
                                                                           {v.Cluster(400), 12},
                                                                           {v.Cluster(390), 2}}));
  EXPECT_EQ(got.recordCount, 16u);
  EXPECT_EQ(RecordToSector(got, 4), v.Cluster(108));
  EXPECT_EQ(RecordToSector(got, 17), 0u);

  // A list naming a record that cannot be read keeps the extents found before it.
  v.Record(3, Bytes(1024));
  EXPECT_EQ(LoadMftExtents(v.d.ctx, Volume::kStart, v.Cluster(8), v.spc).extents.size(), 2u);
}

// A read through the extents takes each sector from its own extent, reads a sparse extent and
// whatever lies past the last one as zeros, and says whether the extents held the whole range,
// whatever the buffer held before.
TEST(NtfsMftExtentsTest, ReadsThroughTheExtentsTileTheBuffer) {
  Volume v;
  for (std::uint64_t s = 0; s < 40; ++s) v.d.Put(1000 + s, Bytes(kSectorSize, static_cast<std::uint8_t>(0x40 + s)));
  MftExtentList list;
  list.recordBytes = 1024;
  list.extents = {{1000, 3, false}, {0, 2, true}, {1020, 4, false}};  // MFT sectors 0-2, 3-4 (sparse), 5-8
  const auto sectorOf = [](const std::vector<std::uint8_t>& buffer, std::size_t i) {
    const auto at = buffer.begin() + static_cast<std::ptrdiff_t>(i * kSectorSize);
    const bool same = std::all_of(at, at + kSectorSize, [&](std::uint8_t b) { return b == *at; });
    return same ? int{*at} : -1;
  };
  struct Case {
    std::uint64_t first, count;
    bool whole;
    std::vector<int> sectors;  // the byte each sector of the buffer holds throughout
  };
  const Case cases[] = {
      {0, 9, true, {0x40, 0x41, 0x42, 0, 0, 0x54, 0x55, 0x56, 0x57}},
      {2, 4, true, {0x42, 0, 0, 0x54}},
      {7, 4, false, {0x56, 0x57, 0, 0}},  // past the last extent
      {12, 2, false, {0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buffer(c.count * kSectorSize, 0xEE);
    EXPECT_EQ(ReadMftSectors(v.d.ctx, list, c.first, buffer), c.whole) << "from " << c.first;
    std::vector<int> got;
    for (std::size_t i = 0; i < c.count; ++i) got.push_back(sectorOf(buffer, i));
    EXPECT_EQ(got, c.sectors) << "from " << c.first;
  }
}

TEST(NtfsMftWalkTest, LyingRunListsAndAttributeListsStayBounded) {
  struct Case {
    const char* what;
    Bytes record0;
  };
  std::vector<std::pair<std::uint32_t, std::uint32_t>> many;
  for (std::uint32_t i = 0; i < 200; ++i) many.emplace_back(0x30, 1000 + i);
  Bytes offTheEnd = FileRecordBytes({NonResident(0x80, RunList({{16, 8}}), 16 * 1024)});
  Put(offTheEnd, 56 + 32, 1024 - 40 - 56, 2);  // the run list starts 40 bytes before the end
  for (std::size_t i = 1024 - 40; i < 1024; ++i) offTheEnd[i] = 0x11;
  const Case cases[] = {
      {"a run of 2^40 clusters",
       FileRecordBytes({NonResident(0x80, RunList({{1ull << 40, 8}}), 1ull << 52)})},
      {"a run list running off the record", offTheEnd},
      {"an attribute list of 200 records, read through its runs",
       FileRecordBytes({NonResident(0x20, RunList({{7, 500}}), 200 * 32),
                        NonResident(0x80, RunList({{16, 8}}), 16 * 1024)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Volume v;
    v.Record(0, c.record0);
    v.d.Put(v.Cluster(500), AttributeList(many));
    v.d.ctx.activeGeometry.Cluster0Sector = Volume::kStart;
    v.d.ctx.activeGeometry.SectorsPerCluster = v.spc;
    const MftExtentList list = LoadMftExtents(v.d.ctx, Volume::kStart, v.Cluster(8), v.spc);
    WalkMft(v.d.ctx, list);
    // Never more records than the range holds, whatever the run list claims.
    EXPECT_LE(
        v.d.ctx.results.tables.PendingEntryTable.RowCount() + v.d.ctx.results.tables.EntryTable.RowCount(),
        static_cast<int>(Volume::kSectors / 2 + 1));
  }
}

}  // namespace
}  // namespace quarrow
