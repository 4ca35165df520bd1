#pragma once
// The partition details display: what the partition page shows for one PartitionEntry when the
// user selects a partition or the lost-partition search ends. Returned as data (rows of
// DetailsList, texts of the range edits, the type combo's choice) so that any front end can
// show it.

#include <string>
#include <string_view>
#include <vector>

#include "core/volume.h"
#include "partition/partition_table.h"

namespace quarrow {

inline constexpr std::string_view kUnknownPartition = "Unknown Partition";

struct PartitionDetailsRow {
  std::string name;   // name column, with its spacing
  std::string value;  // value column
};

// The selected disk's texts that the "Unknown Partition" rows show instead of an entry.
struct DiskTexts {
  std::string totalSectorsText;  // TotalSectors as text
  std::string sizeText;          // "%ld MB"
};

struct PartitionDetails {
  std::string modeText;        // control 1068: "Standard Search" or "Advance Search"
  bool rangeEditable = false;  // the type combo 1037 and the edits 1069 and 1071
  int comboIndex = -1;         // 0 "FAT16", 1 "FAT32", 2 "NTFS", 3 "exFAT"; -1 leaves the combo as it is
  std::string startText;       // edit 1069
  std::string endText;         // edit 1071
  std::vector<PartitionDetailsRow> rows;  // DetailsList, emptied first
  bool expandRoot = false;                // the tree's root is expanded and redrawn
};

// Size in whole MB of 512-byte sectors, 0 for an entry that ends before it starts.
std::int64_t PartitionSizeMb(const PartitionEntry& entry);
// 0, 1, 2, 3 for "FAT16", "FAT32", "NTFS", "exFAT"; -1 for any other name.
int PartitionTypeComboIndex(std::string_view fsName);

// The display for list.At(index) under fsName, for disk diskNumber in search mode mode.
PartitionDetails PartitionDetailsFor(const PartitionList& list, std::string_view fsName, int index,
                                     int diskNumber, SearchMode mode, const DiskTexts& disk);

// A click on the partition tree: selects the clicked partition's item and returns its index in
// the list, whose details the page then shows with PartitionDetailsFor(list, list.Name(i), i,
// ...). Returns -1 and changes nothing when the click is ignored: the root ("Disk N"), an item
// with empty text, an item without an entry (the "Unknown Partition" item), or while the
// lost-partition search runs.
int ClickPartitionItem(mytreectrl& tree, TreeItem item, const PartitionList& list,
                       bool lostPartitionSearchRunning);

}  // namespace quarrow
