#pragma once
// The filter box above the file list: rows whose name contains a text, deleted entries only, one
// type of file. It filters the rows already listed; nothing is read again. Clicks on a filtered
// list are mapped back to the rows the page logic gave.

#include <QSortFilterProxyModel>
#include <QString>

namespace quarrow::gui {

class ListFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit ListFilter(QObject* parent = nullptr);

  void SetNameContains(const QString& text);
  void SetDeletedOnly(bool deletedOnly);
  // A type as the list's "Type" column shows it ("Image File"); empty for every type.
  void SetType(const QString& type);
  bool Active() const { return !name_.isEmpty() || deletedOnly_ || !type_.isEmpty(); }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  int TypeColumn() const;

  QString name_;
  bool deletedOnly_ = false;
  QString type_;
};

}  // namespace quarrow::gui
