#pragma once
// A command of the command-line tool run the way a user runs it at a terminal: stderr on a
// pseudo-terminal of its own (so the live progress line is drawn), stdout into a file, stdin from
// /dev/null. The test reads what the terminal shows while the command runs and can signal it; a
// file-size limit (setrlimit RLIMIT_FSIZE in the child, as `ulimit -f` sets it) may be given.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {

class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const std::string slaveName = ptsname(master_);
    const int outFd = mkstemp(outName_);
    if (outFd < 0) return;
    std::vector<char*> argv;
    const std::string cli = CliPath();
    argv.push_back(const_cast<char*>(cli.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    child_ = fork();
    if (child_ == 0) {
      const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
      if (slave < 0) _exit(120);
      dup2(slave, 2);
      dup2(outFd, 1);
      const int devNull = open("/dev/null", O_RDONLY);
      if (devNull >= 0) dup2(devNull, 0);
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      if (fileSizeLimit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(122);
      execv(argv[0], argv.data());
      _exit(121);
    }
    close(outFd);
  }
  ~TerminalRun() {
    if (child_ > 0 && !exited_) {
      kill(child_, SIGKILL);
      waitpid(child_, &status_, 0);
    }
    if (master_ >= 0) close(master_);
    std::remove(outName_);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  bool Started() const { return child_ > 0; }

  // Reads the terminal until text has appeared in it; false when the command ended or the
  // timeout passed first.
  bool WaitFor(std::string_view text, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (terminal_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline || (Drain(100) & (POLLHUP | POLLERR))) return false;
    }
    return true;
  }

  void Signal(int sig) const {
    if (child_ > 0 && !exited_) kill(child_, sig);
  }

  // Waits for the command to end, killing it once timeout has passed; true when it exited by
  // itself. A terminal whose other side was closed reports a hang-up at once, again and again;
  // from then on the command writes nothing more, so it is waited for rather than polled.
  bool Finish(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exited_ && std::chrono::steady_clock::now() < deadline) {
      if (Drain(100) & (POLLHUP | POLLERR)) {
        exited_ = waitpid(child_, &status_, 0) == child_;
        break;
      }
      exited_ = waitpid(child_, &status_, WNOHANG) == child_;
    }
    if (exited_) Drain(0);
    return exited_ && WIFEXITED(status_);
  }

  int ExitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
  const std::string& Terminal() const { return terminal_; }
  std::string Out() const { return ReadWholeFile(outName_); }

 private:
  short Drain(int timeoutMs) {
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return p.revents;
      char buf[4096];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) return static_cast<short>(POLLHUP);
      terminal_.append(buf, static_cast<std::size_t>(n));
      timeoutMs = 0;
    }
  }

  int master_ = -1;
  pid_t child_ = -1;
  int status_ = 0;
  bool exited_ = false;
  char outName_[32] = "/tmp/qrw-cli-out.XXXXXX";
  std::string terminal_;
};

}  // namespace quarrow::testing
