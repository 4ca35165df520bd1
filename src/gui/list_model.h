#pragma once
// A Qt table model over the content of a list as the page logic gives it (ListContent): the
// summary rows of the first pages, a folder's sub-folders and files on the results page (with a
// folder or file icon per row), the file types with their check boxes. A list is always replaced
// whole; a click on a check box is reported for the page logic to decide.

#include <QAbstractTableModel>

#include "app/surface.h"

namespace quarrow::gui {

class ListContentModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ListContentModel(QObject* parent = nullptr);

  void SetContent(const app::ListContent& content);
  const app::ListContent& Content() const { return content_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The role that gives a row's whole entry to a filter: the name, the deleted mark, the type.
  static constexpr int kDeletedRole = Qt::UserRole + 1;

 signals:
  void checkBoxClicked(int row, bool checked);

 private:
  app::ListContent content_;
};

}  // namespace quarrow::gui
