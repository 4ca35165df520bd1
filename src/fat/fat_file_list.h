#pragma once
// The file rows of a FAT folder in the results page's file list, read from the folder's
// directory on the disk each time the folder is shown.

#include <cstdint>

#include "results/file_list.h"

namespace quarrow {

struct ScanContext;

// Adds a row for every file entry (not "." / "..", long-name parts or sub-directories) of the
// folder whose first cluster is folderCluster; 0 is the root directory. Uses ActiveVolumeGeometry.
void ListFatFiles(ScanContext& ctx, DetailsList& list, std::uint32_t folderCluster);

// The hooks the results tree and file list take on a FAT volume.
const FatFileLister& FatFileListerHook();
const ChildNamer& FatChildNamerHook();

}  // namespace quarrow
