#pragma once
// A Surface without widgets, for driving the wizard headless: it remembers what the page logic
// set on every control, records message boxes and dialogs, answers them from a script (or with
// their default), and runs posted calls when the test pumps them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/surface.h"

namespace quarrow::test_support {

class FakeSurface : public app::Surface {
 public:
  void Show(int id, bool visible) override { shown[id] = visible; }
  void Enable(int id, bool enabled) override { enabled_[id] = enabled; }
  void SetText(int id, std::string_view text) override {
    texts[id] = std::string(text);
    events.push_back("text " + std::to_string(id) + " " + std::string(text));
  }
  std::string Text(int id) const override {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  void SetChecked(int id, bool value) override { checked[id] = value; }
  bool Checked(int id) const override {
    auto it = checked.find(id);
    return it != checked.end() && it->second;
  }
  void SetComboIndex(int id, int index) override { combo[id] = index; }
  int ComboIndex(int id) const override {
    auto it = combo.find(id);
    return it == combo.end() ? -1 : it->second;
  }
  void SetProgress(int id, int position, std::string_view text) override {
    progress[id] = {position, std::string(text)};
  }
  void SetFocus(int id) override { focus = id; }
  void SetGuidance(std::string_view text) override {
    guidance = std::string(text);
    guidanceHistory.push_back(guidance);
  }
  void SetTree(int id, mytreectrl* model) override { trees[id] = model; }
  void SetList(int id, const app::ListContent& content) override { lists[id] = content; }
  void SetListSelection(int id, int row) override { listSelection[id] = row; }
  std::vector<int> SelectedListRows(int id) const override {
    auto it = selectedRows.find(id);
    return it == selectedRows.end() ? std::vector<int>{} : it->second;
  }
  app::MessageAnswer Message(const app::MessageSpec& spec) override {
    messages.push_back(spec);
    if (!answers.empty()) {
      app::MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return spec.defaultAnswer;
  }
  int ShowDialog(const app::InfoDialogContent& content) override {
    dialogs.push_back(content.dialog);
    return content.buttons.empty() ? 0 : content.buttons.front().id;
  }
  void OpenNoDeviceDialog(const app::InfoDialogContent&) override {
    noDeviceOpen = true;
    ++noDeviceOpened;
  }
  void CloseNoDeviceDialog() override { noDeviceOpen = false; }
  std::optional<std::string> AskFilePath(const app::FileDialogSpec& spec) override {
    fileDialogs.push_back(spec);
    if (filePaths.empty()) return std::nullopt;
    std::optional<std::string> path = filePaths.front();
    filePaths.pop_front();
    return path;
  }
  std::optional<std::string> AskDestination(std::string_view initial) override {
    destinationAsked.push_back(std::string(initial));
    return destination;
  }
  app::ReplaceReply AskReplace(std::string_view existing) override {
    replaceAsked.push_back(std::string(existing));
    return replaceReply;
  }
  void OpenProgressDialog(app::DialogId dialog) override {
    progressDialogs.push_back(dialog);
    events.push_back("open " + std::to_string(static_cast<int>(dialog)));
  }
  void CloseProgressDialog(app::DialogId dialog) override {
    closedProgressDialogs.push_back(dialog);
    events.push_back("close " + std::to_string(static_cast<int>(dialog)));
  }
  int PopupMenu(int menuId) override {
    menus.push_back(menuId);
    return menuAnswer;
  }
  void OpenExternal(std::string_view address) override { opened.push_back(std::string(address)); }
  void EndWizard(int code) override { exitCode = code; }
  void Post(std::function<void()> call) override {
    {
      std::lock_guard lock(mutex_);
      posted_.push_back(std::move(call));
    }
    wake_.notify_all();
  }

  // Runs the calls posted so far (and those they post); returns how many ran.
  int Pump() {
    int ran = 0;
    while (true) {
      std::function<void()> call;
      {
        std::lock_guard lock(mutex_);
        if (posted_.empty()) return ran;
        call = std::move(posted_.front());
        posted_.pop_front();
      }
      call();
      ++ran;
    }
  }
  // Pumps until done() holds or the deadline passes; false on the deadline.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::seconds deadline = std::chrono::seconds(120)) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (true) {
      Pump();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (!wake_.wait_until(lock, until, [this] { return !posted_.empty(); })) return done();
    }
  }

  bool Enabled(int id) const {
    auto it = enabled_.find(id);
    return it != enabled_.end() && it->second;
  }
  bool Shown(int id) const {
    auto it = shown.find(id);
    return it != shown.end() && it->second;
  }
  int CountMessages(std::string_view text) const {
    int n = 0;
    for (const auto& m : messages) n += m.text == text ? 1 : 0;
    return n;
  }
  int CountDialogs(app::DialogId dialog) const {
    int n = 0;
    for (auto d : dialogs) n += d == dialog ? 1 : 0;
    return n;
  }

  std::map<int, bool> shown, checked;
  std::map<int, bool> enabled_;
  std::map<int, std::string> texts;
  std::map<int, int> combo;
  std::map<int, std::pair<int, std::string>> progress;
  std::map<int, mytreectrl*> trees;
  std::map<int, app::ListContent> lists;
  std::map<int, int> listSelection;
  std::map<int, std::vector<int>> selectedRows;
  std::string guidance;
  std::vector<std::string> guidanceHistory;  // every guidance set, in order
  int focus = 0;
  std::vector<app::MessageSpec> messages;
  std::deque<app::MessageAnswer> answers;
  std::vector<app::DialogId> dialogs;
  bool noDeviceOpen = false;
  int noDeviceOpened = 0;
  std::vector<app::FileDialogSpec> fileDialogs;
  std::deque<std::optional<std::string>> filePaths;
  std::optional<std::string> destination;
  std::vector<std::string> destinationAsked;
  app::ReplaceReply replaceReply;
  std::vector<std::string> replaceAsked;
  std::vector<app::DialogId> progressDialogs, closedProgressDialogs;
  // Texts set and progress dialogs opened and closed, in order: "text 1301 NAME", "open 130".
  std::vector<std::string> events;
  std::vector<int> menus;
  int menuAnswer = 0;
  std::vector<std::string> opened;
  std::optional<int> exitCode;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace quarrow::test_support
