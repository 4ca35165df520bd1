#pragma once
// Files found by their content alone. After a search has rebuilt a volume, each file start the
// sector scan recognised becomes a carved file when nothing the volume lists claims it: no entry
// (live or deleted, file or folder) has its first cluster there, and it begins a cluster where the
// volume's clusters are known (a start inside a cluster is part of some other file: a picture in a
// document, a thumbnail in a photo). Its length comes from its format's structure, read from the
// disk up to the end of the search range and the type's largest size; a start whose end cannot be
// followed is not listed, since a blind length would hand over a file of someone else's bytes. A
// carved file that lies wholly inside another carved file is part of it and is not listed again.
// The recovery reads a carved file as the contiguous sectors from its first one on.
//
//   std::vector<CarvedFile> files = CarveLostFiles(ctx, volumeSource, ctx.results.carvedStarts);
//   CarvedDataSource source(ctx, std::move(volumeSource));   // Locate and Estimate for every row

#include <cstdint>
#include <memory>
#include <vector>

#include "carve/carve.h"
#include "recovery/file_data_source.h"
#include "results/results_state.h"

namespace quarrow {

struct ScanContext;

// Reads the disk from firstSector on through ctx, never at or past endSector: what lies beyond is
// not the source's to give.
ByteSource DiskByteSource(const ScanContext& ctx, std::uint64_t firstSector, std::uint64_t endSector);

// The carved files of starts (in sector order) on the volume volume describes (null: no volume,
// every start is unclaimed and none is held to a cluster boundary), each ending before
// ctx.searchEnd. Stops early, with the files found so far, when ctx's stop is asked for.
std::vector<CarvedFile> CarveLostFiles(const ScanContext& ctx, FileDataSource* volume,
                                       const std::vector<CarvedStartRow>& starts);

// Drops every file whose span lies wholly inside another's (the files in sector order); what
// remains keeps its order.
std::vector<CarvedFile> DropNestedCarvedFiles(std::vector<CarvedFile> files);

// The data source of a volume with its carved files: rows that carry a carved sector are read from
// ctx.results.carvedFiles, every other row goes to the volume's own source (none: no other row
// can be read).
class CarvedDataSource : public FileDataSource {
 public:
  CarvedDataSource(const ScanContext& ctx, std::unique_ptr<FileDataSource> volume);

  FileData Locate(const DetailsRow& row) override;
  Recoverability Estimate(const DetailsRow& row) override;
  bool DataBeginsAt(std::uint64_t sector) override;
  std::optional<ClusterGrid> Grid() const override;

 private:
  const CarvedFile* Find(const DetailsRow& row) const;

  std::vector<CarvedFile> files_;  // taken when made, in sector order
  std::unique_ptr<FileDataSource> volume_;
};

}  // namespace quarrow
