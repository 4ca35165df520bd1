// Recovered files on Windows: created with CREATE_NEW under a temporary name, put in place with
// MoveFileExW (replacing only when asked to). A folder is known by its path; a name that is a
// reparse point (a junction, a symbolic link) is never entered or written through.
#include <windows.h>

#include <algorithm>
#include <string>

#include "recovery/output_file.h"
#include "recovery/safe_name.h"

namespace quarrow {
namespace {

constexpr int kMaxTemporaryAttempts = 10000;

std::string Reason(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

FILETIME FileTimeOf(std::time_t when) {
  // FILETIME counts 100 ns steps from 1601; time_t seconds from 1970.
  const ULONGLONG ticks = (static_cast<ULONGLONG>(when) + 11644473600ULL) * 10000000ULL;
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::filesystem::path folder, std::filesystem::path temporary)
      : handle_(handle), folder_(std::move(folder)), temporary_(std::move(temporary)) {}
  ~Win32OutputFile() override {
    if (!committed_) Discard();
  }
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

  bool Write(std::span<const std::uint8_t> bytes, std::string* error) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data() + done, ask, &written, nullptr) || written == 0) {
        if (error) *error = Reason("cannot write", ::GetLastError());
        return false;
      }
      done += written;
    }
    return true;
  }

  bool SetModified(std::time_t when) override {
    const FILETIME t = FileTimeOf(when);
    return handle_ != INVALID_HANDLE_VALUE && ::SetFileTime(handle_, nullptr, nullptr, &t);
  }

  bool Close(std::string* error) override {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const BOOL ok = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!ok) {
      if (error) *error = Reason("cannot write", ::GetLastError());
      return false;
    }
    return true;
  }

  CommitResult Commit(std::string_view finalName, bool replace, std::string* error) override {
    if (handle_ != INVALID_HANDLE_VALUE && !Close(error)) return CommitResult::kFailed;
    const std::filesystem::path target = folder_ / PathFromUtf8(finalName);
    if (::MoveFileExW(temporary_.c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
      committed_ = true;
      return CommitResult::kDone;
    }
    const DWORD e = ::GetLastError();
    if (!replace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return CommitResult::kExists;
    if (error) *error = Reason("cannot name the file", e);
    return CommitResult::kFailed;
  }

  void Discard() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!committed_) ::DeleteFileW(temporary_.c_str());
    committed_ = true;
  }

 private:
  HANDLE handle_;
  std::filesystem::path folder_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

class Win32Folder : public DestinationFolder {
 public:
  explicit Win32Folder(std::filesystem::path path) : path_(std::move(path)) {}

  Entry Find(std::string_view name) const override {
    const DWORD a = ::GetFileAttributesW(Below(name).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      const DWORD e = ::GetLastError();
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? Entry::kNone : Entry::kOther;
    }
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return Entry::kOther;
    return (a & FILE_ATTRIBUTE_DIRECTORY) ? Entry::kFolder : Entry::kFile;
  }

  Made MakeFolder(std::string_view name, std::unique_ptr<DestinationFolder>* opened,
                  std::string* error) override {
    const std::filesystem::path path = Below(name);
    const bool made = ::CreateDirectoryW(path.c_str(), nullptr) != 0;
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      if (error) *error = Reason("cannot make the folder", ::GetLastError());
      return Made::kFailed;
    }
    if (Find(name) != Entry::kFolder) {
      if (!made) return Made::kNotAFolder;
      if (error) *error = "cannot open the folder: it is no longer a folder";
      return Made::kFailed;
    }
    *opened = std::make_unique<Win32Folder>(path);
    return made ? Made::kMade : Made::kExisted;
  }

  std::unique_ptr<DestinationFolder> OpenFolder(std::string_view name, std::string* error) const override {
    if (Find(name) != Entry::kFolder) {
      if (error) *error = "cannot open the folder: it is no longer a folder";
      return nullptr;
    }
    return std::make_unique<Win32Folder>(Below(name));
  }

  std::unique_ptr<OutputFile> CreateTemporaryFile(std::string* error) override {
    const std::string prefix = ".qrw-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int k = 0; k < kMaxTemporaryAttempts; ++k) {
      std::filesystem::path path = path_ / (prefix + std::to_string(k) + ".part");
      HANDLE handle =
          ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE)
        return std::make_unique<Win32OutputFile>(handle, path_, std::move(path));
      const DWORD e = ::GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) {
        if (error) *error = Reason("cannot create a file", e);
        return nullptr;
      }
    }
    if (error) *error = "cannot create a file: every temporary name is taken";
    return nullptr;
  }

  bool SetModified(std::string_view name, std::time_t when) override {
    HANDLE h =
        ::CreateFileW(Below(name).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const FILETIME t = FileTimeOf(when);
    const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &t);
    ::CloseHandle(h);
    return ok != 0;
  }

  bool IsSameFile(std::string_view name, const std::filesystem::path& path) const override {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return Info(Below(name), &a) && Info(path, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  }

 private:
  std::filesystem::path Below(std::string_view name) const { return path_ / PathFromUtf8(name); }
  static bool Info(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = ::GetFileInformationByHandle(h, info);
    ::CloseHandle(h);
    return ok != 0;
  }

  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<DestinationFolder> OpenDestinationFolder(const std::filesystem::path& path,
                                                         std::string* error) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
    if (error) *error = "not a folder";
    return nullptr;
  }
  return std::make_unique<Win32Folder>(path);
}

NameRules DestinationNameRules() {
  NameRules rules;
  rules.windows = true;
  return rules;
}

}  // namespace quarrow
