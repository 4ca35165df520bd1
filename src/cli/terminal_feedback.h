#pragma once
// TerminalFeedback: the command line's view of a running scan. While stderr is a terminal it keeps
// one live line there (status text, progress bar with its text, the found counter), redrawn at
// most a few times a second; message boxes and advice dialogs become one-line texts on stderr.
// It never writes to stdout, so a command's --json output stays clean whatever a scan reports.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "core/feedback.h"

namespace quarrow::cli {

class TerminalFeedback : public Feedback {
 public:
  // Writes to `out` (stderr by default); the live line is drawn only when `out` is a terminal.
  explicit TerminalFeedback(std::FILE* out = stderr);
  // Same, with the terminal test decided by the caller (tests, or a --quiet style switch).
  TerminalFeedback(std::FILE* out, bool drawLiveLine);
  ~TerminalFeedback() override;

  TerminalFeedback(const TerminalFeedback&) = delete;
  TerminalFeedback& operator=(const TerminalFeedback&) = delete;

  // Status line (control::kStatus), counter labels and counters; other controls are ignored.
  void SetText(int controlId, std::string_view text) override;
  // Progress bars control::kProgress and control::kStageProgress.
  void SetProgress(int controlId, int position, std::string_view barText) override;
  // Prints "<title>: <text>" on one line. Nobody can answer on the command line, so a question
  // gets the answer set by SetQuestionAnswer (No unless changed), which is printed with it.
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override;
  // Prints the dialog's headline as one line, e.g. "Quarrow: Important: Recovery is not
  // possible in Standard Search mode, use Advance Search to recover your data." The command
  // shows the advice a search's outcome calls for this way.
  void ShowAdvice(AdviceDialog dialog);

  void SetQuestionAnswer(bool yes);
  // Clears the live line so that later output starts on a clean line; also done on destruction.
  void Finish();

  bool DrawsLiveLine() const { return live_; }
  std::string LastStatus() const;
  int LastProgress() const;

  // The one-line text of an advice dialog, without the product title.
  static std::string AdviceText(AdviceDialog dialog);

 private:
  void DrawLocked(bool force);
  void ClearLocked();
  std::string ComposeLocked(std::size_t width) const;

  std::FILE* out_;
  bool live_;
  bool questionAnswer_ = false;
  mutable std::mutex mutex_;
  std::string status_;
  std::string folderLabel_, folderCount_;  // "Directories Found\t\t:" and its counter
  std::string bootLabel_, bootCount_;      // boot sectors found (Advance search)
  std::string barText_;
  int position_ = -1;
  bool lineShown_ = false;
  bool dirty_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace quarrow::cli
