#pragma once
// FolderNodeList: the folders of the results tree in creation order. The file list reads it and
// the scan log saves and restores it.

#include <cstdint>
#include <deque>
#include <string>

#include "results/tree_model.h"

namespace quarrow {

struct FolderNode {
  std::string name;
  TreeItem item = kNoItem;
  std::uint32_t self = 0;    // own cluster (FAT) or MFT record number (NTFS)
  std::uint32_t parent = 0;  // the parent's cluster or record number
  std::int64_t date = 0;
  std::int64_t time = 0;
  bool expanded = false;     // the folder's directory has been read for child names
  std::uint32_t deleted = 0;
};

class FolderNodeList {
 public:
  FolderNode& Append(FolderNode node) { return nodes_.emplace_back(std::move(node)); }
  std::size_t Count() const { return nodes_.size(); }
  bool Empty() const { return nodes_.empty(); }
  FolderNode& operator[](std::size_t i) { return nodes_[i]; }
  const FolderNode& operator[](std::size_t i) const { return nodes_[i]; }
  // The node shown by a tree item, or null.
  FolderNode* FindByItem(TreeItem item);
  const FolderNode* FindByItem(TreeItem item) const;
  void Clear() { nodes_.clear(); }

  auto begin() { return nodes_.begin(); }
  auto end() { return nodes_.end(); }
  auto begin() const { return nodes_.begin(); }
  auto end() const { return nodes_.end(); }

 private:
  std::deque<FolderNode> nodes_;  // a deque keeps references valid while the tree grows
};

inline FolderNode* FolderNodeList::FindByItem(TreeItem item) {
  for (auto& node : nodes_) {
    if (node.item == item) return &node;
  }
  return nullptr;
}

inline const FolderNode* FolderNodeList::FindByItem(TreeItem item) const {
  for (const auto& node : nodes_) {
    if (node.item == item) return &node;
  }
  return nullptr;
}

}  // namespace quarrow
