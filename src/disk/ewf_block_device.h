#pragma once
// Evidence files in the Expert Witness format (.E01, with its segments .E02, .E03 ...), the
// format forensic labs and imaging tools write, read through libewf. The media size and bytes per
// sector come from the file's header. A chunk whose checksum fails is no data: every read that
// touches it fails, so the sector reader zero-fills and counts its sectors as unreadable instead
// of taking libewf's zeros for the disk's bytes.

#include <cstdint>
#include <memory>
#include <string>

#include "core/bytes.h"
#include "disk/block_device.h"

namespace quarrow {

// The first bytes of every segment file of the format.
inline constexpr std::string_view kEwfSignature{"EVF\x09\x0D\x0A\xFF\x00", 8};

inline bool HasEwfSignature(ByteSpan firstBytes) {
  return BytesEqual(firstBytes, 0, kEwfSignature);
}

// True when this build reads evidence files (it was built with libewf).
bool EwfSupported();

// Opens the evidence file whose first segment is path (the other segments are found beside it),
// read-only. Null with a one-line reason when it cannot be opened, or when EwfSupported is false.
std::unique_ptr<BlockDevice> OpenEwfImage(const std::string& path, std::string* error);

}  // namespace quarrow
