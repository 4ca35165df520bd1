// The MBR and extended-chain walk over a hostile disk, then the details of every partition
// listed.
#include <cstddef>
#include <cstdint>

#include "core/feedback.h"
#include "fuzz_disk.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quarrow::fuzz::FuzzDisk disk(data, size);
  quarrow::mytreectrl tree(quarrow::TreeKind::kPartitions, 0);
  quarrow::PartitionState state;
  quarrow::WalkPartitionTable(disk.reader, 0, disk.sectors, tree, state);
  const quarrow::PartitionList& list = state.ForDisk(0);
  for (int i = 0; i < list.count; ++i) {
    quarrow::PartitionDetailsFor(list, list.Name(i), i, 0, quarrow::SearchMode::kStandard, {});
  }
  return 0;
}
