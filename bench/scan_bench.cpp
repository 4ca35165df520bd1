// scan_bench: times the data-area scan of a FAT partition alone, next to plain 256 KiB reads of
// the same range through SectorReader into a page-aligned buffer and into a buffer 16 bytes past
// a page boundary (where a 256 KiB std::vector from malloc lands). The kernel copies into a
// destination that is not cache-line aligned several times slower, which is the gap to look at
// when the scan is slower than reading.
//
//   scan_bench IMAGE [PARTITION]      (PARTITION 1-4 of the MBR, default 1)
//
// Run it with a warm page cache (bench/scan_vs_dd.sh makes and warms a 1 GiB image).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "fat/directory_passes.h"
#include "partition/validate_partition.h"
#include "scan/scan_context.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kChunkSectors = 512;
constexpr std::size_t kChunkBytes = std::size_t{kChunkSectors} * 512;
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

struct AlignedFree {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{4096}); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: quarrow_bench IMAGE [PARTITION]\n");
    return 2;
  }
  const int partition = argc == 3 ? std::atoi(argv[2]) : 1;
  if (partition < 1 || partition > 4) {
    std::fprintf(stderr, "quarrow_bench: PARTITION is 1 to 4\n");
    return 2;
  }

  quarrow::DevicePathTable paths;
  paths.Set(kDisk, argv[1]);
  quarrow::PosixDeviceOpener opener;
  quarrow::SectorReader reader(paths, opener);

  std::vector<std::uint8_t> mbr(512);
  if (reader.ReadSectors(kDisk, 0, 1, mbr) == 0) {
    std::fprintf(stderr, "quarrow_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::size_t entry = 446 + 16 * static_cast<std::size_t>(partition - 1);
  const std::uint8_t type = mbr[entry + 4];
  const std::uint64_t start = quarrow::Le32(mbr, entry + 8);
  const std::uint64_t count = quarrow::Le32(mbr, entry + 12);
  const char* typeText = (type == 0x0B || type == 0x0C)                                   ? "FAT32"
                         : (type == 0x04 || type == 0x06 || type == 0x0E || type == 0x01) ? "FAT16"
                                                                                          : nullptr;
  if (!typeText || count == 0) {
    std::fprintf(stderr, "quarrow_bench: partition %d is no FAT partition (type 0x%02x)\n", partition, type);
    return 1;
  }
  const std::uint64_t end = start + count;
  const double mib = static_cast<double>(count) * 512 / 1048576;

  auto readRange = [&](std::span<std::uint8_t> buffer) {
    const auto t0 = Clock::now();
    for (std::uint64_t p = start; p < end; p += kChunkSectors) {
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, end - p));
      reader.ReadSectors(kDisk, p, n, buffer.first(std::size_t{n} * 512));
    }
    return Seconds(t0);
  };
  std::unique_ptr<std::uint8_t, AlignedFree> store(
      static_cast<std::uint8_t*>(::operator new[](kChunkBytes + 4096, std::align_val_t{4096})));
  const double aligned = Best([&] { return readRange({store.get(), kChunkBytes}); });
  const double offset16 = Best([&] { return readRange({store.get() + 16, kChunkBytes}); });

  std::size_t rows = 0;
  const double scan = Best([&] {
    quarrow::ScanContext ctx;
    ctx.reader = &reader;
    ctx.diskNumber = kDisk;
    ctx.partitionType = quarrow::FsTypeFromText(typeText).value_or(quarrow::FsType::kNone);
    ctx.searchStart = static_cast<std::uint64_t>(start);
    ctx.searchEnd = static_cast<std::uint64_t>(end);
    ctx.ResetForScan();
    quarrow::ValidatePartition(ctx);
    const auto t0 = Clock::now();
    quarrow::ScanDataArea(ctx);
    const double s = Seconds(t0);
    rows = static_cast<std::size_t>(ctx.results.tables.EntryTable.RowCount());
    return s;
  });

  std::printf("%s partition %d: %.0f MiB from sector %llu; best of 3 runs\n", typeText, partition, mib,
              static_cast<unsigned long long>(start));
  std::printf("  reads into a page-aligned buffer : %7.3f s  (%.0f MiB/s)\n", aligned, mib / aligned);
  std::printf("  reads into a buffer at page + 16 : %7.3f s  (%.0f MiB/s)\n", offset16, mib / offset16);
  std::printf("  ScanDataArea                     : %7.3f s  (%.0f MiB/s), %zu EntryTable rows\n", scan,
              mib / scan, rows);
  std::printf("  ScanDataArea / aligned reads     : %7.2f\n", scan / aligned);
  return 0;
}
