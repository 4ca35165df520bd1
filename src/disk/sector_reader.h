#pragma once
// SectorReader: the only way the system reads a disk. Reads whole 512-byte sectors from a 64-bit
// first sector of the disk named by a device path, with a sector-by-sector retry when a bulk
// read fails. Sectors that still fail are zero-filled, never left holding stale bytes.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/feedback.h"
#include "disk/block_device.h"
#include "disk/legacy_disk_library.h"

namespace quarrow {

// Platform family: 'N' reads devices as files, 'F' reads through the legacy disk library.
enum class OsFamily : char { kNt = 'N', kLegacy = 'F' };

inline constexpr int kDevicePathCount = 10;

// Ten device paths, entry n for disk number n. The defaults are the Windows raw drive names; on
// Linux the disk inventory puts the path of the disk it numbered n into entry n.
class DevicePathTable {
 public:
  DevicePathTable();
  const std::string& Get(int diskNumber) const;
  void Set(int diskNumber, std::string path);
  static std::string DefaultPath(int diskNumber);  // "\\.\PhysicalDriveN"

 private:
  std::array<std::string, kDevicePathCount> paths_;
};

// The automatic start of the lost-partition search that a failed read may fire. It acts only
// while the wizard shows the disk page and only once between two visits of that page.
class LostPartitionTrigger {
 public:
  void SetStart(std::function<void()> start);
  void SetOnDiskPage(bool onDiskPage);
  void Rearm();  // the user went back to the disk page
  void Invoke();
  int Counter() const;

 private:
  mutable std::mutex mutex_;
  std::function<void()> start_;
  bool onDiskPage_ = false;
  int counter_ = 1;
};

// What a read did, for callers that need more than the 0/1 result: a failed range is retried one
// sector at a time, and the sectors that fail even then are zero-filled and counted here.
struct ReadReport {
  std::uint32_t failedSectors = 0;  // sectors that failed even one at a time (zero-filled), past-end ones too
  std::uint32_t pastEndSectors = 0;  // of those, sectors that lie past the end of the disk
  bool retried = false;              // the bulk read failed and the range was read sector by sector
  bool deviceGone = false;           // the disk stopped answering: no read of it succeeds any more
};

class SectorReader {
 public:
  SectorReader(DevicePathTable& paths, DeviceOpener& opener);
  ~SectorReader();

  // The reader's own form: 1 when the whole range came in one request, 0 on any failure. A
  // device that cannot be opened reads as zeros. Device handles are kept open between calls
  // (reads of one device may run on several threads at once) until CloseAll.
  int Read(std::string_view devicePath, std::uint32_t firstSectorLow, std::uint32_t firstSectorHigh,
           std::uint32_t sectorCount, std::uint8_t* buffer, ReadReport* report = nullptr);

  // The same for disk number n of the path table; buffer must hold sectorCount * 512 bytes.
  int ReadSectors(int diskNumber, std::uint64_t firstSector, std::uint32_t sectorCount,
                  std::span<std::uint8_t> buffer, ReadReport* report = nullptr);

  DevicePathTable& Paths() { return paths_; }
  void SetOsFamily(OsFamily family);
  OsFamily Family() const;
  // The selection text of the disk tree; a text ending in "Floppy" reads the floppy instead.
  void SetSelectedLabel(std::string label);
  // Path read instead of the disk when the selected label names the floppy.
  void SetFloppyPath(std::string path);
  void SetLegacyLibrary(LegacyDiskLibrary* library);
  void SetFeedback(Feedback* feedback);
  LostPartitionTrigger& Trigger() { return trigger_; }
  // Why the last device that could not be opened failed ("" when none failed yet).
  std::string LastOpenError() const;
  // Drops cached device handles, for example when the disk list is refreshed.
  void CloseAll();
  // True once the disk of this number stopped answering (it was pulled out, or died): a read
  // failed in bulk and sector by sector, and a sector it read before fails too. Every later read
  // of it fails at once, so a scan can end instead of trying every remaining sector.
  bool DeviceGone(int diskNumber) const;
  // The disk's size in sectors (the last, partly filled sector of an image counts), 0 when it
  // cannot be told or the disk cannot be opened.
  std::uint64_t SizeInSectors(int diskNumber);
  // The disk's logical sector size when its device says so (BlockDevice::LogicalSectorSize), 0
  // when it does not or the disk cannot be opened.
  std::uint32_t LogicalSectorSize(int diskNumber);
  // True when the disk's device knows, without reading, that some of these 512-byte sectors
  // cannot be read (an image with a map of the sectors its copy never read).
  bool KnownUnreadable(int diskNumber, std::uint64_t firstSector, std::uint64_t sectorCount);
  // True when the disk's device has such a map at all.
  bool HasUnreadMap(int diskNumber);
  // True when the disk is an image kept in a plain file (BlockDevice::IsImageFile).
  bool IsImageFile(int diskNumber);

 private:
  int ReadNt(const std::string& path, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
             ReadReport* report);
  int ReadLegacy(int digit, bool floppy, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                 ReadReport* report);
  bool SelectedIsFloppy() const;

  DevicePathTable& paths_;
  DeviceOpener& opener_;
  LegacyDiskLibrary* legacy_ = nullptr;
  Feedback* feedback_ = nullptr;
  LostPartitionTrigger trigger_;
  mutable std::mutex mutex_;
  OsFamily family_ = OsFamily::kNt;
  std::string selectedLabel_;
  std::string floppyPath_;
  std::string lastOpenError_;
  struct OpenDevice {
    std::shared_ptr<BlockDevice> device;
    bool gone = false;
    std::optional<std::uint64_t> lastGoodSector;  // a sector that read once, to tell a dead disk
  };
  std::shared_ptr<BlockDevice> DeviceFor(const std::string& path, OpenDevice** state);
  std::map<std::string, OpenDevice> open_;
};

}  // namespace quarrow
