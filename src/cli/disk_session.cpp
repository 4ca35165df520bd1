#include "cli/disk_session.h"

#include <algorithm>
#include <filesystem>

#include "core/bytes.h"

namespace quarrow::cli {

DiskSession::DiskSession(const std::vector<std::string>& images) {
  for (const auto& image : images) {
    std::string error;
    AddImage(image, &error);
  }
}

bool DiskSession::AddImage(const std::string& path, std::string* error) {
  int number = 0;
  while (std::any_of(disks_.begin(), disks_.end(), [&](const CliDisk& d) { return d.number == number; })) ++number;
  if (number >= kDevicePathCount) {
    *error = "too many disks: disk numbers stop at 9";
    return false;
  }
  auto device = opener_.Open(path, error);
  if (!device) return false;
  CliDisk disk;
  disk.number = number;
  disk.label = "Removable Media (Disk" + std::to_string(number) + ")";
  disk.path = path;
  disk.model = std::filesystem::path(path).filename().string();
  disk.totalSectors = device->SizeBytes() / kSectorSize;
  disk.sizeMb = static_cast<long>(device->SizeBytes() / 1048576);
  paths_.Set(number, path);
  disks_.push_back(disk);
  return true;
}

const CliDisk* DiskSession::Select(const std::string& diskArg, std::string* error) {
  bool isNumber = !diskArg.empty() && std::all_of(diskArg.begin(), diskArg.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (isNumber) {
    int number = std::stoi(diskArg.substr(0, 3));
    for (const auto& d : disks_) {
      if (d.number == number) return &d;
    }
    *error = "no disk " + diskArg + " (see 'quarrow disks')";
    return nullptr;
  }
  std::error_code ec;
  for (const auto& d : disks_) {
    if (std::filesystem::equivalent(d.path, diskArg, ec)) return &d;
  }
  if (!AddImage(diskArg, error)) return nullptr;
  return &disks_.back();
}

}  // namespace quarrow::cli
