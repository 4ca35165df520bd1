// A whole exFAT Standard search of a small hostile volume at sector 0 (the boot region and its
// backup, validation, the directory walk through chains and runs), then every file listed located
// and estimated the way recovery does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>

#include "core/bytes.h"
#include "exfat/directory_walk.h"
#include "fuzz_disk.h"
#include "recovery/exfat_data_source.h"
#include "results/file_list.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"
#include "session/standard_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  ctx.reader = &disk.reader;
  ctx.partitionType = quarrow::FsType::kExfat;
  ctx.searchStart = 0;
  ctx.searchEnd = std::min<std::uint64_t>(disk.sectors, 1u << 20);
  quarrow::StandardSearch search(ctx);
  search.Run();
  quarrow::ExfatDataSource source(ctx);
  const quarrow::TextTable& files = ctx.results.tables.PendingEntryTable;
  std::set<std::uint32_t> parents;
  for (int r = 0; r < files.RowCount() && parents.size() < 64; ++r)
    parents.insert(quarrow::ReadU32(files.Cell(r, quarrow::entry_col::kParent)));
  for (std::uint32_t parent : parents) {
    quarrow::DetailsList list;
    quarrow::ListNtfsFiles(ctx.results, list, parent);
    if (list.rows.size() > 200) list.rows.resize(200);
    for (const quarrow::DetailsRow& row : list.rows) {
      const quarrow::FileData where = source.Locate(row);
      std::uint64_t total = 0;
      for (const quarrow::DataPiece& piece : where.pieces) total += piece.length;
      // The pieces never give more than the file holds.
      if (total > where.size) __builtin_trap();
      (void)source.Estimate(row);
    }
  }
  return 0;
}
