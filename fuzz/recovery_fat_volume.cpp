// Where the recovery reads FAT files from, on a hostile volume: the partition at the disk's first
// given sector is validated as a search does, then every file of its root directory, and rows made
// from the input, are located and estimated. Whatever the FAT and the entries say, every piece
// lies inside the volume's data area and the pieces give no more than the clusters the size needs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "core/bytes.h"
#include "fat/boot_sector.h"
#include "fat/fat_file_list.h"
#include "fuzz_disk.h"
#include "partition/validate_partition.h"
#include "recovery/fat_data_source.h"
#include "results/file_list.h"
#include "scan/scan_context.h"

namespace {

void Check(const quarrow::ScanContext& ctx, quarrow::FatDataSource& source, const quarrow::DetailsRow& row) {
  const quarrow::FileData data = source.Locate(row);
  source.Estimate(row);
  const quarrow::ActiveVolumeGeometry& g = ctx.activeGeometry;
  const std::uint64_t firstData = std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster;
  const std::uint64_t clusterBytes = source.ClusterBytes();
  std::uint64_t total = 0;
  for (const quarrow::DataPiece& p : data.pieces) {
    if (p.kind != quarrow::DataPiece::Kind::kSectors || p.length == 0 || p.length % clusterBytes != 0)
      std::abort();
    if (p.firstSector < firstData || p.firstSector + p.length / quarrow::kSectorSize > ctx.searchEnd)
      std::abort();
    total += p.length;
  }
  if (clusterBytes != 0 && total > (data.size + clusterBytes - 1) / clusterBytes * clusterBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  const std::span<const std::uint8_t> input(data, size);
  quarrow::ScanContext ctx;
  ctx.reader = &disk.reader;
  ctx.diskNumber = 0;
  ctx.searchStart = quarrow::Le32(input, 8);  // the first sector the input gives
  ctx.searchEnd = disk.sectors;
  if (ctx.searchStart >= ctx.searchEnd) return 0;
  std::array<std::uint8_t, quarrow::kSectorSize> boot{};
  ctx.Read(ctx.searchStart, 1, boot);
  const quarrow::FsType type = quarrow::DecodeFatBootSector(boot).TypeByClusterCount();
  if (!quarrow::IsFat(type)) return 0;
  // The partition type a search starts from: FAT12 volumes are listed as FAT16.
  ctx.partitionType = type == quarrow::FsType::kFat32 ? quarrow::FsType::kFat32 : quarrow::FsType::kFat16;
  ctx.ResetForScan();
  if (quarrow::ValidatePartition(ctx) != 1) return 0;
  ctx.activeGeometry.CopyFrom(ctx.geometry, ctx.partitionType);
  quarrow::CorrectFat12Type(ctx);
  quarrow::FatDataSource source(ctx);

  quarrow::DetailsList list;
  quarrow::FatReader fat(ctx);
  quarrow::ListFatFiles(ctx, fat, list, 0);
  for (const quarrow::DetailsRow& row : list.rows) {
    Check(ctx, source, row);
    quarrow::DetailsRow deleted = row;
    deleted.deleted = !row.deleted;
    Check(ctx, source, deleted);
  }
  // Rows no directory holds: the input's last bytes as first clusters and sizes.
  for (std::size_t at = size >= 64 ? size - 64 : 0; at + 8 <= size; at += 8) {
    quarrow::DetailsRow row;
    row.debug1 = std::to_string(quarrow::Le32(input, at));
    row.size = std::to_string(quarrow::Le32(input, at + 4) % (64u << 20));
    row.deleted = (data[at] & 1) != 0;
    Check(ctx, source, row);
  }
  return 0;
}
