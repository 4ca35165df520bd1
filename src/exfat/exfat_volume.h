#pragma once
// Reading an exFAT volume's clusters: the FAT's 32-bit entries, a file's clusters along its chain
// or as the contiguous run its NoFatChain flag promises, and the allocation bitmap that says which
// clusters are in use. Every loop over the FAT is bounded by the volume's cluster count.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/volume.h"
#include "exfat/boot_sector.h"
#include "exfat/entry_set.h"

namespace quarrow {

struct ScanContext;

// The geometry records of a validated exFAT volume, in the shape the scan log keeps:
// SectorsPerCluster, Cluster0Sector (cluster n at n x SectorsPerCluster + Cluster0Sector),
// FirstFatSector and FatSectors, RootDirStart (the root cluster), ReservedSectors (the FAT's
// offset in the volume). False when a figure does not fit 32 bits or cluster 0 would lie before
// sector 0.
bool FillExfatGeometry(const ExfatLayout& layout, VolumeGeometry& geometry);
// The layout back from those records for the volume in [start, end): the cluster count is what
// both the FAT and the range have room for.
ExfatLayout ExfatLayoutFromGeometry(const VolumeGeometry& geometry, std::uint64_t start, std::uint64_t end);

// A directory is never larger than 256 MiB.
inline constexpr std::uint64_t kMaxDirectoryBytes = 256ull * 1024 * 1024;

class ExfatVolume {
 public:
  ExfatVolume(const ScanContext& ctx, const ExfatLayout& layout);

  const ExfatLayout& Layout() const { return layout_; }
  // The FAT entry of a cluster; none for a cluster outside the heap.
  std::optional<std::uint32_t> FatEntry(std::uint32_t cluster);
  // The clusters of a stream from first on: the run after it when contiguous is set, else along
  // the FAT until an end mark, a free or bad entry, a cluster outside the heap, or a cluster seen
  // before. At most maxClusters (and never more than the heap holds).
  std::vector<std::uint32_t> Clusters(std::uint32_t first, bool contiguous, std::uint64_t maxClusters);
  // The bytes of the clusters, in order (at most maxBytes).
  std::vector<std::uint8_t> ReadClusters(const std::vector<std::uint32_t>& clusters, std::uint64_t maxBytes);
  // The disk sector that holds byte offset of a stream laid out on clusters.
  std::uint64_t SectorOf(const std::vector<std::uint32_t>& clusters, std::uint64_t offset) const;

  // Loads the allocation bitmap its root entry describes; false when it cannot be read.
  bool LoadBitmap(const ExfatDataEntry& entry);
  // Whether a cluster is in use by the bitmap; none when no bitmap was loaded or the cluster is
  // outside it.
  std::optional<bool> Allocated(std::uint32_t cluster) const;

 private:
  const ScanContext& ctx_;
  ExfatLayout layout_;
  std::uint64_t cachedFatSector_ = ~0ull;
  std::vector<std::uint8_t> fatSector_;
  std::vector<std::uint8_t> bitmap_;
};

}  // namespace quarrow
