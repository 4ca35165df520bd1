#pragma once
// What the user reads once a save is over: where it went, how many files were written, skipped
// and failed, how many unreadable sectors were written as zeros, and whether it was cut short.
//
//   SaveSummaryText(outcome, "/media/backup")
//     -> "Saved to /media/backup: 3 files written, 1 skipped, 0 failed"

#include <string>
#include <string_view>

#include "session/recovery_run.h"

namespace quarrow::app {

std::string SaveSummaryText(const RecoveryRunOutcome& outcome, std::string_view destination);

}  // namespace quarrow::app
