// The update-sequence fix-up over any bytes: it restores at most one sector end per 512 bytes
// and touches nothing when its array does not lie inside the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ntfs/mft_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  const std::size_t restored = quarrow::ApplyFixup(bytes);
  if (restored > bytes.size() / 512) std::abort();
  for (std::size_t i = 0; i < size; ++i) {
    // Only the last two bytes of a restored sector may change.
    const std::size_t inSector = i % 512;
    if (bytes[i] != data[i] && (inSector < 510 || i / 512 >= restored)) std::abort();
  }
  return 0;
}
