#include "session/search_setup.h"

#include "core/code_page.h"
#include "partition/partition_table.h"
#include "scan/scan_context.h"
#include "session/disk_session.h"

namespace quarrow {

std::optional<std::string> SetUpSearch(DiskSession& session, const ListedDisk& disk,
                                       const SearchTarget& target, ScanContext& ctx) {
  std::string codePageError;
  std::optional<CodePage> codePage = CodePage::Open(target.codePage, &codePageError);
  if (!codePage) return "code page " + std::to_string(target.codePage) + ": " + codePageError;
  SearchRange range;
  if (target.range) {
    range = *target.range;
  } else {
    mytreectrl partitionTree(TreeKind::kPartitions, disk.number);
    PartitionState state;
    WalkPartitionTable(session.Reader(), disk.number, disk.totalSectors, partitionTree, state);
    const PartitionList& list = state.ForDisk(disk.number);
    if (target.partition < 1 || target.partition > list.count) {
      return "disk " + std::to_string(disk.number) + " has no partition " + std::to_string(target.partition) +
             " (it lists " + std::to_string(list.count) + ")";
    }
    const PartitionEntry entry = list.At(target.partition - 1);
    range = {entry.firstSector, entry.endSector, list.type[static_cast<std::size_t>(target.partition - 1)]};
  }
  ctx.reader = &session.Reader();
  ctx.diskNumber = disk.number;
  ctx.codePage = *codePage;
  ctx.partitionType = range.type;
  ctx.searchStart = range.start;
  ctx.searchEnd = range.end;
  return std::nullopt;
}

}  // namespace quarrow
