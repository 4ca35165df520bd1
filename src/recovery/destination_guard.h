#pragma once
// Recovered files must not land on the disk they are read from: every file written there could
// take the clusters of a deleted file that is still to be read. This tells whether a destination
// folder lies on the disk being recovered, as far as the system can tell (a backend file per
// platform: posix_destination_guard.cpp reads the Linux mount table and sysfs,
// win32_destination_guard.cpp asks the volume which disks it lies on).

#include <optional>
#include <string>

namespace quarrow {

// Why writing under destination (a folder, which need not exist yet) would write on the disk at
// sourcePath (a device, or a disk image), in one sentence; nullopt when it would not or when this
// system cannot tell. An image file is "the disk" only while it backs a device (a loop device)
// whose file systems are mounted.
std::optional<std::string> DestinationOnSourceDisk(const std::string& sourcePath,
                                                   const std::string& destination);

}  // namespace quarrow
