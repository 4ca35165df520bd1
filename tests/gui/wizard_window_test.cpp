// The wizard in its real window, headless: widgets found by their object names and clicked, on
// the sample disk made by the test recipes, compared with The Sleuth Kit. Questions are answered
// through the Surface (ScriptedAnswerer), never by a timer.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "gui/dialog_units.h"
#include "gui/preview_pane.h"
#include "gui/wizard_app.h"
#include "gui/wizard_layout.h"
#include "integration/test_disks.h"
#include "tests/gui/wizard_driver.h"

using namespace quarrow;
using quarrow::testing::WizardDriver;
namespace id = quarrow::app::id;

namespace {

// The sample disk's FAT32 partition, the second of its table.
constexpr std::uint64_t kSampleFat32Start = 34816;

struct FlsEntry {
  bool directory = false;
  bool deleted = false;
  std::string inode;
  std::string path;  // "PROJECTS/SRC/MAIN.C"
};

std::vector<FlsEntry> Fls(const std::string& image, std::uint64_t start) {
  std::string out;
  quarrow::testing::RunCommand(
      "fls -r -p -o " + std::to_string(start) + " " + quarrow::testing::ShellQuote(image), &out);
  std::vector<FlsEntry> entries;
  for (const std::string& line : quarrow::testing::Split(out, '\n')) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos || line.find("(Volume Label Entry)") != std::string::npos) continue;
    FlsEntry entry;
    entry.directory = line.rfind("d/d", 0) == 0;
    if (!entry.directory && line.rfind("r/r", 0) != 0) continue;  // $MBR, $FAT1 and the like
    entry.deleted = line.find(" * ") != std::string::npos;
    const auto colon = line.rfind(':', tab);
    const auto space = line.rfind(' ', colon);
    entry.inode = line.substr(space + 1, colon - space - 1);
    entry.path = line.substr(tab + 1);
    entries.push_back(entry);
  }
  return entries;
}

QString Name(const std::string& path) {
  return QString::fromStdString(path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1));
}

}  // namespace

class WizardWindowTest : public QObject {
  Q_OBJECT

  std::string sample_;

  // disk -> mode -> Next -> Partition 2 -> Next, up to the end of the search.
  bool SearchSample(WizardDriver& driver, int modeRadio) {
    const auto items = driver.TreeView(id::kDiskTree)->Adapter().KnownItems();
    if (items.size() < 2 || !driver.ClickItem(id::kDiskTree, items[1])) return false;
    driver.Hover(modeRadio);
    if (!driver.Click(id::kNext) || driver.Wizard().Page() != 1) return false;
    const TreeItem partition = driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 2"));
    if (partition == kNoItem || !driver.ClickItem(id::kPartitionTree, partition)) return false;
    if (!driver.Click(id::kNext)) return false;
    return driver.WaitIdle();
  }

  // The results tree's folders against the directories fls lists, and one folder's listing
  // against fls's entries of that folder.
  void CheckResults(WizardDriver& driver) {
    const std::vector<FlsEntry> fls = Fls(sample_, kSampleFat32Start);
    for (const FlsEntry& entry : fls) {
      if (!entry.directory || entry.path.find('/') != std::string::npos) continue;
      QVERIFY2(driver.FindItem(id::kResultsTree, Name(entry.path)) != kNoItem, entry.path.c_str());
    }
    const TreeItem projects = driver.FindItem(id::kResultsTree, QStringLiteral("PROJECTS"));
    QVERIFY(driver.ClickItem(id::kResultsTree, projects));
    QVERIFY(driver.WaitIdle());
    // The list worker fills the list after the click; wait for every entry fls lists there.
    std::vector<const FlsEntry*> expected;
    for (const FlsEntry& entry : fls) {
      if (entry.path.rfind("PROJECTS/", 0) == 0 && entry.path.find('/', 9) == std::string::npos)
        expected.push_back(&entry);
    }
    QVERIFY(!expected.empty());
    const auto allListed = [&] {
      const QStringList names = driver.ListColumn(id::kDetailsList);
      for (const FlsEntry* entry : expected) {
        if (!names.contains(Name(entry->path))) return false;
      }
      return true;
    };
    QVERIFY2(driver.WaitFor(allListed, 20000),
             qPrintable(driver.ListColumn(id::kDetailsList).join(QLatin1Char(','))));
    const QStringList names = driver.ListColumn(id::kDetailsList);
    const int typeColumn = driver.ListColumnNamed(id::kDetailsList, QStringLiteral("Type"));
    QVERIFY(typeColumn > 0);
    const QStringList types = driver.ListColumn(id::kDetailsList, typeColumn);
    for (const FlsEntry* entry : expected) {
      const int row = static_cast<int>(names.indexOf(Name(entry->path)));
      QCOMPARE(types[row].endsWith(QStringLiteral("FOLDER")), entry->directory);
    }
    QCOMPARE(names.size(), static_cast<qsizetype>(expected.size()));
  }

 private slots:
  void initTestCase() {
    sample_ = quarrow::testing::TestDisk("sample");
    QVERIFY2(!sample_.empty(), quarrow::testing::LastTestDiskError().c_str());
  }

  // Without a display the program says so in one line and ends with 1.
  void NoDisplaySaysSo() {
    QProcess wizard;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      env.remove(QString::fromLatin1(name));
    wizard.setProcessEnvironment(env);
    wizard.start(QStringLiteral(QUARROW_WIZARD), {});
    QVERIFY(wizard.waitForFinished(30000));
    QCOMPARE(wizard.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(wizard.readAllStandardError()).trimmed();
    QVERIFY2(!err.isEmpty() && !err.contains(QLatin1Char('\n')), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("display")));
  }

  // Every control of the layout is a widget named by its ID where the layout puts it; the toolbar
  // shows its tooltips in their order; the dialog is painted RGB(241, 244, 250).
  void ControlsByIdWhereTheLayoutPutsThem() {
    WizardDriver driver({sample_});
    QStringList tooltips;
    for (const gui::ControlSpec& spec : gui::MainDialogControls()) {
      if (!spec.id) continue;
      QWidget* widget = driver.Widget(spec.id);
      QVERIFY2(widget, qPrintable(QString::number(spec.id)));
      QCOMPARE(widget->property("controlId").toInt(), spec.id);
      if (spec.kind == gui::ControlKind::kToolButton) {
        tooltips << widget->toolTip();
      } else if (spec.id != id::kDetailsList &&
                 spec.id != id::kFilesRecovered) {  // these two move with the page
        QCOMPARE(widget->geometry(),
                 driver.window.Units().Rect(spec.left, spec.top, spec.right, spec.bottom));
      }
    }
    QCOMPARE(tooltips.join(QLatin1Char('|')),
             QStringLiteral("Help|Load Log|Save Log|Exit|Save|Next|Back|Search More "
                            "Partitions|Stop Searching Partitions|Stop Search|Refresh "
                            "List|About Us"));
    for (int tree : {id::kDiskTree, id::kPartitionTree, id::kFileSystemTree, id::kResultsTree})
      QVERIFY(driver.TreeView(tree));
    QCOMPARE(driver.window.palette().color(QPalette::Window), QColor(241, 244, 250));
  }

  // Standard search of the FAT32 partition: folders, a folder's files, check boxes, Save Log,
  // Back, Load Log giving the same tree, Save giving the checked files byte for byte.
  void StandardSearchFlow() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    QVERIFY(SearchSample(driver, id::kStandardSearchRadio));
    QCOMPARE(driver.Wizard().Page(), 3);
    CheckResults(driver);
    if (QTest::currentTestFailed()) return;

    // Check PROJECTS: its box ticks, the root's shows partly filled.
    const TreeItem projects = driver.FindItem(id::kResultsTree, QStringLiteral("PROJECTS"));
    QVERIFY(driver.ClickItem(id::kResultsTree, projects, true));
    const auto state = [&](TreeItem item) {
      return driver.TreeView(id::kResultsTree)->Adapter().IndexOf(item).data(Qt::CheckStateRole).toInt();
    };
    QCOMPARE(state(projects), int(Qt::Checked));
    QCOMPARE(state(driver.Wizard().ResultsTree()->Root()), int(Qt::PartiallyChecked));
    const QString before = driver.TreePicture(id::kResultsTree);

    const QString log = scratch.filePath(QStringLiteral("sample.QLG"));
    driver.answers.filePath = log.toStdString();
    QVERIFY(driver.Click(id::kSaveLog));
    QVERIFY(driver.WaitIdle());
    QVERIFY(QFile::exists(log));
    QCOMPARE(driver.answers.fileDialogs.back().filter, std::string("QLG Files (*.QLG)|*.QLG||"));

    QVERIFY(driver.Click(id::kBack));
    QVERIFY(driver.WaitIdle());
    QCOMPARE(driver.Wizard().Page(), 1);
    QVERIFY(driver.Click(id::kLoadLog));
    QVERIFY(driver.WaitIdle());
    QCOMPARE(driver.Wizard().Page(), 3);
    // The loaded tree shows the same folders (check boxes start empty again).
    QString loaded = driver.TreePicture(id::kResultsTree), expected = before;
    for (QString* text : {&loaded, &expected}) {
      text->replace(QStringLiteral(" [2]"), QStringLiteral(" [0]"))
          .replace(QStringLiteral(" [1]"), QStringLiteral(" [0]"));
    }
    QCOMPARE(loaded, expected);
  }

  // The preview pane shows the selected file's first bytes as the disk holds them (the deleted
  // _RAFT.TXT with its estimate), and nothing for a folder row.
  void PreviewShowsTheSelectedFile() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    QVERIFY(SearchSample(driver, id::kStandardSearchRadio));
    const TreeItem projects = driver.FindItem(id::kResultsTree, QStringLiteral("PROJECTS"));
    QVERIFY(driver.ClickItem(id::kResultsTree, projects));
    QVERIFY(driver.WaitFor(
        [&] { return driver.ListColumn(id::kDetailsList).contains(QStringLiteral("_RAFT.TXT")); }));
    const QStringList names = driver.ListColumn(id::kDetailsList);
    const int file = static_cast<int>(names.indexOf(QStringLiteral("_RAFT.TXT")));
    const int folder = static_cast<int>(names.indexOf(QStringLiteral("SRC")));
    QVERIFY2(file >= 0 && folder >= 0, qPrintable(names.join(QStringLiteral(", "))));
    gui::PreviewPane* preview = driver.window.Preview();
    QVERIFY(preview->isVisible());

    QVERIFY(driver.ClickListRow(id::kDetailsList, file));
    QVERIFY(driver.WaitFor([&] { return preview->Kind() != gui::PreviewKind::kNone; }));
    QCOMPARE(preview->Kind(), gui::PreviewKind::kText);
    QVERIFY2(preview->Caption().contains(QStringLiteral("_RAFT.TXT")) &&
                 preview->Caption().contains(QStringLiteral("recoverability: intact")),
             qPrintable(preview->Caption()));
    std::string icat;
    std::string inode;
    for (const FlsEntry& e : Fls(sample_, kSampleFat32Start))
      if (e.deleted && e.path.starts_with("PROJECTS/") && !e.directory) inode = e.inode;
    QVERIFY(!inode.empty());
    quarrow::testing::RunCommand("icat -o " + std::to_string(kSampleFat32Start) + " " +
                                     quarrow::testing::ShellQuote(sample_) + " " + inode,
                                 &icat);
    auto* text = preview->findChild<QPlainTextEdit*>();
    QVERIFY(text);
    QCOMPARE(text->toPlainText(), QString::fromStdString(icat).section(QLatin1Char('\n'), 0, 40));

    QVERIFY(driver.ClickListRow(id::kDetailsList, folder));
    QVERIFY(driver.WaitFor([&] { return preview->Kind() == gui::PreviewKind::kNone; }));
    QCOMPARE(preview->Caption(), QStringLiteral("No preview for this row"));
  }

  // Save writes the checked folders' files to the destination, byte for byte as icat reads them.
  void SaveWritesCheckedFiles() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    QVERIFY(SearchSample(driver, id::kStandardSearchRadio));
    QCOMPARE(driver.Wizard().Page(), 3);
    QVERIFY(driver.ClickItem(id::kResultsTree, driver.FindItem(id::kResultsTree, QStringLiteral("PROJECTS")),
                             true));
    const QString destination = scratch.filePath(QStringLiteral("recovered"));
    QDir().mkpath(destination);
    driver.answers.destination = destination.toStdString();
    QVERIFY(driver.Click(id::kSave));
    QVERIFY(driver.WaitIdle());
    std::map<QString, QString> written;  // name -> path
    for (QDirIterator it(destination, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      const QString path = it.next();
      written[QFileInfo(path).fileName()] = path;
    }
    int compared = 0;
    for (const FlsEntry& entry : Fls(sample_, kSampleFat32Start)) {
      if (entry.directory || entry.deleted || entry.path.rfind("PROJECTS/", 0) != 0) continue;
      auto it = written.find(Name(entry.path));
      QVERIFY2(it != written.end(), entry.path.c_str());
      std::string bytes;
      quarrow::testing::RunCommand("icat -o " + std::to_string(kSampleFat32Start) + " " +
                                       quarrow::testing::ShellQuote(sample_) + " " + entry.inode,
                                   &bytes);
      QFile file(it->second);
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.readAll(), QByteArray::fromStdString(bytes));
      ++compared;
    }
    QVERIFY(compared > 0);
    // What was written is listed, with the folder it went to and a way to open it.
    auto* recovered = qobject_cast<QTableView*>(driver.Widget(id::kFilesRecovered));
    QVERIFY(recovered && recovered->isVisible());
    // Every file written is listed; the recovery's report beside them is not one of them.
    QCOMPARE(recovered->model()->rowCount(),
             static_cast<int>(written.size() - written.count(QStringLiteral("recovery-report.txt"))));
    auto* summary = driver.window.findChild<QLabel*>(QStringLiteral("savedSummary"));
    QVERIFY(summary && summary->isVisible());
    // It says where the files went and what became of each: written, skipped, failed.
    QCOMPARE(summary->text(), QStringLiteral("Saved to %1: %2 files written, 0 skipped, 0 failed")
                                  .arg(destination)
                                  .arg(recovered->model()->rowCount()));
    // The whole of it shows: the lines it wraps into fit in its height.
    QVERIFY2(summary->heightForWidth(summary->width()) <= summary->height(),
             qPrintable(QStringLiteral("%1 needs %2 pixels, has %3")
                            .arg(summary->text())
                            .arg(summary->heightForWidth(summary->width()))
                            .arg(summary->height())));
    QTest::mouseClick(driver.window.findChild<QWidget*>(QStringLiteral("openDestination")), Qt::LeftButton);
    QCOMPARE(driver.answers.opened.back(), destination.toStdString());
    // The list of files does not hide under what the save wrote.
    QVERIFY(!driver.Widget(id::kDetailsList)->geometry().intersects(recovered->geometry()));
  }

  // The same through the file-system page of an Advance search.
  void AdvanceSearchFlow() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    QVERIFY(SearchSample(driver, id::kAdvanceSearchRadio));
    QCOMPARE(driver.Wizard().Page(), 2);
    QVERIFY(driver.TreeView(id::kFileSystemTree)->isVisible());
    QVERIFY(driver.FindItem(id::kFileSystemTree, QStringLiteral("File System 1")) != kNoItem);
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.WaitIdle());
    QCOMPARE(driver.Wizard().Page(), 3);
    CheckResults(driver);
  }

  // The disk page to the file-system page by an Advance search of the image's first partition
  // (a volume without a table is found by the partition search that starts by itself); the file
  // system found whose line names fsName, clicked, or kNoItem.
  static TreeItem AdvanceSearchToFileSystem(WizardDriver& driver, const QString& fsName) {
    const auto items = driver.TreeView(id::kDiskTree)->Adapter().KnownItems();
    if (items.size() < 2 || !driver.ClickItem(id::kDiskTree, items[1])) return kNoItem;
    driver.Hover(id::kAdvanceSearchRadio);
    if (!driver.Click(id::kNext) || driver.Wizard().Page() != 1) return kNoItem;
    TreeItem partition = kNoItem;
    driver.WaitFor([&] {
      partition = driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 1"));
      return partition != kNoItem && !driver.Wizard().Busy();
    });
    if (partition == kNoItem || !driver.ClickItem(id::kPartitionTree, partition)) {
      qWarning("%s", qPrintable(driver.TreePicture(id::kPartitionTree)));
      return kNoItem;
    }
    if (!driver.Click(id::kNext) || !driver.WaitIdle() || driver.Wizard().Page() != 2) return kNoItem;
    if (!driver.TreeView(id::kFileSystemTree)->isVisible()) return kNoItem;
    for (TreeItem item : driver.TreeView(id::kFileSystemTree)->Adapter().KnownItems()) {
      const QString text = driver.TreeView(id::kFileSystemTree)->Adapter().IndexOf(item).data().toString();
      if (text.startsWith(QStringLiteral("File System")) && text.contains(fsName))
        return driver.ClickItem(id::kFileSystemTree, item) ? item : kNoItem;
    }
    qWarning("%s", qPrintable(driver.TreePicture(id::kFileSystemTree)));
    return kNoItem;
  }

  // An Advance search of an NTFS card: the file-system page lists the NTFS file system found,
  // Next rebuilds its folders, and the results tree shows every folder fls lists at the top.
  void NtfsAdvanceSearchFlow() {
    const std::string ntfs = quarrow::testing::TestDisk("recover_ntfs");
    if (ntfs.empty()) {
      // A machine that cannot make the disk skips; under CI=true that is a failure.
      if (quarrow::testing::LastTestDiskSkipped()) QSKIP(quarrow::testing::LastTestDiskError().c_str());
      QFAIL(quarrow::testing::LastTestDiskError().c_str());
    }
    QTemporaryDir scratch;
    WizardDriver driver({ntfs}, scratch.path().toStdString());
    // Page 2: the file systems found, the NTFS one among them, its figures beside the tree.
    QVERIFY(AdvanceSearchToFileSystem(driver, QStringLiteral("NTFS")) != kNoItem);
    QCOMPARE(driver.ListColumn(id::kDetailsList).size(), qsizetype{4});
    QVERIFY(driver.ListColumn(id::kDetailsList, 1).join(QLatin1Char(' ')).contains(QStringLiteral("NTFS")));
    QVERIFY(driver.Usable(id::kNext));
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.WaitIdle());

    // Page 3: the folders of the volume.
    QCOMPARE(driver.Wizard().Page(), 3);
    QVERIFY(driver.TreeView(id::kResultsTree)->isVisible());
    std::string fls;
    quarrow::testing::RunCommand("fls -p -o 2048 " + quarrow::testing::ShellQuote(ntfs), &fls);
    int folders = 0;
    for (const std::string& line : quarrow::testing::Split(fls, '\n')) {
      const auto tab = line.find('\t');
      if (line.rfind("d/d", 0) != 0 || tab == std::string::npos || line.find(" * ") != std::string::npos)
        continue;
      const std::string name = line.substr(tab + 1);
      if (name.empty() || name[0] == '$') continue;  // the volume's own metadata folders
      QVERIFY2(driver.FindItem(id::kResultsTree, QString::fromStdString(name)) != kNoItem,
               qPrintable(QString::fromStdString(name) + QStringLiteral("\n") +
                          driver.TreePicture(id::kResultsTree)));
      ++folders;
    }
    QVERIFY(folders >= 3);
  }

  // A volume whose FATs, root and folder of photos were zeroed: after an Advance search the
  // results tree holds QRW_Carved with a folder per type; a type's folder lists its files as
  // "carved", and Save of QRW_Carved writes every original the folder held, byte for byte.
  void CarvedFilesFlow() {
    const std::string image = quarrow::testing::TestDisk("fat_carve");
    QVERIFY2(!image.empty(), quarrow::testing::LastTestDiskError().c_str());
    QTemporaryDir scratch;
    WizardDriver driver({image}, scratch.path().toStdString());
    QVERIFY(AdvanceSearchToFileSystem(driver, QStringLiteral("FAT16")) != kNoItem);
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.WaitIdle());
    QCOMPARE(driver.Wizard().Page(), 3);

    const TreeItem carved = driver.FindItem(id::kResultsTree, QStringLiteral("QRW_Carved"));
    QVERIFY2(carved != kNoItem, qPrintable(driver.TreePicture(id::kResultsTree)));
    QVERIFY(driver.ClickItem(id::kResultsTree, carved));
    QVERIFY(driver.WaitIdle());
    const TreeItem jpg = driver.FindItem(id::kResultsTree, QStringLiteral("jpg"));
    QVERIFY2(jpg != kNoItem, qPrintable(driver.TreePicture(id::kResultsTree)));
    QVERIFY(driver.ClickItem(id::kResultsTree, jpg));
    QVERIFY(driver.WaitFor([&] { return !driver.ListColumn(id::kDetailsList).isEmpty(); }));
    const QStringList names = driver.ListColumn(id::kDetailsList);
    const int estimate = driver.ListColumnNamed(id::kDetailsList, QStringLiteral("Recoverability"));
    QVERIFY(estimate > 0);
    const QStringList estimates = driver.ListColumn(id::kDetailsList, estimate);
    for (int row = 0; row < names.size(); ++row) {
      QVERIFY2(QRegularExpression(QStringLiteral("^f[0-9]+\\.jpg$")).match(names[row]).hasMatch(),
               qPrintable(names[row]));
      QCOMPARE(estimates[row], QStringLiteral("carved"));
    }

    QVERIFY(driver.ClickItem(id::kResultsTree, carved, true));
    const QString destination = scratch.filePath(QStringLiteral("recovered"));
    QDir().mkpath(destination);
    driver.answers.destination = destination.toStdString();
    QVERIFY(driver.Click(id::kSave));
    QVERIFY(driver.WaitIdle());
    std::set<QByteArray> written;
    for (QDirIterator it(destination, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      QFile file(it.next());
      QVERIFY(file.open(QIODevice::ReadOnly));
      written.insert(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }
    QFile manifest(QString::fromStdString(image.substr(0, image.size() - 4) + ".sha256"));
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    int originals = 0;
    for (const QByteArray& line : manifest.readAll().split('\n')) {
      if (line.isEmpty()) continue;
      ++originals;
      QVERIFY2(written.count(line.left(64)), line.constData());
    }
    QVERIFY(originals >= 10);
  }

  // Stop during a search ends it with the results found so far, and the window stays usable.
  void StopDuringSearch() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    const auto items = driver.TreeView(id::kDiskTree)->Adapter().KnownItems();
    QVERIFY(items.size() >= 2 && driver.ClickItem(id::kDiskTree, items[1]));
    driver.Hover(id::kStandardSearchRadio);
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.ClickItem(id::kPartitionTree,
                             driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 2"))));
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.Wizard().Busy());
    // Stop is offered while the search reads the disk; the click lands before the worker's end
    // is handled, since both come through this thread's event loop.
    QVERIFY(driver.Usable(id::kStopSearch));
    QVERIFY(driver.Click(id::kStopSearch));
    QVERIFY(driver.WaitIdle());
    QCOMPARE(driver.Wizard().Page(), 3);
    // Whether the stop cut a stage short depends on how far the worker got (the sample is small);
    // the page logic's tests check the stopped outcome on its own. Here: the window comes back.
    QVERIFY(driver.Usable(id::kBack));
    QVERIFY(!driver.Usable(id::kStopSearch));
  }

  // Closing the window (its close button, Alt+F4) is the system menu's Exit. During a search it
  // asks to exit and nothing more, stops the search, waits for it and ends the wizard.
  void CloseDuringSearch() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    const auto items = driver.TreeView(id::kDiskTree)->Adapter().KnownItems();
    QVERIFY(items.size() >= 2 && driver.ClickItem(id::kDiskTree, items[1]));
    driver.Hover(id::kStandardSearchRadio);
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.ClickItem(id::kPartitionTree,
                             driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 2"))));
    QVERIFY(driver.Click(id::kNext));
    // A Standard search shows the results page while it runs; its tree is not whole yet.
    QCOMPARE(driver.Wizard().Page(), 3);
    QVERIFY(driver.Wizard().Busy());
    driver.window.close();
    QVERIFY(driver.WaitFor([&] { return driver.window.Ended(); }, 30000));
    QVERIFY(!driver.Wizard().Busy());
    QCOMPARE(driver.answers.messages.size(), std::size_t{1});
    QCOMPARE(driver.answers.messages[0].text, std::string("Do you want to Exit?"));
    QVERIFY(driver.answers.fileDialogs.empty());
    driver.Close();  // joins whatever still runs; the ctest deadline catches a hang
  }

  // Closing the window on a finished results page asks to exit, then to save the recovery; Yes
  // to the second saves the scan log where the user says.
  void CloseOnTheResultsPageAsksToSave() {
    QTemporaryDir scratch;
    WizardDriver driver({sample_}, scratch.path().toStdString());
    QVERIFY(SearchSample(driver, id::kStandardSearchRadio));
    QCOMPARE(driver.Wizard().Page(), 3);
    const QString log = scratch.filePath(QStringLiteral("closing.QLG"));
    driver.answers.filePath = log.toStdString();
    driver.answers.answers = {app::MessageAnswer::kYes, app::MessageAnswer::kYes};
    driver.window.close();
    QVERIFY(driver.WaitFor([&] { return driver.window.Ended(); }, 30000));
    QCOMPARE(driver.answers.messages.size(), std::size_t{2});
    QCOMPARE(driver.answers.messages[0].text, std::string("Do you want to Exit?"));
    QCOMPARE(driver.answers.messages[1].text, std::string("Do you want to save the recovery?"));
    QVERIFY(QFile::exists(log));
    QVERIFY(!driver.window.isVisible());
  }

  // What the page logic sets through the Surface shows in the widgets, and what the user typed or
  // chose reads back; rows picked in a filtered list are the page logic's rows.
  void SurfaceCallsReachTheWidgets() {
    gui::WizardWindow window;  // no page logic: the Surface alone
    window.SetText(id::kStartSectorEdit, "2048");
    QCOMPARE(qobject_cast<QLineEdit*>(window.findChild<QWidget*>(QStringLiteral("c1069")))->text(),
             QStringLiteral("2048"));
    QCOMPARE(window.Text(id::kStartSectorEdit), std::string("2048"));
    window.SetText(id::kStatus, "Sectors  10 of 20");
    QCOMPARE(window.Text(id::kStatus), std::string("Sectors  10 of 20"));
    window.SetProgress(id::kProgress, 40, "Completed ");
    auto* bar = window.findChild<gui::TextProgressCtrl*>(QStringLiteral("c1073"));
    QCOMPARE(bar->value(), 40);
    QCOMPARE(bar->text(), QStringLiteral("Completed "));
    // A caption comes and goes with its control.
    auto* caption = window.findChild<QWidget*>(QStringLiteral("c1076caption"));
    window.Show(id::kSearchDiskText, true);
    QVERIFY(!caption->isHidden());
    window.Show(id::kSearchDiskText, false);
    QVERIFY(caption->isHidden());
    window.SetChecked(id::kEntireDiskRadio, true);
    window.SetChecked(id::kEntireDiskRadio, false);
    QVERIFY(!window.Checked(id::kEntireDiskRadio));
    window.SetComboIndex(id::kPartitionTypeCombo, 2);
    QCOMPARE(window.ComboIndex(id::kPartitionTypeCombo), 2);
    window.Enable(id::kNext, false);
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("c1058"))->isEnabled());

    app::ListContent files;
    files.columns = {{"Name", 145}, {"Type", 100}, {"Size", 70}, {"Debug Info 1", 0}};
    for (const char* name : {"A.TXT", "B.JPG", "C.TXT"})
      files.rows.push_back({{name, "Text file", "1", "9"}, 1, false, -1});
    files.rows[1].cells[1] = "Image File";
    window.SetList(id::kDetailsList, files);
    QTableView* list = window.List(id::kDetailsList);
    QVERIFY(list->isColumnHidden(3));
    window.findChild<QLineEdit*>(QStringLiteral("filterName"))->setText(QStringLiteral("C."));
    QCOMPARE(list->model()->rowCount(), 1);
    window.SetListSelection(id::kDetailsList, 2);
    QCOMPARE(window.SelectedListRows(id::kDetailsList), std::vector<int>{2});
    window.SetListSelection(id::kDetailsList, 1);  // filtered out: nothing selected
    QVERIFY(window.SelectedListRows(id::kDetailsList).empty());

    // Controls of an open progress dialog are found by their IDs as well.
    window.OpenProgressDialog(app::DialogId::kSaving);
    window.SetText(id::kSavingFileName, "MAIN.C");
    QCOMPARE(window.Text(id::kSavingFileName), std::string("MAIN.C"));
    window.CloseProgressDialog(app::DialogId::kSaving);
    QTest::qWait(0);  // lets the closed dialog be deleted
    QCOMPARE(window.Text(id::kSavingFileName), std::string());

    // A call posted from another thread runs later, on the window's thread.
    std::atomic<bool> ran{false};
    QThread* ranOn = nullptr;
    std::thread poster([&] {
      window.Post([&] {
        ranOn = QThread::currentThread();
        ran = true;
      });
    });
    poster.join();
    QVERIFY(!ran);
    QVERIFY(QTest::qWaitFor([&] { return ran.load(); }, 10000));
    QCOMPARE(ranOn, window.thread());
  }

  // The command line's images become disks, the user guide is found beside the program or in
  // the source tree, and Help hands it to the desktop.
  void OptionsAndHelp() {
    const app::WizardOptions options = gui::OptionsFromArguments(
        {QStringLiteral("quarrow-wizard"), QStringLiteral("a.img"), QStringLiteral("--image"),
         QStringLiteral("/x/b.img"), QStringLiteral("-style")});
    QCOMPARE(options.images.size(), std::size_t{2});
    QCOMPARE(QString::fromStdString(options.images[0]),
             QDir::current().absoluteFilePath(QStringLiteral("a.img")));
    QCOMPARE(options.images[1], std::string("/x/b.img"));
    QVERIFY(QFile::exists(QString::fromStdString(options.userGuide)));
    QVERIFY(options.userGuide.ends_with("user-guide.html"));
  }

  // Escape never closes the wizard; closing the window asks first, and No keeps it open.
  void EscapeAndCloseKeepTheWizard() {
    WizardDriver driver({sample_});
    QTest::keyClick(&driver.window, Qt::Key_Escape);
    QVERIFY(driver.window.isVisible());
    // The dialog's own Escape handling (a key the page logic let through) closes nothing either.
    QVERIFY(QMetaObject::invokeMethod(&driver.window, "reject"));
    QVERIFY(driver.window.isVisible());
    QVERIFY(!driver.window.Ended());
    driver.answers.answers.push_back(app::MessageAnswer::kNo);
    driver.window.close();
    QVERIFY(driver.window.isVisible());
    QVERIFY(!driver.window.Ended());
    QCOMPARE(driver.answers.messages.back().text, std::string("Do you want to Exit?"));
    driver.window.close();  // Yes this time
    QVERIFY(driver.window.Ended());
    QVERIFY(!driver.window.isVisible());
  }

  // "Open Disk Image..." on the disk page lists an image as a disk; the No device dialog of a
  // machine without disks closes once there is one.
  void OpenDiskImage() {
    QTemporaryDir scratch;
    WizardDriver driver({}, scratch.path().toStdString());
    const auto disks = [&] { return driver.TreeView(id::kDiskTree)->Adapter().KnownItems().size(); };
    QCOMPARE(disks(), std::size_t{1});  // "My Computer" alone
    auto* openImage = driver.window.findChild<QWidget*>(QStringLiteral("openImage"));
    QVERIFY(openImage && openImage->isVisible());
    driver.answers.filePath = sample_;
    QTest::mouseClick(openImage, Qt::LeftButton);
    QCOMPARE(disks(), std::size_t{2});
    QVERIFY(driver.FindItem(id::kDiskTree, QStringLiteral("My Computer")) != kNoItem);
    const auto noDevice = driver.window.findChild<QDialog*>(QStringLiteral("dialog301"));
    QVERIFY(!noDevice || !noDevice->isVisible());
    // The image is a disk like any other: its partitions come on the next page.
    QVERIFY(driver.ClickItem(id::kDiskTree, driver.TreeView(id::kDiskTree)->Adapter().KnownItems()[1]));
    driver.Hover(id::kStandardSearchRadio);
    QVERIFY(driver.Click(id::kNext));
    QVERIFY(driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 2")) != kNoItem);
    QVERIFY(!openImage->isVisible());
  }

  // The tour writes a picture per page; each shows the page (not a blank image) with its tree
  // and list where the layout puts them.
  void ScreenshotsShowThePages() {
    QTemporaryDir out;
    QProcess tour;
    tour.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tour.start(QStringLiteral(QUARROW_WIZARD_TOUR), {QString::fromStdString(sample_), out.path()});
    QVERIFY(tour.waitForFinished(300000));
    QCOMPARE(tour.exitCode(), 0);
    const gui::DialogUnits units(QApplication::font());
    for (const char* name :
         {"1-disk-page.png", "2-partition-page.png", "3-file-system-page.png", "4-results-page.png",
          "5-about-dialog.png", "6-after-save.png", "7-no-device-dialog.png"}) {
      QImage image(out.filePath(QLatin1String(name)));
      QVERIFY2(!image.isNull(), name);
      std::set<QRgb> colours;
      for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
      }
      QVERIFY2(colours.size() > 30, name);
      if (QByteArray(name).contains("page")) {
        QCOMPARE(image.size(), QSize(units.X(gui::kDialogWidth), units.Y(gui::kDialogHeight)));
        // The tree's and the list's insides are the views' white, not the dialog's background.
        const QRect tree(units.X(gui::kTreeRect.left()), units.Y(gui::kTreeRect.top()),
                         units.X(gui::kTreeRect.width()), units.Y(gui::kTreeRect.height()));
        QCOMPARE(QColor(image.pixel(tree.right() - 8, tree.bottom() - 8)), QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(units.X(470), units.Y(200))), QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(2, image.height() - 2)), QColor(241, 244, 250));
      }
    }
  }
};

QTEST_MAIN(WizardWindowTest)
#include "wizard_window_test.moc"
