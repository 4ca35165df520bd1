#pragma once
// ScanContext: what a scan works on and leaves behind. One context lives for the whole run of a
// front end (the counter of generated names, for one, is never reset); a new scan clears the
// per-scan parts with ResetForScan.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/feedback.h"
#include "disk/sector_reader.h"
#include "core/volume.h"
#include "results/folder_nodes.h"
#include "results/scan_tables.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext {
  // The disk: every sector of a scan is read through this reader from this disk number.
  SectorReader* reader = nullptr;
  int diskNumber = 0;

  FsType partitionType = FsType::kNone;  // the type chosen for the search
  std::int64_t searchStart = 0;
  std::int64_t searchEnd = 0;  // the last sector the scan reads up to

  VolumeGeometry geometry;            // VolumeGeometry
  ActiveVolumeGeometry activeGeometry;  // ActiveVolumeGeometry, with its type

  ScanTables tables;
  std::vector<std::uint32_t> clusterChain;  // ClusterChain: built by FollowClusterChain

  std::unique_ptr<mytreectrl> resultsTree;  // the results tree ("Root")
  FolderNodeList folderNodes;               // FolderNodeList
  TreeItem currentFolder = kNoItem;

  bool dataFound = false;
  bool partitionValidated = false;
  int generatedNameCounter = 1;  // "DIR_%d" names; 1 at start, never reset

  Feedback* feedback = &NullFeedback();
  std::stop_token stop;

  // The FAT sector the chain follower read last. A front end turns it on while it walks a
  // finished scan's tree folder by folder: folders made one after another have their chains in
  // the same FAT sector, and each opened folder follows its chain twice (names, then files).
  // Off otherwise, so that every stage of a scan reads the FAT as it is on the disk.
  struct FatSectorMemo {
    bool enabled = false;
    int disk = -1;
    std::uint64_t sector = UINT64_MAX;
    std::array<std::uint8_t, kSectorSize> bytes{};
  } fatMemo;

  // Reads sectors of the selected disk; zero-fills what cannot be read.
  int Read(std::uint64_t firstSector, std::uint32_t sectorCount, std::span<std::uint8_t> buffer,
           ReadReport* report = nullptr) const {
    if (!reader) {
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      if (report) report->failedSectors = sectorCount;
      return 0;
    }
    return reader->ReadSectors(diskNumber, firstSector, sectorCount, buffer, report);
  }
  bool StopRequested() const { return stop.stop_requested(); }
  Feedback& Ui() const { return *feedback; }

  // Empties what one scan built, keeping the disk, the range and the run-wide counters.
  void ResetForScan() {
    tables.ClearAll();
    clusterChain.clear();
    folderNodes.Clear();
    resultsTree = std::make_unique<mytreectrl>(3, diskNumber);
    currentFolder = kNoItem;
    dataFound = false;
    fatMemo.sector = UINT64_MAX;
  }
};

}  // namespace quarrow
