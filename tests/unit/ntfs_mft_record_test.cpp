// FILE records: the fix-up, the attribute walk over hostile records, names, sizes, first runs
// and the MftEntryTable values of a whole record.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>

#include "ntfs/mft_record.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

std::string Utf8(const char8_t* text) {
  return reinterpret_cast<const char*>(text);
}

TEST(NtfsFixupTest, RestoresEverySectorEndIncludingTheLast) {
  Bytes record(1024, 0);
  record[510] = 0x11, record[1023] = 0x44;
  Protect(record, 48);
  ASSERT_NE(record[1023], 0x44);
  EXPECT_EQ(ApplyFixup(record), 2u);
  EXPECT_EQ(record[510], 0x11);
  EXPECT_EQ(record[1023], 0x44);
  Bytes big(4096, 0);
  Protect(big, 40);  // an index record's array over a buffer cut to two sectors
  EXPECT_EQ(ApplyFixup(std::span(big).first(1024)), 2u);
}

// Volumes of 2048- and 4096-byte sectors write records as large as the sector, protected at every
// 512-byte stride. A record whose attributes lie across the strides reads whole only when every
// stride's end is restored from the array.
TEST(NtfsLargeRecordTest, RecordsOfEachSizeDecodeWithEveryStrideRestored) {
  for (const std::size_t size : {1024u, 2048u, 4096u}) {
    SCOPED_TRACE(size);
    // Resident data that runs over every stride end but the last, a distinct byte at each place.
    Bytes data(size - 300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const Bytes record =
        FileRecordBytes({FileNameAttr(u"großes Ärchiv.bin", 1, 77, 555), Resident(0x80, data)}, 1, 40, size);
    ASSERT_EQ(record.size(), size);
    for (std::size_t end = 510; end < size; end += 512) EXPECT_EQ(Le16(record, end), 0x0A0B) << end;
    EXPECT_EQ(FileRecordSize(record), size);
    const auto r = DecodeFileRecord(record);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::make_tuple(r->name, r->parent, r->creationTime, r->size),
              std::make_tuple(Utf8(u8"großes Ärchiv.bin"), 77u, 555, std::uint64_t{data.size()}));
    // The bytes themselves, as the fix-up leaves them for recovery.
    Bytes fixed = record;
    EXPECT_EQ(ApplyFixup(fixed), size / 512);
    const auto content = FindAttribute(fixed, 0x80);
    ASSERT_TRUE(content);
    const ByteSpan bytes = ResidentContent(fixed, *content);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data.begin(), data.end()));
    // The record classifies as one wherever it is found.
    EXPECT_EQ(ClassifyNtfsSector(std::span(record).first(512)), NtfsSectorKind::kFileRecord);
  }
}

// A header says its record's size twice: the allocated size and the update sequence, one entry per
// 512-byte stride. Sizes the format does not use, or the two disagreeing, are no record.
TEST(NtfsLargeRecordTest, AHeaderWhoseSizeAndUpdateSequenceDisagreeIsNoRecord) {
  struct Case {
    std::uint32_t allocated;
    std::uint16_t sequenceCount;
    std::optional<std::size_t> size;
  };
  const Case cases[] = {
      {1024, 3, 1024},          {2048, 5, 2048},
      {4096, 9, 4096},          {4096, 3, std::nullopt},
      {1024, 9, std::nullopt},  {2048, 3, std::nullopt},
      {512, 2, std::nullopt},   {3072, 7, std::nullopt},
      {8192, 17, std::nullopt}, {0x10000400, 3, std::nullopt},  // 1024 in the low half only
  };
  for (const Case& c : cases) {
    Bytes record = FileRecordBytes({FileNameAttr(u"x")});
    Put(record, 28, c.allocated, 4), Put(record, 6, c.sequenceCount, 2);
    EXPECT_EQ(FileRecordSize(record), c.size) << c.allocated << "/" << c.sequenceCount;
    EXPECT_EQ(DecodeFileRecord(record).has_value(), c.size.has_value()) << c.allocated;
  }
  Bytes noSignature = FileRecordBytes({}, 1, 40, 4096);
  noSignature[0] = 'B';
  EXPECT_EQ(FileRecordSize(noSignature), std::nullopt);
}

TEST(NtfsFixupTest, ArraysOutsideTheBufferChangeNothing) {
  const std::pair<std::uint16_t, std::uint16_t> arrays[] = {{1020, 3}, {1018, 4}, {0xFFFF, 3}, {48, 0xFFFF},
                                                            {48, 0},   {48, 1},   {1024, 1}};
  for (const auto& [offset, count] : arrays) {
    Bytes record(1024);
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i % 251);
    Put(record, 4, offset, 2), Put(record, 6, count, 2);
    const Bytes before = record;
    EXPECT_EQ(ApplyFixup(record), 0u) << offset << "/" << count;
    EXPECT_EQ(record, before);
  }
  Bytes tiny(5, 0);
  EXPECT_EQ(ApplyFixup(tiny), 0u);
}

struct FlagCase {
  std::uint8_t flags;
  bool folder, deleted;
};

TEST(NtfsFileRecordTest, FlagsGiveTypeAndDeletion) {
  const FlagCase cases[] = {{3, true, false}, {2, true, true},   {1, false, false},
                            {0, false, true}, {4, false, false}, {8, false, false}};
  for (const FlagCase& c : cases) {
    const Bytes run = NonResident(0xA0, RunList({{1, 0x1234}}), 4096, u"$I30");
    const auto r = DecodeFileRecord(FileRecordBytes({FileNameAttr(u"$MFT", 1, 9, 777), run}, c.flags, 77));
    ASSERT_TRUE(r) << int{c.flags};
    EXPECT_EQ(r->isFolder, c.folder) << int{c.flags};
    EXPECT_EQ(r->deleted, c.deleted) << int{c.flags};
    EXPECT_EQ(r->selfMft, c.folder ? 77u : 1u);
    EXPECT_EQ(r->firstRun, c.folder ? 0x1234u : 0u);
    EXPECT_EQ(std::make_tuple(r->name, r->parent, r->creationTime), std::make_tuple("$MFT", 9u, 777));
  }
  Bytes big = FileRecordBytes({FileNameAttr(u"a")});
  Put(big, 28, 4096, 2);
  EXPECT_FALSE(DecodeFileRecord(big));
}

TEST(NtfsFileRecordTest, SystemFileNumbersByExactName) {
  const std::pair<std::u16string, std::uint32_t> cases[] = {
      {u"$MFT", 1},    {u"$MFTMirror", 1}, {u"$MFTMirr", 0}, {u"$mft", 0},     {u"$LogFile", 2},
      {u"$Volume", 3}, {u"$AttrDef", 4},   {u"$Bitmap", 6},  {u"$UpCase", 10}, {u"notes.txt", 0}};
  for (const auto& [name, number] : cases) {
    EXPECT_EQ(DecodeFileRecord(FileRecordBytes({FileNameAttr(name)}))->selfMft, number);
  }
}

TEST(NtfsFileRecordTest, NamespacesInTheOrderWin32ThenBothThenDosThenPosix) {
  const auto name = [](std::vector<Bytes> attributes) {
    return DecodeFileRecord(FileRecordBytes(attributes));
  };
  EXPECT_EQ(name({FileNameAttr(u"DOS~1", 2), FileNameAttr(u"both", 3)})->name, "both");
  EXPECT_EQ(name({FileNameAttr(u"DOS~1", 2), FileNameAttr(u"long", 1), FileNameAttr(u"both", 3)})->name,
            "long");
  EXPECT_EQ(name({FileNameAttr(u"posix", 0), FileNameAttr(u"DOS~1", 2, 33)})->parent, 33u);
  // What ntfs-3g writes: one name, in the POSIX namespace.
  const auto posix = name({FileNameAttr(u"posix", 0, 33, 99), Resident(0x80, Bytes(300))});
  EXPECT_EQ(std::make_tuple(posix->hasName, posix->name, posix->parent, posix->creationTime, posix->size),
            std::make_tuple(true, "posix", 33u, 99, 300u));
  const auto none = name({Resident(0x80, Bytes(300))});
  EXPECT_EQ(std::make_tuple(none->hasName, none->name, none->parent, none->creationTime),
            std::make_tuple(false, "", 0u, 0));
}

TEST(NtfsFileRecordTest, NamesAreDecodedInFullToUtf8) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Привет", Utf8(u8"Привет")},
      {u"文件夹", Utf8(u8"文件夹")},
      {u"a\U0001F600", Utf8(u8"a\U0001F600")},
      {u"caf\u00E9", Utf8(u8"café")},
      {std::u16string(u"ab\0cd", 5), "ab"},
      {u"\u007F\u0080\u07FF\u0800", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
      // A surrogate without its partner is U+FFFD.
      {std::u16string(u"a") + char16_t(0xD83D) + u"b",
       "a\xEF\xBF\xBD"
       "b"},
      {std::u16string(u"a") + char16_t(0xDE00), "a\xEF\xBF\xBD"},
      {std::u16string(u"a") + char16_t(0xD83D), "a\xEF\xBF\xBD"},
      {std::u16string(u"a\xD83D\0\xDE00", 4), "a\xEF\xBF\xBD"}};
  for (const auto& [name, utf8] : cases)
    EXPECT_EQ(DecodeFileRecord(FileRecordBytes({FileNameAttr(name)}))->name, utf8);
  EXPECT_NE(DecodeFileRecord(FileRecordBytes({FileNameAttr(u"\u0141x")}))->name,
            DecodeFileRecord(FileRecordBytes({FileNameAttr(u"\u0241x")}))->name);
}

TEST(NtfsFileRecordTest, DataSizeOfTheUnnamedStream) {
  const Bytes stream = Resident(0x80, Bytes(26), u"Zone.Identifier");
  EXPECT_EQ(FindDataSize(Fixed(FileRecordBytes({stream, Resident(0x80, Bytes(700))}))), 700u);
  EXPECT_EQ(FindDataSize(Fixed(FileRecordBytes({NonResident(0x80, RunList({{3, 9}}), 0x123456789ull)}))),
            0x123456789ull);
  EXPECT_FALSE(FindDataSize(Fixed(FileRecordBytes({stream}))));
}

TEST(NtfsFileRecordTest, FirstRunOfTheI30AllocationOnly) {
  const auto firstRun = [](Bytes attribute) { return FindFirstRun(Fixed(FileRecordBytes({attribute}, 3))); };
  EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 0x00C0FFEE}}), 8192, u"$I30")), 0x00C0FFEEu);
  EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 0xFFFFFF}}), 8192, u"$I30")),
            0xFFFFFFu);  // zero-extended
  EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 77}}), 8192, u"$I31")), 0u);
  EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 77}}), 8192, u"$I3\u0130")), 0u);  // same low bytes
  EXPECT_EQ(firstRun(NonResident(0x80, RunList({{2, 77}}), 8192, u"$I30")), 0u);
  EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 0, true}}), 8192, u"$I30")), 0u);
  EXPECT_EQ(firstRun(FileNameAttr(u"dir")), 0u);
  for (std::size_t width = 5; width <= 8; ++width) {
    EXPECT_EQ(firstRun(NonResident(0xA0, RunList({{2, 0x0102030455667788, false, width}}), 8192, u"$I30")),
              0x55667788u)
        << width;
  }
}

// Records whose attribute fields point past their end, each in a buffer of exactly its size so
// that a read past it is caught by the address sanitizer.
// The last attribute header of a cut record: each field that lies whole inside the record is
// read, and one that runs past its end reads as 0, whatever bytes lie beyond it in memory.
TEST(NtfsFileRecordTest, AHeaderCutByTheRecordsEndReadsOnlyTheFieldsInside) {
  constexpr std::size_t kAt = 56;
  struct Case {
    std::size_t left;  // bytes of the header inside the record
    std::uint64_t allocated, real, initialized;
  };
  const Case cases[] = {{8, 0, 0, 0},           {47, 0, 0, 0},          {48, 4096, 0, 0},
                        {55, 4096, 0, 0},       {56, 4096, 3000, 0},    {63, 4096, 3000, 0},
                        {64, 4096, 3000, 2000}, {200, 4096, 3000, 2000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left);
    Bytes memory(kAt + 300, 0xAB);  // what follows the record is not zero
    Put(memory, 20, kAt, 2);
    Put(memory, kAt, 0x80, 4), Put(memory, kAt + 4, 72, 4), memory[kAt + 8] = 1;
    Put(memory, kAt + 40, 4096, 8), Put(memory, kAt + 48, 3000, 8), Put(memory, kAt + 56, 2000, 8);
    AttributeWalk walk(ByteSpan(memory.data(), kAt + c.left));
    const auto a = walk.Next();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->type, 0x80u);
    EXPECT_EQ(a->length, 72u);
    EXPECT_EQ(a->nonResident, c.left > 8);
    EXPECT_EQ(std::make_tuple(a->allocatedSize, a->realSize, a->initializedSize),
              std::make_tuple(c.allocated, c.real, c.initialized));
  }
}

// The one walk a file's listing makes over a record gives what the separate look-ups give: the
// first unnamed $DATA's size and the first attribute list, and names up to a $FILE_NAME whose
// content lies past the record (the size and list after it are still found).
TEST(NtfsFileRecordTest, OneWalkGivesTheNamesSizeAndListOfTheSeparateLookUps) {
  const auto laterPiece = [] {
    Bytes data = NonResident(0x80, RunList({{4, 100}}), 9000);
    Put(data, 16, 4, 8);  // lowest VCN 4: a later piece of the stream
    return data;
  };
  const Bytes list = Resident(0x20, AttributeList({{0x30, 41}}));
  struct Case {
    const char* what;
    std::vector<Bytes> attributes;
    std::function<void(Bytes&)> damage;
    std::vector<std::string> names;
    std::optional<std::uint64_t> size;
    bool listFound;
  };
  const Case cases[] = {
      {"plain", {FileNameAttr(u"a.txt"), Resident(0x80, Bytes(40))}, {}, {"a.txt"}, 40, false},
      {"two unnamed data",
       {FileNameAttr(u"a.txt"), Resident(0x80, Bytes(40)), Resident(0x80, Bytes(99))},
       {},
       {"a.txt"},
       40,
       false},
      {"named data first",
       {FileNameAttr(u"a.txt"), Resident(0x80, Bytes(7), u"ads"), Resident(0x80, Bytes(40))},
       {},
       {"a.txt"},
       40,
       false},
      {"later piece first",
       {FileNameAttr(u"a.txt"), laterPiece(), Resident(0x80, Bytes(40))},
       {},
       {"a.txt"},
       {},
       false},
      {"DOS twin and a hard link",
       {list, list, FileNameAttr(u"LONGNA~1.TXT", 2), FileNameAttr(u"long name.txt", 1),
        FileNameAttr(u"link.txt", 0, 77)},
       {},
       {"long name.txt", "link.txt"},
       {},
       true},
      {"name content past the record",
       {list, FileNameAttr(u"lost.txt"), FileNameAttr(u"a.txt"), Resident(0x80, Bytes(40))},
       [&](Bytes& r) { Put(r, 56 + list.size() + 20, 0xF000, 2); },
       {},
       40,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes record = Fixed(FileRecordBytes(c.attributes));
    if (c.damage) c.damage(record);
    std::vector<FileName> together, apart;
    const ListedFileParts parts = ReadListedFileParts(record, together);
    AppendListedFileNames(record, apart);
    std::vector<std::string> names, apartNames;
    for (const FileName& n : together) names.push_back(n.name);
    for (const FileName& n : apart) apartNames.push_back(n.name);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(apartNames, c.names);
    EXPECT_EQ(parts.dataSize, c.size);
    EXPECT_EQ(FindDataSize(record), c.size);
    // The first list, at the first attribute's place.
    EXPECT_EQ(parts.attributeList ? parts.attributeList->offset : 0, c.listFound ? 56u : 0u);
  }
}

TEST(NtfsFileRecordTest, HostileAttributesReadInBoundsAndFallBack) {
  const Bytes name = FileNameAttr(u"kept");
  const Bytes data = Resident(0x80, Bytes(40));
  const Bytes dirRun = NonResident(0xA0, RunList({{1, 50}}), 4096, u"$I30");
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    bool nameFound;
    std::uint64_t size;
    std::uint32_t firstRun;
  };
  const std::size_t first = 56, second = 56 + name.size(), third = second + data.size();
  const auto farName = [&](Bytes& r) {
    Put(r, first + 20, 900, 2), r[first + 964] = 255, r[first + 965] = 1;
  };
  const Case cases[] = {
      {"sound", [](Bytes&) {}, true, 40, 50},
      {"first length 0", [&](Bytes& r) { Put(r, first + 4, 0, 4); }, true, 0, 0},
      {"first length -1", [&](Bytes& r) { Put(r, first + 4, 0xFFFFFFFF, 4); }, true, 0, 0},
      {"runs off the record", [&](Bytes& r) { Put(r, first + 4, 1024 - first - 6, 4); }, true, 0, 0},
      {"first offset negative", [](Bytes& r) { Put(r, 20, 0xFFF0, 2); }, false, 0, 0},
      {"first offset at the end", [](Bytes& r) { Put(r, 20, 1020, 2); }, false, 0, 0},
      {"name length past the end", farName, false, 40, 50},
      {"content offset past the end", [&](Bytes& r) { Put(r, first + 20, 0x8000, 2); }, false, 40, 50},
      {"unnamed data, wild name offset", [&](Bytes& r) { Put(r, second + 10, 0xFFFF, 2); }, true, 40, 50},
      {"data content past the end", [&](Bytes& r) { Put(r, second + 20, 1000, 2); }, true, 40, 50},
      {"run list past the end", [&](Bytes& r) { Put(r, third + 32, 0xFFFF, 2); }, true, 40, 0},
  };
  for (const Case& c : cases) {
    Bytes record = Fixed(FileRecordBytes({name, data, dirRun}, 3));
    c.damage(record);
    ASSERT_EQ(record.size(), 1024u);
    EXPECT_EQ(FindFileName(record).has_value(), c.nameFound) << c.what;
    EXPECT_EQ(FindDataSize(record).value_or(0), c.size) << c.what;
    EXPECT_EQ(FindFirstRun(record), c.firstRun) << c.what;
    const auto r = DecodeFileRecord(record);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::make_tuple(r->name, r->size, r->firstRun),
              std::make_tuple(std::string(c.nameFound ? "kept" : ""), c.size, c.firstRun))
        << c.what;
  }
}

}  // namespace
}  // namespace quarrow
