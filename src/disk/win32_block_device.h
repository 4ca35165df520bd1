#pragma once
// Raw disks and image files on Windows: CreateFileA on "\\.\PhysicalDriveN" (or any path),
// read with SetFilePointer and ReadFile; and LoadLibraryA for the legacy disk library.

#include "disk/block_device.h"
#include "disk/legacy_disk_library.h"

namespace quarrow {

class Win32DeviceOpener : public DeviceOpener {
 public:
  std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) override;
};

// Libraries loaded here are never freed: the disk library stays loaded for the whole run.
class Win32LibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<LoadedLibrary> Load(const char* name) override;
};

}  // namespace quarrow
