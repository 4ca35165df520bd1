#include "gui/wizard_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyleFactory>

#include "gui/controls.h"
#include "gui/wizard_window.h"

namespace quarrow::gui {

namespace {

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

int RunWizard(QApplication& app) {
  // One look everywhere, whatever the desktop: the layout is measured for it.
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  Splash splash;
  splash.show();
  app.processEvents();

  WizardWindow window;
  app::CChildDialogExDemoDlg wizard(window, OptionsFromArguments(app.arguments()));
  window.Attach(&wizard);
  wizard.OnInitDialog();
  QObject::connect(&window, &WizardWindow::wizardEnded, &app, [&app](int code) { app.exit(code); });
  window.show();
  splash.finish(&window);
  const int code = window.Ended() ? window.ExitCode() : app.exec();
  window.Attach(nullptr);
  return code;
}

}  // namespace quarrow::gui
