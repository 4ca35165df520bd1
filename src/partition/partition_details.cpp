#include "partition/partition_details.h"

namespace quarrow {

std::int64_t PartitionSizeMb(const PartitionEntry& entry) {
  if (entry.endSector <= entry.firstSector) return 0;
  return static_cast<std::int64_t>((entry.endSector - entry.firstSector) >> 11);
}

int PartitionTypeComboIndex(std::string_view fsName) {
  if (fsName == "FAT16") return 0;
  if (fsName == "FAT32") return 1;
  if (fsName == "NTFS") return 2;
  return -1;
}

PartitionDetails PartitionDetailsFor(const PartitionList& list, std::string_view fsName, int index,
                                     int diskNumber, SearchMode mode, const DiskTexts& disk) {
  const PartitionEntry entry = list.At(index);
  const std::string size = std::to_string(PartitionSizeMb(entry)) + " MB";
  const bool unknown = fsName == kUnknownPartition;
  PartitionDetails details;
  details.startText = std::to_string(entry.firstSector);
  details.endText = std::to_string(entry.endSector);
  details.comboIndex = PartitionTypeComboIndex(fsName);

  if (mode == SearchMode::kStandard) {
    details.modeText = "Standard Search";
    details.rangeEditable = false;
    details.rows = {
        {"1.   Disk Number                    :  ", std::to_string(diskNumber)},
        {"2.   Partition Number              :  ", std::to_string(index + 1)},
        {"3.   Partition Type                   :  ", std::string(unknown ? kUnknownPartition : fsName)},
        {"4.   Search Mode                   :  ", "Standard"},
        {"5.   Start Sector                     :  ", unknown ? "0" : details.startText},
        {"6.   End Sector                      :  ", unknown ? disk.totalSectorsText : details.endText},
        {"7.   Size                                 :  ", unknown ? disk.sizeText : size},
    };
    details.expandRoot = unknown;
  } else if (mode == SearchMode::kAdvance) {
    details.modeText = "Advance Search";
    details.rangeEditable = true;
    details.rows = {
        {"1.   Partition Number          :          ", std::to_string(index + 1)},
        {"2.   Search Mode               :          ", "Advance"},
        {"3.   Size                             :  ", unknown ? disk.sizeText : size},
    };
    if (unknown) {
      details.startText = "0";
      details.endText = disk.totalSectorsText;
      details.expandRoot = true;
    }
  }
  // A GPT partition also shows its name and where its table was read from.
  if (entry.gpt && !unknown && !details.rows.empty()) {
    const std::size_t next = details.rows.size() + 1;
    details.rows.push_back({std::to_string(next) + ".   Partition Name                :  ", entry.gptName});
    details.rows.push_back(
        {std::to_string(next + 1) + ".   Partition Table                :  ",
         entry.gptFromBackup ? "GPT, read from its backup header (the primary is damaged)" : "GPT"});
  }
  return details;
}

int ClickPartitionItem(mytreectrl& tree, TreeItem item, const PartitionList& list,
                       bool lostPartitionSearchRunning) {
  if (lostPartitionSearchRunning || !tree.Valid(item)) return -1;
  const std::string& text = tree.Text(item);
  if (text.empty() || text.rfind("Disk", 0) == 0) return -1;
  for (int i = 0; i < list.count && i < kPartitionEntrySlots; ++i) {
    if (list.entries[i].item == item) {
      tree.Select(item);
      return i;
    }
  }
  return -1;
}

}  // namespace quarrow
