#pragma once
// The bytes of FAT files. A live file's data follows its cluster chain; a deleted file's chain
// was freed with it, so its data is read from ceil(size / cluster bytes) clusters from its first
// cluster on: deleted files are recovered whole when they were written in one piece, which is how
// most files on a removable disk were written. The estimate of a deleted file looks at the FAT
// entries of exactly the clusters that read would take, and at what the volume's directories say
// lies there: a run of clusters that holds a directory or another entry's first cluster is not
// the file's alone, whatever the FAT says ("may be mixed"). A live file whose chain ends before
// its size (a zeroed FAT) is estimated the same way for the clusters read after its chain.
// Such a run is also tried around what the others hold: a file written while they were there
// went on in the free clusters after them. A file whose type can check itself (a JPEG decoded to
// its last block, a PNG's CRCs) takes the run whose bytes hold together and is then called sound.

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "fat/fat_reader.h"
#include "recovery/file_data_source.h"

namespace quarrow {

struct ScanContext;

class FatDataSource : public FileDataSource {
 public:
  // Reads the volume ctx.activeGeometry describes, through its own FatReader.
  explicit FatDataSource(const ScanContext& ctx);

  FileData Locate(const DetailsRow& row) override;
  // For a deleted file: overwritten, partly overwritten, may be mixed, intact or unknown (no FAT,
  // and nothing else against it). For a live file: may be mixed, or kNotDeleted.
  Recoverability Estimate(const DetailsRow& row) override;
  // The first cluster of an entry in any directory the walk from the root and the found folders
  // reaches, or a directory's cluster, begins at sector.
  bool DataBeginsAt(std::uint64_t sector) override;
  // Clusters 2 to LastCluster(); none when the cluster size is not valid.
  std::optional<ClusterGrid> Grid() const override;

  // Bytes of one cluster; 0 when the volume's cluster size is not a valid one.
  std::uint64_t ClusterBytes() const { return clusterBytes_; }
  // The highest cluster number that lies on the volume (inside the search range and the FAT);
  // below 2 when the volume has no data clusters.
  std::uint32_t LastCluster() const { return lastCluster_; }

 private:
  // True when the FAT entry of cluster is free; nullopt when it cannot be read.
  std::optional<bool> Free(std::uint32_t cluster);

  // The clusters a file's data is read from: its chain (none for a deleted file), then clusters in
  // order after it; chained is how many of them the chain gave.
  struct ClusterRun {
    std::vector<std::uint32_t> clusters;
    std::size_t chained = 0;
    ReadMethod method = ReadMethod::kNone;
  };
  ClusterRun Clusters(std::uint32_t first, std::uint64_t needed, bool deleted);

  // The same file read from the same start, stepping over every cluster that something else holds:
  // a directory's, one the FAT gives to a chain, and the clusters another entry's size spans from
  // its first one (an entry whose span takes in this file's first cluster excepted).
  ClusterRun AroundOthers(const DetailsRow& row, const ClusterRun& plain, std::uint64_t needed);

  // How a file is read and what that is worth. A run that reads into what other files hold is
  // also tried around them (a file system hands a growing file the next free clusters); when the
  // file's type can check itself, the run whose bytes hold together is taken and called sound.
  // Otherwise the plain run stays, with its estimate.
  struct Choice {
    ClusterRun run;
    Recoverability estimate = Recoverability::kUnknown;
  };
  Choice Choose(const DetailsRow& row);
  // The estimate of the plain run, as Clusters gave it for the row: the contiguous clusters
  // (deleted), or the chain and the clusters after it (live; the run is not looked at for a file
  // with nothing on the volume to read).
  Recoverability PlainEstimate(const DetailsRow& row, const ClusterRun& run);
  // Bytes of a run of clusters, as far as size; nothing when a sector cannot be read.
  std::optional<std::vector<std::uint8_t>> ReadRun(const std::vector<std::uint32_t>& clusters, std::uint64_t size);

  // What the volume's directories point at: the first cluster of every entry (files and folders,
  // live and deleted) and the clusters of every directory, gathered by one walk from the root and
  // the found folders when first needed.
  struct Claim {
    std::uint32_t cluster = 0;
    std::uint32_t size = 0;
    std::uint16_t date = 0, time = 0;
    std::uint64_t created = 0;
    bool deleted = false;
  };
  struct Claims {
    std::vector<Claim> firsts;                     // by cluster
    std::vector<std::uint32_t> directoryClusters;  // ascending
  };
  const Claims& VolumeClaims();
  // True when a directory lies in clusters [from, end), or an entry other than row's begins there;
  // an entry that begins at from itself counts when it is live or was written after the row's.
  bool RunIsShared(const DetailsRow& row, std::uint64_t from, std::uint64_t end);

  // True when a sector of clusters [from, end) is held now by another volume's boot sector, FATs
  // or root: a format made over this volume's data area wrote them there.
  bool UnderOtherVolume(std::uint64_t from, std::uint64_t end) const;
  // The same for the clusters of a chain.
  bool UnderOtherVolume(const std::vector<std::uint32_t>& clusters) const;

  const ScanContext& ctx_;
  FatReader fat_;
  // Choices made for runs in doubt, by the row's first cluster, size, deletion and write time.
  std::map<std::tuple<std::uint32_t, std::uint64_t, bool, std::uint16_t, std::uint16_t>, Choice> choices_;
  // Sectors [first, second) of the other volumes' structures, from the boot sectors the sector
  // scan found.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> otherStructures_;
  std::uint64_t clusterBytes_ = 0;
  std::uint32_t lastCluster_ = 0;
  std::vector<std::uint32_t> folderClusters_;  // the results tree's folders, as the source was made
  std::optional<Claims> claims_;
};

// A FAT12 volume has 12-bit FAT entries; the partition type a search starts from calls it "FAT16".
// When the active type is kFat16 and the volume's boot sector (at the start of the search range,
// placing the first FAT where the active geometry has it) counts fewer than 4085 clusters, the
// active type becomes kFat12, so that chains are read with the entries the volume has. Returns
// true when it changed the type.
bool CorrectFat12Type(ScanContext& ctx);

}  // namespace quarrow
