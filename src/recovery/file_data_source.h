#pragma once
// Where the bytes of a listed file are, per volume type. The recovery engine writes files from
// the rows of the file list and asks the volume's data source where each row's data lies and, for
// a deleted file, how much of it is left. FAT answers from the cluster chain or the run of
// clusters after the first one; NTFS will answer from the file's record.

#include <cstdint>
#include <optional>

#include "recovery/recovery_types.h"
#include "results/file_list.h"

namespace quarrow {

struct ScanContext;

class FileDataSource {
 public:
  virtual ~FileDataSource() = default;
  // Where the bytes of the file a row shows are, and how they were found.
  virtual FileData Locate(const DetailsRow& row) = 0;
  // For a deleted file, whether the places Locate reads from still hold its data. For a live
  // file kNotDeleted, unless what Locate reads besides its allocation is in doubt (kMayBeMixed).
  virtual Recoverability Estimate(const DetailsRow& row) = 0;

  // Whether an entry of the volume (a file or a folder, live or deleted, in any directory the
  // source knows) has its data begin at this sector: a file start found there by its content is
  // that entry's, not a lost file.
  virtual bool DataBeginsAt(std::uint64_t sector) {
    (void)sector;
    return false;
  }
  // Where the volume's clusters lie, when the source knows: files begin only on their boundaries.
  virtual std::optional<ClusterGrid> Grid() const { return std::nullopt; }
};

// The estimate a file is shown and reported with: the source's estimate (none for a live file
// whose data is read along its allocation), turned into kPartlyUnreadable when the disk's image has a map of unread
// sectors and some sector Locate would read lies in them. An overwritten file stays overwritten.
Recoverability EstimateFile(const ScanContext& ctx, FileDataSource& source, const DetailsRow& row);

// True when the directory of a FAT folder (its first cluster, ownCluster) lies where the disk's
// image map says the copy never read: what the folder held cannot be listed. False for NTFS
// folders (their records are counted as unreadable sectors by the scan) and for disks without
// such a map.
bool FolderInUnreadBlock(const ScanContext& ctx, std::uint32_t ownCluster);

}  // namespace quarrow
