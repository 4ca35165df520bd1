// The exFAT boot-sector decoder, its plausibility rules, the layout it gives and the boot region
// checksum, over arbitrary bytes taken as a boot region.
#include <cstddef>
#include <cstdint>

#include "exfat/boot_sector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarrow::ByteSpan bytes(data, size);
  const quarrow::ExfatBootSector boot = quarrow::DecodeExfatBootSector(bytes);
  (void)boot.IsExfatBootSector();
  if (const auto layout = quarrow::LayoutFromBootSector(boot, size)) {
    // Every cluster of the heap has a sector; the last one too.
    (void)layout->ClusterSector(layout->clusterCount + 1);
    (void)layout->ValidCluster(layout->rootCluster);
  }
  (void)quarrow::BootRegionChecksumHolds(bytes, 512);
  if (boot.bytesPerSectorShift <= 12) (void)quarrow::BootRegionChecksumHolds(bytes, boot.BytesPerSector());
  (void)quarrow::BootRegionChecksum(bytes, size / 11);
  return 0;
}
