#pragma once
// Readers shared by the recogniser and the length rules: big-endian fields, the CRC-32 of PNG
// chunks, TIFF's two byte orders, a zip local header.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace quarrow {

inline std::uint16_t Be16(ByteSpan b, std::size_t at) {
  if (at > b.size() || b.size() - at < 2) return 0;
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

inline std::uint32_t Be32(ByteSpan b, std::size_t at) {
  if (at > b.size() || b.size() - at < 4) return 0;
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | static_cast<std::uint32_t>(b[at + 3]);
}

inline std::uint64_t Be64(ByteSpan b, std::size_t at) {
  if (at > b.size() || b.size() - at < 8) return 0;
  return (static_cast<std::uint64_t>(Be32(b, at)) << 32) | Be32(b, at + 4);
}

// The CRC-32 of zip and PNG (reflected, polynomial 0xEDB88320), continued from crc.
inline std::uint32_t Crc32Update(std::uint32_t crc, ByteSpan b) {
  crc = ~crc;
  for (const std::uint8_t byte : b) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline std::uint32_t Crc32(ByteSpan b) { return Crc32Update(0, b); }

// A marker that may follow a complete JPEG segment or entropy-coded data: SOFn, DHT, DAC, DQT,
// DNL, DRI, DHP, EXP, APPn, COM, SOS and EOI (not SOI, RSTn, TEM or the reserved ones).
inline bool IsJpegSegmentMarker(std::uint8_t m) {
  return (m >= 0xC0 && m <= 0xCF && m != 0xC8) || (m >= 0xDA && m <= 0xDF) || m == 0xD9 ||
         (m >= 0xE0 && m <= 0xEF) || m == 0xFE;
}

// The bytes of a four-character code: letters, digits, space, and a few marks.
inline bool IsFourCcByte(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' ||
         c == '-' || c == '.' || c == '(' || c == ')' || c == 0xA9;
}

struct TiffOrder {
  bool little;
  std::uint16_t U16(ByteSpan b, std::size_t at) const { return little ? Le16(b, at) : Be16(b, at); }
  std::uint32_t U32(ByteSpan b, std::size_t at) const { return little ? Le32(b, at) : Be32(b, at); }
};

inline constexpr std::size_t kZipLocalHeaderBytes = 30;

struct ZipLocalHeader {
  std::uint16_t flags;
  std::uint16_t method;
  std::uint32_t compressedSize;
  std::uint16_t nameLength;
  std::uint16_t extraLength;
};

// The local file header at at, when its signature, version, method and name length are sane.
inline std::optional<ZipLocalHeader> ReadZipLocalHeader(ByteSpan b, std::size_t at) {
  if (!BytesEqual(b, at, std::string_view("PK\3\4", 4)) || b.size() - at < kZipLocalHeaderBytes)
    return std::nullopt;
  const std::uint16_t version = Le16(b, at + 4);
  if ((version & 0xFF) > 63 || (version >> 8) > 19) return std::nullopt;
  ZipLocalHeader h{Le16(b, at + 6), Le16(b, at + 8), Le32(b, at + 18), Le16(b, at + 26), Le16(b, at + 28)};
  if ((h.flags & 0xD780) != 0) return std::nullopt;  // reserved flag bits
  switch (h.method) {
    case 0: case 1: case 6: case 8: case 9: case 12: case 14: case 93: case 95: case 98: case 99: break;
    default: return std::nullopt;
  }
  if (h.nameLength == 0 || h.nameLength > 1024) return std::nullopt;
  return h;
}

}  // namespace quarrow
