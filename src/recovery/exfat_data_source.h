#pragma once
// The bytes of exFAT files. A file row carries the sector of its File entry and the entry's place
// in that sector; the entry set read there again (its checksum holding; a set that runs into the
// directory's next cluster is read on there, through the FAT) gives the first cluster,
// the sizes and whether the clusters are one run (NoFatChain) or a FAT chain. Live files are read
// along their chain or run up to their valid data length; the bytes past it are zeros, as the
// file system reads them. A deleted file's run is read from its first cluster for its size; a
// deleted file with a chain is read along what is left of the chain, then from the clusters after
// it. The estimate of a deleted file looks at the allocation bitmap's bits of exactly the clusters
// that read would take.

#include <cstdint>
#include <optional>
#include <vector>

#include "exfat/boot_sector.h"
#include "exfat/entry_set.h"
#include "exfat/exfat_volume.h"
#include "recovery/file_data_source.h"

namespace quarrow {

struct ScanContext;

class ExfatDataSource : public FileDataSource {
 public:
  // Reads the volume ctx.activeGeometry describes over the search range.
  explicit ExfatDataSource(const ScanContext& ctx);

  FileData Locate(const DetailsRow& row) override;
  Recoverability Estimate(const DetailsRow& row) override;
  // The first cluster of a file row of the results (live or deleted) begins at sector.
  bool DataBeginsAt(std::uint64_t sector) override;
  // The cluster heap.
  std::optional<ClusterGrid> Grid() const override;

  // The entry set a row names, read again from the disk; none when it no longer reads as a sound
  // set of that name.
  std::optional<ExfatEntrySet> EntrySet(const DetailsRow& row);

 private:
  // The clusters a read of the set takes, in file order, and how they were found.
  std::vector<std::uint32_t> ClustersOf(const ExfatEntrySet& set, std::uint64_t bytes, ReadMethod& method);

  const ScanContext& ctx_;
  ExfatVolume volume_;
  bool bitmapTried_ = false;
  bool bitmapLoaded_ = false;
  std::optional<std::vector<std::uint64_t>> fileStarts_;  // sorted, made when first asked
};

}  // namespace quarrow
