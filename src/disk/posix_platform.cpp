#include <unistd.h>

#include <array>

#include "disk/file_parameter_store.h"
#include "disk/platform.h"
#include "disk/posix_block_device.h"
#include "disk/sysfs_inventory.h"

namespace quarrow {

// POSIX systems read disks as files, as the NT family does.
OsFamily DetectOsFamily() {
  return OsFamily::kNt;
}

std::string LocalSystemName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return "";
  return std::string(name.data());
}

std::unique_ptr<DeviceOpener> MakeDeviceOpener() {
  return std::make_unique<PosixDeviceOpener>();
}

std::unique_ptr<DiskInventoryBackend> MakeInventory(const std::string& sysfsRoot,
                                                    const std::string& devRoot) {
  if (sysfsRoot.empty()) return nullptr;
  return std::make_unique<SysfsInventory>(sysfsRoot, devRoot);
}

PlatformParameterStore MakeParameterStore(const std::string& path) {
  auto store = std::make_unique<FileParameterStore>(path.empty() ? DefaultParameterStorePath() : path);
  FileParameterStore* file = store.get();
  PlatformParameterStore out;
  out.location = file->Path();
  out.lastError = [file] { return file->LastError(); };
  out.store = std::move(store);
  return out;
}

std::unique_ptr<LibraryLoader> MakeLibraryLoader() {
  return nullptr;
}

std::string DefaultFloppyPath() {
  return "/dev/fd0";
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace quarrow
