#pragma once
// ValidatePartition: checks the chosen partition's boot sector and its FAT or MFT and fills
// VolumeGeometry, the layout every scan engine and the scan log use.
//
// Inputs are taken from the ScanContext as the partition page leaves them:
//   context.reader / context.diskNumber  the disk
//   context.partitionType                a FAT type or kNtfs (kNone fails)
//   context.searchStart                  the partition's first sector
//   context.searchEnd                    the partition's end sector, the first sector after it
//                                        (PartitionEntry::endSector); NTFS only
// Returns 1 and fills context.geometry when the partition is usable, 0 otherwise. A failed
// validation leaves context.geometry as it was, except RootDirStart, which the FAT32 branch
// writes as soon as it has accepted a boot sector. "Validating Partition ..." goes to the status
// line through context.Ui().
//
// A caller (the Standard-search start) does:
//   context.partitionType = FsType::kFat32; context.searchStart = entry.firstSector;
//   context.searchEnd = entry.endSector;
//   const bool validated = ValidatePartition(context) == 1;

#include <cstdint>

#include "core/bytes.h"
#include "scan/scan_context.h"

namespace quarrow {

// Where the NTFS fallback boot sector is read: the partition's last whole volume sector (of
// sectorScale 512-byte sectors), where the format keeps its backup; end sector - 1 for 512-byte
// sectors. 0 when the range holds no whole volume sector.
std::uint64_t NtfsBackupBootSector(std::uint64_t searchStart, std::uint64_t searchEnd,
                                   std::uint32_t sectorScale = 1);

int ValidatePartition(ScanContext& context);

}  // namespace quarrow
