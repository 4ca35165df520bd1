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
  // Sets the open file's modification time (seconds since 1970, UTC); false when the destination
  // does not keep it. Called after the last Write, so that no write moves it again.
  virtual bool SetModified(std::time_t when) = 0;
  // Closes the file; false (with a reason) when what was written could not be kept.
  virtual bool Close(std::string* error) = 0;
  // Gives the closed file its name in the folder it was created in. Without replace, a file that
  // has the name already stays and kExists is returned; with replace, a file (not a folder) of
  // that name is replaced in one step.
  virtual CommitResult Commit(std::string_view finalName, bool replace, std::string* error) = 0;
  // Deletes the temporary file; also done when an uncommitted file is destroyed.
  virtual void Discard() = 0;
};

// A folder of the destination, held open: everything made in it is made relative to it and no
// symbolic link is followed on the way, so a folder swapped for a link while a recovery runs can
// make a file fail, never send it outside the destination. Names are single UTF-8 path
// components (made safe beforehand). One backend file per platform.
class DestinationFolder {
 public:
  enum class Entry { kNone, kFile, kFolder, kOther };
  enum class Made { kMade, kExisted, kNotAFolder, kFailed };

  virtual ~DestinationFolder() = default;
  // What the name is in this folder; a link is kOther, whatever it points at.
  virtual Entry Find(std::string_view name) const = 0;
  // Makes the sub-folder, or takes the real folder of that name already there (kExisted); a file
  // or a link of the name is kNotAFolder. On kMade and kExisted, *opened holds the folder.
  virtual Made MakeFolder(std::string_view name, std::unique_ptr<DestinationFolder>* opened,
                          std::string* error) = 0;
  // Opens a sub-folder made before; fails when the name is no longer a real folder.
  virtual std::unique_ptr<DestinationFolder> OpenFolder(std::string_view name, std::string* error) const = 0;
  // Creates a new temporary file in this folder, never over an existing one.
  virtual std::unique_ptr<OutputFile> CreateTemporaryFile(std::string* error) = 0;
  // Sets the modification time of the entry of that name (a link's own, never its target's).
  virtual bool SetModified(std::string_view name, std::time_t when) = 0;
  // True when the entry of that name is the file at path (the disk being read, say).
  virtual bool IsSameFile(std::string_view name, const std::filesystem::path& path) const = 0;
};

// Opens the destination folder the user named (links in that path are the user's own and are
// followed); null with a reason when it is not a folder that can be opened.
std::unique_ptr<DestinationFolder> OpenDestinationFolder(const std::filesystem::path& path,
                                                         std::string* error);

// The modification time of a FAT entry's date and time (local time of this machine, as FAT keeps
// them), or nullopt when they name no real moment (month 0, 30 February, hour 25...).
std::optional<std::time_t> FatEntryTime(std::uint16_t date, std::uint16_t time);

}  // namespace quarrow
