// Windows runs a console control handler on a thread of its own, where requesting the stop is
// safe; the second Ctrl-C is passed on, which ends the program.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "cli/interrupt.h"

namespace quarrow::cli {
namespace {

std::mutex g_mutex;
std::optional<std::stop_source> g_stop;
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (g_interrupted.exchange(true)) return FALSE;
  std::lock_guard lock(g_mutex);
  if (g_stop) g_stop->request_stop();
  return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::stop_source stop) {
  {
    std::lock_guard lock(g_mutex);
    g_stop = std::move(stop);
  }
  g_interrupted = false;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard lock(g_mutex);
  g_stop.reset();
}

bool InterruptWatch::Interrupted() const {
  return g_interrupted;
}

}  // namespace quarrow::cli
