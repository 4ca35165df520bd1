#include "results/table_numbers.h"

#include <cctype>
#include <limits>

namespace quarrow {
namespace {

// Parses like strtoll: returns the magnitude saturated at limit, with the sign apart.
struct Parsed {
  bool negative = false;
  std::uint64_t magnitude = 0;  // saturates at UINT64_MAX
};

Parsed ParseLeading(std::string_view text) {
  Parsed p;
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    p.negative = text[i] == '-';
    ++i;
  }
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    if (p.magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      p.magnitude = std::numeric_limits<std::uint64_t>::max();
    } else {
      p.magnitude = p.magnitude * 10 + digit;
    }
  }
  return p;
}

}  // namespace

std::uint32_t ReadU32(std::string_view text) {
  Parsed p = ParseLeading(text);
  if (p.magnitude > std::numeric_limits<std::uint32_t>::max())
    return std::numeric_limits<std::uint32_t>::max();
  auto value = static_cast<std::uint32_t>(p.magnitude);
  return p.negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::int32_t ReadI32Saturating(std::string_view text) {
  Parsed p = ParseLeading(text);
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (p.negative) {
    if (p.magnitude > kMax + 1) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(p.magnitude));
  }
  if (p.magnitude > kMax) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(p.magnitude);
}

std::int64_t ReadI64(std::string_view text) {
  Parsed p = ParseLeading(text);
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (p.negative) {
    if (p.magnitude > kMax) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(p.magnitude);
  }
  if (p.magnitude > kMax) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(p.magnitude);
}

bool IsDecimalNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace quarrow
