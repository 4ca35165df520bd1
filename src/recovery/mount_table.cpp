#include "recovery/mount_table.h"

#include <charconv>

namespace quarrow {
namespace {

// The fields of one line, split at spaces (the table escapes the spaces inside paths).
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// \ooo escapes back to their bytes; a backslash not followed by three octal digits stays.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto octal = [](char c) { return c >= '0' && c <= '7'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.size() - i >= 4 && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      const int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
      if (value < 256) {
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool ParseDevice(std::string_view text, std::uint32_t* major, std::uint32_t* minor) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const char* end = text.data() + text.size();
  auto [afterMajor, e1] = std::from_chars(text.data(), text.data() + colon, *major);
  auto [afterMinor, e2] = std::from_chars(text.data() + colon + 1, end, *minor);
  return e1 == std::errc{} && e2 == std::errc{} && afterMajor == text.data() + colon && afterMinor == end;
}

bool Holds(std::string_view mountPoint, std::string_view path) {
  if (mountPoint == "/") return !path.empty() && path.front() == '/';
  if (path.substr(0, mountPoint.size()) != mountPoint) return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> f = Fields(text.substr(at, end - at));
    at = end + 1;
    // id, parent, device, root, mount point, options, then optional fields up to "-".
    if (f.size() < 9) continue;
    MountEntry entry;
    if (!ParseDevice(f[2], &entry.major, &entry.minor)) continue;
    std::size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) continue;
    entry.root = Unescape(f[3]);
    entry.mountPoint = Unescape(f[4]);
    entry.fsType = Unescape(f[dash + 1]);
    entry.source = Unescape(f[dash + 2]);
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path) {
  const MountEntry* best = nullptr;
  for (const MountEntry& m : mounts) {
    if (!Holds(m.mountPoint, path)) continue;
    if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = &m;
  }
  return best;
}

}  // namespace quarrow
