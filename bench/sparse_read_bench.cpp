// sparse_read_bench: the two ways the data-area pass of a FAT Standard search can read a volume,
// timed side by side on one device: the whole area in 512-sector chunks into a page-aligned
// buffer, or only the first sector of each cluster (all the pass tests), for clusters of 8 to 128
// sectors. The two are run in turn, RUNS times each (default 5), and the medians are printed.
//
//   sparse_read_bench DEVICE FIRST_SECTOR SECTORS [cold]
//
// DEVICE is an image file or a block device (a loop device over the image, say). "cold" empties
// the page cache before every timed read (writes 3 to /proc/sys/vm/drop_caches: root only), so
// the reads come from the medium; without it every read is from memory (run each once first).
// bench/sparse_vs_whole.sh runs it on the 1 GiB bench image and on a loop device of it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kChunkSectors = 512;
constexpr std::size_t kChunkBytes = std::size_t{kChunkSectors} * 512;
constexpr int kDisk = 1;

struct AlignedFree {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{4096}); }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool DropCaches() {
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n";
  drop.flush();
  return static_cast<bool>(drop);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5 || (argc == 5 && std::string(argv[4]) != "cold")) {
    std::fprintf(stderr, "usage: sparse_read_bench DEVICE FIRST_SECTOR SECTORS [cold]\n");
    return 2;
  }
  const std::uint64_t first = std::strtoull(argv[2], nullptr, 10);
  const std::uint64_t count = std::strtoull(argv[3], nullptr, 10);
  const bool cold = argc == 5;
  const char* runsText = std::getenv("RUNS");
  const int runs = std::max(1, runsText ? std::atoi(runsText) : 5);
  if (count == 0) {
    std::fprintf(stderr, "sparse_read_bench: SECTORS is 0\n");
    return 2;
  }

  quarrow::DevicePathTable paths;
  paths.Set(kDisk, argv[1]);
  quarrow::PosixDeviceOpener opener;
  quarrow::SectorReader reader(paths, opener);
  std::unique_ptr<std::uint8_t, AlignedFree> store(
      static_cast<std::uint8_t*>(::operator new[](kChunkBytes, std::align_val_t{4096})));
  const std::span<std::uint8_t> chunk(store.get(), kChunkBytes);
  const std::uint64_t end = first + count;
  if (reader.ReadSectors(kDisk, first, 1, chunk.first(512)) == 0) {
    std::fprintf(stderr, "sparse_read_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  if (cold && !DropCaches()) {
    std::fprintf(stderr, "sparse_read_bench: cannot empty the page cache (not root?)\n");
    return 1;
  }

  // Each returns its time in seconds; the checksum keeps the reads from being thought unused.
  std::uint64_t sum = 0;
  const auto timed = [&](auto read) {
    if (cold) DropCaches();
    const auto t0 = Clock::now();
    read();
    return std::chrono::duration<double>(Clock::now() - t0).count();
  };
  const auto whole = [&] {
    for (std::uint64_t p = first; p < end; p += kChunkSectors) {
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, end - p));
      reader.ReadSectors(kDisk, p, n, chunk.first(std::size_t{n} * 512));
      sum += chunk[0];
    }
  };
  std::uint32_t spc = 0;
  const auto sparse = [&] {
    for (std::uint64_t p = first; p < end; p += spc) {
      reader.ReadSectors(kDisk, p, 1, chunk.first(512));
      sum += chunk[0];
    }
  };
  if (!cold) {  // every byte in memory before the first timed run
    whole();
  }

  const double mib = static_cast<double>(count) * 512 / 1048576;
  std::printf("%s: %.0f MiB from sector %llu, %s page cache, median of %d runs\n", argv[1], mib,
              static_cast<unsigned long long>(first), cold ? "cold" : "warm", runs);
  std::printf("  %-16s %10s %10s %14s\n", "sectors/cluster", "whole s", "sparse s", "sparse/whole");
  for (spc = 8; spc <= 128; spc *= 2) {
    std::vector<double> w, s;
    for (int i = 0; i < runs; ++i) {
      w.push_back(timed(whole));
      s.push_back(timed(sparse));
    }
    std::printf("  %-16u %10.3f %10.3f %14.2f\n", spc, Median(w), Median(s), Median(s) / Median(w));
  }
  std::fprintf(stderr, "(checksum %llu)\n", static_cast<unsigned long long>(sum));
  return 0;
}
