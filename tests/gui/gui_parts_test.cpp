// The Qt layer's parts without the page logic: the tree adapter following a mytreectrl through
// its announcements (checked by Qt's own model tester), the list model, the display check, dialog
// units, the scan log's filter and the text progress bar.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "gui/controls.h"
#include "gui/dialog_units.h"
#include "gui/dialogs.h"
#include "gui/display.h"
#include "gui/list_filter.h"
#include "gui/list_model.h"
#include "gui/preview_pane.h"
#include "gui/rate_meter.h"
#include "gui/tree_model_adapter.h"

using namespace quarrow;
using quarrow::gui::TreeModelAdapter;

class GuiPartsTest : public QObject {
  Q_OBJECT

 private:
  // The view's picture of the tree, written as text: every item with its depth, text and check
  // state, in display order, read only through the Qt model interface.
  static QString Picture(const QAbstractItemModel& model, const QModelIndex& parent = {}, int depth = 0) {
    QString out;
    for (int row = 0; row < model.rowCount(parent); ++row) {
      const QModelIndex index = model.index(row, 0, parent);
      if (model.parent(index) != parent) out += QStringLiteral("!parent!");
      out += QString(depth, QLatin1Char(' ')) + index.data().toString() + QLatin1Char('/') +
             QString::number(index.data(Qt::CheckStateRole).isValid() ? index.data(Qt::CheckStateRole).toInt()
                                                                      : -1) +
             QLatin1Char('\n');
      out += Picture(model, index, depth + 1);
    }
    return out;
  }
  // The same picture read from the tree itself.
  static QString Expected(const mytreectrl& tree, const std::vector<TreeItem>& items, int depth = 0) {
    static const std::map<int, int> qtState = {
        {0, -1}, {1, Qt::Unchecked}, {2, Qt::Checked}, {3, Qt::PartiallyChecked}};
    QString out;
    for (TreeItem item : items) {
      out += QString(depth, QLatin1Char(' ')) + QString::fromStdString(tree.Text(item)) + QLatin1Char('/') +
             QString::number(qtState.at(tree.State(item))) + QLatin1Char('\n');
      out += Expected(tree, tree.Children(item), depth + 1);
    }
    return out;
  }

 private slots:
  // Inserts, removals and changes in random order, as a search and the page logic make them; the
  // view's picture matches the tree after every step and Qt's tester finds no inconsistent signal.
  void TreeAdapterFollowsAnnouncements() {
    mytreectrl tree(TreeKind::kResults, 0);
    TreeModelAdapter adapter;
    QAbstractItemModelTester tester(&adapter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    adapter.SetTree(&tree);
    std::mt19937 random(7);
    std::vector<TreeItem> alive{tree.Root()};
    for (int step = 0; step < 400; ++step) {
      const TreeItem target = alive[random() % alive.size()];
      const unsigned action = random() % 10;
      if (action < 6 || alive.size() < 3) {
        alive.push_back(
            tree.InsertItem(target, "F" + std::to_string(step), tree_image::kFolder, tree_image::kFolder));
        tree.SetState(alive.back(), check_state::kUnchecked);
      } else if (action < 8) {
        tree.SetState(target, static_cast<int>(random() % 4));
        tree.SetText(target, "R" + std::to_string(step));
      } else if (target != tree.Root()) {
        tree.DeleteItem(target);
        std::erase_if(alive, [&](TreeItem item) { return !tree.Valid(item); });
      }
      QCOMPARE(Picture(adapter), Expected(tree, tree.TopLevel()));
    }
    tree.DeleteAllItems();
    QCOMPARE(adapter.rowCount(), 0);
    tree.InsertRootItem("Again", tree_image::kComputer, tree_image::kComputer);
    QCOMPARE(Picture(adapter), Expected(tree, tree.TopLevel()));
  }

  // Changes made while the adapter did not observe the tree are found by comparing (Sync), and a
  // tree given to the adapter is observed by it alone: the tree it showed before is left alone.
  void TreeAdapterSyncsAndDetaches() {
    mytreectrl first(TreeKind::kResults, 0), second(TreeKind::kPartitions, 2);
    TreeModelAdapter adapter;
    QAbstractItemModelTester tester(&adapter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    adapter.SetTree(&first);
    QCOMPARE(first.Observer(), static_cast<TreeObserver*>(&adapter));
    first.SetObserver(nullptr);
    const TreeItem a = first.InsertItem(first.Root(), "A", 4, 4);
    first.InsertItem(a, "A1", 4, 4);
    first.InsertItem(first.Root(), "B", 4, 4);
    first.DeleteItem(a);
    first.InsertItem(first.Root(), "C", 4, 4);
    adapter.Sync();
    QCOMPARE(Picture(adapter), Expected(first, first.TopLevel()));
    adapter.SetTree(&second);
    QVERIFY(first.Observer() == nullptr);
    QCOMPARE(Picture(adapter), QStringLiteral("Disk 2/-1\n"));
  }

  // The check boxes are the state images: 0 none, 1 empty, 2 ticked, 3 partly filled. A click on
  // one is reported and changes nothing by itself.
  void TreeCheckBoxesAreStateImages() {
    mytreectrl tree(TreeKind::kResults, 0);
    TreeModelAdapter adapter;
    adapter.SetTree(&tree);
    const QModelIndex root = adapter.index(0, 0);
    QVERIFY(!(adapter.flags(root) & Qt::ItemIsUserCheckable));
    const std::pair<int, Qt::CheckState> cases[] = {{check_state::kUnchecked, Qt::Unchecked},
                                                    {check_state::kChecked, Qt::Checked},
                                                    {check_state::kPartial, Qt::PartiallyChecked}};
    for (auto [state, shown] : cases) {
      tree.SetState(tree.Root(), state);
      QCOMPARE(root.data(Qt::CheckStateRole).toInt(), int(shown));
      QVERIFY(adapter.flags(root) & Qt::ItemIsUserCheckable);
    }
    QSignalSpy clicked(&adapter, &TreeModelAdapter::checkBoxClicked);
    QVERIFY(!adapter.setData(root, Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.front().front().value<TreeItem>(), tree.Root());
    QCOMPARE(tree.State(tree.Root()), check_state::kPartial);
  }

  // A click on a check box in a tree view goes to the check box alone, not to the item's click.
  void TreeViewCheckBoxClickGoesNoFurther() {
    mytreectrl tree(TreeKind::kResults, 0);
    const TreeItem folder = tree.InsertItem(tree.Root(), "DOCS", 4, 4);
    tree.SetState(tree.Root(), 1);
    tree.SetState(folder, 1);
    tree.Expand(tree.Root(), true);
    gui::TreeCtrlView view;
    view.resize(300, 200);
    view.SetTree(&tree);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy clicks(&view, &gui::TreeCtrlView::itemClicked);
    QSignalSpy checks(&view, &gui::TreeCtrlView::checkBoxClicked);
    const QModelIndex index = view.Adapter().IndexOf(folder);
    QVERIFY(view.isExpanded(view.Adapter().IndexOf(tree.Root())));
    const QRect rect = view.visualRect(index);
    // The label, then the box at the left of the item.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rect.center() + QPoint(rect.width() / 4, 0));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(checks.count(), 0);
    QStyleOptionViewItem option;
    option.rect = rect;
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = view.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, box.center());
    QCOMPARE(checks.count(), 1);
    QCOMPARE(clicks.count(), 1);
    // The tree's expanded state drives the view.
    tree.Expand(tree.Root(), false);
    QVERIFY(!view.isExpanded(view.Adapter().IndexOf(tree.Root())));
    view.SetTree(nullptr);
  }

  void ListModelShowsRows() {
    gui::ListContentModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    app::ListContent content;
    content.columns = {{"Name", 145}, {"Type", 100}, {"Debug Info 1", 0}};
    content.rows.push_back({{"DOCS", "Deleted FOLDER", "9"}, 0, true, -1});
    content.rows.push_back({{"CAT.JPG", "Image File"}, 1, false, -1});
    content.rows.push_back({{"Microsoft Word File(s) (.DOC)"}, -1, false, 1});
    model.SetContent(content);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Type"));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("9"));
    QCOMPARE(model.index(1, 2).data().toString(), QString());  // a row shorter than the columns
    QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).isValid());
    QVERIFY(model.index(0, 0).data(Qt::ForegroundRole).isValid());
    QVERIFY(!model.index(1, 0).data(Qt::ForegroundRole).isValid());
    QCOMPARE(model.index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!model.index(0, 0).data(Qt::CheckStateRole).isValid());
    QSignalSpy clicked(&model, &gui::ListContentModel::checkBoxClicked);
    QVERIFY(!model.setData(model.index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.front().at(0).toInt(), 2);
    QCOMPARE(clicked.front().at(1).toBool(), false);
    QCOMPARE(model.index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  }

  // The filter box keeps the rows that pass every filter set, and maps them back to the rows of
  // the list as given.
  void ListFilterKeepsMatchingRows_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("deletedOnly");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("none") << QString() << false << QString() << QList<int>{0, 1, 2, 3};
    QTest::newRow("name, any case") << QStringLiteral("raft") << false << QString() << QList<int>{3};
    QTest::newRow("deleted") << QString() << true << QString() << QList<int>{0, 3};
    QTest::newRow("type") << QString() << false << QStringLiteral("Text file") << QList<int>{1, 3};
    QTest::newRow("deleted folder is a folder")
        << QString() << false << QStringLiteral("FOLDER") << QList<int>{0};
    QTest::newRow("all three") << QStringLiteral(".TXT") << true << QStringLiteral("Text file")
                               << QList<int>{3};
  }
  void ListFilterKeepsMatchingRows() {
    QFETCH(QString, name);
    QFETCH(bool, deletedOnly);
    QFETCH(QString, type);
    QFETCH(QList<int>, rows);
    gui::ListContentModel model;
    app::ListContent content;
    content.columns = {{"Name", 145}, {"Type", 100}};
    content.rows.push_back({{"OLD", "Deleted FOLDER"}, 0, true, -1});
    content.rows.push_back({{"README.TXT", "Text file"}, 1, false, -1});
    content.rows.push_back({{"CAT.JPG", "Image File"}, 1, false, -1});
    content.rows.push_back({{"_RAFT.TXT", "Text file"}, 1, true, -1});
    model.SetContent(content);
    gui::ListFilter filter;
    filter.setSourceModel(&model);
    filter.SetNameContains(name);
    filter.SetDeletedOnly(deletedOnly);
    filter.SetType(type);
    QList<int> shown;
    for (int row = 0; row < filter.rowCount(); ++row) shown << filter.mapToSource(filter.index(row, 0)).row();
    QCOMPARE(shown, rows);
  }

  void DisplayCheck_data() {
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("available");
    QTest::newRow("nothing") << QString() << QString() << false;
    QTest::newRow("X11") << QStringLiteral("DISPLAY") << QString() << true;
    QTest::newRow("Wayland") << QStringLiteral("WAYLAND_DISPLAY") << QString() << true;
    QTest::newRow("platform chosen") << QStringLiteral("QT_QPA_PLATFORM") << QString() << true;
    QTest::newRow("platform argument") << QString() << QStringLiteral("-platform") << true;
    QTest::newRow("other variable") << QStringLiteral("HOME") << QString() << false;
  }
  void DisplayCheck() {
    QFETCH(QString, variable);
    QFETCH(QString, argument);
    QFETCH(bool, available);
    const std::string set = variable.toStdString();
    const auto env = [&](const char* name) { return set == name ? std::string("x") : std::string(); };
    std::string program = "quarrow-wizard", flag = argument.toStdString(), value = "offscreen";
    char* argv[] = {program.data(), flag.data(), value.data()};
    QCOMPARE(gui::DisplayAvailable(env, argument.isEmpty() ? 1 : 3, argv), available);
  }

  // Dialog units follow the font: a font twice as large makes every rectangle about twice as large.
  void DialogUnitsFollowTheFont() {
    QFont small = QApplication::font();
    small.setPixelSize(12);
    QFont large = small;
    large.setPixelSize(24);
    const gui::DialogUnits a(small), b(large);
    QVERIFY(a.BaseY() >= 12);
    const double wider = double(b.X(527)) / a.X(527), taller = double(b.Y(316)) / a.Y(316);
    QVERIFY2(wider > 1.6 && wider < 2.4, qPrintable(QString::number(wider)));
    QVERIFY2(taller > 1.6 && taller < 2.4, qPrintable(QString::number(taller)));
    QCOMPARE(a.Rect(10, 20, 30, 60).width(), a.X(30) - a.X(10));
  }

  void ScanLogFilter() {
    QCOMPARE(gui::QtFilter("QLG Files (*.QLG)|*.QLG||"), QStringLiteral("QLG Files (*.QLG)"));
    QCOMPARE(gui::QtFilter("A (*.a)|*.a|B (*.b)|*.b||"), QStringLiteral("A (*.a);;B (*.b)"));
  }

  // Speed and time left from the bar's positions: 100 MB read at 20 % per second is 20 MB/s with
  // 4 s left at 20 %; a new stage's bar starting from 0 is measured from its own start.
  void RateMeterFromPositions() {
    gui::RateMeter meter;
    meter.Start(1000, 100'000'000);
    meter.Update(0, 1000);
    QVERIFY(meter.Text().isEmpty());
    meter.Update(20, 2000);
    QCOMPARE(*meter.BytesPerSecond(), 20e6);
    QCOMPARE(*meter.SecondsLeft(), std::int64_t{4});
    QCOMPARE(meter.Text(), QStringLiteral("20.0 MB/s, about 4 s left"));
    meter.Update(5, 3000);  // the next stage
    meter.Update(15, 3500);
    QCOMPARE(*meter.SecondsLeft(), std::int64_t{5});
    gui::RateMeter unknownSize;
    unknownSize.Start(0, 0);
    unknownSize.Update(0, 0);
    unknownSize.Update(1, 3000);
    QVERIFY(!unknownSize.BytesPerSecond());
    QCOMPARE(unknownSize.Text(), QStringLiteral("about 5 min left"));
  }

  void PreviewKinds_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    const auto picture = [](const char* format) {
      QImage image(24, 16, QImage::Format_RGB32);
      image.fill(QColor(200, 40, 40));
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, format);
      return bytes;
    };
    QTest::newRow("JPEG") << picture("JPG") << int(gui::PreviewKind::kPicture);
    QTest::newRow("PNG") << picture("PNG") << int(gui::PreviewKind::kPicture);
    QTest::newRow("BMP") << picture("BMP") << int(gui::PreviewKind::kPicture);
    QTest::newRow("JPEG cut short is no picture") << picture("JPG").left(30) << int(gui::PreviewKind::kHex);
    QTest::newRow("text") << QByteArray("buy milk\r\ncall home\tnow\n") << int(gui::PreviewKind::kText);
    QTest::newRow("UTF-8 text") << QByteArray("caf\xc3\xa9\n") << int(gui::PreviewKind::kText);
    QByteArray cut(4095, 'a');
    cut += "\xc3";  // the 4 KiB read ends inside a character
    QTest::newRow("text cut inside a character") << cut << int(gui::PreviewKind::kText);
    QTest::newRow("short text ending badly") << QByteArray("abc\xc3") << int(gui::PreviewKind::kHex);
    QTest::newRow("binary") << QByteArray("MZ\x90\x00\x03", 5) << int(gui::PreviewKind::kHex);
    QTest::newRow("zeros (overwritten)") << QByteArray(512, '\0') << int(gui::PreviewKind::kHex);
    QTest::newRow("nothing") << QByteArray() << int(gui::PreviewKind::kNone);
  }
  void PreviewKinds() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QCOMPARE(int(gui::ClassifyPreview(bytes)), kind);
    gui::PreviewPane pane;
    pane.ShowFile(QStringLiteral("F"), bytes, QStringLiteral("partly overwritten"));
    QCOMPARE(int(pane.Kind()), kind);
    QVERIFY(pane.Caption().contains(QStringLiteral("partly overwritten")));
  }

  void HexDumpLines() {
    QByteArray bytes("ABC\x00\xff", 5);
    QCOMPARE(gui::HexDump(bytes),
             QStringLiteral("00000000  41 42 43 00 ff %1 ABC..\n").arg(QString(33, QLatin1Char(' '))));
    QCOMPARE(gui::HexDump(QByteArray(5000, 'x')).count(QLatin1Char('\n')), 256);  // 4 KiB at most
  }

  void ProgressShowsItsText() {
    gui::TextProgressCtrl bar;
    bar.SetPosition(140, QStringLiteral("Completed 50%"));
    QCOMPARE(bar.value(), 100);
    QCOMPARE(bar.text(), QStringLiteral("Completed 50%"));
    QCOMPARE(bar.BarText(), QStringLiteral("Completed 50%"));
  }
};

QTEST_MAIN(GuiPartsTest)
#include "gui_parts_test.moc"
