#pragma once
// Starting the wizard: the splash, the main window and its page logic, the event loop.

#include <QStringList>

#include "app/wizard_dialog.h"

class QApplication;

namespace quarrow::gui {

// The wizard's options from its command line: "quarrow-wizard [IMAGE...]" lists each disk image
// as a disk after the machine's removable disks.
app::WizardOptions OptionsFromArguments(const QStringList& arguments);

// Shows the splash, runs the wizard until it ends, and returns the program's exit code.
int RunWizard(QApplication& app);

}  // namespace quarrow::gui
