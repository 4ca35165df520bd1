// Recovered files on POSIX systems: created with O_EXCL under a temporary name, put in place with
// rename, without replacing an existing file through RENAME_NOREPLACE where the file system
// has it.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "recovery/output_file.h"
#include "recovery/safe_name.h"

namespace quarrow {
namespace {

// Temporary names are tried in turn: a name left by another run (or still in use by one) is
// passed over, and no run needs more than a handful.
constexpr int kMaxTemporaryAttempts = 10000;

std::string Reason(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

class PosixOutputFile : public OutputFile {
 public:
  PosixOutputFile(int fd, std::filesystem::path temporary) : fd_(fd), temporary_(std::move(temporary)) {}
  ~PosixOutputFile() override {
    if (!committed_) Discard();
  }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

  bool Write(std::span<const std::uint8_t> bytes, std::string* error) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (error) *error = Reason("cannot write", n < 0 ? errno : ENOSPC);
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Close(std::string* error) override {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    // A file system that reports a failed write only at close (NFS, a full FUSE disk) lost data.
    if (rc != 0 && errno != EINTR) {
      if (error) *error = Reason("cannot write", errno);
      return false;
    }
    return true;
  }

  CommitResult Commit(const std::filesystem::path& finalPath, bool replace, std::string* error) override {
    if (fd_ >= 0 && !Close(error)) return CommitResult::kFailed;
    const std::string from = temporary_.string();
    const std::string to = finalPath.string();
    if (!replace) {
#ifdef RENAME_NOREPLACE
      if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        committed_ = true;
        return CommitResult::kDone;
      }
      if (errno == EEXIST) return CommitResult::kExists;
      if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        if (error) *error = Reason("cannot name the file", errno);
        return CommitResult::kFailed;
      }
#endif
      // Without the flag, the name is tested first; only this run writes in its destination.
      struct stat st {};
      if (::lstat(to.c_str(), &st) == 0) return CommitResult::kExists;
    } else {
      struct stat st {};
      if (::lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (error) *error = "a folder of that name exists";
        return CommitResult::kFailed;
      }
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
      if (error) *error = Reason("cannot name the file", errno);
      return CommitResult::kFailed;
    }
    committed_ = true;
    return CommitResult::kDone;
  }

  void Discard() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!committed_) ::unlink(temporary_.c_str());
    committed_ = true;  // nothing is left to clean up
  }

  const std::filesystem::path& TemporaryPath() const override {
    return temporary_;
  }

 private:
  int fd_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<OutputFile> CreateTemporaryFile(const std::filesystem::path& folder, std::string* error) {
  const std::string prefix = ".qrw-" + std::to_string(::getpid()) + "-";
  for (int k = 0; k < kMaxTemporaryAttempts; ++k) {
    std::filesystem::path path = folder / (prefix + std::to_string(k) + ".part");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return std::make_unique<PosixOutputFile>(fd, std::move(path));
    if (errno != EEXIST) {
      if (error) *error = Reason("cannot create a file", errno);
      return nullptr;
    }
  }
  if (error) *error = "cannot create a file: every temporary name is taken";
  return nullptr;
}

NameRules DestinationNameRules() {
  return NameRules{};
}

}  // namespace quarrow
