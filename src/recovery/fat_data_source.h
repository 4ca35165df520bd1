#pragma once
// The bytes of FAT files. A live file's data follows its cluster chain; a deleted file's chain
// was freed with it, so its data is read from ceil(size / cluster bytes) clusters from its first
// cluster on: deleted files are recovered whole when they were written in one piece, which is how
// most files on a removable disk were written. The estimate of a deleted file looks at the FAT
// entries of exactly the clusters that read would take.

#include <cstdint>

#include "fat/fat_reader.h"
#include "recovery/file_data_source.h"

namespace quarrow {

struct ScanContext;

class FatDataSource : public FileDataSource {
 public:
  // Reads the volume ctx.activeGeometry describes, through its own FatReader.
  explicit FatDataSource(const ScanContext& ctx);

  FileData Locate(const DetailsRow& row) override;
  Recoverability Estimate(const DetailsRow& row) override;

  // Bytes of one cluster; 0 when the volume's cluster size is not a valid one.
  std::uint64_t ClusterBytes() const { return clusterBytes_; }
  // The highest cluster number that lies on the volume (inside the search range and the FAT);
  // below 2 when the volume has no data clusters.
  std::uint32_t LastCluster() const { return lastCluster_; }

 private:
  // True when the FAT entry of cluster is free; nullopt when it cannot be read.
  std::optional<bool> Free(std::uint32_t cluster);

  const ScanContext& ctx_;
  FatReader fat_;
  std::uint64_t clusterBytes_ = 0;
  std::uint32_t lastCluster_ = 0;
};

// A FAT12 volume has 12-bit FAT entries; the partition type a search starts from calls it "FAT16".
// When the active type is kFat16 and the volume's boot sector (at the start of the search range,
// placing the first FAT where the active geometry has it) counts fewer than 4085 clusters, the
// active type becomes kFat12, so that chains are read with the entries the volume has. Returns
// true when it changed the type.
bool CorrectFat12Type(ScanContext& ctx);

}  // namespace quarrow
