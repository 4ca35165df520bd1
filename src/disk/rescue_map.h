#pragma once
// The map file GNU ddrescue writes beside the image it copies a failing disk into: which bytes of
// the disk it read ('+') and which it never did ('?' not tried, '*' not trimmed, '/' not scraped,
// '-' bad sectors). In the image those bytes are zeros that were never on the disk, so a reader
// over the image must fail them as the disk did, not hand out the zeros as data.
//
//   # comment lines
//   0x00120000     ?               1          <- current position, status, pass (ignored)
//   #      pos        size  status
//   0x00000000  0x00010000  +
//   0x00010000  0x00001000  -
//
// Positions and sizes are hexadecimal with "0x" or decimal. Bytes the map does not cover were
// never tried either (they lie outside the rescue domain) and count as unread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/block_device.h"

namespace quarrow {

// Lines of a map beyond this are taken as a file that is no map.
inline constexpr std::size_t kMaxRescueMapLines = 1u << 22;

struct RescueMap {
  struct Range {
    std::uint64_t first = 0;
    std::uint64_t end = 0;  // exclusive
    bool operator==(const Range&) const = default;
  };
  std::vector<Range> read;      // the '+' blocks, ascending, joined where they touch
  std::uint64_t domainEnd = 0;  // the end of the last block the map lists

  // True when some byte of [offset, offset + length) is not in a '+' block.
  bool Unread(std::uint64_t offset, std::uint64_t length) const;
  // Bytes below limit that lie outside every '+' block.
  std::uint64_t UnreadBytes(std::uint64_t limit) const;
};

// Parses a map's text. nullopt with a one-line reason ("line 7: ...") when it is no map: a line
// that is neither a comment nor "pos size status", a status that is not one of "?*/-+", blocks
// that overlap or run backwards, or no block at all.
std::optional<RescueMap> ParseRescueMap(std::string_view text, std::string* error = nullptr);

// Reads a map file (at most 256 MiB of text); nullopt with a reason when it cannot be read or
// parsed.
std::optional<RescueMap> LoadRescueMap(const std::string& path, std::string* error = nullptr);

// The map found beside an image, when there is one: IMAGE.map, IMAGE.mapfile, or the image's
// name with its extension replaced by .map or .mapfile. "" when none exists.
std::string FindRescueMapBeside(const std::string& imagePath);

// An image read through its map: a read that touches a byte the copy never read fails, as it did
// on the disk, so the sector reader retries it sector by sector and counts what stays unread.
class MappedBlockDevice : public BlockDevice {
 public:
  MappedBlockDevice(std::unique_ptr<BlockDevice> image, RescueMap map)
      : image_(std::move(image)), map_(std::move(map)) {}
  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override;
  std::uint64_t SizeBytes() const override { return image_->SizeBytes(); }
  std::uint32_t LogicalSectorSize() const override { return image_->LogicalSectorSize(); }
  bool KnownUnreadable(std::uint64_t byteOffset, std::uint64_t length) const override {
    return map_.Unread(byteOffset, length);
  }
  bool HasUnreadMap() const override { return true; }
  bool IsImageFile() const override { return image_->IsImageFile(); }

 private:
  std::unique_ptr<BlockDevice> image_;
  RescueMap map_;
};

}  // namespace quarrow
