#pragma once
// The five information dialogs as data: their titles, texts, links and buttons. A window draws
// them; the page logic decides when they appear and what their buttons and links do.

#include <string_view>

#include "app/surface.h"

namespace quarrow::app {

inline constexpr std::string_view kProductVersion = "4.0.1.6";

// The content of dialog (kAbout, kNoDevice, kStandardAdvice, kAdvanceAdvice, kConnectionHelp).
InfoDialogContent InfoDialog(DialogId dialog);

// The dialog an engine's advice names.
DialogId AdviceDialogId(AdviceDialog advice);

// The subject and body of the mail message the contact links open.
std::string_view ContactSubject();
std::string_view ContactBody();

}  // namespace quarrow::app
