// INDX records: the size in the header, the owning folder of a record and its entries.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quarrow
