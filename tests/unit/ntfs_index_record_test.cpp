// INDX records: the size in the header, the owning folder of a record and its entries.

#include <gtest/gtest.h>

#include <functional>

#include "ntfs/index_record.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

TEST(NtfsIndexRecordTest, HeaderSizeIsTheAllocatedSizePlus24UpTo65536) {
  const std::pair<std::uint32_t, std::optional<std::uint64_t>> cases[] = {
      {4072, 4096}, {65512, 65536}, {65513, std::nullopt}, {0xFFFFFFF0, std::nullopt}, {0, 24}};
  for (const auto& [allocated, size] : cases) {
    Bytes first = IndexRecordBytes({}, 0, 512);
    Put(first, 32, allocated, 4);
    const auto header = DecodeIndexRecordHeader(first);
    EXPECT_EQ(header ? std::optional(header->size) : std::nullopt, size) << allocated;
  }
  EXPECT_EQ(DecodeIndexRecordHeader(IndexRecordBytes({}, 0, 1536))->SectorCount(), 3u);
  Bytes notIndex = IndexRecordBytes({});
  notIndex[0] = 'X';
  EXPECT_FALSE(DecodeIndexRecordHeader(notIndex));
}

TEST(NtfsIndexRecordTest, OwnerFromTheFirstEntryFiveAndAboveOnly) {
  const std::pair<std::uint32_t, bool> cases[] = {
      {5, true}, {6, true}, {3, false}, {4, false}, {0, false}, {0xFFFFFFFF, false}, {0xFFFFFFFE, true}};
  for (const auto& [owner, kept] : cases) {
    const auto decoded = DecodeIndexRecord(IndexRecordBytes({IndexEntryBytes(70, u"a", owner, false)}, 9));
    EXPECT_EQ(decoded.has_value(), kept) << owner;
    if (decoded) {
      EXPECT_EQ(std::make_pair(decoded->owner, decoded->vcn), std::make_pair(owner, std::uint64_t{9}));
    }
  }
}

TEST(NtfsIndexRecordTest, FirstEntryMustLieInsideTheRecord) {
  Bytes record = IndexRecordBytes({IndexEntryBytes(70, u"a", 5, false)}, 0, 1024);
  // The first entry's parent field as the last four bytes of the record: the fix-up gives its
  // true end bytes back.
  Put(record, 24, 1024 - 20 - 24, 4);
  record[1020] = 6, record[1021] = 0, record[44] = 0x01, record[45] = 0x00;  // array slot of 1022-1023
  EXPECT_EQ(DecodeIndexRecord(record)->owner, 0x10006u);
  Put(record, 24, 1024 - 19 - 24, 4);
  EXPECT_FALSE(DecodeIndexRecord(record));
  Put(record, 24, 0xFFFFFFFF, 4);
  EXPECT_FALSE(DecodeIndexRecord(record));
}

TEST(NtfsIndexRecordTest, EntriesInOrderUntilTheLastOrABrokenOne) {
  const Bytes folder = IndexEntryBytes(64, u"Фото", 5, true, 42);
  const Bytes file = IndexEntryBytes(65, u"a.txt", 64, false);
  const auto entries = DecodeIndexEntries(IndexRecordBytes({folder, file}));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(std::make_tuple(entries[0].recordNumber, entries[0].parent, entries[0].isFolder,
                            entries[0].creationTime),
            std::make_tuple(64u, 5u, true, 42));
  EXPECT_EQ(entries[0].name, reinterpret_cast<const char*>(u8"Фото"));
  EXPECT_EQ(std::make_tuple(entries[1].name, entries[1].isFolder), std::make_tuple("a.txt", false));

  Bytes lying = IndexRecordBytes({folder, file});
  Put(lying, 0x58 + 8, 0xFFFF, 2);  // the first entry's length runs past the record
  EXPECT_EQ(DecodeIndexEntries(lying).size(), 1u);
  Put(lying, 0x58 + 8, 4, 2);  // shorter than an entry header
  EXPECT_EQ(DecodeIndexEntries(lying).size(), 1u);
  Bytes longName = IndexRecordBytes({folder}, 0, 512);
  longName[0x58 + 80] = 255;
  EXPECT_TRUE(DecodeIndexEntries(longName).empty());
}

// A record of folder 64 with one live entry and, in its unused tail at 0x600, a key whose entry
// header the end marker overwrote; change edits the key first.
Bytes RecordWithTailKey(const std::function<void(Bytes&)>& change, const std::u16string& name = u"gone.txt",
                        std::uint8_t nameSpace = 0) {
  Bytes record = IndexRecordBytes({KeyEntryBytes(70, u"live.txt", 64)});
  Bytes key = KeyBytes(name, nameSpace, 64);
  change(key);
  std::copy(key.begin(), key.end(), record.begin() + 0x600);
  Put(record, 0x600 - 16, 0, 8), Put(record, 0x600 - 8, 16, 2), Put(record, 0x600 - 4, 2, 2);
  return record;
}

TEST(NtfsIndexRecordTest, CarvesTheKeysOfTheOwnerFromTheEntriesAndTheUnusedTail) {
  const auto keys = CarveIndexKeys(RecordWithTailKey([](Bytes&) {}), 64);
  ASSERT_EQ(keys.size(), 2u);
  // The live entry keeps its header, and so its record number.
  EXPECT_EQ(std::make_tuple(keys[0].name, keys[0].recordNumber), std::make_tuple("live.txt", 70u));
  EXPECT_EQ(std::make_tuple(keys[1].name, keys[1].recordNumber, keys[1].parent, keys[1].size,
                            keys[1].creationTime, keys[1].modificationTime, keys[1].isFolder),
            std::make_tuple("gone.txt", 0u, 64u, 1234u, 133000000000000000, 133000000000000001, false));
  // Keys of another folder are not this one's.
  EXPECT_TRUE(CarveIndexKeys(RecordWithTailKey([](Bytes&) {}), 65).empty());
}

TEST(NtfsIndexRecordTest, CarvedKeysMustBeBelievableThroughout) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    std::u16string name = u"gone.txt";
    std::uint8_t nameSpace = 0;
    bool kept = false;
  };
  const Case cases[] = {
      {"as written", [](Bytes&) {}, u"gone.txt", 0, true},
      {"a Win32 name", [](Bytes&) {}, u"gone.txt", 1, true},
      {"a Win32 and DOS name", [](Bytes&) {}, u"GONE.TXT", 3, true},
      {"'?' in a POSIX name", [](Bytes&) {}, u"why?.txt", 0, true},
      {"a DOS twin", [](Bytes&) {}, u"GONE.TXT", 2},
      {"namespace 4", [](Bytes&) {}, u"gone.txt", 4},
      {"'?' in a Win32 name", [](Bytes&) {}, u"why?.txt", 1},
      {"'|' and '\\' in a POSIX name", [](Bytes&) {}, u"a|b\\c.txt", 0, true},
      {"'|' in a Win32 name", [](Bytes&) {}, u"a|b.txt", 1},
      {"'\\' in a Win32 and DOS name", [](Bytes&) {}, u"A\\B.TXT", 3},
      {"'/' in a name", [](Bytes&) {}, u"a/b.txt"},
      {"DEL in a name", [](Bytes&) {}, u"a\x7F.txt", 0},
      {"a non-character", [](Bytes&) {}, std::u16string(u"ab") + char16_t(0xFFFF), 0},
      {"a control character", [](Bytes&) {},
       u"a\x01"
       u"b.txt"},
      {"an unpaired surrogate", [](Bytes&) {}, std::u16string(u"ab") + char16_t(0xD800) + u"c"},
      {"a lone low surrogate", [](Bytes&) {}, std::u16string(u"ab") + char16_t(0xDC00)},
      {"a parent sequence of 0", [](Bytes& k) { Put(k, 6, 0, 2); }},
      {"a parent number past 32 bits", [](Bytes& k) { Put(k, 4, 1, 2); }},
      {"a creation time of 0", [](Bytes& k) { Put(k, 8, 0, 8); }},
      {"an access time in 2200", [](Bytes& k) { Put(k, 32, 195000000000000000, 8); }},
      {"a time before 1980", [](Bytes& k) { Put(k, 24, 100000000000000000, 8); }},
      {"a real size past the allocated one", [](Bytes& k) { Put(k, 48, 4097, 8); }},
      {"an allocated size of 2^44",
       [](Bytes& k) { Put(k, 40, std::uint64_t{1} << 44, 8), Put(k, 48, 0, 8); }},
      {"an attribute bit NTFS does not define", [](Bytes& k) { Put(k, 56, 0x00800020, 4); }},
  };
  for (const Case& c : cases) {
    const auto keys = CarveIndexKeys(RecordWithTailKey(c.change, c.name, c.nameSpace), 64);
    EXPECT_EQ(keys.size(), c.kept ? 2u : 1u) << c.what;
  }
  // A name that would run past the record is no key.
  Bytes record = RecordWithTailKey([](Bytes&) {});
  record.resize(0x600 + 70);
  Put(record, 32, record.size() - 24, 4);
  EXPECT_EQ(CarveIndexKeys(record, 64).size(), 1u);
}

}  // namespace
}  // namespace quarrow
