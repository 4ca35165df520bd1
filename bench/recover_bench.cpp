// recover_bench: times the recovery of every file of a FAT partition (counting and writing, as
// RecoveryRun does them after a Standard search) next to a plain read of the same bytes: the same
// pieces of the same files, read through SectorReader in the same 512 KiB requests into one buffer
// and written nowhere.
//
//   recover_bench IMAGE DEST [PARTITION]      (PARTITION 1-4 of the MBR, default 1; DEST is
//                                              emptied before each run)
//
// Run it with a warm page cache (bench/recover_vs_cp.sh makes and warms a 1 GiB image, and times
// cp -r of the same files extracted by mtools beside it). The last line is machine-readable:
// "seconds RECOVERY READ".

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "recovery/fat_data_source.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/recovery_run.h"
#include "session/standard_search.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDisk = 1;
constexpr std::uint32_t kChunkSectors = 1024;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

template <typename F>
double Best(F run) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) best = std::min(best, run());
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: recover_bench IMAGE DEST [PARTITION]\n");
    return 2;
  }
  const int partition = argc == 4 ? std::atoi(argv[3]) : 1;
  if (partition < 1 || partition > 4) {
    std::fprintf(stderr, "recover_bench: PARTITION is 1 to 4\n");
    return 2;
  }
  const std::filesystem::path dest = argv[2];

  quarrow::DevicePathTable paths;
  paths.Set(kDisk, argv[1]);
  quarrow::PosixDeviceOpener opener;
  quarrow::SectorReader reader(paths, opener);
  std::vector<std::uint8_t> mbr(512);
  if (reader.ReadSectors(kDisk, 0, 1, mbr) == 0) {
    std::fprintf(stderr, "recover_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::size_t entry = 446 + 16 * static_cast<std::size_t>(partition - 1);
  const std::uint8_t type = mbr[entry + 4];
  const bool fat32 = type == 0x0B || type == 0x0C;
  const bool fat16 = type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0E;
  if (!fat32 && !fat16) {
    std::fprintf(stderr, "recover_bench: partition %d is no FAT partition (type 0x%02x)\n", partition, type);
    return 1;
  }

  quarrow::ScanContext ctx;
  ctx.reader = &reader;
  ctx.diskNumber = kDisk;
  ctx.partitionType = fat32 ? quarrow::FsType::kFat32 : quarrow::FsType::kFat16;
  ctx.searchStart = quarrow::Le32(mbr, entry + 8);
  ctx.searchEnd = ctx.searchStart + quarrow::Le32(mbr, entry + 12);
  if (auto refused = quarrow::StandardSearch(ctx).Run().refused) {
    std::fprintf(stderr, "recover_bench: %s\n", refused->c_str());
    return 1;
  }
  quarrow::ToggleCheckBox(ctx.results.Tree(), ctx.results.Tree().Root());
  quarrow::RecoveryOptions options;
  options.destination = dest;
  options.writeReport = false;

  // The read floor: the pieces every planned file is read from.
  auto source = quarrow::MakeFileDataSource(ctx);
  const quarrow::RecoveryPlan plan = quarrow::PlanRecovery(ctx, {}, *source, options);
  std::vector<std::uint8_t> buffer(std::size_t{kChunkSectors} * quarrow::kSectorSize);
  std::uint64_t bytes = 0;
  const double read = Best([&] {
    bytes = 0;
    const auto t0 = Clock::now();
    for (const quarrow::PlannedFile& f : plan.files) {
      const quarrow::FileData data = source->Locate(f.row);
      std::uint64_t left = data.size;
      for (const quarrow::DataPiece& p : data.pieces) {
        for (std::uint64_t done = 0; done < p.length && left > 0;) {
          const std::uint64_t want = std::min({p.length - done, left, std::uint64_t{buffer.size()}});
          const auto count = static_cast<std::uint32_t>((want + 511) / 512);
          ctx.Read(p.firstSector + done / 512, count, buffer);
          done += want;
          left -= want;
          bytes += want;
        }
      }
    }
    return Seconds(t0);
  });

  std::uint64_t written = 0, files = 0;
  const double recovery = Best([&] {
    std::filesystem::remove_all(dest);
    quarrow::RecoveryRun run(ctx);
    const auto t0 = Clock::now();
    const quarrow::RecoveryRunOutcome out = run.Run({}, options);
    const double s = Seconds(t0);
    written = out.written.bytesWritten;
    files = out.written.filesWritten;
    return s;
  });

  const double mib = static_cast<double>(bytes) / 1048576;
  std::printf("%s partition %d: %llu files, %.0f MiB of file data; best of 3 runs\n",
              fat32 ? "FAT32" : "FAT16", partition, static_cast<unsigned long long>(files), mib);
  std::printf("  plain read of the files' pieces : %7.3f s  (%.0f MiB/s)\n", read, mib / read);
  std::printf("  recovery (count and write)      : %7.3f s  (%.0f MiB/s), %llu bytes written\n", recovery,
              mib / recovery, static_cast<unsigned long long>(written));
  std::printf("  recovery / read                 : %7.2f\n", recovery / read);
  std::printf("seconds %.6f %.6f\n", recovery, read);
  return written == bytes ? 0 : 1;
}
