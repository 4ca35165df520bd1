// SIGINT is caught by a handler that only writes a byte to a pipe (all a signal handler may
// safely do); a watcher thread reads it and requests the stop. The second SIGINT finds the
// default action restored and ends the program.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "cli/interrupt.h"

namespace quarrow::cli {
namespace {

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_interrupted{false};
std::thread g_watcher;
struct sigaction g_previous {};

void OnInterrupt(int) {
  const int saved = errno;
  const char byte = 'i';
  if (g_pipe[1] >= 0) (void)!write(g_pipe[1], &byte, 1);
  // The next Ctrl-C takes the default action: the user really wants out.
  signal(SIGINT, SIG_DFL);
  errno = saved;
}

}  // namespace

InterruptWatch::InterruptWatch(std::stop_source stop) {
  g_interrupted = false;
  if (pipe(g_pipe) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;
  }
  fcntl(g_pipe[0], F_SETFD, FD_CLOEXEC);
  fcntl(g_pipe[1], F_SETFD, FD_CLOEXEC);
  g_watcher = std::thread([stop]() mutable {
    char byte = 0;
    for (;;) {
      const ssize_t n = read(g_pipe[0], &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == 'q') return;
      g_interrupted = true;
      stop.request_stop();
    }
  });
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previous);
}

InterruptWatch::~InterruptWatch() {
  if (g_pipe[1] < 0) return;
  sigaction(SIGINT, &g_previous, nullptr);
  const char quit = 'q';
  (void)!write(g_pipe[1], &quit, 1);
  if (g_watcher.joinable()) g_watcher.join();
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

bool InterruptWatch::Interrupted() const {
  return g_interrupted;
}

}  // namespace quarrow::cli
