#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carve/carve.h"
#include "carve_test_files.h"
#include "core/bytes.h"

namespace quarrow {
namespace {

using namespace carve_test;

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

// Whether a file read back in some order of clusters holds together: one table of files and the
// damage a wrong cluster does to them. A check that cannot see inside (compressed data, formats
// with no decoder here) may only say it cannot tell.
TEST(CarveWholeFile, OnlyChecksThatSeeAWrongClusterConfirm) {
  auto replace = [](Bytes b, std::size_t at, const Bytes& with) {
    std::copy(with.begin(), with.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  auto swapped = [](Bytes b, std::size_t a, std::size_t c, std::size_t n) {
    std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(a), b.begin() + static_cast<std::ptrdiff_t>(a + n),
                     b.begin() + static_cast<std::ptrdiff_t>(c));
    return b;
  };
  auto flipped = [](Bytes b, std::size_t at) {
    b[at] ^= 0x10;
    return b;
  };
  const Bytes jpeg = DecodableJpeg(40, 30, 5);
  const Bytes restarts = DecodableJpeg(40, 30, 6, 64);
  const Bytes other = DecodableJpeg(40, 30, 9);
  ASSERT_GT(jpeg.size(), 4096u);
  Bytes progressive = jpeg;
  progressive[2 + 18 + 69 + 1] = 0xC2;  // SOF0 becomes SOF2: the segment after APP0 and DQT
  Bytes taller = jpeg;
  taller[2 + 18 + 69 + 5 + 1] += 8;  // the frame's height, one row of blocks more than the scan holds
  Bytes trailing = jpeg;
  trailing.push_back(0);
  const Bytes stored = Zip({{"notes.txt", Text("some notes")}, {"b.bin", Noise(3000, 1)}}, "hi");
  Bytes deflated = stored;
  for (std::size_t i = 0; i + 4 <= deflated.size(); ++i) {
    // The method of every local and central header of the archive: "deflated".
    if (deflated[i] == 'P' && deflated[i + 1] == 'K' && deflated[i + 2] == 3 && deflated[i + 3] == 4) deflated[i + 8] = 8;
    if (deflated[i] == 'P' && deflated[i + 1] == 'K' && deflated[i + 2] == 1 && deflated[i + 3] == 2) deflated[i + 10] = 8;
  }
  const Bytes pdf = TextPdf(120);
  ASSERT_GT(pdf.size(), 3000u);
  Bytes shiftedXref = pdf;
  {
    const std::string text(shiftedXref.begin(), shiftedXref.end());
    const std::size_t entry = text.find(" 00000 n ") - 10;  // the first object's offset, one on
    shiftedXref[entry + 9] = static_cast<std::uint8_t>(shiftedXref[entry + 9] + 1);
  }
  Bytes gifTrailing = Gif();
  gifTrailing.push_back('x');

  struct Case {
    const char* what;
    CarveType type;
    Bytes bytes;
    WholeFileCheck expected;
  };
  const std::vector<Case> cases = {
      {"jpeg whole", CarveType::kJpeg, jpeg, WholeFileCheck::kHolds},
      {"jpeg with restart markers", CarveType::kJpeg, restarts, WholeFileCheck::kHolds},
      {"jpeg: a cluster of another jpeg's scan", CarveType::kJpeg, replace(jpeg, 2048, Bytes(other.begin() + 2048, other.begin() + 2560)),
       WholeFileCheck::kBroken},
      {"jpeg: a cluster of zeros", CarveType::kJpeg, replace(jpeg, 2048, Bytes(512, 0)), WholeFileCheck::kBroken},
      {"jpeg: two clusters swapped", CarveType::kJpeg, swapped(jpeg, 1024, 2560, 512), WholeFileCheck::kBroken},
      {"jpeg with restarts: a cluster of zeros", CarveType::kJpeg, replace(restarts, 2048, Bytes(512, 0)),
       WholeFileCheck::kBroken},
      {"jpeg: a cluster of noise", CarveType::kJpeg, replace(jpeg, 2560, Noise(512, 8)), WholeFileCheck::kBroken},
      {"jpeg: fewer blocks than the frame", CarveType::kJpeg, taller, WholeFileCheck::kBroken},
      {"jpeg: a byte after its end", CarveType::kJpeg, trailing, WholeFileCheck::kBroken},
      {"jpeg whose scan is noise (the length rule takes it)", CarveType::kJpeg, Jpeg(5000), WholeFileCheck::kBroken},
      {"progressive jpeg", CarveType::kJpeg, progressive, WholeFileCheck::kCannotTell},
      {"png whole", CarveType::kPng, Png(5000), WholeFileCheck::kHolds},
      {"png: one byte", CarveType::kPng, flipped(Png(5000), 3000), WholeFileCheck::kBroken},
      {"zip of stored members", CarveType::kZip, stored, WholeFileCheck::kHolds},
      {"zip: a byte of a member", CarveType::kZip, flipped(stored, 1500), WholeFileCheck::kBroken},
      {"zip: compressed members", CarveType::kZip, deflated, WholeFileCheck::kCannotTell},
      {"pdf whole", CarveType::kPdf, pdf, WholeFileCheck::kHolds},
      {"pdf: binary bytes in its text stream", CarveType::kPdf, replace(pdf, 1024, Noise(512, 4)), WholeFileCheck::kBroken},
      {"pdf: an object not where the table says", CarveType::kPdf, shiftedXref, WholeFileCheck::kBroken},
      {"pdf with a filtered stream", CarveType::kPdf, TextPdf(120, true), WholeFileCheck::kCannotTell},
      {"pdf saved twice (the old table's offsets are wrong)", CarveType::kPdf, Pdf(), WholeFileCheck::kBroken},
      {"pdf with a long dictionary", CarveType::kPdf, TextPdf(120, false, 30000), WholeFileCheck::kHolds},
      // Past what the check looks at for a dictionary's end: it says nothing rather than search on.
      {"pdf with a dictionary longer than the check looks", CarveType::kPdf, TextPdf(120, false, 70000),
       WholeFileCheck::kCannotTell},
      {"gif whole", CarveType::kGif, Gif(), WholeFileCheck::kCannotTell},
      {"gif and a byte", CarveType::kGif, gifTrailing, WholeFileCheck::kBroken},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckWholeFile(c.type, c.bytes), c.expected);
    // A type said not to confirm never does.
    if (c.expected == WholeFileCheck::kHolds) {
      EXPECT_TRUE(WholeFileCheckCanConfirm(c.type));
    }
  }
  // Nor does any other type, whatever its bytes: the whole card of samples.
  for (const Sample& sample : Samples()) {
    SCOPED_TRACE(sample.name);
    if (!WholeFileCheckCanConfirm(sample.type)) {
      EXPECT_NE(CheckWholeFile(sample.type, sample.bytes), WholeFileCheck::kHolds);
    }
  }
}

}  // namespace
}  // namespace quarrow
