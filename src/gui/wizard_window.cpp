#include "gui/wizard_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

#include "app/wizard_dialog.h"
#include "gui/controls.h"
#include "gui/dialogs.h"
#include "gui/icons.h"
#include "gui/list_filter.h"
#include "gui/list_model.h"
#include "gui/preview_pane.h"
#include "gui/wizard_layout.h"

namespace quarrow::gui {

namespace id = app::id;

namespace {

// The list's column widths are given in pixels of the documents' standard dialog font, whose
// letters average 6 pixels; they grow with the font actually used.
int ScaledWidth(int width, const DialogUnits& units) {
  return width * units.BaseX() / 6;
}

QString FromStd(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

}  // namespace

WizardWindow::WizardWindow(QWidget* parent) : QDialog(parent), units_(QApplication::font()) {
  setObjectName(QStringLiteral("CChildDialogExDemoDlg"));
  setWindowTitle(QStringLiteral("Quarrow"));
  setWindowIcon(TreeImageIcon(1));
  // The dialog's own background, which the statics and radios are painted on.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(kBackground));
  setPalette(palette);
  setAutoFillBackground(true);
  setFixedSize(units_.X(kDialogWidth), units_.Y(kDialogHeight));
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
  CreateControls();
  CreateTrees();
  CreateLists();
  clock_.start();
  // An image file is a disk too, as on the command line: the way to work on a copy of a failing
  // card, or on a disk this user may not read directly.
  auto* openImage = new QPushButton(QStringLiteral("Open Disk Image..."), this);
  openImage->setObjectName(QStringLiteral("openImage"));
  openImage->setGeometry(units_.Rect(429, 293, 519, 308));
  connect(openImage, &QPushButton::clicked, this, &WizardWindow::openImageRequested);
  pageOnly_[0].append(openImage);
  searchRateText_ = new QLabel(this);
  searchRateText_->setObjectName(QStringLiteral("searchRate"));
  searchRateText_->setGeometry(units_.Rect(424, 266, 519, 287));
  searchRateText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  searchRateText_->hide();
}

WizardWindow::~WizardWindow() {
  if (qApp) qApp->removeEventFilter(this);
  // The trees belong to the page logic; they must not keep pointing at views that are gone.
  for (auto& [treeId, view] : trees_) view->SetTree(nullptr);
}

void WizardWindow::CreateControls() {
  auto* toolbar = new QFrame(this);
  toolbar->setObjectName(QStringLiteral("toolbar"));
  toolbar->setGeometry(units_.Rect(2, 1, kDialogWidth - 2, 31));
  auto* toolbarLayout = new QHBoxLayout(toolbar);
  toolbarLayout->setContentsMargins(2, 0, 2, 0);
  toolbarLayout->setSpacing(units_.X(2));

  for (const ControlSpec& spec : MainDialogControls()) {
    const QString text = QString::fromUtf8(spec.text);
    QWidget* widget = nullptr;
    switch (spec.kind) {
      case ControlKind::kToolButton: {
        auto* button = new QToolButton(toolbar);
        button->setIcon(ToolbarIcon(spec.id));
        button->setIconSize(QSize(units_.Y(12), units_.Y(12)));
        button->setToolTip(text);
        // The buttons are pictures with their tooltip as the caption under them, as short as it
        // can be said.
        QString caption = text;
        caption.replace(QStringLiteral("Search More Partitions"), QStringLiteral("More Partitions"));
        caption.replace(QStringLiteral("Stop Searching Partitions"), QStringLiteral("Stop Partitions"));
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        const int command = spec.id;
        connect(button, &QToolButton::clicked, this, [this, command] {
          Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnCommand(command); });
        });
        toolbarLayout->addWidget(button);
        widget = button;
        break;
      }
      case ControlKind::kGuidance: {
        auto* label = new QLabel(this);
        label->setWordWrap(true);
        label->setFrameShape(QFrame::StyledPanel);
        label->setMargin(units_.X(3));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, QColor(20, 40, 100));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
        widget = label;
        break;
      }
      case ControlKind::kStatic:
      case ControlKind::kLabel: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (spec.kind == ControlKind::kStatic) {
          // The coloured statics: the values the page and the search fill in.
          QPalette palette = label->palette();
          palette.setColor(QPalette::WindowText, QColor(0, 51, 153));
          label->setPalette(palette);
        }
        widget = label;
        break;
      }
      case ControlKind::kEdit:
        widget = new QLineEdit(text, this);
        break;
      case ControlKind::kGroup:
        widget = new QGroupBox(text, this);
        break;
      case ControlKind::kCombo: {
        auto* combo = new QComboBox(this);
        combo->addItems({QStringLiteral("FAT16"), QStringLiteral("FAT32"), QStringLiteral("NTFS"),
                         QStringLiteral("Other"), QStringLiteral("exFAT")});
        widget = combo;
        break;
      }
      case ControlKind::kModeRadio: {
        auto* radio = new CustomRadio(text, this);
        const int radioId = spec.id;
        connect(radio, &CustomRadio::pointerOver, this, [this, radioId] {
          Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnRadioHover(radioId); });
        });
        connect(radio, &QAbstractButton::clicked, this, [this, radioId] {
          Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnRadioClicked(radioId); });
        });
        widget = radio;
        break;
      }
      case ControlKind::kRadio:
      case ControlKind::kButton: {
        QAbstractButton* button = spec.kind == ControlKind::kRadio
                                      ? static_cast<QAbstractButton*>(new QRadioButton(text, this))
                                      : new QPushButton(text, this);
        const int command = spec.id;
        connect(button, &QAbstractButton::clicked, this, [this, command] {
          Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnCommand(command); });
        });
        widget = button;
        break;
      }
      case ControlKind::kLink: {
        auto* link = new LinkLabel(text, this);
        const int linkId = spec.id;
        connect(link, &LinkLabel::clicked, this, [this, linkId] {
          Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnLink(linkId); });
        });
        widget = link;
        break;
      }
      case ControlKind::kProgress:
        widget = new TextProgressCtrl(this);
        break;
      case ControlKind::kDetailsList:
      case ControlKind::kCheckList:
      case ControlKind::kPlainList:
        widget = MakeListView(spec.id);
        break;
    }
    if (spec.kind != ControlKind::kToolButton)
      widget->setGeometry(units_.Rect(spec.left, spec.top, spec.right, spec.bottom));
    if (spec.id) {
      widget->setObjectName(ControlName(spec.id));
      widget->setProperty("controlId", spec.id);
      controls_.insert(spec.id, widget);
    } else {
      widget->setObjectName(ControlName(spec.partner) + QStringLiteral("caption"));
    }
    if (spec.partner) partners_[spec.partner].append(widget);
    widget->setVisible(spec.visibleAtStart);
  }
  toolbarLayout->addStretch();
}

void WizardWindow::CreateTrees() {
  for (int treeId : {id::kDiskTree, id::kPartitionTree, id::kFileSystemTree, id::kResultsTree}) {
    auto* view = new TreeCtrlView(this);
    view->setObjectName(ControlName(treeId));
    view->setProperty("controlId", treeId);
    view->setGeometry(units_.X(kTreeRect.left()), units_.Y(kTreeRect.top()), units_.X(kTreeRect.width()),
                      units_.Y(kTreeRect.height()));
    view->setVisible(treeId == id::kDiskTree);
    connect(view, &TreeCtrlView::itemClicked, this, [this, treeId](TreeItem item) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) {
        listing_ = treeId == id::kResultsTree;
        wizard.OnTreeClick(treeId, item);
      });
    });
    connect(view, &TreeCtrlView::checkBoxClicked, this, [this, treeId](TreeItem item) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnTreeCheckBoxClick(treeId, item); });
    });
    connect(view, &TreeCtrlView::itemExpanding, this, [this, treeId](TreeItem item, bool expanding) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnTreeExpanding(treeId, item, expanding); });
    });
    connect(view, &TreeCtrlView::itemRightClicked, this, [this, treeId](TreeItem item) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnTreeRightClick(treeId, item); });
    });
    trees_[treeId] = view;
    controls_.insert(treeId, view);
  }
}

QTableView* WizardWindow::MakeListView(int listId) {
  auto* view = new QTableView(this);
  auto* model = new ListContentModel(view);
  if (listId == id::kDetailsList) {
    filter_ = new ListFilter(view);
    filter_->setSourceModel(model);
    view->setModel(filter_);
  } else {
    view->setModel(model);
  }
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(listId == id::kDetailsList ? QAbstractItemView::ExtendedSelection
                                                    : QAbstractItemView::SingleSelection);
  view->setShowGrid(true);
  view->verticalHeader()->hide();
  view->verticalHeader()->setDefaultSectionSize(units_.Y(10));
  view->horizontalHeader()->setHighlightSections(false);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setWordWrap(false);
  lists_[listId] = view;
  listModels_[listId] = model;
  if (listId == id::kDetailsList) {
    connect(view, &QTableView::clicked, this, [this](const QModelIndex& index) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) {
        wizard.OnListClick(SourceRow(id::kDetailsList, index));
      });
    });
    connect(view, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) {
        wizard.OnListDoubleClick(SourceRow(id::kDetailsList, index));
      });
    });
    connect(view->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnListHeaderClick(column); });
    });
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdatePreview(); });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& point) {
      const QModelIndex index = view->indexAt(point);
      if (wizard_ && index.isValid()) wizard_->OnListRightClick(SourceRow(id::kDetailsList, index));
    });
  } else if (listId == id::kFileTypeList) {
    connect(model, &ListContentModel::checkBoxClicked, this, [this](int row, bool checked) {
      Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnFileTypeChecked(row, checked); });
    });
  }
  return view;
}

int WizardWindow::SourceRow(int listId, const QModelIndex& viewIndex) const {
  if (listId == id::kDetailsList && filter_) return filter_->mapToSource(viewIndex).row();
  return viewIndex.row();
}

QModelIndex WizardWindow::ViewIndex(int listId, int row) const {
  QTableView* view = List(listId);
  if (!view) return {};
  if (listId == id::kDetailsList && filter_)
    return filter_->mapFromSource(filter_->sourceModel()->index(row, 0));
  return view->model()->index(row, 0);
}

void WizardWindow::CreateFilterBar() {
  filterBar_ = new QWidget(this);
  filterBar_->setObjectName(QStringLiteral("filterBar"));
  auto* layout = new QHBoxLayout(filterBar_);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* name = new QLineEdit(filterBar_);
  name->setObjectName(QStringLiteral("filterName"));
  name->setPlaceholderText(QStringLiteral("Name contains..."));
  name->setClearButtonEnabled(true);
  auto* deleted = new QCheckBox(QStringLiteral("Deleted only"), filterBar_);
  deleted->setObjectName(QStringLiteral("filterDeleted"));
  auto* type = new QComboBox(filterBar_);
  type->setObjectName(QStringLiteral("filterType"));
  type->setMinimumContentsLength(14);
  layout->addWidget(name, 3);
  layout->addWidget(deleted);
  layout->addWidget(type, 2);
  connect(name, &QLineEdit::textChanged, filter_, &ListFilter::SetNameContains);
  connect(deleted, &QCheckBox::toggled, filter_, &ListFilter::SetDeletedOnly);
  connect(type, &QComboBox::currentIndexChanged, this,
          [this, type](int index) { filter_->SetType(index <= 0 ? QString() : type->itemText(index)); });
  filterBar_->hide();
}

void WizardWindow::RefillTypeFilter() {
  // The types offered are those of the rows listed, in the order they first appear.
  auto* type = filterBar_->findChild<QComboBox*>(QStringLiteral("filterType"));
  const QString chosen = type->currentIndex() > 0 ? type->currentText() : QString();
  QStringList types;
  const app::ListContent& content = listModels_[id::kDetailsList]->Content();
  int column = -1;
  for (std::size_t i = 0; i < content.columns.size(); ++i) {
    if (content.columns[i].header == "Type") column = static_cast<int>(i);
  }
  for (const app::ListRow& row : content.rows) {
    if (column < 0 || static_cast<std::size_t>(column) >= row.cells.size()) continue;
    QString text = QString::fromStdString(row.cells[static_cast<std::size_t>(column)]);
    if (text == QStringLiteral("Deleted FOLDER")) text = QStringLiteral("FOLDER");
    if (!text.isEmpty() && !types.contains(text)) types << text;
  }
  if (!chosen.isEmpty() && !types.contains(chosen)) types << chosen;
  const QSignalBlocker block(type);
  type->clear();
  type->addItem(QStringLiteral("All types"));
  type->addItems(types);
  type->setCurrentIndex(chosen.isEmpty() ? 0 : type->findText(chosen));
}

void WizardWindow::SetPreviewSource(PreviewSource source) {
  previewSource_ = std::move(source);
  PlaceDetailsList();
}

void WizardWindow::UpdatePreview() {
  if (!preview_->isVisible()) return;
  const std::vector<int> rows = SelectedListRows(id::kDetailsList);
  if (rows.size() != 1) {
    preview_->Clear();
    return;
  }
  std::optional<PreviewData> data = previewSource_ ? previewSource_(rows.front()) : std::nullopt;
  if (!data) {
    preview_->Clear(QStringLiteral("No preview for this row"));
    return;
  }
  preview_->ShowFile(QString::fromStdString(data->name), data->bytes, QString::fromStdString(data->estimate));
}

void WizardWindow::CreateLists() {
  backdrop_ = new QWidget(this);
  backdrop_->setObjectName(QStringLiteral("resultsBackdrop"));
  backdrop_->setAutoFillBackground(true);
  backdrop_->hide();
  // After a save: what the page logic says it wrote, skipped and failed, and the folder the files
  // are in, opened by the desktop.
  savedBar_ = new QWidget(this);
  savedBar_->setObjectName(QStringLiteral("savedBar"));
  auto* savedLayout = new QHBoxLayout(savedBar_);
  savedLayout->setContentsMargins(0, 0, 0, 0);
  savedText_ = new QLabel(savedBar_);
  savedText_->setObjectName(QStringLiteral("savedSummary"));
  savedText_->setWordWrap(true);
  controls_.insert(id::kSaveSummary, savedText_);
  auto* openFolder = new QPushButton(QStringLiteral("Open Folder"), savedBar_);
  openFolder->setObjectName(QStringLiteral("openDestination"));
  connect(openFolder, &QPushButton::clicked, this, [this] { OpenExternal(lastDestination_); });
  savedLayout->addWidget(savedText_, 1);
  savedLayout->addWidget(openFolder);
  savedBar_->hide();
  preview_ = new PreviewPane(this);
  preview_->hide();
  CreateFilterBar();
  // The lists start with the columns the dialog gives them before any page fills them.
  SetList(id::kDetailsList, {{{"Name", 242}, {"Value", 243}}, {}});
  SetList(id::kFileTypeList, {{{"File Types", 260}}, {}});
  SetList(id::kFilesRecovered, {{{"Files Recovered", 440}}, {}});
}

void WizardWindow::Attach(app::CChildDialogExDemoDlg* wizard) {
  wizard_ = wizard;
  // Keys reach the page logic before the control that has the focus, as the dialog saw them.
  if (wizard_) {
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
  }
}

QWidget* WizardWindow::Control(int controlId) const {
  if (QWidget* widget = controls_.value(controlId)) return widget;
  const QString name = ControlName(controlId);
  if (noDevice_) {
    if (auto* widget = noDevice_->findChild<QWidget*>(name)) return widget;
  }
  for (const auto& [dialogId, dialog] : progressDialogs_) {
    if (!dialog) continue;
    if (auto* widget = dialog->findChild<QWidget*>(name)) return widget;
  }
  return nullptr;
}

TreeCtrlView* WizardWindow::Tree(int treeId) const {
  auto it = trees_.find(treeId);
  return it == trees_.end() ? nullptr : it->second;
}

QTableView* WizardWindow::List(int listId) const {
  auto it = lists_.find(listId);
  return it == lists_.end() ? nullptr : it->second;
}

void WizardWindow::FollowPage() {
  if (!wizard_) return;
  // While the folder clicked in the results tree is being listed, a small window says so.
  if (listing_ && wizard_->Page() == 3 && wizard_->Busy()) {
    if (!populate_) {
      populate_ = new QLabel(QStringLiteral("Populating List Items, Please Wait...."), this,
                             Qt::Tool | Qt::FramelessWindowHint);
      populate_->setObjectName(QStringLiteral("CPopulate"));
      populate_->setFrameShape(QFrame::Box);
      populate_->setMargin(units_.X(8));
      populate_->setAutoFillBackground(true);
    }
    populate_->adjustSize();
    populate_->move(mapToGlobal(rect().center()) - populate_->rect().center());
    populate_->show();
  } else {
    listing_ = false;
    if (populate_) populate_->hide();
  }
  const int page = wizard_->Page();
  if (page == shownPage_) return;
  shownPage_ = page;
  // The disk page's choices and the results page's folder line belong to their pages; the page
  // logic shows and hides the rest.
  for (int control : {id::kStandardSearchRadio, id::kAdvanceSearchRadio, id::kEntireDiskRadio,
                      id::kSectorRangeRadio, id::kRangeStatic, id::kRangeFromEdit, id::kRangeToEdit,
                      id::kLogFolderEdit, id::kConnectionHelpLink}) {
    Show(control, page == 0);
  }
  Show(id::kCurrentFolder, page == 3);
  for (auto it = pageOnly_.cbegin(); it != pageOnly_.cend(); ++it) {
    for (QWidget* widget : it.value()) widget->setVisible(it.key() == page);
  }
  PlaceDetailsList();
}

void WizardWindow::ShowPartners(int controlId, bool visible) {
  for (QWidget* caption : partners_.value(controlId)) caption->setVisible(visible);
}

void WizardWindow::Show(int controlId, bool visible) {
  if (QWidget* widget = Control(controlId)) widget->setVisible(visible);
  if (controlId == id::kProgress) {
    // The search's bar comes and goes with the search: its speed is measured over that time.
    if (visible && !searchRate_.Running()) {
      const std::uint64_t sectors = wizard_ && wizard_->EndSector() > wizard_->StartSector()
                                        ? wizard_->EndSector() - wizard_->StartSector() + 1
                                        : 0;
      searchRate_.Start(clock_.elapsed(), sectors * 512);
    } else if (!visible) {
      searchRate_.Stop();
    }
    searchRateText_->clear();
    searchRateText_->setVisible(visible);
  }
  ShowPartners(controlId, visible);
  if (controlId == id::kDetailsList || controlId == id::kFilesRecovered) PlaceDetailsList();
}

void WizardWindow::Enable(int controlId, bool enabled) {
  if (QWidget* widget = Control(controlId)) widget->setEnabled(enabled);
  for (QWidget* caption : partners_.value(controlId)) caption->setEnabled(enabled);
}

void WizardWindow::SetText(int controlId, std::string_view text) {
  QWidget* widget = Control(controlId);
  const QString value = FromStd(text);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(value);
  } else if (auto* progress = qobject_cast<TextProgressCtrl*>(widget)) {
    progress->SetPosition(progress->value(), value);
  }
}

std::string WizardWindow::Text(int controlId) const {
  QWidget* widget = Control(controlId);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
  if (auto* progress = qobject_cast<TextProgressCtrl*>(widget)) return progress->BarText().toStdString();
  return {};
}

void WizardWindow::SetChecked(int controlId, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control(controlId))) {
    // Radios of one group would otherwise refuse to be unchecked one by one.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
  }
}

bool WizardWindow::Checked(int controlId) const {
  auto* button = qobject_cast<QAbstractButton*>(Control(controlId));
  return button && button->isChecked();
}

void WizardWindow::SetComboIndex(int controlId, int index) {
  if (auto* combo = qobject_cast<QComboBox*>(Control(controlId))) combo->setCurrentIndex(index);
}

int WizardWindow::ComboIndex(int controlId) const {
  auto* combo = qobject_cast<QComboBox*>(Control(controlId));
  return combo ? combo->currentIndex() : -1;
}

void WizardWindow::SetProgress(int controlId, int position, std::string_view barText) {
  if (auto* progress = qobject_cast<TextProgressCtrl*>(Control(controlId)))
    progress->SetPosition(position, FromStd(barText));
  if (controlId == id::kProgress) {
    searchRate_.Update(position, clock_.elapsed());
    searchRateText_->setText(searchRate_.Text());
  } else if (controlId == id::kSavingTotalProgress) {
    if (!saveRate_.Running()) saveRate_.Start(clock_.elapsed(), 0);
    saveRate_.Update(position, clock_.elapsed());
    auto it = progressDialogs_.find(static_cast<int>(app::DialogId::kSaving));
    if (it != progressDialogs_.end() && it->second) {
      if (auto* text = it->second->findChild<QLabel*>(QStringLiteral("savingRate")))
        text->setText(saveRate_.Text());
    }
  }
}

void WizardWindow::SetFocus(int controlId) {
  if (QWidget* widget = Control(controlId)) widget->setFocus(Qt::OtherFocusReason);
}

void WizardWindow::SetGuidance(std::string_view text) {
  SetText(id::kGuidance, text);
}

void WizardWindow::SetTree(int treeId, mytreectrl* model) {
  if (TreeCtrlView* view = Tree(treeId)) view->SetTree(model);
}

void WizardWindow::PlaceDetailsList() {
  // A folder's files take the whole right side; the summary rows leave room for the page's
  // controls below them. Below a folder's files: what a save wrote, or the preview.
  QTableView* view = List(id::kDetailsList);
  QTableView* recovered = List(id::kFilesRecovered);
  const bool files = listModels_[id::kDetailsList]->Content().columns.size() > 2;
  // What a save wrote belongs to the results it was saved from.
  if (!files) recovered->hide();
  const bool saved = files && !recovered->isHidden();
  const bool preview = files && previewSource_ && !saved;
  view->setGeometry(!files             ? units_.Rect(222, 78, 519, 205)
                    : preview || saved ? units_.Rect(222, 93, 519, 226)
                                       : units_.Rect(222, 93, 519, 310));
  preview_->setGeometry(units_.Rect(222, 229, 519, 310));
  preview_->setVisible(preview && view->isVisible());
  if (preview) {
    preview_->raise();
    UpdatePreview();
  }
  // The summary gets two lines: the folder's path and the counts rarely fit in one.
  recovered->setGeometry(units_.Rect(222, 229, 519, 288));
  savedBar_->setGeometry(units_.Rect(222, 290, 519, 311));
  savedBar_->setVisible(saved);
  if (saved) {
    recovered->raise();
    savedBar_->raise();
  }
  // The filter box belongs to a folder's files; the summary rows have nothing to filter.
  filterBar_->setGeometry(units_.Rect(222, 78, 519, 91));
  filterBar_->setVisible(files && view->isVisible());
  // A folder's files, and what goes with them, cover the search's texts below the summary.
  backdrop_->setGeometry(units_.Rect(222, 78, 519, 311));
  backdrop_->setVisible(files && view->isVisible());
  if (files) {
    backdrop_->raise();
    view->raise();
    filterBar_->raise();
    if (preview) preview_->raise();
    if (saved) {
      recovered->raise();
      savedBar_->raise();
    }
  }
  if (files) RefillTypeFilter();
}

void WizardWindow::SetList(int listId, const app::ListContent& content) {
  auto it = listModels_.find(listId);
  if (it == listModels_.end()) return;
  QTableView* view = lists_[listId];
  const bool sameColumns = [&] {
    const auto& before = it->second->Content().columns;
    if (before.size() != content.columns.size()) return false;
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (before[i].header != content.columns[i].header) return false;
    }
    return true;
  }();
  it->second->SetContent(content);
  if (listId == id::kDetailsList || listId == id::kFilesRecovered) PlaceDetailsList();
  if (!sameColumns) {
    // The widths are those of the documents' font; they grow with the font used, as far as the
    // list is wide. A list of two columns shares its width between them.
    int total = 0;
    for (const app::ListColumn& column : content.columns) total += column.width;
    const int room = view->viewport()->width() > 50
                         ? view->width() - 4 - view->verticalScrollBar()->sizeHint().width()
                         : view->width();
    for (std::size_t i = 0; i < content.columns.size(); ++i) {
      const int column = static_cast<int>(i);
      const int width = content.columns[i].width;
      view->setColumnHidden(column, width == 0);
      if (width == 0) continue;
      int scaled = ScaledWidth(width, units_);
      if (total > 0 && ScaledWidth(total, units_) > room) scaled = width * room / total;
      view->setColumnWidth(column, scaled);
    }
    view->horizontalHeader()->setStretchLastSection(content.columns.size() <= 2);
  }
  // Sizes, dates and times are short and must show whole: those columns fit what they hold.
  for (std::size_t i = 1; content.columns.size() > 2 && i < content.columns.size(); ++i) {
    const std::string& header = content.columns[i].header;
    if (header == "Size" || header == "Date" || header == "Time") {
      const int column = static_cast<int>(i);
      const int given = view->columnWidth(column);
      view->resizeColumnToContents(column);
      if (view->columnWidth(column) < given) view->setColumnWidth(column, given);
    }
  }
}

void WizardWindow::SetListSelection(int listId, int row) {
  QTableView* view = List(listId);
  if (!view) return;
  if (row < 0) {
    view->clearSelection();
    return;
  }
  const QModelIndex index = ViewIndex(listId, row);
  if (!index.isValid()) {
    view->clearSelection();  // the row is filtered out
    return;
  }
  view->selectionModel()->setCurrentIndex(index,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view->scrollTo(index);
}

std::vector<int> WizardWindow::SelectedListRows(int listId) const {
  std::vector<int> rows;
  QTableView* view = List(listId);
  if (!view) return rows;
  for (const QModelIndex& index : view->selectionModel()->selectedRows())
    rows.push_back(SourceRow(listId, index));
  std::sort(rows.begin(), rows.end());
  return rows;
}

app::MessageAnswer WizardWindow::Message(const app::MessageSpec& spec) {
  if (answerer_) return answerer_->Message(spec);
  QMessageBox box(this);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setWindowTitle(FromStd(spec.title));
  box.setText(FromStd(spec.text));
  switch (spec.icon) {
    case MessageIcon::kError:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case MessageIcon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::kNone:
      break;
  }
  if (spec.buttons == app::MessageButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(spec.defaultAnswer == app::MessageAnswer::kYes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? app::MessageAnswer::kYes : app::MessageAnswer::kNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return app::MessageAnswer::kOk;
}

int WizardWindow::ShowDialog(const app::InfoDialogContent& content) {
  if (answerer_) return answerer_->Dialog(content);
  QDialog* dialog = MakeInfoDialog(
      content,
      [this](int linkId) { Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnLink(linkId); }); },
      this);
  const int result = dialog->exec();
  delete dialog;
  return result;
}

void WizardWindow::OpenNoDeviceDialog(const app::InfoDialogContent& content) {
  CloseNoDeviceDialog();
  QDialog* dialog = MakeInfoDialog(
      content,
      [this](int linkId) { Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnLink(linkId); }); },
      this,
      [this](int buttonId) {
        if (!wizard_) return;
        if (buttonId == id::kNoDeviceRetry) {
          wizard_->OnNoDeviceRetry();
        } else {
          wizard_->OnNoDeviceExit();
        }
      });
  dialog->setModal(false);
  // Closing its window is its Exit.
  connect(dialog, &QDialog::rejected, this,
          [this] { Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnNoDeviceExit(); }); });
  noDevice_ = dialog;
  dialog->show();
}

void WizardWindow::CloseNoDeviceDialog() {
  if (!noDevice_) return;
  QDialog* dialog = noDevice_;
  noDevice_ = nullptr;
  dialog->disconnect(this);
  dialog->hide();
  dialog->deleteLater();
}

std::optional<std::string> WizardWindow::AskFilePath(const app::FileDialogSpec& spec) {
  if (answerer_) return answerer_->FilePath(spec);
  return AskFilePathDialog(spec, this);
}

std::optional<std::string> WizardWindow::AskDestination(std::string_view initial) {
  std::optional<std::string> chosen =
      answerer_ ? answerer_->Destination(initial) : AskDestinationDialog(initial, this);
  if (chosen) lastDestination_ = *chosen;
  return chosen;
}

app::ReplaceReply WizardWindow::AskReplace(std::string_view existing) {
  if (answerer_) return answerer_->Replace(existing);
  return AskReplaceDialog(existing, this);
}

void WizardWindow::OpenProgressDialog(app::DialogId which) {
  CloseProgressDialog(which);
  QDialog* dialog = MakeProgressDialog(
      which,
      [this](int command) {
        Dispatch([&](app::CChildDialogExDemoDlg& wizard) { wizard.OnCommand(command); });
      },
      this);
  dialog->setModal(false);
  progressDialogs_[static_cast<int>(which)] = dialog;
  dialog->show();
}

void WizardWindow::CloseProgressDialog(app::DialogId which) {
  auto it = progressDialogs_.find(static_cast<int>(which));
  if (it == progressDialogs_.end()) return;
  if (QDialog* dialog = it->second) {
    emit progressDialogClosing(static_cast<int>(which), dialog);
    dialog->hide();
    dialog->deleteLater();
  }
  progressDialogs_.erase(it);
}

int WizardWindow::PopupMenu(int menuId) {
  if (answerer_) return answerer_->Menu(menuId);
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("menu%1").arg(menuId));
  std::map<QAction*, int> commands;
  if (menuId == id::kListMenu) {
    commands[menu.addAction(QStringLiteral("Open"))] = id::kMenuOpen;
    menu.addSeparator();
    QAction* save = menu.addAction(QStringLiteral("Save"));
    commands[save] = id::kMenuSave;
    menu.setDefaultAction(save);
    commands[menu.addAction(QStringLiteral("Save All"))] = id::kMenuSaveAll;
  } else {
    commands[menu.addAction(QStringLiteral("Save"))] = id::kMenuTreeSave;
  }
  QAction* chosen = menu.exec(QCursor::pos());
  auto it = commands.find(chosen);
  return it == commands.end() ? 0 : it->second;
}

void WizardWindow::OpenExternal(std::string_view address) {
  if (address.empty()) return;
  if (answerer_) {
    answerer_->OpenExternal(address);
    return;
  }
  const QString text = FromStd(address);
  const QUrl url =
      QFileInfo::exists(text) ? QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath()) : QUrl(text);
  QDesktopServices::openUrl(url);
}

void WizardWindow::EndWizard(int exitCode) {
  ended_ = true;
  exitCode_ = exitCode;
  CloseNoDeviceDialog();
  hide();
  emit wizardEnded(exitCode);
}

void WizardWindow::Post(std::function<void()> call) {
  // Queued onto the window's thread; dropped when the window is gone.
  QMetaObject::invokeMethod(
      this,
      [this, call = std::move(call)] {
        call();
        FollowPage();
      },
      Qt::QueuedConnection);
}

void WizardWindow::closeEvent(QCloseEvent* event) {
  if (ended_ || !wizard_) {
    event->accept();
    return;
  }
  // The title bar's close button and Alt+F4 are the system menu's Close: the page logic asks,
  // stops its work and ends the wizard itself.
  event->ignore();
  wizard_->OnSystemMenuExit();
}

void WizardWindow::reject() {
  // Escape never closes the wizard; the page logic has seen the key already.
}

bool WizardWindow::eventFilter(QObject* watched, QEvent* event) {
  if (!wizard_ || !watched->isWidgetType()) return QDialog::eventFilter(watched, event);
  auto* widget = static_cast<QWidget*>(watched);
  if (event->type() == QEvent::FocusIn) {
    for (const auto& [treeId, view] : trees_) {
      if (widget == view) wizard_->OnFocus(treeId);
    }
    if (widget == List(id::kDetailsList)) wizard_->OnFocus(id::kDetailsList);
    return false;
  }
  // A key travels up from the focused control to its parents; the page logic sees it once.
  if (event->type() != QEvent::KeyPress || widget->window() != this)
    return QDialog::eventFilter(watched, event);
  if (widget != (QApplication::focusWidget() ? QApplication::focusWidget() : this)) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  std::optional<app::WizardKey> wizardKey;
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      wizardKey = app::WizardKey::kEnter;
      break;
    case Qt::Key_Space:
      wizardKey = app::WizardKey::kSpace;
      break;
    case Qt::Key_Escape:
      wizardKey = app::WizardKey::kEscape;
      break;
    case Qt::Key_Tab:
      wizardKey = app::WizardKey::kTab;
      break;
    case Qt::Key_F1:
      wizardKey = app::WizardKey::kF1;
      break;
    case Qt::Key_F6:
      wizardKey = app::WizardKey::kF6;
      break;
    case Qt::Key_F7:
      wizardKey = app::WizardKey::kF7;
      break;
    case Qt::Key_Left:
      wizardKey = app::WizardKey::kLeft;
      break;
    case Qt::Key_Right:
      wizardKey = app::WizardKey::kRight;
      break;
    case Qt::Key_Up:
      wizardKey = app::WizardKey::kUp;
      break;
    case Qt::Key_Down:
      wizardKey = app::WizardKey::kDown;
      break;
    default:
      break;
  }
  if (!wizardKey) return false;
  // Typing in an edit keeps its own keys (spaces in a folder name, moving the cursor).
  if (qobject_cast<QLineEdit*>(widget) &&
      (key == Qt::Key_Space || key == Qt::Key_Left || key == Qt::Key_Right)) {
    return false;
  }
  // Up and Down in the results tree list the next folder, as a click does.
  if (key == Qt::Key_Up || key == Qt::Key_Down) listing_ = widget == Tree(id::kResultsTree);
  const bool swallowed = wizard_->OnKey(*wizardKey);
  FollowPage();
  return swallowed;
}

}  // namespace quarrow::gui
