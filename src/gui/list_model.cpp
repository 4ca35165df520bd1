#include "gui/list_model.h"

#include <QBrush>
#include <QColor>

#include "gui/icons.h"

namespace quarrow::gui {

ListContentModel::ListContentModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListContentModel::SetContent(const app::ListContent& content) {
  beginResetModel();
  content_ = content;
  endResetModel();
}

int ListContentModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(content_.rows.size());
}

int ListContentModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(content_.columns.size());
}

QVariant ListContentModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const app::ListRow& row = content_.rows[static_cast<std::size_t>(index.row())];
  const std::size_t column = static_cast<std::size_t>(index.column());
  const QString cell = column < row.cells.size() ? QString::fromStdString(row.cells[column]) : QString();
  switch (role) {
    case Qt::DisplayRole:
      return cell;
    case Qt::ToolTipRole:
      return cell.isEmpty() ? QVariant() : QVariant(cell);
    case Qt::DecorationRole:
      if (column != 0 || row.image < 0) return {};
      return row.image == 0 ? FolderIcon(row.deleted) : FileIcon(cell);
    case Qt::ForegroundRole:
      // Deleted entries stand out from the live ones.
      if (row.deleted) return QBrush(QColor(170, 30, 30));
      return {};
    case Qt::CheckStateRole:
      if (column != 0 || row.check < 0) return {};
      return row.check ? Qt::Checked : Qt::Unchecked;
    case kDeletedRole:
      return row.deleted;
    case Qt::TextAlignmentRole:
      // Sizes line up by their last digit.
      if (content_.columns[column].header == "Size") return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

bool ListContentModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount()) return false;
  emit checkBoxClicked(index.row(), value.toInt() == Qt::Checked);
  return false;  // the page logic sets the list again with the new state
}

Qt::ItemFlags ListContentModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= rowCount()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0 && content_.rows[static_cast<std::size_t>(index.row())].check >= 0) {
    flags |= Qt::ItemIsUserCheckable;
  }
  return flags;
}

QVariant ListContentModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
    return {};
  return QString::fromStdString(content_.columns[static_cast<std::size_t>(section)].header);
}

}  // namespace quarrow::gui
