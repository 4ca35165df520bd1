#include "disk/rescue_map.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quarrow {

namespace {

constexpr std::uint64_t kMaxMapFileBytes = 256ull << 20;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The next whitespace-separated word of line from at, "" at the end.
std::string_view NextWord(std::string_view line, std::size_t& at) {
  while (at < line.size() && IsSpace(line[at])) ++at;
  const std::size_t start = at;
  while (at < line.size() && !IsSpace(line[at])) ++at;
  return line.substr(start, at - start);
}

// "0x1F" or "31"; nullopt for anything else or a value past 64 bits.
std::optional<std::uint64_t> ParseNumber(std::string_view word) {
  unsigned base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    word.remove_prefix(2);
  }
  if (word.empty() || word.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : word) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (value > (UINT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

bool IsStatus(std::string_view word) {
  return word.size() == 1 && std::string_view("?*/-+").find(word[0]) != std::string_view::npos;
}

}  // namespace

bool RescueMap::Unread(std::uint64_t offset, std::uint64_t length) const {
  if (length == 0) return false;
  const std::uint64_t end = offset > UINT64_MAX - length ? UINT64_MAX : offset + length;
  // The '+' block that could hold offset: the last one starting at or before it.
  auto it = std::upper_bound(read.begin(), read.end(), offset,
                             [](std::uint64_t value, const Range& r) { return value < r.first; });
  if (it == read.begin()) return true;
  --it;
  return !(it->first <= offset && end <= it->end);
}

std::uint64_t RescueMap::UnreadBytes(std::uint64_t limit) const {
  std::uint64_t readBytes = 0;
  for (const Range& r : read) {
    if (r.first >= limit) break;
    readBytes += std::min(r.end, limit) - r.first;
  }
  return limit - readBytes;
}

std::optional<RescueMap> ParseRescueMap(std::string_view text, std::string* error) {
  const auto fail = [&](std::size_t lineNumber, const std::string& why) -> std::optional<RescueMap> {
    if (error) *error = (lineNumber ? "line " + std::to_string(lineNumber) + ": " : std::string()) + why;
    return std::nullopt;
  };
  RescueMap map;
  bool statusLineSeen = false;
  bool anyBlock = false;
  std::uint64_t lastEnd = 0;
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string_view::npos) stop = text.size();
    const std::string_view line = text.substr(start, stop - start);
    start = stop + 1;
    if (++lineNumber > kMaxRescueMapLines) return fail(lineNumber, "too many lines for a map file");
    std::size_t at = 0;
    const std::string_view first = NextWord(line, at);
    if (first.empty() || first[0] == '#') continue;
    const std::string_view second = NextWord(line, at);
    const std::string_view third = NextWord(line, at);
    const std::string_view fourth = NextWord(line, at);
    if (!statusLineSeen) {
      // The current position, the status of the run (a letter or sign) and its pass.
      statusLineSeen = true;
      if (!ParseNumber(first) || second.size() != 1)
        return fail(lineNumber, "not the status line of a map file");
      continue;
    }
    const auto pos = ParseNumber(first);
    const auto size = ParseNumber(second);
    if (!pos || !size || !IsStatus(third) || !fourth.empty())
      return fail(lineNumber, "not a block line (position, size, one of ?*/-+)");
    if (*size == 0) continue;
    if (*pos > UINT64_MAX - *size) return fail(lineNumber, "the block runs past 2^64 bytes");
    if (anyBlock && *pos < lastEnd) return fail(lineNumber, "the block overlaps the one before it");
    anyBlock = true;
    lastEnd = *pos + *size;
    if (third[0] != '+') continue;
    if (!map.read.empty() && map.read.back().end == *pos) {
      map.read.back().end = lastEnd;
    } else {
      map.read.push_back({*pos, lastEnd});
    }
  }
  if (!anyBlock) return fail(0, "it lists no block");
  map.domainEnd = lastEnd;
  return map;
}

std::optional<RescueMap> LoadRescueMap(const std::string& path, std::string* error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    if (error) *error = "cannot read the map file " + path + ": " + ec.message();
    return std::nullopt;
  }
  if (size > kMaxMapFileBytes) {
    if (error) *error = "the map file " + path + " is too large for a map file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read the map file " + path;
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string why;
  auto map = ParseRescueMap(text, &why);
  if (!map && error) *error = path + " is not a ddrescue map file: " + why;
  return map;
}

std::string FindRescueMapBeside(const std::string& imagePath) {
  const std::filesystem::path image(imagePath);
  std::vector<std::filesystem::path> candidates = {imagePath + ".map", imagePath + ".mapfile"};
  if (image.has_extension()) {
    candidates.push_back(std::filesystem::path(image).replace_extension(".map"));
    candidates.push_back(std::filesystem::path(image).replace_extension(".mapfile"));
  }
  std::error_code ec;
  for (const auto& candidate : candidates) {
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
  }
  return "";
}

bool MappedBlockDevice::ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) {
  if (map_.Unread(byteOffset, buffer.size())) return false;
  return image_->ReadAt(byteOffset, buffer);
}

}  // namespace quarrow
