// The FAT boot-sector decoder and the type rules over arbitrary bytes, and the check that tells a
// partition table from a volume's boot sector.
#include <cstddef>
#include <cstdint>

#include "fat/boot_sector.h"
#include "partition/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarrow::ByteSpan bytes(data, size);
  const quarrow::FatBootSector boot = quarrow::DecodeFatBootSector(bytes);
  (void)boot.Plausible();
  (void)boot.TypeByClusterCount();
  (void)boot.RootDirSectors();
  for (quarrow::FsType type : {quarrow::FsType::kFat16, quarrow::FsType::kFat32, quarrow::FsType::kNtfs})
    (void)quarrow::RefineFatType(bytes, type);
  (void)quarrow::EntriesLookLikeATable(bytes);
  return 0;
}
