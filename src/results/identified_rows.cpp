#include "results/identified_rows.h"

#include "results/table_numbers.h"

namespace quarrow {

IdentifiedFileSystem ReadIdentifiedFileSystem(const TextTable& table, int row) {
  IdentifiedFileSystem fs;
  fs.number = row + 1;
  fs.typeText = table.GetCell(row, kFileSystemTypeColumn, 100);
  if (fs.typeText == "NTFS") {
    using namespace ntfs_fs_col;
    fs.sector = ReadU32(table.GetCell(row, kStart));
    fs.spc = ReadU32(table.GetCell(row, kSpc));
    fs.cluster0 = fs.sector;
    fs.fromBootSector = table.GetCell(row, kFoundByBoot) == "1";
  } else if (fs.typeText == "exFAT") {
    using namespace exfat_fs_col;
    fs.sector = ReadU32(table.GetCell(row, kBootSector));
    fs.spc = ReadU32(table.GetCell(row, kSpc));
    fs.cluster0 = ReadU32(table.GetCell(row, kCluster0));
    fs.fromBootSector = table.GetCell(row, kFoundByBoot) == "1";
  } else {
    using namespace fat_fs_col;
    fs.sector = ReadU32(table.GetCell(row, kSector));
    fs.spc = ReadU32(table.GetCell(row, kSpc));
    fs.cluster0 = ReadU32(table.GetCell(row, kCluster0));
    // A volume derived from folders has no FAT figures; one whose boot sector is sector 0 (a card
    // without a partition table) has them like any other.
    fs.fromBootSector = ReadU32(table.GetCell(row, kFirstFat)) != 0;
  }
  return fs;
}

}  // namespace quarrow
