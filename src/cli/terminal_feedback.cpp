#include "cli/terminal_feedback.h"

#include <algorithm>

#include "cli/terminal.h"
#include "partition/lost_partition_search.h"

namespace quarrow::cli {
namespace {

// Redrawing more often than this only costs time: the scan reports every cluster.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarCells = 20;
constexpr int kMinBarCells = 5;

// Static texts may hold tabs (labels line up their colons with them) and line breaks; on one
// terminal line a run of those becomes one space. Spaces are the texts' own and stay.
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool gap = false;
  for (char c : text) {
    if (c == '\t' || c == '\r' || c == '\n') {
      gap = true;
      continue;
    }
    if (gap && !out.empty() && out.back() != ' ' && c != ' ') out += ' ';
    gap = false;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

TerminalFeedback::TerminalFeedback(std::FILE* out) : TerminalFeedback(out, IsTerminal(out)) {}

TerminalFeedback::TerminalFeedback(std::FILE* out, bool drawLiveLine) : out_(out), live_(drawLiveLine) {
  if (!out_) live_ = false;
}

TerminalFeedback::~TerminalFeedback() {
  Finish();
}

void TerminalFeedback::SetText(int controlId, std::string_view text) {
  std::lock_guard lock(mutex_);
  std::string* target = nullptr;
  switch (controlId) {
    case control::kStatus:
    case control::kEnumerating:
    case lost_partition_control::kProgressText:
      target = &status_;
      break;
    case control::kFolderCounterLabel:
      target = &folderLabel_;
      break;
    case control::kFolderCounter:
      target = &folderCount_;
      break;
    case control::kBootCounterLabel:
      target = &bootLabel_;
      break;
    case control::kBootCounter:
      target = &bootCount_;
      break;
    case control::kStageProgressText:
      target = &barText_;
      break;
    default:
      return;
  }
  if (*target == text) return;
  target->assign(text);
  dirty_ = true;
  DrawLocked(false);
}

void TerminalFeedback::SetProgress(int controlId, int position, std::string_view barText) {
  if (controlId != control::kProgress && controlId != control::kStageProgress &&
      controlId != lost_partition_control::kProgress)
    return;
  std::lock_guard lock(mutex_);
  position = std::clamp(position, 0, 100);
  if (position == position_ && barText_ == barText) return;
  position_ = position;
  barText_.assign(barText);
  dirty_ = true;
  DrawLocked(false);
}

bool TerminalFeedback::MessageBox(std::string_view text, std::string_view title, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  const bool answer = icon == MessageIcon::kQuestion ? questionAnswer_ : true;
  if (!out_) return answer;
  ClearLocked();
  std::string line(title.empty() ? kProductTitle : title);
  line += ": ";
  line += OneLine(text);
  if (icon == MessageIcon::kQuestion) line += answer ? " (answered Yes)" : " (answered No)";
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  dirty_ = true;  // the live line comes back with the next update
  return answer;
}

std::string TerminalFeedback::AdviceText(AdviceDialog dialog) {
  switch (dialog) {
    case AdviceDialog::kNoDevice:
      return "Could not find any iPod or other Removable Storage Device Connected to your Computer.";
    case AdviceDialog::kStandardSearch:
      return "Important: Recovery is not possible in Standard Search mode, use Advance Search to "
             "recover your data.";
    case AdviceDialog::kAdvanceSearch:
      return "Important: No file system could be identified. Recovery is not possible in Advance "
             "Search mode.";
    case AdviceDialog::kConnectionHelp:
      return "1. Temporarily Uninstall the iTunes software from your computer so that it may not block "
             "data recovery software to access your iPod storage to perform search on it.";
  }
  return {};
}

void TerminalFeedback::ShowAdvice(AdviceDialog dialog) {
  std::lock_guard lock(mutex_);
  if (!out_) return;
  ClearLocked();
  std::string line(kProductTitle);
  line += ": ";
  line += AdviceText(dialog);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  dirty_ = true;
}

void TerminalFeedback::SetQuestionAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  questionAnswer_ = yes;
}

void TerminalFeedback::Finish() {
  std::lock_guard lock(mutex_);
  ClearLocked();
}

std::string TerminalFeedback::LastStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

int TerminalFeedback::LastProgress() const {
  std::lock_guard lock(mutex_);
  return position_;
}

std::string TerminalFeedback::ComposeLocked(std::size_t width) const {
  // Status and counters first: on a narrow terminal the bar gives up cells before they are cut.
  std::string line = OneLine(status_);
  // A counter shows only with its label: a stage that has no use for one still zeroes it.
  auto counter = [&line](const std::string& label, const std::string& count) {
    const std::string l = OneLine(label);
    if (count.empty() || l.empty()) return;
    if (!line.empty()) line += "  ";
    line += l;
    line += ' ';
    line += count;
  };
  counter(folderLabel_, folderCount_);
  counter(bootLabel_, bootCount_);
  if (position_ < 0) return line;

  std::string tail = "] " + std::to_string(position_) + "%";
  const std::string text = OneLine(barText_);
  if (!text.empty()) tail += " " + text;
  const std::size_t lead = line.empty() ? 1 : line.size() + 3;  // "  [" or "["
  int cells = kBarCells;
  if (width > lead + tail.size() + 1) {
    cells = std::clamp(static_cast<int>(width - 1 - lead - tail.size()), kMinBarCells, kBarCells);
  } else {
    cells = kMinBarCells;
  }
  const int filled = position_ * cells / 100;
  line += line.empty() ? "[" : "  [";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(cells - filled), ' ');
  line += tail;
  return line;
}

void TerminalFeedback::DrawLocked(bool force) {
  if (!live_ || !dirty_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && lineShown_ && now - lastDraw_ < kRedrawInterval) return;
  const std::size_t width = TerminalWidth(out_);
  std::string line = ComposeLocked(width);
  // A line longer than the terminal wraps, and "\r" would then redraw only its last part.
  if (width > 1 && line.size() > width - 1) line.resize(width - 1);
  std::string frame = "\r";
  frame += line;
  frame += "\x1b[K";
  std::fwrite(frame.data(), 1, frame.size(), out_);
  std::fflush(out_);
  lineShown_ = true;
  dirty_ = false;
  lastDraw_ = now;
}

void TerminalFeedback::ClearLocked() {
  if (!live_ || !lineShown_) return;
  static constexpr char kClear[] = "\r\x1b[K";
  std::fwrite(kClear, 1, sizeof kClear - 1, out_);
  std::fflush(out_);
  lineShown_ = false;
}

}  // namespace quarrow::cli
