#include "disk/posix_block_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quarrow {
namespace {

class PosixBlockDevice : public BlockDevice {
 public:
  PosixBlockDevice(int fd, std::uint64_t size, std::uint32_t sectorSize, bool imageFile)
      : fd_(fd), size_(size), sectorSize_(sectorSize), imageFile_(imageFile) {}
  ~PosixBlockDevice() override { ::close(fd_); }
  PosixBlockDevice(const PosixBlockDevice&) = delete;
  PosixBlockDevice& operator=(const PosixBlockDevice&) = delete;

  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      // One request for the whole range on the happy path; the loop only continues a read the
      // kernel split.
      ssize_t n =
          ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(byteOffset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  std::uint64_t SizeBytes() const override { return size_; }
  std::uint32_t LogicalSectorSize() const override { return sectorSize_; }
  bool IsImageFile() const override { return imageFile_; }

 private:
  int fd_;
  std::uint64_t size_;
  std::uint32_t sectorSize_;
  bool imageFile_;
};

}  // namespace

std::unique_ptr<BlockDevice> PosixDeviceOpener::Open(const std::string& path, std::string* error) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error) {
      int e = errno;
      *error = "cannot open " + path + ": " + std::strerror(e);
      if (e == EACCES || e == EPERM) *error += " (run as root or join the disk group)";
    }
    return nullptr;
  }
  struct stat st {};
  std::uint64_t size = 0;
  std::uint32_t sectorSize = 0;
  const auto refuse = [&](const char* what) -> std::unique_ptr<BlockDevice> {
    ::close(fd);
    if (error) *error = "cannot read " + path + ": " + what;
    return nullptr;
  };
  if (::fstat(fd, &st) != 0) return refuse("its kind cannot be told");
  if (S_ISBLK(st.st_mode)) {
    std::uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
    int logical = 0;
    if (::ioctl(fd, BLKSSZGET, &logical) == 0 && logical > 0)
      sectorSize = static_cast<std::uint32_t>(logical);
  } else if (S_ISREG(st.st_mode)) {
    size = static_cast<std::uint64_t>(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    return refuse("it is a directory");
  } else {
    // A pipe, a socket or a character device (/dev/zero, a terminal) is no disk: it has no
    // sectors to come back to, and some of them never end.
    return refuse("it is neither a disk nor a disk image (a pipe, socket or character device)");
  }
  // Reads of disks and images wait for their data.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixBlockDevice>(fd, size, sectorSize, S_ISREG(st.st_mode));
}

}  // namespace quarrow
