#pragma once
// FAT volume figures worked out from directory clusters, the naming of child folders from their
// parent's directory, and the hooks that bind the results tree to a FAT volume.

#include <cstdint>
#include <memory>

#include "fat/directory_reader.h"
#include "fat/fat_reader.h"
#include "results/folder_nodes.h"

namespace quarrow {

struct ScanContext;

// Works out VolumeGeometry from the first pair of sub-directories that agree on a cluster size,
// for a partition whose boot sector was not accepted. Reads the search range and the partition
// type. Returns 1 when the figures were worked out, 0 otherwise (the fields set so far stay).
int CalculatePartitionParams(ScanContext& ctx);

// Names the FolderNodes that are children of cluster from the entries of one directory sector
// (long names that begin in front of it are read from the sector before it on the disk).
// kEndMet when the sector holds the end-of-directory entry; an unreadable sector is skipped.
WalkResult NameChildNodes(ScanContext& ctx, std::uint64_t sector, std::uint32_t cluster);

// Reads a folder's directory along its chain and names its children, stopping at the end of the
// directory. Nothing for the catch-all folder.
void NameFatChildren(ScanContext& ctx, FatReader& fat, const FolderNode& node);

// Binds the results tree's hooks to the FAT volume of ctx.activeGeometry, read through fat: a
// folder's first expansion names its children from its directory, and its files are listed from
// it. The hooks read through ctx, which owns them.
void BindFatVolume(ScanContext& ctx, std::shared_ptr<FatReader> fat);

}  // namespace quarrow
