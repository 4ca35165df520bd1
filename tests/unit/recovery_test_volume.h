#pragma once
// FAT12, FAT16 and FAT32 volumes built in memory for the recovery tests: files written over any
// clusters (chained in the FAT, or left free as a deleted file leaves them), directories, and the
// geometry a validated search leaves; and a scratch folder for what is recovered.

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fat/fat_volume.h"
#include "fat_test_volume.h"
#include "results/folder_tree.h"

namespace quarrow::recovery_test {

using fat_test::Entry;
using fat_test::ShortEntry;
using Bytes = std::vector<std::uint8_t>;

// Bytes that differ from file to file and from offset to offset.
inline Bytes Pattern(std::size_t size, int seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 509 + seed * 77 + 1) & 0xFF);
  return bytes;
}

constexpr std::uint16_t FatDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t FatTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

// A volume at sector 64: 4 reserved sectors, two FATs for `clusters` clusters, a 32-sector root on
// FAT12 and FAT16 (cluster 2 on FAT32), then the data area.
class MemoryVolume {
 public:
  MemoryVolume(FsType type, std::uint32_t spc, std::uint32_t clusters) : type_(type), spc_(spc) {
    const std::uint64_t bits = type == FsType::kFat12 ? 12 : type == FsType::kFat16 ? 16 : 32;
    fatSectors_ = static_cast<std::uint32_t>(((clusters + 2) * bits / 8 + 511) / 512);
    root_ = kStart + kReserved + 2ull * fatSectors_;
    const std::uint64_t data = root_ + (type == FsType::kFat32 ? 0 : 32);
    cluster0_ = static_cast<std::uint32_t>(data - 2ull * spc);
    end_ = data + std::uint64_t{clusters} * spc;
    disk = std::make_unique<fat_test::TestDisk>(end_ + 16);
    VolumeGeometry g;
    g.FatSectors = fatSectors_;
    g.SectorsPerCluster = spc;
    g.RootDirSectors = type == FsType::kFat32 ? 0 : 32;
    g.RootDirStart = type == FsType::kFat32 ? 2 : static_cast<std::uint32_t>(root_);
    g.ReservedSectors = kReserved;
    g.Cluster0Sector = cluster0_;
    g.FirstFatSector = static_cast<std::uint32_t>(kStart + kReserved);
    g.SecondFatSector = g.FirstFatSector + fatSectors_;
    ScanContext& ctx = Ctx();
    ctx.partitionType = type == FsType::kFat12 ? FsType::kFat16 : type;
    ctx.searchStart = kStart;
    ctx.searchEnd = end_;
    ctx.ResetForScan();
    ctx.geometry = g;
    ctx.activeGeometry.CopyFrom(g, type);
    if (type == FsType::kFat32) Chain({2});
  }

  ScanContext& Ctx() { return disk->ctx; }
  FaultBlockDevice& Device() { return *disk->disk; }
  std::uint64_t ClusterSector(std::uint32_t c) const { return std::uint64_t{c} * spc_ + cluster0_; }
  std::size_t ClusterBytes() const { return std::size_t{spc_} * 512; }
  std::uint32_t LastCluster() const { return static_cast<std::uint32_t>((end_ - cluster0_) / spc_ - 1); }
  std::uint64_t FirstFatSector() const { return kStart + kReserved; }
  std::uint32_t EndOfChain() const {
    return type_ == FsType::kFat12 ? 0xFFF : type_ == FsType::kFat16 ? 0xFFFF : 0x0FFFFFFF;
  }

  // Sets a cluster's entry in both FATs (FAT12 entries share bytes with their neighbours).
  void SetEntry(std::uint32_t cluster, std::uint32_t value) {
    for (std::uint64_t fat = 0; fat < 2; ++fat) {
      const std::uint64_t base = (FirstFatSector() + fat * fatSectors_) * 512;
      std::array<std::uint8_t, 4> v{};
      if (type_ == FsType::kFat12) {
        const std::uint64_t at = base + cluster + cluster / 2;
        Device().ReadAt(at, std::span<std::uint8_t>(v.data(), 2));
        const std::uint32_t pair = v[0] | (v[1] << 8);
        const std::uint32_t merged =
            (cluster & 1) ? (pair & 0x000F) | (value << 4) : (pair & 0xF000) | (value & 0x0FFF);
        test_support::Put16(v, 0, static_cast<std::uint16_t>(merged));
        Device().Write(at, std::span<const std::uint8_t>(v.data(), 2));
      } else {
        test_support::Put32(v, 0, value);
        const std::size_t width = type_ == FsType::kFat16 ? 2 : 4;
        Device().Write(base + std::uint64_t{cluster} * width, std::span<const std::uint8_t>(v.data(), width));
      }
    }
  }
  void Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
      SetEntry(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : EndOfChain());
  }
  // Writes bytes over the clusters in order; a live file's clusters are chained.
  void PutFile(const std::vector<std::uint32_t>& clusters, const Bytes& bytes, bool live) {
    for (std::size_t i = 0; i * ClusterBytes() < bytes.size() && i < clusters.size(); ++i) {
      const std::size_t n = std::min(ClusterBytes(), bytes.size() - i * ClusterBytes());
      Device().Write(ClusterSector(clusters[i]) * 512,
                     std::span<const std::uint8_t>(bytes.data() + i * ClusterBytes(), n));
    }
    if (live) Chain(clusters);
  }
  void PutRoot(const std::vector<Entry>& entries) {
    PutEntries(type_ == FsType::kFat32 ? ClusterSector(2) : root_, entries);
  }
  // A one-cluster sub-directory: "." and "..", then the entries.
  void PutDirectory(std::uint32_t self, std::uint32_t parent, std::vector<Entry> entries) {
    entries.insert(entries.begin(), {ShortEntry(".", 0x10, self), ShortEntry("..", 0x10, parent)});
    PutEntries(ClusterSector(self), entries);
    Chain({self});
  }
  TreeItem AddFolder(TreeItem parent, const std::string& name, std::uint32_t self, std::uint32_t parentKey) {
    return InsertFolderNode(Ctx().results, parent, name, self, FatDate(2022, 3, 4), FatTime(5, 6, 8),
                            parentKey, false);
  }

  std::unique_ptr<fat_test::TestDisk> disk;

 private:
  static constexpr std::uint64_t kStart = 64;
  static constexpr std::uint32_t kReserved = 4;
  void PutEntries(std::uint64_t sector, const std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) Device().Write(sector * 512 + i * 32, entries[i]);
  }
  FsType type_;
  std::uint32_t spc_, fatSectors_ = 0, cluster0_ = 0;
  std::uint64_t root_ = 0, end_ = 0;
};

// A folder under the system's temporary folder, removed with everything in it.
struct TempFolder {
  TempFolder() {
    static int counter = 0;
    path = std::filesystem::temp_directory_path() /
           ("quarrow-recovery-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline std::string ReadText(const std::filesystem::path& path) {
  const Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Every path below root, "/" between names, folders ending in "/", sorted.
inline std::vector<std::string> Listing(const std::filesystem::path& root) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    out.push_back(std::filesystem::relative(e.path(), root).generic_string() + (e.is_directory() ? "/" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace quarrow::recovery_test
