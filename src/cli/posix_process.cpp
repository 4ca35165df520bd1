#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "cli/process.h"

namespace quarrow::cli {
namespace {

std::atomic<bool> g_stdoutClosed{false};

}  // namespace

void EnsureStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) g_stdoutClosed = true;
    // open() takes the lowest free descriptor, which is fd itself.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);
  }
  // A recovered file larger than the file-size limit then fails its write (EFBIG) and is reported
  // failed, instead of the signal ending the program with a half-written file and no report.
  ::signal(SIGXFSZ, SIG_IGN);
}

bool StandardOutputClosed() {
  return g_stdoutClosed;
}

}  // namespace quarrow::cli
