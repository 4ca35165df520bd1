#pragma once
// FAT volumes built sector by sector in memory for the FAT engine tests: directory entries,
// long-name parts, directory start sectors, FAT entries, and a ScanContext reading the disk.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/feedback.h"
#include "disk/fault_block_device.h"
#include "disk/sector_reader.h"
#include "fat/fat_file_list.h"
#include "fat/fat_reader.h"
#include "fat/fat_volume.h"
#include "scan/scan_context.h"
#include "support/test_support.h"

namespace quarrow::fat_test {

using Sector = std::array<std::uint8_t, 512>;
using Entry = std::array<std::uint8_t, 32>;

using test_support::Put16;
using test_support::Put32;
using test_support::RecordingFeedback;

// A short entry. name11 is the 11 name and extension bytes, padded with spaces when shorter.
inline Entry ShortEntry(std::string_view name11, std::uint8_t attr, std::uint32_t cluster,
                        std::uint32_t size = 0, std::uint16_t date = 0x5825, std::uint16_t time = 0x68E0) {
  Entry e{};
  for (std::size_t i = 0; i < 11; ++i) e[i] = i < name11.size() ? static_cast<std::uint8_t>(name11[i]) : ' ';
  e[11] = attr;
  Put16(e, 20, static_cast<std::uint16_t>(cluster >> 16));
  Put16(e, 22, time);
  Put16(e, 24, date);
  Put16(e, 26, static_cast<std::uint16_t>(cluster));
  Put32(e, 28, size);
  return e;
}

// A long-name part with sequence byte seq holding up to 13 characters; a shorter text is ended
// by a 0 character and padded with 0xFFFF, as writers do.
inline Entry LongEntry(std::uint8_t seq, std::string_view chars) {
  static constexpr std::array<int, 13> kOffsets = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  Entry e{};
  e[0] = seq;
  e[11] = 0x0F;
  for (std::size_t i = 0; i < 13; ++i) {
    std::uint16_t unit = 0xFFFF;
    if (i < chars.size()) {
      unit = static_cast<std::uint8_t>(chars[i]);
    } else if (i == chars.size()) {
      unit = 0;
    }
    Put16(e, static_cast<std::size_t>(kOffsets[i]), unit);
  }
  return e;
}

// A long-name part holding up to 13 UTF-16 units.
inline Entry LongEntry16(std::uint8_t seq, std::u16string_view units) {
  static constexpr std::array<int, 13> kOffsets = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  Entry e{};
  e[0] = seq;
  e[11] = 0x0F;
  for (std::size_t i = 0; i < 13; ++i) {
    const std::uint16_t unit = i < units.size() ? units[i] : (i == units.size() ? 0 : 0xFFFF);
    Put16(e, static_cast<std::size_t>(kOffsets[i]), unit);
  }
  return e;
}

// The entries of a UTF-16 long name (last part first) followed by its short entry.
inline std::vector<Entry> NamedEntries16(std::u16string_view name, const Entry& shortEntry) {
  std::vector<Entry> parts;
  const std::size_t count = (name.size() + 12) / 13;
  for (std::size_t k = count; k >= 1; --k) {
    auto seq = static_cast<std::uint8_t>(k == count ? 0x40 + k : k);
    parts.push_back(
        LongEntry16(seq, name.substr((k - 1) * 13, std::min<std::size_t>(13, name.size() - (k - 1) * 13))));
  }
  parts.push_back(shortEntry);
  return parts;
}

// The entries of a long name (last part first, as on disk) followed by its short entry.
inline std::vector<Entry> NamedEntries(std::string_view longName, const Entry& shortEntry) {
  std::vector<Entry> parts;
  const std::size_t count = (longName.size() + 12) / 13;
  for (std::size_t k = count; k >= 1; --k) {
    auto seq = static_cast<std::uint8_t>(k == count ? 0x40 + k : k);
    parts.push_back(LongEntry(seq, longName.substr((k - 1) * 13, 13)));
  }
  parts.push_back(shortEntry);
  return parts;
}

inline Sector SectorOf(const std::vector<Entry>& entries) {
  Sector s{};
  for (std::size_t i = 0; i < entries.size() && i < 16; ++i) {
    for (std::size_t b = 0; b < 32; ++b) s[i * 32 + b] = entries[i][b];
  }
  return s;
}

// The first sector of a sub-directory: "." naming self, ".." naming parent, then entries.
inline Sector DirectoryStart(std::uint32_t self, std::uint32_t parent, const std::vector<Entry>& more = {}) {
  std::vector<Entry> entries = {ShortEntry(".", 0x10, self), ShortEntry("..", 0x10, parent)};
  entries.insert(entries.end(), more.begin(), more.end());
  return SectorOf(entries);
}

// A disk in memory with a ScanContext over it.
struct TestDisk {
  explicit TestDisk(std::uint64_t sectors) : disk(std::make_shared<FaultBlockDevice>(sectors * 512)) {
    opener.Add("fat-test.img", disk);
    paths.Set(0, "fat-test.img");
    ctx.reader = &reader;
    ctx.diskNumber = 0;
    ctx.SetFeedback(feedback);
    ctx.ResetForScan();
  }
  void Put(std::uint64_t sector, const Sector& bytes) { disk->WriteSector(sector, bytes); }
  void PutEntries(std::uint64_t sector, const std::vector<Entry>& entries) { Put(sector, SectorOf(entries)); }

  std::shared_ptr<FaultBlockDevice> disk;
  FaultDeviceOpener opener;
  DevicePathTable paths;
  SectorReader reader{paths, opener};
  RecordingFeedback feedback;
  ScanContext ctx;
};

// A FAT32 layout: partition at start, 32 reserved sectors, two FATs of fatSectors each, data
// from cluster 2 on. The geometry goes into both VolumeGeometry and ActiveVolumeGeometry.
struct Fat32Layout {
  std::uint32_t start = 100;
  std::uint32_t reserved = 32;
  std::uint32_t fatSectors = 8;
  std::uint32_t spc = 4;
  std::uint32_t rootCluster = 2;

  std::uint32_t FirstFat() const { return start + reserved; }
  std::uint32_t Cluster0() const { return start + reserved + 2 * fatSectors - 2 * spc; }
  std::uint64_t ClusterSector(std::uint32_t c) const { return std::uint64_t{c} * spc + Cluster0(); }

  void Apply(ScanContext& ctx, std::int64_t end) const {
    VolumeGeometry g;
    g.FatSectors = fatSectors;
    g.SectorsPerCluster = spc;
    g.RootDirSectors = 0;
    g.RootDirStart = rootCluster;
    g.ReservedSectors = reserved;
    g.Cluster0Sector = Cluster0();
    g.FirstFatSector = FirstFat();
    g.SecondFatSector = FirstFat() + fatSectors;
    ctx.geometry = g;
    ctx.activeGeometry.CopyFrom(g, FsType::kFat32);
    ctx.partitionType = FsType::kFat32;
    ctx.searchStart = start;
    ctx.searchEnd = end;
  }
};

// Sets FAT32 entry cluster = next in the first FAT of the disk.
inline void SetFat32(TestDisk& d, const Fat32Layout& l, std::uint32_t cluster, std::uint32_t next) {
  std::array<std::uint8_t, 4> v{};
  Put32(v, 0, next);
  d.disk->Write(std::uint64_t{l.FirstFat()} * 512 + std::uint64_t{cluster} * 4, v);
}

// One-off FAT readers for tests that list or name a single folder.
inline void ListFiles(ScanContext& ctx, DetailsList& list, std::uint32_t cluster) {
  FatReader fat(ctx);
  ListFatFiles(ctx, fat, list, cluster);
}
inline void NameChildren(ScanContext& ctx, const FolderNode& node) {
  FatReader fat(ctx);
  NameFatChildren(ctx, fat, node);
}

}  // namespace quarrow::fat_test
