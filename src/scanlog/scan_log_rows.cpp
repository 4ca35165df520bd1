#include "scanlog/scan_log_rows.h"

#include "results/table_numbers.h"

namespace quarrow {

ScanLogFolderRecord FolderRecordFromNode(const FolderNode& node) {
  return {.name = node.name,
          .self = node.self,
          .parent = node.parent,
          .date = node.date,
          .time = node.time,
          .deleted = static_cast<std::uint8_t>(node.deleted != 0 ? 1 : 0)};
}

ScanLogFileRecord FileRecordFromRow(const TextTable& table, int row) {
  using namespace entry_col;
  // The whole name is kept: a UTF-8 name of 255 characters can be longer than 255 bytes.
  return {.name = table.Cell(row, kName),
          .sector = ReadU32(table.Cell(row, kSector)),
          .self = ReadU32(table.Cell(row, kSelf)),
          .parent = ReadU32(table.Cell(row, kParent)),
          .date = ReadI64(table.Cell(row, kDate)),
          .size = ReadU32(table.Cell(row, kSize)),
          .deleted = ReadU32(table.Cell(row, kDeleted))};
}

int InsertFolderRow(TextTable& table, int index, const ScanLogFolderRecord& folder) {
  using namespace entry_col;
  const int row = table.InsertRow(index, folder.name);
  table.SetCell(row, kSelf, U32Text(folder.self));
  table.SetCell(row, kParent, U32Text(folder.parent));
  table.SetCell(row, kDate, I64Text(folder.date));
  table.SetCell(row, kTime, I64Text(folder.time));
  table.SetCell(row, kSize, "0");
  table.SetCell(row, kType, "FOLDER");
  return row;
}

int InsertFileRow(TextTable& table, int index, const ScanLogFileRecord& file) {
  using namespace entry_col;
  const int row = table.InsertRow(index, file.name);
  table.SetCell(row, kSector, U32Text(file.sector));
  table.SetCell(row, kSelf, U32Text(file.self));
  table.SetCell(row, kParent, U32Text(file.parent));
  table.SetCell(row, kDate, I64Text(file.date));
  table.SetCell(row, kSize, U32Text(file.size));
  table.SetCell(row, kType, "FILE");
  table.SetCell(row, kDeleted, U32Text(file.deleted));
  return row;
}

}  // namespace quarrow
