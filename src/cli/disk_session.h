#pragma once
// The disks a command works on: the removable disks of the machine and the image files named
// with --image, numbered as the disk tree numbers them, with a reader over them. The machine's
// disks get their numbers from the inventory; images take the next free numbers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/block_device.h"
#include "disk/disk_inventory.h"
#include "disk/disk_list.h"
#include "disk/image_opener.h"
#include "disk/parameter_store.h"
#include "disk/sector_reader.h"

namespace quarrow::cli {

struct CliDisk {
  int number = 0;
  std::string label;  // "Removable Media (Disk1)"
  std::string path;   // device or image path
  std::string model;
  std::uint64_t totalSectors = 0;
  long sizeMb = 0;    // from the geometry, as the disk page shows it
  DiskRecord record;  // everything the inventory knows, for the detail rows
};

struct DiskSessionOptions {
  // Where the machine's disks are looked up; "" lists image files only.
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  // Rewrites the disk-parameter store from the disks found, as every refresh of the disk list
  // does; parameterStorePath "" means the default place.
  bool writeParameters = false;
  std::string parameterStorePath;
  // The ddrescue map the selected disk's image is read through (--map); "" looks for one beside
  // the image (IMAGE.map, IMAGE.mapfile).
  std::string map;
};

class DiskSession {
 public:
  explicit DiskSession(const std::vector<std::string>& images);
  DiskSession(const std::vector<std::string>& images, const DiskSessionOptions& options);
  ~DiskSession();

  // The listed disks: removable disks of the machine, then the images.
  const std::vector<CliDisk>& Disks() const { return disks_; }
  // Every disk the inventory found, fixed ones included, and the images.
  const std::vector<DiskRecord>& Enumerated() const { return list_.Enumerated(); }
  // One line per --image that could not be added ("cannot open x.img: No such file or directory").
  const std::vector<std::string>& Errors() const { return errors_; }
  // Problems that do not stop a command (the parameter store could not be written).
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // DISK is a disk number or an image (or device) path; a path not named with --image is added.
  // The disk's device is opened to check that it can be read. Returns null with a one-line
  // reason when there is no such disk or it cannot be opened.
  const CliDisk* Select(const std::string& diskArg, std::string* error);
  SectorReader& Reader() { return reader_; }
  // "reading x.img through the map x.map: 4096 bytes were never read" once Select opened an image
  // through a map, "" otherwise.
  const std::string& MapNote() const { return mapNote_; }
  DevicePathTable& Paths() { return paths_; }

 private:
  void SyncListed();

  DevicePathTable paths_;
  std::unique_ptr<ImageDeviceOpener> opener_;
  std::string map_;
  std::string mapNote_;
  // The legacy family's disk library, loaded on its first read (Windows only).
  std::unique_ptr<LibraryLoader> libraryLoader_;
  std::unique_ptr<LegacyDiskLibrary> legacyLibrary_;
  SectorReader reader_;
  DiskList list_;
  std::vector<CliDisk> disks_;
  std::vector<std::string> errors_;
  std::vector<std::string> warnings_;
};

}  // namespace quarrow::cli
