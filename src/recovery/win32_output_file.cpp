// Recovered files on Windows: created with CREATE_NEW under a temporary name, put in place with
// MoveFileExW (replacing only when asked to).
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

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::filesystem::path temporary)
      : handle_(handle), temporary_(std::move(temporary)) {}
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

  CommitResult Commit(const std::filesystem::path& finalPath, bool replace, std::string* error) override {
    if (handle_ != INVALID_HANDLE_VALUE && !Close(error)) return CommitResult::kFailed;
    if (::MoveFileExW(temporary_.c_str(), finalPath.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
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

  const std::filesystem::path& TemporaryPath() const override { return temporary_; }

 private:
  HANDLE handle_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<OutputFile> CreateTemporaryFile(const std::filesystem::path& folder, std::string* error) {
  const std::string prefix = ".qrw-" + std::to_string(::GetCurrentProcessId()) + "-";
  for (int k = 0; k < kMaxTemporaryAttempts; ++k) {
    std::filesystem::path path = folder / (prefix + std::to_string(k) + ".part");
    HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return std::make_unique<Win32OutputFile>(handle, std::move(path));
    const DWORD e = ::GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) {
      if (error) *error = Reason("cannot create a file", e);
      return nullptr;
    }
  }
  if (error) *error = "cannot create a file: every temporary name is taken";
  return nullptr;
}

NameRules DestinationNameRules() {
  NameRules rules;
  rules.windows = true;
  return rules;
}

}  // namespace quarrow
