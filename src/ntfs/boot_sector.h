#pragma once
// The NTFS boot sector: where its fields lie, what they say about the volume, and the
// FileSystemTable row a sector scan writes for one it finds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bytes.h"

namespace quarrow {

namespace ntfs_boot {
inline constexpr std::size_t kOemId = 3;                    // "NTFS" followed by four spaces
inline constexpr std::size_t kBytesPerSector = 11;          // u16
inline constexpr std::size_t kSectorsPerCluster = 13;       // u8
inline constexpr std::size_t kTotalSectors = 40;            // u64
inline constexpr std::size_t kMftCluster = 48;              // u64
inline constexpr std::size_t kMftMirrorCluster = 56;        // u64
inline constexpr std::size_t kClustersPerRecord = 64;       // read as a whole u32 word
inline constexpr std::size_t kClustersPerIndexRecord = 68;  // read as a whole u32 word
// The words the format writes for 1024-byte file records and 4096-byte index records.
inline constexpr std::uint32_t kRecordWord1024 = 0xF6;
inline constexpr std::uint32_t kIndexWord4096 = 0xF4;
}  // namespace ntfs_boot

// Sector counts are in the reader's 512-byte sectors: a volume of 1024-, 2048- or 4096-byte
// sectors has its cluster size, its record sizes and its length scaled by sectorScale here, once.
// Any other sector size leaves sectorScale 0 and the figures unscaled.
struct NtfsBootSector {
  bool hasSignature = false;         // 0x55 0xAA at 510
  bool hasNtfsId = false;            // "NTFS" at 3
  std::uint16_t bytesPerSector = 0;  // as stored
  std::uint32_t sectorScale = 0;     // 512-byte sectors per volume sector: 1, 2, 4 or 8; 0 for another size
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t totalSectors = 0;
  std::uint64_t mftCluster = 0;
  std::uint64_t mftMirrorCluster = 0;
  std::uint32_t clustersPerRecord = 0;       // the raw word at 64
  std::uint32_t clustersPerIndexRecord = 0;  // the raw word at 68
  // A word whose low byte reads as a negative number n says 2^-n bytes (0xF6: 1024, 2 sectors;
  // 0xF5: 2048, 4 sectors); any other word counts clusters.
  std::uint64_t recordSectors = 0;
  // The same rule for the word at 68 (0xF4: 4096 bytes, 8 sectors).
  std::uint64_t indexRecordSectors = 0;

  // What a sector scan takes for an NTFS boot sector.
  bool IsNtfsBootSector() const { return hasSignature && hasNtfsId; }
};

// Decodes every field whatever the sector holds; a buffer shorter than 512 bytes reads as zeros
// where it ends.
NtfsBootSector DecodeNtfsBootSector(ByteSpan sector);

// The cells 0 to 6 of the FileSystemTable row of an NTFS boot sector found at sector, in column
// order. The 32-bit cells take the low halves of the 64-bit fields.
struct NtfsFileSystemRow {
  std::string sector;                 // "Sector"
  std::string sectorsPerCluster;      // "SPF"
  std::string sectorsPerIndexRecord;  // "SPC"
  std::string rootSectors;            // "Root Sectors", always "2"
  std::string totalSectors;           // "Root Start"
  std::string mftCluster;             // "Reserve Sectors"
  std::string mftMirrorCluster;       // "Cluster0Start"

  std::array<std::string, 7> Cells() const {
    return {sector,       sectorsPerCluster, sectorsPerIndexRecord, rootSectors,
            totalSectors, mftCluster,        mftMirrorCluster};
  }
};

NtfsFileSystemRow MakeNtfsFileSystemRow(const NtfsBootSector& boot, std::uint64_t sector);

}  // namespace quarrow
