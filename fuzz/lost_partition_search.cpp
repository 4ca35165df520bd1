// The lost-partition search over a hostile disk: the boot-sector recognisers on every sector the
// input gives, then the whole search (cylinder candidates, 1 MiB boundaries, backups) run twice,
// the second run adding nothing.
//
// The input is a FuzzDisk (fuzz_disk.h), read through SectorMapDisk; the bits of its size field
// above 40 give the reported geometry (heads: bits 41-48, sectors per track: bits 49-54), which the
// search translates. The disk is searched up to 2^20 sectors. Seeds are sectors of test disks whose
// MBR was zeroed, e.g.
//   python3 fuzz/make_seeds.py lost_partition_search lost_table IMG 0 63 32193-32199 102400 ...
#include "partition/lost_partition_search.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/feedback.h"
#include "sector_map_disk.h"

namespace {
constexpr std::uint64_t kMaxSearched = std::uint64_t{1} << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  const std::span<const std::uint8_t> input(data, size);
  for (std::size_t at = 8; at + 4 < size; at += fuzz::kRecordBytes) {
    const ByteSpan sector = input.subspan(at + 4, std::min(kSectorSize, size - at - 4));
    const std::uint64_t number = Le32(input, at);
    RecognizePartitionBootSector(sector, number);
    // A backup names a start before it: as many of its own sectors back as its format puts it.
    if (const auto f = RecognizeFat32BackupBootSector(sector, number); f && f->firstSector > number)
      std::abort();
    if (const auto f = RecognizeExfatBackupBootSector(sector, number); f && f->firstSector > number)
      std::abort();
    RecognizeNtfsBackupBootSector(sector, number);
  }

  fuzz::SectorMapDisk disk(data, size);
  const std::uint64_t options = Le64(input, 0) >> 40;
  const std::uint64_t heads = (options >> 1) & 0xFF, perTrack = (options >> 9) & 0x3F;
  const std::uint64_t total = std::min(disk.sectors, kMaxSearched);
  const std::uint64_t cylinders = heads * perTrack == 0 ? 0 : total / (heads * perTrack);
  const LostPartitionDisk target{
      &disk.Reader(), 0, total, SearchGeometryFor(cylinders, heads, perTrack, total), DiskTexts{"0", "0 MB"}};
  PartitionList list;
  mytreectrl tree(TreeKind::kPartitions, 0);
  const SearchMode mode = options & 1 ? SearchMode::kAdvance : SearchMode::kStandard;
  LostPartitionSearch search(target, list, tree, NullFeedback(), mode);
  search.RunOnThisThread();
  const int listed = list.count;
  // What the first run listed is found again, never twice.
  if (search.RunOnThisThread().added != 0 || list.count != listed) std::abort();
  return 0;
}
