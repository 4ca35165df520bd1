#include "disk/disk_inventory.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "disk/platform.h"

namespace quarrow {

std::string DiskLabel(const DiskRecord& disk) {
  const std::string media = disk.MediaType.find("Removable media other than") != std::string::npos
                                ? "Removable Media"
                                : disk.MediaType;
  return media + " (" + "Disk" + std::to_string(disk.Index) + ")";
}

bool IsListedDisk(const DiskRecord& disk) {
  return DiskLabel(disk).size() > 8 && disk.MediaType.find("Removable") != std::string::npos;
}

std::int64_t SizeInMb(const DiskRecord& disk) {
  const std::uint64_t cylinders = disk.TotalCylinders.value_or(0);
  const std::uint64_t bytesPerSector = disk.BytesPerSector.value_or(0);
  const std::uint64_t sectorsPerTrack = disk.SectorsPerTrack.value_or(0);
  const std::uint64_t heads = disk.TotalHeads.value_or(0);
  // The product of cylinders and bytes per sector wraps 32 bits on disks above 4 GB x 255 x 63;
  // it is kept in 64 bits and the rest in a double.
  const double bytes = static_cast<double>(cylinders * bytesPerSector) *
                       static_cast<double>(sectorsPerTrack) * static_cast<double>(heads);
  const double mb = bytes / 1048576.0;
  if (mb >= static_cast<double>(std::numeric_limits<std::int64_t>::max()))
    return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(mb);
}

std::string SizeText(const DiskRecord& disk) {
  return std::to_string(SizeInMb(disk)) + " MB";
}

std::string PropertyText(const std::optional<std::uint64_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

std::vector<DetailRow> DiskDetailRows(const DiskRecord& disk) {
  return {
      {"1. Model :", disk.Model},
      {"2. MediaType :", disk.MediaType},
      {"3. Interface Type :", disk.InterfaceType},
      {"4. Capacity(size) :", SizeText(disk)},
      {"5. Cylinders :", PropertyText(disk.TotalCylinders)},
      {"6. Heads :", PropertyText(disk.TotalHeads)},
      {"7. Sectors :", PropertyText(disk.TotalSectors)},
      {"8. Bytes per Sector :", PropertyText(disk.BytesPerSector)},
      {"9. Sector per Track :", PropertyText(disk.SectorsPerTrack)},
      {"10. Firmware Revision ID :", disk.FirmwareRevision},
      {"11. PNP Device ID :", disk.PNPDeviceID},
      {"12. Serial Number :", disk.SerialNumber},
      {"13. System Name :", disk.SystemName},
      {"14. Physical Device ID :", disk.DeviceID},
  };
}

SelectedDiskValues SelectedValuesOf(const DiskRecord& disk) {
  SelectedDiskValues values;
  values.totalSectors = disk.TotalSectors.value_or(0);
  values.totalSectors32 = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(values.totalSectors, std::numeric_limits<std::uint32_t>::max()));
  values.sizeMb = SizeInMb(disk);
  values.sizeText = SizeText(disk);
  values.totalSectorsText = PropertyText(disk.TotalSectors);
  values.cylindersText = PropertyText(disk.TotalCylinders);
  values.headsText = PropertyText(disk.TotalHeads);
  values.sectorsPerTrackText = PropertyText(disk.SectorsPerTrack);
  values.modelText = disk.Model;
  return values;
}

std::optional<std::uint32_t> NextFreeDiskNumber(const std::vector<DiskRecord>& disks) {
  for (std::uint32_t n = 0; n <= kMaxDiskNumber; ++n) {
    if (std::none_of(disks.begin(), disks.end(), [n](const DiskRecord& d) { return d.Index == n; })) return n;
  }
  return std::nullopt;
}

void SetGeometry(DiskRecord& disk, std::uint64_t sizeBytes, std::uint32_t heads,
                 std::uint32_t sectorsPerTrack, std::uint32_t bytesPerSector) {
  if (heads == 0) heads = 255;
  if (sectorsPerTrack == 0) sectorsPerTrack = 63;
  if (bytesPerSector == 0) bytesPerSector = 512;
  const std::uint64_t cylinderBytes = std::uint64_t{heads} * sectorsPerTrack * bytesPerSector;
  const std::uint64_t cylinders = sizeBytes / cylinderBytes;
  disk.TotalHeads = heads;
  disk.SectorsPerTrack = sectorsPerTrack;
  disk.TracksPerCylinder = heads;
  disk.BytesPerSector = bytesPerSector;
  disk.TotalCylinders = cylinders;
  disk.TotalTracks = cylinders * heads;
  // The whole system counts 512-byte sectors, whatever the device's own block size; the count
  // is the real size, not the geometry's, so nothing past the last whole cylinder is lost.
  disk.TotalSectors = sizeBytes / 512;
}

DiskRecord ImageDiskRecord(std::uint32_t number, const std::string& path, std::uint64_t sizeBytes) {
  DiskRecord disk;
  disk.Index = number;
  disk.Model = std::filesystem::path(path).filename().string();
  disk.MediaType = kRemovableMediaType;
  disk.InterfaceType = "File";
  disk.SystemName = LocalSystemName();
  disk.DeviceID = path;
  disk.devicePath = path;
  SetGeometry(disk, sizeBytes, 255, 63, 512);
  return disk;
}

}  // namespace quarrow
