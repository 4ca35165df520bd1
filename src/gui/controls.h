#pragma once
// The wizard's own controls: a progress bar that shows a text (CTextProgressCtrl), the custom mode
// radio that is chosen by moving the pointer over it (CCustomRadio), a tree view over a
// mytreectrl that reports clicks, check-box clicks, expansions and keys, a blue hyperlink static,
// and the splash window (CSplash).

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QSplashScreen>
#include <QTreeView>

#include "gui/tree_model_adapter.h"
#include "results/tree_model.h"

namespace quarrow::gui {

inline constexpr QRgb kBackground = qRgb(241, 244, 250);

// A progress bar whose text is set by the caller ("Completed ", "Searching Partition..."), not a
// percentage.
class TextProgressCtrl : public QProgressBar {
  Q_OBJECT
 public:
  explicit TextProgressCtrl(QWidget* parent = nullptr);
  void SetPosition(int position, const QString& text);
  QString BarText() const { return barText_; }
  // The bar shows the caller's text as it is (a "%" in it is not a place holder).
  QString text() const override { return barText_; }

 private:
  QString barText_;
};

// A mode radio: the pointer resting on it chooses it; a mouse press does nothing; the keyboard
// (Space) clicks it as a normal button does. Which radio ends up checked is for the page logic.
class CustomRadio : public QRadioButton {
  Q_OBJECT
 public:
  explicit CustomRadio(const QString& text, QWidget* parent = nullptr);
 signals:
  void pointerOver();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A blue, underlined static that opens something when clicked.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The view of one mytreectrl. The adapter follows the tree; expansions and clicks are reported,
// never acted on here.
class TreeCtrlView : public QTreeView {
  Q_OBJECT
 public:
  explicit TreeCtrlView(QWidget* parent = nullptr);
  TreeModelAdapter& Adapter() { return adapter_; }
  // Shows a tree (or none) and follows it.
  void SetTree(mytreectrl* tree);
  // Reads the tree again: structure, texts, images, check boxes, expansion and selection.
  void Sync();

 signals:
  void itemClicked(quarrow::TreeItem item);
  void checkBoxClicked(quarrow::TreeItem item);
  void itemExpanding(quarrow::TreeItem item, bool expanding);
  void keyPressed(int key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 signals:
  void itemRightClicked(quarrow::TreeItem item);

 private:
  void FollowExpansion(TreeItem item);
  void FollowSelection(TreeItem item);

  TreeModelAdapter adapter_;
  bool syncing_ = false;
  bool checkBoxClick_ = false;  // the current mouse click toggled a check box
};

// The splash shown while the wizard starts.
class Splash : public QSplashScreen {
  Q_OBJECT
 public:
  Splash();
};

}  // namespace quarrow::gui
