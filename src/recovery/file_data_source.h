#pragma once
// Where the bytes of a listed file are, per volume type. The recovery engine writes files from
// the rows of the file list and asks the volume's data source where each row's data lies and, for
// a deleted file, how much of it is left. FAT answers from the cluster chain or the run of
// clusters after the first one; NTFS will answer from the file's record.

#include "recovery/recovery_types.h"
#include "results/file_list.h"

namespace quarrow {

class FileDataSource {
 public:
  virtual ~FileDataSource() = default;
  // Where the bytes of the file a row shows are, and how they were found.
  virtual FileData Locate(const DetailsRow& row) = 0;
  // For a deleted file, whether the places Locate reads from still hold its data;
  // kNotDeleted for a live file.
  virtual Recoverability Estimate(const DetailsRow& row) = 0;
};

}  // namespace quarrow
