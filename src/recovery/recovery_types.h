#pragma once
// The words recovery is spoken in: how much of a deleted file is left on the disk, where a file's
// bytes are, and what became of each file a recovery was asked to write.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow {

// How much of a deleted file's data is still where it would be read from. A live file is not
// estimated.
enum class Recoverability : std::uint8_t {
  kNotDeleted,
  kIntact,             // every cluster it would be read from is free
  kPartlyOverwritten,  // some of them are allocated again
  kOverwritten,        // its first cluster is allocated again
  kUnknown,            // there is no allocation data to look at (no FAT, an unreadable FAT)
  // Some of its clusters lie where the image's map says the copy of the disk never read: those
  // bytes are not in the image, whatever the allocation says. Live files get it too.
  kPartlyUnreadable,
  // Only its name is left (a key in its folder's index): no record says where its data was, so
  // nothing of it can be read.
  kNoRecord,
  // The clusters read for it run over another entry's first cluster or a directory: the file was
  // written in pieces, or others were written where it lay. The allocation may call them free,
  // but some of the bytes read are likely another file's.
  kMayBeMixed,
  // No entry of the volume names it: it was found by its content, and its length follows from its
  // format's structure. Its bytes are read as one contiguous run from its first sector.
  kCarved,
};

// "intact", "partly overwritten", "overwritten", "unknown", "partly unreadable", "no record",
// "may be mixed", "carved"; "" for a live file.
constexpr std::string_view RecoverabilityText(Recoverability estimate) {
  switch (estimate) {
    case Recoverability::kIntact:
      return "intact";
    case Recoverability::kPartlyOverwritten:
      return "partly overwritten";
    case Recoverability::kOverwritten:
      return "overwritten";
    case Recoverability::kUnknown:
      return "unknown";
    case Recoverability::kPartlyUnreadable:
      return "partly unreadable";
    case Recoverability::kNoRecord:
      return "no record";
    case Recoverability::kMayBeMixed:
      return "may be mixed";
    case Recoverability::kCarved:
      return "carved";
    case Recoverability::kNotDeleted:
      break;
  }
  return "";
}

// A half-open range of byte offsets within a file: [first, end).
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  bool operator==(const ByteRange&) const = default;
};

// Adds [first, end) to ranges kept in ascending order, joining it to a range it touches.
inline void AddRange(std::vector<ByteRange>& ranges, std::uint64_t first, std::uint64_t end) {
  if (first >= end) return;
  if (!ranges.empty() && ranges.back().end >= first) {
    if (end > ranges.back().end) ranges.back().end = end;
    return;
  }
  ranges.push_back({first, end});
}

// One stretch of a file's data, in file order: sectors of the disk, bytes known to be zero (a
// sparse run, a tail past the initialised size), bytes already in memory (resident data), or bytes
// whose place is not known (a piece of the run list that could not be read): those are written as
// zeros and reported as unreadable. A kLznt1 piece is one compression unit of an NTFS-compressed
// file: the sectors of its clusters hold LZNT1 chunks that decompress to unitBytes, of which the
// piece gives the first length.
struct DataPiece {
  enum class Kind : std::uint8_t { kSectors, kZeros, kBytes, kMissing, kLznt1 };
  struct SectorRun {
    std::uint64_t firstSector = 0;
    std::uint64_t sectorCount = 0;
  };
  Kind kind = Kind::kSectors;
  std::uint64_t firstSector = 0;      // kSectors: the first absolute sector
  std::uint64_t length = 0;           // bytes of the file this piece gives (kSectors: sectors x 512)
  std::vector<std::uint8_t> bytes;    // kBytes; bytes short of length are missing
  std::vector<SectorRun> compressed;  // kLznt1: where the unit's chunks lie, in order
  std::uint64_t unitBytes = 0;        // kLznt1: the unit's size once decompressed
};

// How a file's bytes were found, as the report states it.
enum class ReadMethod : std::uint8_t {
  kNone,                 // nothing to read (an empty file) or nothing could be
  kChain,                // its cluster chain
  kContiguous,           // deleted: its chain is gone, so clusters are read from its first one on
  kChainThenContiguous,  // the chain ended before the size; the rest read from the clusters after it
  kRecord,               // its file record (NTFS)
  kAroundOthers,         // from its first cluster on, stepping over clusters other files or folders hold
};

constexpr std::string_view ReadMethodText(ReadMethod method) {
  switch (method) {
    case ReadMethod::kChain:
      return "chain";
    case ReadMethod::kContiguous:
      return "contiguous";
    case ReadMethod::kChainThenContiguous:
      return "chain, then contiguous";
    case ReadMethod::kRecord:
      return "record";
    case ReadMethod::kAroundOthers:
      return "around other files";
    case ReadMethod::kNone:
      break;
  }
  return "none";
}

// Where the bytes of one file are. The pieces give the file's bytes in order; bytes they do not
// reach (a contiguous run past the end of the volume) are missing: written as zeros and reported
// as unreadable.
struct FileData {
  std::uint64_t size = 0;  // bytes to write
  // Bytes the entry claims past what the volume holds for it (a size larger than the volume or
  // than its clusters reach): not written, not even as zeros, and named missing in the report.
  std::uint64_t beyondVolume = 0;
  std::vector<DataPiece> pieces;
  ReadMethod method = ReadMethod::kNone;
  // The file's modification time (seconds since 1970, UTC), when the source keeps it apart from
  // the row (NTFS); otherwise the row's FAT date and time are used.
  std::optional<std::int64_t> modified;
  // Why nothing of the file can be read (no first cluster); the file is then not written.
  std::optional<std::string> failure;
};

// The clusters of a volume: cluster n (n >= first) begins at sector
// firstSector + (n - first) x sectorsPerCluster, up to endSector.
struct ClusterGrid {
  std::uint64_t firstSector = 0;  // where the first data cluster begins
  std::uint32_t sectorsPerCluster = 1;
  std::uint64_t endSector = 0;  // the first sector after the last cluster
  // True for a sector that begins a cluster; false inside one and outside the grid.
  bool Begins(std::uint64_t sector) const {
    return sectorsPerCluster != 0 && sector >= firstSector && sector < endSector &&
           (sector - firstSector) % sectorsPerCluster == 0;
  }
  bool Covers(std::uint64_t sector) const { return sector >= firstSector && sector < endSector; }
};

// What became of a file a recovery was asked to write.
enum class FileStatus : std::uint8_t {
  kPending,             // not reached yet
  kWritten,             // written whole
  kWrittenWithGaps,     // written, with unreadable bytes zero-filled
  kSkippedExisting,     // a file of its name was there and the answer was Skip
  kSkippedOverwritten,  // deleted and overwritten, and overwritten files were to be skipped
  kSkippedNoRecord,     // only its name is left: nothing says where its data was
  kSkippedByUser,       // Skip was pressed while it was written
  kFailed,              // it could not be read or written
  kStopped,             // the recovery was stopped before it was written whole
  kCancelled,           // Cancel was the answer to a replace question
};

constexpr std::string_view FileStatusText(FileStatus status) {
  switch (status) {
    case FileStatus::kPending:
      return "pending";
    case FileStatus::kWritten:
      return "written";
    case FileStatus::kWrittenWithGaps:
      return "written, unreadable bytes zero-filled";
    case FileStatus::kSkippedExisting:
      return "skipped: a file of that name exists";
    case FileStatus::kSkippedOverwritten:
      return "skipped: overwritten";
    case FileStatus::kSkippedNoRecord:
      return "skipped: no record";
    case FileStatus::kSkippedByUser:
      return "skipped";
    case FileStatus::kFailed:
      return "failed";
    case FileStatus::kStopped:
      return "not written: stopped";
    case FileStatus::kCancelled:
      return "not written: cancelled";
  }
  return "";
}

}  // namespace quarrow
