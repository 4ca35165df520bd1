// FAT volumes as people's disks hold them: names in other code pages and cases, labels, FAT12
// chains, folders the data-area scan cannot see, loops, and volumes without a partition table.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/results_page.h"
#include "disk/platform.h"
#include "fat/boot_sector.h"
#include "fat/directory_passes.h"
#include "fat/fat_reader.h"
#include "fat_test_volume.h"
#include "partition/partition_table.h"
#include "partition_test_disk.h"
#include "session/standard_search.h"

namespace quarrow {
namespace {

using namespace fat_test;

constexpr std::uint32_t kEof = 0x0FFFFFFF;

Entry Deleted(Entry e) {
  e[0] = 0xE5;
  return e;
}

Entry WithCaseFlags(Entry e, std::uint8_t flags) {
  e[12] = flags;
  return e;
}

TEST(FatShortNames, CaseFlagsCodePagesAndTheE5Escape) {
  const CodePage cp437;
  const CodePage cp866 = *CodePage::Open(866);
  struct Case {
    Entry entry;
    const CodePage* page;
    std::string name;
    bool deleted;
  };
  Entry oem = ShortEntry("XXXX    TXT", 0x20, 5);
  oem[0] = 0x8F, oem[1] = 0x80, oem[2] = 0x84, oem[3] = 0x9A;  // 437: ÅÇäÜ; 866: ПАДЪ
  Entry escaped = ShortEntry("XABC    TXT", 0x20, 5);
  escaped[0] = 0x05;  // a name whose first byte is really 0xE5
  const std::vector<Case> cases = {
      {WithCaseFlags(ShortEntry("README  TXT", 0x20, 5), 0x18), &cp437, "readme.txt", false},
      {WithCaseFlags(ShortEntry("DESKTOP INI", 0x20, 5), 0x08), &cp437, "desktop.INI", false},
      {WithCaseFlags(ShortEntry("PHOTO   JPG", 0x20, 5), 0x10), &cp437, "PHOTO.jpg", false},
      {WithCaseFlags(ShortEntry("SRC        ", 0x10, 5), 0x08), &cp437, "src", false},
      {WithCaseFlags(Deleted(ShortEntry("XOTES   TXT", 0x20, 5)), 0x18), &cp437, "_otes.txt", true},
      {oem, &cp437, "\xC3\x85\xC3\x87\xC3\xA4\xC3\x9C.TXT", false},
      {oem, &cp866, "\xD0\x9F\xD0\x90\xD0\x94\xD0\xAA.TXT", false},
      {escaped, &cp437,
       "\xCF\x83"
       "ABC.TXT",
       false},  // 0xE5 is sigma in code page 437
  };
  for (const Case& c : cases) {
    const ShortName n = AssembleShortName(c.entry, 0, *c.page);
    EXPECT_EQ(n.name, c.name);
    EXPECT_EQ(n.deleted, c.deleted) << c.name;
  }
}

TEST(FatTwelve, EntriesOfTwelveBitsAcrossSectorBoundaries) {
  TestDisk d{64};
  d.ctx.activeGeometry.type = FsType::kFat12;
  d.ctx.activeGeometry.FirstFatSector = 10;
  d.ctx.activeGeometry.FatSectors = 3;
  // Entries n and n+1 share three bytes: low 12 bits for the even one, high 12 for the odd one.
  std::vector<std::uint8_t> fat(3 * 512, 0);
  const auto set = [&](std::uint32_t n, std::uint32_t value) {
    const std::size_t at = n + n / 2;
    if (n & 1) {
      fat[at] = static_cast<std::uint8_t>((fat[at] & 0x0F) | ((value & 0x0F) << 4));
      fat[at + 1] = static_cast<std::uint8_t>(value >> 4);
    } else {
      fat[at] = static_cast<std::uint8_t>(value);
      fat[at + 1] = static_cast<std::uint8_t>((fat[at + 1] & 0xF0) | ((value >> 8) & 0x0F));
    }
  };
  // Entry 341 lies in bytes 511 and 512: across the first two FAT sectors.
  set(2, 3), set(3, 341), set(341, 342), set(342, 700), set(700, 0xFFF);
  set(10, 11), set(11, 0xFF8);  // 0xFF8 and above end a FAT12 chain
  set(20, 0xFF7);               // a bad-cluster mark is followed like the FAT16 rule follows it
  d.disk->Write(10 * 512, fat);
  FatReader reader(d.ctx);
  EXPECT_EQ(reader.Entry(341), 342u);
  EXPECT_EQ(reader.Entry(3), 341u);
  EXPECT_EQ(FollowClusterChain(reader, 2), (ClusterChain{2, 3, 341, 342, 700}));
  EXPECT_EQ(FollowClusterChain(reader, 10), (ClusterChain{10, 11}));
  EXPECT_EQ(FollowClusterChain(reader, 20), (ClusterChain{20, 0xFF7}));
  EXPECT_EQ(reader.Entry(1100), 0u);             // FAT sector 3, the one just past the last, is still read
  EXPECT_FALSE(reader.Entry(1400).has_value());  // past it

  // A volume chosen as "FAT16" whose boot sector counts under 4085 clusters is FAT12.
  partition_test::Fat16Figures f;
  partition_test::Sector boot = partition_test::Fat16Boot(f);
  test_support::Put16(boot, 19, 8000);  // (8000 - 4 - 64 - 32) / 4 = 1975 clusters
  EXPECT_EQ(RefineFatType(boot, FsType::kFat16), FsType::kFat12);
  test_support::Put16(boot, 19, 0);
  test_support::Put32(boot, 32, 40000);  // 9975 clusters
  EXPECT_EQ(RefineFatType(boot, FsType::kFat16), FsType::kFat16);
  EXPECT_EQ(RefineFatType(boot, FsType::kFat32), FsType::kFat32);
}

// A FAT32 volume whose folders are placed by the names their parents give them:
//   /KEEP (3)      KEEP.TXT; its ".." says cluster 9, a folder named nowhere
//   /DOTLESS (4)   its dot entries are gone; FILE.TXT and INNER (5, with dots, parent 4)
//   /_GONE (6)     deleted, its cluster now holds a file's bytes; ORPHAN (7) names 6 as parent
//   /A (8)/B (10)/C (11)   C holds an entry BACK naming A; B's chain runs on into A's cluster
//   /TWIN1, /TWIN2 both name cluster 12 (without dot entries): listed once, by the first
//   cluster 9      a folder whose ".." names the root but whose entry is gone
struct PlacedVolume {
  PlacedVolume() {
    layout.fatSectors = 32;
    layout.Apply(d.ctx, 700);
    d.Put(layout.FirstFat(), [] {
      Sector s{};
      s[0] = 0xF8, s[1] = 0xFF, s[2] = 0xFF;
      return s;
    }());
    for (std::uint32_t c : {2u, 3u, 4u, 5u, 7u, 8u, 11u, 12u, 9u}) SetFat32(d, layout, c, kEof);
    SetFat32(d, layout, 10, 8);  // B's chain: 10, then A's first cluster
    d.PutEntries(layout.ClusterSector(2),
                 {ShortEntry("QRWTEST    ", 0x08, 0), ShortEntry("KEEP       ", 0x10, 3),
                  ShortEntry("DOTLESS    ", 0x10, 4), Deleted(ShortEntry("XGONE      ", 0x10, 6)),
                  ShortEntry("A          ", 0x10, 8), ShortEntry("TWIN1      ", 0x10, 12),
                  ShortEntry("TWIN2      ", 0x10, 12)});
    d.Put(layout.ClusterSector(3), DirectoryStart(3, 9, {ShortEntry("KEEP    TXT", 0x20, 30, 5)}));
    d.PutEntries(layout.ClusterSector(4),
                 {ShortEntry("FILE    TXT", 0x20, 31, 7), ShortEntry("INNER      ", 0x10, 5)});
    d.Put(layout.ClusterSector(5), DirectoryStart(5, 4, {ShortEntry("DEEP    TXT", 0x20, 32, 9)}));
    d.Put(layout.ClusterSector(6), Sector{'N', 'E', 'W', ' ', 'D', 'A', 'T', 'A'});
    d.Put(layout.ClusterSector(7), DirectoryStart(7, 6, {ShortEntry("LEFT    TXT", 0x20, 33, 1)}));
    d.Put(layout.ClusterSector(8), DirectoryStart(8, 0, {ShortEntry("B          ", 0x10, 10)}));
    d.Put(
        layout.ClusterSector(10),
        DirectoryStart(10, 8, {ShortEntry("C          ", 0x10, 11), ShortEntry("B       TXT", 0x20, 34, 2)}));
    d.Put(layout.ClusterSector(11), DirectoryStart(11, 10, {ShortEntry("BACK       ", 0x10, 8)}));
    d.PutEntries(layout.ClusterSector(12), {ShortEntry("TWIN    TXT", 0x20, 35, 3)});
    d.Put(layout.ClusterSector(9), DirectoryStart(9, 0));  // a folder whose entry is gone
  }

  // Every folder by path, and every file by path, after every folder was opened.
  void Walk() {
    ResultsState& results = d.ctx.results;
    mytreectrl& tree = *results.tree;
    tree.SetExpandingHandler(
        [&](TreeItem item, bool expanding) { OnResultsTreeExpanding(results, item, expanding); });
    std::vector<std::pair<TreeItem, std::string>> stack{{tree.Root(), ""}};
    while (!stack.empty()) {
      auto [item, path] = stack.back();
      stack.pop_back();
      if (item != tree.Root()) tree.Expand(item, true);
      DetailsList list;
      ListFolder(results, list, item, true, LocalTimeNow());
      for (const DetailsRow& row : list.rows) {
        const std::string p = path.empty() ? row.name : path + "/" + row.name;
        if (row.image == RowImage::kFile) files[p] = row;
      }
      for (TreeItem child : tree.Children(item)) {
        const std::string p = path.empty() ? tree.Text(child) : path + "/" + tree.Text(child);
        folders[p] = results.folderNodes.FindByItem(child);
        stack.push_back({child, p});
      }
    }
  }

  Fat32Layout layout;
  TestDisk d{700};
  std::map<std::string, const FolderNode*> folders;
  std::map<std::string, DetailsRow> files;
};

TEST(FatPlacedByName, FoldersKeepTheirPathsWhateverTheirDotEntriesSay) {
  PlacedVolume v;
  RunFatStandardStages(v.d.ctx, true, nullptr);
  v.Walk();
  std::vector<std::string> paths;
  for (const auto& [path, node] : v.folders) paths.push_back(path);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"A", "A/B", "A/B/C", "A/B/C/BACK", "DOTLESS", "DOTLESS/INNER", "Dir5",
                                      "KEEP", "QRW_Miscellaneous", "QRW_Miscellaneous/Dir3", "TWIN1", "_GONE"}));
  // The entry naming an ancestor is a folder of its own with nothing in it: A is listed once.
  EXPECT_EQ(v.folders["A/B/C/BACK"]->self, kHollowFolderKey);
  EXPECT_FALSE(v.folders["A/B/C/BACK"]->deleted);
  // Named folders are where their names put them, with the files their own directories hold.
  EXPECT_EQ(v.folders["KEEP"]->parent, 0u);
  EXPECT_TRUE(v.files.count("KEEP/KEEP.TXT"));
  EXPECT_TRUE(v.files.count("DOTLESS/FILE.TXT"));
  EXPECT_TRUE(v.files.count("DOTLESS/INNER/DEEP.TXT"));
  EXPECT_EQ(v.folders["DOTLESS"]->self, 4u);
  // B's chain ran into A's first cluster: B lists its own file and none of A's entries.
  EXPECT_TRUE(v.files.count("A/B/B.TXT"));
  EXPECT_TRUE(v.files.count("TWIN1/TWIN.TXT"));
  EXPECT_EQ(v.files.size(), 6u);
  // The deleted folder whose cluster another file took: listed, deleted and empty.
  EXPECT_TRUE(v.folders["_GONE"]->deleted);
  EXPECT_FALSE(v.files.count("_GONE/NEW DATA"));
  // What no name reaches stays where its ".." puts it: the folder the gone one held (its ".."
  // names the gone folder, whose directory is lost) under the catch-all folder, and a folder
  // whose ".." names the root at the root, by its generated name.
  EXPECT_EQ(v.folders["QRW_Miscellaneous/Dir3"]->self, 7u);
  EXPECT_TRUE(v.files.count("QRW_Miscellaneous/Dir3/LEFT.TXT"));
  EXPECT_EQ(v.folders["Dir5"]->self, 9u);
  EXPECT_EQ(v.d.ctx.results.volumeLabel, "QRWTEST");
}

TEST(FatPlacedByName, ALoopOfDotDotEntriesDoesNotTakeANamedTreeAway) {
  PlacedVolume v;
  // A's ".." now names C: the folders A, B and C name each other in a circle.
  v.d.Put(v.layout.ClusterSector(8), DirectoryStart(8, 11, {ShortEntry("B          ", 0x10, 10)}));
  RunFatStandardStages(v.d.ctx, true, nullptr);
  v.Walk();
  EXPECT_TRUE(v.folders.count("A/B/C"));
  EXPECT_EQ(v.folders["A"]->parent, 0u);
  // C's entry naming A is listed, with nothing below it.
  EXPECT_EQ(v.folders["A/B/C/BACK"]->self, kHollowFolderKey);
  for (const auto& [path, node] : v.folders) EXPECT_FALSE(path.find("BACK/") != std::string::npos) << path;
}

TEST(FatVolumeWithoutTable, BootSectorAtSectorZeroIsPartitionOne) {
  using namespace partition_test;
  // A FAT16 volume formatted on the whole disk: no table, its boot sector at 0.
  MemoryDisk disk(40000);
  Fat16Figures f;
  Sector boot = Fat16Boot(f);
  Put16(boot, 19, 30000);
  disk.Write(0, boot);
  disk.Write(f.reserved + f.sectorsPerFat, FatStart(0xF8));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  PartitionWalkOutcome out = WalkPartitionTable(disk.reader, 0, disk.Sectors(), tree, state);
  EXPECT_TRUE(out.volumeWithoutTable);
  ASSERT_EQ(state.ForDisk(0).count, 1);
  EXPECT_EQ(state.ForDisk(0).entries[0].firstSector, 0u);
  EXPECT_EQ(state.ForDisk(0).entries[0].endSector, 30000u);
  EXPECT_EQ(state.ForDisk(0).type[0], FsType::kFat16);
  EXPECT_EQ(tree.Text(state.ForDisk(0).entries[0].item), "Partition - 1 ( FAT16 )");

  // A boot sector that validation refuses (its second FAT is not there) lists nothing.
  disk.Write(f.reserved + f.sectorsPerFat, Sector{});
  EXPECT_FALSE(WalkPartitionTable(disk.reader, 0, disk.Sectors(), tree, state).volumeWithoutTable);
  EXPECT_EQ(state.ForDisk(0).count, 0);
}

TEST(FatVolumeWithoutTable, SoundEntriesAreATableWhateverTheBootCodeHolds) {
  using namespace partition_test;
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    MemoryDisk disk(200000);
    Sector mbr = PartitionTable({{0x0C, 2048, 81920}, {0x06, 90000, 20000}});
    // Random boot code, with a jump and a plausible-looking parameter block more often than not.
    for (std::size_t i = 0; i < 446; ++i) mbr[i] = static_cast<std::uint8_t>(rng());
    if (round % 2 == 0) {
      Sector fake = Fat16Boot({});
      std::copy(fake.begin(), fake.begin() + 62, mbr.begin());
    }
    disk.Write(0, mbr);
    disk.Write(2048, Fat32Boot({}));
    mytreectrl tree(TreeKind::kPartitions, 0);
    PartitionState state;
    PartitionWalkOutcome out = WalkPartitionTable(disk.reader, 0, disk.Sectors(), tree, state);
    EXPECT_FALSE(out.volumeWithoutTable) << round;
    EXPECT_EQ(state.ForDisk(0).count, 2) << round;
  }
}

}  // namespace
}  // namespace quarrow
