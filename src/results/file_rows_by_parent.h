#pragma once
// The file rows of an NTFS or exFAT scan (PendingEntryTable) grouped by their parent record, so
// that listing every folder of a card reads each row's parent once instead of once per folder.
// The grouping is made on first use and made again when the table has changed since.

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "results/scan_tables.h"

namespace quarrow {

class FileRowsByParent {
 public:
  // Indices of the rows of table whose parent is parentKey, in table order. Valid until the
  // next call.
  std::span<const int> RowsOf(const TextTable& table, std::uint32_t parentKey);
  // Indices of the rows of table whose parent is not a folder (folder(parent) is false), in
  // table order.
  std::vector<int> RowsOutside(const TextTable& table, const std::function<bool(std::uint32_t)>& folder);

 private:
  void Refresh(const TextTable& table);

  bool built_ = false;
  const TextTable* table_ = nullptr;
  TextTable::Stamp stamp_;
  std::vector<std::uint32_t> parents_;  // ascending; parents_[i] is the parent of rows_[i]
  std::vector<int> rows_;               // within one parent, in table order
};

}  // namespace quarrow
