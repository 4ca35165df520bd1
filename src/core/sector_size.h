#pragma once
// The sizes of a volume's own sectors, as its boot sector gives them, against the reader's
// 512-byte sectors.

#include <cstdint>

#include "core/bytes.h"

namespace quarrow {

// 512-byte sectors per sector of the volume (bytes per sector 512, 1024, 2048 or 4096); 0 for a
// size no medium has.
constexpr std::uint32_t SectorScale(std::uint16_t bytesPerSector) {
  switch (bytesPerSector) {
    case 512:
    case 1024:
    case 2048:
    case 4096:
      return bytesPerSector / kSectorSize;
    default:
      return 0;
  }
}

}  // namespace quarrow
