// SIGINT and SIGTERM are caught by a handler that only sets a flag and writes a byte to a pipe
// (all a signal handler may safely do); a watcher thread reads it and requests the stop. The
// second signal finds the default action restored and ends the program.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/interrupt.h"

namespace quarrow::cli {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler sets the flag");

constexpr int kSignals[] = {SIGINT, SIGTERM};

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_watches{0};
std::thread g_watcher;
struct sigaction g_previous[2]{};
std::mutex g_mutex;                           // guards g_target
std::stop_source g_target{std::nostopstate};  // where a stop goes now

void OnInterrupt(int sig) {
  const int saved = errno;
  g_interrupted = true;
  const char byte = 'i';
  if (g_pipe[1] >= 0) (void)!write(g_pipe[1], &byte, 1);
  // The next one takes the default action: the user really wants out.
  signal(sig, SIG_DFL);
  errno = saved;
}

void RequestTargetStop() {
  std::lock_guard lock(g_mutex);
  if (g_target.stop_possible()) g_target.request_stop();
}

}  // namespace

InterruptWatch::InterruptWatch() {
  if (g_watches++ > 0) return;
  outermost_ = true;
  g_interrupted = false;
  if (pipe(g_pipe) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;
  }
  fcntl(g_pipe[0], F_SETFD, FD_CLOEXEC);
  fcntl(g_pipe[1], F_SETFD, FD_CLOEXEC);
  g_watcher = std::thread([] {
    char byte = 0;
    for (;;) {
      const ssize_t n = read(g_pipe[0], &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == 'q') return;
      RequestTargetStop();
    }
  });
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptWatch::InterruptWatch(std::stop_source stop) : InterruptWatch() {
  Forward(std::move(stop));
}

InterruptWatch::~InterruptWatch() {
  if (!outermost_) {
    std::lock_guard lock(g_mutex);
    if (hadPrevious_) g_target = std::move(previous_);
    --g_watches;
    return;
  }
  {
    std::lock_guard lock(g_mutex);
    g_target = std::stop_source(std::nostopstate);
  }
  --g_watches;
  if (g_pipe[1] < 0) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  const char quit = 'q';
  (void)!write(g_pipe[1], &quit, 1);
  if (g_watcher.joinable()) g_watcher.join();
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
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
