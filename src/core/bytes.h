#pragma once
// Bounds-checked little-endian readers over on-disk bytes. Every field taken from a sector goes
// through these so that a hostile or truncated buffer reads as zeros instead of out of bounds.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace quarrow {

inline constexpr std::size_t kSectorSize = 512;

using ByteSpan = std::span<const std::uint8_t>;

inline std::uint8_t Byte(ByteSpan bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}

// A value of N bytes stored least significant first, at p: one load where the machine is little
// endian, as the disks are.
template <typename Value>
inline Value LittleEndianAt(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    Value v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    Value v = 0;
    for (std::size_t i = sizeof(Value); i-- > 0;) v = static_cast<Value>((v << 8) | p[i]);
    return v;
  }
}

inline std::uint16_t Le16(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return LittleEndianAt<std::uint16_t>(bytes.data() + offset);
}

inline std::uint32_t Le32(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
  return LittleEndianAt<std::uint32_t>(bytes.data() + offset);
}

inline std::uint64_t Le64(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 8) return 0;
  return LittleEndianAt<std::uint64_t>(bytes.data() + offset);
}

// True when the bytes at offset equal text exactly (false when the buffer is too short).
inline bool BytesEqual(ByteSpan bytes, std::size_t offset, std::string_view text) {
  if (offset > bytes.size() || bytes.size() - offset < text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (bytes[offset + i] != static_cast<std::uint8_t>(text[i])) return false;
  }
  return true;
}

// A sector that ends in the boot signature 0x55 0xAA.
inline bool HasBootSignature(ByteSpan sector) {
  return Byte(sector, 510) == 0x55 && Byte(sector, 511) == 0xAA;
}

}  // namespace quarrow
