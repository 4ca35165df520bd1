// Random and mutated records through every NTFS decoder: each must end, stay inside its buffer
// (the sanitizer build checks every read) and keep the promises of its header.

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "core/unicode.h"
#include "ntfs/boot_sector.h"
#include "ntfs/data_runs.h"
#include "ntfs/index_record.h"
#include "ntfs/mft_record.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

void Exercise(const Bytes& bytes, std::mt19937& rng) {
  MakeNtfsFileSystemRow(DecodeNtfsBootSector(bytes), 1);
  ClassifyNtfsSector(bytes);
  Bytes fixed = bytes;
  EXPECT_LE(ApplyFixup(fixed), fixed.size() / 512);
  std::size_t attributes = 0;
  AttributeWalk walk(fixed);
  while (auto a = walk.Next()) {
    ASSERT_LE(++attributes, fixed.size());
    const ByteSpan runList = RunListBytes(fixed, *a);
    const auto runs = DecodeRunList(runList);
    EXPECT_LE(runs.size(), runList.size() / 2);
    const auto extents = RunsToSectorExtents(runs, 2048, 8);
    EXPECT_LE(extents.size(), runs.size());
    RecordToSector(extents, rng() % 64);
    EXPECT_LE(ResidentContent(fixed, *a).size(), a->contentLength);
  }
  // The one walk a file's listing makes gives what the three separate look-ups give.
  {
    std::vector<FileName> together, apart;
    const ListedFileParts parts = ReadListedFileParts(fixed, together);
    AppendListedFileNames(fixed, apart);
    ASSERT_EQ(together.size(), apart.size());
    for (std::size_t i = 0; i < apart.size(); ++i)
      EXPECT_EQ(std::tie(together[i].name, together[i].parent, together[i].nameSpace),
                std::tie(apart[i].name, apart[i].parent, apart[i].nameSpace));
    EXPECT_EQ(parts.dataSize, FindDataSize(fixed));
    const auto list = FindAttribute(fixed, attr_type::kAttributeList);
    EXPECT_EQ(parts.attributeList ? parts.attributeList->offset : 0, list ? list->offset : 0);
  }
  EXPECT_TRUE(IsValidUtf8(FindFileName(fixed).value_or(FileName{}).name));
  FindDataSize(fixed), FindFirstRun(fixed);
  const auto data = FindUnnamedData(fixed);
  EXPECT_LE(data ? data->residentBytes.size() : 0, fixed.size());
  const auto records = AttributeListRecords(3, ResidentAttributeList(fixed));
  EXPECT_TRUE(records.size() <= kMaxAttributeListRecords && records.front() == 3);
  DataAttributeRecords(ResidentAttributeList(fixed));
  if (const auto r = DecodeFileRecord(bytes)) {
    EXPECT_TRUE(IsValidUtf8(r->name));
    EXPECT_TRUE(r->hasName || (r->name.empty() && r->parent == 0 && r->creationTime == 0));
    EXPECT_TRUE(r->isFolder || r->firstRun == 0);
  }
  const auto header = DecodeIndexRecordHeader(bytes);
  EXPECT_LE(header ? header->size : 0, kMaxIndexRecordSize);
  const auto owner = DecodeIndexRecord(bytes);
  EXPECT_TRUE(!owner || (owner->owner >= 5 && owner->owner != 0xFFFFFFFF));
  for (const IndexEntry& e : DecodeIndexEntries(bytes)) EXPECT_TRUE(IsValidUtf8(e.name));
}

TEST(NtfsRandomRecordsTest, EveryDecoderSurvivesDamagedBytes) {
  std::mt19937 rng(20240611);
  const std::vector<Bytes> seeds = {
      FileRecordBytes({Resident(0x20, AttributeList({{0x30, 40}, {0x80, 41}})), FileNameAttr(u"Привет.txt"),
                       FileNameAttr(u"PRIVET~1.TXT", 2),
                       NonResident(0x80, RunList({{4, 100}, {8, 0, true}}), 50000)}),
      FileRecordBytes({FileNameAttr(u"dir", 3), NonResident(0xA0, RunList({{1, 0x123456}}), 4096, u"$I30")},
                      3),
      IndexRecordBytes({IndexEntryBytes(64, u"a", 5, true), IndexEntryBytes(65, u"文件", 64, false)}),
      NtfsBoot(8, 1000000, 4, 8),
  };
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 4000; ++i) {
    Bytes b = seeds[static_cast<std::size_t>(i) % seeds.size()];
    const int mode = byte(rng) % 4;
    if (mode == 1) {  // noise behind a signature a scan would accept
      for (std::size_t k = 4; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(byte(rng));
      if (b[0] == 'F') Put(b, 20, 56 + byte(rng) % 64, 2), Put(b, 28, 1024, 2);
    }
    const std::size_t span = mode == 3 ? 96 : b.size();  // mode 3 aims at headers and offsets
    for (int flips = 1 + byte(rng) % 32; flips > 0; --flips) {
      b[static_cast<std::size_t>(rng()) % span] = static_cast<std::uint8_t>(byte(rng));
    }
    if (mode == 2) b.resize(static_cast<std::size_t>(rng()) % (b.size() + 1));
    Exercise(b, rng);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace quarrow
