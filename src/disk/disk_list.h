#pragma once
// The disk list of one run: the disks an inventory found plus the image files the user named,
// numbered 0-9, with the device path table kept in step (entry n is the path of disk n). The
// listed disks are those the disk tree shows (IsListedDisk); the others are still enumerated,
// take a number and are written to the parameter store.

#include <string>
#include <vector>

#include "disk/block_device.h"
#include "disk/disk_inventory.h"
#include "disk/sector_reader.h"

namespace quarrow {

class DiskList {
 public:
  DiskList(DevicePathTable& paths, DeviceOpener& opener);

  // Forgets every disk and image, resets the path table to its defaults, and enumerates the
  // backend again (a null backend finds no disk). Records numbered above 9 are dropped.
  void Refresh(DiskInventoryBackend* backend, Feedback& feedback);
  // Adds an image file (or any readable path) as a removable disk with the next free number.
  // A path that is already a disk is not added twice. Fails with a one-line reason when it
  // cannot be opened or every number is taken.
  bool AddImage(const std::string& path, std::string* error);

  const std::vector<DiskRecord>& Enumerated() const { return disks_; }
  // The disks the disk tree lists, in number order.
  std::vector<const DiskRecord*> Listed() const;
  // The path the reader opens for a disk.
  std::string PathOf(const DiskRecord& disk) const;

  // A disk named on a command line: a number of a listed disk, or a path (a listed disk's or a
  // new image's). Null with a one-line reason otherwise.
  const DiskRecord* Resolve(const std::string& diskArg, std::string* error);

 private:
  const DiskRecord* FindPath(const std::string& path) const;

  DevicePathTable& paths_;
  DeviceOpener& opener_;
  std::vector<DiskRecord> disks_;
};

}  // namespace quarrow
