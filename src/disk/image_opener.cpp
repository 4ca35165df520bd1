#include "disk/image_opener.h"

#include <array>
#include <filesystem>

#include "disk/ewf_block_device.h"
#include "disk/rescue_map.h"

namespace quarrow {

void ImageDeviceOpener::SetMap(const std::string& path, const std::string& mapPath) {
  std::lock_guard lock(mutex_);
  maps_[path] = mapPath;
}

void ImageDeviceOpener::SetFindMapsBeside(bool find) {
  std::lock_guard lock(mutex_);
  findBeside_ = find;
}

std::string ImageDeviceOpener::MapOf(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = used_.find(path);
  return it == used_.end() ? std::string() : it->second;
}

std::unique_ptr<BlockDevice> ImageDeviceOpener::Open(const std::string& path, std::string* error) {
  std::unique_ptr<BlockDevice> device = platform_->Open(path, error);
  if (!device) return nullptr;
  std::array<std::uint8_t, 8> head{};
  if (device->SizeBytes() >= head.size() && device->ReadAt(0, head) && HasEwfSignature(head)) {
    device = OpenEwfImage(path, error);
    if (!device) return nullptr;
  }

  std::string mapPath;
  bool findBeside;
  {
    std::lock_guard lock(mutex_);
    if (auto it = maps_.find(path); it != maps_.end()) mapPath = it->second;
    findBeside = findBeside_;
  }
  // Only an image file has a map beside it; a disk's device node does not.
  std::error_code ec;
  if (mapPath.empty() && findBeside && std::filesystem::is_regular_file(path, ec))
    mapPath = FindRescueMapBeside(path);
  if (mapPath.empty()) return device;
  // A map that cannot be read is not skipped: without it the unread sectors would read as data.
  std::optional<RescueMap> map = LoadRescueMap(mapPath, error);
  if (!map) return nullptr;
  {
    std::lock_guard lock(mutex_);
    used_[path] = mapPath;
  }
  return std::make_unique<MappedBlockDevice>(std::move(device), std::move(*map));
}

}  // namespace quarrow
