#pragma once
// exFAT volumes built in memory: a boot region with its checksum (and a backup), a FAT, an
// allocation bitmap, a root directory with its bitmap, up-case and label entries, and entry sets
// written into directory clusters as a formatter and a driver write them.

#include <cstdint>
#include <string>
#include <vector>

#include "exfat/boot_sector.h"
#include "exfat/entry_set.h"
#include "fat_test_volume.h"

namespace quarrow::exfat_test {

using Bytes = std::vector<std::uint8_t>;

// The fields of one entry set to write.
struct SetSpec {
  std::u16string name;
  std::uint16_t attributes = 0x20;
  std::uint32_t firstCluster = 0;
  std::uint64_t dataLength = 0;
  std::uint64_t validDataLength = ~0ull;  // the data length when left so
  bool noFatChain = false;
  bool deleted = false;
  std::uint32_t modified =
      (44u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 5;  // 2024-06-15 10:20:10
  std::uint8_t modified10ms = 0;
  std::uint8_t modifiedUtcOffset = 0x80;  // valid, UTC
};

// The bytes of an entry set as a driver writes it (checksum included), with the in-use bits cleared
// afterwards for a deleted one.
inline Bytes EntrySetBytes(const SetSpec& s) {
  const std::size_t nameEntries = (s.name.size() + 14) / 15;
  Bytes set((2 + nameEntries) * 32, 0);
  set[0] = 0x85;
  set[1] = static_cast<std::uint8_t>(1 + nameEntries);
  set[4] = static_cast<std::uint8_t>(s.attributes);
  set[5] = static_cast<std::uint8_t>(s.attributes >> 8);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) set[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto put64 = [&](std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) set[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(8, s.modified);
  put32(12, s.modified);
  put32(16, s.modified);
  set[21] = s.modified10ms;
  set[22] = set[23] = set[24] = s.modifiedUtcOffset;
  set[32] = 0xC0;
  set[33] = static_cast<std::uint8_t>(0x01 | (s.noFatChain ? 0x02 : 0));
  set[35] = static_cast<std::uint8_t>(s.name.size());
  put64(40, s.validDataLength == ~0ull ? s.dataLength : s.validDataLength);
  put32(52, s.firstCluster);
  put64(56, s.dataLength);
  for (std::size_t i = 0; i < s.name.size(); ++i) {
    const std::size_t at = (2 + i / 15) * 32 + 2 + (i % 15) * 2;
    set[at - 2 - (i % 15) * 2] = 0xC1;
    set[at] = static_cast<std::uint8_t>(s.name[i]);
    set[at + 1] = static_cast<std::uint8_t>(s.name[i] >> 8);
  }
  const std::uint16_t sum = EntrySetChecksum(set);
  set[2] = static_cast<std::uint8_t>(sum);
  set[3] = static_cast<std::uint8_t>(sum >> 8);
  if (s.deleted)
    for (std::size_t e = 0; e < set.size(); e += 32) set[e] &= 0x7F;
  return set;
}

// A volume of 2048 sectors at sector `start` of a disk of start + 2048 + 16 sectors: 512-byte
// sectors, two-sector clusters, the FAT at 32 (16 sectors), the heap at 64; cluster 2 holds the
// bitmap, 3 the up-case table, 4 the root.
struct Volume {
  static constexpr std::uint32_t kVolumeSectors = 2048;
  static constexpr std::uint32_t kFatOffset = 32, kFatLength = 16, kHeapOffset = 64, kSpc = 2;
  static constexpr std::uint32_t kClusterCount = (kVolumeSectors - kHeapOffset) / kSpc;
  static constexpr std::uint32_t kRoot = 4;

  explicit Volume(std::uint64_t start = 0) : start(start), image(std::size_t{kVolumeSectors} * 512, 0) {
    WriteBootRegion(0);
    WriteBootRegion(12);
    SetFat(0, 0xFFFFFFF8);
    SetFat(1, 0xFFFFFFFF);
    for (std::uint32_t c : {2u, 3u, 4u}) {
      SetFat(c, 0xFFFFFFFF);
      Allocate(c);
    }
    // The root: label, bitmap and up-case entries.
    Bytes root(96, 0);
    root[0] = 0x83;
    const std::u16string label = u"CARD";
    root[1] = static_cast<std::uint8_t>(label.size());
    for (std::size_t i = 0; i < label.size(); ++i) root[2 + 2 * i] = static_cast<std::uint8_t>(label[i]);
    root[32] = 0x81;
    root[32 + 20] = 2;
    root[32 + 24] = static_cast<std::uint8_t>((kClusterCount + 7) / 8);
    root[64] = 0x82;
    root[64 + 20] = 3;
    root[64 + 24] = 128;
    PutBytes(ClusterOffset(kRoot), root);
    rootUsed = root.size();
  }

  std::uint64_t start;
  Bytes image;
  std::size_t rootUsed = 0;

  std::size_t ClusterOffset(std::uint32_t cluster) const {
    return (std::size_t{kHeapOffset} + std::size_t{cluster - 2} * kSpc) * 512;
  }
  std::uint64_t ClusterSector(std::uint32_t cluster) const { return start + ClusterOffset(cluster) / 512; }
  void PutBytes(std::size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + at);
  }
  void SetFat(std::uint32_t cluster, std::uint32_t next) {
    const std::size_t at = std::size_t{kFatOffset} * 512 + cluster * 4;
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(next >> (8 * i));
  }
  void Allocate(std::uint32_t cluster, bool used = true) {
    const std::size_t at = ClusterOffset(2) + (cluster - 2) / 8;
    const auto bit = static_cast<std::uint8_t>(1u << ((cluster - 2) % 8));
    image[at] = used ? (image[at] | bit) : (image[at] & ~bit);
  }
  void Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
      SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFFFFFF);
  }
  // Appends a set to the root.
  void AddToRoot(const SetSpec& spec) {
    const Bytes set = EntrySetBytes(spec);
    PutBytes(ClusterOffset(kRoot) + rootUsed, set);
    rootUsed += set.size();
  }
  // The boot sector at volume sector `at` (0 or 12) and the ten sectors after it, with the
  // checksum sector.
  void WriteBootRegion(std::size_t at) {
    Bytes boot(512, 0);
    boot[0] = 0xEB;
    boot[1] = 0x76;
    boot[2] = 0x90;
    const char* name = "EXFAT   ";
    for (int i = 0; i < 8; ++i) boot[3 + i] = static_cast<std::uint8_t>(name[i]);
    auto put = [&](std::size_t off, std::uint64_t v, int n) {
      for (int i = 0; i < n; ++i) boot[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(64, start, 8);
    put(72, kVolumeSectors, 8);
    put(80, kFatOffset, 4);
    put(84, kFatLength, 4);
    put(88, kHeapOffset, 4);
    put(92, kClusterCount, 4);
    put(96, kRoot, 4);
    put(100, 0x1234ABCD, 4);
    put(104, 0x0100, 2);
    boot[108] = 9;
    boot[109] = 1;
    boot[110] = 1;
    boot[510] = 0x55;
    boot[511] = 0xAA;
    PutBytes(at * 512, boot);
    for (std::size_t s = 1; s <= 8; ++s) {
      image[(at + s) * 512 + 510] = 0x55;
      image[(at + s) * 512 + 511] = 0xAA;
    }
    SealBootRegion(at);
  }
  // Writes the checksum sector of the region at volume sector `at` for what it holds now.
  void SealBootRegion(std::size_t at) {
    const ByteSpan region(image.data() + at * 512, 12 * 512);
    const std::uint32_t sum = BootRegionChecksum(region, 512);
    for (std::size_t i = 0; i < 512; i += 4)
      for (int b = 0; b < 4; ++b) image[(at + 11) * 512 + i + b] = static_cast<std::uint8_t>(sum >> (8 * b));
  }

  // Copies the volume onto a test disk at its start sector.
  void WriteTo(fat_test::TestDisk& disk) const {
    for (std::size_t s = 0; s < kVolumeSectors; ++s) {
      fat_test::Sector sector{};
      std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(s * 512), 512, sector.begin());
      disk.Put(start + s, sector);
    }
  }
};

}  // namespace quarrow::exfat_test
