#pragma once
// Opens what people bring besides raw disks: an evidence file (E01) by its signature, and an
// image made by ddrescue with the map of the sectors its copy never read (named with --map, or
// found beside the image as IMAGE.map / IMAGE.mapfile). Everything else goes to the platform's
// own opener unchanged. Every device stays read-only.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "disk/block_device.h"

namespace quarrow {

class ImageDeviceOpener : public DeviceOpener {
 public:
  explicit ImageDeviceOpener(std::unique_ptr<DeviceOpener> platform) : platform_(std::move(platform)) {}

  // Reads path through this map file instead of looking for one beside it.
  void SetMap(const std::string& path, const std::string& mapPath);
  // Whether maps are looked for beside images not given one (on by default).
  void SetFindMapsBeside(bool find);
  // The map path is read through, "" for none (known once it has been opened).
  std::string MapOf(const std::string& path) const;

  std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) override;

 private:
  std::unique_ptr<DeviceOpener> platform_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> maps_;  // given with SetMap
  std::map<std::string, std::string> used_;  // the map each opened path was read through
  bool findBeside_ = true;
};

}  // namespace quarrow
