// Run lists in clusters and sectors, record numbers over the $MFT's extents, attribute lists and
// the unnamed $DATA attribute.

#include <gtest/gtest.h>

#include "ntfs/data_runs.h"
#include "ntfs/mft_record.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>> Flat(const std::vector<ClusterRun>& runs) {
  std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>> out;
  for (const ClusterRun& r : runs) out.emplace_back(r.lcn, r.clusterCount, r.sparse);
  return out;
}

TEST(NtfsRunListTest, DecodesClustersAndStopsAtWhatCannotBeARun) {
  Bytes unterminated = RunList({{4, 100}, {2, 7}});
  unterminated.pop_back();
  const struct {
    const char* what;
    Bytes list;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>> runs;
  } cases[] = {
      {"one run", RunList({{4, 100}}), {{100, 4, false}}},
      {"negative offset", RunList({{4, 100}, {2, -30}}), {{100, 4, false}, {70, 2, false}}},
      {"sparse in between",
       RunList({{4, 100}, {8, 0, true}, {2, 10}}),
       {{100, 4, false}, {0, 8, true}, {110, 2, false}}},
      {"eight-byte offset", RunList({{1, 0x0102030405060708}}), {{0x0102030405060708, 1, false}}},
      {"three-byte negative",
       RunList({{1, 0x10000}, {1, -0x8000, false, 3}}),
       {{0x10000, 1, false}, {0x8000, 1, false}}},
      {"lies about its length", {0x11, 4, 100, 0x44, 1, 2}, {{100, 4, false}}},
      {"no terminator", unterminated, {{100, 4, false}, {107, 2, false}}},
      {"before cluster 0", RunList({{4, 10}, {1, -20}, {1, 40}}), {{10, 4, false}}},
      {"no length bytes", {0x10, 5, 0x11, 1, 1, 0}, {}},
      {"length 0", {0x11, 0, 5, 0}, {}},
      {"field of nine bytes", {0x91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Flat(DecodeRunList(c.list)), c.runs) << c.what;
}

TEST(NtfsRunListTest, SectorsOfTheVolume) {
  const auto extents = DecodeRunListSectors(RunList({{4, 100}, {8, 0, true}, {2, -30}}), 2048, 8);
  ASSERT_EQ(extents.size(), 3u);
  EXPECT_EQ(std::make_tuple(extents[0].startSector, extents[0].sectorCount), std::make_tuple(2848u, 32u));
  EXPECT_EQ(std::make_tuple(extents[1].startSector, extents[1].sectorCount, extents[1].sparse),
            std::make_tuple(0u, 64u, true));
  EXPECT_EQ(std::make_tuple(extents[2].startSector, extents[2].sectorCount), std::make_tuple(2608u, 16u));
  EXPECT_EQ(DecodeRunListSectors(RunList({{1, 2}, {1, 0x7FFFFFFFFFFFFFF0}}), 2048, 128).size(), 1u);
  // Found by fuzzing: a run whose first sector fits 64 bits and whose last does not.
  EXPECT_TRUE(DecodeRunListSectors(RunList({{0x2ED, 0x3FFFFFFFFFFFFDFF}}), 2048, 4).empty());
  EXPECT_TRUE(DecodeRunListSectors(RunList({{1, 2}}), 2048, 0).empty());
}

TEST(NtfsRunListTest, RecordsOfAFragmentedMft) {
  const Bytes record0 =
      FileRecordBytes({NonResident(0x80, RunList({{4, 16}, {2, 100}, {3, -50}}), 9 * 1024)});
  const auto data = FindUnnamedData(Fixed(record0));
  ASSERT_TRUE(data && data->nonResident);
  EXPECT_EQ(data->realSize, 9u * 1024);
  const auto extents = RunsToSectorExtents(data->runs, 100, 2);
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {{0, 132}, {3, 138}, {4, 332}, {5, 334},
                                                           {6, 232}, {8, 236}, {9, 0},   {~0ull, 0}};
  for (const auto& [record, sector] : cases) EXPECT_EQ(RecordToSector(extents, record), sector) << record;
  const SectorExtent withHole[] = {{10, 4, false}, {0, 4, true}, {50, 4, false}};
  EXPECT_EQ(RecordToSector(withHole, 3), 0u);
  EXPECT_EQ(RecordToSector(withHole, 4), 50u);
}

TEST(NtfsAttributeListTest, RecordsNamedByTheListEachOnceAndBounded) {
  const Bytes list = AttributeList({{0x10, 40}, {0x30, 40}, {0x80, 41}, {0x80, 42}, {0x30, 43}, {0x80, 41}});
  Bytes record = Fixed(FileRecordBytes({Resident(0x20, list)}));
  EXPECT_EQ(AttributeListRecords(40, ResidentAttributeList(record)),
            (std::vector<std::uint32_t>{40, 41, 42, 43}));
  EXPECT_EQ(DataAttributeRecords(ResidentAttributeList(record)), (std::vector<std::uint32_t>{41, 42}));

  Put(record, 56 + 16, 0xFFFFFFFF, 4);  // a value length past the record: cut at its end
  EXPECT_EQ(ResidentAttributeList(record).size(), 1024u - 56 - 24);
  EXPECT_EQ(DecodeAttributeList(ResidentAttributeList(record)).size(),
            6u);  // the end marker after it ends it
  Bytes lying = list;
  Put(lying, 32 + 4, 0xFFFF, 2);
  EXPECT_EQ(DecodeAttributeList(lying).size(), 2u);
  Put(lying, 32 + 4, 25, 2);
  EXPECT_EQ(DecodeAttributeList(lying).size(), 1u);

  std::vector<std::pair<std::uint32_t, std::uint32_t>> many;
  for (std::uint32_t i = 0; i < 60; ++i) many.emplace_back(0x80, 100 + i);
  const auto records = AttributeListRecords(7, AttributeList(many));
  ASSERT_EQ(records.size(), kMaxAttributeListRecords);
  EXPECT_EQ(records.back(), 151u);
  EXPECT_EQ(DataAttributeRecords(AttributeList(many)).size(), 60u);
}

TEST(NtfsUnnamedDataTest, ResidentBytesOrRunsWithSizes) {
  Bytes content(300);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes stream = Resident(0x80, Bytes(20, 1), u"Zone.Identifier");
  const auto resident = FindUnnamedData(Fixed(FileRecordBytes({stream, Resident(0x80, content)})));
  ASSERT_TRUE(resident && !resident->nonResident);
  EXPECT_EQ(resident->residentBytes, content);
  EXPECT_EQ(resident->realSize, 300u);
  Bytes cut = Fixed(FileRecordBytes({Resident(0x80, content)}));
  Put(cut, 56 + 16, 5000, 4);
  EXPECT_EQ(FindUnnamedData(cut)->residentBytes.size(), 1024u - 56 - 24);
  EXPECT_EQ(FindUnnamedData(cut)->realSize, 5000u);
  const auto runs =
      FindUnnamedData(Fixed(FileRecordBytes({NonResident(0x80, RunList({{3, 9}, {1, 5}}), 10000)})));
  ASSERT_TRUE(runs && runs->nonResident);
  EXPECT_EQ(Flat(runs->runs),
            (std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>>{{9, 3, false}, {14, 1, false}}));
  EXPECT_EQ(std::make_tuple(runs->realSize, runs->initializedSize, runs->allocatedSize),
            std::make_tuple(10000u, 10000u, 12288u));
  EXPECT_FALSE(FindUnnamedData(Fixed(FileRecordBytes({stream}))));
}

}  // namespace
}  // namespace quarrow
