#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "cli/process.h"

namespace quarrow::cli {

void EnsureStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is fd itself.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);
  }
}

}  // namespace quarrow::cli
