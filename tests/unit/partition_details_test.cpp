// The partition details display for both search modes.

#include "partition/partition_details.h"

#include <gtest/gtest.h>

namespace quarrow {
namespace {

std::vector<std::string> Values(const PartitionDetails& d) {
  std::vector<std::string> out;
  for (const auto& row : d.rows) out.push_back(row.value);
  return out;
}

class PartitionDetailsTest : public ::testing::Test {
 protected:
  PartitionDetailsTest() {
    list.Append(FsType::kFat16, PartitionEntry{1, 63, 63 + 32768});      // 16 MB
    list.Append(FsType::kNtfs, PartitionEntry{2, 40000, 40000 + 2047});  // under 1 MB
    list.Append(FsType::kFat32,
                PartitionEntry{3, 3000000000u, 3000000000u + 8388608});  // 4096 MB, above 2^31
  }
  PartitionList list;
  DiskTexts disk{"7831552", "3824 MB"};
};

TEST_F(PartitionDetailsTest, StandardSearchRows) {
  const auto d = PartitionDetailsFor(list, "FAT16", 0, 1, SearchMode::kStandard, disk);
  ASSERT_EQ(d.rows.size(), 7u);
  EXPECT_EQ(d.rows[0].name, "1.   Disk Number                    :  ");
  EXPECT_EQ(d.rows[1].name, "2.   Partition Number              :  ");
  EXPECT_EQ(d.rows[2].name, "3.   Partition Type                   :  ");
  EXPECT_EQ(d.rows[3].name, "4.   Search Mode                   :  ");
  EXPECT_EQ(d.rows[4].name, "5.   Start Sector                     :  ");
  EXPECT_EQ(d.rows[5].name, "6.   End Sector                      :  ");
  EXPECT_EQ(d.rows[6].name, "7.   Size                                 :  ");
  EXPECT_EQ(Values(d), (std::vector<std::string>{"1", "1", "FAT16", "Standard", "63", "32831", "16 MB"}));
  EXPECT_EQ(d.modeText, "Standard Search");
  EXPECT_FALSE(d.rangeEditable);
  EXPECT_EQ(d.comboIndex, 0);
  EXPECT_EQ(d.startText, "63");
  EXPECT_EQ(d.endText, "32831");
  EXPECT_FALSE(d.expandRoot);
}

TEST_F(PartitionDetailsTest, SizeIsWholeMegabytesAndSectorsAboveTwoToThe31StayPositive) {
  auto d = PartitionDetailsFor(list, "NTFS", 1, 0, SearchMode::kStandard, disk);
  EXPECT_EQ(d.rows[6].value, "0 MB");
  EXPECT_EQ(d.comboIndex, 2);
  d = PartitionDetailsFor(list, "FAT32", 2, 0, SearchMode::kStandard, disk);
  EXPECT_EQ(d.rows[1].value, "3");
  EXPECT_EQ(d.rows[4].value, "3000000000");
  EXPECT_EQ(d.rows[5].value, "3008388608");
  EXPECT_EQ(d.rows[6].value, "4096 MB");
  EXPECT_EQ(d.comboIndex, 1);
}

TEST_F(PartitionDetailsTest, AdvanceSearchRows) {
  const auto d = PartitionDetailsFor(list, "FAT32", 2, 0, SearchMode::kAdvance, disk);
  ASSERT_EQ(d.rows.size(), 3u);
  EXPECT_EQ(d.rows[0].name, "1.   Partition Number          :          ");
  EXPECT_EQ(d.rows[1].name, "2.   Search Mode               :          ");
  EXPECT_EQ(d.rows[2].name, "3.   Size                             :  ");
  EXPECT_EQ(Values(d), (std::vector<std::string>{"3", "Advance", "4096 MB"}));
  EXPECT_EQ(d.modeText, "Advance Search");
  EXPECT_TRUE(d.rangeEditable);
  EXPECT_EQ(d.startText, "3000000000");
  EXPECT_EQ(d.endText, "3008388608");
}

TEST_F(PartitionDetailsTest, UnknownPartitionStandsForTheWholeDisk) {
  PartitionList none;
  auto d = PartitionDetailsFor(none, kUnknownPartition, 0, 2, SearchMode::kStandard, disk);
  EXPECT_EQ(Values(d),
            (std::vector<std::string>{"2", "1", "Unknown Partition", "Standard", "0", "7831552", "3824 MB"}));
  EXPECT_EQ(d.comboIndex, -1);
  EXPECT_TRUE(d.expandRoot);

  d = PartitionDetailsFor(none, kUnknownPartition, 0, 2, SearchMode::kAdvance, disk);
  EXPECT_EQ(Values(d), (std::vector<std::string>{"1", "Advance", "3824 MB"}));
  EXPECT_EQ(d.startText, "0");
  EXPECT_EQ(d.endText, "7831552");
  EXPECT_TRUE(d.expandRoot);
}

TEST_F(PartitionDetailsTest, IndexWithoutAnEntryShowsAnEmptyEntry) {
  const auto d = PartitionDetailsFor(list, "FAT16", 7, 0, SearchMode::kStandard, disk);
  EXPECT_EQ(d.rows[4].value, "0");
  EXPECT_EQ(d.rows[5].value, "0");
  EXPECT_EQ(d.rows[6].value, "0 MB");
  EXPECT_EQ(PartitionSizeMb(PartitionEntry{0, 5000, 100}), 0);  // an end before the start
}

TEST(PartitionClick, FindsTheClickedEntryAndIgnoresTheRest) {
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionList list;
  const TreeItem first = tree.InsertItem(tree.Root(), "Partition - 1 ( FAT16 )", 1, 1);
  const TreeItem second = tree.InsertItem(tree.Root(), "Partition - 2 ( NTFS )", 1, 1);
  const TreeItem unknown = tree.InsertItem(tree.Root(), "Unknown Partition", 1, 1);
  const TreeItem placeholder = tree.InsertItem(tree.Root(), "", 1, 1);
  list.Append(FsType::kFat16, PartitionEntry{first, 63, 1000});
  list.Append(FsType::kNtfs, PartitionEntry{second, 1000, 5000});

  EXPECT_EQ(ClickPartitionItem(tree, second, list, false), 1);
  EXPECT_EQ(tree.Selected(), second);
  EXPECT_EQ(ClickPartitionItem(tree, first, list, false), 0);
  EXPECT_EQ(tree.Selected(), first);

  for (TreeItem ignored : {tree.Root(), unknown, placeholder, TreeItem{999}}) {
    EXPECT_EQ(ClickPartitionItem(tree, ignored, list, false), -1);
    EXPECT_EQ(tree.Selected(), first);
  }
  EXPECT_EQ(ClickPartitionItem(tree, second, list, true), -1);  // the search is running
  EXPECT_EQ(tree.Selected(), first);

  // An entry beyond the count is not a listed partition, even if it names the item.
  list.entries[5].item = unknown;
  EXPECT_EQ(ClickPartitionItem(tree, unknown, list, false), -1);
}

}  // namespace
}  // namespace quarrow
