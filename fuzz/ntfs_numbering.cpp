// The Advance search of an NTFS range over a hostile disk: the record scan (FILE and INDX look-
// alikes, boot sectors), the numbering with its probes, and the second stage of every volume it
// identified.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ntfs_search_disk.h"
#include "results/scan_tables.h"
#include "session/advance_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::NtfsFuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  disk.SetUp(ctx);
  quarrow::AdvanceSearch search(ctx);
  search.Run();
  const int records = ctx.results.tables.MftEntryTable.RowCount();
  const auto identified = search.Identified();
  if (records > 0 && identified.empty()) std::abort();  // records always give a volume to rebuild
  for (std::size_t i = 0; i < identified.size() && i < 4; ++i) {
    search.RunSecondStage(static_cast<int>(i));
    if (ctx.results.tables.PendingEntryTable.RowCount() > records) std::abort();
  }
  return 0;
}
