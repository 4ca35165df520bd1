#include "cli/disk_session.h"

#include <algorithm>

#include "core/feedback.h"
#include "disk/platform.h"

#ifdef _WIN32
#include "disk/registry_param_store.h"
#include "disk/win32_block_device.h"
#include "disk/wmi_inventory.h"
#else
#include "disk/file_parameter_store.h"
#include "disk/posix_block_device.h"
#include "disk/sysfs_inventory.h"
#endif

namespace quarrow::cli {
namespace {

std::unique_ptr<DeviceOpener> PlatformOpener() {
#ifdef _WIN32
  return std::make_unique<Win32DeviceOpener>();
#else
  return std::make_unique<PosixDeviceOpener>();
#endif
}

std::unique_ptr<DiskInventoryBackend> PlatformInventory(const DiskSessionOptions& options) {
#ifdef _WIN32
  (void)options;
  return std::make_unique<WmiInventory>();
#else
  if (options.sysfsRoot.empty()) return nullptr;
  return std::make_unique<SysfsInventory>(options.sysfsRoot, options.devRoot);
#endif
}

std::string StoreProblem(ParameterStoreStatus status) {
  switch (status) {
    case ParameterStoreStatus::kOk:
      return "";
    case ParameterStoreStatus::kKeyNotCreated:
      return "its key could not be created";
    case ParameterStoreStatus::kSubkeyNotCreated:
      return "a subkey could not be created";
    case ParameterStoreStatus::kNotSaved:
      return "it could not be saved";
  }
  return "";
}

}  // namespace

DiskSession::DiskSession(const std::vector<std::string>& images)
    : DiskSession(images, DiskSessionOptions{}) {}

DiskSession::DiskSession(const std::vector<std::string>& images, const DiskSessionOptions& options)
    : opener_(PlatformOpener()), reader_(paths_, *opener_), list_(paths_, *opener_) {
  // At most ten disks are ever listed; with the room reserved, the pointers Select hands out
  // stay valid when later images are added.
  disks_.reserve(kDevicePathCount);
  reader_.SetOsFamily(DetectOsFamily());
#ifdef _WIN32
  libraryLoader_ = std::make_unique<Win32LibraryLoader>();
  legacyLibrary_ = std::make_unique<LegacyDiskLibrary>(*libraryLoader_);
  reader_.SetLegacyLibrary(legacyLibrary_.get());
#endif
  // The legacy family lists no disk of its own; images still work there.
  auto inventory = reader_.Family() == OsFamily::kNt ? PlatformInventory(options) : nullptr;
  list_.Refresh(inventory.get(), NullFeedback());
  for (const auto& image : images) {
    std::string error;
    if (!list_.AddImage(image, &error)) errors_.push_back(error);
  }
  SyncListed();
  if (options.writeParameters) {
#ifdef _WIN32
    RegistryParameterStore store;
    const ParameterStoreStatus status = RewriteParameterStore(store, list_.Enumerated());
    if (status != ParameterStoreStatus::kOk)
      warnings_.push_back("disk parameters not saved: " + StoreProblem(status));
#else
    const std::string path =
        options.parameterStorePath.empty() ? DefaultParameterStorePath() : options.parameterStorePath;
    FileParameterStore store(path);
    const ParameterStoreStatus status = RewriteParameterStore(store, list_.Enumerated());
    if (status != ParameterStoreStatus::kOk) {
      warnings_.push_back("disk parameters not saved to " + path + ": " +
                          (store.LastError().empty() ? StoreProblem(status) : store.LastError()));
    }
#endif
  }
}

DiskSession::~DiskSession() = default;

// Appends a CliDisk for every listed disk not shown yet; existing entries never move.
void DiskSession::SyncListed() {
  for (const DiskRecord* record : list_.Listed()) {
    const int number = static_cast<int>(record->Index);
    if (std::any_of(disks_.begin(), disks_.end(), [number](const CliDisk& d) { return d.number == number; }))
      continue;
    CliDisk disk;
    disk.number = number;
    disk.label = DiskLabel(*record);
    disk.path = list_.PathOf(*record);
    disk.model = record->Model;
    disk.totalSectors = record->TotalSectors.value_or(0);
    disk.sizeMb = static_cast<long>(SizeInMb(*record));
    disk.record = *record;
    disks_.push_back(std::move(disk));
  }
}

const CliDisk* DiskSession::Select(const std::string& diskArg, std::string* error) {
  const DiskRecord* record = list_.Resolve(diskArg, error);
  if (!record) return nullptr;
  SyncListed();
  const CliDisk* found = nullptr;
  for (const auto& d : disks_) {
    if (d.number == static_cast<int>(record->Index)) found = &d;
  }
  if (!found) {
    *error = "no disk " + diskArg + " (see 'quarrow disks')";
    return nullptr;
  }
  // The disk's device is opened here so that a missing right is reported before any scan.
  auto device = opener_->Open(found->path, error);
  if (!device) return nullptr;
  // The reader tests the selection text for the floppy; a disk item keeps its last two
  // characters, "1)".
  reader_.SetSelectedLabel(found->label.size() >= 2 ? found->label.substr(found->label.size() - 2)
                                                    : found->label);
  return found;
}

}  // namespace quarrow::cli
