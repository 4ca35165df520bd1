// The file-system analysis of an Advance search over hostile scan tables, then the second stage of
// each file system it identified, on a disk that reads as zeros. Tables of plain numbers are also
// analysed the straightforward way, which must give the same tables.
//
// Input: a mode byte, then
//   mode even: text, one row a line, cells split at ','; a line starting "B," is a FileSystemTable
//   row (the cells after "B"), any other a DirectoryTable row. Cells may hold anything.
//   mode odd: a count byte n, then n boot-sector records (SPC byte, Cluster0Start and end as
//   32-bit values) and directory records (sector and self cluster, 32-bit each) to the end.
// Bit 1 of the mode byte picks the partition type (FAT32 when set).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "../tests/support/fat_analysis_reference.h"
#include "core/bytes.h"
#include "fat/fs_analysis.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"

namespace {

using quarrow::TextTable;

constexpr int kMaxSecondStages = 3;

void AppendRow(TextTable& table, const std::vector<std::string>& cells) {
  if (cells.empty()) return;
  const int row = table.AppendRow(cells[0]);
  for (std::size_t c = 1; c < cells.size(); ++c) table.SetCell(row, static_cast<int>(c), cells[c]);
}

void FillText(quarrow::ScanTables& tables, std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    std::vector<std::string> cells;
    for (std::size_t at = 0;;) {
      const std::size_t comma = line.find(',', at);
      cells.emplace_back(line.substr(at, comma == std::string_view::npos ? line.npos : comma - at));
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    if (cells[0] == "B") {
      cells.erase(cells.begin());
      AppendRow(tables.FileSystemTable, cells);
    } else {
      AppendRow(tables.DirectoryTable, cells);
    }
  }
}

void FillNumbers(quarrow::ScanTables& tables, std::span<const std::uint8_t> in) {
  using quarrow::Le32;
  const int boots = quarrow::Byte(in, 0);
  std::size_t at = 1;
  for (int b = 0; b < boots && at + 9 <= in.size(); ++b, at += 9) {
    std::vector<std::string> cells(11);
    cells[0] = "1";
    cells[2] = std::to_string(quarrow::Byte(in, at));
    cells[6] = std::to_string(Le32(in, at + 1));
    cells[9] = std::to_string(Le32(in, at + 5));
    cells[10] = "FAT32";
    AppendRow(tables.FileSystemTable, cells);
  }
  for (; at + 8 <= in.size(); at += 8) {
    AppendRow(tables.DirectoryTable,
              {std::to_string(Le32(in, at)), std::to_string(Le32(in, at + 4)), "7", "0", "1", "2", ""});
  }
}

bool SameTables(const quarrow::ScanTables& a, const quarrow::ScanTables& b) {
  for (auto table : {&quarrow::ScanTables::DirectoryTable, &quarrow::ScanTables::IdentifiedFileSystemTable}) {
    const TextTable& x = a.*table;
    const TextTable& y = b.*table;
    if (x.RowCount() != y.RowCount()) return false;
    for (int r = 0; r < x.RowCount(); ++r) {
      for (int c = 0; c < x.ColumnCount(); ++c) {
        if (x.Cell(r, c) != y.Cell(r, c)) return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data, size);
  const std::uint8_t mode = data[0];
  ScanContext ctx;
  ctx.partitionType = mode & 2 ? FsType::kFat32 : FsType::kFat16;
  ctx.ResetForScan();
  if (mode & 1) {
    FillNumbers(ctx.results.tables, input.subspan(1));
  } else {
    FillText(ctx.results.tables, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  }
  const ScanTables before = ctx.results.tables;
  const int identified = AnalyzeFileSystems(ctx);
  if (mode & 1) {
    ScanContext plain;
    plain.partitionType = ctx.partitionType;
    plain.results.tables = before;
    if (test_support::StraightforwardAnalysis(plain) != identified ||
        !SameTables(plain.results.tables, ctx.results.tables))
      std::abort();
  }
  for (int chosen = 0; chosen < identified && chosen < kMaxSecondStages; ++chosen) {
    RunFatSecondStage(ctx, chosen, nullptr);
  }
  return 0;
}
