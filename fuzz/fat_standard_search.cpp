// A whole Standard search of a small hostile FAT volume at sector 0 (validation, the volume
// figures when it fails, the data-area scan, placing folders by name, linking, the tree), then
// every folder opened the way the results page opens it: names and file lists.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

#include "app/results_page.h"
#include "core/bytes.h"
#include "fuzz_disk.h"
#include "scan/scan_context.h"
#include "session/standard_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  quarrow::ScanContext ctx;
  ctx.reader = &disk.reader;
  ctx.partitionType = (size > 0 && data[size - 1] & 1) ? quarrow::FsType::kFat32 : quarrow::FsType::kFat16;
  ctx.searchStart = 0;
  // Small volumes only: the scan reads every sector of the range.
  ctx.searchEnd = std::min<std::uint64_t>(disk.sectors, 20000);
  quarrow::StandardSearch search(ctx);
  search.Run();
  quarrow::ResultsState& results = ctx.results;
  if (!results.tree) return 0;
  const std::tm now{};
  std::vector<quarrow::TreeItem> stack{results.tree->Root()};
  std::size_t opened = 0;
  while (!stack.empty() && opened < 2000) {
    const quarrow::TreeItem item = stack.back();
    stack.pop_back();
    quarrow::OnResultsTreeExpanding(results, item, true);
    quarrow::DetailsList list;
    quarrow::ListFolder(results, list, item, true, now);
    ++opened;
    for (quarrow::TreeItem child : results.tree->Children(item)) stack.push_back(child);
  }
  return 0;
}
