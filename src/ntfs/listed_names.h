#pragma once
// The file names a table's rows list in each folder, for telling whether a name found as an index
// key is listed already. Rows are held by a hash of their folder and name: a card's files cost a
// slot or two of eight bytes each here, not a node and a copy of the name, and a matching hash is
// confirmed on the row's own cells in the table.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "results/scan_tables.h"

namespace quarrow {

// The names a table's rows list in each folder, kept up as rows are added: for a scan that lists
// a name found as an index key only when no row lists that name in that folder (a card's folders
// hold most of their names twice, in records and in index records), and whose row for a key then
// answers for the same key found again. Open addressing on a hash of the folder and the name,
// eight bytes a slot and at most half of them taken; a match is confirmed on the row's own cells.
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
