#pragma once
// The first FAT of the active volume, read entry by entry, and the cluster-chain follower. A
// FatReader belongs to the engine that works on one volume (a search, then the hooks that read
// folders of its results); it keeps the FAT sectors it read last, because chains of folders made
// one after another sit in the same FAT sector and each opened folder follows its chain twice.
// Sectors are read in blocks and kept, so no FAT sector is read twice.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/bytes.h"
#include "core/volume.h"

namespace quarrow {

struct ScanContext;

// ClusterChain: the start cluster followed by every next cluster found in the FAT.
using ClusterChain = std::vector<std::uint32_t>;

class FatReader {
 public:
  // Reads the FAT that ctx.activeGeometry describes at this moment (type, FirstFatSector,
  // FatSectors) from ctx's disk.
  explicit FatReader(const ScanContext& ctx);

  FsType Type() const { return type_; }
  // False when there is no FAT to read: not a FAT type, or no first FAT sector.
  bool Usable() const { return IsFat(type_) && firstFat_ != 0; }
  // The FAT entry of cluster, or nullopt when it lies past the FAT or cannot be read. FAT32
  // entries are returned as stored (the top four bits are not masked).
  std::optional<std::uint32_t> Entry(std::uint32_t cluster);
  // No chain is longer than the entries the FAT holds.
  std::uint64_t MaxEntries() const;
  // True when an entry ends a chain rather than naming the next cluster: 0 and 1 always; from
  // 0xFFFF on FAT16, 0x0FFFFFFF on FAT32 (so 0xFFF7-0xFFFE and 0x0FFFFFF7-0x0FFFFFFE are
  // followed as cluster numbers) and 0xFF8 on FAT12 (whose volumes have no cluster that high).
  bool EndsChain(std::uint32_t entry) const;

 private:
  ByteSpan Sector(std::uint64_t index);

  const ScanContext& ctx_;
  FsType type_;
  std::uint32_t firstFat_;
  std::uint32_t fatSectors_;
  // The FAT is read in blocks of this many sectors, each at most once while the reader lives:
  // opening every folder of a card follows thousands of chains through the same sectors.
  static constexpr std::uint32_t kBlockSectors = 64;
  struct Block {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> read;  // sectors read; a sector that failed is tried again when asked for
  };
  std::unordered_map<std::uint64_t, Block> blocks_;
};

// Follows the chain of start through the first FAT: the start (always, even when it is no valid
// cluster), then every next cluster until an end marker, a failed read or an entry past the FAT.
// A cluster met a second time ends the chain, so a looping FAT ends; no chain grows past the
// entries the FAT holds or past maxClusters.
ClusterChain FollowClusterChain(FatReader& fat, std::uint32_t start, std::size_t maxClusters = SIZE_MAX);

}  // namespace quarrow
