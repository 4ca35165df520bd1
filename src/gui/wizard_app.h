#pragma once
// Starting the wizard: the splash, the main window and its page logic, the event loop.

#include <QObject>
#include <QStringList>
#include <memory>
#include <string>

#include "app/wizard_dialog.h"

class QApplication;

namespace quarrow::gui {

class WizardWindow;

// The wizard's options from its command line: "quarrow-wizard [IMAGE...]" lists each disk image
// as a disk after the machine's removable disks.
app::WizardOptions OptionsFromArguments(const QStringList& arguments);

// The window with its page logic. The page logic lists its disks when it starts; opening a disk
// image on the disk page starts it again with that image among its disks, which is all the disk
// page holds.
class WizardHost : public QObject {
  Q_OBJECT

 public:
  WizardHost(WizardWindow& window, app::WizardOptions options);
  ~WizardHost() override;

  app::CChildDialogExDemoDlg& Wizard() { return *wizard_; }
  // Adds a disk image to the disks listed; false (nothing changes) off the disk page or while
  // work runs.
  bool OpenImage(const std::string& path);
  // Asks for an image with the window's file dialog, then opens it.
  void AskAndOpenImage();
  // Ends the page logic (it stops and waits for its work) and leaves the window without it.
  void Close();

 private:
  void Start();

  WizardWindow& window_;
  app::WizardOptions options_;
  std::unique_ptr<app::CChildDialogExDemoDlg> wizard_;
};

// Shows the splash, runs the wizard until it ends, and returns the program's exit code.
int RunWizard(QApplication& app);

}  // namespace quarrow::gui
