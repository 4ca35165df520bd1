// The destination check on Windows: a source "\\.\PhysicalDriveN" is disk N; the destination's
// volume lists the disks it lies on (a volume may span several).
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "recovery/destination_guard.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

std::optional<DWORD> DiskNumberOf(const std::string& sourcePath) {
  static constexpr char kPrefix[] = "\\\\.\\PhysicalDrive";
  const std::string prefix(kPrefix);
  if (sourcePath.size() <= prefix.size() || sourcePath.compare(0, prefix.size(), prefix) != 0)
    return std::nullopt;
  DWORD number = 0;
  for (std::size_t i = prefix.size(); i < sourcePath.size(); ++i) {
    const char c = sourcePath[i];
    if (c < '0' || c > '9' || number > 9999) return std::nullopt;
    number = number * 10 + static_cast<DWORD>(c - '0');
  }
  return number;
}

std::optional<fs::path> NearestExisting(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec).lexically_normal();
  if (ec) return std::nullopt;
  while (!fs::exists(p, ec)) {
    if (!p.has_parent_path() || p.parent_path() == p) return std::nullopt;
    p = p.parent_path();
  }
  return p;
}

}  // namespace

std::optional<std::string> DestinationOnSourceDisk(const std::string& sourcePath,
                                                   const std::string& destination) {
  const std::optional<DWORD> disk = DiskNumberOf(sourcePath);
  if (!disk) return std::nullopt;  // an image file: the destination's volume cannot be inside it
  const std::optional<fs::path> folder = NearestExisting(destination);
  if (!folder) return std::nullopt;
  std::array<wchar_t, MAX_PATH + 1> volume{};
  if (!::GetVolumePathNameW(folder->c_str(), volume.data(), static_cast<DWORD>(volume.size())))
    return std::nullopt;
  std::wstring device = volume.data();
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  // "C:" is opened as "\\.\C:"; a volume mounted in a folder is named by its GUID path already.
  if (device.rfind(L"\\\\?\\", 0) != 0) device = L"\\\\.\\" + device;
  HANDLE handle = ::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  struct {
    VOLUME_DISK_EXTENTS head;
    DISK_EXTENT more[31];
  } extents{};
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                                    sizeof extents, &returned, nullptr);
  ::CloseHandle(handle);
  if (!ok) return std::nullopt;
  const DWORD count = std::min<DWORD>(extents.head.NumberOfDiskExtents, 32);
  for (DWORD i = 0; i < count; ++i) {
    if (extents.head.Extents[i].DiskNumber == *disk) {
      return "the destination " + destination + " is on the disk being recovered (" + sourcePath +
             "): files written there could overwrite the data still to be recovered; choose a folder on "
             "another "
             "disk";
    }
  }
  return std::nullopt;
}

}  // namespace quarrow
