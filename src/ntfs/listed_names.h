#pragma once
// The file names a table's rows list in each folder, for telling whether a name found as an index
// key is listed already. Rows are held by their folder and a hash of their name: a card's files
// cost sixteen bytes each here, not a node and a copy of the name, and a matching hash is
// confirmed on the row's own name in the table.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "results/scan_tables.h"

namespace quarrow {

class ListedNames {
 public:
  void Reserve(std::size_t rows) { rows_.reserve(rows); }
  // The row lists name in the folder parent.
  void Add(std::uint32_t parent, int row, std::string_view name) {
    rows_.push_back({parent, Hash(name), row});
  }
  // Once every row is added, before the first Seen.
  void Sort() { std::sort(rows_.begin(), rows_.end()); }
  // Whether name is listed in parent: by a row added (its name read from column of table), or by
  // an earlier call for the same folder and name, which this call counts as seen from now on.
  bool Seen(const TextTable& table, int column, std::uint32_t parent, const std::string& name) {
    const auto [lo, hi] = std::equal_range(rows_.begin(), rows_.end(), Entry{parent, Hash(name), 0});
    for (auto it = lo; it != hi; ++it)
      if (table.CellIs(it->row, column, name)) return true;
    return !asked_.emplace(parent, name).second;
  }

 private:
  static std::size_t Hash(std::string_view name) { return std::hash<std::string_view>{}(name); }
  struct Entry {
    std::uint32_t parent;
    std::size_t hash;
    int row;
    bool operator<(const Entry& o) const { return std::tie(parent, hash) < std::tie(o.parent, o.hash); }
  };
  std::vector<Entry> rows_;
  std::set<std::pair<std::uint32_t, std::string>> asked_;  // names not listed by a row, once asked
};

}  // namespace quarrow
