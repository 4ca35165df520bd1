#include "session/search_range.h"

#include "scan/scan_context.h"

namespace quarrow {

std::optional<std::string> CheckSearchRange(ScanContext& ctx, const char* searchName,
                                            std::vector<std::string>& warnings) {
  if (!IsFat(ctx.partitionType) && ctx.partitionType != FsType::kNtfs && ctx.partitionType != FsType::kExfat)
    return std::string("the ") + searchName + " needs a partition type: FAT16, FAT32, NTFS or exFAT";
  if (ctx.searchStart >= ctx.searchEnd) return std::string("the search range is empty");
  const std::uint64_t diskSectors = ctx.reader ? ctx.reader->SizeInSectors(ctx.diskNumber) : 0;
  if (diskSectors != 0) {
    if (ctx.searchStart >= diskSectors) {
      return "the search range starts at sector " + std::to_string(ctx.searchStart) +
             ", past the end of the disk (" + std::to_string(diskSectors) + " sectors)";
    }
    if (ctx.searchEnd > diskSectors) {
      warnings.push_back("the search range ends at sector " + std::to_string(ctx.searchEnd) +
                         ", past the end of the disk; it is cut to the disk's end, sector " +
                         std::to_string(diskSectors));
      ctx.searchEnd = diskSectors;
    }
  }
  if (ctx.searchEnd > kLastAddressableSector + 1) {
    return std::string("the search range ends past sector 4294967296, which the ") + searchName +
           " cannot address";
  }
  return std::nullopt;
}

void NoteReadProblems(const ScanContext& ctx, std::vector<std::string>& warnings) {
  if (ctx.DiskGone()) {
    warnings.push_back("the disk stopped answering during the search; what is shown was read before");
  }
  if (ctx.readTotals.unreadable != 0) {
    warnings.push_back(std::to_string(ctx.readTotals.unreadable) +
                       " sectors could not be read; they were taken as empty");
  }
}

}  // namespace quarrow
