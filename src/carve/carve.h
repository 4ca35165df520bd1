#pragma once
// Carving by content: knowing a file by the first bytes of its format, and working out its length
// from the format's own structure. Nothing here knows a file system: the recogniser looks at bytes
// already read, and the length rules read through a ByteSource the caller backs with the disk (or
// with memory).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "core/bytes.h"

namespace quarrow {

enum class CarveType {
  kJpeg,
  kPng,
  kGif,
  kBmp,
  kTiff,
  kCr2,
  kNef,
  kDng,
  kPdf,
  kZip,
  kDocx,
  kXlsx,
  kPptx,
  kOdt,
  kOds,
  kMp4,
  kMov,
  kAvi,
  kWav,
  kMp3,
};

// The file-name extension a carved file of this type gets ("jpg", "docx", ...).
std::string_view CarveTypeExtension(CarveType type);

// The largest file of this type a carve follows: a length rule that searches for an end marker
// (PDF, zip) reads no further than this from a start whose end was overwritten. Chosen above what
// cameras, phones and office programs write, below what would make one broken start cost minutes.
std::uint64_t CarveTypeMaxBytes(CarveType type);

// Every type, in the enumeration's order.
inline constexpr CarveType kCarveTypes[] = {
    CarveType::kJpeg, CarveType::kPng,  CarveType::kGif,  CarveType::kBmp, CarveType::kTiff,
    CarveType::kCr2,  CarveType::kNef,  CarveType::kDng,  CarveType::kPdf, CarveType::kZip,
    CarveType::kDocx, CarveType::kXlsx, CarveType::kPptx, CarveType::kOdt, CarveType::kOds,
    CarveType::kMp4,  CarveType::kMov,  CarveType::kAvi,  CarveType::kWav, CarveType::kMp3};

// The zip archive and the office formats kept in one (docx, xlsx, pptx, odt, ods).
constexpr bool IsZipFamily(CarveType type) {
  return type == CarveType::kZip || type == CarveType::kDocx || type == CarveType::kXlsx ||
         type == CarveType::kPptx || type == CarveType::kOdt || type == CarveType::kOds;
}

struct CarveStart {
  CarveType type;
};

// How many first bytes the recogniser looks at, at most. Fewer are fine (a sector); the office
// formats are told apart from plain zip archives only when their first entries fit.
inline constexpr std::size_t kCarveHeadBytes = 4096;

// The type of file whose first bytes these are, or nothing. Every format is checked past its
// magic number (a marker segment after a JPEG's SOI, a sane zip local header, a PNG's IHDR with
// its CRC, ...) so that ordinary data rarely reads as a file start.
std::optional<CarveStart> RecogniseFileStart(ByteSpan firstBytes);

// RecogniseFileStart's first look: every format it knows begins with one of these bytes, or says
// "ftyp" at 4. It rules out nearly every sector of other data, and a scan runs it on every sector,
// so it is here to be inlined there.
inline bool MayBeginAFile(ByteSpan b) {
  if (b.empty()) return false;
  switch (b[0]) {
    case 0xFF:  // JPEG
    case 0x89:  // PNG
    case 'G':   // GIF
    case 'B':   // BMP
    case 'I':   // TIFF (II), MP3 (ID3)
    case 'M':   // TIFF (MM)
    case '%':   // PDF
    case 'P':   // zip
    case 'R':   // RIFF
      return true;
    default:
      return b.size() >= 8 && b[4] == 'f' && b[5] == 't' && b[6] == 'y' && b[7] == 'p';
  }
}

// Reads up to out.size() bytes at offset (counted from the file's start) into out and returns how
// many it read: fewer only where what the source holds ends.
using ByteSource = std::function<std::size_t(std::uint64_t offset, std::span<std::uint8_t> out)>;

// A ByteSource over bytes in memory (the bytes must outlive it).
ByteSource MemoryByteSource(ByteSpan bytes);

// The length of the file of this type that starts at offset 0 of read, followed through the
// format's structure and never past maxBytes: JPEG to the EOI after its scans, PNG to IEND, GIF
// to its trailer, BMP by its size field, TIFF and the raws to the end of the furthest directory,
// strip, tile or value they reference, PDF to the %%EOF that no incremental update follows, zip
// archives to the end of the central directory's end record and its comment, MP4/MOV over the
// top-level boxes, RIFF by its size, MP3 over its ID3 tag and MPEG frames. Nothing when the
// structure breaks, or cannot be followed to its end within maxBytes and the bytes the source
// holds: a length is never a guess.
std::optional<std::uint64_t> CarvedLength(CarveType type, const ByteSource& read, std::uint64_t maxBytes);

enum class WholeFileCheck {
  kHolds,       // checks that a foreign or misplaced cluster would fail all passed
  kBroken,      // the structure breaks, or ends elsewhere than the bytes do
  kCannotTell,  // the structure ends where the bytes do, but nothing checks what lies inside
};

// Whether bytes are one whole file of this type, nothing missing, misplaced or foreign in them.
// Only what would notice a wrong cluster can say kHolds: a baseline JPEG decoded block by block to
// the count its frame gives, PNG's chunk CRCs, the CRCs of a zip's stored members, a PDF's
// cross-reference table, stream lengths and uncompressed text. Compressed members and streams,
// progressive JPEGs and the other types give kCannotTell at best.
WholeFileCheck CheckWholeFile(CarveType type, ByteSpan bytes);

// True for the types whose whole-file check can say kHolds: the others are not worth reading whole
// to be checked.
bool WholeFileCheckCanConfirm(CarveType type);

}  // namespace quarrow
