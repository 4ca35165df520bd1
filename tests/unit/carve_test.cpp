#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carve/carve.h"
#include "core/bytes.h"

namespace quarrow {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The builders below write each format by hand, so the tests do not share the code under test
// (the CRC too is this file's own, table-driven where the library's is bitwise).
std::uint32_t TestCrc(const Bytes& b, std::size_t from, std::size_t n) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < from + n; ++i) c = table[(c ^ b[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void Put(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }
void Put8(Bytes& b, std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
void PutLe16(Bytes& b, std::uint32_t v) { Put8(b, v); Put8(b, v >> 8); }
void PutLe32(Bytes& b, std::uint32_t v) { PutLe16(b, v); PutLe16(b, v >> 16); }
void PutBe16(Bytes& b, std::uint32_t v) { Put8(b, v >> 8); Put8(b, v); }
void PutBe32(Bytes& b, std::uint32_t v) { PutBe16(b, v >> 16); PutBe16(b, v); }
void PutFill(Bytes& b, std::size_t n, std::uint8_t v) { b.insert(b.end(), n, v); }

// Bytes that look like nothing: a fixed linear congruential sequence.
Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<std::uint8_t>(seed >> 16);
  }
  return b;
}

// A baseline JPEG: SOI, APP1 Exif (holding a thumbnail's SOI/EOI that must not end the file),
// DQT, SOF0, DHT, SOS, entropy-coded data with stuffed FF00 bytes and restart markers, EOI.
Bytes Jpeg(std::size_t scanBytes) {
  Bytes b = {0xFF, 0xD8};
  const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xD8, 0xFF, 0xD9};
  Put8(b, 0xFF); Put8(b, 0xE1); PutBe16(b, 2 + exif.size()); b.insert(b.end(), exif.begin(), exif.end());
  Put8(b, 0xFF); Put8(b, 0xDB); PutBe16(b, 67); Put8(b, 0); PutFill(b, 64, 1);
  Put8(b, 0xFF); Put8(b, 0xC0); PutBe16(b, 11); Put8(b, 8); PutBe16(b, 16); PutBe16(b, 16); Put8(b, 1);
  Put8(b, 1); Put8(b, 0x11); Put8(b, 0);
  Put8(b, 0xFF); Put8(b, 0xC4); PutBe16(b, 2 + 17 + 2); Put8(b, 0); Put8(b, 0); Put8(b, 2); PutFill(b, 14, 0);
  Put8(b, 3); Put8(b, 4);
  Put8(b, 0xFF); Put8(b, 0xDA); PutBe16(b, 8); Put8(b, 1); Put8(b, 1); Put8(b, 0); Put8(b, 0); Put8(b, 63);
  Put8(b, 0);
  const Bytes noise = Noise(scanBytes, 7);
  for (std::size_t i = 0; i < noise.size(); ++i) {
    Put8(b, noise[i]);
    if (noise[i] == 0xFF) Put8(b, 0x00);  // stuffing
    if (i % 4096 == 4095) { Put8(b, 0xFF); Put8(b, 0xD0 + (i / 4096) % 8); }
  }
  Put8(b, 0xFF); Put8(b, 0xD9);
  return b;
}

void PngChunk(Bytes& b, std::string_view type, const Bytes& data) {
  PutBe32(b, data.size());
  const std::size_t from = b.size();
  Put(b, type);
  b.insert(b.end(), data.begin(), data.end());
  PutBe32(b, TestCrc(b, from, 4 + data.size()));
}

Bytes Png(std::size_t idatBytes = 70000) {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(ihdr, 2); PutBe32(ihdr, 2); Put8(ihdr, 8); Put8(ihdr, 2); Put8(ihdr, 0); Put8(ihdr, 0); Put8(ihdr, 0);
  PngChunk(b, "IHDR", ihdr);
  PngChunk(b, "tEXt", {'a', 0, 'b'});
  PngChunk(b, "IDAT", Noise(idatBytes, 3));
  PngChunk(b, "IEND", {});
  return b;
}

Bytes Gif() {
  Bytes b;
  Put(b, "GIF89a");
  PutLe16(b, 2); PutLe16(b, 2); Put8(b, 0x80); Put8(b, 0); Put8(b, 0);
  PutFill(b, 6, 0x7F);                                                        // two colours
  Put8(b, 0x21); Put8(b, 0xF9); Put8(b, 4); PutFill(b, 4, 0x3B); Put8(b, 0);  // graphic control
  Put8(b, 0x2C); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 2); PutLe16(b, 2); Put8(b, 0);
  Put8(b, 2);
  Put8(b, 3); PutFill(b, 3, 0x3B); Put8(b, 2); PutFill(b, 2, 0x21); Put8(b, 0);
  Put8(b, 0x21); Put8(b, 0xFE); Put8(b, 5); Put(b, "hello"); Put8(b, 0);  // comment
  Put8(b, 0x3B);
  return b;
}

Bytes Bmp() {
  Bytes b;
  Put(b, "BM");
  PutLe32(b, 14 + 40 + 16); PutLe32(b, 0); PutLe32(b, 54);
  PutLe32(b, 40); PutLe32(b, 2); PutLe32(b, 2); PutLe16(b, 1); PutLe16(b, 24); PutLe32(b, 0); PutLe32(b, 16);
  PutLe32(b, 2835); PutLe32(b, 2835); PutLe32(b, 0); PutLe32(b, 0);
  const Bytes pixels = Noise(16, 9);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// A TIFF in either byte order: IFD0 (its Make a value stored outside the entry), an Exif
// directory, and a strip. stripLast puts the strip after the directories, else before them.
enum class Raw { kPlain, kNikon, kDng, kCanon };
Bytes Tiff(bool little, Raw raw, bool stripLast) {
  Bytes b;
  auto u16 = [&](Bytes& o, std::uint32_t v) { little ? PutLe16(o, v) : PutBe16(o, v); };
  auto u32 = [&](Bytes& o, std::uint32_t v) { little ? PutLe32(o, v) : PutBe32(o, v); };
  Put(b, little ? std::string_view("II*\0", 4) : std::string_view("MM\0*", 4));
  u32(b, 0);  // patched below
  if (raw == Raw::kCanon) { Put(b, "CR"); Put8(b, 2); Put8(b, 0); u32(b, 0); }
  const Bytes strip = Noise(3000, 11);
  std::uint32_t stripAt = 0;
  if (!stripLast) { stripAt = b.size(); b.insert(b.end(), strip.begin(), strip.end()); }
  const std::string make = raw == Raw::kNikon ? std::string("NIKON CORPORATION\0", 18) : std::string("Maker\0", 6);
  const std::uint16_t entries = raw == Raw::kDng ? 7 : 6;
  const std::uint32_t ifd0 = b.size();
  const std::uint32_t makeAt = ifd0 + 2 + entries * 12 + 4;
  const std::uint32_t exifAt = makeAt + make.size() + (make.size() & 1);
  const std::uint32_t exifEnd = exifAt + 2 + 12 + 4;
  if (stripLast) stripAt = exifEnd + 10;
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    u16(b, tag); u16(b, type); u32(b, count);
    if (type == 3 && count == 1) { u16(b, value); u16(b, 0); } else { u32(b, value); }
  };
  u16(b, entries);
  entry(0x0100, 3, 1, 40);
  entry(0x010F, 2, make.size(), makeAt);
  entry(0x0111, 4, 1, stripAt);
  entry(0x0117, 4, 1, strip.size());
  entry(0x0131, 2, 4, 0x00414141);
  entry(0x8769, 4, 1, exifAt);
  if (raw == Raw::kDng) entry(0xC612, 1, 4, 0x00000401);
  u32(b, 0);
  Put(b, make);
  if (make.size() & 1) Put8(b, 0);
  u16(b, 1);
  entry(0x9000, 7, 4, 0x30323330);
  u32(b, 0);
  if (stripLast) { PutFill(b, 10, 0); b.insert(b.end(), strip.begin(), strip.end()); }
  Bytes head;
  u32(head, ifd0);
  std::copy(head.begin(), head.end(), b.begin() + 4);
  return b;
}

// A PDF saved twice: the first revision and an incremental update, each ending in %%EOF.
Bytes Pdf() {
  Bytes b;
  Put(b, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  Put(b, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Count 0 >>\nendobj\n");
  Put(b, "xref\n0 3\n0000000000 65535 f \ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n");
  Put(b, "3 0 obj\n<< /Producer (update) >>\nendobj\n");
  Put(b, "xref\n3 1\n0000000200 00000 n \ntrailer\n<< /Size 4 /Prev 9 >>\nstartxref\n300\n%%EOF\n");
  return b;
}

struct ZipEntry {
  std::string name;
  Bytes data;
};

// A zip archive of stored entries: local headers, the central directory, the end record with a
// comment.
Bytes Zip(const std::vector<ZipEntry>& entries, std::string_view comment) {
  Bytes b;
  std::vector<std::uint32_t> offsets;
  for (const auto& e : entries) {
    offsets.push_back(b.size());
    Put(b, std::string_view("PK\3\4", 4));
    PutLe16(b, 20); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0x21);
    PutLe32(b, TestCrc(e.data, 0, e.data.size())); PutLe32(b, e.data.size()); PutLe32(b, e.data.size());
    PutLe16(b, e.name.size()); PutLe16(b, 0);
    Put(b, e.name);
    b.insert(b.end(), e.data.begin(), e.data.end());
  }
  const std::uint32_t cd = b.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    Put(b, std::string_view("PK\1\2", 4));
    PutLe16(b, 20); PutLe16(b, 20); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0x21);
    PutLe32(b, TestCrc(e.data, 0, e.data.size())); PutLe32(b, e.data.size()); PutLe32(b, e.data.size());
    PutLe16(b, e.name.size()); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe32(b, 0);
    PutLe32(b, offsets[i]);
    Put(b, e.name);
  }
  const std::uint32_t cdSize = b.size() - cd;
  Put(b, std::string_view("PK\5\6", 4));
  PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, entries.size()); PutLe16(b, entries.size());
  PutLe32(b, cdSize); PutLe32(b, cd); PutLe16(b, comment.size());
  Put(b, comment);
  return b;
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Office(std::string_view folder) {
  return Zip({{"[Content_Types].xml", Text("<Types/>")}, {"_rels/.rels", Text("<Relationships/>")},
              {std::string(folder) + "document.xml", Noise(2000, 5)}},
             "made by hand");
}

// A zip whose stored data holds a central header and an end record naming it, with a size that
// does not reach the record: the archive goes on to its real end record.
Bytes ZipWithDecoy() {
  const std::uint32_t fakeCentral = 30 + 5 + 100000 + 30 + 5;  // where b.bin's data lands
  Bytes fake;
  Put(fake, std::string_view("PK\1\2", 4));
  PutFill(fake, 42, 0);
  Put(fake, std::string_view("PK\5\6\0\0\0\0\1\0\1\0", 12));
  PutLe32(fake, 40); PutLe32(fake, fakeCentral); PutLe16(fake, 0);
  return Zip({{"a.txt", Noise(100000, 13)}, {"b.bin", fake}}, "");
}

Bytes OpenDocument(std::string_view kind) {
  return Zip({{"mimetype", Text(std::string("application/vnd.oasis.opendocument.") + std::string(kind))},
              {"content.xml", Text("<office:document-content/>")}},
             "");
}

void Box(Bytes& b, std::string_view type, const Bytes& data, bool large = false) {
  if (large) {
    PutBe32(b, 1); Put(b, type); PutBe32(b, 0); PutBe32(b, 16 + data.size());
  } else {
    PutBe32(b, 8 + data.size()); Put(b, type);
  }
  b.insert(b.end(), data.begin(), data.end());
}

Bytes IsoMedia(std::string_view brand, std::size_t mdatBytes = 100000) {
  Bytes b;
  Bytes ftyp;
  Put(ftyp, brand); PutBe32(ftyp, 0x200); Put(ftyp, brand); Put(ftyp, "mp41");
  Box(b, "ftyp", ftyp);
  Box(b, "free", Bytes(8, 0));
  Box(b, "mdat", Noise(mdatBytes, 17), brand == "qt  ");
  Bytes moov;
  Box(moov, "mvhd", Bytes(100, 0));
  Box(b, "moov", moov);
  return b;
}

Bytes Wav() {
  Bytes body;
  Put(body, "WAVE");
  Put(body, "fmt "); PutLe32(body, 16); PutLe16(body, 1); PutLe16(body, 1); PutLe32(body, 8000);
  PutLe32(body, 16000); PutLe16(body, 2); PutLe16(body, 16);
  Put(body, "data"); PutLe32(body, 2000);
  const Bytes samples = Noise(2000, 19);
  body.insert(body.end(), samples.begin(), samples.end());
  Bytes b;
  Put(b, "RIFF"); PutLe32(b, body.size()); b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes Avi() {
  Bytes body;
  Put(body, "AVI ");
  Put(body, "LIST"); PutLe32(body, 4 + 8 + 56); Put(body, "hdrl"); Put(body, "avih"); PutLe32(body, 56);
  PutFill(body, 56, 0);
  Put(body, "LIST"); PutLe32(body, 4 + 3000); Put(body, "movi");
  const Bytes frames = Noise(3000, 23);
  body.insert(body.end(), frames.begin(), frames.end());
  Bytes b;
  Put(b, "RIFF"); PutLe32(b, body.size()); b.insert(b.end(), body.begin(), body.end());
  return b;
}

// An MP3: an ID3v2.3 tag of 30 bytes, MPEG-1 Layer III frames at 128 kbit/s and 44.1 kHz (417
// bytes, 418 with padding), and an ID3v1 tag when asked.
Bytes Mp3(bool v1Tag) {
  Bytes b;
  Put(b, "ID3"); Put8(b, 3); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 30);
  Put(b, "TIT2"); PutBe32(b, 6); PutBe16(b, 0); Put8(b, 0); Put(b, "Title"); PutFill(b, 30 - 16, 0);
  for (int i = 0; i < 5; ++i) {
    const bool padded = i == 2;
    Put8(b, 0xFF); Put8(b, 0xFB); Put8(b, padded ? 0x92 : 0x90); Put8(b, 0x64);
    const Bytes audio = Noise(padded ? 414 : 413, 29 + i);
    b.insert(b.end(), audio.begin(), audio.end());
  }
  if (v1Tag) { Put(b, "TAG"); PutFill(b, 125, ' '); }
  return b;
}

struct Sample {
  std::string name;
  CarveType type;
  Bytes bytes;
  std::size_t cut;  // bytes kept by the truncated case: the file's structure does not end there
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> s;
    auto add = [&s](std::string name, CarveType type, Bytes bytes, std::size_t fromEnd) {
      const std::size_t cut = bytes.size() - fromEnd;
      s.push_back({std::move(name), type, std::move(bytes), cut});
    };
    add("Jpeg", CarveType::kJpeg, Jpeg(70000), 1);
    add("Png", CarveType::kPng, Png(), 1);
    add("Gif", CarveType::kGif, Gif(), 1);
    add("Bmp", CarveType::kBmp, Bmp(), 1);
    add("TiffLittleStripLast", CarveType::kTiff, Tiff(true, Raw::kPlain, true), 1);
    add("TiffBigDirectoriesLast", CarveType::kTiff, Tiff(false, Raw::kPlain, false), 1);
    add("Nef", CarveType::kNef, Tiff(true, Raw::kNikon, true), 1);
    add("Dng", CarveType::kDng, Tiff(false, Raw::kDng, false), 1);
    add("Cr2", CarveType::kCr2, Tiff(true, Raw::kCanon, true), 1);
    add("PdfWithUpdate", CarveType::kPdf, Pdf(), 4);
    add("Zip", CarveType::kZip, Zip({{"notes.txt", Text("some notes")}, {"b.bin", Noise(500, 1)}}, "hi"), 1);
    add("ZipWithDecoyEndRecord", CarveType::kZip, ZipWithDecoy(), 10);
    add("Docx", CarveType::kDocx, Office("word/"), 1);
    add("Xlsx", CarveType::kXlsx, Office("xl/"), 1);
    add("Pptx", CarveType::kPptx, Office("ppt/"), 1);
    add("Odt", CarveType::kOdt, OpenDocument("text"), 1);
    add("Ods", CarveType::kOds, OpenDocument("spreadsheet"), 1);
    add("Mp4", CarveType::kMp4, IsoMedia("isom"), 1);
    add("MovLargeSize", CarveType::kMov, IsoMedia("qt  "), 1);
    add("Wav", CarveType::kWav, Wav(), 1);
    add("Avi", CarveType::kAvi, Avi(), 1);
    add("Mp3", CarveType::kMp3, Mp3(false), 1);
    add("Mp3WithId3v1", CarveType::kMp3, Mp3(true), 129);
    return s;
  }();
  return samples;
}

constexpr std::uint64_t kRoomy = 16 * 1024 * 1024;

std::optional<std::uint64_t> LengthOf(CarveType type, const Bytes& bytes, std::uint64_t maxBytes = kRoomy) {
  return CarvedLength(type, MemoryByteSource(bytes), maxBytes);
}

Bytes Joined(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

class CarveSample : public ::testing::TestWithParam<Sample> {};

TEST_P(CarveSample, IsRecognisedFromItsFirstSector) {
  const Sample& s = GetParam();
  const ByteSpan bytes(s.bytes);
  const auto start = RecogniseFileStart(bytes.first(std::min<std::size_t>(bytes.size(), kCarveHeadBytes)));
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(CarveTypeExtension(start->type), CarveTypeExtension(s.type));
  // One sector is enough to know it is a file start (an office document may read as a zip).
  const auto fromSector = RecogniseFileStart(bytes.first(std::min<std::size_t>(bytes.size(), 512)));
  EXPECT_TRUE(fromSector.has_value());
}

TEST_P(CarveSample, LengthOfTheFileAloneIsItsSize) {
  const Sample& s = GetParam();
  EXPECT_EQ(LengthOf(s.type, s.bytes), s.bytes.size());
  EXPECT_EQ(LengthOf(s.type, s.bytes, s.bytes.size()), s.bytes.size());
}

TEST_P(CarveSample, TruncatedFileHasNoLength) {
  const Sample& s = GetParam();
  const Bytes cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.cut));
  EXPECT_EQ(LengthOf(s.type, cut), std::nullopt);
  // The same when the bytes are all there but maxBytes stops short of the end.
  EXPECT_EQ(LengthOf(s.type, s.bytes, s.cut), std::nullopt);
}

TEST_P(CarveSample, LengthStopsAtTheEndOfTheFirstOfTwoFiles) {
  const Sample& s = GetParam();
  for (const Sample& next : Samples()) {
    SCOPED_TRACE(next.name);
    EXPECT_EQ(LengthOf(s.type, Joined(s.bytes, next.bytes)), s.bytes.size());
  }
}

TEST_P(CarveSample, PaddingAfterTheFileIsNotCounted) {
  const Sample& s = GetParam();
  EXPECT_EQ(LengthOf(s.type, Joined(s.bytes, Bytes(4096, 0))), s.bytes.size());
  EXPECT_EQ(LengthOf(s.type, Joined(s.bytes, Noise(4096, 31))), s.bytes.size());
  EXPECT_EQ(LengthOf(s.type, Joined(s.bytes, Bytes(4096, 0xFF))), s.bytes.size());
}

TEST_P(CarveSample, FileCutAndFollowedByAnotherHasNoLength) {
  const Sample& s = GetParam();
  const Bytes cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.cut));
  // A file lost in the middle and another written over the rest: no length runs into it, unless
  // the size is written in the header (BMP, RIFF), where the length is the header's. MP3 frames
  // have neither an end marker nor a checksum: a last frame cut short and overwritten reads whole,
  // and the walk stops at the next header, never past where the file's frames would have ended.
  const auto length = LengthOf(s.type, Joined(cut, Zip({{"x", Noise(5000, 37)}}, "")));
  if (!length) return;
  if (s.type == CarveType::kMp3) {
    EXPECT_GT(*length, s.cut);
    EXPECT_LE(*length, s.bytes.size());
  } else {
    EXPECT_EQ(*length, s.bytes.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, CarveSample, ::testing::ValuesIn(Samples()),
                         [](const ::testing::TestParamInfo<Sample>& info) { return info.param.name; });

// Bytes that begin like a format but are not one are not file starts.
TEST(CarveRecogniser, LookalikesAreNotFileStarts) {
  auto with = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> patch) {
    std::copy(patch.begin(), patch.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  Bytes longName = Zip({{"a", Text("x")}}, "");
  longName[26] = 0xFF;
  longName[27] = 0x7F;
  struct Case {
    std::string name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"zeros", Bytes(512, 0)},
      {"noise1", Noise(512, 1)},
      {"noise2", Noise(512, 2)},
      {"noise3", Noise(4096, 3)},
      {"text starting PK", Text("PKZIP was a program; this is only text about it, not an archive.....")},
      {"pdf header without a version", Text("%PDF-abc\nnot really a pdf at all, just a text file here....")},
      {"pdf version that runs on", Text("%PDF-1.4 and then a very long line without an end of line...")},
      {"JPEG without a JFIF or Exif segment", with(Jpeg(10), 6, {'J', 'U', 'N', 'K'})},
      {"JPEG segment too short", with(Jpeg(10), 4, {0, 1})},
      {"JPEG segment followed by no marker", with(Jpeg(10), 24, {0x00})},
      {"PNG whose IHDR CRC is wrong", with(Png(), 29, {0, 0, 0, 0})},
      {"PNG with colour type 5", with(Png(), 25, {5})},
      {"GIF of width 0", with(Gif(), 6, {0, 0})},
      {"GIF with no block after the colours", with(Gif(), 19, {0x00})},
      {"text starting BM", Text("BMW and other cars: a text file that starts with the two letters B and M.")},
      {"BMP with a DIB header of 41 bytes", with(Bmp(), 14, {41})},
      {"BMP of two planes", with(Bmp(), 26, {2})},
      {"TIFF whose IFD0 is at 0", with(Tiff(true, Raw::kPlain, true), 4, {0, 0, 0, 0})},
      {"TIFF whose IFD0 has no entries", with(Tiff(false, Raw::kPlain, false), 3008, {0, 0})},
      {"TIFF entry of type 0", with(Tiff(true, Raw::kPlain, true), 12, {0, 0})},
      {"zip with version 200", with(longName, 4, {200})},
      {"zip with method 77", with(longName, 8, {77})},
      {"zip with a name of 32767 bytes", longName},
      {"zip whose name has control bytes", with(Zip({{"ab", Text("x")}}, ""), 30, {1})},
      {"ftyp box of size 3", with(IsoMedia("isom"), 0, {0, 0, 0, 3})},
      {"ftyp whose brand is binary", with(IsoMedia("isom"), 8, {0, 1, 2, 3})},
      {"RIFF of another form", with(Wav(), 8, {'W', 'A', 'V', 'X'})},
      {"AVI without its header list", with(Avi(), 12, {'J', 'U', 'N', 'K'})},
      {"WAV fmt chunk too short", with(Wav(), 16, {4})},
      {"ID3 size not sync-safe", with(Mp3(false), 9, {0x80})},
      {"ID3 version 9", with(Mp3(false), 3, {9})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteSpan bytes(c.bytes);
    const auto start = RecogniseFileStart(bytes.first(std::min<std::size_t>(bytes.size(), kCarveHeadBytes)));
    EXPECT_FALSE(start.has_value()) << CarveTypeExtension(start ? start->type : CarveType::kJpeg);
  }
}

// Structures broken inside the file give no length, rather than one that runs on.
TEST(CarveLength, BrokenStructuresHaveNoLength) {
  auto with = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> patch) {
    std::copy(patch.begin(), patch.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  const Bytes png = Png();
  const Bytes mp4 = IsoMedia("isom");
  const Bytes tiff = Tiff(true, Raw::kPlain, true);
  struct Case {
    std::string name;
    CarveType type;
    Bytes bytes;
  };
  const Case cases[] = {
      {"PNG IDAT byte changed (CRC no longer matches)", CarveType::kPng, with(png, 5000, {0x00, 0x01})},
      {"PNG chunk of a binary type", CarveType::kPng, with(png, 33 + 4, {0x01})},
      {"JPEG SOI inside the scan", CarveType::kJpeg, with(Jpeg(100), 200, {0xFF, 0xD8})},
      {"GIF block of an unknown kind", CarveType::kGif, with(Gif(), 19, {0x99})},
      {"BMP size past maxBytes", CarveType::kBmp, with(Bmp(), 2, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"TIFF strip past the end", CarveType::kTiff, with(tiff, 10 + 2 * 12 + 8, {0xFF, 0xFF, 0xFF, 0x00})},
      {"MP4 without a movie box", CarveType::kMp4, with(mp4, mp4.size() - 116 + 4, {'j', 'u', 'n', 'k'})},
      {"MP4 box of size 0", CarveType::kMp4, with(mp4, 40, {0, 0, 0, 0})},
      {"RIFF size past the end", CarveType::kWav, with(Wav(), 4, {0xFF, 0xFF, 0xFF, 0x00})},
      {"MP3 tag with no frames after it", CarveType::kMp3, with(Mp3(false), 40, {0x00, 0x00})},
      {"zip whose end record names the wrong directory", CarveType::kZip,
       [] {
         Bytes z = Zip({{"a", Text("x")}}, "");
         z[z.size() - 6] ^= 1;
         return z;
       }()},
      {"zip whose central header has lost its signature", CarveType::kZip,
       with(Zip({{"a", Text("x")}}, ""), 30 + 1 + 1 + 2, {'X'})},
      {"PDF without %%EOF", CarveType::kPdf, Text("%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EO")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LengthOf(c.type, c.bytes), std::nullopt);
  }
}

// The length rules read through the source only as far as they need, and a source that ends
// early (the end of the disk) is the end of the bytes.
TEST(CarveLength, ReadsStayWithinMaxBytes) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    const Bytes padded = Joined(s.bytes, Noise(200000, 41));
    const std::uint64_t maxBytes = s.bytes.size() + 1000;
    std::uint64_t furthest = 0;
    const ByteSource inner = MemoryByteSource(padded);
    const ByteSource counting = [&](std::uint64_t at, std::span<std::uint8_t> out) {
      const std::size_t n = inner(at, out);
      if (n > 0) furthest = std::max<std::uint64_t>(furthest, at + n);
      return n;
    };
    EXPECT_EQ(CarvedLength(s.type, counting, maxBytes), s.bytes.size());
    EXPECT_LE(furthest, maxBytes);
  }
}

}  // namespace
}  // namespace quarrow
