#include "disk/win32_block_device.h"

#include <windows.h>
#include <winioctl.h>

#include <mutex>

namespace quarrow {
namespace {

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

class Win32BlockDevice : public BlockDevice {
 public:
  Win32BlockDevice(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}
  ~Win32BlockDevice() override { ::CloseHandle(handle_); }
  Win32BlockDevice(const Win32BlockDevice&) = delete;
  Win32BlockDevice& operator=(const Win32BlockDevice&) = delete;

  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
    // The file pointer is shared by every reader of the handle: seek and read go together.
    std::lock_guard lock(mutex_);
    LONG high = static_cast<LONG>(byteOffset >> 32);
    const DWORD low =
        ::SetFilePointer(handle_, static_cast<LONG>(byteOffset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    // A failed seek would make the read return the wrong sectors as if they were right.
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return false;
    std::size_t done = 0;
    while (done < buffer.size()) {
      const std::size_t left = buffer.size() - done;
      const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(handle_, buffer.data() + done, chunk, &got, nullptr)) return false;
      // Zero bytes is the end of the disk or file: a short read is a failure, not a success.
      if (got == 0) return false;
      done += got;
    }
    return true;
  }

  std::uint64_t SizeBytes() const override { return size_; }

 private:
  HANDLE handle_;
  std::uint64_t size_;
  std::mutex mutex_;
};

class Win32Library : public LoadedLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  LibrarySymbol Find(const char* symbol) override {
    return reinterpret_cast<LibrarySymbol>(::GetProcAddress(module_, symbol));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::unique_ptr<BlockDevice> Win32DeviceOpener::Open(const std::string& path, std::string* error) {
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (error) {
      *error = "cannot open " + path + ": " + SystemMessage(code);
      if (code == ERROR_ACCESS_DENIED) *error += " (run as administrator)";
    }
    return nullptr;
  }
  std::uint64_t size = 0;
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  LARGE_INTEGER fileSize{};
  if (::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length), &returned,
                        nullptr)) {
    size = static_cast<std::uint64_t>(length.Length.QuadPart);
  } else if (::GetFileSizeEx(handle, &fileSize)) {
    size = static_cast<std::uint64_t>(fileSize.QuadPart);
  }
  return std::make_unique<Win32BlockDevice>(handle, size);
}

std::unique_ptr<LoadedLibrary> Win32LibraryLoader::Load(const char* name) {
  HMODULE module = ::LoadLibraryA(name);
  if (!module) return nullptr;
  return std::make_unique<Win32Library>(module);
}

}  // namespace quarrow
