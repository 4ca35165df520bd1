#include "fat/fat_reader.h"

#include <unordered_set>

#include "scan/scan_context.h"

namespace quarrow {

FatReader::FatReader(const ScanContext& ctx)
    : ctx_(ctx),
      type_(ctx.activeGeometry.type),
      firstFat_(ctx.activeGeometry.FirstFatSector),
      fatSectors_(ctx.activeGeometry.FatSectors) {}

ByteSpan FatReader::Sector(std::uint64_t index) {
  for (const Slot& slot : cache_) {
    if (slot.index == index) return slot.bytes;
  }
  Slot& slot = cache_[nextSlot_];
  if (ctx_.Read(std::uint64_t{firstFat_} + index, 1, slot.bytes) == 0) {
    slot.index = UINT64_MAX;
    return {};
  }
  slot.index = index;
  nextSlot_ = (nextSlot_ + 1) % cache_.size();
  return slot.bytes;
}

std::optional<std::uint32_t> FatReader::Entry(std::uint32_t cluster) {
  if (!Usable()) return std::nullopt;
  switch (type_) {
    case FsType::kFat32: {
      const std::uint64_t index = cluster / 128;
      if (index > fatSectors_) return std::nullopt;
      const ByteSpan sector = Sector(index);
      if (sector.empty()) return std::nullopt;
      return Le32(sector, std::size_t{cluster % 128} * 4);
    }
    case FsType::kFat16: {
      const std::uint64_t index = cluster / 256;
      if (index > fatSectors_) return std::nullopt;
      const ByteSpan sector = Sector(index);
      if (sector.empty()) return std::nullopt;
      return Le16(sector, std::size_t{cluster % 256} * 2);
    }
    case FsType::kFat12: {
      // Twelve bits an entry: entry n starts at byte n * 1.5, so it may span two FAT sectors.
      const std::uint64_t offset = std::uint64_t{cluster} + cluster / 2;
      const std::uint64_t index = offset / kSectorSize;
      if (index > fatSectors_) return std::nullopt;
      const std::size_t within = offset % kSectorSize;
      const ByteSpan first = Sector(index);
      if (first.empty()) return std::nullopt;
      const std::uint32_t low = first[within];
      std::uint32_t high;
      if (within + 1 < kSectorSize) {
        high = first[within + 1];
      } else {
        if (index + 1 > fatSectors_) return std::nullopt;
        const ByteSpan second = Sector(index + 1);
        if (second.empty()) return std::nullopt;
        high = second[0];
      }
      const std::uint32_t pair = low | (high << 8);
      return (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
    }
    case FsType::kNtfs:
    case FsType::kExfat:
    case FsType::kNone:
      break;
  }
  return std::nullopt;
}

std::uint64_t FatReader::MaxEntries() const {
  const std::uint64_t bytes = (std::uint64_t{fatSectors_} + 1) * kSectorSize;
  switch (type_) {
    case FsType::kFat32:
      return bytes / 4;
    case FsType::kFat12:
      return bytes * 2 / 3;
    default:
      return bytes / 2;
  }
}

bool FatReader::EndsChain(std::uint32_t entry) const {
  if (entry < 2) return true;
  switch (type_) {
    case FsType::kFat32:
      return entry >= 0x0FFFFFFF;
    case FsType::kFat12:
      return entry >= 0xFF8;
    default:
      return entry >= 0xFFFF;
  }
}

ClusterChain FollowClusterChain(FatReader& fat, std::uint32_t start, std::size_t maxClusters) {
  ClusterChain chain{start};
  if (!fat.Usable()) return chain;
  const std::uint64_t maxEntries = fat.MaxEntries();
  std::unordered_set<std::uint32_t> visited{start};
  std::uint32_t c = start;
  while (chain.size() <= maxEntries && chain.size() < maxClusters) {
    const std::optional<std::uint32_t> next = fat.Entry(c);
    if (!next || fat.EndsChain(*next)) break;
    if (!visited.insert(*next).second) break;
    chain.push_back(*next);
    c = *next;
  }
  return chain;
}

}  // namespace quarrow
