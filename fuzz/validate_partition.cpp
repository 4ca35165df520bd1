// Partition validation of every type over a hostile disk: the volume starts at sector 0, or at
// the first sector the input gives.
#include "partition/validate_partition.h"

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "fuzz_disk.h"
#include "scan/scan_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  const std::uint64_t start = size >= 12 ? quarrow::Le32({data, size}, 8) % (disk.sectors + 1) : 0;
  for (quarrow::FsType type :
       {quarrow::FsType::kFat16, quarrow::FsType::kFat32, quarrow::FsType::kNtfs, quarrow::FsType::kExfat}) {
    for (std::uint64_t first : {std::uint64_t{0}, start}) {
      quarrow::ScanContext ctx;
      ctx.reader = &disk.reader;
      ctx.partitionType = type;
      ctx.searchStart = first;
      ctx.searchEnd = disk.sectors;
      quarrow::ValidatePartition(ctx);
    }
  }
  return 0;
}
