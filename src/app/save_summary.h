#pragma once
// What the user reads once a save is over, or when it cannot begin: where it went, how many
// files were written, skipped and failed, how many unreadable sectors were written as zeros, and
// whether it was cut short.
//
//   SaveSummaryText(outcome, "/media/backup")
//     -> "Saved to /media/backup: 3 files written, 1 skipped, 0 failed"

#include <string>
#include <string_view>

#include "session/recovery_run.h"

namespace quarrow::app {

std::string SaveSummaryText(const RecoveryRunOutcome& outcome, std::string_view destination);

// The message box of a destination that takes no file: the folder asked for, the part of its path
// that refused, and the system's reason.
//   "The folder \"/media/cd/out\" cannot be written to: Permission denied.\n\nChoose another ..."
std::string UnwritableDestinationText(const UnwritableDestination& unwritable);

}  // namespace quarrow::app
