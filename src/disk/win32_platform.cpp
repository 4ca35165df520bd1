#include <windows.h>

#include "disk/platform.h"
#include "disk/registry_param_store.h"
#include "disk/win32_block_device.h"
#include "disk/wmi_inventory.h"

namespace quarrow {

OsFamily DetectOsFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148 bytes
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)  // GetVersionExA is the one query that still names the platform
#endif
  if (!::GetVersionExA(&info)) return OsFamily::kNt;
#if defined(_MSC_VER)
#pragma warning(pop)
#endif
  // Platform 1 (VER_PLATFORM_WIN32_WINDOWS) is the legacy family; its lowest bit tells it apart.
  return (info.dwPlatformId & 1) ? OsFamily::kLegacy : OsFamily::kNt;
}

std::string LocalSystemName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!::GetComputerNameA(name, &size)) return "";
  return std::string(name, size);
}

std::unique_ptr<DeviceOpener> MakeDeviceOpener() {
  return std::make_unique<Win32DeviceOpener>();
}

std::unique_ptr<DiskInventoryBackend> MakeInventory(const std::string&, const std::string&) {
  return std::make_unique<WmiInventory>();
}

PlatformParameterStore MakeParameterStore(const std::string&) {
  PlatformParameterStore out;
  out.store = std::make_unique<RegistryParameterStore>();
  out.location = "HKEY_CLASSES_ROOT\\QRWDSK_param_E";
  out.lastError = [] { return std::string(); };
  return out;
}

std::unique_ptr<LibraryLoader> MakeLibraryLoader() {
  return std::make_unique<Win32LibraryLoader>();
}

std::string DefaultFloppyPath() {
  return "\\\\.\\A:";
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  return local;
}

}  // namespace quarrow
