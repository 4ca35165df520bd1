// Writing JSON text straight into a string. `quarrow scan --json` prints thousands of records;
// building a document tree for them first cost more than the data-area scan's own work.

#pragma once

#include <algorithm>
#include <charconv>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/process.h"
#include "core/unicode.h"

namespace quarrow::cli {

// Whether any of the eight bytes in word is one AppendJsonString must look at: a control byte, a
// quote, a backslash, or a byte of a multi-byte sequence. Exact for the word as a whole, whatever
// the order of its bytes.
constexpr bool AnyByteToLookAt(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const auto anyZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
  const bool belowSpace = ((word - kOnes * 0x20) & ~word & kHighs) != 0;
  return (word & kHighs) != 0 || belowSpace || anyZero(word ^ (kOnes * '"')) ||
         anyZero(word ^ (kOnes * '\\'));
}

// Appends text as a JSON string. Quotes, backslashes and control bytes are escaped; well-formed
// UTF-8 is copied as it is, and a byte that begins no well-formed sequence (a disk model from a
// device, say) becomes U+FFFD, so the document is always valid JSON.
inline void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // start of the bytes not yet copied, which need no escape
  for (std::size_t i = 0; i < text.size();) {
    // Names are mostly ASCII letters: they are stepped over eight at a time.
    for (std::uint64_t word; i + 8 <= text.size(); i += 8) {
      std::memcpy(&word, text.data() + i, 8);
      if (AnyByteToLookAt(word)) break;
    }
    if (i == text.size()) break;
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length != 0) {
        i += length;
        continue;
      }
      out.append(text, plain, i - plain);
      out += "\\ufffd";
      plain = ++i;
      continue;
    }
    if (u >= 0x20 && u != '"' && u != '\\') {
      ++i;
      continue;
    }
    out.append(text, plain, i - plain);
    plain = ++i;
    switch (u) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[u >> 4];
        out += kHex[u & 0xF];
    }
  }
  out.append(text, plain);
  out += '"';
}

// One JSON object written member by member into out; the closing brace goes in when it ends.
// Keys are the program's own ASCII words and are written without escaping.
class JsonObject {
 public:
  explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
  ~JsonObject() { out_ += '}'; }
  JsonObject(const JsonObject&) = delete;
  JsonObject& operator=(const JsonObject&) = delete;

  JsonObject& Text(std::string_view key, std::string_view value) {
    Member(key);
    AppendJsonString(out_, value);
    return *this;
  }
  JsonObject& Number(std::string_view key, std::integral auto value) {
    Member(key);
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, ec == std::errc{} ? end : buffer);
    return *this;
  }
  JsonObject& Bool(std::string_view key, bool value) {
    Member(key);
    out_ += value ? "true" : "false";
    return *this;
  }
  // An array of objects, one per item, each filled by write(JsonObject&, item).
  template <typename Items, typename Write>
  JsonObject& Array(std::string_view key, const Items& items, Write write) {
    Member(key);
    out_ += '[';
    bool first = true;
    for (const auto& item : items) {
      if (!first) out_ += ',';
      first = false;
      JsonObject object(out_);
      write(object, item);
    }
    out_ += ']';
    return *this;
  }
  // Starts a member whose value the caller writes next.
  void Member(std::string_view key) {
    // ,"key": written in one piece: a card's listing writes ten of them for every file.
    const std::size_t at = out_.size();
    out_.resize(at + key.size() + (first_ ? 3 : 4));
    char* p = out_.data() + at;
    if (!first_) *p++ = ',';
    first_ = false;
    *p++ = '"';
    p = std::copy(key.begin(), key.end(), p);
    *p++ = '"';
    *p = ':';
  }

 private:
  std::string& out_;
  bool first_ = true;
};

// Writes a whole answer to stdout and flushes it; false when it could not be written (a full
// disk, a closed pipe, a descriptor 1 that was closed at start), so that a command can say so and
// fail instead of losing its results.
inline bool WriteStdout(std::string_view text) {
  if (StandardOutputClosed()) return false;
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace quarrow::cli
