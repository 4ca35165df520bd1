#pragma once
// Sectors a reading pass already holds, kept so that a later stage of the same scan takes them
// from memory instead of reading them from the disk again: the FAT data-area scan keeps the
// directory clusters it finds, and naming and listing those folders then reads none of them.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <span>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

class KeptSectors {
 public:
  // What the sectors were read from (a reader and a disk number): sectors kept from one disk are
  // never found for another.
  struct Source {
    const void* reader = nullptr;
    int disk = -1;
    bool operator==(const Source&) const = default;
  };

  // Above this many bytes nothing more is kept: a volume of many large folders is read again
  // rather than held whole.
  static constexpr std::size_t kMaxBytes = std::size_t{32} << 20;

  // Keeps whole sectors from first on (bytes.size() / 512 of them); false when over the bound. The
  // sectors of zeros that end the run (the unused rest of a directory's cluster, most of it in a
  // small folder) are kept as a count, not as bytes.
  bool Keep(Source source, std::uint64_t first, std::span<const std::uint8_t> bytes) {
    if (!(source == source_)) {
      Clear();
      source_ = source;
    }
    const std::size_t sectors = bytes.size() / kSectorSize;
    std::size_t stored = sectors;
    while (stored > 0 &&
           std::memcmp(bytes.data() + (stored - 1) * kSectorSize, ZeroSector().data(), kSectorSize) == 0)
      --stored;
    if (sectors == 0 || bytes_ + stored * kSectorSize > kMaxBytes) return false;
    Run& run = runs_[first];
    bytes_ -= run.bytes.size();
    run.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(stored * kSectorSize));
    run.zeroSectors = sectors - stored;
    bytes_ += run.bytes.size();
    return true;
  }

  // The kept bytes of sector, or an empty span when it is not kept; a sector of a run's zero tail
  // is ZeroSector() itself.
  ByteSpan Find(Source source, std::uint64_t sector) const {
    ByteSpan found;
    ForRun(source, sector, 1, [&](std::size_t, ByteSpan bytes) { found = bytes; });
    return found;
  }

  // Calls visit(i, bytes) for sector + i, i from 0, for as many of the sectors from sector on (at
  // most maxSectors) as one kept run holds, with ZeroSector() for those of its zero tail; returns
  // how many. One look-up for a whole run, where Find takes one a sector.
  template <typename Visit>
  std::size_t ForRun(Source source, std::uint64_t sector, std::size_t maxSectors, Visit&& visit) const {
    if (!(source == source_)) return 0;
    auto it = runs_.upper_bound(sector);
    if (it == runs_.begin()) return 0;
    --it;
    const std::uint64_t within = sector - it->first;
    const std::size_t stored = it->second.bytes.size() / kSectorSize;
    const std::uint64_t held = stored + it->second.zeroSectors;
    if (within >= held) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(maxSectors, held - within));
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t at = within + i;
      visit(i,
            at < stored
                ? ByteSpan(it->second.bytes).subspan(static_cast<std::size_t>(at) * kSectorSize, kSectorSize)
                : ZeroSector());
    }
    return n;
  }

  // The one sector of zeros that every zero-tail sector is found as.
  static ByteSpan ZeroSector() {
    static constexpr std::array<std::uint8_t, kSectorSize> kZeros{};
    return ByteSpan(kZeros);
  }

  // Copies sector into out (512 bytes) when it is kept.
  bool CopyTo(Source source, std::uint64_t sector, std::span<std::uint8_t> out) const {
    const ByteSpan kept = Find(source, sector);
    if (kept.empty() || out.size() < kSectorSize) return false;
    std::copy(kept.begin(), kept.end(), out.begin());
    return true;
  }

  std::size_t Bytes() const { return bytes_; }
  void Clear() {
    runs_.clear();
    bytes_ = 0;
  }

 private:
  struct Run {
    std::vector<std::uint8_t> bytes;
    std::size_t zeroSectors = 0;  // sectors of zeros after the bytes
  };
  std::map<std::uint64_t, Run> runs_;  // by first sector; runs do not overlap
  std::size_t bytes_ = 0;
  Source source_;
};

}  // namespace quarrow
