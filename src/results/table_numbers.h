#pragma once
// Text forms of the numbers kept in the scan tables, and the readers that parse them back.
// Readers follow strtol: leading blanks, an optional sign, then digits up to the first other
// character; text that is not a number reads as 0.

#include <cstdint>
#include <string>
#include <string_view>

namespace quarrow {

// "%lu" of a 32-bit value (-1 written this way is "4294967295").
inline std::string U32Text(std::uint32_t value) {
  return std::to_string(value);
}
// Unsigned 64-bit decimal: the size of an NTFS file, which can be 4 GiB and more.
inline std::string U64Text(std::uint64_t value) {
  return std::to_string(value);
}
// "%d" of a 32-bit value.
inline std::string I32Text(std::int32_t value) {
  return std::to_string(value);
}
// Signed 64-bit decimal.
inline std::string I64Text(std::int64_t value) {
  return std::to_string(value);
}

// The true unsigned 32-bit value of a "%lu" cell: sectors, clusters, record numbers and sizes
// above 2147483647 are ordinary on today's disks. "-1" reads as 4294967295; larger numbers
// saturate at 4294967295.
std::uint32_t ReadU32(std::string_view text);
// The saturating signed 32-bit reading, for the few places that compare against 2147483647 on
// purpose ("4294967295" reads as 2147483647, "-1" as -1).
std::int32_t ReadI32Saturating(std::string_view text);
// Signed 64-bit reading of the date and time cells (saturating).
std::int64_t ReadI64(std::string_view text);
// True when the whole text is an optionally signed decimal number.
bool IsDecimalNumber(std::string_view text);

}  // namespace quarrow
