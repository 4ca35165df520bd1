#pragma once
// What a search reads, set up once for both front ends: the disk it reads through the session,
// the code page of its 8.3 names, and its partition type and sector range, either as given or
// taken from the partition the disk's partition table lists under a number.
//
//   SearchTarget target;  target.range = SearchRange{2048, 4096, FsType::kFat32};  // or partition = 1
//   if (auto refused = SetUpSearch(session, disk, target, ctx)) ... one line: nothing was set up

#include <cstdint>
#include <optional>
#include <string>

#include "core/volume.h"

namespace quarrow {

struct ScanContext;
struct ListedDisk;
class DiskSession;

struct SearchRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;  // the first sector after the range
  FsType type = FsType::kNone;
};

struct SearchTarget {
  std::optional<SearchRange> range;  // when given, the search covers it
  int partition = 0;                 // otherwise the partition with this 1-based number
  int codePage = 437;
};

// Points ctx at disk (read through session's reader) and sets its code page, type and range.
// Returns why it could not (the table lists no such partition, the code page is unknown here);
// ctx is then left as it was.
std::optional<std::string> SetUpSearch(DiskSession& session, const ListedDisk& disk,
                                       const SearchTarget& target, ScanContext& ctx);

}  // namespace quarrow
