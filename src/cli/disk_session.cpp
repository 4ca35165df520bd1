#include "cli/disk_session.h"

#include <algorithm>

#include "core/feedback.h"
#include "disk/platform.h"

namespace quarrow::cli {
namespace {

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
    : opener_(std::make_unique<ImageDeviceOpener>(MakeDeviceOpener())),
      map_(options.map),
      reader_(paths_, *opener_),
      list_(paths_, *opener_) {
  // At most ten disks are ever listed; with the room reserved, the pointers Select hands out
  // stay valid when later images are added.
  disks_.reserve(kDevicePathCount);
  reader_.SetOsFamily(DetectOsFamily());
  libraryLoader_ = MakeLibraryLoader();
  if (libraryLoader_) {
    legacyLibrary_ = std::make_unique<LegacyDiskLibrary>(*libraryLoader_);
    reader_.SetLegacyLibrary(legacyLibrary_.get());
  }
  // The legacy family lists no disk of its own; images still work there.
  auto inventory =
      reader_.Family() == OsFamily::kNt ? MakeInventory(options.sysfsRoot, options.devRoot) : nullptr;
  list_.Refresh(inventory.get(), NullFeedback());
  for (const auto& image : images) {
    std::string error;
    if (!list_.AddImage(image, &error)) errors_.push_back(error);
  }
  SyncListed();
  if (options.writeParameters) {
    PlatformParameterStore store = MakeParameterStore(options.parameterStorePath);
    const ParameterStoreStatus status = RewriteParameterStore(*store.store, list_.Enumerated());
    if (status != ParameterStoreStatus::kOk) {
      const std::string why = store.lastError ? store.lastError() : std::string();
      warnings_.push_back("disk parameters not saved to " + store.location + ": " +
                          (why.empty() ? StoreProblem(status) : why));
    }
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
  if (!map_.empty()) {
    opener_->SetMap(found->path, map_);
    // A device opened before without the map must not serve the reads.
    reader_.CloseAll();
  }
  // The disk's device is opened here so that a missing right (or a broken map) is reported
  // before any scan.
  auto device = opener_->Open(found->path, error);
  if (!device) return nullptr;
  if (const std::string used = opener_->MapOf(found->path); !used.empty()) {
    mapNote_ = "reading " + found->path + " through the ddrescue map " + used;
  }
  // The reader tests the selection text for the floppy; a disk item keeps its last two
  // characters, "1)".
  reader_.SetSelectedLabel(found->label.size() >= 2 ? found->label.substr(found->label.size() - 2)
                                                    : found->label);
  return found;
}

}  // namespace quarrow::cli
