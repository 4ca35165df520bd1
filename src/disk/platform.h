#pragma once
// What the disk floor asks of the operating system besides reading disks.

#include <string>

#include "disk/sector_reader.h"

namespace quarrow {

// 'F' on the legacy family (the version query reports platform 1), 'N' everywhere else.
OsFamily DetectOsFamily();

// This machine's name, the SystemName of its disks.
std::string LocalSystemName();

}  // namespace quarrow
