#pragma once
// The file-start test the sector scans of an Advance search share: each sector of a chunk they
// have read is offered to the recogniser, which sees the rest of the chunk up to its limit.

#include <algorithm>
#include <cstdint>

#include "carve/carve.h"
#include "core/bytes.h"
#include "scan/scan_context.h"

namespace quarrow {

// Appends each of the first `sectors` sectors of chunk (read from firstSector on) that starts a
// file recognised by its content to ctx.results.carvedStarts, in sector order; nothing when
// carving is off. No cluster size is known while a scan runs, so every sector is tried; which
// starts count is decided once a volume is chosen.
inline void RecogniseFileStarts(ScanContext& ctx, ByteSpan chunk, std::uint64_t firstSector,
                                std::uint32_t sectors) {
  if (!ctx.carve) return;
  const std::size_t count = std::min<std::size_t>(sectors, chunk.size() / kSectorSize);
  for (std::size_t d = 0; d < count; ++d) {
    const std::size_t at = d * kSectorSize;
    if (!MayBeginAFile(chunk.subspan(at, 8))) continue;
    if (const auto start =
            RecogniseFileStart(chunk.subspan(at, std::min(kCarveHeadBytes, chunk.size() - at))))
      ctx.results.carvedStarts.push_back({firstSector + d, start->type});
  }
}

}  // namespace quarrow
