// Walks the wizard through its pages on a disk image and writes a picture of each:
//   quarrow_wizard_tour IMAGE OUTDIR
// Advance search of the image's second partition: the disk page, the partition page, the
// file-system choice, the results with a folder listed, the About dialog, the results after a save
// of that folder (and the Saving dialog, when the save shows one), the No device dialog.
// scripts/screenshots.sh runs it under Xvfb; a test runs it headless and looks at the
// pictures.
#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "gui/preview_pane.h"
#include "tests/gui/wizard_driver.h"

using namespace quarrow;
namespace id = quarrow::app::id;

namespace {

bool Fail(const char* step) {
  std::fprintf(stderr, "quarrow_wizard_tour: %s\n", step);
  return false;
}

bool Save(QWidget* widget, const QString& dir, const char* name) {
  QApplication::processEvents();
  const QString path = dir + QLatin1Char('/') + QLatin1String(name);
  if (!widget->grab().save(path)) return Fail("a picture could not be written");
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool Tour(const std::string& image, const QString& out) {
  QTemporaryDir scratch;
  testing::WizardDriver driver({image}, "/tmp");
  gui::WizardWindow& window = driver.window;
  QObject::connect(&window, &gui::WizardWindow::progressDialogClosing, &window,
                   [&](int dialogId, QDialog* dialog) {
                     if (dialogId == static_cast<int>(app::DialogId::kSaving))
                       Save(dialog, out, "8-saving-dialog.png");
                   });
  if (!QTest::qWaitForWindowExposed(&window)) return Fail("the window was not shown");

  const TreeItem disk = driver.FindItem(id::kDiskTree, QStringLiteral("My Computer")) == kNoItem
                            ? kNoItem
                            : driver.TreeView(id::kDiskTree)->Adapter().KnownItems().at(1);
  if (disk == kNoItem || !driver.ClickItem(id::kDiskTree, disk)) return Fail("no disk to click");
  driver.Hover(id::kAdvanceSearchRadio);
  if (!Save(&window, out, "1-disk-page.png")) return false;

  if (!driver.Click(id::kNext)) return Fail("Next is not usable on the disk page");
  const TreeItem partition = driver.FindItem(id::kPartitionTree, QStringLiteral("Partition - 2"));
  if (partition == kNoItem) {
    std::fprintf(stderr, "%s", qPrintable(driver.TreePicture(id::kPartitionTree)));
    return Fail("the partition tree has no Partition 2");
  }
  driver.ClickItem(id::kPartitionTree, partition);
  if (!Save(&window, out, "2-partition-page.png")) return false;

  if (!driver.Click(id::kNext)) return Fail("Next is not usable on the partition page");
  if (!driver.WaitFor([&] { return driver.Wizard().Page() == 2 && !driver.Wizard().Busy(); }))
    return Fail("the Advance search did not end on the file-system page");
  if (!Save(&window, out, "3-file-system-page.png")) return false;

  if (!driver.Click(id::kNext)) return Fail("Next is not usable on the file-system page");
  if (!driver.WaitFor([&] { return driver.Wizard().Page() == 3 && !driver.Wizard().Busy(); }))
    return Fail("the results page did not come");
  const TreeItem folder = driver.FindItem(id::kResultsTree, QStringLiteral("PROJECTS"));
  if (folder == kNoItem) return Fail("the results tree has no PROJECTS folder");
  driver.ClickItem(id::kResultsTree, folder);
  driver.WaitIdle();
  driver.ClickItem(id::kResultsTree, folder, true);
  // The deleted file selected, so that the picture shows its preview and estimate.
  if (!driver.WaitFor(
          [&] { return driver.ListColumn(id::kDetailsList).contains(QStringLiteral("_RAFT.TXT")); }))
    return Fail("PROJECTS lists no _RAFT.TXT");
  driver.ClickListRow(
      id::kDetailsList,
      static_cast<int>(driver.ListColumn(id::kDetailsList).indexOf(QStringLiteral("_RAFT.TXT"))));
  if (!driver.WaitFor([&] { return window.Preview()->Kind() != gui::PreviewKind::kNone; }))
    return Fail("the preview shows nothing for _RAFT.TXT");
  if (!Save(&window, out, "4-results-page.png")) return false;

  // The About dialog, built as the window builds it from what the page logic gives.
  if (!driver.Click(id::kAbout) || driver.answers.dialogs.empty()) return Fail("About showed nothing");
  {
    std::unique_ptr<QDialog> about(gui::MakeInfoDialog(driver.answers.dialogs.back(), {}, &window));
    about->adjustSize();
    if (!Save(about.get(), out, "5-about-dialog.png")) return false;
  }

  driver.answers.destination = scratch.filePath(QStringLiteral("recovered")).toStdString();
  QDir().mkpath(QString::fromStdString(*driver.answers.destination));
  if (!driver.Click(id::kSave)) return Fail("Save is not usable on the results page");
  if (!driver.WaitIdle()) return Fail("the save did not end");
  if (!Save(&window, out, "6-after-save.png")) return false;
  driver.Close();

  // With no disk at all, the No device dialog comes up over the wizard, which stays usable.
  testing::WizardDriver empty({}, scratch.path().toStdString());
  QDialog* noDevice = nullptr;
  empty.WaitFor(
      [&] {
        noDevice = empty.window.findChild<QDialog*>(QStringLiteral("dialog301"));
        return noDevice && noDevice->isVisible();
      },
      10000);
  if (!noDevice) return Fail("no No device dialog without a disk");
  if (!Save(noDevice, out, "7-no-device-dialog.png")) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: quarrow_wizard_tour IMAGE OUTDIR\n");
    return 2;
  }
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  return Tour(argv[1], out) ? 0 : 1;
}
