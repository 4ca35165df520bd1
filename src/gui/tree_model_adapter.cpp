#include "gui/tree_model_adapter.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <unordered_set>

#include "gui/icons.h"

namespace quarrow::gui {

TreeModelAdapter::TreeModelAdapter(QObject* parent) : QAbstractItemModel(parent) {
  shape_[kNoItem] = {};
}

TreeModelAdapter::~TreeModelAdapter() {
  if (tree_ && tree_->Observer() == this) tree_->SetObserver(nullptr);
}

void TreeModelAdapter::SetTree(mytreectrl* tree) {
  beginResetModel();
  if (tree_ && tree_->Observer() == this) tree_->SetObserver(nullptr);
  tree_ = tree;
  if (tree_) tree_->SetObserver(this);
  Rebuild();
  endResetModel();
}

void TreeModelAdapter::ItemInserted(TreeItem parent, TreeItem item, std::size_t row) {
  auto it = shape_.find(parent);
  if (it == shape_.end() || row > it->second.children.size() || shape_.count(item)) {
    Reset();  // an announcement the copy cannot place: read the whole tree again
    return;
  }
  beginInsertRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row));
  auto& children = it->second.children;
  children.insert(children.begin() + static_cast<std::ptrdiff_t>(row), item);
  shape_[item] = Shape{parent, static_cast<int>(row), {}};
  Renumber(shape_[parent], row);
  endInsertRows();
}

void TreeModelAdapter::ItemRemoving(TreeItem parent, TreeItem item, std::size_t row) {
  auto it = shape_.find(parent);
  if (it == shape_.end() || row >= it->second.children.size() || it->second.children[row] != item) {
    Reset();
    return;
  }
  beginRemoveRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row));
  ForgetSubtree(item);
  auto& children = shape_[parent].children;
  children.erase(children.begin() + static_cast<std::ptrdiff_t>(row));
  Renumber(shape_[parent], row);
  endRemoveRows();
}

void TreeModelAdapter::ItemChanged(TreeItem item) {
  const QModelIndex index = IndexOf(item);
  if (!index.isValid()) return;
  emit dataChanged(index, index);
  emit itemChanged(item);
}

void TreeModelAdapter::SelectionChanged(TreeItem item) {
  emit selectionChanged(item);
}

void TreeModelAdapter::Reset() {
  beginResetModel();
  Rebuild();
  endResetModel();
  emit treeReset();
}

const std::vector<TreeItem>& TreeModelAdapter::ModelChildren(TreeItem parent) const {
  static const std::vector<TreeItem> none;
  if (!tree_) return none;
  if (parent == kNoItem) return tree_->TopLevel();
  return tree_->Valid(parent) ? tree_->Children(parent) : none;
}

void TreeModelAdapter::Renumber(Shape& shape, std::size_t from) {
  for (std::size_t i = from; i < shape.children.size(); ++i)
    shape_[shape.children[i]].row = static_cast<int>(i);
}

void TreeModelAdapter::Rebuild() {
  shape_.clear();
  shape_[kNoItem] = {};
  std::vector<TreeItem> pending{kNoItem};
  while (!pending.empty()) {
    const TreeItem item = pending.back();
    pending.pop_back();
    Shape& shape = shape_[item];
    shape.children = ModelChildren(item);
    for (std::size_t i = 0; i < shape.children.size(); ++i) {
      Shape& child = shape_[shape.children[i]];
      child.parent = item;
      child.row = static_cast<int>(i);
      pending.push_back(shape.children[i]);
    }
  }
}

void TreeModelAdapter::ForgetSubtree(TreeItem item) {
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    const TreeItem current = pending.back();
    pending.pop_back();
    auto it = shape_.find(current);
    if (it == shape_.end()) continue;
    pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
    shape_.erase(it);
  }
}

void TreeModelAdapter::SyncChildren(TreeItem parent) {
  const std::vector<TreeItem>& wanted = ModelChildren(parent);
  const QModelIndex parentIndex = IndexOf(parent);
  std::vector<TreeItem>& shown = shape_[parent].children;

  // Removals first, in runs from the end, so the rows named stay those the view has.
  const std::unordered_set<TreeItem> keep(wanted.begin(), wanted.end());
  for (int last = static_cast<int>(shown.size()) - 1; last >= 0;) {
    if (keep.count(shown[last])) {
      --last;
      continue;
    }
    int first = last;
    while (first > 0 && !keep.count(shown[first - 1])) --first;
    beginRemoveRows(parentIndex, first, last);
    for (int i = first; i <= last; ++i) ForgetSubtree(shown[i]);
    shown.erase(shown.begin() + first, shown.begin() + last + 1);
    Renumber(shape_[parent]);
    endRemoveRows();
    last = first - 1;
  }

  // What is left keeps its order in the tree, so new items are runs inserted between them.
  std::size_t k = 0, j = 0;
  while (k < wanted.size()) {
    if (j < shown.size() && shown[j] == wanted[k]) {
      ++j, ++k;
      continue;
    }
    const std::size_t runStart = k;
    while (k < wanted.size() && !(j < shown.size() && shown[j] == wanted[k])) ++k;
    beginInsertRows(parentIndex, static_cast<int>(runStart), static_cast<int>(k - 1));
    shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(j),
                 wanted.begin() + static_cast<std::ptrdiff_t>(runStart),
                 wanted.begin() + static_cast<std::ptrdiff_t>(k));
    for (std::size_t i = runStart; i < k; ++i) shape_[wanted[i]] = Shape{parent, 0, {}};
    Renumber(shape_[parent]);
    endInsertRows();
    j += k - runStart;
  }

  if (!shown.empty()) {
    emit dataChanged(index(0, 0, parentIndex), index(static_cast<int>(shown.size()) - 1, 0, parentIndex));
  }
}

void TreeModelAdapter::Sync() {
  if (!tree_) return;
  std::vector<TreeItem> pending{kNoItem};
  while (!pending.empty()) {
    const TreeItem item = pending.back();
    pending.pop_back();
    if (!shape_.count(item)) continue;
    SyncChildren(item);
    const auto& children = shape_[item].children;
    pending.insert(pending.end(), children.begin(), children.end());
  }
}

TreeItem TreeModelAdapter::ItemAt(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoItem;
}

QModelIndex TreeModelAdapter::IndexOf(TreeItem item) const {
  if (item == kNoItem) return {};
  auto it = shape_.find(item);
  if (it == shape_.end()) return {};
  return createIndex(it->second.row, 0, static_cast<quintptr>(item));
}

std::vector<TreeItem> TreeModelAdapter::KnownItems() const {
  std::vector<TreeItem> items;
  std::vector<TreeItem> pending{kNoItem};
  while (!pending.empty()) {
    const TreeItem item = pending.back();
    pending.pop_back();
    if (item != kNoItem) items.push_back(item);
    auto it = shape_.find(item);
    if (it == shape_.end()) continue;
    pending.insert(pending.end(), it->second.children.rbegin(), it->second.children.rend());
  }
  return items;
}

QModelIndex TreeModelAdapter::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  auto it = shape_.find(ItemAt(parent));
  if (it == shape_.end() || row >= static_cast<int>(it->second.children.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(it->second.children[static_cast<std::size_t>(row)]));
}

QModelIndex TreeModelAdapter::parent(const QModelIndex& child) const {
  auto it = shape_.find(ItemAt(child));
  if (it == shape_.end()) return {};
  return IndexOf(it->second.parent);
}

int TreeModelAdapter::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  auto it = shape_.find(ItemAt(parent));
  return it == shape_.end() ? 0 : static_cast<int>(it->second.children.size());
}

int TreeModelAdapter::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant TreeModelAdapter::data(const QModelIndex& index, int role) const {
  const TreeItem item = ItemAt(index);
  if (!tree_ || !tree_->Valid(item)) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(tree_->Text(item));
    case Qt::DecorationRole: {
      // The selected image shows while the item is selected, as the tree control draws it.
      QIcon icon = TreeImageIcon(tree_->Image(item));
      if (tree_->SelectedImage(item) != tree_->Image(item)) {
        const QIcon selected = TreeImageIcon(tree_->SelectedImage(item));
        for (int size : {16, 32}) icon.addPixmap(selected.pixmap(size, size), QIcon::Selected);
      }
      return icon;
    }
    case Qt::CheckStateRole:
      switch (tree_->State(item)) {
        case check_state::kUnchecked:
          return Qt::Unchecked;
        case check_state::kChecked:
          return Qt::Checked;
        case check_state::kPartial:
          return Qt::PartiallyChecked;
        default:
          return {};  // state 0 shows no box
      }
    default:
      return {};
  }
}

bool TreeModelAdapter::setData(const QModelIndex& index, const QVariant&, int role) {
  const TreeItem item = ItemAt(index);
  if (role != Qt::CheckStateRole || !tree_ || !tree_->Valid(item)) return false;
  emit checkBoxClicked(item);
  return false;  // the page logic changes the state; the next Sync() shows it
}

Qt::ItemFlags TreeModelAdapter::flags(const QModelIndex& index) const {
  const TreeItem item = ItemAt(index);
  if (!tree_ || !tree_->Valid(item)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (tree_->State(item) != check_state::kNone) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

}  // namespace quarrow::gui
