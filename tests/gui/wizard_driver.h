#pragma once
// Drives the real wizard window as a user does: finds widgets by their object names, clicks,
// hovers, waits for the page logic's work to end. Questions are answered by a ScriptedAnswerer
// through the Surface, so no test presses a button on a timer.

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/wizard_dialog.h"
#include "gui/controls.h"
#include "gui/dialogs.h"
#include "gui/wizard_app.h"
#include "gui/wizard_window.h"

namespace quarrow::testing {

class ScriptedAnswerer : public gui::Answerer {
 public:
  app::MessageAnswer Message(const app::MessageSpec& spec) override {
    messages.push_back(spec);
    if (onQuestion) onQuestion(spec);
    if (!answers.empty()) {
      const app::MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return spec.buttons == app::MessageButtons::kYesNo ? app::MessageAnswer::kYes : app::MessageAnswer::kOk;
  }
  int Dialog(const app::InfoDialogContent& content) override {
    dialogs.push_back(content);
    return content.buttons.empty() ? 0 : content.buttons.front().id;
  }
  std::optional<std::string> FilePath(const app::FileDialogSpec& spec) override {
    fileDialogs.push_back(spec);
    return filePath;
  }
  std::optional<std::string> Destination(std::string_view) override { return destination; }
  app::ReplaceReply Replace(std::string_view existing) override {
    replaced.emplace_back(existing);
    return replace;
  }
  int Menu(int menuId) override {
    menus.push_back(menuId);
    return menuChoice;
  }
  void OpenExternal(std::string_view address) override { opened.emplace_back(address); }

  // What was asked, in order.
  std::vector<app::MessageSpec> messages;
  std::vector<app::InfoDialogContent> dialogs;
  std::vector<app::FileDialogSpec> fileDialogs;
  std::vector<std::string> replaced, opened;
  std::vector<int> menus;
  // The answers to give: message boxes in order (then Yes to a question, OK to the rest), the
  // scan log's path, the destination of a save, the reply to a file already there, a menu command.
  std::deque<app::MessageAnswer> answers;
  std::optional<std::string> filePath, destination;
  app::ReplaceReply replace{app::ReplaceButton::kOverwrite, true};
  int menuChoice = 0;
  std::function<void(const app::MessageSpec&)> onQuestion;
};

class WizardDriver {
 public:
  explicit WizardDriver(std::vector<std::string> images, std::string tempFolder = "/tmp") {
    app::WizardOptions options;
    options.images = std::move(images);
    options.sysfsRoot = "";  // the disk images only: the machine's own disks are not the tests'
    options.tempFolder = std::move(tempFolder);
    window.SetAnswerer(&answers);
    host = std::make_unique<gui::WizardHost>(window, std::move(options));
    window.show();
  }
  ~WizardDriver() { Close(); }

  app::CChildDialogExDemoDlg& Wizard() { return host->Wizard(); }
  // Ends the page logic (stopping and waiting for its work) before the window goes.
  void Close() {
    if (host) host->Close();
  }

  // A widget of the window or of one of its open dialogs, by its object name.
  QWidget* Widget(int controlId) const {
    const QString name = gui::ControlName(controlId);
    if (auto* widget = window.findChild<QWidget*>(name)) return widget;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->objectName() == name) return top;
      if (auto* widget = top->findChild<QWidget*>(name)) return widget;
    }
    return nullptr;
  }
  bool Usable(int controlId) const {
    QWidget* widget = Widget(controlId);
    return widget && widget->isVisible() && widget->isEnabled();
  }

  // A click in the middle of a visible, enabled control; false when it cannot be clicked.
  bool Click(int controlId) {
    QWidget* widget = Widget(controlId);
    if (!widget || !widget->isVisible() || !widget->isEnabled()) return false;
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    return true;
  }
  // The pointer moved onto a control (the mode radios choose themselves so).
  bool Hover(int controlId) {
    QWidget* widget = Widget(controlId);
    if (!widget || !widget->isVisible()) return false;
    QTest::mouseMove(widget, widget->rect().center());
    QEnterEvent enter(widget->rect().center(), widget->mapTo(&window, widget->rect().center()),
                      widget->mapToGlobal(widget->rect().center()));
    QApplication::sendEvent(widget, &enter);
    return true;
  }

  gui::TreeCtrlView* TreeView(int treeId) const { return qobject_cast<gui::TreeCtrlView*>(Widget(treeId)); }
  // The first item of a tree (display order) whose text starts with prefix; kNoItem when none.
  TreeItem FindItem(int treeId, const QString& prefix) const {
    gui::TreeCtrlView* view = TreeView(treeId);
    if (!view) return kNoItem;
    for (TreeItem item : view->Adapter().KnownItems()) {
      if (view->Adapter().IndexOf(item).data().toString().startsWith(prefix)) return item;
    }
    return kNoItem;
  }
  // A click on an item's label (or its check box), as the mouse makes it.
  bool ClickItem(int treeId, TreeItem item, bool onCheckBox = false) {
    gui::TreeCtrlView* view = TreeView(treeId);
    if (!view || !view->isVisible()) return false;
    const QModelIndex index = view->Adapter().IndexOf(item);
    if (!index.isValid()) return false;
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    if (rect.isEmpty()) return false;
    QPoint point = rect.center();
    if (onCheckBox) {
      QStyleOptionViewItem option;
      option.initFrom(view);
      option.rect = rect;
      option.features |= QStyleOptionViewItem::HasCheckIndicator;
      point = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view).center();
    } else {
      point.setX(std::min(rect.right() - 2, rect.left() + rect.width() / 2));
    }
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    return true;
  }
  // The tree as the view shows it: one line per item, indented by depth, with its check state.
  QString TreePicture(int treeId) const {
    gui::TreeCtrlView* view = TreeView(treeId);
    return view ? Picture(view->model(), {}, 0) : QString();
  }
  // The texts of a list's view, row by row (filtered rows excluded), the given column.
  QStringList ListColumn(int listId, int column = 0) const {
    QStringList texts;
    auto* view = qobject_cast<QTableView*>(Widget(listId));
    if (!view) return texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
      texts << view->model()->index(row, column).data().toString();
    return texts;
  }
  int ListColumnNamed(int listId, const QString& header) const {
    auto* view = qobject_cast<QTableView*>(Widget(listId));
    for (int column = 0; view && column < view->model()->columnCount(); ++column) {
      if (view->model()->headerData(column, Qt::Horizontal).toString() == header) return column;
    }
    return -1;
  }
  bool ClickListRow(int listId, int viewRow, bool twice = false) {
    auto* view = qobject_cast<QTableView*>(Widget(listId));
    if (!view || viewRow >= view->model()->rowCount()) return false;
    const QModelIndex index = view->model()->index(viewRow, 0);
    view->scrollTo(index);
    const QPoint point = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    if (twice) QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
    return true;
  }

  // Waits, handling events, until the page logic has no work running (or the deadline passes).
  bool WaitIdle(int milliseconds = 60000) {
    return QTest::qWaitFor([this] { return !Wizard().Busy(); }, milliseconds);
  }
  bool WaitFor(const std::function<bool()>& condition, int milliseconds = 60000) {
    return QTest::qWaitFor(condition, milliseconds);
  }

  gui::WizardWindow window;
  ScriptedAnswerer answers;
  std::unique_ptr<gui::WizardHost> host;

 private:
  static QString Picture(const QAbstractItemModel* model, const QModelIndex& parent, int depth) {
    QString out;
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex index = model->index(row, 0, parent);
      const QVariant check = index.data(Qt::CheckStateRole);
      out += QString(depth * 2, QLatin1Char(' ')) + index.data().toString() +
             (check.isValid() ? QStringLiteral(" [%1]").arg(check.toInt()) : QString()) + QLatin1Char('\n');
      out += Picture(model, index, depth + 1);
    }
    return out;
  }
};

}  // namespace quarrow::testing
