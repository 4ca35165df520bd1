#include "ntfs/lznt1.h"

#include <algorithm>

namespace quarrow {
namespace {

constexpr std::uint16_t kChunkCompressed = 0x8000;
constexpr std::uint16_t kChunkSizeMask = 0x0FFF;

// Decodes one compressed chunk's body into out (at most 4096 bytes); false when it is damaged.
// On success *written is how many bytes the tokens gave.
bool DecodeChunk(ByteSpan body, std::span<std::uint8_t> out, std::size_t* written) {
  std::size_t in = 0, at = 0;
  while (in < body.size()) {
    const std::uint8_t flags = body[in++];
    for (int bit = 0; bit < 8 && in < body.size(); ++bit) {
      if ((flags & (1u << bit)) == 0) {
        if (at >= out.size()) return false;
        out[at++] = body[in++];
        continue;
      }
      if (in + 2 > body.size()) return false;
      const std::uint16_t token = static_cast<std::uint16_t>(body[in] | (body[in + 1] << 8));
      in += 2;
      // The more of the chunk is written, the more bits the offset takes from the length.
      int offsetShift = 12;
      for (std::size_t i = at == 0 ? 0 : at - 1; i >= 0x10; i >>= 1) --offsetShift;
      const std::size_t offset = (token >> offsetShift) + 1u;
      const std::size_t length = (token & (0xFFFFu >> (16 - offsetShift))) + 3u;
      if (offset > at || length > out.size() - at) return false;
      // Byte by byte: a reference may overlap the bytes it writes (a run of one byte, say).
      for (std::size_t k = 0; k < length; ++k, ++at) out[at] = out[at - offset];
    }
  }
  *written = at;
  return true;
}

}  // namespace

std::size_t DecompressLznt1(ByteSpan in, std::span<std::uint8_t> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  std::size_t pos = 0;
  for (std::size_t chunkStart = 0; chunkStart < out.size(); chunkStart += kLznt1ChunkBytes) {
    if (pos + 2 > in.size()) break;
    const std::uint16_t header = static_cast<std::uint16_t>(in[pos] | (in[pos + 1] << 8));
    if (header == 0) break;
    const std::size_t size = (header & kChunkSizeMask) + 1u;  // the body, after the header
    if (size > in.size() - pos - 2) return chunkStart;
    const ByteSpan body = in.subspan(pos + 2, size);
    const std::span<std::uint8_t> chunkOut =
        out.subspan(chunkStart, std::min(kLznt1ChunkBytes, out.size() - chunkStart));
    if (header & kChunkCompressed) {
      std::size_t written = 0;
      if (!DecodeChunk(body, chunkOut, &written)) {
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(chunkStart), out.end(), std::uint8_t{0});
        return chunkStart;
      }
    } else {
      // A chunk that did not shrink is stored as it is.
      std::copy_n(body.begin(), std::min(body.size(), chunkOut.size()), chunkOut.begin());
    }
    pos += 2 + size;
  }
  return out.size();
}

}  // namespace quarrow
