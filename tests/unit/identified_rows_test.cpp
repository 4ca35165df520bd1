// Rows of IdentifiedFileSystemTable as each family writes them, read back through the one reader:
// a column of one family read with another's meaning is the fault this guards against.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "results/identified_rows.h"

namespace quarrow {
namespace {

struct RowCase {
  const char* name;
  std::map<int, std::string> cells;
  std::uint64_t sector, cluster0;
  std::uint32_t spc;
  bool fromBootSector;
};

void PrintTo(const RowCase& c, std::ostream* os) {
  *os << c.name;
}

class IdentifiedRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(IdentifiedRowTest, EachFamilyIsReadByItsOwnColumns) {
  const RowCase& c = GetParam();
  TextTable table(std::vector<std::string>(11, "column"));
  const int row = table.AppendRow(c.cells.at(0));
  for (const auto& [column, text] : c.cells) table.SetCell(row, column, text);
  const IdentifiedFileSystem fs = ReadIdentifiedFileSystem(table, row);
  EXPECT_EQ(fs.number, 1);
  EXPECT_EQ(fs.typeText, c.cells.at(kFileSystemTypeColumn));
  EXPECT_EQ(fs.sector, c.sector);
  EXPECT_EQ(fs.spc, c.spc);
  EXPECT_EQ(fs.cluster0, c.cluster0);
  EXPECT_EQ(fs.fromBootSector, c.fromBootSector);
}

INSTANTIATE_TEST_SUITE_P(
    Families, IdentifiedRowTest,
    ::testing::Values(
        // A FAT32 boot sector's row, copied whole; the same volume on a card without a table.
        RowCase{"fat_boot",
                {{0, "2048"}, {1, "1009"}, {2, "8"}, {3, "0"}, {4, "2"}, {5, "32"}, {6, "4098"},
                 {7, "2080"}, {8, "3089"}, {9, "2099200"}, {10, "FAT32"}},
                2048, 4098, 8, true},
        RowCase{"fat_boot_at_sector_0",
                {{0, "0"}, {1, "1009"}, {2, "8"}, {3, "0"}, {4, "2"}, {5, "32"}, {6, "2050"},
                 {7, "32"}, {8, "1041"}, {9, "2097152"}, {10, "FAT32"}},
                0, 2050, 8, true},
        RowCase{"fat_derived", {{0, "0"}, {2, "4"}, {6, "6140"}, {10, "FAT16"}}, 0, 6140, 4, false},
        // exFAT: found by a boot sector or not, as its own column says.
        RowCase{"exfat_boot",
                {{0, "2048"}, {1, "64"}, {2, "64"}, {3, "1"}, {4, "5"}, {5, "2048"}, {6, "4000"},
                 {7, "2096"}, {9, "1000000"}, {10, "exFAT"}},
                2048, 4000, 64, true},
        RowCase{"exfat_derived", {{0, "0"}, {2, "64"}, {3, "0"}, {6, "4000"}, {10, "exFAT"}}, 0, 4000, 64, false},
        // NTFS: the volume's start and end; one derived from folders is no boot sector at 2048.
        RowCase{"ntfs_boot",
                {{0, "2048"}, {1, "206848"}, {2, "8"}, {3, "1"}, {6, "2048"}, {10, "NTFS"}},
                2048, 2048, 8, true},
        RowCase{"ntfs_derived",
                {{0, "2048"}, {1, "206848"}, {2, "8"}, {3, "0"}, {6, "2048"}, {10, "NTFS"}},
                2048, 2048, 8, false}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarrow
