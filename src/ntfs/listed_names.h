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
    rows_.push_back({parent, row, Hash(name)});
  }
  // Once every row is added, before the first Seen.
  void Sort() { std::sort(rows_.begin(), rows_.end()); }
  // Whether name is listed in parent: by a row added (its name read from column of table), or by
  // an earlier call for the same folder and name, which this call counts as seen from now on.
  bool Seen(const TextTable& table, int column, std::uint32_t parent, const std::string& name) {
    const auto [lo, hi] = std::equal_range(rows_.begin(), rows_.end(), Entry{parent, 0, Hash(name)});
    for (auto it = lo; it != hi; ++it)
      if (table.CellIs(it->row, column, name)) return true;
    return !asked_.emplace(parent, name).second;
  }

 private:
  static std::size_t Hash(std::string_view name) { return std::hash<std::string_view>{}(name); }
  struct Entry {
    std::uint32_t parent;
    int row;
    std::size_t hash;
    bool operator<(const Entry& o) const { return std::tie(parent, hash) < std::tie(o.parent, o.hash); }
  };
  std::vector<Entry> rows_;
  std::set<std::pair<std::uint32_t, std::string>> asked_;  // names not listed by a row, once asked
};

// The names a table's rows list in each folder, kept up as rows are appended: for a scan that
// appends a name found as an index key only when no row before it lists that name in that folder
// (such a key is never listed, and a card's folders hold most of their names twice, in records and
// in index records). Open addressing on a hash of the folder and the name, eight bytes a slot and
// at most half of them taken; a matching hash is confirmed on the row's own cells.
class ListedSoFar {
 public:
  ListedSoFar(const TextTable& table, int nameColumn, int parentColumn)
      : table_(table), nameColumn_(nameColumn), parentColumn_(parentColumn) {}

  // Whether a row added so far lists name in the folder parent.
  bool Listed(std::uint32_t parent, std::string_view name) const {
    if (slots_.empty()) return false;
    const std::uint32_t hash = Hash(parent, name);
    for (std::size_t i = hash & Mask();; i = (i + 1) & Mask()) {
      const Slot& slot = slots_[i];
      if (slot.hash == 0) return false;
      if (slot.hash == hash && table_.U32(slot.row, parentColumn_) == parent &&
          table_.CellIs(slot.row, nameColumn_, name))
        return true;
    }
  }
  // The table's row lists name in the folder parent.
  void Add(std::uint32_t parent, std::string_view name, int row) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    Place({Hash(parent, name), row});
    ++used_;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;  // 0: an empty slot
    int row = 0;
  };
  // Never 0; its low bits place the slot, so growing needs no name read again.
  static std::uint32_t Hash(std::uint32_t parent, std::string_view name) {
    const std::uint64_t h =
        std::hash<std::string_view>{}(name) ^ (std::uint64_t{parent} * 0x9E3779B97F4A7C15ull);
    return static_cast<std::uint32_t>(h ^ (h >> 32)) | 0x80000000u;
  }
  std::size_t Mask() const { return slots_.size() - 1; }
  void Place(Slot slot) {
    std::size_t i = slot.hash & Mask();
    while (slots_[i].hash != 0) i = (i + 1) & Mask();
    slots_[i] = slot;
  }
  void Grow() {
    std::vector<Slot> old(slots_.empty() ? 1024 : slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.hash != 0) Place(slot);
  }

  const TextTable& table_;
  int nameColumn_;
  int parentColumn_;
  std::vector<Slot> slots_;  // a power of two of them
  std::size_t used_ = 0;
};

}  // namespace quarrow
