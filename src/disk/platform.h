#pragma once
// What the system asks of the operating system besides reading sectors, one backend file per
// platform (posix_platform.cpp, win32_platform.cpp). Nothing outside the backend files tests
// which platform it runs on.

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "disk/block_device.h"
#include "disk/disk_inventory.h"
#include "disk/legacy_disk_library.h"
#include "disk/parameter_store.h"
#include "disk/sector_reader.h"

namespace quarrow {

// 'F' on the legacy family (the version query reports platform 1), 'N' everywhere else.
OsFamily DetectOsFamily();

// This machine's name, the SystemName of its disks.
std::string LocalSystemName();

// Opens disks and disk images read-only.
std::unique_ptr<DeviceOpener> MakeDeviceOpener();

// The machine's disk inventory. On Linux it reads sysfsRoot and devRoot ("/sys", "/dev"; tests
// point them at fake trees) and "" for sysfsRoot lists no disk; Windows asks WMI and ignores both.
std::unique_ptr<DiskInventoryBackend> MakeInventory(const std::string& sysfsRoot, const std::string& devRoot);

// The disk-parameter store, with a text naming where it lives for messages. On Linux a file at
// path ("" for the default place under the user's configuration folder); the registry on
// Windows, where path is ignored.
struct PlatformParameterStore {
  std::unique_ptr<ParameterStore> store;
  std::string location;
  // Why the last Commit failed, "" when the store cannot tell.
  std::function<std::string()> lastError;
};
PlatformParameterStore MakeParameterStore(const std::string& path);

// Loads the legacy family's disk library; null where that family does not exist.
std::unique_ptr<LibraryLoader> MakeLibraryLoader();

// The device read instead of a disk when the selected disk is the floppy drive.
std::string DefaultFloppyPath();

// The current local time (the catch-all folder's row in a listing shows it).
std::tm LocalTimeNow();

}  // namespace quarrow
