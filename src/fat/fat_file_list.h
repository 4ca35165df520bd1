#pragma once
// The file rows of a FAT folder in the results page's file list, read from the folder's
// directory on the disk each time the folder is shown.

#include <cstdint>

#include "fat/fat_reader.h"
#include "results/file_list.h"

namespace quarrow {

struct ScanContext;

// Adds a row for every file entry (not "." / "..", long-name parts or sub-directories) of the
// folder whose first cluster is folderCluster; 0 is the root directory. Uses ActiveVolumeGeometry.
void ListFatFiles(const ScanContext& ctx, FatReader& fat, DetailsList& list, std::uint32_t folderCluster);

}  // namespace quarrow
