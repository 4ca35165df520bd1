#pragma once
// What many tests need: little-endian byte writers for building sectors in memory, and a
// Feedback that records everything the engines report.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/feedback.h"

namespace quarrow::test_support {

// Environment variables (TZ, say) set and removed the same way on POSIX systems and Windows; the
// C runtime's idea of the time zone follows at once.
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
  _tzset();
#else
  ::setenv(name, value, 1);
  ::tzset();
#endif
}
inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
  _tzset();
#else
  ::unsetenv(name);
  ::tzset();
#endif
}

inline void Put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t v) {
  bytes[at] = static_cast<std::uint8_t>(v);
  bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t v) {
  for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutText(std::span<std::uint8_t> bytes, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[at + i] = static_cast<std::uint8_t>(text[i]);
}

// Records every call, in order; questions get `answer`.
class RecordingFeedback : public Feedback {
 public:
  struct Text {
    int controlId;
    std::string text;
  };
  struct Progress {
    int controlId;
    int position;
    std::string barText;
  };
  struct Box {
    std::string text, title;
    MessageIcon icon;
  };

  void SetText(int controlId, std::string_view text) override {
    texts.push_back({controlId, std::string(text)});
    lastText[controlId] = std::string(text);
  }
  void SetProgress(int controlId, int position, std::string_view barText) override {
    progress.push_back({controlId, position, std::string(barText)});
  }
  void ShowControl(int controlId, bool visible) override {
    shown[controlId] = visible;
    shows.emplace_back(controlId, visible);
  }
  bool MessageBox(std::string_view text, std::string_view title, MessageIcon icon) override {
    boxes.push_back({std::string(text), std::string(title), icon});
    messages.push_back(std::string(title) + ": " + std::string(text));
    return icon == MessageIcon::kQuestion ? answer : true;
  }
  void StageBegun(SearchStage stage) override { stages.push_back(stage); }

  bool HasText(int controlId, std::string_view text) const {
    for (const auto& t : texts) {
      if (t.controlId == controlId && t.text == text) return true;
    }
    return false;
  }

  std::vector<Text> texts;
  std::map<int, std::string> lastText;  // the text each control shows now
  std::vector<Progress> progress;
  std::map<int, bool> shown;
  std::vector<std::pair<int, bool>> shows;  // every ShowControl, in order
  std::vector<Box> boxes;
  std::vector<std::string> messages;  // "title: text"
  std::vector<SearchStage> stages;
  bool answer = true;
};

}  // namespace quarrow::test_support
