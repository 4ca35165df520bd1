// ntfs_scan_bench: times the record scan of an NTFS Advance search over a partition next to plain
// reads of the same range in the same 512 KiB requests into a page-aligned buffer, then the
// numbering that follows the scan, and the Standard search's MFT walk.
//
//   ntfs_scan_bench IMAGE [PARTITION]      (PARTITION 1-4 of the MBR, default 1)
//
// Run it with a warm page cache (bench/ntfs_scan_vs_read.sh makes and warms a 1 GiB image).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/bytes.h"
#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "ntfs/mft_numbering.h"
#include "ntfs/mft_scan.h"
#include "results/scan_tables.h"
#include "scan/chunk_buffer.h"
#include "scan/scan_context.h"
#include "session/standard_search.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDisk = 1;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// The best of three runs: the least disturbed by whatever else the machine is doing.
template <typename F>
double Best(F run) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) best = std::min(best, run());
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: ntfs_scan_bench IMAGE [PARTITION]\n");
    return 2;
  }
  const int partition = argc == 3 ? std::atoi(argv[2]) : 1;
  if (partition < 1 || partition > 4) {
    std::fprintf(stderr, "ntfs_scan_bench: PARTITION is 1 to 4\n");
    return 2;
  }
  quarrow::DevicePathTable paths;
  paths.Set(kDisk, argv[1]);
  quarrow::PosixDeviceOpener opener;
  quarrow::SectorReader reader(paths, opener);
  std::vector<std::uint8_t> mbr(512);
  if (reader.ReadSectors(kDisk, 0, 1, mbr) == 0) {
    std::fprintf(stderr, "ntfs_scan_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::size_t entry = 446 + 16 * static_cast<std::size_t>(partition - 1);
  const std::uint64_t start = quarrow::Le32(mbr, entry + 8);
  const std::uint64_t count = quarrow::Le32(mbr, entry + 12);
  if (mbr[entry + 4] != 0x07 || count == 0) {
    std::fprintf(stderr, "ntfs_scan_bench: partition %d is no NTFS partition\n", partition);
    return 1;
  }
  const std::uint64_t end = start + count;
  const double mib = static_cast<double>(count) * 512 / 1048576;

  quarrow::ChunkBuffer chunk(quarrow::kMftScanChunkSectors);
  const double reads = Best([&] {
    const auto t0 = Clock::now();
    for (std::uint64_t p = start; p < end; p += quarrow::kMftScanChunkSectors) {
      const auto n =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(quarrow::kMftScanChunkSectors, end - p));
      reader.ReadSectors(kDisk, p, n, chunk.Sectors(n));
    }
    return Seconds(t0);
  });

  auto context = [&](quarrow::ScanContext& ctx) {
    ctx.reader = &reader;
    ctx.diskNumber = kDisk;
    ctx.partitionType = quarrow::FsType::kNtfs;
    ctx.searchStart = start;
    ctx.searchEnd = end;
    ctx.ResetForScan();
  };
  int records = 0, indexRecords = 0, folders = 0;
  const double scan = Best([&] {
    quarrow::ScanContext ctx;
    context(ctx);
    const auto t0 = Clock::now();
    quarrow::ScanMftRecords(ctx);
    const double s = Seconds(t0);
    records = ctx.results.tables.MftEntryTable.RowCount();
    indexRecords = ctx.results.tables.MftRecordTable.RowCount();
    return s;
  });
  int identified = 0;
  const double numbering = Best([&] {
    quarrow::ScanContext ctx;
    context(ctx);
    quarrow::ScanMftRecords(ctx);
    const auto t0 = Clock::now();
    identified = quarrow::AssignMftNumbers(ctx);
    const double s = Seconds(t0);
    folders = ctx.results.tables.DirectoryTable.RowCount();
    return s;
  });
  std::size_t files = 0;
  const double standard = Best([&] {
    quarrow::ScanContext ctx;
    context(ctx);
    const auto t0 = Clock::now();
    quarrow::StandardSearch(ctx).Run();
    const double s = Seconds(t0);
    files = static_cast<std::size_t>(ctx.results.tables.PendingEntryTable.RowCount());
    return s;
  });

  std::printf("NTFS partition %d: %.0f MiB from sector %llu; best of 3 runs\n", partition, mib,
              static_cast<unsigned long long>(start));
  std::printf("  reads of 512 KiB, page-aligned : %7.3f s  (%.0f MiB/s)\n", reads, mib / reads);
  std::printf("  ScanMftRecords                 : %7.3f s  (%.0f MiB/s), %d FILE and %d INDX rows\n", scan,
              mib / scan, records, indexRecords);
  std::printf("  ScanMftRecords / reads         : %7.2f  (target <= 1.2)\n", scan / reads);
  std::printf("  AssignMftNumbers               : %7.3f s  (%.1f%% of the scan), %d folders, %d volumes\n",
              numbering, 100 * numbering / scan, folders, identified);
  std::printf("  Standard search (whole)        : %7.3f s, %zu file rows\n", standard, files);
  return 0;
}
