// Cluster chains through a hostile FAT of each width: the FAT begins at the first sector the input
// gives, and chains are followed from the first clusters it names.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "fat/directory_reader.h"
#include "fat/fat_reader.h"
#include "fuzz_disk.h"
#include "scan/scan_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  const quarrow::ByteSpan input(data, size);
  for (quarrow::FsType type : {quarrow::FsType::kFat12, quarrow::FsType::kFat16, quarrow::FsType::kFat32}) {
    quarrow::ScanContext ctx;
    ctx.reader = &disk.reader;
    ctx.searchEnd = disk.sectors;
    ctx.activeGeometry.type = type;
    // The FAT begins at the first sector the input gives and runs over the sectors given.
    ctx.activeGeometry.FirstFatSector = std::max<std::uint32_t>(quarrow::Le32(input, 8) % 4096, 1);
    ctx.activeGeometry.FatSectors = static_cast<std::uint32_t>(disk.sectors % 70000);
    ctx.activeGeometry.SectorsPerCluster = 1u << (input.empty() ? 0 : input[0] % 8);
    ctx.activeGeometry.Cluster0Sector = quarrow::Le32(input, 4) % 8192;
    quarrow::FatReader fat(ctx);
    // The last 32 bytes name the clusters whose chains are followed.
    for (std::size_t k = 0; k < 8 && size >= 4 * (k + 1); ++k) {
      const std::uint32_t start = quarrow::Le32(input, size - 4 * (k + 1));
      quarrow::FollowClusterChain(fat, start);
      quarrow::DirectoryChainSectors(ctx, fat, start);
    }
  }
  return 0;
}
