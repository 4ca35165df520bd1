#include "gui/list_filter.h"

#include "gui/list_model.h"

namespace quarrow::gui {

ListFilter::ListFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void ListFilter::SetNameContains(const QString& text) {
  name_ = text;
  invalidateRowsFilter();
}

void ListFilter::SetDeletedOnly(bool deletedOnly) {
  deletedOnly_ = deletedOnly;
  invalidateRowsFilter();
}

void ListFilter::SetType(const QString& type) {
  type_ = type;
  invalidateRowsFilter();
}

int ListFilter::TypeColumn() const {
  const QAbstractItemModel* model = sourceModel();
  for (int column = 0; model && column < model->columnCount(); ++column) {
    if (model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() == QStringLiteral("Type"))
      return column;
  }
  return -1;
}

bool ListFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  const QAbstractItemModel* model = sourceModel();
  if (!model) return true;
  const QModelIndex name = model->index(sourceRow, 0, sourceParent);
  if (!name_.isEmpty() && !name.data().toString().contains(name_, Qt::CaseInsensitive)) return false;
  if (deletedOnly_ && !name.data(ListContentModel::kDeletedRole).toBool()) return false;
  if (!type_.isEmpty()) {
    const int column = TypeColumn();
    if (column < 0) return false;
    // A deleted folder is still a folder.
    QString type = model->index(sourceRow, column, sourceParent).data().toString();
    if (type == QStringLiteral("Deleted FOLDER")) type = QStringLiteral("FOLDER");
    if (type != type_) return false;
  }
  return true;
}

}  // namespace quarrow::gui
