#include "gui/controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace quarrow::gui {

TextProgressCtrl::TextProgressCtrl(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(true);
  setAlignment(Qt::AlignCenter);
}

void TextProgressCtrl::SetPosition(int position, const QString& text) {
  barText_ = text;
  setValue(std::clamp(position, 0, 100));
  update();
}

CustomRadio::CustomRadio(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
  setAutoExclusive(false);
}

void CustomRadio::enterEvent(QEnterEvent* event) {
  QRadioButton::enterEvent(event);
  if (isEnabled()) emit pointerOver();
}

void CustomRadio::mousePressEvent(QMouseEvent* event) {
  event->accept();  // a press is swallowed: the pointer resting on the radio is what chooses it
}

void CustomRadio::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(palette);
  QFont font = this->font();
  font.setUnderline(true);
  setFont(font);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

TreeCtrlView::TreeCtrlView(QWidget* parent) : QTreeView(parent) {
  setModel(&adapter_);
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  setExpandsOnDoubleClick(true);
  setFrameShape(QFrame::StyledPanel);
  connect(&adapter_, &TreeModelAdapter::checkBoxClicked, this, [this](TreeItem item) {
    checkBoxClick_ = true;
    emit checkBoxClicked(item);
  });
  // A click on a check box goes no further than the check box.
  connect(this, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    if (checkBoxClick_) return;
    emit itemClicked(adapter_.ItemAt(index));
  });
  // The view expands first and tells afterwards; the tree's own state, once the page logic has
  // handled the expansion, comes back through the adapter's announcements.
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (!syncing_) emit itemExpanding(adapter_.ItemAt(index), true);
  });
  connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    if (!syncing_) emit itemExpanding(adapter_.ItemAt(index), false);
  });
  connect(&adapter_, &TreeModelAdapter::itemChanged, this, &TreeCtrlView::FollowExpansion);
  connect(&adapter_, &TreeModelAdapter::selectionChanged, this, &TreeCtrlView::FollowSelection);
  connect(&adapter_, &TreeModelAdapter::treeReset, this, &TreeCtrlView::Sync);
  // A new row under an expanded item shows at once (the view keeps a collapsed parent closed).
  connect(&adapter_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent, int first, int last) {
            for (int row = first; row <= last; ++row)
              FollowExpansion(adapter_.ItemAt(adapter_.index(row, 0, parent)));
          });
}

void TreeCtrlView::SetTree(mytreectrl* tree) {
  syncing_ = true;
  adapter_.SetTree(tree);
  syncing_ = false;
  Sync();
}

void TreeCtrlView::FollowExpansion(TreeItem item) {
  const mytreectrl* tree = adapter_.Tree();
  const QModelIndex index = adapter_.IndexOf(item);
  if (!tree || !index.isValid() || !tree->Valid(item)) return;
  if (tree->Expanded(item) == isExpanded(index)) return;
  const bool was = syncing_;
  syncing_ = true;
  setExpanded(index, tree->Expanded(item));
  syncing_ = was;
}

void TreeCtrlView::FollowSelection(TreeItem item) {
  const QModelIndex index = adapter_.IndexOf(item);
  const bool was = syncing_;
  syncing_ = true;
  if (index.isValid()) {
    if (index != currentIndex()) setCurrentIndex(index);
    scrollTo(index);
  } else {
    clearSelection();
  }
  syncing_ = was;
}

void TreeCtrlView::Sync() {
  const mytreectrl* tree = adapter_.Tree();
  if (!tree) return;
  syncing_ = true;
  adapter_.Sync();
  for (TreeItem item : adapter_.KnownItems()) FollowExpansion(item);
  FollowSelection(tree->Selected());
  syncing_ = false;
}

void TreeCtrlView::keyPressEvent(QKeyEvent* event) {
  emit keyPressed(event->key());
  QTreeView::keyPressEvent(event);
}

void TreeCtrlView::mousePressEvent(QMouseEvent* event) {
  checkBoxClick_ = false;
  QTreeView::mousePressEvent(event);
}

void TreeCtrlView::contextMenuEvent(QContextMenuEvent* event) {
  emit itemRightClicked(adapter_.ItemAt(indexAt(event->pos())));
}

namespace {
QPixmap SplashPicture() {
  const QSize size(420, 220);
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, size.height());
  gradient.setColorAt(0, QColor(241, 244, 250));
  gradient.setColorAt(1, QColor(196, 210, 236));
  p.fillRect(pixmap.rect(), gradient);
  p.setPen(QColor(40, 70, 140));
  p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
  QFont title = QApplication::font();
  title.setPointSize(28);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(0, 40, size.width(), 60), Qt::AlignCenter, QStringLiteral("Quarrow"));
  QFont line = QApplication::font();
  line.setPointSize(11);
  p.setFont(line);
  p.setPen(QColor(60, 60, 80));
  p.drawText(QRect(0, 105, size.width(), 30), Qt::AlignCenter,
             QStringLiteral("Recovers folders and files from removable disks"));
  return pixmap;
}
}  // namespace

Splash::Splash() : QSplashScreen(SplashPicture()) {
  setObjectName(QStringLiteral("CSplash"));
}

}  // namespace quarrow::gui
