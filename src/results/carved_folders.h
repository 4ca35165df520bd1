#pragma once
// The carved files in the results tree: a folder of their own under the root, "QRW_Carved", with
// one sub-folder per type ("jpg", "pdf", ...), each file named by its type and first sector
// ("f0012345.jpg"). The folders are ordinary folder nodes whose keys no cluster or record number
// takes, so the tree, the list and the recovery walk show and save them like any other folder; the
// files come from ResultsState::carvedFiles.

#include <cstdint>
#include <string>
#include <string_view>

#include "results/file_list.h"
#include "results/results_state.h"

namespace quarrow {

inline constexpr std::string_view kCarvedFolderName = "QRW_Carved";
// Keys far above any FAT cluster (at most 0x0FFFFFF6) and above the record numbers a removable
// disk's MFT reaches: the top folder, then one per type in CarveType's order.
inline constexpr std::uint32_t kCarvedFolderKey = 0xFFFFFF00u;
constexpr std::uint32_t CarvedTypeFolderKey(CarveType type) {
  return kCarvedFolderKey + 1 + static_cast<std::uint32_t>(type);
}
// The top folder's key or a type folder's.
bool IsCarvedFolderKey(std::uint32_t key);

// "f" and the first sector in at least seven digits, then the type's extension: "f0012345.jpg".
std::string CarvedFileName(const CarvedFile& file);

// Inserts the top folder under the results tree's root and a sub-folder for each type that
// results.carvedFiles holds, in CarveType's order. Nothing when there are no carved files.
void AddCarvedFolders(ResultsState& results);

// Appends a row for each carved file of the type folder whose key is given (none for the top
// folder or another key): name, type description, size, the first sector in the first hidden
// column and carvedSector; no date or time, which a carved file does not have.
void ListCarvedFiles(const ResultsState& results, DetailsList& list, std::uint32_t folderKey);

}  // namespace quarrow
