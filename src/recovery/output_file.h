#pragma once
// Writing recovered files on the destination. A file is written under a temporary name in the
// folder it belongs to, created so that it can never take the place of a file already there, and
// gets its real name only once it is whole: a recovery stopped, killed or cut off by a full disk
// leaves no half file under a real name. One backend file per platform (posix_output_file.cpp,
// win32_output_file.cpp).

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarrow {

// Paths from and to the system's UTF-8 names, whatever the platform's own path encoding.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// What Commit found when the file could not be given its name.
enum class CommitResult { kDone, kExists, kFailed };

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Appends bytes; false (with a reason) when the destination would not take them.
  virtual bool Write(std::span<const std::uint8_t> bytes, std::string* error) = 0;
  // Closes the file; false (with a reason) when what was written could not be kept.
  virtual bool Close(std::string* error) = 0;
  // Gives the closed file its name. Without replace, a file that has the name already stays and
  // kExists is returned; with replace, a file (not a folder) of that name is replaced in one step.
  virtual CommitResult Commit(const std::filesystem::path& finalPath, bool replace, std::string* error) = 0;
  // Deletes the temporary file; also done when an uncommitted file is destroyed.
  virtual void Discard() = 0;
  // The temporary file's path.
  virtual const std::filesystem::path& TemporaryPath() const = 0;
};

// Creates a new temporary file in folder (which must exist), never over an existing one.
std::unique_ptr<OutputFile> CreateTemporaryFile(const std::filesystem::path& folder, std::string* error);

// Sets the modification time of a file or folder (seconds since 1970, UTC); false when the
// destination does not keep it.
bool SetPathModified(const std::filesystem::path& path, std::time_t when);

// The modification time of a FAT entry's date and time (local time of this machine, as FAT keeps
// them), or nullopt when they name no real moment (month 0, 30 February, hour 25...).
std::optional<std::time_t> FatEntryTime(std::uint16_t date, std::uint16_t time);

}  // namespace quarrow
