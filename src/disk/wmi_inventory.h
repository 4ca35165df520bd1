#pragma once
// The disk inventory of Windows: WMI's Win32_DiskDrive through COM, in the order WMI returns
// the disks. Each failing step shows its message through Feedback and ends the enumeration;
// a failed query is written to the standard output stream instead.

#include "disk/disk_inventory.h"

namespace quarrow {

class WmiInventory : public DiskInventoryBackend {
 public:
  std::vector<DiskRecord> Enumerate(Feedback& feedback) override;
};

}  // namespace quarrow
