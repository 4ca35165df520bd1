#pragma once
// Block devices and disk image files on POSIX systems, opened read-only and read with pread.

#include "disk/block_device.h"

namespace quarrow {

class PosixDeviceOpener : public DeviceOpener {
 public:
  std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) override;
};

}  // namespace quarrow
