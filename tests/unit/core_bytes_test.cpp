#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/code_page.h"
#include "core/unicode.h"
#include "fat/boot_sector.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

// Every reader returns the value when its last byte is the buffer's last, and 0 one byte later,
// at the end and far past it (offsets near SIZE_MAX must not wrap).
TEST(CoreBytes, ReadersStopExactlyAtTheEndOfTheBuffer) {
  std::vector<std::uint8_t> bytes(16);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x10 + i);
  const ByteSpan s(bytes);
  constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();
  struct Case {
    std::size_t width;
    std::uint64_t (*read)(ByteSpan, std::size_t);
  };
  const Case cases[] = {
      {1, [](ByteSpan b, std::size_t o) -> std::uint64_t { return Byte(b, o); }},
      {2, [](ByteSpan b, std::size_t o) -> std::uint64_t { return Le16(b, o); }},
      {4, [](ByteSpan b, std::size_t o) -> std::uint64_t { return Le32(b, o); }},
      {8, [](ByteSpan b, std::size_t o) -> std::uint64_t { return Le64(b, o); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const std::size_t last = bytes.size() - c.width;
    std::uint64_t expected = 0;
    for (std::size_t i = c.width; i-- > 0;) expected = expected << 8 | bytes[last + i];
    EXPECT_EQ(c.read(s, last), expected);
    EXPECT_EQ(c.read(s, last + 1), 0u);
    EXPECT_EQ(c.read(s, bytes.size()), 0u);
    EXPECT_EQ(c.read(s, kHuge), 0u);
    EXPECT_EQ(c.read(s, kHuge - 1), 0u);
    EXPECT_EQ(c.read(ByteSpan(), 0), 0u);
  }
  EXPECT_EQ(Le16(s, 0), 0x1110u);
  EXPECT_EQ(Le32(s, 0), 0x13121110u);
  EXPECT_EQ(Le64(s, 8), 0x1F1E1D1C1B1A1918ull);
  EXPECT_TRUE(BytesEqual(s, 14, "\x1E\x1F"));
  EXPECT_FALSE(BytesEqual(s, 15, "\x1F\x20"));
  EXPECT_FALSE(BytesEqual(s, kHuge, "x"));
  EXPECT_TRUE(BytesEqual(s, 16, ""));
}

TEST(CoreUnicode, Utf16DecodesInFullAndMarksBrokenSurrogates) {
  struct Case {
    std::vector<std::uint16_t> units;
    std::string utf8;
  };
  const Case cases[] = {
      {{'A', 0xE9}, "A\xC3\xA9"},                  // Latin-1 range
      {{0x0416, 0x4E2D}, "\xD0\x96\xE4\xB8\xAD"},  // Cyrillic, CJK
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},      // a surrogate pair
      {{0xD83D, 'x'}, "\xEF\xBF\xBDx"},            // a high surrogate alone
      {{0xDE00}, "\xEF\xBF\xBD"},                  // a low surrogate alone
      {{'a', 0xD83D}, "a\xEF\xBF\xBD"},            // cut at the end
      {{}, ""},
      {{'I', 'M', 'G', '.', 'J', 'P', 'G'}, "IMG.JPG"},  // ASCII only
      {{'z', 0x7F, 0x80, 'y'}, "z\x7F\xC2\x80y"},        // the last ASCII unit and the first past it
      {{'a', 'b', 0xD83D, 0xDE00, 'c'},
       "ab\xF0\x9F\x98\x80"
       "c"},  // ASCII, then a pair
  };
  for (const Case& c : cases) {
    const std::string out = Utf16ToUtf8(c.units);
    EXPECT_EQ(out, c.utf8);
    EXPECT_TRUE(IsValidUtf8(out));
  }
  // Names that differ only above U+00FF stay apart.
  EXPECT_NE(Utf16ToUtf8(std::vector<std::uint16_t>{0x0141}), Utf16ToUtf8(std::vector<std::uint16_t>{0x0241}));
}

TEST(CoreUnicode, Utf8CheckRefusesWhatIsNotUtf8) {
  for (const char* bad :
       {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xFF"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  for (const char* good : {"", "plain", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"})
    EXPECT_TRUE(IsValidUtf8(good));
}

TEST(CoreCodePage, OemBytesDecodeThroughTheChosenPage) {
  const CodePage page437;
  EXPECT_EQ(page437.Number(), 437);
  EXPECT_EQ(page437.Decode("CAF\x90.TXT"), "CAF\xC3\x89.TXT");  // 0x90 is E acute in 437
  EXPECT_EQ(page437.Decode("README"), "README");
  const auto page866 = CodePage::Open(866);
  ASSERT_TRUE(page866.has_value());
  EXPECT_EQ(page866->Decode("\x8F\x80"), "\xD0\x9F\xD0\x90");  // Cyrillic PA, A
  const auto page932 = CodePage::Open(932);
  ASSERT_TRUE(page932.has_value());
  EXPECT_EQ(page932->Decode("\x93\xFA"), "\xE6\x97\xA5");  // a double-byte character
  EXPECT_TRUE(IsValidUtf8(page932->Decode("\x93")));       // a lead byte alone still gives UTF-8
  std::string why;
  EXPECT_FALSE(CodePage::Open(123456, &why).has_value());
  EXPECT_NE(why.find("123456"), std::string::npos);
}

TEST(FatBootSectorTest, FieldsAndTheClusterCountRule) {
  using test_support::Put16;
  using test_support::Put32;
  using test_support::PutText;
  std::array<std::uint8_t, 512> s{};
  s[0] = 0xEB, s[2] = 0x90;
  Put16(s, 11, 512);
  s[13] = 4;
  Put16(s, 14, 1);
  s[16] = 2;
  Put16(s, 17, 512);
  Put16(s, 19, 0);
  s[21] = 0xF8;
  Put16(s, 22, 12);
  Put32(s, 32, 20000);
  PutText(s, 54, "FAT12   ");
  s[510] = 0x55, s[511] = 0xAA;
  FatBootSector b = DecodeFatBootSector(s);
  EXPECT_TRUE(b.Plausible());
  EXPECT_TRUE(b.saysFat12);
  EXPECT_EQ(b.totalSectors, 20000u);
  EXPECT_EQ(b.FatSectors(), 12u);
  EXPECT_EQ(b.RootDirSectors(), 32u);
  // (20000 - 1 - 24 - 32) / 4 = 4985 clusters: FAT16 by count, whatever the label says.
  EXPECT_EQ(b.TypeByClusterCount(), FsType::kFat16);
  Put32(s, 32, 16000);  // 3985 clusters
  EXPECT_EQ(DecodeFatBootSector(s).TypeByClusterCount(), FsType::kFat12);
  Put16(s, 17, 1);  // one root entry still takes a whole sector
  EXPECT_EQ(DecodeFatBootSector(s).RootDirSectors(), 1u);
  Put16(s, 22, 0);
  Put32(s, 36, 600);
  Put32(s, 32, 4000000);
  b = DecodeFatBootSector(s);
  EXPECT_EQ(b.FatSectors(), 600u);
  EXPECT_EQ(b.TypeByClusterCount(), FsType::kFat32);
  // Figures that leave no data area, or a cluster size of 0, describe no volume.
  Put32(s, 32, 100);
  EXPECT_EQ(DecodeFatBootSector(s).TypeByClusterCount(), FsType::kNone);
  s[13] = 3;
  EXPECT_FALSE(DecodeFatBootSector(s).Plausible());
  s[13] = 4;
  s[0] = 0;
  EXPECT_FALSE(DecodeFatBootSector(s).Plausible());  // no jump: a partition table, not a boot sector
  // A short buffer reads as zeros.
  EXPECT_FALSE(DecodeFatBootSector(ByteSpan(s).first(20)).signature);
}

}  // namespace
}  // namespace quarrow
