#pragma once
// Names inside the system are UTF-8. On disk they are UTF-16 (FAT long names, NTFS names) or
// OEM code-page bytes (FAT 8.3 names, see core/code_page.h); these turn them into UTF-8.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarrow {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends one code point as UTF-8. Values that are no code point (surrogates, above U+10FFFF)
// become U+FFFD.
inline void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// UTF-16 code units to UTF-8, surrogate pairs joined. A surrogate without its partner (disk
// damage, or a name cut by a bound) becomes U+FFFD rather than being dropped, so two damaged
// names stay apart and the text stays valid UTF-8.
inline std::string Utf16ToUtf8(std::span<const std::uint16_t> units) {
  // Most names are ASCII, or begin with it: that part is copied unit for byte in one go.
  std::size_t ascii = 0;
  while (ascii < units.size() && units[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(units[i]);
  if (ascii == units.size()) return out;
  out.reserve(units.size() + 2 * (units.size() - ascii));
  for (std::size_t i = ascii; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

// The length of the well-formed UTF-8 sequence that starts at text[i] (1 for ASCII), or 0 when
// no well-formed sequence starts there (a stray continuation byte, an overlong form, a surrogate,
// a value above U+10FFFF, a cut sequence).
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  char32_t c = 0;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, c = b & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3F);
  }
  if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
      (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
    return 0;
  return length;
}

// True when text is well-formed UTF-8.
inline bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// text with every byte that could drive a terminal or break a line written as an escape: \\, \t,
// \n, \r, \xHH for the other C0 controls, DEL, the C1 controls (U+0080 to U+009F, each byte of
// their UTF-8 form) and bytes of no well-formed UTF-8 sequence. Well-formed UTF-8 stays as it is.
// What a volume names is shown and reported through this, never raw.
inline std::string EscapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto hex = [&out](unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x80) {
      const std::size_t n = Utf8SequenceLength(text, i);
      const bool c1 = n == 2 && u == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
      if (n == 0 || c1) {
        for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k)
          hex(static_cast<unsigned char>(text[i + k]));
        i += std::max<std::size_t>(n, 1);
      } else {
        out.append(text, i, n);
        i += n;
      }
      continue;
    }
    switch (u) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          hex(u);
        } else {
          out += static_cast<char>(u);
        }
    }
    ++i;
  }
  return out;
}

}  // namespace quarrow
