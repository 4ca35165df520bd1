#pragma once
// In-memory disks with hand-built partition tables and boot sectors, for the partition tests.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/feedback.h"
#include "disk/fault_block_device.h"
#include "disk/sector_reader.h"
#include "support/test_support.h"

namespace quarrow::partition_test {

using Sector = std::array<std::uint8_t, 512>;

using test_support::Put16;
using test_support::Put32;
using test_support::PutText;
using test_support::RecordingFeedback;

inline void Sign(Sector& s) {
  s[510] = 0x55;
  s[511] = 0xAA;
}

struct TableSlot {
  std::uint8_t type = 0;
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

// An MBR or extended boot record with the given entries (at most four), signed.
inline Sector PartitionTable(const std::vector<TableSlot>& slots, bool signed_ = true) {
  Sector s{};
  for (std::size_t i = 0; i < slots.size() && i < 4; ++i) {
    const std::size_t entry = 446 + 16 * i;
    s[entry + 4] = slots[i].type;
    Put32(s, entry + 8, slots[i].first);
    Put32(s, entry + 12, slots[i].count);
  }
  if (signed_) Sign(s);
  return s;
}

struct Fat16Figures {
  std::uint8_t sectorsPerCluster = 4;
  std::uint16_t reserved = 4;
  std::uint8_t fats = 2;
  std::uint16_t rootEntries = 512;
  std::uint16_t sectorsPerFat = 32;
  std::string_view label = "FAT16   ";  // at byte 54
};

inline Sector Fat16Boot(const Fat16Figures& f) {
  Sector s{};
  s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
  PutText(s, 3, "MSDOS5.0");
  Put16(s, 11, 512);
  s[13] = f.sectorsPerCluster;
  Put16(s, 14, f.reserved);
  s[16] = f.fats;
  Put16(s, 17, f.rootEntries);
  s[21] = 0xF8;
  Put16(s, 22, f.sectorsPerFat);
  PutText(s, 54, f.label);
  Sign(s);
  return s;
}

struct Fat32Figures {
  std::uint8_t sectorsPerCluster = 8;
  std::uint16_t reserved = 32;
  std::uint32_t sectorsPerFat = 600;
  std::uint32_t rootCluster = 2;
};

inline Sector Fat32Boot(const Fat32Figures& f) {
  Sector s{};
  s[0] = 0xEB, s[1] = 0x58, s[2] = 0x90;
  PutText(s, 3, "MSWIN4.1");
  Put16(s, 11, 512);
  s[13] = f.sectorsPerCluster;
  Put16(s, 14, f.reserved);
  s[16] = 2;
  s[21] = 0xF8;
  Put32(s, 36, f.sectorsPerFat);
  Put32(s, 44, f.rootCluster);
  PutText(s, 82, "FAT32   ");
  Sign(s);
  return s;
}

struct NtfsFigures {
  std::uint8_t sectorsPerCluster = 8;
  std::uint64_t mftCluster = 4;
  std::uint64_t mirrorCluster = 2;
  std::uint32_t recordField = 0xF6;  // byte 64
  std::uint32_t indexField = 0x01;   // byte 68
  std::uint16_t bytesPerSector = 512;
};

inline Sector NtfsBoot(const NtfsFigures& f) {
  Sector s{};
  s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
  PutText(s, 3, "NTFS    ");
  Put16(s, 11, f.bytesPerSector);
  s[13] = f.sectorsPerCluster;
  s[21] = 0xF8;
  Put32(s, 48, static_cast<std::uint32_t>(f.mftCluster));
  Put32(s, 52, static_cast<std::uint32_t>(f.mftCluster >> 32));
  Put32(s, 56, static_cast<std::uint32_t>(f.mirrorCluster));
  Put32(s, 60, static_cast<std::uint32_t>(f.mirrorCluster >> 32));
  Put32(s, 64, f.recordField);
  Put32(s, 68, f.indexField);
  Sign(s);
  return s;
}

inline Sector FileRecord() {
  Sector s{};
  PutText(s, 0, "FILE");
  return s;
}

inline Sector FatStart(std::uint8_t media) {
  Sector s{};
  s[0] = media, s[1] = 0xFF, s[2] = 0xFF, s[3] = 0xFF;
  return s;
}

// One disk in memory, as disk 0 of a reader.
struct MemoryDisk {
  explicit MemoryDisk(std::uint64_t sectors) : device(std::make_shared<FaultBlockDevice>(sectors * 512)) {
    opener.Add("memdisk0", device);
    paths.Set(0, "memdisk0");
    reader.Trigger().SetStart([this] { ++lostPartitionStarts; });
    reader.Trigger().SetOnDiskPage(true);
  }
  void Write(std::uint64_t sector, const Sector& bytes) { device->WriteSector(sector, bytes); }
  std::uint64_t Sectors() const { return device->SizeBytes() / 512; }

  std::shared_ptr<FaultBlockDevice> device;
  FaultDeviceOpener opener;
  DevicePathTable paths;
  SectorReader reader{paths, opener};
  int lostPartitionStarts = 0;
};

}  // namespace quarrow::partition_test
