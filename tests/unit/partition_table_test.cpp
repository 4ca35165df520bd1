// The partition-table walk over hand-built MBRs, extended boot records and boot sectors.

#include "partition/partition_table.h"

#include <gtest/gtest.h>

#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using namespace partition_test;

struct Listed {
  std::string text;
  std::string name;
  std::uint64_t first;
  std::uint64_t end;
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Listed& l) {
  return os << "{" << l.text << ", " << l.name << ", " << l.first << ", " << l.end << "}";
}

class PartitionWalkTest : public ::testing::Test {
 protected:
  explicit PartitionWalkTest(std::uint64_t sectors = 200000) : disk(sectors) {}

  PartitionWalkOutcome Walk() { return WalkPartitionTable(disk.reader, 0, disk.Sectors(), tree, state); }

  // What the tree and the disk's list say, checked against each other.
  std::vector<Listed> ListedPartitions() {
    const PartitionList& list = state.ForDisk(0);
    const auto& children = tree.Children(tree.Root());
    EXPECT_EQ(children.size(), static_cast<std::size_t>(list.count));
    std::vector<Listed> out;
    for (int i = 0; i < list.count && i < static_cast<int>(children.size()); ++i) {
      EXPECT_EQ(list.entries[i].item, children[i]);
      EXPECT_EQ(tree.Image(children[i]), 1);
      EXPECT_EQ(tree.SelectedImage(children[i]), 1);
      out.push_back({tree.Text(children[i]), std::string(list.Name(i)), list.entries[i].firstSector,
                     list.entries[i].endSector});
    }
    return out;
  }

  MemoryDisk disk;
  mytreectrl tree{TreeKind::kPartitions, 0};
  PartitionState state;
  RecordingFeedback feedback;
};

TEST_F(PartitionWalkTest, SingleFat32PartitionIsListedAsPartitionOne) {
  disk.Write(0, PartitionTable({{0x0C, 2048, 81920}}));
  disk.Write(2048, Fat32Boot({}));
  const auto outcome = Walk();
  EXPECT_TRUE(outcome.tableSigned);
  EXPECT_FALSE(outcome.tableCorrupted);
  EXPECT_EQ(tree.Text(tree.Root()), "Disk 0");
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{{"Partition - 1 ( FAT32 )", "FAT32", 2048, 83968}}));
  EXPECT_EQ(state.anyPartitionListed, 1);
  EXPECT_EQ(state.defaultItem, state.ForDisk(0).entries[0].item);
  EXPECT_EQ(disk.lostPartitionStarts, 0);
}

// A disk whose device reports larger logical sectors (a 4K-native stick, a bridge that reports
// 4096-byte sectors) has its table count in those; an image file, which reports none, is read in
// 512-byte sectors. The extended chain's links count in the same units.
TEST_F(PartitionWalkTest, TableOfADeviceWithLargerSectorsCountsInThem) {
  struct Case {
    std::uint32_t deviceSectorSize;
    std::uint64_t perLba;
  };
  for (const Case c : {Case{0, 1}, Case{512, 1}, Case{2048, 4}, Case{4096, 8}}) {
    SCOPED_TRACE(c.deviceSectorSize);
    MemoryDisk sized(200000);
    sized.device->SetLogicalSectorSize(c.deviceSectorSize);
    const std::uint32_t lba = static_cast<std::uint32_t>(2048 / c.perLba);
    const std::uint32_t ext = static_cast<std::uint32_t>(40000 / c.perLba);
    sized.Write(
        0, PartitionTable({{0x0C, lba, static_cast<std::uint32_t>(20000 / c.perLba)}, {0x05, ext, ext}}));
    sized.Write(2048, Fat32Boot({}));
    sized.Write(40000, PartitionTable({{0x06, lba, static_cast<std::uint32_t>(8000 / c.perLba)}}, false));
    sized.Write(42048, Fat16Boot({}));
    mytreectrl sizedTree{TreeKind::kPartitions, 0};
    PartitionState sizedState;
    WalkPartitionTable(sized.reader, 0, sized.Sectors(), sizedTree, sizedState);
    const PartitionList& list = sizedState.ForDisk(0);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].firstSector, 2048u);
    EXPECT_EQ(list.entries[0].endSector, 22048u);
    EXPECT_EQ(list.entries[1].firstSector, 42048u);
    EXPECT_EQ(list.entries[1].endSector, 50048u);
  }
}

TEST_F(PartitionWalkTest, ExtendedEntryTakesNoNumber) {
  // MBR: FAT16, extended, FAT32; the extended partition holds one NTFS logical drive.
  disk.Write(0, PartitionTable({{0x06, 63, 20000}, {0x05, 40000, 60000}, {0x0C, 20063, 19937}}));
  disk.Write(63, Fat16Boot({}));
  disk.Write(20063, Fat32Boot({}));
  disk.Write(40000, PartitionTable({{0x07, 63, 50000}}, false));
  disk.Write(40063, NtfsBoot({}));
  Walk();
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{
                                    {"Partition - 1 ( FAT16 )", "FAT16", 63, 20063},
                                    {"Partition - 2 ( FAT32 )", "FAT32", 20063, 40000},
                                    {"Partition - 3 ( NTFS )", "NTFS", 40063, 90063},
                                }));
  EXPECT_EQ(tree.Text(state.defaultItem), "Partition - 1 ( FAT16 )");
}

TEST_F(PartitionWalkTest, ChainLinksAreRelativeToTheExtendedStart) {
  // Only an extended partition (type 0x0F) with three logical drives; the links in entry 1 of
  // each record count from the extended partition's start, the drives from their own record.
  disk.Write(0, PartitionTable({{0x0F, 10000, 150000}}));
  disk.Write(10000, PartitionTable({{0x0B, 2048, 30000}, {0x05, 40000, 40000}}, false));
  disk.Write(12048, Fat32Boot({}));
  disk.Write(50000, PartitionTable({{0x0E, 2048, 20000}, {0x0F, 80000, 30000}}, false));
  disk.Write(52048, Fat16Boot({}));
  disk.Write(90000, PartitionTable({{0x07, 100, 10000}}, false));
  disk.Write(90100, NtfsBoot({}));
  const auto outcome = Walk();
  EXPECT_FALSE(outcome.chainLooped);
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{
                                    {"Partition - 1 ( FAT32 )", "FAT32", 12048, 42048},
                                    {"Partition - 2 ( FAT16 )", "FAT16", 52048, 72048},
                                    {"Partition - 3 ( NTFS )", "NTFS", 90100, 100100},
                                }));
  EXPECT_EQ(tree.Text(state.defaultItem), "Partition - 1 ( FAT32 )");
}

TEST_F(PartitionWalkTest, BootSectorSignatureDecidesTheName) {
  disk.Write(0,
             PartitionTable({{0x83, 100, 1000}, {0x07, 2000, 1000}, {0x01, 4000, 1000}, {0x83, 6000, 1000}}));
  disk.Write(100, NtfsBoot({}));    // a "Linux" entry carrying NTFS
  disk.Write(2000, Fat32Boot({}));  // an "NTFS" entry carrying FAT32
  Fat16Figures fat12;
  fat12.label = "FAT12   ";
  disk.Write(4000, Fat16Boot(fat12));  // FAT12 matches no signature and keeps type 0x01
  // sector 6000 stays empty: a Linux entry without a known boot sector is not listed
  Walk();
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{
                                    {"Partition - 1 ( NTFS )", "NTFS", 100, 1100},
                                    {"Partition - 2 ( FAT32 )", "FAT32", 2000, 3000},
                                    {"Partition - 3 ( FAT16 )", "FAT16", 4000, 5000},
                                }));
}

TEST_F(PartitionWalkTest, SignatureOrderAndUnlistedTypes) {
  // A sector carrying both "FAT16" at 54 and "FAT32" at 82 is FAT32; "NTFS" loses to both.
  Sector both = Fat16Boot({});
  PutText(both, 82, "FAT32");
  PutText(both, 3, "NTFS");
  disk.Write(0,
             PartitionTable({{0x07, 100, 1000}, {0x00, 2000, 1000}, {0x82, 4000, 1000}, {0x06, 6000, 1000}}));
  disk.Write(100, both);
  disk.Write(2000, Fat32Boot({}));  // type 0: skipped whatever its boot sector says
  // sector 4000 is blank: type 0x82 is not listed; sector 6000 blank: FAT16 by its type
  Walk();
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{
                                    {"Partition - 1 ( FAT32 )", "FAT32", 100, 1100},
                                    {"Partition - 2 ( FAT16 )", "FAT16", 6000, 7000},
                                }));
}

TEST_F(PartitionWalkTest, UnsignedOrUnreadableMbrListsNothing) {
  disk.Write(0, PartitionTable({{0x0C, 2048, 81920}}, false));
  disk.Write(2048, Fat32Boot({}));
  auto outcome = Walk();
  EXPECT_FALSE(outcome.tableSigned);
  EXPECT_TRUE(ListedPartitions().empty());
  EXPECT_EQ(state.anyPartitionListed, 0);
  EXPECT_EQ(state.defaultItem, kNoItem);

  disk.Write(0, PartitionTable({{0x0C, 2048, 81920}}));
  disk.device->MarkBad(0);
  outcome = Walk();
  EXPECT_FALSE(outcome.tableSigned);
  EXPECT_EQ(state.ForDisk(0).count, 0);
}

TEST_F(PartitionWalkTest, ANewWalkReplacesTheOldList) {
  disk.Write(0, PartitionTable({{0x0C, 2048, 81920}, {0x06, 90000, 10000}}));
  disk.Write(2048, Fat32Boot({}));
  Walk();
  ASSERT_EQ(state.ForDisk(0).count, 2);
  disk.Write(0, Sector{});  // the table is gone
  mytreectrl fresh(TreeKind::kPartitions, 0);
  WalkPartitionTable(disk.reader, 0, disk.Sectors(), fresh, state);
  EXPECT_EQ(state.ForDisk(0).count, 0);
  EXPECT_EQ(state.ForDisk(0).At(0), PartitionEntry{});
  EXPECT_EQ(state.anyPartitionListed, 0);
}

TEST_F(PartitionWalkTest, ListsOfOtherDisksAreLeftAlone) {
  state.ForDisk(3).Append(FsType::kNtfs, PartitionEntry{7, 63, 1000});
  disk.Write(0, PartitionTable({{0x0C, 2048, 81920}}));
  Walk();
  EXPECT_EQ(state.ForDisk(3).count, 1);
  EXPECT_EQ(state.ForDisk(3).Name(0), "NTFS");
  EXPECT_EQ(state.ForDisk(0).count, 1);
}

// The disk-end test of primary entries.
class PartitionDiskEndTest : public PartitionWalkTest {
 protected:
  PartitionDiskEndTest() : PartitionWalkTest(100000) {}
};

TEST_F(PartitionDiskEndTest, EntryStarting24575SectorsBeforeTheEndIsCorrupted) {
  disk.Write(0, PartitionTable({{0x06, 100000 - 24575, 24575}}));
  const auto outcome = Walk();
  EXPECT_TRUE(outcome.tableCorrupted);
  EXPECT_TRUE(ListedPartitions().empty());
  EXPECT_EQ(disk.lostPartitionStarts, 1);
}

TEST_F(PartitionDiskEndTest, EntryStarting24576SectorsBeforeTheEndIsListed) {
  disk.Write(0, PartitionTable({{0x06, 100000 - 24576, 24576}}));
  const auto outcome = Walk();
  EXPECT_FALSE(outcome.tableCorrupted);
  EXPECT_EQ(ListedPartitions(),
            (std::vector<Listed>{{"Partition - 1 ( FAT16 )", "FAT16", 100000 - 24576, 100000}}));
  EXPECT_EQ(disk.lostPartitionStarts, 0);
}

TEST_F(PartitionDiskEndTest, EarlierPartitionsStayListedAndLaterOnesAreNotRead) {
  // Entry 1 is an extended entry past the end: it is tested before anything else, so its chain
  // is never followed and entry 2 is never reached.
  disk.Write(0, PartitionTable({{0x0C, 63, 1000}, {0x05, 150000, 1000}, {0x06, 2000, 1000}}));
  disk.Write(63, Fat32Boot({}));
  const auto outcome = Walk();
  EXPECT_TRUE(outcome.tableCorrupted);
  EXPECT_EQ(ListedPartitions(), (std::vector<Listed>{{"Partition - 1 ( FAT32 )", "FAT32", 63, 1063}}));
  EXPECT_EQ(state.anyPartitionListed, 1);
  EXPECT_EQ(disk.lostPartitionStarts, 1);
}

TEST_F(PartitionDiskEndTest, LostPartitionSearchStartsOnlyOnceUntilRearmed) {
  disk.Write(0, PartitionTable({{0x06, 99000, 1000}}));
  Walk();
  Walk();
  EXPECT_EQ(disk.lostPartitionStarts, 1);
  disk.reader.Trigger().Rearm();
  Walk();
  EXPECT_EQ(disk.lostPartitionStarts, 2);
}

TEST(PartitionDiskEnd, ComparesInSixtyFourBits) {
  // 2^32 + 10000 sectors: a signed 32-bit difference would call a partition near the start
  // corrupted and one far past the end good.
  const std::uint64_t total = (1ull << 32) + 10000;
  EXPECT_FALSE(StartsTooNearDiskEnd(total, 2048));
  EXPECT_FALSE(StartsTooNearDiskEnd(total, total - 24576));
  EXPECT_TRUE(StartsTooNearDiskEnd(total, total - 24575));
  EXPECT_TRUE(StartsTooNearDiskEnd(10000, 0xFFFFFFF0u));
  EXPECT_TRUE(StartsTooNearDiskEnd(0, 0));
  EXPECT_TRUE(StartsTooNearDiskEnd(24575, 0));
  EXPECT_FALSE(StartsTooNearDiskEnd(24576, 0));
}

TEST(PartitionDiskEnd, LargeDiskPartitionsAreListed) {
  MemoryDisk big((1ull << 32) + 100000);
  big.Write(0, PartitionTable({{0x07, 2048, 0xFFFFFFFF}}));
  big.Write(2048, NtfsBoot({}));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkPartitionTable(big.reader, 0, big.Sectors(), tree, state);
  EXPECT_FALSE(outcome.tableCorrupted);
  ASSERT_EQ(state.ForDisk(0).count, 1);
  EXPECT_EQ(state.ForDisk(0).entries[0].endSector, 2048ull + 0xFFFFFFFFull);
}

TEST(PartitionNames, TypesAndItemTexts) {
  for (std::uint8_t t : {0x01, 0x04, 0x06, 0x0E}) EXPECT_EQ(ListedType(t), FsType::kFat16) << int(t);
  for (std::uint8_t t : {0x0B, 0x0C}) EXPECT_EQ(ListedType(t), FsType::kFat32) << int(t);
  EXPECT_EQ(ListedType(0x07), FsType::kNtfs);
  for (std::uint8_t t : {0x00, 0x05, 0x0F, 0x83, 0x82, 0x1B, 0xEF}) EXPECT_FALSE(ListedType(t)) << int(t);
  EXPECT_EQ(PartitionItemText(12, "NTFS"), "Partition - 12 ( NTFS )");
}

}  // namespace
}  // namespace quarrow
