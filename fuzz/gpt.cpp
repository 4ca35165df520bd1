// The GUID partition table over a hostile disk: the header and entry decoders on the raw input,
// then the walk a protective MBR starts (primary, backup, both sector sizes) and the details of
// every partition it lists. The disk is a FuzzDisk (see fuzz_disk.h): seeds hold the protective
// MBR, the headers, the entry arrays and the boot sectors of real GPT disks.
#include "partition/gpt.h"

#include <cstddef>
#include <cstdint>

#include "core/feedback.h"
#include "fuzz_disk.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarrow::ByteSpan input(data, size);
  const quarrow::DecodedGptHeader header =
      quarrow::DecodeGptHeader(input.first(std::min<std::size_t>(size, 4096)));
  if (header.problem == quarrow::GptHeaderProblem::kNone && size > 512) {
    quarrow::DecodeGptEntries(input.subspan(512), header.header.entryCount, header.header.entrySize);
  }
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
