#pragma once
// FAT12, FAT16 and FAT32 volumes built in memory for the recovery tests: files written over any
// clusters (chained in the FAT, or left unchained as a deleted file leaves them), directories,
// and a results tree over them bound to the FAT engine as a search leaves it.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
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
using fat_test::NamedEntries;
using fat_test::ShortEntry;

// Bytes that differ from file to file and from offset to offset.
inline std::vector<std::uint8_t> Pattern(std::size_t size, int seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 509 + seed * 77 + 1) & 0xFF);
  return bytes;
}

constexpr std::uint16_t FatDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t FatTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

class MemoryVolume {
 public:
  // A volume at sector 64 with 4 reserved sectors, two FATs for `clusters` clusters, a 32-sector
  // root directory on FAT12 and FAT16 (the root is cluster 2 on FAT32) and the data area after.
  MemoryVolume(FsType type, std::uint32_t spc, std::uint32_t clusters) : type_(type), spc_(spc) {
    const std::uint64_t entryBits = type == FsType::kFat12 ? 12 : type == FsType::kFat16 ? 16 : 32;
    fatSectors_ = static_cast<std::uint32_t>(((clusters + 2) * entryBits / 8 + 511) / 512);
    rootSectors_ = type == FsType::kFat32 ? 0 : 32;
    const std::uint64_t dataStart = kStart + kReserved + 2ull * fatSectors_ + rootSectors_;
    cluster0_ = static_cast<std::uint32_t>(dataStart - 2ull * spc);
    end_ = dataStart + std::uint64_t{clusters} * spc;
    disk = std::make_unique<fat_test::TestDisk>(end_ + 16);
    Apply();
    if (type == FsType::kFat32) Chain({2});
  }

  ScanContext& Ctx() { return disk->ctx; }
  FaultBlockDevice& Device() { return *disk->disk; }
  std::uint64_t ClusterSector(std::uint32_t c) const { return std::uint64_t{c} * spc_ + cluster0_; }
  std::size_t ClusterBytes() const { return std::size_t{spc_} * 512; }
  std::uint32_t LastCluster() const { return static_cast<std::uint32_t>((end_ - cluster0_) / spc_ - 1); }
  std::uint64_t FirstFatSector() const { return kStart + kReserved; }

  void SetEntry(std::uint32_t cluster, std::uint32_t value) {
    for (std::uint64_t fat = 0; fat < 2; ++fat) {
      const std::uint64_t base = (FirstFatSector() + fat * fatSectors_) * 512;
      if (type_ == FsType::kFat12) {
        const std::uint64_t at = base + cluster + cluster / 2;
        std::array<std::uint8_t, 2> pair{};
        Device().ReadAt(at, pair);
        if (cluster & 1) {
          pair[0] = static_cast<std::uint8_t>((pair[0] & 0x0F) | ((value & 0x0F) << 4));
          pair[1] = static_cast<std::uint8_t>(value >> 4);
        } else {
          pair[0] = static_cast<std::uint8_t>(value);
          pair[1] = static_cast<std::uint8_t>((pair[1] & 0xF0) | ((value >> 8) & 0x0F));
        }
        Device().Write(at, pair);
      } else {
        const std::size_t width = type_ == FsType::kFat16 ? 2 : 4;
        std::array<std::uint8_t, 4> v{};
        test_support::Put32(v, 0, value);
        Device().Write(base + std::uint64_t{cluster} * width, std::span<const std::uint8_t>(v.data(), width));
      }
    }
  }
  std::uint32_t EndOfChain() const {
    return type_ == FsType::kFat12 ? 0xFFF : type_ == FsType::kFat16 ? 0xFFFF : 0x0FFFFFFF;
  }
  void Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
      SetEntry(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : EndOfChain());
  }
  // Writes bytes over the clusters in order; a live file's clusters are chained, a deleted file's
  // are left free.
  void PutFile(const std::vector<std::uint32_t>& clusters, const std::vector<std::uint8_t>& bytes, bool live) {
    for (std::size_t i = 0; i < clusters.size(); ++i) {
      const std::size_t from = i * ClusterBytes();
      if (from >= bytes.size()) break;
      const std::size_t n = std::min(ClusterBytes(), bytes.size() - from);
      Device().Write(ClusterSector(clusters[i]) * 512, std::span<const std::uint8_t>(bytes.data() + from, n));
    }
    if (live) Chain(clusters);
  }
  // The root directory's entries (FAT12 and FAT16: the fixed root; FAT32: cluster 2).
  void PutRoot(const std::vector<Entry>& entries) {
    const std::uint64_t first = type_ == FsType::kFat32 ? ClusterSector(2) : kStart + kReserved + 2ull * fatSectors_;
    PutEntries(first, entries);
  }
  // A sub-directory in one cluster: "." and ".." and the entries.
  void PutDirectory(std::uint32_t self, std::uint32_t parent, const std::vector<Entry>& entries) {
    std::vector<Entry> all = {ShortEntry(".", 0x10, self), ShortEntry("..", 0x10, parent)};
    all.insert(all.end(), entries.begin(), entries.end());
    PutEntries(ClusterSector(self), all);
    Chain({self});
  }

  // The geometry a validated search leaves, in both records.
  void Apply() {
    ScanContext& ctx = Ctx();
    VolumeGeometry g;
    g.FatSectors = fatSectors_;
    g.SectorsPerCluster = spc_;
    g.RootDirSectors = rootSectors_;
    g.RootDirStart = type_ == FsType::kFat32 ? 2 : static_cast<std::uint32_t>(kStart + kReserved + 2 * fatSectors_);
    g.ReservedSectors = kReserved;
    g.Cluster0Sector = cluster0_;
    g.FirstFatSector = static_cast<std::uint32_t>(FirstFatSector());
    g.SecondFatSector = g.FirstFatSector + fatSectors_;
    ctx.partitionType = type_ == FsType::kFat12 ? FsType::kFat16 : type_;
    ctx.searchStart = kStart;
    ctx.searchEnd = end_;
    ctx.ResetForScan();
    ctx.geometry = g;
    ctx.activeGeometry.CopyFrom(g, type_);
  }
  // The results tree as a search leaves it: bound to the volume, folders added by the test.
  void BindTree() {
    BindFatVolume(Ctx(), std::make_shared<FatReader>(Ctx()));
  }
  TreeItem Root() { return Ctx().results.Tree().Root(); }
  TreeItem AddFolder(TreeItem parent, const std::string& name, std::uint32_t self, std::uint32_t parentKey,
                     bool deleted = false, std::uint16_t date = FatDate(2022, 3, 4), std::uint16_t time = FatTime(5, 6, 8)) {
    return InsertFolderNode(Ctx().results, parent, name, self, date, time, parentKey, deleted);
  }

 private:
  static constexpr std::uint64_t kStart = 64;
  static constexpr std::uint32_t kReserved = 4;

  void PutEntries(std::uint64_t sector, const std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i)
      Device().Write(sector * 512 + i * 32, entries[i]);
  }

  FsType type_;
  std::uint32_t spc_;
  std::uint32_t fatSectors_ = 0;
  std::uint32_t rootSectors_ = 0;
  std::uint32_t cluster0_ = 0;
  std::uint64_t end_ = 0;

 public:
  std::unique_ptr<fat_test::TestDisk> disk;
};

// A folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("quarrow-recovery-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every path below root, relative, "/" between names, folders ending in "/".
inline std::vector<std::string> Listing(const std::filesystem::path& root) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    std::string rel = std::filesystem::relative(e.path(), root).generic_string();
    if (e.is_directory()) rel += "/";
    out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace quarrow::recovery_test
