// The Standard search of an NTFS partition over a hostile disk: validation, the $MFT's extents
// from its run list and attribute list, the walk over every record, the linking and the tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ntfs/mft_walk.h"
#include "ntfs_search_disk.h"
#include "session/standard_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::NtfsFuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  disk.SetUp(ctx);
  const std::uint64_t rangeRecords = (ctx.searchEnd - ctx.searchStart) / 2;
  quarrow::StandardSearch(ctx).Run();
  // The walk lists at most one row per record the range holds (and the catch-all folder).
  const auto rows = static_cast<std::uint64_t>(ctx.results.tables.PendingEntryTable.RowCount()) +
                    ctx.results.folderNodes.Count();
  if (rows > rangeRecords + 1) std::abort();
  // The extents alone, from the geometry validation left.
  const quarrow::MftExtentList list = quarrow::LoadMftExtents(
      ctx, ctx.geometry.Cluster0Sector, ctx.geometry.MftSector, ctx.geometry.SectorsPerCluster,
      std::size_t{ctx.geometry.MftRecordSectors} * 512);
  if (list.recordCount > list.TotalSectors() / list.RecordSectors()) std::abort();
  return 0;
}
