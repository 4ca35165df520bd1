#pragma once
// LZNT1, the compression of NTFS-compressed files. A compressed stream is cut into compression
// units (16 clusters on every volume NTFS compresses); a unit that did not shrink is stored as it
// is, one that did is stored in fewer clusters followed by sparse ones, as a row of chunks, each
// giving 4096 bytes of the unit. A chunk starts with a 16-bit header: the low 12 bits are its
// size less 3 (header included), bit 15 says it is compressed. A compressed chunk is a row of
// groups: a flag byte, then eight tokens, a literal byte for a 0 bit and for a 1 bit a 16-bit
// back-reference into the chunk's output whose split between offset and length depends on how
// much of the chunk has been written (4 offset bits for the first 16 bytes, one more each time
// that doubles).

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/bytes.h"

namespace quarrow {

inline constexpr std::size_t kLznt1ChunkBytes = 4096;

// Decompresses the chunks of one compression unit, as read from its clusters, into out (the
// unit's uncompressed size, or less for the unit at the end of a file). Chunk k gives bytes
// [4096k, 4096(k+1)) of out; a chunk that gives fewer is followed by zeros up to its 4096. The
// chunks end at a header of 0, at the end of in, or when out is full; what is left of out is
// zeros, as NTFS reads a unit whose chunks end early. Returns how many bytes of out are sound:
// out.size(), or the start of the first damaged chunk (one that runs past in, or a reference
// before its chunk's start or past its 4096 bytes). Bytes from there on are zeros.
std::size_t DecompressLznt1(ByteSpan in, std::span<std::uint8_t> out);

}  // namespace quarrow
