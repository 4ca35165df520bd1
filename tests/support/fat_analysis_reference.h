#pragma once
// The file-system analysis of an Advance search as plainly described, every unassigned directory
// against every later one, for checking the fast analysis against it (unit tests, and the fuzz
// target that compares the two on hostile tables). It reads no disk, so it knows nothing of
// backup boot sectors: compare it on tables whose boot sectors are no backups.

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/volume.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow::test_support {

inline int StraightforwardAnalysis(ScanContext& ctx) {
  TextTable& dirs = ctx.results.tables.DirectoryTable;
  TextTable& boots = ctx.results.tables.FileSystemTable;
  TextTable& out = ctx.results.tables.IdentifiedFileSystemTable;
  auto sector = [&](int r) { return ReadI64(dirs.Cell(r, 0)); };
  auto self = [&](int r) { return std::int64_t{ReadU32(dirs.Cell(r, 1))}; };
  auto open = [&](int r) { return ReadI32Saturating(dirs.Cell(r, 3)) == 0; };
  int n = 0;
  for (int f = 0; f < boots.RowCount(); ++f) {
    const std::int64_t spc = ReadU32(boots.Cell(f, 2)), c0 = ReadI64(boots.Cell(f, 6)),
                       e = ReadI64(boots.Cell(f, 9));
    bool copied = false;
    for (int r = 0; r < dirs.RowCount(); ++r) {
      if (!open(r) || sector(r) < c0 || sector(r) > e || sector(r) != self(r) * spc + c0) continue;
      if (!copied) {
        ++n, copied = true;
        out.AppendRow(boots.Cell(f, 0));
        for (int c = 1; c < 11; ++c) out.SetCell(out.RowCount() - 1, c, boots.Cell(f, c));
      }
      dirs.SetCell(r, 3, std::to_string(n));
    }
  }
  for (int j = 0; j < dirs.RowCount(); ++j) {
    if (!open(j)) continue;
    const std::int64_t l = self(j), m = sector(j);
    int partner = -1;
    std::int64_t o = 0;
    for (int b = j + 1; b < dirs.RowCount() && partner < 0; ++b) {
      const std::int64_t h = self(b), g = sector(b);
      if (!open(b) || !(l < h && m < g && h < g && h < m) || (g - m) % (h - l) != 0) continue;
      o = (g - m) / (h - l);
      if (o <= 128 && (o & (o - 1)) == 0 && l * o < m && h * o < g) partner = b;
    }
    if (partner < 0) {
      dirs.SetCell(j, 3, "-1");
      continue;
    }
    const std::int64_t c0 = m - l * o;
    const int row = out.AppendRow("0");
    out.SetCell(row, 2, std::to_string(o));
    out.SetCell(row, 6, std::to_string(c0));
    std::string type(FsTypeText(ctx.partitionType));
    out.SetCell(row, 10, type);
    ++n;
    std::int64_t largest = self(partner);
    for (int r = 0; r < dirs.RowCount(); ++r) {
      if (!open(r) || sector(r) != self(r) * o + c0) continue;
      dirs.SetCell(r, 3, std::to_string(n));
      largest = std::max(largest, self(r));
      if (largest > 65536 && type != "FAT32") out.SetCell(row, 10, "FAT32");
    }
  }
  return n;
}

}  // namespace quarrow::test_support
