#include "scanlog/scan_log_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace quarrow {
namespace {

namespace fs = std::filesystem;

// How many numbered temporary names a save tries before it gives up.
constexpr int kTempNameAttempts = 100;

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string ErrnoText() {
  return std::error_code(errno, std::generic_category()).message();
}

// A name in the target's folder that nothing has yet; short, so that it fits wherever the
// target's own name fits. A save that crashed may have left one behind: the next save skips it.
std::optional<fs::path> FreeTempPath(const fs::path& target) {
  for (int n = 0; n < kTempNameAttempts; ++n) {
    fs::path candidate = target.parent_path() / ("~QLG" + std::to_string(n) + ".tmp");
    std::error_code ec;
    if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found) return candidate;
  }
  return std::nullopt;
}

bool WriteWhole(const std::string& path, ByteSpan bytes, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    SetError(error, "cannot create " + path + ": " + ErrnoText());
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  std::string reason = ok ? "" : ErrnoText();
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    reason = ErrnoText();
  }
  if (!ok) SetError(error, "cannot write " + path + ": " + reason);
  return ok;
}

}  // namespace

bool WriteScanLogFile(const std::string& path, ByteSpan bytes, std::string* error) {
  const fs::path target(path);
  if (!target.has_filename()) {
    SetError(error, "no file name in " + path);
    return false;
  }
  const std::optional<fs::path> temp = FreeTempPath(target);
  if (!temp) {
    SetError(error, "no free temporary name beside " + path);
    return false;
  }
  const std::string tempText = temp->string();
  std::error_code ec;
  if (!WriteWhole(tempText, bytes, error)) {
    fs::remove(*temp, ec);
    return false;
  }
  fs::rename(*temp, target, ec);
  if (ec) {
    SetError(error, "cannot replace " + path + ": " + ec.message());
    fs::remove(*temp, ec);
    return false;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> ReadScanLogFile(const std::string& path, std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) {
    SetError(error, path + " is a folder");
    return std::nullopt;
  }
  // A regular file too large is refused before any of it is read.
  if (fs::is_regular_file(status) && fs::file_size(path, ec) > kScanLogFileLimit && !ec) {
    SetError(error, path + " is too large for a scan log");
    return std::nullopt;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    SetError(error, "cannot open " + path + ": " + ErrnoText());
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> chunk(64 * 1024);
  bool tooLarge = false;
  while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file)) {
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    // The size check above does not hold for a file that grows while it is read, or a device.
    if (bytes.size() > kScanLogFileLimit) {
      tooLarge = true;
      break;
    }
  }
  const bool failed = std::ferror(file) != 0;
  const std::string reason = failed ? ErrnoText() : "";
  std::fclose(file);
  if (tooLarge) {
    SetError(error, path + " is too large for a scan log");
    return std::nullopt;
  }
  if (failed) {
    SetError(error, "cannot read " + path + ": " + reason);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace quarrow
