#pragma once
// The disk inventory of Linux, read from sysfs: every whole physical disk under <root>/block,
// numbered removable disks first (only the numbers 0-9 can be selected, so the disks that can
// be listed get them before fixed disks do), each group in name order.
//
// What is read per disk (all optional): removable, size, queue/logical_block_size,
// device/vendor, device/model (device/name for SD and MMC cards), device/rev (device/fwrev),
// device/serial (or the serial of the USB device above it) and device/type for MMC cards. The
// transport comes from the resolved sysfs path (".../usb..." is USB). Virtual devices (loop,
// ram, zram, device-mapper, md), optical drives, floppies and empty card readers are skipped.

#include <functional>
#include <optional>
#include <string>

#include "disk/disk_inventory.h"

namespace quarrow {

struct DiskGeometry {
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
};

// Asks a device node for its geometry; nullopt when it cannot be opened or has none.
using GeometryProbe = std::function<std::optional<DiskGeometry>(const std::string& deviceNode)>;

// The HDIO_GETGEO ioctl on the device node.
std::optional<DiskGeometry> ProbeGeometryIoctl(const std::string& deviceNode);

class SysfsInventory : public DiskInventoryBackend {
 public:
  // sysfsRoot is normally "/sys" and devRoot "/dev"; tests point both at fake trees.
  explicit SysfsInventory(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

  // Replaces the HDIO_GETGEO probe; without a geometry, 255 heads and 63 sectors per track
  // are assumed.
  void SetGeometryProbe(GeometryProbe probe) { probe_ = std::move(probe); }
  void SetSystemName(std::string name) { systemName_ = std::move(name); }

  std::vector<DiskRecord> Enumerate(Feedback& feedback) override;

 private:
  std::string sysfsRoot_;
  std::string devRoot_;
  GeometryProbe probe_;
  std::optional<std::string> systemName_;
};

}  // namespace quarrow
