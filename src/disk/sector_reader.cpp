#include "disk/sector_reader.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "disk/platform.h"

namespace quarrow {

DevicePathTable::DevicePathTable() {
  for (int n = 0; n < kDevicePathCount; ++n) paths_[n] = DefaultPath(n);
}

std::string DevicePathTable::DefaultPath(int diskNumber) {
  return std::string("\\\\.\\PhysicalDrive") + static_cast<char>('0' + diskNumber);
}

const std::string& DevicePathTable::Get(int diskNumber) const {
  static const std::string empty;
  if (diskNumber < 0 || diskNumber >= kDevicePathCount) return empty;
  return paths_[diskNumber];
}

void DevicePathTable::Set(int diskNumber, std::string path) {
  if (diskNumber < 0 || diskNumber >= kDevicePathCount) return;
  paths_[diskNumber] = std::move(path);
}

void LostPartitionTrigger::SetStart(std::function<void()> start) {
  std::lock_guard lock(mutex_);
  start_ = std::move(start);
}

void LostPartitionTrigger::SetOnDiskPage(bool onDiskPage) {
  std::lock_guard lock(mutex_);
  onDiskPage_ = onDiskPage;
}

void LostPartitionTrigger::Rearm() {
  std::lock_guard lock(mutex_);
  counter_ = 1;
}

void LostPartitionTrigger::Invoke() {
  std::function<void()> start;
  {
    std::lock_guard lock(mutex_);
    if (!onDiskPage_ || counter_ != 1) return;
    ++counter_;
    start = start_;
  }
  if (start) start();
}

int LostPartitionTrigger::Counter() const {
  std::lock_guard lock(mutex_);
  return counter_;
}

SectorReader::SectorReader(DevicePathTable& paths, DeviceOpener& opener)
    : paths_(paths), opener_(opener), floppyPath_(DefaultFloppyPath()) {}

SectorReader::~SectorReader() = default;

void SectorReader::SetOsFamily(OsFamily family) {
  std::lock_guard lock(mutex_);
  family_ = family;
}

OsFamily SectorReader::Family() const {
  std::lock_guard lock(mutex_);
  return family_;
}

void SectorReader::SetSelectedLabel(std::string label) {
  std::lock_guard lock(mutex_);
  selectedLabel_ = std::move(label);
}

void SectorReader::SetFloppyPath(std::string path) {
  std::lock_guard lock(mutex_);
  floppyPath_ = std::move(path);
  open_.clear();
}

void SectorReader::SetLegacyLibrary(LegacyDiskLibrary* library) {
  std::lock_guard lock(mutex_);
  legacy_ = library;
}

void SectorReader::SetFeedback(Feedback* feedback) {
  std::lock_guard lock(mutex_);
  feedback_ = feedback;
}

std::string SectorReader::LastOpenError() const {
  std::lock_guard lock(mutex_);
  return lastOpenError_;
}

void SectorReader::CloseAll() {
  std::lock_guard lock(mutex_);
  open_.clear();
}

bool SectorReader::SelectedIsFloppy() const {
  return selectedLabel_.size() >= 6 && selectedLabel_.compare(selectedLabel_.size() - 6, 6, "Floppy") == 0;
}

int SectorReader::ReadSectors(int diskNumber, std::uint64_t firstSector, std::uint32_t sectorCount,
                              std::span<std::uint8_t> buffer, ReadReport* report) {
  if (buffer.size() / kSectorSize < sectorCount) {
    // A caller bug; refuse rather than write past its buffer.
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    if (report) *report = ReadReport{sectorCount, false};
    return 0;
  }
  return Read(paths_.Get(diskNumber), static_cast<std::uint32_t>(firstSector),
              static_cast<std::uint32_t>(firstSector >> 32), sectorCount, buffer.data(), report);
}

int SectorReader::Read(std::string_view devicePath, std::uint32_t firstSectorLow,
                       std::uint32_t firstSectorHigh, std::uint32_t sectorCount, std::uint8_t* buffer,
                       ReadReport* report) {
  if (report) *report = ReadReport{};
  const std::uint64_t first = (static_cast<std::uint64_t>(firstSectorHigh) << 32) | firstSectorLow;
  std::string path(devicePath);
  bool floppy;
  OsFamily family;
  std::string floppyPath;
  {
    std::lock_guard lock(mutex_);
    floppy = SelectedIsFloppy();
    family = family_;
    floppyPath = floppyPath_;
  }
  if (family == OsFamily::kLegacy) {
    // The disk digit is the entry's number in the path table, or the character after the
    // Windows drive name.
    int digit = -1;
    for (int n = 0; n < kDevicePathCount; ++n) {
      if (paths_.Get(n) == path) digit = n;
    }
    if (digit < 0 && path.size() > 17 && path[17] >= '0' && path[17] <= '9') digit = path[17] - '0';
    return ReadLegacy(digit, floppy, first, sectorCount, buffer, report);
  }
  return ReadNt(floppy ? floppyPath : path, first, sectorCount, buffer, report);
}

int SectorReader::ReadNt(const std::string& path, std::uint64_t first, std::uint32_t count,
                         std::uint8_t* buffer, ReadReport* report) {
  const std::size_t bytes = static_cast<std::size_t>(count) * kSectorSize;
  std::shared_ptr<BlockDevice> device;
  {
    std::lock_guard lock(mutex_);
    auto it = open_.find(path);
    if (it != open_.end()) {
      device = it->second;
    } else {
      std::string error;
      device = opener_.Open(path, &error);
      if (device) {
        open_[path] = device;
      } else {
        lastOpenError_ = error.empty() ? "cannot open " + path : error;
      }
    }
  }
  if (!device) {
    std::memset(buffer, 0, bytes);
    if (report) report->failedSectors = count;
    return 0;
  }
  // Sector numbers near 2^64 would wrap the byte offset; such a sector cannot exist.
  if (first > (UINT64_MAX / kSectorSize) - count) {
    std::memset(buffer, 0, bytes);
    if (report) report->failedSectors = count;
    return 0;
  }
  if (device->ReadAt(first * kSectorSize, std::span<std::uint8_t>(buffer, bytes))) return 1;

  trigger_.Invoke();
  if (report) report->retried = true;
  std::uint32_t failed = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::span<std::uint8_t> sector(buffer + i * kSectorSize, kSectorSize);
    if (!device->ReadAt((first + i) * kSectorSize, sector)) {
      std::memset(sector.data(), 0, kSectorSize);
      ++failed;
    }
  }
  if (report) report->failedSectors = failed;
  return 0;
}

int SectorReader::ReadLegacy(int digit, bool floppy, std::uint64_t first, std::uint32_t count,
                             std::uint8_t* buffer, ReadReport* report) {
  const std::size_t bytes = static_cast<std::size_t>(count) * kSectorSize;
  LegacyDiskLibrary* library;
  Feedback* feedback;
  {
    std::lock_guard lock(mutex_);
    library = legacy_;
    feedback = feedback_;
  }
  ReadDisk32Fn entry = library ? library->EntryPoint(feedback) : nullptr;
  // BIOS drive numbers exist for the floppy and the first four hard disks only; any other disk
  // fails rather than reading another drive.
  std::uint32_t drive = 0;
  if (!floppy) {
    if (digit < 0 || digit > 3) entry = nullptr;
    drive = 128 + static_cast<std::uint32_t>(digit);
  }
  if (!entry) {
    std::memset(buffer, 0, bytes);
    if (report) report->failedSectors = count;
    return 0;
  }
  const auto low = static_cast<std::uint32_t>(first);
  std::uint32_t result = entry(drive, 0, 0, 1, count, buffer, low, 1);
  if (result != 0) return static_cast<int>(result);

  trigger_.Invoke();
  if (report) report->retried = true;
  std::uint32_t failed = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* sector = buffer + static_cast<std::size_t>(i) * kSectorSize;
    if (entry(drive, 0, 0, 1, 1, sector, static_cast<std::uint32_t>(first + i), 1) == 0) {
      std::memset(sector, 0, kSectorSize);
      ++failed;
    }
  }
  if (report) report->failedSectors = failed;
  return 0;
}

}  // namespace quarrow
