#pragma once
// Writing and reading a scan log file as a whole. A save goes to a temporary file beside the
// target that is renamed over it only once every byte is written, so a save that fails (a full
// disk, a folder that cannot be written) never destroys the log saved there before.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace quarrow {

inline constexpr std::string_view kScanLogUnableToOpen = "Unable to open file";
// A log of millions of NTFS files stays well below this; anything larger is not a log.
inline constexpr std::uint64_t kScanLogFileLimit = std::uint64_t{1} << 30;

// Replaces the file at path by bytes. On failure returns false with a reason in *error (when not
// null), and the file at path, if any, is left as it was.
bool WriteScanLogFile(const std::string& path, ByteSpan bytes, std::string* error);

// The bytes of the file at path, or nullopt with a reason in *error (when not null) for a file
// that cannot be read or is larger than kScanLogFileLimit.
std::optional<std::vector<std::uint8_t>> ReadScanLogFile(const std::string& path, std::string* error);

}  // namespace quarrow
