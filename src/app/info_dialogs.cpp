#include "app/info_dialogs.h"

namespace quarrow::app {

InfoDialogContent InfoDialog(DialogId dialog) {
  InfoDialogContent c;
  c.dialog = dialog;
  c.title = "Quarrow";
  switch (dialog) {
    case DialogId::kNoDevice:
      c.texts = {
          {"Could not find any iPod or other Removable Storage Device Connected to your Computer.", 0, true},
          {"1. Temporarily uninstall the media player software of your computer so that it does not block "
           "access to the device.",
           0, false},
          {"2. Or turn on the disk mode ('Enable disk use') of your device in its media player software.", 0,
           false},
          {"3. Or connect the device to another computer.", 0, false},
          {"Follow these steps to \xE2\x80\x98"
           "Enable disk use\xE2\x80\x99 of your iPod from iTunes.",
           id::kNoDeviceEnableDiskLink, false},
          {"click here to contact us...", id::kNoDeviceContactLink, false},
          {"Visit our web site", id::kNoDeviceWebLink, false},
      };
      c.buttons = {{id::kNoDeviceRetry, "Retry"}, {id::kNoDeviceExit, "Exit"}};
      break;
    case DialogId::kStandardAdvice:
      c.texts = {
          {"Important:", 0, true},
          {"Recovery is not possible in Standard Search mode, use Advance Search to recover your data.", 0,
           false},
          {"1. Both the recovery modes (i.e. Standard Search and Advance Search) recover data using "
           "different",
           0, false},
          {" Data Recovery Techniques in different cases of data loss. In most of the data loss cases, at "
           "least ",
           0, false},
          {"one recovery mode may work for you, even if another fails to recover data.", 0, false},
          {"2. It is strongly recommended that you should allow every process to be completed 100%.", 0,
           false},
          {"click here to contact us...", id::kStandardAdviceContactLink, false},
      };
      c.buttons = {{id::kStandardAdviceOk, "OK"}};
      break;
    case DialogId::kAdvanceAdvice:
      c.texts = {
          {"Important:", 0, true},
          {"No file system could be identified. Recovery is not possible in Advance Search mode.", 0, false},
          {"1. Both the recovery modes (i.e. Standard Search and Advance Search) recover data using "
           "different "
           "Data Recovery Techniques in different cases of data loss. In Most of the data loss cases, at "
           "least one recovery mode may work for you, even if another fails to recover data.",
           0, false},
          {"2. It is strongly recommended that you should allow every process to be completed 100%.", 0,
           false},
          {"3. For Help on connecting iPod for recovery, ", 0, false},
          {"click here.", id::kAdvanceAdviceHelpLink, false},
          {"click here to contact us...", id::kAdvanceAdviceContactLink, false},
          {"Visit our web site", id::kAdvanceAdviceWebLink, false},
      };
      c.buttons = {{id::kAdvanceAdviceOk, "OK"}};
      break;
    case DialogId::kConnectionHelp:
      c.texts = {
          {"1. Temporarily Uninstall the iTunes software from your computer so that it may not block data "
           "recovery software to access your iPod storage to perform search on it.",
           0, false},
          {"2. OR you can also turn on 'Enable Disk Use' option of your iPod from iTunes by selecting iPod "
           "Device as displayed in Selection Box (A) and (B) in following screen:",
           0, false},
      };
      c.picture = 311;
      c.buttons = {{id::kConnectionHelpOk, "OK"}};
      break;
    case DialogId::kAbout:
      c.title = "About Quarrow";
      c.texts = {
          {"Quarrow " + std::string(kProductVersion), 0, true},
          {"Support", id::kAboutSupportLink, false},
          {"Web site", id::kAboutWebLink, false},
      };
      c.buttons = {{id::kAboutOk, "OK"}};
      break;
    default:
      break;
  }
  return c;
}

DialogId AdviceDialogId(AdviceDialog advice) {
  switch (advice) {
    case AdviceDialog::kNoDevice:
      return DialogId::kNoDevice;
    case AdviceDialog::kStandardSearch:
      return DialogId::kStandardAdvice;
    case AdviceDialog::kAdvanceSearch:
      return DialogId::kAdvanceAdvice;
    case AdviceDialog::kConnectionHelp:
      return DialogId::kConnectionHelp;
  }
  return DialogId::kStandardAdvice;
}

std::string_view ContactSubject() {
  return "Quarrow Question";
}

std::string_view ContactBody() {
  return "Operating system:\n"
         "Security, antivirus or firewall software:\n"
         "Hardware configuration:\n"
         "Media type:\n"
         "Storage capacity:\n"
         "Manufacturer:\n"
         "Possible cause of data loss:\n"
         "Error message:\n"
         "Further details:\n";
}

}  // namespace quarrow::app
