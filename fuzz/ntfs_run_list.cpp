// Run lists and attribute lists over any bytes: the decoders end, every run takes at least two
// bytes, and record numbers map inside the extents or to 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ntfs/data_runs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  const ByteSpan bytes(data, size);
  const auto runs = DecodeRunList(bytes);
  if (runs.size() > size / 2) std::abort();
  const std::uint32_t spc = size > 0 ? 1u << (data[0] % 8) : 8;
  const auto extents = RunsToSectorExtents(runs, 2048, spc);
  if (extents.size() > runs.size()) std::abort();
  for (std::uint64_t record : {0ull, 1ull, 5ull, 1000ull, ~0ull}) {
    const std::uint64_t sector = RecordToSector(extents, record);
    bool inside = sector == 0;
    for (const SectorExtent& e : extents) {
      inside = inside || (!e.sparse && sector >= e.startSector && sector - e.startSector < e.sectorCount);
    }
    if (!inside) std::abort();
  }
  const auto entries = DecodeAttributeList(bytes);
  if (entries.size() > size / 26) std::abort();
  if (AttributeListRecords(3, bytes).size() > kMaxAttributeListRecords) std::abort();
  DataAttributeRecords(bytes);
  return 0;
}
