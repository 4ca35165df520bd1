#pragma once
// FAT volume figures worked out from directory clusters, the cluster-chain follower and the
// naming of child folders from a directory sector.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "results/folder_nodes.h"

namespace quarrow {

struct ScanContext;

// Works out VolumeGeometry from the first pair of sub-directories that agree on a cluster size,
// for a partition whose boot sector was not accepted. Reads the search range and the partition
// type text. Returns 1 when the figures were worked out, 0 otherwise (the fields set so far stay).
int CalculatePartitionParams(ScanContext& ctx);

// Leaves ctx.clusterChain holding start followed by every next cluster of the first FAT
// (ActiveVolumeGeometry). A cluster met a second time ends the chain, so a looping FAT ends; no
// chain grows past the entries the FAT holds or past maxClusters.
void FollowClusterChain(ScanContext& ctx, std::uint32_t start, std::size_t maxClusters = SIZE_MAX);

// First sector of a cluster (64-bit, so a hostile cluster number cannot wrap onto another sector).
std::uint64_t ClusterSector(const ScanContext& ctx, std::uint32_t cluster);

// The sectors of a directory in directory order: every sector of every cluster of its chain, up
// to the 65536 entries (2 MiB) a FAT directory can hold. Empties ctx.clusterChain afterwards.
std::vector<std::uint64_t> DirectoryChainSectors(ScanContext& ctx, std::uint32_t firstCluster);

// The FAT16 root directory's sectors from RootDirStart (none when it is 0), at most the 4096
// sectors that 65536 entries fill, whatever RootDirSectors says.
std::vector<std::uint64_t> Fat16RootSectors(const ScanContext& ctx);

// A directory's sectors, read when first asked for in one request per run of consecutive
// sectors (a cluster, or more when the chain is not fragmented) rather than one per sector:
// opening a folder reads its directory twice, and thousands of folders made single-sector
// requests the larger part of a scan. A run that fails is read again a sector at a time, so
// only the sectors that fail on their own are missing.
class DirectorySectors {
 public:
  DirectorySectors(const ScanContext& ctx, std::vector<std::uint64_t> numbers);
  std::size_t size() const { return numbers_.size(); }
  const std::vector<std::uint64_t>& Numbers() const { return numbers_; }
  // The 512 bytes of the sector at index in directory order; empty when it cannot be read.
  ByteSpan At(std::size_t index);

 private:
  enum class State : std::uint8_t { kUnread, kRead, kUnreadable };
  void Load(std::size_t index);

  const ScanContext& ctx_;
  std::vector<std::uint64_t> numbers_;
  std::vector<std::uint8_t> bytes_;
  std::vector<State> state_;
};

// Names the FolderNodes that are children of cluster from the entries of one directory sector.
// Returns 0 when the sector holds the end-of-directory entry, otherwise 1 (an unreadable sector
// is skipped and gives 1).
int NameChildNodes(ScanContext& ctx, std::uint64_t sector, std::uint32_t cluster);
// The same, with the directory's sector list so that long names are read across clusters.
int NameChildNodes(ScanContext& ctx, std::uint64_t sector, std::uint32_t cluster,
                   const std::vector<std::uint64_t>* directorySectors, std::size_t index);

// The results tree's ChildNamer on FAT: reads a folder's directory along its chain and names its
// children, stopping at the end of the directory. Nothing for the catch-all folder.
void NameFatChildren(ScanContext& ctx, const FolderNode& node);

}  // namespace quarrow
