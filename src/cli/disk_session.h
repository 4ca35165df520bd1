#pragma once
// The disks a command works on: the removable disks of the machine and the image files named
// with --image, numbered as the disk tree numbers them, with a reader over them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"

namespace quarrow::cli {

struct CliDisk {
  int number = 0;
  std::string label;  // "Removable Media (Disk1)"
  std::string path;   // device or image path
  std::string model;
  std::uint64_t totalSectors = 0;
  long sizeMb = 0;
};

class DiskSession {
 public:
  explicit DiskSession(const std::vector<std::string>& images);

  const std::vector<CliDisk>& Disks() const { return disks_; }
  // DISK is a disk number or an image path; an image path not named with --image is added.
  // Returns null with a one-line reason when there is no such disk or it cannot be opened.
  const CliDisk* Select(const std::string& diskArg, std::string* error);
  SectorReader& Reader() { return reader_; }

 private:
  bool AddImage(const std::string& path, std::string* error);

  DevicePathTable paths_;
  PosixDeviceOpener opener_;
  SectorReader reader_{paths_, opener_};
  std::vector<CliDisk> disks_;
};

}  // namespace quarrow::cli
