#pragma once
// Bounds-checked little-endian readers over on-disk bytes. Every field taken from a sector goes
// through these so that a hostile or truncated buffer reads as zeros instead of out of bounds.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarrow {

inline constexpr std::size_t kSectorSize = 512;

using ByteSpan = std::span<const std::uint8_t>;

inline std::uint8_t Byte(ByteSpan bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}

inline std::uint16_t Le16(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t Le32(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
  return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t Le64(ByteSpan bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 8) return 0;
  return static_cast<std::uint64_t>(Le32(bytes, offset)) |
         (static_cast<std::uint64_t>(Le32(bytes, offset + 4)) << 32);
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
