#pragma once
// How engines report to whoever drives them: status texts, counters, progress bars, the stage a
// search has reached, and message boxes. What the user may do next (buttons, the page's guidance,
// advice dialogs) is not theirs to say: each job ends with an outcome that the page logic (or the
// command line) turns into that. Controls are named by the IDs of the main dialog, which stay the
// stable names of the status lines and counters.

#include <cstdint>
#include <string>
#include <string_view>

namespace quarrow {

// Progress bar position of a stage: current x 100 / last, capped at 100 (an empty range is done).
inline int ProgressPercent(std::uint64_t current, std::uint64_t last) {
  if (last == 0) return 100;
  const std::uint64_t value = current * 100 / last;
  return value > 100 ? 100 : static_cast<int>(value);
}

namespace control {
inline constexpr int kStatus = 1074;    // one line naming the current stage
inline constexpr int kProgress = 1073;  // scan progress bar that also shows a text
inline constexpr int kFolderCounterLabel = 1083;
inline constexpr int kFolderCounter = 1084;  // folders (or MFT records) found
inline constexpr int kBootCounterLabel = 1081;
inline constexpr int kBootCounter = 1082;    // boot sectors found
inline constexpr int kStageProgress = 1183;  // second-stage progress bar
inline constexpr int kStageProgressText = 1185;
inline constexpr int kEnumerating = 1191;  // "Currently Enumerating k / n"
inline constexpr int kCurrentFolder = 1094;
inline constexpr int kStopSearching = 1092;
inline constexpr int kLoadLog = 1057;
inline constexpr int kNext = 1058;
inline constexpr int kBack = 1059;
inline constexpr int kDetailsList = 1105;
}  // namespace control

enum class MessageIcon { kNone, kError, kQuestion, kInformation };

// Advice dialogs, by their template numbers (what an outcome may call for; the front ends show them).
enum class AdviceDialog {
  kNoDevice = 301,
  kStandardSearch = 305,
  kAdvanceSearch = 308,
  kConnectionHelp = 312
};

inline constexpr std::string_view kProductTitle = "Quarrow";

// Stages of a search that change what its front end offers once they have begun.
enum class SearchStage {
  kAnalysis,  // the reading stage is over; its finds are analysed into file systems (Advance)
  kLinking,   // folders whose parent was not found are linked; a stop no longer cuts anything short
  kTree,      // the results tree is built from the rows found
};

class Feedback {
 public:
  virtual ~Feedback() = default;
  // Sets the text of a static control (status line, counter, label).
  virtual void SetText(int controlId, std::string_view text) { (void)controlId, (void)text; }
  // Moves a progress bar to position (0-100) and sets the text it shows.
  virtual void SetProgress(int controlId, int position, std::string_view barText) {
    (void)controlId, (void)position, (void)barText;
  }
  // Shows or hides a progress display (a bar, a counter, a stage text) while its stage runs.
  virtual void ShowControl(int controlId, bool visible) { (void)controlId, (void)visible; }
  // A message box; returns true for Yes (question boxes) and true otherwise.
  virtual bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) {
    (void)text, (void)title, (void)icon;
    return true;
  }
  // A stage of the search has begun.
  virtual void StageBegun(SearchStage stage) { (void)stage; }
};

// A progress bar moved only when its percent changes: a stage that reports every sector, cluster
// or row would otherwise send a call for each, to a bar of a hundred positions.
class ProgressSteps {
 public:
  // shown: the percent the bar shows already (-1: none yet, so that the first Show moves it).
  // text: what the bar says beside its percent.
  explicit ProgressSteps(Feedback& ui, int controlId = control::kProgress, int shown = -1,
                         std::string_view text = "Completed ")
      : ui_(ui), control_(controlId), shown_(shown), text_(text) {}
  // Moves the bar to current of last, with its text, when that changes its percent; true when it
  // moved.
  bool Show(std::uint64_t current, std::uint64_t last) {
    const int percent = ProgressPercent(current, last);
    if (percent == shown_) return false;
    ui_.SetProgress(control_, percent, text_);
    shown_ = percent;
    return true;
  }

 private:
  Feedback& ui_;
  int control_;
  int shown_;
  std::string_view text_;
};

// A Feedback that discards everything, for callers that do not show progress.
inline Feedback& NullFeedback() {
  static Feedback silent;
  return silent;
}

}  // namespace quarrow
