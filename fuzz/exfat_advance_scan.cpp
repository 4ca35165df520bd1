// A whole exFAT Advance search of a small hostile disk: the sector scan, the volumes identified
// from boot sectors or folders, then the tree of each volume rebuilt.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_disk.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  ctx.reader = &disk.reader;
  ctx.partitionType = quarrow::FsType::kExfat;
  ctx.searchStart = 0;
  // Small ranges only: the scan reads every sector.
  ctx.searchEnd = std::min<std::uint64_t>(disk.sectors, 1u << 16);
  quarrow::AdvanceSearch search(ctx);
  search.Run();
  const std::size_t found = search.Identified().size();
  for (std::size_t i = 0; i < found && i < 4; ++i) search.RunSecondStage(static_cast<int>(i));
  return 0;
}
