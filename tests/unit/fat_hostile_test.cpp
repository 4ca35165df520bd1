// Random boot sectors, FATs and directory clusters: every pass must end, read in bounds and lose
// no folder it found.

#include <gtest/gtest.h>

#include <random>

#include "app/results_page.h"
#include "disk/platform.h"
#include "fat/directory_passes.h"
#include "fat/fat_file_list.h"
#include "fat/fat_volume.h"
#include "fat_test_volume.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "session/standard_search.h"

namespace quarrow {
namespace {

using namespace fat_test;

constexpr std::uint64_t kDiskSectors = 1024;

// The layout most directory starts are planted for, so that the scan finds folders whose
// parents are other found folders, missing clusters, the root or themselves.
constexpr std::uint32_t kPlantedCluster0 = 50;

std::uint32_t Pick(std::mt19937& rng, std::initializer_list<std::uint32_t> values) {
  std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
  return *(values.begin() + pick(rng));
}

// Fills the disk with a mixture of noise, directory starts with small (looping) cluster numbers,
// long-name runs without an end, and FAT sectors of small next-cluster values.
void FillHostileDisk(TestDisk& d, std::mt19937& rng, std::uint32_t plantedSpc) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::uint32_t> small(0, 80);
  std::uniform_int_distribution<int> kind(0, 9);
  for (std::uint64_t s = 0; s < kDiskSectors; ++s) {
    Sector sector{};
    switch (kind(rng)) {
      case 0:
      case 1:
        for (auto& b : sector) b = static_cast<std::uint8_t>(byte(rng));
        break;
      case 2:
      case 3: {
        std::vector<Entry> entries;
        for (int i = 0; i < 14; ++i) {
          Entry e = (i % 3 == 0)
                        ? LongEntry(static_cast<std::uint8_t>(byte(rng)), "ABCDEFGHIJKLM")
                        : ShortEntry("NAME    EXT", static_cast<std::uint8_t>(byte(rng)), small(rng));
          if (byte(rng) < 40) e[0] = 0xE5;
          if (byte(rng) < 20) e[3] = static_cast<std::uint8_t>(byte(rng));
          entries.push_back(e);
        }
        // Mostly a directory that names its own cluster under the planted layout.
        const bool fits =
            s >= kPlantedCluster0 && (s - kPlantedCluster0) % plantedSpc == 0 && byte(rng) < 200;
        const auto self = fits ? static_cast<std::uint32_t>((s - kPlantedCluster0) / plantedSpc) : small(rng);
        const std::uint32_t maxCluster = static_cast<std::uint32_t>(kDiskSectors / plantedSpc);
        std::uniform_int_distribution<std::uint32_t> anyCluster(0, maxCluster);
        const std::uint32_t parent = byte(rng) < 60 ? 0 : (byte(rng) < 20 ? self : anyCluster(rng));
        sector = DirectoryStart(self, parent, entries);
        if (byte(rng) < 60) sector[21] = static_cast<std::uint8_t>(byte(rng));  // high word noise
        break;
      }
      case 4:
        sector = SectorOf(
            std::vector<Entry>(16, LongEntry(static_cast<std::uint8_t>(byte(rng) & 0x3F), "XXXXXXXXXXXXX")));
        break;
      case 5:
        for (std::size_t i = 0; i + 4 <= sector.size(); i += 4) Put32(sector, i, small(rng));
        sector[0] = 0xF8, sector[1] = 0xFF;
        break;
      default:
        break;  // zeros
    }
    d.Put(s, sector);
  }
  std::uniform_int_distribution<std::uint64_t> at(0, kDiskSectors - 1);
  for (int i = 0; i < 8; ++i) d.disk->MarkBad(at(rng));
}

void RandomGeometry(ScanContext& ctx, std::mt19937& rng, std::uint32_t plantedSpc) {
  VolumeGeometry g;
  if (std::uniform_int_distribution<int>(0, 9)(rng) < 6) {
    g.SectorsPerCluster = plantedSpc;
    g.Cluster0Sector = kPlantedCluster0;
    g.FirstFatSector = Pick(rng, {0, 1, 20});
    g.FatSectors = Pick(rng, {0, 8, 0xFFFFFFFFu});
    g.RootDirStart = Pick(rng, {0, 2, 30, 0xFFFFFFFFu});
    g.RootDirSectors = Pick(rng, {0, 32});
    g.SecondFatSector = g.FirstFatSector + g.FatSectors;
    ctx.geometry = g;
    return;
  }
  g.SectorsPerCluster = Pick(rng, {0, 1, 2, 3, 4, 8, 64, 128, 255});
  g.Cluster0Sector = Pick(rng, {0, 7, 100, 400, 1500, 0xFFFFFF00u});
  g.FirstFatSector = Pick(rng, {0, 1, 50, 1000, 0xFFFFFFF0u});
  g.FatSectors = Pick(rng, {0, 1, 8, 300, 0xFFFFFFFFu});
  g.RootDirStart = Pick(rng, {0, 1, 2, 3, 60, 0x0FFFFFFFu, 0xFFFFFFFFu});
  g.RootDirSectors = Pick(rng, {0, 1, 32, 5000, 0xFFFFFFFFu});
  g.ReservedSectors = Pick(rng, {0, 32});
  g.SecondFatSector = g.FirstFatSector + g.FatSectors;
  ctx.geometry = g;
}

// Opens every folder the way the results page does: the expansion names its children, then
// the list shows its sub-folders and files.
std::size_t VisitEveryFolder(ScanContext& ctx) {
  ResultsState& results = ctx.results;
  mytreectrl& tree = *results.tree;
  tree.SetExpandingHandler(
      [&](TreeItem item, bool expanding) { OnResultsTreeExpanding(results, item, expanding); });
  const std::tm now = LocalTimeNow();
  std::size_t visited = 0;
  std::vector<TreeItem> stack = {tree.Root()};
  while (!stack.empty()) {
    TreeItem item = stack.back();
    stack.pop_back();
    if (item != tree.Root()) tree.Expand(item, true);
    DetailsList list;
    ListFolder(results, list, item, true, now);
    ++visited;
    for (TreeItem child : tree.Children(item)) stack.push_back(child);
  }
  return visited;
}

TEST(FatHostileInput, RandomVolumesEndAndLoseNoFolder) {
  std::size_t folders = 0;
  for (std::uint32_t seed = 1; seed <= 16; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const std::uint32_t plantedSpc = Pick(rng, {1, 2, 4});
    TestDisk d{kDiskSectors};
    FillHostileDisk(d, rng, plantedSpc);
    d.ctx.partitionType = seed % 2 ? FsType::kFat32 : FsType::kFat16;
    d.ctx.searchStart = Pick(rng, {0, 0, 10, 700});
    d.ctx.searchEnd =
        static_cast<std::uint64_t>(Pick(rng, {0, 300, static_cast<std::uint32_t>(kDiskSectors), 5000}));
    RandomGeometry(d.ctx, rng, plantedSpc);

    RunFatStandardStages(d.ctx, seed % 3 != 0, nullptr);
    EXPECT_EQ(d.ctx.results.tables.EntryTable.RowCount(), 0);

    // Every folder row the data-area scan finds with the final geometry ends up in the tree (with
    // an empty folder for each entry that names a folder listed elsewhere).
    TestDisk again{kDiskSectors};
    again.disk = d.disk;
    again.opener.Add("fat-test.img", d.disk);
    again.ctx.partitionType = d.ctx.partitionType;
    again.ctx.searchStart = d.ctx.searchStart;
    again.ctx.searchEnd = d.ctx.searchEnd;
    again.ctx.geometry = d.ctx.geometry;
    ScanDataArea(again.ctx);
    std::size_t withDirectory = 0;
    for (const FolderNode& node : d.ctx.results.folderNodes) withDirectory += node.self != kHollowFolderKey;
    EXPECT_EQ(withDirectory, static_cast<std::size_t>(again.ctx.results.tables.EntryTable.RowCount()));

    EXPECT_EQ(VisitEveryFolder(d.ctx), d.ctx.results.folderNodes.Count() + 1);
    for (const FolderNode& node : d.ctx.results.folderNodes)
      EXPECT_TRUE(d.ctx.results.tree->Valid(node.item));
    folders += d.ctx.results.folderNodes.Count();
  }
  // The volumes are hostile, not empty: beyond the catch-all folders, folders were found.
  EXPECT_GT(folders, 16u * 4);
}

TEST(FatHostileInput, ChainsThroughAHugeFatStayBounded) {
  // Every FAT entry points to the next cluster: a chain as long as the disk allows, followed for
  // a directory no further than a directory can reach.
  TestDisk d{kDiskSectors};
  for (std::uint64_t s = 1; s < kDiskSectors; ++s) {
    Sector sector{};
    for (std::uint32_t j = 0; j < 128; ++j)
      Put32(sector, j * 4, static_cast<std::uint32_t>((s - 1) * 128 + j + 1));
    d.Put(s, sector);
  }
  d.ctx.activeGeometry.type = FsType::kFat32;
  d.ctx.activeGeometry.FirstFatSector = 1;
  d.ctx.activeGeometry.FatSectors = 0xFFFFFFFFu;
  d.ctx.activeGeometry.SectorsPerCluster = 1;
  FatReader fat(d.ctx);
  // The chain runs until the reads pass the end of the disk.
  EXPECT_EQ(FollowClusterChain(fat, 2).size(), (kDiskSectors - 1) * 128 - 1);
  auto sectors = DirectoryChainSectors(d.ctx, fat, 2);
  EXPECT_EQ(sectors.size(), 4096u);
  DetailsList list;
  ListFiles(d.ctx, list, 2);
  NameChildren(d.ctx, FolderNode{});
}

TEST(FatHostileInput, RootDirectorySizeIsBounded) {
  TestDisk d{64};
  d.ctx.activeGeometry.type = FsType::kFat16;
  d.ctx.activeGeometry.RootDirStart = 1;
  d.ctx.activeGeometry.RootDirSectors = 0xFFFFFFFFu;
  EXPECT_EQ(Fat16RootSectors(d.ctx).size(), 4096u);
  DetailsList list;
  ListFiles(d.ctx, list, 0);
  EXPECT_TRUE(list.rows.empty());
}

}  // namespace
}  // namespace quarrow
