#pragma once
// The search range of the NTFS fuzz targets: partition 1 of the MBR in sector 0 when there is
// one, otherwise the disk from sector 0, at most 16384 sectors long so that a run stays short.

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/bytes.h"
#include "fuzz_disk.h"
#include "scan/scan_context.h"

namespace quarrow::fuzz {

inline void SetNtfsRange(FuzzDisk& disk, ScanContext& ctx) {
  std::array<std::uint8_t, kSectorSize> mbr{};
  disk.reader.ReadSectors(0, 0, 1, mbr);
  std::uint64_t start = HasBootSignature(mbr) ? Le32(mbr, 446 + 8) : 0;
  if (start >= disk.sectors) start = 0;
  ctx.reader = &disk.reader;
  ctx.diskNumber = 0;
  ctx.partitionType = FsType::kNtfs;
  ctx.searchStart = start;
  ctx.searchEnd = std::min<std::uint64_t>(disk.sectors, start + 16384);
}

}  // namespace quarrow::fuzz
