// Recovered files on POSIX systems. Every folder of the destination is held open and everything
// is made relative to it (mkdirat, openat, renameat, utimensat), with O_NOFOLLOW and
// AT_SYMLINK_NOFOLLOW throughout: a folder swapped for a link meanwhile is refused, never
// followed, and no path is longer than one name. Files are created with O_EXCL under a
// temporary name and put in place with renameat, without replacing an existing file through
// RENAME_NOREPLACE where the file system has it.
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

std::string Name(std::string_view name) {
  return std::string(name);
}

// A descriptor closed with its owner.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

class PosixOutputFile : public OutputFile {
 public:
  // folder: a descriptor of the folder of its own (duplicated), so the file outlives no handle.
  PosixOutputFile(int folder, int fd, std::string temporary)
      : folder_(folder), fd_(fd), temporary_(std::move(temporary)) {}
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

  bool SetModified(std::time_t when) override {
    if (fd_ < 0) return false;
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::futimens(fd_, times) == 0;
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

  CommitResult Commit(std::string_view finalName, bool replace, std::string* error) override {
    if (fd_ >= 0 && !Close(error)) return CommitResult::kFailed;
    const std::string to = Name(finalName);
    const int dir = folder_.get();
    if (!replace) {
#ifdef RENAME_NOREPLACE
      if (::renameat2(dir, temporary_.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) {
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
      if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return CommitResult::kExists;
    } else {
      struct stat st {};
      if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        if (error) *error = "a folder of that name exists";
        return CommitResult::kFailed;
      }
    }
    if (::renameat(dir, temporary_.c_str(), dir, to.c_str()) != 0) {
      if (error) *error = Reason("cannot name the file", errno);
      return CommitResult::kFailed;
    }
    committed_ = true;
    return CommitResult::kDone;
  }

  void Discard() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!committed_) ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    committed_ = true;  // nothing is left to clean up
  }

 private:
  Fd folder_;
  int fd_;
  std::string temporary_;
  bool committed_ = false;
};

class PosixFolder : public DestinationFolder {
 public:
  explicit PosixFolder(int fd) : fd_(fd) {}

  Entry Find(std::string_view name) const override {
    struct stat st {};
    if (::fstatat(fd_.get(), Name(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      // A name that cannot be looked at is taken as there: nothing is written over it.
      return errno == ENOENT ? Entry::kNone : Entry::kOther;
    }
    if (S_ISREG(st.st_mode)) return Entry::kFile;
    if (S_ISDIR(st.st_mode)) return Entry::kFolder;
    return Entry::kOther;
  }

  Made MakeFolder(std::string_view name, std::unique_ptr<DestinationFolder>* opened,
                  std::string* error) override {
    const std::string n = Name(name);
    bool made = ::mkdirat(fd_.get(), n.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
      if (error) *error = Reason("cannot make the folder", errno);
      return Made::kFailed;
    }
    const int fd = OpenBelow(n);
    if (fd < 0) {
      const int e = errno;
      // Something other than a real folder has the name (it was there, or took the new one's
      // place): the folder is not entered.
      if (!made && (e == ELOOP || e == ENOTDIR)) return Made::kNotAFolder;
      if (error) *error = Reason("cannot open the folder", e);
      return Made::kFailed;
    }
    *opened = std::make_unique<PosixFolder>(fd);
    return made ? Made::kMade : Made::kExisted;
  }

  std::unique_ptr<DestinationFolder> OpenFolder(std::string_view name, std::string* error) const override {
    const int fd = OpenBelow(Name(name));
    if (fd < 0) {
      if (error) *error = Reason("cannot open the folder", errno);
      return nullptr;
    }
    return std::make_unique<PosixFolder>(fd);
  }

  std::unique_ptr<OutputFile> CreateTemporaryFile(std::string* error) override {
    const std::string prefix = ".qrw-" + std::to_string(::getpid()) + "-";
    for (int k = 0; k < kMaxTemporaryAttempts; ++k) {
      std::string name = prefix + std::to_string(k) + ".part";
      const int fd =
          ::openat(fd_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) {
        const int folder = ::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
        if (folder < 0) {
          const int e = errno;
          ::unlinkat(fd_.get(), name.c_str(), 0);
          ::close(fd);
          if (error) *error = Reason("cannot create a file", e);
          return nullptr;
        }
        return std::make_unique<PosixOutputFile>(folder, fd, std::move(name));
      }
      if (errno != EEXIST) {
        if (error) *error = Reason("cannot create a file", errno);
        return nullptr;
      }
    }
    if (error) *error = "cannot create a file: every temporary name is taken";
    return nullptr;
  }

  bool SetModified(std::string_view name, std::time_t when) override {
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::utimensat(fd_.get(), Name(name).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
  }

  bool IsSameFile(std::string_view name, const std::filesystem::path& path) const override {
    struct stat here {
    }, there{};
    if (path.empty() || ::fstatat(fd_.get(), Name(name).c_str(), &here, AT_SYMLINK_NOFOLLOW) != 0)
      return false;
    return ::stat(path.c_str(), &there) == 0 && here.st_dev == there.st_dev && here.st_ino == there.st_ino;
  }

 private:
  int OpenBelow(const std::string& name) const {
    return ::openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }

  Fd fd_;
};

}  // namespace

std::unique_ptr<DestinationFolder> OpenDestinationFolder(const std::filesystem::path& path,
                                                         std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixFolder>(fd);
}

NameRules DestinationNameRules() {
  return NameRules{};
}

}  // namespace quarrow
