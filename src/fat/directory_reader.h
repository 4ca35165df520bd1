#pragma once
// Reading FAT directories: the sectors of a directory in directory order, read in runs, and one
// walk over their 32-byte entries that every reader of directories shares (the root naming pass,
// child naming and the file list).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/bytes.h"
#include "core/volume.h"
#include "fat/fat_entries.h"
#include "fat/fat_reader.h"

namespace quarrow {

struct ScanContext;

// First sector of a cluster (64-bit, so a hostile cluster number cannot wrap onto another sector).
std::uint64_t ClusterSector(const ScanContext& ctx, std::uint32_t cluster);

// The sectors of a directory in directory order: every sector of every cluster of its chain, up
// to the 65536 entries (2 MiB) a FAT directory can hold.
std::vector<std::uint64_t> DirectoryChainSectors(const ScanContext& ctx, FatReader& fat,
                                                 std::uint32_t firstCluster);

// True when cluster's first sector is a DirectoryStartSector whose "." names that cluster: the
// directory that began there is still there. With fromKept, a sector the data-area scan of this
// search kept is taken from memory.
bool DirectoryBeginsAt(const ScanContext& ctx, std::uint32_t cluster, bool fromKept = false);

// The FAT16 root directory's sectors from RootDirStart (none when it is 0), at most the 4096
// sectors that 65536 entries fill, whatever RootDirSectors says.
std::vector<std::uint64_t> Fat16RootSectors(const ScanContext& ctx);

// A directory's sectors, read when first asked for in one request per run of consecutive
// sectors (a cluster, or more when the chain is not fragmented) rather than one per sector:
// opening a folder reads its directory twice, and thousands of folders made single-sector
// requests the larger part of a scan. A run that fails is read again a sector at a time, so
// only the sectors that fail on their own are missing. With fromKept (the passes of a search,
// which run while the disk is as the data-area scan read it) the sectors that scan kept are
// taken from memory; the folders a user opens later are read from the disk as it is then.
class DirectorySectors {
 public:
  DirectorySectors(const ScanContext& ctx, std::vector<std::uint64_t> numbers, bool fromKept = false);
  std::size_t size() const { return numbers_.size(); }
  const std::vector<std::uint64_t>& Numbers() const { return numbers_; }
  // The 512 bytes of the sector at index in directory order; empty when it cannot be read.
  ByteSpan At(std::size_t index);

  // The sector at index is one of zeros the search kept as such (a directory cluster's unused
  // rest): At gives KeptSectors::ZeroSector() for it, and the walk passes it over at once.
  bool IsKeptZero(std::size_t index) const { return index < state_.size() && state_[index] == State::kZero; }

 private:
  enum class State : std::uint8_t { kUnread, kRead, kUnreadable, kZero };
  void Load(std::size_t index);

  const ScanContext& ctx_;
  std::vector<std::uint64_t> numbers_;
  // A sector's bytes are read only once it is loaded, so the buffer is not cleared first: the
  // passes make one for every folder of a card, whose unused sectors (kept as zeros by the
  // search) are never loaded.
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::vector<State> state_;
  bool fromKept_ = false;
};

// One short entry of a directory, as the walk meets it. Its name is resolved when first asked
// for: most readers skip most entries by their attribute before they need a name.
class DirectoryEntry {
 public:
  DirectoryEntry(const ScanContext& ctx, ByteSpan sector, std::size_t offset, std::uint64_t sectorNumber,
                 DirectoryOrder order)
      : ctx_(ctx), sector_(sector), offset_(offset), sectorNumber_(sectorNumber), order_(order) {}

  std::uint8_t Attr() const { return Byte(sector_, offset_ + 11); }
  bool IsDirectory() const { return (Attr() & kDirectoryAttribute) != 0; }
  bool IsVolumeLabel() const { return IsVolumeLabelEntry(sector_, offset_); }
  std::uint32_t Cluster(FsType type) const { return EntryCluster(sector_, offset_, type); }
  std::uint32_t Size() const { return Le32(sector_, offset_ + 28); }
  std::uint16_t Date() const { return Le16(sector_, offset_ + 24); }
  std::uint16_t Time() const { return Le16(sector_, offset_ + 22); }
  // The creation date, time and hundredths in one number that grows with the time.
  std::uint64_t CreatedStamp() const {
    return std::uint64_t{Le16(sector_, offset_ + 16)} << 24 |
           std::uint64_t{Le16(sector_, offset_ + 14)} << 8 | Byte(sector_, offset_ + 13);
  }
  // The first byte is the deleted marker.
  bool Deleted() const { return Byte(sector_, offset_) == kDeletedMarker; }
  // True when the extension's first byte is not a space.
  bool HasExtension() const { return Byte(sector_, offset_ + 8) != ' '; }
  // The 8.3 name with the deleted rule, replaced by its long name when one is found.
  const EntryName& Name() const;

 private:
  const ScanContext& ctx_;
  ByteSpan sector_;
  std::size_t offset_;
  std::uint64_t sectorNumber_;
  DirectoryOrder order_;
  mutable std::optional<EntryName> name_;
};

enum class WalkResult { kEndMet, kRanOut, kStopped };

struct DirectoryWalk {
  // An entry whose first byte is 0 marks the end of the directory, but a damaged directory can hold
  // real entries after one (a slot zeroed in the middle), so the walk reads on to the end of the
  // cluster the end entry is in: that cluster is the directory's own, as entries came before it.
  // Clusters after it are not read: the chain that names them may be a wrong one, and their bytes
  // someone else's. The sectors of one cluster; 0 reads on to the end of the directory (a root).
  std::uint32_t clusterSectors = 1;
  // Long names that begin before the first sector are looked for in the sector in front of it on
  // the disk, for a walk over a lone sector; otherwise only the directory's own sectors are read.
  bool longNamesFromDiskOrder = false;
  // A sub-directory's first two entries are its "." and ".."; when damage zeroed them, they are
  // passed over rather than taken for the end of the directory. Not for a root directory.
  bool subDirectory = false;
};

// Visits every short entry of the directory in order, passing over the "." and ".." entries and
// long-name parts, and sectors that cannot be read. visit returns false to stop the walk. A sector
// after the first that begins with "." and ".." ends the directory: it is another folder's first
// cluster, which a damaged or looping chain ran into.
// Returns kEndMet when an end-of-directory entry (or another folder's first sector) ended it,
// kStopped when visit stopped it, kRanOut otherwise.
WalkResult ForEachDirectoryEntry(const ScanContext& ctx, DirectorySectors& directory,
                                 const DirectoryWalk& walk,
                                 const std::function<bool(const DirectoryEntry&)>& visit);

}  // namespace quarrow
