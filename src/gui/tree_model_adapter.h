#pragma once
// A Qt item model over a mytreectrl. The adapter keeps its own copy of the tree's shape (each
// item's children in order, as the view last saw them) and Sync() brings that copy up to date:
// items added to the tree become row insertions, items removed become row removals, and texts,
// images and check boxes are re-read. A tree that grows while a search runs therefore stays
// consistent in the view, whatever the order of the changes since the last Sync().
//
// The adapter never changes the tree: a click on a check box is reported (checkBoxClicked) for
// the page logic to decide what it does.

#include <QAbstractItemModel>
#include <unordered_map>
#include <vector>

#include "results/tree_model.h"

namespace quarrow::gui {

class TreeModelAdapter : public QAbstractItemModel {
  Q_OBJECT

 public:
  explicit TreeModelAdapter(QObject* parent = nullptr);

  // Shows another tree (or none); the view is reset.
  void SetTree(const mytreectrl* tree);
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

 signals:
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
  void Renumber(Shape& shape);
  void SyncChildren(TreeItem parent);

  const mytreectrl* tree_ = nullptr;
  std::unordered_map<TreeItem, Shape> shape_;  // kNoItem: the invisible root above the top level
};

}  // namespace quarrow::gui
