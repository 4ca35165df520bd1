// The lost-partition search over in-memory disks whose partition table is gone.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <tuple>

#include "app/search_outcomes.h"
#include "app/wizard_texts.h"
#include "partition/lost_partition_search.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using namespace partition_test;

constexpr std::uint64_t kCylinder = 255 * 63;

// Remembers what the search told the page; it may be told from the worker thread.
class PageFeedback : public Feedback {
 public:
  void SetProgress(int controlId, int position, std::string_view) override {
    if (controlId == lost_partition_control::kProgress && onProgress) onProgress(position);
  }
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override {
    std::lock_guard lock(mutex);
    questions.push_back(std::string(title) + ": " + std::string(text) +
                        (icon == MessageIcon::kQuestion ? " ?" : ""));
    return answer;
  }
  std::mutex mutex;
  std::vector<std::string> questions;
  std::function<void(int)> onProgress;
  bool answer = true;
};

Sector Fat32(std::uint32_t total, std::uint32_t hidden = 0) {
  Sector s = Fat32Boot({});
  Put32(s, 32, total);
  Put32(s, 28, hidden);
  Put16(s, 50, 6);
  return s;
}
Sector Fat16(std::uint32_t total32, std::uint16_t total16 = 0) {
  Sector s = Fat16Boot({});
  Put32(s, 32, total32);
  Put16(s, 19, total16);
  return s;
}
Sector Ntfs(std::uint32_t total, std::uint32_t hidden) {
  Sector s = NtfsBoot({});
  Put32(s, 40, total);
  Put32(s, 28, hidden);
  return s;
}

using Found = std::tuple<std::string, std::uint64_t, std::uint64_t>;  // item text, first, end

class PartitionLostSearchTest : public ::testing::Test {
 protected:
  explicit PartitionLostSearchTest(std::uint64_t cylinders = 40) : disk(cylinders * kCylinder + 1000) {}

  LostPartitionSearch& Search(SearchMode mode = SearchMode::kStandard) {
    const LostPartitionDisk target{&disk.reader, 0, disk.Sectors(),
                                   SearchGeometryFor(disk.Sectors() / kCylinder, 255, 63, disk.Sectors()),
                                   DiskTexts{std::to_string(disk.Sectors()), "314 MB"}};
    search.emplace(target, list, tree, ui, mode,
                   LostPartitionHooks{[this](int combo) { combos.push_back(combo); }, {}});
    return *search;
  }
  std::vector<Found> Listed() const {
    std::vector<Found> out;
    for (int i = 0; i < list.count; ++i)
      out.push_back(
          {tree.Text(list.entries[i].item), list.entries[i].firstSector, list.entries[i].endSector});
    return out;
  }

  MemoryDisk disk;
  PartitionList list;
  mytreectrl tree{TreeKind::kPartitions, 0};
  PageFeedback ui;
  std::vector<int> combos;
  std::optional<LostPartitionSearch> search;
};

TEST(PartitionLostGeometry, TranslationAndCandidates) {
  EXPECT_EQ(SearchGeometryFor(1000, 64, 32), (SearchGeometry{127, 255, 63}));
  EXPECT_EQ(SearchGeometryFor(500, 255, 63), (SearchGeometry{500, 255, 63}));
  EXPECT_EQ(SearchGeometryFor(500, 16, 63), (SearchGeometry{500, 16, 63}));
  EXPECT_EQ(SearchGeometryFor(500, 0, 63), (SearchGeometry{0, 255, 63}));
  // Past 2^32 sectors the product does not wrap; cylinders past the end of the disk are dropped.
  EXPECT_EQ(SearchGeometryFor(1u << 20, 256, 32).cylinders, (std::uint64_t{1} << 33) / 16065);
  EXPECT_EQ(SearchGeometryFor(500, 255, 63, 10 * kCylinder + 1), (SearchGeometry{11, 255, 63}));
  SelectedDiskValues texts;
  texts.cylindersText = "1000", texts.headsText = "64", texts.sectorsPerTrackText = "32";
  EXPECT_EQ(SearchGeometryFor(texts), (SearchGeometry{127, 255, 63}));
  EXPECT_EQ(CylinderCandidates({127, 255, 63}, 5),
            (std::array<std::uint64_t, 2>{5 * kCylinder + 63, 5 * kCylinder}));
}

TEST_F(PartitionLostSearchTest, FindsBootSectorsAtCylindersBoundariesAndBackups) {
  disk.Write(5 * kCylinder + 63, Fat32(100000));                      // cylinder 5, head 1
  disk.Write(8 * kCylinder + 63, Fat16(0, 20000));                    // a small FAT16: 16-bit size
  disk.Write(8 * kCylinder, Fat16(3000));                             // head 0 of the same cylinder: not read
  disk.Write(10 * kCylinder, Fat16(5000));                            // head 0 alone
  disk.Write(12 * kCylinder + 63, Sector{});                          // main boot sector gone...
  disk.Write(12 * kCylinder + 69, Fat32(8000, 12 * kCylinder + 63));  // ...its backup names it
  disk.Write(2048 * 100, Fat32(40960));                               // 1 MiB aligned
  disk.Write(2048 * 150 + 6, Fat32(20480));                           // aligned, backup only
  disk.Write(2048 * 180 + 6, Fat32(20480, 999));                      // a backup naming another start
  disk.Write(2048 * 200 + 20479, Ntfs(20479, 2048 * 200));            // aligned NTFS, backup only
  disk.Write(20 * kCylinder + 63, Ntfs(2 * kCylinder - 64, 20 * kCylinder + 63));  // NTFS with its backup
  disk.Write(22 * kCylinder - 1, Ntfs(2 * kCylinder - 64, 20 * kCylinder + 63));
  disk.Write(30 * kCylinder + 63, Ntfs(0, 0));  // no size, FAT12: nothing
  disk.Write(31 * kCylinder + 63, Fat16Boot({.label = "FAT12   "}));
  Sector small = Fat32(0);
  Put16(small, 19, 6000);  // a FAT32 volume under 32 MB, its size in the 16-bit field
  disk.Write(35 * kCylinder + 63, small);
  const LostPartitionOutcome out = Search().RunOnThisThread();
  // In the order the search meets them, cylinder by cylinder.
  const std::vector<Found> expected = {
      {"Partition - 1 ( FAT32 )", 5 * kCylinder + 63, 5 * kCylinder + 63 + 100000},
      {"Partition - 2 ( FAT16 )", 8 * kCylinder + 63, 8 * kCylinder + 63 + 20000},
      {"Partition - 3 ( FAT16 )", 10 * kCylinder, 10 * kCylinder + 5000},
      {"Partition - 4 ( FAT32 )", 12 * kCylinder + 63, 12 * kCylinder + 63 + 8000},
      {"Partition - 5 ( FAT32 )", 2048 * 100, 2048 * 100 + 40960},
      {"Partition - 6 ( FAT32 )", 2048 * 150, 2048 * 150 + 20480},
      {"Partition - 7 ( NTFS )", 20 * kCylinder + 63, 22 * kCylinder - 1},
      {"Partition - 8 ( NTFS )", 2048 * 200, 2048 * 200 + 20479},
      {"Partition - 9 ( FAT32 )", 35 * kCylinder + 63, 35 * kCylinder + 63 + 6000},
  };
  EXPECT_EQ(Listed(), expected);
  EXPECT_EQ(out.added, 9);
  EXPECT_FALSE(out.stopped || out.unknownPartition);
  ASSERT_TRUE(out.details);
  EXPECT_EQ(out.details->rows[2].value, "FAT32");
  EXPECT_EQ(out.details->startText, std::to_string(5 * kCylinder + 63));
  EXPECT_EQ(app::GuidanceAfterPartitionSearch(out), app::kSearchFinishedGuidance);
  EXPECT_EQ(combos, (std::vector<int>{3, 1}));

  // A second run, and finds the table already listed, add nothing.
  EXPECT_EQ(Search().RunOnThisThread().added, 0);
  EXPECT_EQ(Listed(), expected);
}

// A volume of larger sectors keeps its backups where its own sectors put them: the FAT32 backup
// six of them on (48 disk sectors for 4096 bytes), the exFAT one twelve on, the NTFS one in its
// last sector (8 disk sectors before its end). Each names its volume there and nowhere else.
TEST_F(PartitionLostSearchTest, BackupsOfVolumesOfLargeSectorsAreWhereTheirSectorsPutThem) {
  Sector fat32 = Fat32(2000);
  Put16(fat32, 11, 4096), fat32[13] = 1;
  disk.Write(2048 * 250 + 48, fat32);            // main boot sector gone: found by its backup
  Sector fat32k2 = Fat32(3000, 2048 * 252 / 4);  // hidden sectors counted in its own sectors
  Put16(fat32k2, 11, 2048), fat32k2[13] = 1;
  disk.Write(2048 * 252 + 24, fat32k2);
  Sector exfat{};
  exfat[0] = 0xEB, exfat[1] = 0x76, exfat[2] = 0x90;
  PutText(exfat, 3, "EXFAT   ");
  Put32(exfat, 64, 2048 * 255 / 8), Put32(exfat, 72, 4096);  // its start and length in 4096-byte sectors
  Put32(exfat, 80, 24), Put32(exfat, 84, 8), Put32(exfat, 88, 40), Put32(exfat, 92, 4000);
  Put32(exfat, 96, 2), exfat[108] = 12, exfat[109] = 0, exfat[110] = 1;
  Sign(exfat);
  disk.Write(2048 * 255 + 96, exfat);
  NtfsFigures big;
  big.bytesPerSector = 4096, big.sectorsPerCluster = 1;
  Sector ntfs = NtfsBoot(big);
  Put32(ntfs, 40, 1279), Put32(ntfs, 28, 2048 * 260);
  disk.Write(2048 * 260 + 1279 * 8, ntfs);  // 8 sectors before 2048 * 265, where the next volume begins
  Search().RunOnThisThread();
  const std::vector<Found> expected = {
      {"Partition - 1 ( FAT32 )", 2048 * 250, 2048 * 250 + 16000},
      {"Partition - 2 ( FAT32 )", 2048 * 252, 2048 * 252 + 12000},
      {"Partition - 3 ( exFAT )", 2048 * 255, 2048 * 255 + 32768},
      {"Partition - 4 ( NTFS )", 2048 * 260, 2048 * 260 + 10232},
  };
  EXPECT_EQ(Listed(), expected);
}

TEST_F(PartitionLostSearchTest, NoSignatureAnywhereStandsForTheWholeDisk) {
  const LostPartitionOutcome out = Search().RunOnThisThread();
  ASSERT_EQ(tree.Children(tree.Root()).size(), 1u);
  EXPECT_EQ(tree.Text(tree.Children(tree.Root())[0]), "Unknown Partition");
  EXPECT_TRUE(out.unknownPartition);
  ASSERT_TRUE(out.details);
  EXPECT_EQ(out.details->rows[2].value, "Unknown Partition");
  EXPECT_EQ(out.details->rows[4].value, "0");
  EXPECT_EQ(out.details->rows[5].value, std::to_string(disk.Sectors()));
  EXPECT_TRUE(tree.Expanded(tree.Root()));
  // Searching again after a partition appeared replaces "Unknown Partition" with it.
  disk.Write(2048, Fat32(1000));
  Search().RunOnThisThread();
  ASSERT_EQ(tree.Children(tree.Root()).size(), 1u);
  EXPECT_EQ(tree.Text(tree.Children(tree.Root())[0]), "Partition - 1 ( FAT32 )");
}

TEST_F(PartitionLostSearchTest, ListEndsAtTwentySixPartitions) {
  for (std::uint32_t k = 1; k <= 30; ++k) disk.Write(2048 * k, Fat16(100));
  const LostPartitionOutcome out = Search().RunOnThisThread();
  EXPECT_EQ(list.count, kMaxListedPartitions);
  EXPECT_TRUE(out.listFull);
  EXPECT_EQ(list.entries[25].firstSector, 2048u * 26);
}

TEST_F(PartitionLostSearchTest, StopAsksAndYesEndsWhileNoGoesOn) {
  disk.Write(3 * kCylinder + 63, Fat32(1000));
  disk.Write(35 * kCylinder + 63, Fat32(1000));
  for (bool yes : {false, true}) {
    list.Clear();
    tree = mytreectrl(TreeKind::kPartitions, 0);
    ui.answer = yes;
    LostPartitionSearch& s = Search();
    bool asked = false;
    ui.onProgress = [&](int position) {
      if (position < 50 || asked) return;
      asked = true;
      EXPECT_EQ(s.Stop(), yes);
    };
    const LostPartitionOutcome out = s.RunOnThisThread();
    EXPECT_EQ(out.stopped, yes);
    EXPECT_EQ(list.count, yes ? 1 : 2);
    EXPECT_EQ(app::GuidanceAfterPartitionSearch(out),
              yes ? app::kSearchStoppedGuidance : app::kSearchFinishedGuidance);
    EXPECT_EQ(ui.questions.back(), "Quarrow: Do you want to stop searching partition? ?");
  }
  ui.onProgress = nullptr;
  EXPECT_FALSE(search->Stop());  // nothing runs: nothing is asked
  EXPECT_EQ(ui.questions.size(), 2u);
}

TEST_F(PartitionLostSearchTest, WorkerAndAutomaticStartOncePerDiskPageVisit) {
  disk.Write(2048, Fat32(1000));
  LostPartitionSearch& s = Search(SearchMode::kAdvance);
  s.SearchMorePartitions();  // nothing listed yet: a placeholder item until the search ends
  s.Wait();
  EXPECT_EQ(s.Outcome().added, 1);
  EXPECT_EQ(tree.Children(tree.Root()).size(), 1u);
  EXPECT_TRUE(s.Outcome().ran);
  EXPECT_EQ(s.Marker(), "");

  s.InstallAutomaticStart(disk.reader.Trigger());
  disk.reader.Trigger().Invoke();
  s.Wait();
  disk.reader.Trigger().Invoke();  // not armed again until the disk page is shown anew
  s.Wait();
  // Each run begins by setting the type combo to its empty entry: the trigger started one run.
  EXPECT_EQ(std::count(combos.begin(), combos.end(), lost_partition_control::kNoTypeEntry), 2);
  EXPECT_EQ(s.Marker(), "aa");
  EXPECT_EQ(list.count, 1);

  disk.reader.SetOsFamily(OsFamily::kLegacy);  // that family's variant searches nothing
  disk.Write(4096, Fat32(1000));
  s.SearchMorePartitions();
  EXPECT_FALSE(s.Outcome().ran);
  EXPECT_EQ(list.count, 1);
}

TEST(PartitionLostRecognition, RandomSectorsStayInBoundsAndBackupsPointBack) {
  std::mt19937 rng(22);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(i % 600));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(rng) < 200 ? 0 : byte(rng));
    if (bytes.size() >= 512) bytes[510] = 0x55, bytes[511] = 0xAA;
    if (bytes.size() > 86) bytes[85 + (i % 3)] = '3', bytes[86] = '2';
    const std::uint64_t n =
        (i % 5 == 0) ? UINT64_MAX - static_cast<std::uint64_t>(i) : static_cast<std::uint64_t>(i);
    if (auto f = RecognizePartitionBootSector(bytes, n)) {
      EXPECT_EQ(f->firstSector, n);
    }
    if (auto f = RecognizeFat32BackupBootSector(bytes, n)) {
      // Six of the volume's own sectors back, by its bytes per sector.
      EXPECT_EQ(n - f->firstSector, 6u * (Le16(bytes, 11) / 512));
    }
    if (auto f = RecognizeNtfsBackupBootSector(bytes, n)) {
      EXPECT_EQ(f->endSector, n);
    }
  }
}

}  // namespace
}  // namespace quarrow
