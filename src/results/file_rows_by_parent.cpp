#include "results/file_rows_by_parent.h"

#include <algorithm>

#include "results/table_numbers.h"

namespace quarrow {

void FileRowsByParent::Refresh(const TextTable& table) {
  if (built_ && table_ == &table && stamp_ == table.CurrentStamp()) return;
  std::vector<std::pair<std::uint32_t, int>> keyed;
  keyed.reserve(static_cast<std::size_t>(table.RowCount()));
  for (int r = 0; r < table.RowCount(); ++r)
    keyed.emplace_back(table.U32(r, entry_col::kParent), r);
  // Row numbers are distinct, so the pair order keeps table order within a parent.
  std::sort(keyed.begin(), keyed.end());
  parents_.clear();
  rows_.clear();
  parents_.reserve(keyed.size());
  rows_.reserve(keyed.size());
  for (const auto& [parent, row] : keyed) {
    parents_.push_back(parent);
    rows_.push_back(row);
  }
  built_ = true;
  table_ = &table;
  stamp_ = table.CurrentStamp();
}

std::span<const int> FileRowsByParent::RowsOf(const TextTable& table, std::uint32_t parentKey) {
  Refresh(table);
  const auto [first, last] = std::equal_range(parents_.begin(), parents_.end(), parentKey);
  return std::span<const int>(rows_).subspan(static_cast<std::size_t>(first - parents_.begin()),
                                             static_cast<std::size_t>(last - first));
}

std::vector<int> FileRowsByParent::RowsOutside(const TextTable& table,
                                               const std::function<bool(std::uint32_t)>& folder) {
  Refresh(table);
  std::vector<int> out;
  for (std::size_t i = 0; i < parents_.size();) {
    std::size_t end = i;
    while (end < parents_.size() && parents_[end] == parents_[i]) ++end;
    if (!folder(parents_[i])) out.insert(out.end(), rows_.begin() + i, rows_.begin() + end);
    i = end;
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace quarrow
