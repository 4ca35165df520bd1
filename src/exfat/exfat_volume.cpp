#include "exfat/exfat_volume.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "scan/scan_context.h"

namespace quarrow {

namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kBadCluster = 0xFFFFFFF7;

}  // namespace

bool FillExfatGeometry(const ExfatLayout& layout, VolumeGeometry& geometry) {
  const std::uint64_t twoClusters = 2ull * layout.sectorsPerCluster;
  if (layout.heapSector < twoClusters) return false;
  const std::uint64_t cluster0 = layout.heapSector - twoClusters;
  if (cluster0 > kMax32 || layout.fatSector > kMax32 || layout.fatSectors > kMax32) return false;
  VolumeGeometry g;
  g.SectorsPerCluster = layout.sectorsPerCluster;
  g.Cluster0Sector = static_cast<std::uint32_t>(cluster0);
  g.FirstFatSector = static_cast<std::uint32_t>(layout.fatSector);
  g.FatSectors = static_cast<std::uint32_t>(layout.fatSectors);
  g.RootDirStart = layout.rootCluster;
  g.ReservedSectors = layout.fatSector > layout.volumeStart
                          ? static_cast<std::uint32_t>(layout.fatSector - layout.volumeStart)
                          : 0;
  geometry = g;
  return true;
}

ExfatLayout ExfatLayoutFromGeometry(const VolumeGeometry& geometry, std::uint64_t start, std::uint64_t end) {
  ExfatLayout layout;
  layout.volumeStart = start;
  layout.volumeSectors = end > start ? end - start : 0;
  layout.fatSector = geometry.FirstFatSector;
  layout.fatSectors = geometry.FatSectors;
  layout.sectorsPerCluster = geometry.SectorsPerCluster;
  layout.heapSector = std::uint64_t{geometry.Cluster0Sector} + 2ull * geometry.SectorsPerCluster;
  layout.rootCluster = geometry.RootDirStart;
  // Without a FAT (a volume found without its boot region) the range alone bounds the heap.
  std::uint64_t clusters = layout.fatSectors == 0 ? ~0ull : layout.fatSectors * (kSectorSize / 4);
  clusters = clusters >= 2 ? clusters - 2 : 0;
  if (layout.sectorsPerCluster == 0) {
    clusters = 0;
  } else {
    const std::uint64_t inRange =
        end > layout.heapSector ? (end - layout.heapSector) / layout.sectorsPerCluster : 0;
    clusters = std::min(clusters, inRange);
  }
  layout.clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusters, kBadCluster - 2));
  return layout;
}

ExfatVolume::ExfatVolume(const ScanContext& ctx, const ExfatLayout& layout)
    : ctx_(ctx), layout_(layout), fatSector_(kSectorSize) {}

std::optional<std::uint32_t> ExfatVolume::FatEntry(std::uint32_t cluster) {
  if (!layout_.ValidCluster(cluster)) return std::nullopt;
  const std::uint64_t byte = std::uint64_t{cluster} * 4;
  const std::uint64_t sector = byte / kSectorSize;
  if (sector >= layout_.fatSectors) return std::nullopt;
  if (sector != cachedFatSector_) {
    ctx_.Read(layout_.fatSector + sector, 1, fatSector_);
    cachedFatSector_ = sector;
  }
  return Le32(fatSector_, static_cast<std::size_t>(byte % kSectorSize));
}

std::vector<std::uint32_t> ExfatVolume::Clusters(std::uint32_t first, bool contiguous,
                                                 std::uint64_t maxClusters) {
  std::vector<std::uint32_t> clusters;
  if (!layout_.ValidCluster(first)) return clusters;
  maxClusters = std::min<std::uint64_t>(maxClusters, layout_.clusterCount);
  if (contiguous) {
    const std::uint64_t left = std::uint64_t{layout_.clusterCount} - (first - 2);
    const std::uint64_t count = std::min(maxClusters, left);
    clusters.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) clusters.push_back(static_cast<std::uint32_t>(first + i));
    return clusters;
  }
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t at = first;
  while (clusters.size() < maxClusters && layout_.ValidCluster(at) && seen.insert(at).second) {
    clusters.push_back(at);
    const std::optional<std::uint32_t> next = FatEntry(at);
    if (!next) break;
    at = *next;
  }
  return clusters;
}

std::vector<std::uint8_t> ExfatVolume::ReadClusters(const std::vector<std::uint32_t>& clusters,
                                                    std::uint64_t maxBytes) {
  const std::uint64_t clusterBytes = layout_.ClusterBytes();
  const std::uint64_t total = std::min<std::uint64_t>(clusters.size() * clusterBytes, maxBytes);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(total));
  std::uint64_t at = 0;
  for (std::size_t i = 0; i < clusters.size() && at < total;) {
    // Neighbouring clusters are read in one call.
    std::size_t run = 1;
    while (i + run < clusters.size() && clusters[i + run] == clusters[i] + run && run < 256) ++run;
    const std::uint64_t want = std::min<std::uint64_t>(run * clusterBytes, total - at);
    const auto sectors = static_cast<std::uint32_t>((want + kSectorSize - 1) / kSectorSize);
    std::vector<std::uint8_t> buffer(std::size_t{sectors} * kSectorSize);
    ctx_.Read(layout_.ClusterSector(clusters[i]), sectors, buffer);
    std::copy_n(buffer.begin(), static_cast<std::size_t>(want),
                bytes.begin() + static_cast<std::ptrdiff_t>(at));
    at += want;
    i += run;
  }
  return bytes;
}

std::uint64_t ExfatVolume::SectorOf(const std::vector<std::uint32_t>& clusters, std::uint64_t offset) const {
  const std::uint64_t clusterBytes = layout_.ClusterBytes();
  if (clusterBytes == 0) return 0;
  const std::uint64_t index = offset / clusterBytes;
  if (index >= clusters.size()) return 0;
  return layout_.ClusterSector(clusters[static_cast<std::size_t>(index)]) +
         (offset % clusterBytes) / kSectorSize;
}

bool ExfatVolume::LoadBitmap(const ExfatDataEntry& entry) {
  // One bit a cluster; a longer claim is cut to what the heap needs.
  const std::uint64_t needed = (std::uint64_t{layout_.clusterCount} + 7) / 8;
  const std::uint64_t length = std::min(entry.dataLength, needed);
  if (length == 0 || !layout_.ValidCluster(entry.firstCluster) || layout_.ClusterBytes() == 0) return false;
  const std::uint64_t clusterCount = (length + layout_.ClusterBytes() - 1) / layout_.ClusterBytes();
  // The bitmap is written contiguously, but its FAT chain says so too: follow it, and take the
  // run after its first cluster when the chain is shorter.
  std::vector<std::uint32_t> clusters = Clusters(entry.firstCluster, false, clusterCount);
  if (clusters.size() < clusterCount) clusters = Clusters(entry.firstCluster, true, clusterCount);
  bitmap_ = ReadClusters(clusters, length);
  return !bitmap_.empty();
}

std::optional<bool> ExfatVolume::Allocated(std::uint32_t cluster) const {
  if (cluster < 2) return std::nullopt;
  const std::uint64_t bit = cluster - 2;
  if (bit / 8 >= bitmap_.size()) return std::nullopt;
  return (bitmap_[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1;
}

}  // namespace quarrow
