#pragma once
// The Linux side of the destination check, in parts that tests run against fake sysfs trees and
// mount tables. A disk's block devices are the disk, its partitions and whatever is built on them
// (device-mapper and md devices list them under holders/); a destination is on the disk when the
// device its files report (st_dev) is one of them, or when the mount holding it names one of them
// as its source (a FUSE mount of a partition reports a device of its own), or names the image
// file being read (a FUSE mount of the image).

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quarrow {

struct DeviceNumber {
  std::uint32_t major = 0, minor = 0;
  auto operator<=>(const DeviceNumber&) const = default;
};

// "7:0" as sysfs and the mount table write it.
std::optional<DeviceNumber> ParseDeviceNumber(const std::string& text);

struct LinuxSystemFiles {
  std::string sysRoot = "/sys";
  std::string mountInfo = "/proc/self/mountinfo";
};

// The devices of the disk that device is (or is a partition of): the disk, its partitions and,
// transitively, the devices that hold any of them. Just device when sysfs does not know it.
std::set<DeviceNumber> DevicesOfDisk(const std::string& sysRoot, DeviceNumber device);

// The loop devices whose backing file is the file at imagePath.
std::vector<DeviceNumber> LoopDevicesBackedBy(const std::string& sysRoot, const std::string& imagePath);
// The file a loop device reads, when device is one.
std::optional<std::string> LoopBackingFile(const std::string& sysRoot, DeviceNumber device);

// A file as the kernel knows it, whatever path names it.
struct FileNumber {
  std::uint64_t device = 0, inode = 0;
  auto operator<=>(const FileNumber&) const = default;
};

// The check against known source devices and source image files, for a destination folder; label
// names the source in the reason. A mount whose source is one of the image files (a FUSE mount
// of the image itself) is the source too.
std::optional<std::string> CheckDestinationAgainst(const std::set<DeviceNumber>& sourceDevices,
                                                   const std::set<FileNumber>& sourceFiles,
                                                   const std::string& destination, const std::string& label,
                                                   const LinuxSystemFiles& files);

// DestinationOnSourceDisk with the system's tables read from files. The source's devices are its
// disk's (for a device) and those of every loop device over the same image (for an image, or a
// loop device).
std::optional<std::string> CheckDestination(const std::string& sourcePath, const std::string& destination,
                                            const LinuxSystemFiles& files);

}  // namespace quarrow
