#include "results/carved_folders.h"

#include <algorithm>

#include "results/folder_tree.h"
#include "results/table_numbers.h"

namespace quarrow {

bool IsCarvedFolderKey(std::uint32_t key) {
  return key >= kCarvedFolderKey && key - kCarvedFolderKey <= std::size(kCarveTypes);
}

std::string CarvedFileName(const CarvedFile& file) {
  std::string digits = std::to_string(file.sector);
  if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
  return "f" + digits + "." + std::string(CarveTypeExtension(file.type));
}

void AddCarvedFolders(ResultsState& results) {
  if (results.carvedFiles.empty()) return;
  mytreectrl& tree = results.Tree();
  const std::uint32_t rootKey = results.FilesInTables() ? kNtfsRootKey : kFatRootKey;
  const TreeItem top =
      InsertFolderNode(results, tree.Root(), std::string(kCarvedFolderName), kCarvedFolderKey, 0, 0, rootKey, false);
  if (top == kNoItem) return;
  for (CarveType type : kCarveTypes) {
    const bool any = std::any_of(results.carvedFiles.begin(), results.carvedFiles.end(),
                                 [type](const CarvedFile& f) { return f.type == type; });
    if (any)
      InsertFolderNode(results, top, std::string(CarveTypeExtension(type)), CarvedTypeFolderKey(type), 0, 0,
                       kCarvedFolderKey, false);
  }
  // They hold no directory to read names from.
  for (FolderNode& node : results.folderNodes) {
    if (IsCarvedFolderKey(node.self)) node.expanded = true;
  }
}

void ListCarvedFiles(const ResultsState& results, DetailsList& list, std::uint32_t folderKey) {
  for (const CarvedFile& file : results.carvedFiles) {
    if (CarvedTypeFolderKey(file.type) != folderKey) continue;
    DetailsRow row;
    row.name = CarvedFileName(file);
    row.image = RowImage::kFile;
    row.type = FileTypeDescription(row.name, false);
    row.size = std::to_string(file.length);
    row.debug1 = std::to_string(file.sector);
    row.debug2 = U32Text(folderKey);
    row.carvedSector = file.sector;
    list.rows.push_back(std::move(row));
  }
}

}  // namespace quarrow
