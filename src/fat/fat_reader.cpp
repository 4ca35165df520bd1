#include "fat/fat_reader.h"

#include <algorithm>
#include <unordered_set>

#include "scan/scan_context.h"

namespace quarrow {

FatReader::FatReader(const ScanContext& ctx)
    : ctx_(ctx),
      type_(ctx.activeGeometry.type),
      firstFat_(ctx.activeGeometry.FirstFatSector),
      fatSectors_(ctx.activeGeometry.FatSectors) {}

ByteSpan FatReader::Sector(std::uint64_t index) {
  // Entries look at most one sector past the FAT's length (index <= fatSectors_).
  if (index > fatSectors_) return {};
  const std::uint64_t blockIndex = index / kBlockSectors;
  auto [it, fresh] = blocks_.try_emplace(blockIndex);
  Block& block = it->second;
  const std::uint64_t first = blockIndex * kBlockSectors;
  if (fresh) {
    const auto count = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kBlockSectors, std::uint64_t{fatSectors_} + 1 - first));
    block.bytes.assign(std::size_t{count} * kSectorSize, 0);
    block.read.assign(count, false);
    if (ctx_.Read(std::uint64_t{firstFat_} + first, count, block.bytes) != 0)
      std::fill(block.read.begin(), block.read.end(), true);
  }
  const auto within = static_cast<std::size_t>(index - first);
  if (within >= block.read.size()) return {};
  const std::span<std::uint8_t> sector(block.bytes.data() + within * kSectorSize, kSectorSize);
  if (!block.read[within]) {
    // Part of the block could not be read: this sector alone, as often as it is asked for.
    if (ctx_.Read(std::uint64_t{firstFat_} + index, 1, sector) == 0) return {};
    block.read[within] = true;
  }
  return sector;
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
  // A loop ends the chain before its first repeat. A cluster above every one of the chain is none
  // of them (a file written in one piece climbs all the way); any other is searched for in a short
  // chain, and in a set of the chain's clusters once the chain is longer than kSearched.
  constexpr std::size_t kSearched = 32;
  std::unordered_set<std::uint32_t> visited;  // all of the chain, once in use
  std::uint32_t highest = start;
  std::uint32_t c = start;
  while (chain.size() <= maxEntries && chain.size() < maxClusters) {
    const std::optional<std::uint32_t> next = fat.Entry(c);
    if (!next || fat.EndsChain(*next)) break;
    if (*next > highest) {
      highest = *next;
      if (!visited.empty()) visited.insert(*next);
    } else if (visited.empty() && chain.size() < kSearched) {
      if (std::find(chain.begin(), chain.end(), *next) != chain.end()) break;
    } else {
      if (visited.empty()) visited.insert(chain.begin(), chain.end());
      if (!visited.insert(*next).second) break;
    }
    chain.push_back(*next);
    c = *next;
  }
  return chain;
}

}  // namespace quarrow
