#include "recovery/fat_data_source.h"

#include <algorithm>
#include <array>

#include "fat/boot_sector.h"
#include "fat/directory_reader.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

std::uint64_t ClustersFor(std::uint64_t size, std::uint64_t clusterBytes) {
  return clusterBytes == 0 ? 0 : (size + clusterBytes - 1) / clusterBytes;
}

// The first cluster a row carries, or nullopt when it carries none.
std::optional<std::uint32_t> FirstCluster(const DetailsRow& row) {
  if (!IsDecimalNumber(row.debug1)) return std::nullopt;
  return ReadU32(row.debug1);
}

}  // namespace

FatDataSource::FatDataSource(const ScanContext& ctx) : ctx_(ctx), fat_(ctx) {
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  if (!IsValidClusterSectors(g.SectorsPerCluster)) return;
  clusterBytes_ = std::uint64_t{g.SectorsPerCluster} * kSectorSize;
  // Clusters run from 2 up to the end of the search range, and no further than the FAT reaches.
  const std::uint64_t firstData = std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster;
  if (ctx.searchEnd <= firstData) return;
  std::uint64_t last = (ctx.searchEnd - firstData) / g.SectorsPerCluster + 1;
  if (fat_.Usable()) last = std::min<std::uint64_t>(last, fat_.MaxEntries() - 1);
  lastCluster_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0x0FFFFFF6));
}

std::optional<bool> FatDataSource::Free(std::uint32_t cluster) {
  const std::optional<std::uint32_t> entry = fat_.Entry(cluster);
  if (!entry) return std::nullopt;
  // The top four bits of a FAT32 entry are reserved and say nothing about the cluster.
  const std::uint32_t value = fat_.Type() == FsType::kFat32 ? (*entry & 0x0FFFFFFF) : *entry;
  return value == 0;
}

FileData FatDataSource::Locate(const DetailsRow& row) {
  FileData data;
  data.size = ReadU32(row.size);
  if (data.size == 0) return data;
  const std::optional<std::uint32_t> first = FirstCluster(row);
  if (clusterBytes_ == 0) {
    data.failure = "the volume's cluster size is not known";
    return data;
  }
  if (!first || *first < 2 || *first > lastCluster_) {
    data.failure = "its first cluster (" + (first ? std::to_string(*first) : std::string("none")) +
                   ") is not a cluster of the volume";
    return data;
  }
  const std::uint64_t needed = ClustersFor(data.size, clusterBytes_);
  std::vector<std::uint32_t> clusters;
  if (row.deleted) {
    data.method = ReadMethod::kContiguous;
  } else {
    clusters = FollowClusterChain(fat_, *first, static_cast<std::size_t>(needed));
    // A chain that runs off the volume (a damaged FAT) ends where it leaves it.
    const auto off = std::find_if(clusters.begin(), clusters.end(),
                                  [this](std::uint32_t c) { return c < 2 || c > lastCluster_; });
    clusters.erase(off, clusters.end());
    data.method = clusters.size() >= needed ? ReadMethod::kChain : ReadMethod::kChainThenContiguous;
  }
  // Without a chain (a deleted file) or after a chain that ended early, the clusters that follow
  // are taken in order, as far as the volume goes.
  std::uint64_t next = clusters.empty() ? *first : std::uint64_t{clusters.back()} + 1;
  while (clusters.size() < needed && next <= lastCluster_)
    clusters.push_back(static_cast<std::uint32_t>(next++));

  // A size past what these clusters hold (larger than the volume, or past its last cluster) is
  // damage: the file is what they hold, the rest is reported missing rather than padded.
  const std::uint64_t reach = clusters.size() * clusterBytes_;
  if (data.size > reach) {
    data.beyondVolume = data.size - reach;
    data.size = reach;
  }

  // Runs of consecutive clusters are read as one piece.
  const std::uint32_t spc = ctx_.activeGeometry.SectorsPerCluster;
  for (std::size_t i = 0; i < clusters.size();) {
    std::size_t j = i + 1;
    while (j < clusters.size() && clusters[j] == clusters[j - 1] + 1) ++j;
    DataPiece piece;
    piece.firstSector = ClusterSector(ctx_, clusters[i]);
    piece.length = std::uint64_t{j - i} * spc * kSectorSize;
    data.pieces.push_back(std::move(piece));
    i = j;
  }
  return data;
}

Recoverability FatDataSource::Estimate(const DetailsRow& row) {
  if (!row.deleted) return Recoverability::kNotDeleted;
  const std::uint64_t size = ReadU32(row.size);
  if (size == 0) return Recoverability::kIntact;  // nothing of it can be lost
  const std::optional<std::uint32_t> first = FirstCluster(row);
  if (!fat_.Usable() || clusterBytes_ == 0 || !first || *first < 2 || *first > lastCluster_)
    return Recoverability::kUnknown;
  const std::optional<bool> firstFree = Free(*first);
  if (!firstFree) return Recoverability::kUnknown;
  if (!*firstFree) return Recoverability::kOverwritten;
  const std::uint64_t end = std::uint64_t{*first} + ClustersFor(size, clusterBytes_);
  for (std::uint64_t c = std::uint64_t{*first} + 1; c < end; ++c) {
    // A run that leaves the volume cannot be read whole.
    if (c > lastCluster_) return Recoverability::kPartlyOverwritten;
    const std::optional<bool> free = Free(static_cast<std::uint32_t>(c));
    if (!free) return Recoverability::kUnknown;
    if (!*free) return Recoverability::kPartlyOverwritten;
  }
  return Recoverability::kIntact;
}

bool CorrectFat12Type(ScanContext& ctx) {
  ActiveVolumeGeometry& g = ctx.activeGeometry;
  if (g.type != FsType::kFat16) return false;
  std::array<std::uint8_t, kSectorSize> sector{};
  if (ctx.Read(ctx.searchStart, 1, sector) == 0) return false;
  const FatBootSector boot = DecodeFatBootSector(sector);
  if (!boot.Plausible() || boot.TypeByClusterCount() != FsType::kFat12) return false;
  // The boot sector must describe the volume the search found, not one that merely sits there.
  if (ctx.searchStart + boot.reservedSectors != g.FirstFatSector || boot.FatSectors() != g.FatSectors)
    return false;
  g.type = FsType::kFat12;
  return true;
}

}  // namespace quarrow
