#pragma once
// The physical disks of the machine and what the disk page shows of them. A backend (WMI on
// Windows, sysfs on Linux) yields one DiskRecord per disk with the properties of
// Win32_DiskDrive that the disk page reads; everything else here is platform-free: the label
// of a disk in the disk tree, which disks are listed, the detail rows and the size in MB.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarrow {

class Feedback;

inline constexpr std::uint32_t kMaxDiskNumber = 9;  // one decimal digit reaches the reader
inline constexpr const char* kRemovableMediaType = "Removable media other than floppy";
inline constexpr const char* kFixedMediaType = "Fixed hard disk media";

// One disk as the inventory reports it. Property names are those of Win32_DiskDrive; a missing
// property is an empty string or an empty optional and shows as empty text.
struct DiskRecord {
  std::uint32_t Index = 0;  // the disk number
  std::string Model;
  std::string MediaType;
  std::string InterfaceType;
  std::optional<std::uint64_t> TotalCylinders;
  std::optional<std::uint64_t> TotalHeads;
  std::optional<std::uint64_t> TotalSectors;
  std::optional<std::uint64_t> TotalTracks;
  std::string FirmwareRevision;
  std::string PNPDeviceID;
  std::string SerialNumber;
  std::string SystemName;
  std::string DeviceID;
  std::optional<std::uint64_t> SectorsPerTrack;
  std::optional<std::uint64_t> TracksPerCylinder;
  std::optional<std::uint64_t> Signature;
  std::optional<std::uint64_t> BytesPerSector;

  // The path the sector reader opens for this disk; empty keeps the path table's default
  // ("\\.\PhysicalDriveN").
  std::string devicePath;
};

// Where disk records come from.
class DiskInventoryBackend {
 public:
  virtual ~DiskInventoryBackend() = default;
  // All physical disks, in the backend's order. Failures are shown through feedback in the
  // backend's own words and leave the list empty (or as far as it got).
  virtual std::vector<DiskRecord> Enumerate(Feedback& feedback) = 0;
};

// "Removable Media (Disk1)": the media text, " (", "Disk", the number, ")".
std::string DiskLabel(const DiskRecord& disk);
// A disk appears in the disk tree when its label is longer than 8 characters and its
// MediaType contains "Removable".
bool IsListedDisk(const DiskRecord& disk);

// Capacity from the geometry: cylinders x bytes per sector x sectors per track x heads, in
// whole MB. Computed in 64 bits and a double, so large disks do not wrap.
std::int64_t SizeInMb(const DiskRecord& disk);
std::string SizeText(const DiskRecord& disk);  // "%ld MB"

// Decimal text of a property, empty when it is missing.
std::string PropertyText(const std::optional<std::uint64_t>& value);

struct DetailRow {
  std::string name;
  std::string value;
};
// The 14 rows of DetailsList for a disk ("1. Model :" ... "14. Physical Device ID :").
std::vector<DetailRow> DiskDetailRows(const DiskRecord& disk);

// What the later pages keep of the selected disk.
struct SelectedDiskValues {
  std::uint32_t totalSectors32 = 0;  // saturated at 0xFFFFFFFF rather than wrapped
  std::uint64_t totalSectors = 0;
  std::int64_t sizeMb = 0;
  std::string sizeText;
  std::string totalSectorsText;
  std::string cylindersText;
  std::string headsText;
  std::string sectorsPerTrackText;
  std::string modelText;
};
SelectedDiskValues SelectedValuesOf(const DiskRecord& disk);

// The lowest disk number 0-9 that no record uses, if any.
std::optional<std::uint32_t> NextFreeDiskNumber(const std::vector<DiskRecord>& disks);

// A disk image file as a disk: removable media, its file name as the model, and a geometry of
// 255 heads and 63 sectors per track over its size.
DiskRecord ImageDiskRecord(std::uint32_t number, const std::string& path, std::uint64_t sizeBytes);

// Fills TotalSectors, TotalCylinders, TotalTracks, TracksPerCylinder, TotalHeads,
// SectorsPerTrack and BytesPerSector from a size in bytes and a head/sector geometry.
void SetGeometry(DiskRecord& disk, std::uint64_t sizeBytes, std::uint32_t heads,
                 std::uint32_t sectorsPerTrack, std::uint32_t bytesPerSector);

}  // namespace quarrow
