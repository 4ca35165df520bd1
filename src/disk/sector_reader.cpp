#include "disk/sector_reader.h"

#include <algorithm>
#include <array>
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

std::shared_ptr<BlockDevice> SectorReader::DeviceFor(const std::string& path, OpenDevice** state) {
  // The caller holds mutex_.
  auto it = open_.find(path);
  if (it == open_.end()) {
    std::string error;
    std::shared_ptr<BlockDevice> device = opener_.Open(path, &error);
    if (!device) {
      lastOpenError_ = error.empty() ? "cannot open " + path : error;
      *state = nullptr;
      return nullptr;
    }
    OpenDevice opened;
    opened.device = std::move(device);
    it = open_.emplace(path, std::move(opened)).first;
  }
  *state = &it->second;
  return it->second.device;
}

bool SectorReader::DeviceGone(int diskNumber) const {
  std::lock_guard lock(mutex_);
  auto it = open_.find(paths_.Get(diskNumber));
  return it != open_.end() && it->second.gone;
}

std::uint64_t SectorReader::SizeInSectors(int diskNumber) {
  std::lock_guard lock(mutex_);
  OpenDevice* state = nullptr;
  std::shared_ptr<BlockDevice> device = DeviceFor(paths_.Get(diskNumber), &state);
  if (!device) return 0;
  const std::uint64_t bytes = device->SizeBytes();
  return bytes / kSectorSize + (bytes % kSectorSize != 0 ? 1 : 0);
}

std::uint32_t SectorReader::LogicalSectorSize(int diskNumber) {
  std::lock_guard lock(mutex_);
  OpenDevice* state = nullptr;
  std::shared_ptr<BlockDevice> device = DeviceFor(paths_.Get(diskNumber), &state);
  return device ? device->LogicalSectorSize() : 0;
}

bool SectorReader::KnownUnreadable(int diskNumber, std::uint64_t firstSector, std::uint64_t sectorCount) {
  std::shared_ptr<BlockDevice> device;
  {
    std::lock_guard lock(mutex_);
    OpenDevice* state = nullptr;
    device = DeviceFor(paths_.Get(diskNumber), &state);
  }
  if (!device || sectorCount == 0 || firstSector > UINT64_MAX / kSectorSize - sectorCount) return false;
  return device->KnownUnreadable(firstSector * kSectorSize, sectorCount * kSectorSize);
}

bool SectorReader::HasUnreadMap(int diskNumber) {
  std::lock_guard lock(mutex_);
  OpenDevice* state = nullptr;
  std::shared_ptr<BlockDevice> device = DeviceFor(paths_.Get(diskNumber), &state);
  return device && device->HasUnreadMap();
}

bool SectorReader::IsImageFile(int diskNumber) {
  std::lock_guard lock(mutex_);
  OpenDevice* state = nullptr;
  std::shared_ptr<BlockDevice> device = DeviceFor(paths_.Get(diskNumber), &state);
  return device && device->IsImageFile();
}

int SectorReader::ReadNt(const std::string& path, std::uint64_t first, std::uint32_t count,
                         std::uint8_t* buffer, ReadReport* report) {
  const std::size_t bytes = static_cast<std::size_t>(count) * kSectorSize;
  std::shared_ptr<BlockDevice> device;
  bool gone = false;
  std::optional<std::uint64_t> lastGood;
  {
    std::lock_guard lock(mutex_);
    OpenDevice* state = nullptr;
    device = DeviceFor(path, &state);
    if (state) {
      gone = state->gone;
      lastGood = state->lastGoodSector;
    }
  }
  const auto failAll = [&](bool deviceGone) {
    std::memset(buffer, 0, bytes);
    if (report) {
      report->failedSectors = count;
      report->deviceGone = deviceGone;
    }
    return 0;
  };
  if (!device) return failAll(false);
  if (gone) return failAll(true);
  // Sector numbers near 2^64 would wrap the byte offset; such a sector cannot exist.
  if (first > (UINT64_MAX / kSectorSize) - count) {
    if (report) report->pastEndSectors = count;
    return failAll(false);
  }

  // Sectors past the end of the disk are no bad sectors: they are not there. They read as zeros
  // without a retry, so a range that runs far past the end costs one request, not one per sector.
  const std::uint64_t sizeBytes = device->SizeBytes();
  std::uint32_t inside = count;
  if (sizeBytes != 0) {
    const std::uint64_t sectors = sizeBytes / kSectorSize + (sizeBytes % kSectorSize != 0 ? 1 : 0);
    inside =
        first >= sectors ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectors - first));
  }
  const std::uint32_t pastEnd = count - inside;
  if (pastEnd != 0) {
    std::memset(buffer + std::size_t{inside} * kSectorSize, 0, std::size_t{pastEnd} * kSectorSize);
    if (report) {
      report->failedSectors = pastEnd;
      report->pastEndSectors = pastEnd;
    }
  }
  if (inside == 0) return 0;
  const auto remember = [&](std::uint64_t sector) {
    std::lock_guard lock(mutex_);
    if (auto it = open_.find(path); it != open_.end()) it->second.lastGoodSector = sector;
  };
  if (device->ReadAt(first * kSectorSize,
                     std::span<std::uint8_t>(buffer, std::size_t{inside} * kSectorSize))) {
    remember(first);
    return pastEnd == 0 ? 1 : 0;
  }

  trigger_.Invoke();
  if (report) report->retried = true;
  // A run of sectors that fail one at a time is either bad media or a disk that is gone: after
  // kProbeAfter failures in a row, a sector that read before is read again, and when it fails
  // too the disk is taken as gone rather than tried sector by sector to the end.
  constexpr std::uint32_t kProbeAfter = 8;
  std::uint32_t failed = 0;
  std::uint32_t failedInARow = 0;
  bool probed = false;
  for (std::uint32_t i = 0; i < inside; ++i) {
    std::span<std::uint8_t> sector(buffer + std::size_t{i} * kSectorSize, kSectorSize);
    if (device->ReadAt((first + i) * kSectorSize, sector)) {
      remember(first + i);
      lastGood = first + i;
      failedInARow = 0;
      continue;
    }
    std::memset(sector.data(), 0, kSectorSize);
    ++failed;
    if (++failedInARow < kProbeAfter || probed || !lastGood) continue;
    probed = true;
    std::array<std::uint8_t, kSectorSize> probe{};
    if (device->ReadAt(*lastGood * kSectorSize, probe)) continue;
    {
      std::lock_guard lock(mutex_);
      if (auto it = open_.find(path); it != open_.end()) it->second.gone = true;
    }
    const std::uint32_t rest = inside - i - 1;
    std::memset(buffer + std::size_t{i + 1} * kSectorSize, 0, std::size_t{rest} * kSectorSize);
    failed += rest;
    if (report) report->deviceGone = true;
    break;
  }
  if (report) report->failedSectors = failed + pastEnd;
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
