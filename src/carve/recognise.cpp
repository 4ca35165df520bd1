// The recogniser: a format's magic number, then enough of its first structure to trust it.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "carve/carve.h"
#include "carve/carve_bytes.h"
#include "core/bytes.h"

namespace quarrow {

std::string_view CarveTypeExtension(CarveType type) {
  switch (type) {
    case CarveType::kJpeg:
      return "jpg";
    case CarveType::kPng:
      return "png";
    case CarveType::kGif:
      return "gif";
    case CarveType::kBmp:
      return "bmp";
    case CarveType::kTiff:
      return "tif";
    case CarveType::kCr2:
      return "cr2";
    case CarveType::kNef:
      return "nef";
    case CarveType::kDng:
      return "dng";
    case CarveType::kPdf:
      return "pdf";
    case CarveType::kZip:
      return "zip";
    case CarveType::kDocx:
      return "docx";
    case CarveType::kXlsx:
      return "xlsx";
    case CarveType::kPptx:
      return "pptx";
    case CarveType::kOdt:
      return "odt";
    case CarveType::kOds:
      return "ods";
    case CarveType::kMp4:
      return "mp4";
    case CarveType::kMov:
      return "mov";
    case CarveType::kAvi:
      return "avi";
    case CarveType::kWav:
      return "wav";
    case CarveType::kMp3:
      return "mp3";
  }
  return "bin";
}

std::uint64_t CarveTypeMaxBytes(CarveType type) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  switch (type) {
    case CarveType::kJpeg:
    case CarveType::kPng:
    case CarveType::kGif:
      return 64 * kMiB;
    case CarveType::kBmp:
    case CarveType::kTiff:
    case CarveType::kCr2:
    case CarveType::kNef:
    case CarveType::kDng:
    case CarveType::kPdf:
      return 256 * kMiB;
    case CarveType::kZip:
    case CarveType::kDocx:
    case CarveType::kXlsx:
    case CarveType::kPptx:
    case CarveType::kOdt:
    case CarveType::kOds:
    case CarveType::kMp3:
    case CarveType::kWav:
      return 1024 * kMiB;
    case CarveType::kMp4:
    case CarveType::kMov:
    case CarveType::kAvi:
      return 4096 * kMiB;
  }
  return 64 * kMiB;
}

namespace {

// JPEG: SOI, then an APP0 JFIF/JFXX or APP1 Exif segment of a sane length, and (when it fits in
// the bytes given) a marker right after it.
bool IsJpegStart(ByteSpan b) {
  if (!(Byte(b, 0) == 0xFF && Byte(b, 1) == 0xD8 && Byte(b, 2) == 0xFF)) return false;
  const std::uint8_t marker = Byte(b, 3);
  const std::size_t length = Be16(b, 4);
  if (b.size() < 12 || length < 8) return false;
  if (marker == 0xE0) {
    if (!BytesEqual(b, 6, std::string_view("JFIF\0", 5)) && !BytesEqual(b, 6, std::string_view("JFXX\0", 5)))
      return false;
  } else if (marker == 0xE1) {
    if (!BytesEqual(b, 6, std::string_view("Exif\0\0", 6))) return false;
  } else {
    return false;
  }
  const std::size_t next = 4 + length;
  if (next + 1 < b.size()) return b[next] == 0xFF && IsJpegSegmentMarker(b[next + 1]);
  return true;
}

bool IsPngStart(ByteSpan b) {
  static constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 33) return false;
  for (std::size_t i = 0; i < kSignature.size(); ++i)
    if (b[i] != kSignature[i]) return false;
  if (Be32(b, 8) != 13 || !BytesEqual(b, 12, "IHDR")) return false;
  if (Be32(b, 16) == 0 || Be32(b, 20) == 0) return false;
  const std::uint8_t depth = b[24];
  const std::uint8_t colour = b[25];
  if (depth == 0 || depth > 16 || (depth & (depth - 1)) != 0) return false;
  if (colour != 0 && colour != 2 && colour != 3 && colour != 4 && colour != 6) return false;
  if (b[26] != 0 || b[27] != 0 || b[28] > 1) return false;
  return Crc32(b.subspan(12, 17)) == Be32(b, 29);
}

bool IsGifStart(ByteSpan b) {
  if (!BytesEqual(b, 0, "GIF87a") && !BytesEqual(b, 0, "GIF89a")) return false;
  if (b.size() < 13 || Le16(b, 6) == 0 || Le16(b, 8) == 0) return false;
  std::size_t next = 13;
  if (b[10] & 0x80) next += 3u << ((b[10] & 7) + 1);
  if (next < b.size()) return b[next] == 0x21 || b[next] == 0x2C;
  return true;
}

bool IsBmpStart(ByteSpan b) {
  if (!BytesEqual(b, 0, "BM") || b.size() < 30) return false;
  const std::uint32_t fileSize = Le32(b, 2);
  const std::uint32_t dataOffset = Le32(b, 10);
  const std::uint32_t header = Le32(b, 14);
  if (Le32(b, 6) != 0) return false;  // the two reserved words
  if (header != 12 && header != 40 && header != 52 && header != 56 && header != 64 && header != 108 &&
      header != 124)
    return false;
  if (dataOffset < 14 + header || fileSize <= dataOffset) return false;
  std::uint32_t planes = 0;
  std::uint32_t bits = 0;
  if (header == 12) {
    if (Le16(b, 18) == 0 || Le16(b, 20) == 0) return false;
    planes = Le16(b, 22);
    bits = Le16(b, 24);
  } else {
    if (Le32(b, 18) == 0 || Le32(b, 22) == 0) return false;
    planes = Le16(b, 26);
    bits = Le16(b, 28);
    if (b.size() >= 34 && Le32(b, 30) > 13) return false;  // compression method
  }
  if (planes != 1) return false;
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// TIFF and the raw formats built on it. CR2 says so in its header; DNG names its version in IFD0
// (tag 0xC612); NEF is a TIFF whose Make (tag 0x010F) is NIKON.
std::optional<CarveType> TiffStart(ByteSpan b) {
  bool little;
  if (BytesEqual(b, 0, std::string_view("II*\0", 4)))
    little = true;
  else if (BytesEqual(b, 0, std::string_view("MM\0*", 4)))
    little = false;
  else
    return std::nullopt;
  const TiffOrder order{little};
  const std::uint32_t ifd0 = order.U32(b, 4);
  if (ifd0 < 8 || (ifd0 & 1) != 0) return std::nullopt;
  if (little && BytesEqual(b, 8, "CR") && Byte(b, 10) == 2) return CarveType::kCr2;
  if (ifd0 + 2 > b.size()) return CarveType::kTiff;  // the directory is past the bytes given
  const std::uint16_t entries = order.U16(b, ifd0);
  if (entries == 0 || entries > 1000) return std::nullopt;
  bool nikon = false;
  bool dng = false;
  std::uint16_t previousTag = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = ifd0 + 2 + i * 12;
    if (at + 12 > b.size()) break;
    const std::uint16_t tag = order.U16(b, at);
    const std::uint16_t type = order.U16(b, at + 2);
    if (type == 0 || type > 13) return std::nullopt;
    if (i > 0 && tag < previousTag) return std::nullopt;  // entries are sorted by tag
    previousTag = tag;
    if (tag == 0xC612) dng = true;
    if (tag == 0x010F && type == 2) {
      const std::uint32_t count = order.U32(b, at + 4);
      const std::size_t value = count <= 4 ? at + 8 : order.U32(b, at + 8);
      if (BytesEqual(b, value, "NIKON")) nikon = true;
    }
  }
  if (dng) return CarveType::kDng;
  if (nikon) return CarveType::kNef;
  return CarveType::kTiff;
}

bool IsPdfStart(ByteSpan b) {
  if (!BytesEqual(b, 0, "%PDF-") || b.size() < 9) return false;
  if (b[5] < '1' || b[5] > '2' || b[6] != '.' || b[7] < '0' || b[7] > '9') return false;
  // The header line ends within a few bytes.
  for (std::size_t i = 8; i < b.size() && i < 16; ++i) {
    if (b[i] == '\r' || b[i] == '\n') return true;
    if (b[i] < 0x20 || b[i] > 0x7E) return false;
  }
  return b.size() <= 8;
}

// A zip local file header with a sane version, method and name; the first entries' names tell an
// office document from a plain archive.
std::optional<CarveType> ZipStart(ByteSpan b) {
  std::size_t at = 0;
  bool contentTypes = false;
  std::optional<CarveType> office;
  for (int entry = 0; entry < 16; ++entry) {
    const auto header = ReadZipLocalHeader(b, at);
    if (!header) {
      if (entry == 0) return std::nullopt;
      break;
    }
    if (at + kZipLocalHeaderBytes + header->nameLength > b.size()) {
      if (entry == 0) return std::nullopt;  // the first name must be there to check it
      break;
    }
    const std::string_view name(reinterpret_cast<const char*>(b.data() + at + kZipLocalHeaderBytes),
                                header->nameLength);
    for (const char c : name)
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    const std::size_t data = at + kZipLocalHeaderBytes + header->nameLength + header->extraLength;
    if (entry == 0 && name == "mimetype" && header->method == 0) {
      constexpr std::string_view kText = "application/vnd.oasis.opendocument.text";
      constexpr std::string_view kSheet = "application/vnd.oasis.opendocument.spreadsheet";
      if (header->compressedSize == kText.size() && BytesEqual(b, data, kText)) return CarveType::kOdt;
      if (header->compressedSize == kSheet.size() && BytesEqual(b, data, kSheet)) return CarveType::kOds;
    }
    if (name == "[Content_Types].xml") contentTypes = true;
    if (!office) {
      if (name.starts_with("word/")) office = CarveType::kDocx;
      if (name.starts_with("xl/")) office = CarveType::kXlsx;
      if (name.starts_with("ppt/")) office = CarveType::kPptx;
    }
    if (contentTypes && office) return office;
    if ((header->flags & 0x08) != 0 && header->compressedSize == 0) break;  // sizes follow the data
    at = data + header->compressedSize;
    if (at >= b.size()) break;
  }
  if (contentTypes && office) return office;
  return CarveType::kZip;
}

std::optional<CarveType> IsoMediaStart(ByteSpan b) {
  if (!BytesEqual(b, 4, "ftyp") || b.size() < 16) return std::nullopt;
  const std::uint32_t size = Be32(b, 0);
  if (size < 16 || size > 4096 || size % 4 != 0) return std::nullopt;
  for (std::size_t i = 8; i < 12; ++i)
    if (!IsFourCcByte(b[i])) return std::nullopt;
  for (std::size_t i = 16; i + 4 <= size && i + 4 <= b.size(); i += 4)  // compatible brands
    for (std::size_t k = i; k < i + 4; ++k)
      if (b[k] != 0 && !IsFourCcByte(b[k])) return std::nullopt;
  if (BytesEqual(b, 8, "qt  ")) return CarveType::kMov;
  return CarveType::kMp4;
}

std::optional<CarveType> RiffStart(ByteSpan b) {
  if (!BytesEqual(b, 0, "RIFF") || b.size() < 20) return std::nullopt;
  if (Le32(b, 4) < 12) return std::nullopt;
  for (std::size_t i = 12; i < 16; ++i)
    if (!IsFourCcByte(b[i])) return std::nullopt;
  if (BytesEqual(b, 8, "AVI ")) {
    if (!BytesEqual(b, 12, "LIST")) return std::nullopt;
    return CarveType::kAvi;
  }
  if (BytesEqual(b, 8, "WAVE")) {
    if (BytesEqual(b, 12, "fmt ") && (Le32(b, 16) < 16 || (b.size() >= 22 && Le16(b, 20) == 0)))
      return std::nullopt;
    return CarveType::kWav;
  }
  return std::nullopt;
}

bool IsMp3Start(ByteSpan b) {
  if (!BytesEqual(b, 0, "ID3") || b.size() < 10) return false;
  if (b[3] < 2 || b[3] > 4 || b[4] == 0xFF) return false;
  if ((b[5] & 0x0F) != 0) return false;  // undefined flags
  for (std::size_t i = 6; i < 10; ++i)
    if (b[i] & 0x80) return false;
  return true;
}

}  // namespace

std::optional<CarveStart> RecogniseFileStart(ByteSpan b) {
  if (b.size() > kCarveHeadBytes) b = b.first(kCarveHeadBytes);
  if (!MayBeginAFile(b)) return std::nullopt;
  if (IsJpegStart(b)) return CarveStart{CarveType::kJpeg};
  if (IsPngStart(b)) return CarveStart{CarveType::kPng};
  if (IsGifStart(b)) return CarveStart{CarveType::kGif};
  if (IsBmpStart(b)) return CarveStart{CarveType::kBmp};
  if (const auto t = TiffStart(b)) return CarveStart{*t};
  if (IsPdfStart(b)) return CarveStart{CarveType::kPdf};
  if (const auto t = ZipStart(b)) return CarveStart{*t};
  if (const auto t = IsoMediaStart(b)) return CarveStart{*t};
  if (const auto t = RiffStart(b)) return CarveStart{*t};
  if (IsMp3Start(b)) return CarveStart{CarveType::kMp3};
  return std::nullopt;
}

}  // namespace quarrow
