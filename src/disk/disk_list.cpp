#include "disk/disk_list.h"

#include <algorithm>
#include <filesystem>

namespace quarrow {

DiskList::DiskList(DevicePathTable& paths, DeviceOpener& opener) : paths_(paths), opener_(opener) {
  // Ten disks at most: records stay where they are, so pointers handed out remain valid.
  disks_.reserve(kDevicePathCount);
}

void DiskList::Refresh(DiskInventoryBackend* backend, Feedback& feedback) {
  disks_.clear();
  for (int n = 0; n < kDevicePathCount; ++n) paths_.Set(n, DevicePathTable::DefaultPath(n));
  if (!backend) return;
  for (auto& record : backend->Enumerate(feedback)) {
    if (record.Index > kMaxDiskNumber) continue;
    const bool taken = std::any_of(disks_.begin(), disks_.end(),
                                   [&](const DiskRecord& d) { return d.Index == record.Index; });
    if (taken) continue;  // a second disk of the same number could never be selected
    if (!record.devicePath.empty()) paths_.Set(static_cast<int>(record.Index), record.devicePath);
    disks_.push_back(std::move(record));
  }
}

const DiskRecord* DiskList::FindPath(const std::string& path) const {
  std::error_code ec;
  for (const auto& d : disks_) {
    const std::string own = PathOf(d);
    if (own == path || std::filesystem::equivalent(own, path, ec)) return &d;
  }
  return nullptr;
}

bool DiskList::AddImage(const std::string& path, std::string* error) {
  if (FindPath(path)) return true;
  const auto number = NextFreeDiskNumber(disks_);
  if (!number) {
    if (error) *error = "too many disks for " + path + ": disk numbers stop at 9";
    return false;
  }
  std::string why;
  auto device = opener_.Open(path, &why);
  if (!device) {
    if (error) *error = why.empty() ? "cannot open " + path : why;
    return false;
  }
  disks_.push_back(ImageDiskRecord(*number, path, device->SizeBytes()));
  paths_.Set(static_cast<int>(*number), path);
  return true;
}

std::vector<const DiskRecord*> DiskList::Listed() const {
  std::vector<const DiskRecord*> listed;
  for (const auto& d : disks_) {
    if (IsListedDisk(d)) listed.push_back(&d);
  }
  std::sort(listed.begin(), listed.end(),
            [](const DiskRecord* a, const DiskRecord* b) { return a->Index < b->Index; });
  return listed;
}

std::string DiskList::PathOf(const DiskRecord& disk) const {
  return paths_.Get(static_cast<int>(disk.Index));
}

const DiskRecord* DiskList::Resolve(const std::string& diskArg, std::string* error) {
  const bool isNumber =
      !diskArg.empty() && diskArg.size() <= 2 &&
      std::all_of(diskArg.begin(), diskArg.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (isNumber) {
    const auto number = static_cast<std::uint32_t>(std::stoul(diskArg));
    for (const DiskRecord* d : Listed()) {
      if (d->Index == number) return d;
    }
    if (error) *error = "no disk " + diskArg + " (see 'quarrow disks')";
    return nullptr;
  }
  if (!AddImage(diskArg, error)) return nullptr;
  const DiskRecord* disk = FindPath(diskArg);
  if (!disk || !IsListedDisk(*disk)) {
    // The system reads removable disks only; a fixed disk named by its path is not one.
    if (error) *error = diskArg + " is not a removable disk (see 'quarrow disks')";
    return nullptr;
  }
  return disk;
}

}  // namespace quarrow
