// advance_bench: the two costs of an Advance search on FAT that grow with the disk.
//
//   advance_bench [--reference] [IMAGE START END]
//
// With an image, the sector scan (AdvanceScan) of sectors START to END is timed next to plain
// reads of the same range in the scan's own request size (1024 sectors) into a page-aligned
// buffer through SectorReader; run it with a warm page cache (bench/advance_vs_dd.sh makes and
// warms a 1 GiB image). Always, the file-system analysis is timed on generated DirectoryTables of
// 10,000 and 40,000 directory candidates laid out as a scan of a disk with several volumes
// writes them; --reference also times the straightforward quadratic analysis on the smaller one.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "../tests/support/fat_analysis_reference.h"
#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "fat/advance_scan.h"
#include "fat/fs_analysis.h"
#include "scan/scan_context.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDisk = 1;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// The best of five runs: the least disturbed by whatever else the machine is doing.
template <typename F>
double Best(F run) {
  double best = 1e300;
  for (int i = 0; i < 5; ++i) best = std::min(best, run());
  return best;
}

struct AlignedFree {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{4096}); }
};

void AppendRow(quarrow::TextTable& table, const std::vector<std::string>& cells) {
  const int row = table.AppendRow(cells[0]);
  for (std::size_t c = 1; c < cells.size(); ++c) table.SetCell(row, static_cast<int>(c), cells[c]);
}

// A disk of five FAT volumes (one still with its boot sector) whose directories the scan met in
// sector order, with stale copies of some at other sectors and one candidate in ten that fits
// nothing (file data that happens to begin with "." and "..").
void GenerateTables(quarrow::ScanTables& tables, int candidates, unsigned seed) {
  std::mt19937 rng(seed);
  struct Volume {
    std::int64_t cluster0;
    std::uint32_t spc;
  };
  const std::vector<Volume> volumes = {
      {40000, 8}, {4000000, 4}, {9000000, 16}, {20000000, 1}, {30000000, 32}};
  std::vector<std::pair<std::int64_t, std::uint32_t>> dirs;
  std::uniform_int_distribution<std::uint32_t> cluster(3, 400000), pick(0, 9);
  for (int i = 0; i < candidates; ++i) {
    const std::uint32_t kind = pick(rng);
    const Volume& v = volumes[i % volumes.size()];
    const std::uint32_t self = cluster(rng);
    if (kind == 0) {
      dirs.emplace_back(std::uniform_int_distribution<std::int64_t>(0, 40000000)(rng), self);
    } else if (kind == 1) {
      dirs.emplace_back(v.cluster0 + std::int64_t{self} * v.spc + 1 + pick(rng), self);
    } else {
      dirs.emplace_back(v.cluster0 + std::int64_t{self} * v.spc, self);
    }
  }
  std::sort(dirs.begin(), dirs.end());
  for (const auto& [sector, self] : dirs)
    AppendRow(tables.DirectoryTable, {std::to_string(sector), std::to_string(self), "2", "0", "1", "2", ""});
  std::vector<std::string> boot(11);
  boot[0] = "39000", boot[2] = "8", boot[6] = "40000", boot[9] = "4000000", boot[10] = "FAT32";
  AppendRow(tables.FileSystemTable, boot);
}

}  // namespace

int main(int argc, char** argv) {
  bool reference = false;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reference") == 0) {
      reference = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() != 0 && args.size() != 3) {
    std::fprintf(stderr, "usage: advance_bench [--reference] [IMAGE START END]\n");
    return 2;
  }

  if (args.size() == 3) {
    const std::uint64_t start = std::strtoull(args[1], nullptr, 10),
                        end = std::strtoull(args[2], nullptr, 10);
    quarrow::DevicePathTable paths;
    paths.Set(kDisk, args[0]);
    quarrow::PosixDeviceOpener opener;
    quarrow::SectorReader reader(paths, opener);
    const std::size_t chunkBytes = std::size_t{quarrow::kAdvanceChunkSectors} * 512;
    std::unique_ptr<std::uint8_t, AlignedFree> store(
        static_cast<std::uint8_t*>(::operator new[](chunkBytes, std::align_val_t{4096})));
    const double reads = Best([&] {
      const auto t0 = Clock::now();
      for (std::uint64_t p = start; p < end; p += quarrow::kAdvanceChunkSectors)
        reader.ReadSectors(kDisk, p, quarrow::kAdvanceChunkSectors, {store.get(), chunkBytes});
      return Seconds(t0);
    });
    int boots = 0, dirs = 0;
    const double scan = Best([&] {
      quarrow::ScanContext ctx;
      ctx.reader = &reader;
      ctx.diskNumber = kDisk;
      ctx.partitionType = quarrow::FsType::kFat32;
      ctx.searchStart = start;
      ctx.searchEnd = end;
      ctx.ResetForScan();
      const auto t0 = Clock::now();
      quarrow::AdvanceScan(ctx);
      const double s = Seconds(t0);
      boots = ctx.results.tables.FileSystemTable.RowCount();
      dirs = ctx.results.tables.DirectoryTable.RowCount();
      return s;
    });
    const double mib = static_cast<double>(end - start) * 512 / 1048576;
    std::printf("sectors %llu to %llu (%.0f MiB); best of 5 runs\n", static_cast<unsigned long long>(start),
                static_cast<unsigned long long>(end), mib);
    std::printf("  reads of 1024 sectors, aligned : %7.3f s  (%.0f MiB/s)\n", reads, mib / reads);
    std::printf("  AdvanceScan                    : %7.3f s  (%.0f MiB/s), %d boot sectors, %d directories\n",
                scan, mib / scan, boots, dirs);
    std::printf("  AdvanceScan / reads            : %7.2f\n", scan / reads);
  }

  std::printf("analysis of generated tables; best of 5 runs\n");
  double small = 0;
  for (int candidates : {10000, 40000}) {
    int identified = 0;
    const double t = Best([&] {
      quarrow::ScanContext ctx;
      ctx.partitionType = quarrow::FsType::kFat16;
      GenerateTables(ctx.results.tables, candidates, 7);
      const auto t0 = Clock::now();
      identified = quarrow::AnalyzeFileSystems(ctx);
      return Seconds(t0);
    });
    if (candidates == 10000) small = t;
    std::printf("  %6d candidates: %8.4f s, %d file systems identified\n", candidates, t, identified);
    if (candidates == 40000) std::printf("  40000 / 10000 time ratio: %.2f (rows x4)\n", t / small);
  }
  if (reference) {
    quarrow::ScanContext ctx;
    ctx.partitionType = quarrow::FsType::kFat16;
    GenerateTables(ctx.results.tables, 10000, 7);
    const auto t0 = Clock::now();
    const int identified = quarrow::test_support::StraightforwardAnalysis(ctx);
    std::printf("  straightforward analysis, 10000 candidates: %.3f s, %d identified\n", Seconds(t0),
                identified);
  }
  return 0;
}
