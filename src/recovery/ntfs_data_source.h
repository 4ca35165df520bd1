#pragma once
// The bytes of NTFS files. A file row carries the sector of its record; the record (fixed up)
// holds the unnamed $DATA attribute: resident data is written as it is, non-resident data is read
// through its run list, sparse runs and bytes past the initialised size as zeros. A stream split
// over several records (a long run list, named by the record's $ATTRIBUTE_LIST) is put together
// in VCN order from the records that hold its pieces. Deleted records keep their attributes and
// are read the same way; the estimate of a deleted file looks at the $Bitmap bits of exactly the
// clusters its runs name. An NTFS-compressed stream is read a compression unit at a time: a unit
// whose clusters are all on the disk as it is, one with none as zeros, one stored in fewer
// clusters than it spans through LZNT1. Encrypted data cannot be read without its owner's key.
//
// Records other than the row's own (extension records, the $Bitmap's record 6) are found through
// the $MFT's own runs (record 0 read at the volume's MFT sector, or at a "$MFT" row's sector after
// an Advance search), else at their place next to the row's record (the MFT of a removable disk is seldom in
// more than one piece). A record found either way counts only when its own number (and, for an extension
// record, its base) says it is the one looked for.

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ntfs/data_runs.h"
#include "ntfs/mft_walk.h"
#include "recovery/file_data_source.h"

namespace quarrow {

struct ScanContext;

// A file row listed from a name found only as a key in its folder's index carries sector 0 (no
// file record lies there): it has no data to read, and its estimate is kNoRecord.
inline bool HasNoRecord(const DetailsRow& row) {
  return row.debug1 == "0";
}

class NtfsDataSource : public FileDataSource {
 public:
  // Reads the volume ctx.activeGeometry describes: clusters from Cluster0Sector (the volume's
  // first sector) in SectorsPerCluster, the $MFT at MftSector when that sector holds it.
  explicit NtfsDataSource(const ScanContext& ctx);

  FileData Locate(const DetailsRow& row) override;
  Recoverability Estimate(const DetailsRow& row) override;
  // A run of the unnamed $DATA of a file row of the results (live or deleted) begins at sector.
  bool DataBeginsAt(std::uint64_t sector) override;
  // Clusters from the volume's first sector to the end of the search range.
  std::optional<ClusterGrid> Grid() const override;

  // Where a file's unnamed $DATA is, as its records say.
  struct Stream {
    bool resident = false;
    std::vector<std::uint8_t> residentBytes;
    // Non-resident: runs in VCN order. A run with missing set stands for clusters of the stream
    // whose piece of the run list could not be found.
    struct Run {
      ClusterRun run;
      bool missing = false;
    };
    std::vector<Run> runs;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;
    // NTFS-compressed: log2 of the clusters of a compression unit; 0 for a plain stream.
    std::uint8_t compressionUnit = 0;
    std::optional<std::int64_t> modified;  // $STANDARD_INFORMATION's, seconds since 1970
    std::optional<std::string> failure;    // why the data cannot be read
  };
  Stream ReadStream(const DetailsRow& row);

 private:
  using Record = std::vector<std::uint8_t>;
  struct Found {
    Record record;
    std::uint64_t sector = 0;
  };
  std::optional<Record> RecordAt(std::uint64_t sector) const;
  // Record number, found at sector: read through the $MFT's runs when they place it there (with
  // clusters smaller than a record, its second half may lie in another run), else at sector.
  std::optional<Record> RecordOf(std::uint32_t number, std::uint64_t sector) const;
  bool HoldsRecordZero(std::uint64_t sector) const;
  // Record `number`, looked for through the $MFT's runs and then at its place next to the record
  // `nearNumber` read at nearSector; accept says whether a record read is the one.
  template <typename Accept>
  std::optional<Found> FindRecord(std::uint32_t number, std::uint32_t nearNumber, std::uint64_t nearSector,
                                  Accept accept) const;
  // The pieces of a compressed stream, a compression unit at a time.
  void AddCompressedPieces(const Stream& stream, std::uint64_t rangeClusters, FileData& data) const;
  void LoadBitmap(std::uint32_t nearNumber, std::uint64_t nearSector);
  // Whether cluster lcn is in use by the $Bitmap; nullopt when that bit cannot be read.
  std::optional<bool> Allocated(std::uint64_t lcn);

  const ScanContext& ctx_;
  std::uint64_t volumeStart_ = 0;
  std::uint32_t sectorsPerCluster_ = 0;
  std::uint64_t clusterBytes_ = 0;
  MftExtentList mft_;

  bool bitmapTried_ = false;
  bool bitmapFound_ = false;
  std::uint64_t bitmapBytes_ = 0;
  std::vector<std::uint8_t> bitmapResident_;
  std::vector<SectorExtent> bitmapExtents_;
  std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> bitmapPages_;
  std::optional<std::vector<std::uint64_t>> runStarts_;  // sorted, made when first asked
};

}  // namespace quarrow
