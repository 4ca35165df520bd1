#include "results/tree_model.h"

#include <algorithm>

namespace quarrow {

mytreectrl::mytreectrl(TreeKind kind, int selectedDisk) : kind_(kind) {
  nodes_.emplace_back();  // handle 0 is "no item"
  std::string rootText;
  switch (kind) {
    case TreeKind::kDisks:
      rootText = "My Computer";
      break;
    case TreeKind::kFileSystems:
      rootText = "File Systems";
      break;
    case TreeKind::kResults:
      rootText = "Root";
      break;
    case TreeKind::kPartitions:
      rootText = "Disk " + std::to_string(selectedDisk);
      break;
  }
  root_ = InsertRootItem(std::move(rootText), tree_image::kComputer, tree_image::kComputer);
  // The disk and partition trees open with their root expanded.
  if (kind == TreeKind::kDisks || kind == TreeKind::kPartitions) Get(root_)->expanded = true;
}

mytreectrl::Node* mytreectrl::Get(TreeItem item) {
  if (item == kNoItem || item >= nodes_.size() || !nodes_[item].alive) return nullptr;
  return &nodes_[item];
}

const mytreectrl::Node* mytreectrl::Get(TreeItem item) const {
  if (item == kNoItem || item >= nodes_.size() || !nodes_[item].alive) return nullptr;
  return &nodes_[item];
}

bool mytreectrl::Valid(TreeItem item) const {
  return Get(item) != nullptr;
}

TreeItem mytreectrl::NewNode(TreeItem parent, std::string text, int image, int selectedImage) {
  Node node;
  node.alive = true;
  node.text = std::move(text);
  node.image = image;
  node.selectedImage = selectedImage;
  node.parent = parent;
  nodes_.push_back(std::move(node));
  return static_cast<TreeItem>(nodes_.size() - 1);
}

TreeItem mytreectrl::InsertRootItem(std::string text, int image, int selectedImage) {
  TreeItem item = NewNode(kNoItem, std::move(text), image, selectedImage);
  topLevel_.push_back(item);
  if (root_ == kNoItem) root_ = item;
  if (observer_) observer_->ItemInserted(kNoItem, item, topLevel_.size() - 1);
  return item;
}

TreeItem mytreectrl::InsertItem(TreeItem parent, std::string text, int image, int selectedImage) {
  if (!Valid(parent)) return kNoItem;
  TreeItem item = NewNode(parent, std::move(text), image, selectedImage);
  nodes_[parent].children.push_back(item);
  if (observer_) observer_->ItemInserted(parent, item, nodes_[parent].children.size() - 1);
  return item;
}

void mytreectrl::DeleteItem(TreeItem item) {
  Node* node = Get(item);
  if (!node) return;
  if (observer_) observer_->ItemRemoving(node->parent, item, RowOf(item));
  node = Get(item);
  // Iterative removal: deep trees made from hostile data must not exhaust the stack.
  std::vector<TreeItem> pending{item};
  TreeItem parent = node->parent;
  while (!pending.empty()) {
    TreeItem current = pending.back();
    pending.pop_back();
    Node& n = nodes_[current];
    pending.insert(pending.end(), n.children.begin(), n.children.end());
    n.children.clear();
    n.alive = false;
    n.text.clear();
    if (selected_ == current) selected_ = kNoItem;
  }
  auto& siblings = parent == kNoItem ? topLevel_ : nodes_[parent].children;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
  if (root_ == item) root_ = topLevel_.empty() ? kNoItem : topLevel_.front();
}

void mytreectrl::DeleteAllItems() {
  nodes_.resize(1);
  topLevel_.clear();
  root_ = kNoItem;
  selected_ = kNoItem;
  if (observer_) observer_->Reset();
}

void mytreectrl::Select(TreeItem item) {
  const TreeItem before = selected_;
  selected_ = Valid(item) ? item : kNoItem;
  if (observer_ && before != selected_) observer_->SelectionChanged(selected_);
}

std::size_t mytreectrl::RowOf(TreeItem item) const {
  TreeItem parent = Parent(item);
  const auto& siblings = parent == kNoItem ? topLevel_ : Children(parent);
  auto it = std::find(siblings.begin(), siblings.end(), item);
  return it == siblings.end() ? 0 : static_cast<std::size_t>(it - siblings.begin());
}

const std::string& mytreectrl::Text(TreeItem item) const {
  static const std::string empty;
  const Node* node = Get(item);
  return node ? node->text : empty;
}

void mytreectrl::SetText(TreeItem item, std::string text) {
  if (Node* node = Get(item)) {
    node->text = std::move(text);
    if (observer_) observer_->ItemChanged(item);
  }
}

int mytreectrl::Image(TreeItem item) const {
  const Node* node = Get(item);
  return node ? node->image : 0;
}

int mytreectrl::SelectedImage(TreeItem item) const {
  const Node* node = Get(item);
  return node ? node->selectedImage : 0;
}

void mytreectrl::SetImages(TreeItem item, int image, int selectedImage) {
  if (Node* node = Get(item)) {
    node->image = image;
    node->selectedImage = selectedImage;
    if (observer_) observer_->ItemChanged(item);
  }
}

int mytreectrl::State(TreeItem item) const {
  const Node* node = Get(item);
  return node ? node->state : 0;
}

void mytreectrl::SetState(TreeItem item, int state) {
  if (Node* node = Get(item)) {
    if (node->state == state) return;
    node->state = state;
    if (observer_) observer_->ItemChanged(item);
  }
}

TreeItem mytreectrl::Parent(TreeItem item) const {
  const Node* node = Get(item);
  return node ? node->parent : kNoItem;
}

const std::vector<TreeItem>& mytreectrl::Children(TreeItem item) const {
  static const std::vector<TreeItem> none;
  const Node* node = Get(item);
  return node ? node->children : none;
}

bool mytreectrl::Expanded(TreeItem item) const {
  const Node* node = Get(item);
  return node && node->expanded;
}

void mytreectrl::Expand(TreeItem item, bool expand) {
  if (!Valid(item)) return;
  if (onExpanding_) onExpanding_(item, expand);
  if (Node* node = Get(item)) {  // the handler may have deleted it
    node->expanded = expand;
    if (observer_) observer_->ItemChanged(item);
  }
}

TreeItem mytreectrl::LastVisibleBelow(TreeItem item) const {
  while (Expanded(item) && HasChildren(item)) item = Children(item).back();
  return item;
}

TreeItem mytreectrl::NextVisible(TreeItem item) const {
  if (!Valid(item)) return kNoItem;
  if (Expanded(item) && HasChildren(item)) return Children(item).front();
  while (item != kNoItem) {
    TreeItem parent = Parent(item);
    const auto& siblings = parent == kNoItem ? topLevel_ : Children(parent);
    auto it = std::find(siblings.begin(), siblings.end(), item);
    if (it != siblings.end() && std::next(it) != siblings.end()) return *std::next(it);
    item = parent;
  }
  return kNoItem;
}

TreeItem mytreectrl::PreviousVisible(TreeItem item) const {
  if (!Valid(item)) return kNoItem;
  TreeItem parent = Parent(item);
  const auto& siblings = parent == kNoItem ? topLevel_ : Children(parent);
  auto it = std::find(siblings.begin(), siblings.end(), item);
  if (it == siblings.begin() || it == siblings.end()) return parent;
  return LastVisibleBelow(*std::prev(it));
}

}  // namespace quarrow
