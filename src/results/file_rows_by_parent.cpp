#include "results/file_rows_by_parent.h"

#include <algorithm>
#include <array>

#include "results/table_numbers.h"

namespace quarrow {

namespace {

// Sorts keyed by parent, rows of the same parent left in the order they come in: a byte of the
// parent a pass, least significant first, and no pass for a byte every parent shares. A card's
// rows cost a few passes over them this way where a comparison sort cost the listing a tenth.
void SortByParentKeepingOrder(std::vector<std::pair<std::uint32_t, int>>& keyed) {
  std::vector<std::pair<std::uint32_t, int>> moved(keyed.size());
  for (int shift = 0; shift < 32; shift += 8) {
    std::array<std::size_t, 257> start{};
    for (const auto& entry : keyed) ++start[((entry.first >> shift) & 0xFF) + 1];
    if (std::any_of(start.begin(), start.end(), [&](std::size_t n) { return n == keyed.size(); })) continue;
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (const auto& entry : keyed) moved[start[(entry.first >> shift) & 0xFF]++] = entry;
    keyed.swap(moved);
  }
}

}  // namespace

void FileRowsByParent::Refresh(const TextTable& table) {
  if (built_ && table_ == &table && stamp_ == table.CurrentStamp()) return;
  std::vector<std::pair<std::uint32_t, int>> keyed;
  keyed.reserve(static_cast<std::size_t>(table.RowCount()));
  for (int r = 0; r < table.RowCount(); ++r) keyed.emplace_back(table.U32(r, entry_col::kParent), r);
  // Rows go in in table order, so a sort that keeps the order of equal parents keeps table order
  // within a parent.
  SortByParentKeepingOrder(keyed);
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
