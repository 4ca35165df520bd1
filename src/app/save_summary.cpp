#include "app/save_summary.h"

#include <cstdint>

namespace quarrow::app {

namespace {

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace

std::string SaveSummaryText(const RecoveryRunOutcome& outcome, std::string_view destination) {
  const RecoveryOutcome& w = outcome.written;
  std::string text = "Saved to " + std::string(destination) + ": " + Count(w.filesWritten, "file", "files") +
                     " written, " + std::to_string(w.skipped) + " skipped, " + std::to_string(w.failed) +
                     " failed";
  if (w.unreadableSectors > 0) {
    text += "; " + Count(w.unreadableSectors, "unreadable sector", "unreadable sectors") +
            " written as zeros in " + Count(w.filesWithGaps, "file", "files");
  }
  if (w.cancelled) {
    text += " (cancelled)";
  } else if (w.stopped) {
    text += " (stopped)";
  }
  return text;
}

}  // namespace quarrow::app
