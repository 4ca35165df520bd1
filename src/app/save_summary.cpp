#include "app/save_summary.h"

#include <cstdint>

#include "recovery/output_file.h"

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

std::string UnwritableDestinationText(const UnwritableDestination& unwritable) {
  const std::string destination = Utf8FromPath(unwritable.destination);
  const std::string blocking = Utf8FromPath(unwritable.blocking);
  const bool itself = unwritable.blockingIsDestination;
  std::string text;
  if (!unwritable.blockingIsFolder) {
    text = itself ? "\"" + destination + "\" is a file, not a folder."
                  : "The folder \"" + destination + "\" cannot be made: \"" + blocking +
                        "\" is a file, not a folder.";
  } else if (itself) {
    text = "The folder \"" + destination + "\" cannot be written to: " + unwritable.reason + ".";
  } else {
    text = "The folder \"" + destination + "\" cannot be made in \"" + blocking + "\": " + unwritable.reason +
           ".";
  }
  return text + "\n\nChoose another folder for the recovered files.";
}

}  // namespace quarrow::app
