#include "gui/wizard_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyleFactory>
#include <algorithm>
#include <optional>

#include "gui/controls.h"
#include "gui/wizard_window.h"

namespace quarrow::gui {

namespace {

// Enough for a photo's thumbnail; text and hex show far less of it.
constexpr std::size_t kPreviewBytes = std::size_t{8} << 20;

// The user guide is installed beside the program (share/doc/quarrow from its bin folder) and is
// found in the source tree when the program runs from its build folder.
std::string FindUserGuide() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QStringList places = {dir + QStringLiteral("/user-guide.html"),
                              dir + QStringLiteral("/../share/doc/quarrow/user-guide.html"),
#ifdef QUARROW_SOURCE_DIR
                              QStringLiteral(QUARROW_SOURCE_DIR "/docs/user-guide.html"),
#endif
                              dir + QStringLiteral("/../docs/user-guide.html")};
  for (const QString& place : places) {
    if (QFileInfo::exists(place)) return QFileInfo(place).absoluteFilePath().toStdString();
  }
  return {};
}

}  // namespace

app::WizardOptions OptionsFromArguments(const QStringList& arguments) {
  app::WizardOptions options;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QStringLiteral("--image") && i + 1 < arguments.size()) {
      options.images.push_back(QFileInfo(arguments[++i]).absoluteFilePath().toStdString());
    } else if (!argument.startsWith(QLatin1Char('-'))) {
      options.images.push_back(QFileInfo(argument).absoluteFilePath().toStdString());
    }
  }
  options.tempFolder = QDir::toNativeSeparators(QDir::tempPath()).toStdString();
  options.userGuide = FindUserGuide();
  return options;
}

WizardHost::WizardHost(WizardWindow& window, app::WizardOptions options)
    : window_(window), options_(std::move(options)) {
  connect(&window_, &WizardWindow::openImageRequested, this, &WizardHost::AskAndOpenImage);
  Start();
}

WizardHost::~WizardHost() {
  Close();
}

void WizardHost::Close() {
  if (!wizard_) return;
  window_.SetPreviewSource(nullptr);
  window_.Attach(nullptr);
  // The views let go of the trees before the page logic that owns them goes.
  for (int tree :
       {app::id::kDiskTree, app::id::kPartitionTree, app::id::kFileSystemTree, app::id::kResultsTree}) {
    window_.SetTree(tree, nullptr);
  }
  wizard_.reset();
  // Its No device dialog goes with it; a new page logic opens its own when it finds no disk.
  window_.CloseNoDeviceDialog();
}

void WizardHost::Start() {
  Close();
  wizard_ = std::make_unique<app::CChildDialogExDemoDlg>(window_, options_);
  window_.Attach(wizard_.get());
  // The preview pane shows the selected row's first bytes, which the page logic reads.
  window_.SetPreviewSource([wizard = wizard_.get()](int row) -> std::optional<WizardWindow::PreviewData> {
    std::optional<app::FilePreview> preview = wizard->PreviewListRow(row, kPreviewBytes);
    if (!preview) return std::nullopt;
    return WizardWindow::PreviewData{preview->name,
                                     QByteArray(reinterpret_cast<const char*>(preview->bytes.data()),
                                                static_cast<qsizetype>(preview->bytes.size())),
                                     preview->estimate};
  });
  wizard_->OnInitDialog();
}

bool WizardHost::OpenImage(const std::string& path) {
  if (!wizard_ || wizard_->Page() != 0 || wizard_->Busy() || path.empty()) return false;
  const std::string absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
  if (std::find(options_.images.begin(), options_.images.end(), absolute) == options_.images.end()) {
    options_.images.push_back(absolute);
  }
  Start();
  return true;
}

void WizardHost::AskAndOpenImage() {
  app::FileDialogSpec spec;
  spec.filter = "Disk images (*.img *.IMG *.dd *.raw *.bin *.ima *.iso)|*.img||All files (*)|*||";
  spec.folder = QDir::homePath().toStdString();
  if (std::optional<std::string> path = window_.AskFilePath(spec)) OpenImage(*path);
}

int RunWizard(QApplication& app) {
  // One look everywhere, whatever the desktop: the layout is measured for it.
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  Splash splash;
  splash.show();
  app.processEvents();

  WizardWindow window;
  WizardHost host(window, OptionsFromArguments(app.arguments()));
  QObject::connect(&window, &WizardWindow::wizardEnded, &app, [&app](int code) { app.exit(code); });
  window.show();
  splash.finish(&window);
  const int code = window.Ended() ? window.ExitCode() : app.exec();
  host.Close();
  return code;
}

}  // namespace quarrow::gui
