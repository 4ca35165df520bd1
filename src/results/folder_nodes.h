#pragma once
// FolderNodeList: the folders of the results tree in creation order. The file list reads it and
// the scan log saves and restores it.

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "results/tree_model.h"

namespace quarrow {

struct FolderNode {
  std::string name;
  TreeItem item = kNoItem;
  std::uint32_t self = 0;    // own cluster (FAT) or MFT record number (NTFS)
  std::uint32_t parent = 0;  // the parent's cluster or record number
  std::int64_t date = 0;
  std::int64_t time = 0;
  bool expanded = false;  // the folder's directory has been read for child names
  bool deleted = false;
};

// A node's item, self and parent are fixed once it is appended (only its name, expanded and
// deleted marks change later); the list indexes nodes by item and by parent on that basis, so
// that listing and walking a tree of many folders does not scan the whole list each time.
class FolderNodeList {
 public:
  FolderNode& Append(FolderNode node) {
    byItem_.try_emplace(node.item, nodes_.size());
    byParent_[node.parent].push_back(nodes_.size());
    return nodes_.emplace_back(std::move(node));
  }
  std::size_t Count() const { return nodes_.size(); }
  bool Empty() const { return nodes_.empty(); }
  FolderNode& operator[](std::size_t i) { return nodes_[i]; }
  const FolderNode& operator[](std::size_t i) const { return nodes_[i]; }
  // The node shown by a tree item, or null.
  FolderNode* FindByItem(TreeItem item);
  const FolderNode* FindByItem(TreeItem item) const;
  // Indices of the nodes whose parent is parentKey, in list order.
  const std::vector<std::size_t>& ChildrenOf(std::uint32_t parentKey) const {
    static const std::vector<std::size_t> none;
    auto it = byParent_.find(parentKey);
    return it == byParent_.end() ? none : it->second;
  }
  void Clear() {
    nodes_.clear();
    byItem_.clear();
    byParent_.clear();
  }

  auto begin() { return nodes_.begin(); }
  auto end() { return nodes_.end(); }
  auto begin() const { return nodes_.begin(); }
  auto end() const { return nodes_.end(); }

 private:
  std::deque<FolderNode> nodes_;                      // a deque keeps references valid while the tree grows
  std::unordered_map<TreeItem, std::size_t> byItem_;  // first node of each item
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> byParent_;
};

inline FolderNode* FolderNodeList::FindByItem(TreeItem item) {
  auto it = byItem_.find(item);
  return it == byItem_.end() ? nullptr : &nodes_[it->second];
}

inline const FolderNode* FolderNodeList::FindByItem(TreeItem item) const {
  auto it = byItem_.find(item);
  return it == byItem_.end() ? nullptr : &nodes_[it->second];
}

}  // namespace quarrow
