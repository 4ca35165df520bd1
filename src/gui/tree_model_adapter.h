#pragma once
// A Qt item model over a mytreectrl. The adapter is the tree's observer: each item inserted,
// removed or changed is announced and becomes a row insertion, removal or data change, so a tree
// that grows while a search runs stays consistent in the view. The adapter keeps its own copy of
// the tree's shape (each item's children in order, as the view saw them last), which gives a row
// and a parent to every index in constant time; Sync() brings that copy up to date by comparing
// it with the tree, for changes made while no one observed.
//
// The adapter never changes the tree: a click on a check box is reported (checkBoxClicked) for
// the page logic to decide what it does.

#include <QAbstractItemModel>
#include <unordered_map>
#include <vector>

#include "results/tree_model.h"

namespace quarrow::gui {

class TreeModelAdapter : public QAbstractItemModel, public TreeObserver {
  Q_OBJECT

 public:
  explicit TreeModelAdapter(QObject* parent = nullptr);
  ~TreeModelAdapter() override;

  // Shows another tree (or none) and observes it, leaving the tree it showed before; the view is
  // reset.
  void SetTree(mytreectrl* tree);
  const mytreectrl* Tree() const { return tree_; }

  // Follows the tree's insertions, removals and changes since the last call.
  void Sync();

  TreeItem ItemAt(const QModelIndex& index) const;
  QModelIndex IndexOf(TreeItem item) const;
  // Every item the view knows, parents before children.
  std::vector<TreeItem> KnownItems() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // TreeObserver.
  void ItemInserted(TreeItem parent, TreeItem item, std::size_t row) override;
  void ItemRemoving(TreeItem parent, TreeItem item, std::size_t row) override;
  void ItemChanged(TreeItem item) override;
  void SelectionChanged(TreeItem item) override;
  void Reset() override;

 signals:
  // The tree says an item's expanded state may have changed, or the selection moved.
  void itemChanged(quarrow::TreeItem item);
  void selectionChanged(quarrow::TreeItem item);
  void treeReset();

  // A click on an item's check box (its state image).
  void checkBoxClicked(quarrow::TreeItem item);

 private:
  struct Shape {
    TreeItem parent = kNoItem;
    int row = 0;
    std::vector<TreeItem> children;
  };
  const std::vector<TreeItem>& ModelChildren(TreeItem parent) const;
  void Rebuild();
  void ForgetSubtree(TreeItem item);
  void Renumber(Shape& shape, std::size_t from = 0);
  void SyncChildren(TreeItem parent);

  mytreectrl* tree_ = nullptr;
  std::unordered_map<TreeItem, Shape> shape_;  // kNoItem: the invisible root above the top level
};

}  // namespace quarrow::gui
