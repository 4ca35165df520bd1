// LZNT1 over any bytes: the first byte picks the unit's size (1 to 16 chunks), the rest is what
// its clusters hold. The sound bytes end at a chunk's start or at the end of the unit, every byte
// past them is zero, and a larger unit decodes the same sound bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ntfs/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarrow;
  if (size == 0) return 0;
  const ByteSpan in(data + 1, size - 1);
  const std::size_t chunks = (data[0] % 16) + 1;
  std::vector<std::uint8_t> out(chunks * kLznt1ChunkBytes, 0xA5);
  const std::size_t sound = DecompressLznt1(in, out);
  if (sound > out.size() || (sound != out.size() && sound % kLznt1ChunkBytes != 0)) std::abort();
  for (std::size_t i = sound; i < out.size(); ++i)
    if (out[i] != 0) std::abort();
  std::vector<std::uint8_t> larger(out.size() + kLznt1ChunkBytes, 0x5A);
  const std::size_t largerSound = DecompressLznt1(in, larger);
  if (largerSound < sound) std::abort();
  for (std::size_t i = 0; i < sound; ++i)
    if (larger[i] != out[i]) std::abort();
  return 0;
}
