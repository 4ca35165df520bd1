// The Advance search on FAT: the sector scan, the file-system analysis (checked against a
// straightforward quadratic analysis on generated tables) and the second-stage setup.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stop_token>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "carve/carve.h"
#include "fat/advance_scan.h"
#include "fat/directory_reader.h"
#include "fat/fat_reader.h"
#include "fat/fs_analysis.h"
#include "fat_test_volume.h"
#include "results/table_numbers.h"
#include "support/fat_analysis_reference.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using fat_test::TestDisk;
namespace pt = partition_test;

std::vector<std::string> Row(const TextTable& t, int r) {
  std::vector<std::string> cells;
  for (int c = 0; c < t.ColumnCount(); ++c) cells.push_back(t.Cell(r, c));
  return cells;
}
std::vector<std::string> Column(const TextTable& t, int c) {
  std::vector<std::string> cells;
  for (int r = 0; r < t.RowCount(); ++r) cells.push_back(t.Cell(r, c));
  return cells;
}

pt::Sector Fat32Boot(std::uint32_t total) {
  pt::Sector s = pt::Fat32Boot({});  // 8 sectors per cluster, 32 reserved, 600 per FAT, root 2
  pt::Put32(s, 32, total);
  return s;
}

TEST(FatAdvanceScan, BootSectorsAndDirectoriesBecomeRowsInTheirTextForms) {
  TestDisk d{8192};
  d.Put(2048, Fat32Boot(100000));
  d.Put(2054, Fat32Boot(100000));  // its backup: Cluster0Start comes out 6 higher
  pt::Sector fat12 = pt::Fat16Boot({.label = "FAT12   "});
  d.Put(3000, fat12);
  d.Put(3100, pt::NtfsBoot({}));
  pt::Sector fat16 = pt::Fat16Boot({});
  pt::Put32(fat16, 32, 5000);
  d.Put(5000, fat16);
  fat_test::Sector both = fat_test::DirectoryStart(0x12345, 7);
  both[57] = '1', both[58] = '6', both[510] = 0x55, both[511] = 0xAA;
  d.Put(6000, both);
  d.Put(7100, fat_test::DirectoryStart(0x20003, 0x10002));
  d.ctx.searchStart = 2048;
  d.ctx.searchEnd = 7000;  // the last chunk is tested whole, so 7100 is still examined
  AdvanceScan(d.ctx);

  const TextTable& fs = d.ctx.results.tables.FileSystemTable;
  ASSERT_EQ(fs.RowCount(), 5);
  using V = std::vector<std::string>;
  EXPECT_EQ(Row(fs, 0), (V{"2048", "600", "8", "0", "2", "32", "3264", "2080", "2680", "102048", "FAT32"}));
  EXPECT_EQ(Row(fs, 1), (V{"2054", "600", "8", "0", "2", "32", "3270", "2086", "2686", "102054", "FAT32"}));
  // A FAT12 boot sector is recorded like a FAT16 one, under the name the user sees for both.
  EXPECT_EQ(Row(fs, 2), (V{"3000", "32", "4", "32", "3068", "4", "3092", "3004", "3036", "3000", "FAT16"}));
  EXPECT_EQ(Row(fs, 3), (V{"5000", "32", "4", "32", "5068", "4", "5092", "5004", "5036", "10000", "FAT16"}));
  EXPECT_EQ(fs.Cell(4, 0), "6000");
  const TextTable& dirs = d.ctx.results.tables.DirectoryTable;
  ASSERT_EQ(dirs.RowCount(), 2);
  EXPECT_EQ(dirs.Cell(0, 0), "6000");
  EXPECT_EQ(Row(dirs, 1), (V{"7100", "131075", "65538", "0", "22565", "26848", ""}));
  EXPECT_TRUE(d.feedback.HasText(control::kBootCounter, "5"));
  EXPECT_TRUE(d.feedback.HasText(control::kFolderCounter, "2"));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  0 of 7000"));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Sectors  6144 of 7000"));
}

// The sector scan lists the sectors that start a file recognised by its content, in order, with
// their format; a look-alike is not listed, and with carving off nothing is.
TEST(FatAdvanceScan, FileStartsRecognisedByContentAreListedUnlessCarvingIsOff) {
  auto text = [](std::string_view t) {
    fat_test::Sector s{};
    std::copy(t.begin(), t.end(), s.begin());
    return s;
  };
  fat_test::Sector jpeg{};
  const std::uint8_t jfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
                               0xFF, 0xDB, 0, 67};
  std::copy(std::begin(jfif), std::end(jfif), jpeg.begin());
  TestDisk d{4096};
  d.Put(100, jpeg);
  d.Put(1023, text("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n"));  // the last sector of the first chunk
  d.Put(1024, text("%PDF-one point five, a text about PDF files\n"));
  d.Put(3000, text(std::string_view("GIF89a\x02\x00\x02\x00\x00\x00\x00\x2C", 14)));
  d.Put(3001, Fat32Boot(100000));
  for (const bool carve : {true, false}) {
    SCOPED_TRACE(carve);
    d.ctx.ResetForScan();
    d.ctx.carve = carve;
    d.ctx.searchStart = 0;
    d.ctx.searchEnd = 4096;
    AdvanceScan(d.ctx);
    std::vector<std::pair<std::uint64_t, std::string>> found;
    for (const CarvedStartRow& c : d.ctx.results.carvedStarts)
      found.emplace_back(c.sector, std::string(CarveTypeExtension(c.type)));
    const std::vector<std::pair<std::uint64_t, std::string>> expected =
        carve ? std::vector<std::pair<std::uint64_t, std::string>>{{100, "jpg"}, {1023, "pdf"}, {3000, "gif"}}
              : std::vector<std::pair<std::uint64_t, std::string>>{};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(d.ctx.results.tables.FileSystemTable.RowCount(), 1);
  }
}

// From a disk and from an image file, whose chunks two threads read into several buffers.
TEST(FatAdvanceScan, FailedChunksGiveOnlyTheirReadableSectorsAndStopEndsBetweenChunks) {
  for (const bool imageFile : {false, true}) {
    SCOPED_TRACE(imageFile ? "image file" : "disk");
    TestDisk d{8192};
    d.disk->SetImageFile(imageFile);
    d.Put(100, fat_test::DirectoryStart(5, 0));
    d.Put(200, Fat32Boot(1000));
    d.disk->MarkBadRange(1024, 1024);  // a whole chunk that cannot be read
    d.disk->MarkBad(2100);             // one bad sector in the next chunk
    d.Put(2101, fat_test::DirectoryStart(9, 5));
    d.disk->MarkBadRange(5120, 1024);  // a chunk that reuses the first chunk's buffer
    d.ctx.searchEnd = 8192;
    AdvanceScan(d.ctx);
    // Stale bytes of an earlier chunk would repeat its finds at 1124 and 1224, or 5220 and 5320.
    EXPECT_EQ(Column(d.ctx.results.tables.DirectoryTable, 0), (std::vector<std::string>{"100", "2101"}));
    EXPECT_EQ(Column(d.ctx.results.tables.FileSystemTable, 0), (std::vector<std::string>{"200"}));
    EXPECT_EQ(d.ctx.readTotals.unreadable, 2049u);

    struct StopAfterFirstChunk : fat_test::RecordingFeedback {
      std::stop_source source;
      void SetProgress(int, int, std::string_view) override { source.request_stop(); }
    } stopping;
    d.ctx.results.tables.ClearAll();
    d.ctx.SetFeedback(stopping);
    d.ctx.stop = stopping.source.get_token();
    AdvanceScan(d.ctx);
    EXPECT_EQ(d.ctx.results.tables.DirectoryTable.RowCount(), 1);
  }
}

TEST(FatAdvanceScan, ClassifiersStayInBoundsOnRandomAndShortSectors) {
  std::mt19937 rng(13);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(i % 600));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(rng));
    // Plant the patterns the tests look for, so that the decoders behind them run too.
    const std::pair<std::size_t, std::string_view> marks[] = {{0, ". "}, {32, ".. "}, {85, "32"}, {57, "16"}};
    for (auto [at, mark] : marks) {
      if (bytes.size() < at + mark.size() || byte(rng) < 128) continue;
      std::copy(mark.begin(), mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (bytes.size() >= 512 && byte(rng) < 128) bytes[510] = 0x55, bytes[511] = 0xAA;
    if (const auto boot = ClassifyBootSector(bytes, UINT64_MAX - static_cast<std::uint64_t>(i))) {
      EXPECT_TRUE(HasBootSignature(bytes));
      EXPECT_EQ(boot->type, BytesEqual(bytes, 85, "32") ? FsType::kFat32 : FsType::kFat16);
    }
    if (auto dir = ClassifyDirectorySector(bytes, static_cast<std::uint64_t>(i))) {
      EXPECT_TRUE(BytesEqual(bytes, 32, ".. "));
      EXPECT_EQ(dir->Cells()[0], std::to_string(i));
    }
  }
}

// The analysis's input: directories as (sector, self) and boot sectors as (SPC, Cluster0Start,
// end), in table order.
struct Dir {
  std::int64_t sector;
  std::uint32_t self;
};
struct Boot {
  std::uint32_t spc;
  std::int64_t cluster0;
  std::int64_t end;
};

void Fill(ScanContext& ctx, const std::vector<Dir>& dirs, const std::vector<Boot>& boots = {}) {
  ctx.results.tables.ClearAll();
  for (const Dir& dir : dirs) {
    const auto cells = DirectoryRow{static_cast<std::uint64_t>(dir.sector), dir.self, 1, 2, 3}.Cells();
    const int r = ctx.results.tables.DirectoryTable.AppendRow(cells[0]);
    for (int c = 1; c < 7; ++c)
      ctx.results.tables.DirectoryTable.SetCell(r, c, cells[static_cast<std::size_t>(c)]);
  }
  for (const Boot& b : boots) {
    const int r = ctx.results.tables.FileSystemTable.AppendRow(std::to_string(b.cluster0 - 100));
    ctx.results.tables.FileSystemTable.SetCell(r, 2, std::to_string(b.spc));
    ctx.results.tables.FileSystemTable.SetCell(r, 6, std::to_string(b.cluster0));
    ctx.results.tables.FileSystemTable.SetCell(r, 9, std::to_string(b.end));
    ctx.results.tables.FileSystemTable.SetCell(r, 10, "FAT32");
  }
}

class FatAnalysisTest : public ::testing::Test {
 protected:
  FatAnalysisTest() { d.ctx.partitionType = FsType::kFat16; }
  std::vector<std::string> FileSystems() { return Column(d.ctx.results.tables.DirectoryTable, 3); }
  TestDisk d{2048};
};

TEST_F(FatAnalysisTest, PairGivesTheLayoutAndCollectsTheDirectoriesOnIt) {
  Fill(d.ctx, {{10000, 100}, {10050, 300}, {10040, 110}, {10080, 120}, {10020, 105}, {9000, 50}});
  EXPECT_EQ(AnalyzeFileSystems(d.ctx), 1);
  EXPECT_EQ(FileSystems(), (std::vector<std::string>{"1", "-1", "1", "1", "1", "-1"}));
  EXPECT_EQ(Row(d.ctx.results.tables.IdentifiedFileSystemTable, 0),
            (std::vector<std::string>{"0", "", "4", "", "", "", "9600", "", "", "", "FAT16"}));
  EXPECT_TRUE(d.feedback.HasText(control::kStatus, "Analyzing The Data For File Systems Phase 2 \\ 2   ..."));
}

TEST_F(FatAnalysisTest, PairsThatGiveNoClusterSizeDoNotFit) {
  for (std::int64_t second : {10030, 12560, 10045, 10005}) {  // 3, 256, no divisor, 1/2 sector
    Fill(d.ctx, {{10000, 100}, {second, 110}});
    EXPECT_EQ(AnalyzeFileSystems(d.ctx), 0) << second;
    EXPECT_EQ(FileSystems(), (std::vector<std::string>{"-1", "-1"})) << second;
  }
}

TEST_F(FatAnalysisTest, BootSectorsTakeTheirDirectoriesFirstAndForGood) {
  // (10000, 100) sits on the second boot sector's layout (8 per cluster from 9200); with the
  // later (10040, 110) it would make a 4-per-cluster pair, but a directory a boot sector took is
  // never paired. The first boot sector owns nothing and is not copied.
  Fill(d.ctx, {{10000, 100}, {10040, 110}, {9200 + 8 * 5000, 5000}},
       {{4, 1, 1000}, {8, 9200, 20000}, {8, 9200, 90000}});
  EXPECT_EQ(AnalyzeFileSystems(d.ctx), 2);
  EXPECT_EQ(FileSystems(), (std::vector<std::string>{"1", "-1", "2"}));
  EXPECT_EQ(Row(d.ctx.results.tables.IdentifiedFileSystemTable, 0),
            Row(d.ctx.results.tables.FileSystemTable, 1));
  EXPECT_EQ(Row(d.ctx.results.tables.IdentifiedFileSystemTable, 1),
            Row(d.ctx.results.tables.FileSystemTable, 2));
}

TEST_F(FatAnalysisTest, DerivedFileSystemIsFat32OnlyPastCluster65536) {
  for (auto [largest, partition, label] : {std::tuple{70000u, FsType::kFat16, "FAT32"},
                                           {65536u, FsType::kFat16, "FAT16"},
                                           {65537u, FsType::kFat12, "FAT32"},
                                           {200u, FsType::kFat32, "FAT32"}}) {
    d.ctx.partitionType = partition;
    Fill(d.ctx, {{5100, 100}, {5101, 101}, {std::int64_t{5000} + largest, largest}});
    EXPECT_EQ(AnalyzeFileSystems(d.ctx), 1);
    EXPECT_EQ(d.ctx.results.tables.IdentifiedFileSystemTable.Cell(0, 10), label) << largest;
  }
}

TEST_F(FatAnalysisTest, FastAnalysisGivesTheStraightforwardTables) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    auto below = [&](std::uint32_t n) { return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng); };
    std::vector<Dir> dirs;
    // Several file systems whose directories interleave on the disk, with copies of some
    // directories, stale copies elsewhere, directories that fit more than one layout and noise.
    struct Layout {
      std::uint32_t spc;
      std::int64_t c0;
    };
    std::vector<Layout> layouts;
    for (std::uint32_t k = 0, count = 1 + below(5); k < count; ++k)
      layouts.push_back(
          {1u << below(8), below(6) == 0 ? 0 : static_cast<std::int64_t>(below(k == 0 ? 3000 : 50000))});
    const std::uint32_t total = 50 + below(seed % 4 == 0 ? 1500 : 600);
    for (std::uint32_t i = 0; i < total; ++i) {
      const Layout& l = layouts[below(static_cast<std::uint32_t>(layouts.size()))];
      const std::uint32_t self = 2 + below(seed % 5 == 0 ? 90000 : 3000);
      switch (below(10)) {
        case 0:
          dirs.push_back({static_cast<std::int64_t>(below(400000)), below(70000)});
          break;
        case 1:
          if (!dirs.empty()) dirs.push_back(dirs[below(static_cast<std::uint32_t>(dirs.size()))]);
          break;
        case 2:  // a stale copy: the same directory at another sector
          if (!dirs.empty()) {
            const Dir j = dirs[below(static_cast<std::uint32_t>(dirs.size()))];
            dirs.push_back({std::max<std::int64_t>(0, j.sector + below(2000) - 1000), j.self});
          }
          break;
        case 3:  // a directory that also fits an earlier one with another cluster size
          if (!dirs.empty()) {
            const Dir j = dirs[below(static_cast<std::uint32_t>(dirs.size()))];
            const std::uint32_t step = 1 + below(40);
            dirs.push_back({j.sector + std::int64_t{step} * (1 << below(8)), j.self + step});
          }
          break;
        default:
          dirs.push_back({l.c0 + std::int64_t{self} * l.spc, self});
      }
    }
    if (seed % 3 == 0) std::sort(dirs.begin(), dirs.end(), [](Dir a, Dir b) { return a.sector < b.sector; });
    if (seed % 5 == 2) std::shuffle(dirs.begin(), dirs.end(), rng);
    if (seed % 7 == 0) std::reverse(dirs.begin() + static_cast<std::ptrdiff_t>(dirs.size() / 2), dirs.end());
    std::vector<Boot> boots;
    if (seed % 2 == 0) boots.push_back({layouts[0].spc, layouts[0].c0, layouts[0].c0 + 200000});

    d.ctx.partitionType = seed % 4 == 1 ? FsType::kFat32 : FsType::kFat16;
    Fill(d.ctx, dirs, boots);
    const int fast = AnalyzeFileSystems(d.ctx);
    const ScanTables fastTables = d.ctx.results.tables;
    Fill(d.ctx, dirs, boots);
    ASSERT_EQ(test_support::StraightforwardAnalysis(d.ctx), fast) << seed;
    ASSERT_EQ(Column(fastTables.DirectoryTable, 3), FileSystems()) << seed;
    const TextTable& id = d.ctx.results.tables.IdentifiedFileSystemTable;
    ASSERT_EQ(fastTables.IdentifiedFileSystemTable.RowCount(), id.RowCount()) << seed;
    for (int r = 0; r < id.RowCount(); ++r)
      ASSERT_EQ(Row(fastTables.IdentifiedFileSystemTable, r), Row(id, r));
  }
}

// Without a FAT, a directory whose cluster is full is followed into the clusters of entries the
// sector scan found: the next cluster, or the nearest later run of them that does not go on from
// the cluster before it, unless a full directory between could as well have grown into it.
TEST(FatDirectoryTails, FullDirectoriesGoOnWhereTheScanFoundTheirEntries) {
  using fat_test::ShortEntry;
  constexpr std::uint32_t kSpc = 2;
  constexpr std::uint64_t kCluster0 = 1000;
  TestDisk d{2048};
  auto sector = [](std::uint32_t cluster, std::uint32_t k) { return kCluster0 + cluster * kSpc + k; };
  auto files = [](int count) {
    return std::vector<fat_test::Entry>(static_cast<std::size_t>(count), ShortEntry("FILE    TXT", 0x20, 900, 5));
  };
  auto fullDirectory = [&](std::uint32_t cluster) {
    d.Put(sector(cluster, 0), fat_test::DirectoryStart(cluster, 0, files(14)));
    d.PutEntries(sector(cluster, 1), files(16));
  };
  fullDirectory(10);  // A, whose directory went on at cluster 30, past its files
  d.PutEntries(sector(30, 0), files(16));
  d.PutEntries(sector(30, 1), files(3));
  d.PutEntries(sector(25, 1), files(16));  // entries inside cluster 25, not at its start
  fullDirectory(35);                      // F: no cluster after it is free to be its own
  fullDirectory(40);                      // B, which grew into 41 and 42
  d.PutEntries(sector(41, 0), files(16));
  d.PutEntries(sector(41, 1), files(16));
  d.PutEntries(sector(42, 0), files(2));
  fullDirectory(60);  // C and D, both full: cluster 80 is D's, the nearer
  fullDirectory(65);
  d.PutEntries(sector(80, 0), files(2));
  d.Put(sector(100, 0), fat_test::DirectoryStart(100, 0, files(3)));  // E, not full
  d.PutEntries(sector(110, 0), files(2));

  d.ctx.searchStart = 0;
  d.ctx.searchEnd = 2048;
  AdvanceScan(d.ctx);
  d.ctx.activeGeometry.type = FsType::kFat32;
  d.ctx.activeGeometry.SectorsPerCluster = kSpc;
  d.ctx.activeGeometry.Cluster0Sector = kCluster0;
  auto chain = [&](std::uint32_t first) {
    FatReader fat(d.ctx);
    return DirectoryChainSectors(d.ctx, fat, first);
  };
  auto clusters = [&](std::initializer_list<std::uint32_t> list) {
    std::vector<std::uint64_t> sectors;
    for (std::uint32_t c : list) sectors.insert(sectors.end(), {sector(c, 0), sector(c, 1)});
    return sectors;
  };
  EXPECT_EQ(chain(10), clusters({10, 30}));
  EXPECT_EQ(chain(40), clusters({40, 41, 42}));
  EXPECT_EQ(chain(35), clusters({35}));
  EXPECT_EQ(chain(60), clusters({60}));
  EXPECT_EQ(chain(65), clusters({65, 80}));
  EXPECT_EQ(chain(100), clusters({100}));
  // A FAT to read, even one that ends every chain, is believed.
  d.ctx.activeGeometry.FirstFatSector = 500;
  d.ctx.activeGeometry.FatSectors = 8;
  EXPECT_EQ(chain(10), clusters({10}));
}

class FatSecondStageTest : public FatAnalysisTest {
 protected:
  // Identified file system 1: boot-sector copy (FAT32); 2: derived FAT16 at Cluster0Start
  // 1000; 3: derived FAT32 at 40000. Directories of 2 and 3 interleave.
  FatSecondStageTest() {
    Fill(d.ctx, {{1400, 100}, {41000, 500}, {1440, 110}, {41080, 510}, {1480, 120}});
    TextTable& id = d.ctx.results.tables.IdentifiedFileSystemTable;
    for (auto cells : {std::vector<std::string>{"2048", "600", "8", "0", "2", "32", "3264", "2080", "2680"},
                       std::vector<std::string>{"0", "", "4", "", "", "", "1000"},
                       std::vector<std::string>{"0", "", "8", "", "", "", "40000"}}) {
      const int r = id.AppendRow(cells[0]);
      for (std::size_t c = 1; c < cells.size(); ++c) id.SetCell(r, static_cast<int>(c), cells[c]);
    }
    id.SetCell(0, 10, "FAT32"), id.SetCell(1, 10, "FAT16"), id.SetCell(2, 10, "FAT32");
    for (int r : {0, 2, 4}) d.ctx.results.tables.DirectoryTable.SetCell(r, 3, "2");
    for (int r : {1, 3}) d.ctx.results.tables.DirectoryTable.SetCell(r, 3, "3");
  }
  void PutFat(std::uint64_t sector) { d.Put(sector, pt::FatStart(0xF8)); }
};

TEST_F(FatSecondStageTest, FolderRowsComeBeforeTheCatchAllAndTheFatsAreFound) {
  TestDisk big{41000};
  big.ctx.results.tables = d.ctx.results.tables;
  big.Put(9999, pt::FatStart(0xF8));  // below the FAT32 window: not looked at
  // Two sectors that begin like FATs but do not end where the data area begins.
  big.Put(12000, pt::FatStart(0xF8));
  big.Put(12600, pt::FatStart(0xF8));
  // The FATs that do: 17 sectors each (the most 123 clusters up to the disk's end allow), ending
  // at cluster 2 (sector 40016).
  big.Put(39982, pt::FatStart(0xF8));
  big.Put(39999, pt::FatStart(0xF8));
  InsertAdvanceMiscFolderRow(big.ctx);
  ASSERT_TRUE(PrepareFatSecondStage(big.ctx, 2));
  const TextTable& e = big.ctx.results.tables.EntryTable;
  using V = std::vector<std::string>;
  ASSERT_EQ(e.RowCount(), 3);
  EXPECT_EQ(Row(e, 0), (V{"DIR0", "41000", "500", "1", "2", "3", "0", "16", "", "FOLDER", ""}));
  EXPECT_EQ(e.Cell(1, 0), "DIR1");
  EXPECT_EQ(Row(e, 2),
            (V{"QRW_Miscellaneous", "0", "268435455", "0", "0", "0", "0", "16", "0", "FOLDER", ""}));
  EXPECT_EQ(Row(big.ctx.results.tables.IdentifiedFileSystemTable, 2),
            (V{"0", "17", "8", "", "2", "", "40000", "39982", "39999", "", "FAT32"}));
  const ActiveVolumeGeometry& g = big.ctx.activeGeometry;
  EXPECT_EQ(g.type, FsType::kFat32);
  EXPECT_EQ(
      std::vector<std::uint32_t>({g.FatSectors, g.SectorsPerCluster, g.RootDirSectors, g.RootDirStart,
                                  g.ReservedSectors, g.Cluster0Sector, g.FirstFatSector, g.SecondFatSector}),
      (std::vector<std::uint32_t>{17, 8, 0, 2, 0, 40000, 39982, 39999}));
  EXPECT_EQ(big.feedback.progress.back().controlId, control::kStageProgress);
  EXPECT_EQ(big.feedback.progress.back().barText, "Completed ");
}

TEST_F(FatSecondStageTest, LocateFatsWindowsAndUnfoundFats) {
  // FAT16 window below Cluster0Start 1000: 450 to 999. The FATs end at the 32-sector root, which
  // ends at cluster 2 (sector 1008); 500 and 532 are spaced like FATs but end elsewhere.
  PutFat(500), PutFat(532), PutFat(956), PutFat(966);
  FatLocation found = LocateFats(d.ctx, 1);
  EXPECT_EQ(found.firstFat, 956u);
  EXPECT_EQ(found.secondFat, 966u);
  EXPECT_EQ(found.readFrom, 956u);
  EXPECT_EQ(d.ctx.results.tables.IdentifiedFileSystemTable.Cell(1, 1), "10");
  EXPECT_EQ(d.ctx.results.tables.IdentifiedFileSystemTable.Cell(1, 4), "976");
  EXPECT_EQ(LocateFats(d.ctx, 1).sectorsRead, 0u);  // it names its FAT now
  EXPECT_EQ(LocateFats(d.ctx, 0).sectorsRead, 0u);  // a boot sector's row names its FAT

  TestDisk empty{41000};
  empty.ctx.results.tables = d.ctx.results.tables;
  found = LocateFats(empty.ctx, 2);
  EXPECT_EQ(found.firstFat + found.secondFat, 0u);
  EXPECT_EQ(found.sectorsRead, 30000u);
  ASSERT_TRUE(SetActiveGeometryFromIdentified(empty.ctx, 2));
  EXPECT_EQ(empty.ctx.activeGeometry.FirstFatSector, 0u);  // the chain follower then reads no FAT

  d.ctx.results.tables.IdentifiedFileSystemTable.SetCell(1, 6, "400");  // below 551: the search starts at 63
  d.ctx.results.tables.IdentifiedFileSystemTable.SetCell(1, 7, "");
  PutFat(356), PutFat(366);
  found = LocateFats(d.ctx, 1);
  EXPECT_EQ(found.firstFat, 356u);
  EXPECT_EQ(found.sectorsRead, 400u - 63u);
}

// Identified file system 3 (FAT32, 8 sectors a cluster, Cluster0Start 40000, folders at clusters
// 500 and 510) on a disk that ends at 41000: its FATs hold 4 to 17 sectors and end at 40016.
TEST_F(FatSecondStageTest, OnlyFatsThatFitTheLayoutAreTakenAndAFormatOverTheFirstIsPassedBy) {
  // A FAT sector with cluster 500's entry (in its fourth sector) in use or free.
  auto entries = [](bool inUse) {
    pt::Sector s{};
    if (inUse) pt::Put32(s, (500 % 128) * 4, 0x0FFFFFFF);
    return s;
  };
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint64_t, pt::Sector>> sectors;
    std::uint64_t firstFat, secondFat, readFrom, spf;
    std::uint32_t entry500;  // as the working geometry's FAT reads it
  };
  const pt::Sector fat = pt::FatStart(0xF8);
  const std::vector<Case> cases = {
      {"both copies agree: the first is read",
       {{39982, fat}, {39999, fat}, {39985, entries(true)}, {40002, entries(true)}},
       39982,
       39999,
       39982,
       17,
       0x0FFFFFFF},
      {"a later format's FAT where the first was: the second, which has the folders in use, is read",
       {{39982, fat}, {39999, fat}, {40002, entries(true)}},
       39982,
       39999,
       39999,
       17,
       0x0FFFFFFF},
      {"only the second copy is left (39990 would be a FAT of 26 sectors, too many)",
       {{39990, fat}, {39999, fat}},
       0,
       39999,
       39999,
       17,
       0},
      {"only the first copy is left", {{39984, fat}}, 39984, 0, 39984, 16, 0},
      {"sectors like FATs, none where the layout puts FATs",
       {{39000, fat}, {39500, fat}, {39950, fat}},
       0,
       0,
       0,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDisk disk{41000};
    disk.ctx.results.tables = d.ctx.results.tables;
    for (const auto& [at, bytes] : c.sectors) disk.Put(at, bytes);
    const FatLocation found = LocateFats(disk.ctx, 2);
    EXPECT_EQ(found.firstFat, c.firstFat);
    EXPECT_EQ(found.secondFat, c.secondFat);
    EXPECT_EQ(found.readFrom, c.readFrom);
    ASSERT_TRUE(SetActiveGeometryFromIdentified(disk.ctx, 2));
    const ActiveVolumeGeometry& g = disk.ctx.activeGeometry;
    EXPECT_EQ(g.FatSectors, c.spf);
    // The working geometry's first FAT is the copy to read.
    EXPECT_EQ(g.FirstFatSector, c.readFrom);
    EXPECT_EQ(g.SecondFatSector, c.secondFat);
    FatReader reader(disk.ctx);
    EXPECT_EQ(reader.Usable(), c.readFrom != 0);
    if (c.readFrom != 0) {
      EXPECT_EQ(reader.Entry(500), c.entry500);
    }
  }
}

TEST_F(FatSecondStageTest, GeometryDefaultsAndDetailRows) {
  ASSERT_TRUE(SetActiveGeometryFromIdentified(d.ctx, 1));
  EXPECT_EQ(d.ctx.activeGeometry.type, FsType::kFat16);
  EXPECT_EQ(d.ctx.activeGeometry.RootDirSectors, 32u);
  EXPECT_EQ(d.ctx.activeGeometry.RootDirStart, 0u);  // a FAT16 root is a sector: none known
  EXPECT_EQ(d.ctx.activeGeometry.SectorsPerCluster, 4u);
  d.ctx.results.tables.IdentifiedFileSystemTable.SetCell(2, 10, "NTFS");
  EXPECT_FALSE(PrepareFatSecondStage(d.ctx, 2));
  EXPECT_FALSE(PrepareFatSecondStage(d.ctx, 3));
  EXPECT_EQ(d.ctx.results.tables.EntryTable.RowCount(), 0);

  std::vector<std::string> shown;
  for (const PartitionDetailsRow& row : IdentifiedFileSystemDetails(d.ctx, 0))
    shown.push_back(row.name + row.value);
  EXPECT_EQ(shown, (std::vector<std::string>{"1.   File System                        :1",
                                             "2.   Partition Type                    :    FAT32",
                                             "3.   File System Start                :    3264",
                                             "4.   Sectors Per Clusters          :    8"}));
  EXPECT_EQ(IdentifiedFileSystemDetails(d.ctx, 0, true)[0].name,
            "1.   File System                        :    ");
}

}  // namespace
}  // namespace quarrow
