// The carver of $FILE_NAME keys in index records over any bytes: the first four bytes name the
// folder the keys must belong to, the rest is the record. Each key it gives must keep the promises
// of CarveIndexKeys: the owner as parent, a believable name, namespace, times and sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/bytes.h"
#include "core/unicode.h"
#include "ntfs/index_record.h"
#include "ntfs/mft_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  if (size < 4) return 0;
  const ByteSpan bytes(data, size);
  const std::uint32_t owner = Le32(bytes, 0);
  const ByteSpan record = bytes.subspan(4);
  const auto keys = CarveIndexKeys(record, owner);
  // Keys start 8 bytes apart at least and each holds 66 bytes before its name.
  if (keys.size() > record.size() / 8) std::abort();
  for (const IndexKeyName& key : keys) {
    if (key.parent != owner || key.name.empty() || !IsValidUtf8(key.name)) std::abort();
    if (key.name.find('/') != std::string::npos || key.nameSpace == kDosNamespace || key.nameSpace > 3)
      std::abort();
    if (key.creationTime < kEarliestKeyTime || key.creationTime > kLatestKeyTime ||
        key.modificationTime < kEarliestKeyTime || key.modificationTime > kLatestKeyTime)
      std::abort();
    if (key.size >= (std::uint64_t{1} << 44) || key.recordNumber > 0xFFFFFFFFFFFFull) std::abort();
  }
  return 0;
}
