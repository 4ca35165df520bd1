#include "recovery/safe_name.h"

#include <array>
#include <cctype>

#include "core/unicode.h"

namespace quarrow {
namespace {

constexpr std::size_t kMaxNameLength = 255;
// The part after the last dot is kept when a name is cut only while it looks like an extension.
constexpr std::size_t kMaxKeptExtension = 32;

bool RefusedOnWindows(char c) {
  switch (c) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '\\':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

// Length of text as the destination counts it: bytes, or UTF-16 units on Windows.
std::size_t Length(std::string_view text, const NameRules& rules) {
  if (!rules.windows) return text.size();
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceLength(text, i);
    units += n == 4 ? 2 : 1;
    i += n == 0 ? 1 : n;
  }
  return units;
}

// The longest start of text (at a character boundary) whose length is at most limit.
std::string_view CutTo(std::string_view text, std::size_t limit, const NameRules& rules) {
  std::size_t end = 0, length = 0;
  while (end < text.size()) {
    const std::size_t n = std::max<std::size_t>(Utf8SequenceLength(text, end), 1);
    const std::size_t add = rules.windows ? (n == 4 ? 2 : 1) : n;
    if (length + add > limit) break;
    length += add;
    end += n;
  }
  return text.substr(0, end);
}

// Where the extension begins (its dot), or npos; a leading dot does not begin an extension.
std::size_t ExtensionStart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view::npos : dot;
}

// base + suffix + extension, with base cut so that the whole fits.
std::string Fit(std::string_view name, std::string_view suffix, const NameRules& rules) {
  std::size_t dot = ExtensionStart(name);
  if (dot != std::string_view::npos && name.size() - dot > kMaxKeptExtension) dot = std::string_view::npos;
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  const std::size_t tail = Length(suffix, rules) + Length(extension, rules);
  std::string out(CutTo(base, tail < kMaxNameLength ? kMaxNameLength - tail : 0, rules));
  out += suffix;
  out += extension;
  // A base cut to nothing (an extension as long as the limit) still leaves a name that fits.
  if (Length(out, rules) > kMaxNameLength) out = std::string(CutTo(out, kMaxNameLength, rules));
  return out;
}

bool IsDeviceName(std::string_view name) {
  std::string base;
  for (char c : name.substr(0, name.find('.')))
    base.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kPlain) {
    if (base == device) return true;
  }
  if (base.rfind("COM", 0) != 0 && base.rfind("LPT", 0) != 0) return false;
  // COM and LPT with one digit, 0 included, or with a superscript one, two or three.
  const std::string_view number = std::string_view(base).substr(3);
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

std::string SafeName(std::string_view name, const NameRules& rules) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = Utf8SequenceLength(name, i);
    if (n == 0) {
      out += '_';  // a byte that begins no character
      ++i;
      continue;
    }
    if (n == 1) {
      const char c = name[i];
      const auto u = static_cast<unsigned char>(c);
      const bool refused = u < 0x20 || u == 0x7F || c == '/' || (rules.windows && RefusedOnWindows(c));
      out += refused ? '_' : c;
    } else {
      out.append(name, i, n);
    }
    i += n;
  }
  if (rules.windows) {
    // Windows drops trailing dots and spaces, which would make "a." the same file as "a".
    for (std::size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) out[i - 1] = '_';
    if (IsDeviceName(out)) out.insert(0, "_");
  }
  if (out.empty() || out == ".") return "_";
  if (out == "..") return "__";
  return Fit(out, "", rules);
}

std::string NumberedName(std::string_view safeName, int n, const NameRules& rules) {
  return Fit(safeName, " (" + std::to_string(n) + ")", rules);
}

std::string FolderNames::Key(const std::string& safeName) const {
  if (!rules_.windows) return safeName;
  std::string key = safeName;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

bool FolderNames::Taken(const std::string& safeName) const {
  return taken_.count(Key(safeName)) != 0;
}

bool FolderNames::Reserve(const std::string& safeName) {
  return taken_.insert(Key(safeName)).second;
}

std::string FolderNames::Claim(std::string_view name) {
  const std::string safe = SafeName(name, rules_);
  if (Reserve(safe)) return safe;
  // Every name of a folder can clash with at most all the others, so this ends.
  for (int n = 1;; ++n) {
    std::string numbered = NumberedName(safe, n, rules_);
    if (Reserve(numbered)) return numbered;
  }
}

}  // namespace quarrow
