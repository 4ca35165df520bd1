#include "fat/fat_entries.h"

#include <gtest/gtest.h>

#include "fat_test_volume.h"

namespace quarrow {
namespace {

using namespace fat_test;

TEST(FatShortName, DeletedEntryGetsUnderscoreAndMark) {
  Entry e = ShortEntry("XREPORT TXT", 0x20, 5);
  e[0] = 0xE5;
  ShortName n = AssembleShortName(e, 0);
  EXPECT_EQ(n.name, "_REPORT.TXT");
  EXPECT_TRUE(n.deleted);
}

TEST(FatShortName, SpacesLeftOutAndDotOnlyBeforeAnExtension) {
  EXPECT_EQ(AssembleShortName(ShortEntry("README     ", 0x20, 0), 0).name, "README");
  EXPECT_EQ(AssembleShortName(ShortEntry("A B     TXT", 0x20, 0), 0).name, "AB.TXT");
  // An extension that begins with a space follows the name without a dot.
  EXPECT_EQ(AssembleShortName(ShortEntry("ABC      XY", 0x20, 0), 0).name, "ABCXY");
  ShortName live = AssembleShortName(ShortEntry("FILE    BIN", 0x20, 0), 0);
  EXPECT_EQ(live.name, "FILE.BIN");
  EXPECT_FALSE(live.deleted);
}

TEST(FatShortName, EntryAtAnOffsetAndShortBufferReadSafely) {
  Sector s = SectorOf({ShortEntry("FIRST   TXT", 0x20, 1), ShortEntry("SECOND  DOC", 0x20, 2)});
  EXPECT_EQ(AssembleShortName(s, 32).name, "SECOND.DOC");
  std::array<std::uint8_t, 5> tiny = {'A', 'B', 'C', ' ', ' '};
  // Bytes past the buffer read as 0, never out of bounds.
  ShortName n = AssembleShortName(tiny, 0);
  EXPECT_EQ(n.name.substr(0, 3), "ABC");
}

TEST(FatEntryName, ValidityRules) {
  EXPECT_TRUE(IsValidEntryName(""));
  EXPECT_TRUE(IsValidEntryName("C:NAME.TXT"));  // ':' is not rejected
  EXPECT_TRUE(IsValidEntryName("My Photos (2024)"));
  // Names are UTF-8: letters beyond ASCII are names like any other.
  EXPECT_TRUE(IsValidEntryName("caf\xC3\xA9"));
  EXPECT_TRUE(IsValidEntryName("\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE"));
  EXPECT_TRUE(IsValidEntryName("\xE9\x9F\xB3\xE6\xA5\xBD"));
  EXPECT_FALSE(IsValidEntryName("TAB\tNAME"));
  EXPECT_FALSE(IsValidEntryName(std::string("A\x01", 2)));
  for (char c : std::string("\"\\/?*<>|")) {
    EXPECT_FALSE(IsValidEntryName(std::string("A") + c + "B")) << c;
  }
}

TEST(FatEntryCluster, HighWordOnlyOnFat32) {
  Entry e = ShortEntry("DIR        ", 0x10, 0x00051234);
  EXPECT_EQ(EntryCluster32(e, 0), 0x00051234u);
  EXPECT_EQ(EntryCluster16(e, 0), 0x1234u);
  EXPECT_EQ(EntryCluster(e, 0, FsType::kFat16), 0x1234u);
  EXPECT_EQ(EntryCluster(e, 0, FsType::kFat12), 0x1234u);
  EXPECT_EQ(EntryCluster(e, 0, FsType::kFat32), 0x00051234u);
  EXPECT_EQ(FsTypeFromText("FAT16"), FsType::kFat16);
  EXPECT_EQ(FsTypeFromText("FAT32"), FsType::kFat32);
  EXPECT_EQ(FsTypeFromText("FAT12"), std::nullopt);
  EXPECT_EQ(FsTypeFromText("fat32"), std::nullopt);
}

TEST(FatDirectoryStart, DotAndDotDotRequired) {
  EXPECT_TRUE(IsDirectoryStartSector(DirectoryStart(5, 0)));
  Sector s = DirectoryStart(5, 0);
  s[33] = 'X';
  EXPECT_FALSE(IsDirectoryStartSector(s));
  Sector file = SectorOf({ShortEntry(".HIDDEN", 0x20, 3)});
  EXPECT_FALSE(IsDirectoryStartSector(file));
}

// Sectors from inside a directory, past its dot entries, against sectors of file data that share
// some of their bytes.
TEST(FatDirectoryContinuation, EntriesWithoutDotsAndNothingAfterTheEnd) {
  const Entry file = ShortEntry("FILE01  TXT", 0x20, 40, 37);
  const Entry folder = ShortEntry("PHOTOS", 0x10, 41);
  Entry deleted = file;
  deleted[0] = 0xE5;
  Entry deletedPart = LongEntry(0x41, "a long name");
  deletedPart[0] = 0xE5;
  Entry label = ShortEntry("My Stick", 0x08, 0);
  auto withByte = [](Sector s, std::size_t at, std::uint8_t value) {
    s[at] = value;
    return s;
  };
  const Sector full = SectorOf(std::vector<Entry>(16, file));
  std::vector<Entry> named = NamedEntries("a long file name.txt", ShortEntry("ALONGF~1TXT", 0x20, 50, 9));
  named.push_back(folder);
  const Sector text = [] {
    Sector s{};
    const std::string_view t = "FILE01  TXT is the text of a file, not a directory; and so on. ";
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(t[i % t.size()]);
    return s;
  }();
  const struct {
    const char* what;
    Sector sector;
    bool continuation;
  } cases[] = {
      {"full of short entries", full, true},
      {"long name parts, a folder, then the end", SectorOf(named), true},
      {"deleted entries and a deleted long-name part", SectorOf({deleted, deletedPart, file}), true},
      {"the volume label", SectorOf({label, file}), true},
      {"a first sector of a directory", DirectoryStart(5, 0, {file}), false},
      {"all zero", Sector{}, false},
      {"an entry after the end", withByte(SectorOf({file, file}), 0, 0), false},
      {"a name byte below 0x20", withByte(full, 32 * 7 + 3, 0x07), false},
      {"a name byte that no name holds", withByte(full, 32 * 15 + 2, '/'), false},
      {"attribute bits 0xC0", withByte(full, 32 * 4 + 11, 0x60), false},
      {"byte 12 other than case flags", withByte(full, 32 * 2 + 12, 0x01), false},
      {"a folder with a size", SectorOf({file, ShortEntry("PHOTOS", 0x10, 41, 512)}), false},
      {"a long-name part with a cluster", withByte(SectorOf(named), 26, 1), false},
      {"a long-name part numbered 0", withByte(SectorOf(named), 0, 0x40), false},
      {"text", text, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDirectoryContinuationSector(c.sector), c.continuation) << c.what;
  EXPECT_FALSE(IsDirectoryContinuationSector(ByteSpan(full.data(), 511)));
}

class LongNameTest : public ::testing::Test {
 protected:
  TestDisk d{64};
};

TEST_F(LongNameTest, ThirteenCharactersInOneEntryWithoutTerminator) {
  Sector s = SectorOf(
      {ShortEntry(".", 0x10, 3), LongEntry(0x41, "ABCDEFGHIJKLM"), ShortEntry("ABCDEF~1   ", 0x20, 9)});
  const std::optional<std::string> out = ReadLongName(d.ctx, s, 64, 10);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "ABCDEFGHIJKLM");
}

TEST_F(LongNameTest, SeveralPartsInOrder) {
  std::vector<Entry> entries = {ShortEntry(".", 0x10, 3)};
  auto named = NamedEntries("A long file name here.txt", ShortEntry("ALONGF~1TXT", 0x20, 9));
  entries.insert(entries.end(), named.begin(), named.end());
  Sector s = SectorOf(entries);
  const std::optional<std::string> out =
      ReadLongName(d.ctx, s, static_cast<int>((entries.size() - 1) * 32), 10);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "A long file name here.txt");
}

TEST_F(LongNameTest, NoLongNameKeepsTheShortName) {
  Sector s = SectorOf({ShortEntry("FIRST   TXT", 0x20, 1), ShortEntry("SECOND  TXT", 0x20, 2)});
  EXPECT_FALSE(ReadLongName(d.ctx, s, 32, 10).has_value());
}

TEST_F(LongNameTest, PartsInThePreviousSectorOnTheDisk) {
  // The short entry opens sector 21; its long name ends sector 20.
  std::vector<Entry> prev(16, ShortEntry("FILLER  TXT", 0x20, 1));
  auto named = NamedEntries("Holiday pictures 2024", ShortEntry("HOLIDA~1   ", 0x10, 7));
  prev[14] = named[0];
  prev[15] = named[1];
  d.PutEntries(20, prev);
  Sector s = SectorOf({named[2]});
  d.Put(21, s);
  const std::optional<std::string> out = ReadLongName(d.ctx, s, 0, 21);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "Holiday pictures 2024");
}

TEST_F(LongNameTest, DirectoryOrderReadsTheChainPredecessorNotTheDiskNeighbour) {
  std::vector<Entry> prev(16, ShortEntry("FILLER  TXT", 0x20, 1));
  auto named = NamedEntries("Fragmented folder", ShortEntry("FRAGME~1   ", 0x10, 7));
  prev[14] = named[0];
  prev[15] = named[1];
  d.PutEntries(40, prev);  // the directory's previous cluster lies elsewhere on the disk
  d.PutEntries(29, std::vector<Entry>(16, LongEntry(0x01, "WRONGWRONGWRO")));
  Sector s = SectorOf({named[2]});
  d.Put(30, s);
  std::vector<std::uint64_t> order = {40, 30};
  const std::optional<std::string> out = ReadLongName(d.ctx, s, 0, 30, DirectoryOrder{&order, 1});
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "Fragmented folder");
  // Nothing lies in front of a directory's first sector.
  EXPECT_FALSE(ReadLongName(d.ctx, s, 0, 30, DirectoryOrder{&order, 0}).has_value());
}

TEST_F(LongNameTest, ChainWithoutEndIsBounded) {
  // Long-name parts all the way back to sector 0, none carrying the last-part mark or a
  // terminator: the collection stops after 255 characters.
  for (std::uint64_t s = 0; s < 8; ++s)
    d.PutEntries(s, std::vector<Entry>(16, LongEntry(0x05, "XXXXXXXXXXXXX")));
  Sector last = SectorOf(std::vector<Entry>(16, LongEntry(0x05, "XXXXXXXXXXXXX")));
  last[15 * 32 + 11] = 0x20;
  d.Put(8, last);
  const std::optional<std::string> out = ReadLongName(d.ctx, last, 15 * 32, 8);
  ASSERT_TRUE(out.has_value());
  EXPECT_GT(out->size(), 255u);
  EXPECT_LE(out->size(), 255u + 13u);
}

TEST_F(LongNameTest, ChainReachingSectorZeroEnds) {
  Sector first = SectorOf({LongEntry(0x02, "ABCDEFGHIJKLM"), LongEntry(0x01, "NOPQRSTUVWXYZ"),
                           ShortEntry("ABC     TXT", 0x20, 4)});
  d.Put(0, first);
  // Two whole parts were collected before the start of the disk: they are used.
  const std::optional<std::string> out = ReadLongName(d.ctx, first, 64, 0);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "NOPQRSTUVWXYZABCDEFGHIJKLM");
}

TEST_F(LongNameTest, UnreadablePreviousSectorEndsTheName) {
  auto named = NamedEntries("Short name", ShortEntry("SHORTN~1   ", 0x10, 7));
  std::vector<Entry> prev(16, ShortEntry("FILLER  TXT", 0x20, 1));
  prev[15] = named[0];
  d.PutEntries(20, prev);
  d.disk->MarkBad(20);
  Sector s = SectorOf({named[1]});
  EXPECT_FALSE(ReadLongName(d.ctx, s, 0, 21).has_value());
}

TEST_F(LongNameTest, DeletedLongNameIsCollectedWhole) {
  auto named = NamedEntries("Old holiday", ShortEntry("OLDHOL~1   ", 0x10, 7));
  named[0][0] = 0xE5;
  named[1][0] = 0xE5;
  Sector s = SectorOf(named);
  EntryName n = ResolveEntryName(d.ctx, s, 32, 10);
  EXPECT_TRUE(n.valid);
  EXPECT_TRUE(n.deleted);
  EXPECT_EQ(n.name, "Old holiday");
}

TEST_F(LongNameTest, LongNamesAreDecodedFromUtf16InFull) {
  // Each part holds 13 UTF-16 units; a pair of surrogates may even be split between two parts.
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"Caf\u00e9 photos", "Caf\xC3\xA9 photos"},
      {u"\u0424\u043e\u0442\u043e 2024", "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE 2024"},
      {u"\u97f3\u697d.mp3", "\xE9\x9F\xB3\xE6\xA5\xBD.mp3"},
      {u"abcdefghijkl\U0001F600.txt", "abcdefghijkl\xF0\x9F\x98\x80.txt"},
  };
  for (const auto& [units, utf8] : cases) {
    Sector s = SectorOf(NamedEntries16(units, ShortEntry("NAME~1     ", 0x10, 7)));
    const std::size_t shortAt = ((units.size() + 12) / 13) * 32;
    EntryName n = ResolveEntryName(d.ctx, s, shortAt, 10);
    EXPECT_TRUE(n.valid) << utf8;
    EXPECT_EQ(n.name, utf8);
  }
}

TEST_F(LongNameTest, EmptyLongNameKeepsTheShortName) {
  Sector s = SectorOf({LongEntry(0x41, ""), ShortEntry("PLAIN   TXT", 0x20, 4)});
  EntryName n = ResolveEntryName(d.ctx, s, 32, 10);
  EXPECT_TRUE(n.valid);
  EXPECT_EQ(n.name, "PLAIN.TXT");
}

}  // namespace
}  // namespace quarrow
