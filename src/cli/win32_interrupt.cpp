// Windows runs a console control handler on a thread of its own, where requesting the stop is
// safe; the second Ctrl-C is passed on, which ends the program. Closing the console window or
// ending the session (the SIGTERM of Windows) stops the run the same way.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "cli/interrupt.h"

namespace quarrow::cli {
namespace {

std::mutex g_mutex;
std::stop_source g_target{std::nostopstate};
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_watches{0};

BOOL WINAPI OnControl(DWORD type) {
  if (g_interrupted.exchange(true)) return FALSE;
  std::lock_guard lock(g_mutex);
  if (g_target.stop_possible()) g_target.request_stop();
  return type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  if (g_watches++ > 0) return;
  outermost_ = true;
  g_interrupted = false;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptWatch::InterruptWatch(std::stop_source stop) : InterruptWatch() {
  Forward(std::move(stop));
}

InterruptWatch::~InterruptWatch() {
  if (outermost_) SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard lock(g_mutex);
  if (outermost_) {
    g_target = std::stop_source(std::nostopstate);
  } else if (hadPrevious_) {
    g_target = std::move(previous_);
  }
  --g_watches;
}

void InterruptWatch::Forward(std::stop_source stop) {
  std::lock_guard lock(g_mutex);
  if (!hadPrevious_) {
    previous_ = g_target;
    hadPrevious_ = true;
  }
  g_target = std::move(stop);
  if (g_interrupted && g_target.stop_possible()) g_target.request_stop();
}

bool InterruptWatch::Interrupted() const {
  return g_interrupted;
}

}  // namespace quarrow::cli
