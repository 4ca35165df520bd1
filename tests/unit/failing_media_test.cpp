// A Standard search on media that fail the ways dying USB sticks and cards fail: every case ends,
// keeps what it could read, and counts what it could not.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "fat_test_volume.h"
#include "session/standard_search.h"

namespace quarrow {
namespace {

using namespace fat_test;

// A FAT32 volume of one sector per cluster over 40,000 sectors, with a folder every 400 clusters:
// F0 at cluster 100, F1 at 500, ... F98 at 39300, all at the root.
struct DyingVolume {
  static constexpr std::uint32_t kFolders = 99;
  static std::uint32_t ClusterOf(std::uint32_t i) { return 100 + 400 * i; }

  DyingVolume() {
    layout.start = 0;
    layout.fatSectors = 320;
    layout.spc = 1;
    layout.Apply(d.ctx, 40000);
    std::vector<Entry> root;
    for (std::uint32_t i = 0; i < kFolders; ++i) {
      const std::string name = "F" + std::to_string(i);
      root.push_back(ShortEntry(name + std::string(11 - name.size(), ' '), 0x10, ClusterOf(i)));
      d.Put(layout.ClusterSector(ClusterOf(i)), DirectoryStart(ClusterOf(i), 0));
      SetFat32(d, layout, ClusterOf(i), 0x0FFFFFFF);
    }
    // The root takes seven clusters, 2 to 8.
    for (std::uint32_t k = 0; k < 7; ++k) {
      d.PutEntries(layout.ClusterSector(2 + k),
                   std::vector<Entry>(root.begin() + std::min<std::size_t>(16 * k, root.size()),
                                      root.begin() + std::min<std::size_t>(16 * k + 16, root.size())));
      SetFat32(d, layout, 2 + k, k == 6 ? 0x0FFFFFFF : 3 + k);
    }
  }
  std::set<std::string> Found() const {
    std::set<std::string> names;
    for (const FolderNode& node : d.ctx.results.folderNodes) names.insert(node.name);
    return names;
  }

  Fat32Layout layout;
  TestDisk d{40000};
};

TEST(FailingMedia, EveryCaseEndsWithWhatItCouldRead) {
  struct Case {
    const char* what;
    void (*damage)(DyingVolume&);
    std::size_t minFolders;  // beyond the catch-all folder
    bool gone;
  };
  const Case cases[] = {
      {"a range of sectors that never reads", [](DyingVolume& v) { v.d.disk->MarkBadRange(10000, 3000); }, 90,
       false},
      {"one read in seven fails", [](DyingVolume& v) { v.d.disk->FailEveryNth(7); }, 95, false},
      {"slow reads", [](DyingVolume& v) { v.d.disk->SetDelay(std::chrono::milliseconds(1)); }, 99, false},
      {"shorter than it says", [](DyingVolume& v) { v.d.disk->SetReadableSize(20000 * 512); }, 45, false},
      {"it disappears mid-scan", [](DyingVolume& v) { v.d.disk->DisappearAfter(30); }, 10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DyingVolume v;
    c.damage(v);
    v.d.disk->ClearReads();
    RunFatStandardStages(v.d.ctx, true, nullptr);
    const std::set<std::string> found = v.Found();
    EXPECT_GE(found.size(), c.minFolders + 1);
    EXPECT_TRUE(found.count("QRW_Miscellaneous"));
    EXPECT_EQ(v.d.ctx.DiskGone(), c.gone);
    if (std::string(c.what) != "slow reads") {
      EXPECT_GT(v.d.ctx.readTotals.unreadable, 0u);
    }
    // No stage retries the disk without end: the whole search stays within a few reads per chunk.
    EXPECT_LT(v.d.disk->Reads().size(), c.gone ? 200u : 40000u);
  }
}

TEST(FailingMedia, ADiskThatIsGoneFailsAtOnceAndTheSessionSaysSo) {
  DyingVolume v;
  v.d.disk->DisappearAfter(0);
  std::vector<std::uint8_t> buffer(512 * 512);
  // One bulk read, the first few sectors alone, one look at a sector that read before (none yet:
  // the disk is not taken as gone without one), then every later read fails without a retry.
  v.d.ctx.Read(0, 512, buffer);
  EXPECT_FALSE(v.d.ctx.DiskGone());
  v.d.disk->ClearReads();
  DyingVolume w;
  w.d.ctx.Read(0, 1, std::span<std::uint8_t>(buffer).first(512));  // sector 0 reads: a good sector
  w.d.disk->DisappearAfter(0);
  w.d.disk->ClearReads();
  ReadReport report;
  w.d.ctx.Read(1000, 512, buffer, &report);
  EXPECT_TRUE(report.deviceGone);
  EXPECT_EQ(report.failedSectors, 512u);
  EXPECT_LE(w.d.disk->Reads().size(), 10u);
  w.d.disk->ClearReads();
  w.d.ctx.Read(5000, 512, buffer, &report);
  EXPECT_TRUE(w.d.disk->Reads().empty());
  EXPECT_TRUE(w.d.ctx.StopRequested());
}

}  // namespace
}  // namespace quarrow
