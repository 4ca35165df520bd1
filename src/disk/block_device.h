#pragma once
// The backend a SectorReader reads through: a whole disk or a disk image, opened read-only.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace quarrow {

class BlockDevice {
 public:
  virtual ~BlockDevice() = default;
  // Reads exactly buffer.size() bytes starting at byteOffset. A short read (past the end of the
  // disk) or an I/O error is a failure; what the buffer then holds is unspecified.
  virtual bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) = 0;
  // Size of the device in bytes, 0 when unknown.
  virtual std::uint64_t SizeBytes() const = 0;
  // The device's logical sector size (512, 4096...) when the device itself says so: a disk's
  // driver, an evidence file's header. 0 for a plain image file, which carries no such field.
  virtual std::uint32_t LogicalSectorSize() const { return 0; }
  // True when the device knows without reading that some byte of [byteOffset, byteOffset +
  // length) cannot be read: an image whose map names the sectors its copy never read. A disk
  // only learns that by trying, so the default knows nothing.
  virtual bool KnownUnreadable(std::uint64_t /*byteOffset*/, std::uint64_t /*length*/) const { return false; }
  // True when KnownUnreadable can ever answer true (the device has such a map).
  virtual bool HasUnreadMap() const { return false; }
  // True for a disk image kept as a plain file of a file system. Its reads come from the system's
  // file cache or from the disk that holds the file, not from the card or stick being recovered,
  // so a search may have two reads of it under way at once. A disk itself is read one request at
  // a time.
  virtual bool IsImageFile() const { return false; }
};

// Opens device paths. Each platform (and each test) supplies its own.
class DeviceOpener {
 public:
  virtual ~DeviceOpener() = default;
  // Returns null and a one-line reason in *error when the path cannot be opened for reading.
  virtual std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) = 0;
};

}  // namespace quarrow
