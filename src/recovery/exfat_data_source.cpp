#include "recovery/exfat_data_source.h"

#include <algorithm>

#include "exfat/directory_walk.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

// An entry set is at most 19 entries; from anywhere in a sector it ends within three sectors.
constexpr std::uint32_t kSetSectors = 3;

}  // namespace

ExfatDataSource::ExfatDataSource(const ScanContext& ctx)
    : ctx_(ctx), volume_(ctx, ExfatLayoutFromGeometry(ctx.activeGeometry, ctx.searchStart, ctx.searchEnd)) {}

std::optional<ExfatEntrySet> ExfatDataSource::EntrySet(const DetailsRow& row) {
  if (!IsDecimalNumber(row.debug1) || !IsDecimalNumber(row.debug3)) return std::nullopt;
  const std::uint32_t sector = ReadU32(row.debug1);
  const std::uint32_t index = ReadU32(row.debug3);
  if (index >= kSectorSize / exfat_entry::kSize) return std::nullopt;
  std::vector<std::uint8_t> bytes(std::size_t{kSetSectors} * kSectorSize);
  ctx_.Read(sector, kSetSectors, bytes);
  std::optional<ExfatEntrySet> set = DecodeEntrySet(bytes, std::size_t{index} * exfat_entry::kSize);
  if (!set || !set->checksumHolds) {
    // A set that runs past the end of its cluster goes on in the directory's next cluster, which
    // the FAT names when the directory is fragmented.
    const ExfatLayout& layout = volume_.Layout();
    const std::uint32_t spc = layout.sectorsPerCluster;
    if (spc != 0 && sector >= layout.heapSector) {
      const std::uint64_t inHeap = sector - layout.heapSector;
      const auto cluster = static_cast<std::uint32_t>(std::min<std::uint64_t>(inHeap / spc + 2, 0xFFFFFFFFu));
      const std::uint64_t left = spc - inHeap % spc;  // sectors of the set's cluster from its sector on
      const std::optional<std::uint32_t> next = volume_.FatEntry(cluster);
      if (left < kSetSectors && next && layout.ValidCluster(*next)) {
        ctx_.Read(layout.ClusterSector(*next), static_cast<std::uint32_t>(kSetSectors - left),
                  std::span(bytes).subspan(static_cast<std::size_t>(left * kSectorSize)));
        set = DecodeEntrySet(bytes, std::size_t{index} * exfat_entry::kSize);
      }
    }
  }
  // A set that ran on into another cluster of a fragmented directory, or that something else
  // was written over since the scan, no longer checks.
  if (!set || !set->checksumHolds || set->Directory()) return std::nullopt;
  // The row's name went through a cell buffer that may have cut it.
  if (row.name.empty() || set->name.compare(0, row.name.size(), row.name) != 0) return std::nullopt;
  return set;
}

std::vector<std::uint32_t> ExfatDataSource::ClustersOf(const ExfatEntrySet& set, std::uint64_t bytes,
                                                       ReadMethod& method) {
  const std::uint64_t clusterBytes = volume_.Layout().ClusterBytes();
  const std::uint64_t needed = clusterBytes == 0 ? 0 : (bytes + clusterBytes - 1) / clusterBytes;
  if (set.NoFatChain()) {
    method = set.deleted ? ReadMethod::kContiguous : ReadMethod::kChain;
    return volume_.Clusters(set.firstCluster, true, needed);
  }
  std::vector<std::uint32_t> clusters = volume_.Clusters(set.firstCluster, false, needed);
  method = ReadMethod::kChain;
  if (clusters.size() < needed) {
    // A chain cut short (a deleted file's, or a damaged FAT): the clusters after its end follow.
    method = clusters.size() <= 1 ? ReadMethod::kContiguous : ReadMethod::kChainThenContiguous;
    const std::uint32_t from = clusters.empty() ? set.firstCluster : clusters.back() + 1;
    const std::vector<std::uint32_t> rest = volume_.Clusters(from, true, needed - clusters.size());
    clusters.insert(clusters.end(), rest.begin(), rest.end());
  }
  return clusters;
}

FileData ExfatDataSource::Locate(const DetailsRow& row) {
  FileData data;
  const std::optional<ExfatEntrySet> set = EntrySet(row);
  if (!set) {
    data.failure = "its entry set at sector " + row.debug1 + " no longer reads as this file's";
    return data;
  }
  data.size = set->dataLength;
  data.modified = set->modified.unixSeconds;
  if (data.size == 0) return data;
  if (!volume_.Layout().ValidCluster(set->firstCluster)) {
    data.failure =
        "its first cluster (" + std::to_string(set->firstCluster) + ") is not a cluster of the volume";
    return data;
  }
  // Past the valid data length the file reads as zeros, whatever its clusters hold.
  const std::uint64_t valid = std::min(set->validDataLength, set->dataLength);
  const std::vector<std::uint32_t> clusters = ClustersOf(*set, valid, data.method);
  const std::uint64_t clusterBytes = volume_.Layout().ClusterBytes();
  std::uint64_t covered = 0;
  for (std::size_t i = 0; i < clusters.size() && covered < valid;) {
    std::size_t j = i + 1;
    while (j < clusters.size() && clusters[j] == clusters[j - 1] + 1) ++j;
    DataPiece piece;
    piece.firstSector = volume_.Layout().ClusterSector(clusters[i]);
    piece.length = std::min<std::uint64_t>((j - i) * clusterBytes, valid - covered);
    covered += piece.length;
    data.pieces.push_back(std::move(piece));
    i = j;
  }
  if (covered < valid) {
    // The run leaves the volume: what it would hold is missing.
    DataPiece missing;
    missing.kind = DataPiece::Kind::kMissing;
    missing.length = valid - covered;
    data.pieces.push_back(std::move(missing));
  }
  if (valid < data.size) {
    DataPiece zeros;
    zeros.kind = DataPiece::Kind::kZeros;
    zeros.length = data.size - valid;
    data.pieces.push_back(std::move(zeros));
  }
  return data;
}

std::optional<ClusterGrid> ExfatDataSource::Grid() const {
  const ExfatLayout& layout = volume_.Layout();
  if (layout.sectorsPerCluster == 0 || layout.clusterCount == 0) return std::nullopt;
  return ClusterGrid{layout.heapSector, layout.sectorsPerCluster,
                     layout.heapSector + std::uint64_t{layout.clusterCount} * layout.sectorsPerCluster};
}

bool ExfatDataSource::DataBeginsAt(std::uint64_t sector) {
  if (!fileStarts_) {
    fileStarts_.emplace();
    for (const DetailsRow& row : EveryTableFileRow(ctx_.results)) {
      const std::optional<ExfatEntrySet> set = EntrySet(row);
      if (set && volume_.Layout().ValidCluster(set->firstCluster))
        fileStarts_->push_back(volume_.Layout().ClusterSector(set->firstCluster));
    }
    std::sort(fileStarts_->begin(), fileStarts_->end());
  }
  return std::binary_search(fileStarts_->begin(), fileStarts_->end(), sector);
}

Recoverability ExfatDataSource::Estimate(const DetailsRow& row) {
  if (!row.deleted) return Recoverability::kNotDeleted;
  const std::optional<ExfatEntrySet> set = EntrySet(row);
  if (!set) return Recoverability::kUnknown;
  if (set->dataLength == 0) return Recoverability::kIntact;  // nothing of it can be lost
  if (!bitmapTried_) {
    bitmapTried_ = true;
    const ExfatDirectoryContents root = ReadExfatRoot(ctx_, volume_.Layout());
    bitmapLoaded_ = root.bitmap && volume_.LoadBitmap(*root.bitmap);
  }
  if (!bitmapLoaded_) return Recoverability::kUnknown;
  ReadMethod method = ReadMethod::kNone;
  const std::uint64_t valid = std::min(set->validDataLength, set->dataLength);
  const std::vector<std::uint32_t> clusters = ClustersOf(*set, valid, method);
  if (clusters.empty()) return Recoverability::kUnknown;
  const std::uint64_t clusterBytes = volume_.Layout().ClusterBytes();
  const bool whole = clusters.size() * clusterBytes >= valid;
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    const std::optional<bool> used = volume_.Allocated(clusters[i]);
    if (!used) return Recoverability::kUnknown;
    if (*used) return i == 0 ? Recoverability::kOverwritten : Recoverability::kPartlyOverwritten;
  }
  // A run that leaves the volume cannot be read whole.
  return whole ? Recoverability::kIntact : Recoverability::kPartlyOverwritten;
}

}  // namespace quarrow
