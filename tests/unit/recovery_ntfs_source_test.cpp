// Where NtfsDataSource reads a file's bytes from, and its estimate of a deleted file, for records
// that the test images do not hold: an initialised size short of the real size, runs past the
// volume, lying sizes, compression units of each kind, a file listed from its extension record, and
// $Bitmap bits.
#include <gtest/gtest.h>

#include "recovery/ntfs_data_source.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using namespace ntfs_test;

// A volume at sector 64 with 1 KiB clusters, its MFT of 64 records at cluster 8, 2000 clusters.
struct Volume {
  static constexpr std::uint64_t kStart = 64, kSectors = 4000;
  static constexpr std::uint32_t kSpc = 2, kMftCluster = 8;
  NtfsDisk d{kStart + kSectors + 64};
  Bytes bitmap = Bytes(250);

  static std::uint64_t Cluster(std::uint64_t c) { return kStart + c * kSpc; }
  static std::uint64_t RecordSector(std::uint32_t n) { return Cluster(kMftCluster + n); }
  void Record(std::uint32_t n, const Bytes& bytes) { d.Put(RecordSector(n), bytes); }
  static Bytes Data(std::uint32_t n, Bytes data, std::uint8_t flags = 1) {
    return FileRecordBytes({FileNameAttr(u"f" + std::u16string(1, char16_t('0' + n % 10))), std::move(data)},
                           flags, n);
  }
  void Allocate(std::uint64_t cluster) { bitmap[cluster / 8] |= std::uint8_t(1u << (cluster % 8)); }

  Volume() {
    Record(0,
           FileRecordBytes(
               {FileNameAttr(u"$MFT", 3), NonResident(0x80, RunList({{64, kMftCluster}}), 64 * 1024)}, 1, 0));
    d.ctx.searchStart = kStart;
    d.ctx.searchEnd = kStart + kSectors;
    d.ctx.activeGeometry.type = FsType::kNtfs;
    d.ctx.activeGeometry.Cluster0Sector = kStart;
    d.ctx.activeGeometry.SectorsPerCluster = kSpc;
    d.ctx.activeGeometry.MftSector = static_cast<std::uint32_t>(Cluster(kMftCluster));
  }
  void WriteBitmap() {
    Record(6, FileRecordBytes({FileNameAttr(u"$Bitmap", 3), Resident(0x80, bitmap)}, 1, 6));
  }
};

DetailsRow RowAt(std::uint64_t sector, bool deleted = false) {
  DetailsRow row;
  row.debug1 = std::to_string(sector);
  row.deleted = deleted;
  return row;
}

using Kind = DataPiece::Kind;
struct Piece {
  Kind kind;
  std::uint64_t firstSector, length;
  bool operator==(const Piece&) const = default;
};
std::vector<Piece> Pieces(const FileData& data) {
  std::vector<Piece> pieces;
  for (const DataPiece& p : data.pieces)
    pieces.push_back({p.kind, p.kind == Kind::kSectors ? p.firstSector : 0, p.length});
  return pieces;
}

TEST(NtfsSourceTest, PiecesFollowTheRunsAndTheSizesTheRecordsGive) {
  Volume v;
  Bytes partly = NonResident(0x80, RunList({{3, 300}}), 3000);
  Put(partly, 56, 1500, 8);  // initialised to half way
  v.Record(20, Volume::Data(20, partly));
  v.Record(21, Volume::Data(21, NonResident(0x80, RunList({{2, 1998}, {1, 5, true}, {3, -1990}}), 6144)));
  Bytes lying = NonResident(0x80, RunList({{2, 400}}), 2048);
  Put(lying, 48, std::uint64_t{1} << 60, 8);  // a real size far past the allocated one
  v.Record(22, Volume::Data(22, lying));
  Bytes noUnit = NonResident(0x80, RunList({{4, 300}}), 4096);
  Put(noUnit, 12, 0x0001, 2);  // compressed, but with a compression unit of 0
  v.Record(23, Volume::Data(23, noUnit));
  // Units of 16 clusters: stored as they are, in 3 clusters and 13 sparse ones, all sparse, and
  // one whose runs end inside it.
  Bytes compressed = NonResident(0x80, RunList({{16, 100}, {3, 100}, {13, 0, true}, {16, 0, true}, {2, 100}}),
                                 3 * 16384 + 1000);
  Put(compressed, 12, 0x0001, 2), Put(compressed, 34, 4, 1);
  v.Record(34, Volume::Data(34, compressed));
  // Sizes of a petabyte over one run of 2^40 clusters, on a volume of 2000.
  v.Record(35, Volume::Data(
                   35, NonResident(0x80, RunList({{std::uint64_t{1} << 40, 5}}), std::uint64_t{1} << 50)));
  // 24 keeps its data; 25, its extension record, its name: a record scan may list 25.
  v.Record(24, FileRecordBytes({Resident(0x20, AttributeList({{0x30, 25}, {0x80, 24}})),
                                Resident(0x80, Bytes{'h', 'e', 'l', 'l', 'o'})},
                               1, 24));
  Bytes extension = FileRecordBytes({FileNameAttr(u"split.txt")}, 1, 25);
  Put(extension, 32, 24, 8);
  v.Record(25, extension);
  // 26's data is in 27 (VCN 0, two clusters) and in 28, which is not on the disk.
  v.Record(26,
           FileRecordBytes(
               {FileNameAttr(u"long.bin"), Resident(0x20, AttributeList({{0x80, 27}, {0x80, 28}}))}, 1, 26));
  Bytes piece = FileRecordBytes({NonResident(0x80, RunList({{2, 700}}), 4096)}, 1, 27);
  Put(piece, 32, 26, 8);
  v.Record(27, piece);

  const struct {
    const char* what;
    std::uint32_t record;
    std::uint64_t size;
    std::vector<Piece> pieces;
    std::uint64_t beyond = 0;  // what the sizes claim past what the runs map
  } cases[] = {
      {"past the initialised size: zeros",
       20,
       3000,
       {{Kind::kSectors, Volume::Cluster(300), 1500}, {Kind::kZeros, 0, 1500}}},
      {"runs in order, a sparse run as zeros",
       21,
       6144,
       {{Kind::kSectors, Volume::Cluster(1998), 2048},
        {Kind::kZeros, 0, 1024},
        {Kind::kSectors, Volume::Cluster(8), 3072}}},
      {"a real size past the allocated size is cut to it, and that to what the runs map",
       22,
       2048,
       {{Kind::kSectors, Volume::Cluster(400), 2048}},
       2048},
      {"listed from an extension record: the base record's data", 25, 5, {{Kind::kBytes, 0, 5}}},
      {"a piece of the list not found leaves the rest unread",
       26,
       2048,
       {{Kind::kSectors, Volume::Cluster(700), 2048}},
       2048},
      {"a run that claims more clusters than the volume holds maps only the volume's",
       35,
       2000 * 1024,
       {{Kind::kSectors, Volume::Cluster(5), 1995 * 1024}, {Kind::kMissing, 0, 5 * 1024}},
       (std::uint64_t{1} << 50) - 2000 * 1024},
      {"compression units: as stored, LZNT1, zeros, unknown",
       34,
       3 * 16384 + 1000,
       {{Kind::kSectors, Volume::Cluster(100), 16384},
        {Kind::kLznt1, 0, 16384},
        {Kind::kZeros, 0, 16384},
        {Kind::kMissing, 0, 1000}}},
  };
  NtfsDataSource source(v.d.ctx);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const FileData data = source.Locate(RowAt(Volume::RecordSector(c.record)));
    EXPECT_FALSE(data.failure.has_value()) << *data.failure;
    EXPECT_EQ(data.method, ReadMethod::kRecord);
    EXPECT_EQ(data.size, c.size);
    EXPECT_EQ(Pieces(data), c.pieces);
    EXPECT_EQ(data.beyondVolume, c.beyond);
  }
  const FileData units = source.Locate(RowAt(Volume::RecordSector(34)));
  ASSERT_EQ(units.pieces.size(), 4u);
  EXPECT_EQ(units.pieces[1].unitBytes, 16384u);
  ASSERT_EQ(units.pieces[1].compressed.size(), 1u);
  EXPECT_EQ(units.pieces[1].compressed[0].firstSector, Volume::Cluster(200));
  EXPECT_EQ(units.pieces[1].compressed[0].sectorCount, 3 * Volume::kSpc);
  // A run that reaches past the volume's last cluster: its bytes beyond it are missing.
  v.Record(29, Volume::Data(29, NonResident(0x80, RunList({{3, 1998}}), 3072)));
  EXPECT_EQ(Pieces(NtfsDataSource(v.d.ctx).Locate(RowAt(Volume::RecordSector(29)))),
            (std::vector<Piece>{{Kind::kSectors, Volume::Cluster(1998), 2048}, {Kind::kMissing, 0, 1024}}));

  const FileData refused = source.Locate(RowAt(Volume::RecordSector(23)));
  ASSERT_TRUE(refused.failure.has_value());
  EXPECT_NE(refused.failure->find("compression unit of 0"), std::string::npos);
  EXPECT_TRUE(source.Locate(RowAt(Volume::RecordSector(40))).failure.has_value());  // no record there
}

TEST(NtfsSourceTest, EstimatesReadTheBitmapBitsOfTheClustersTheRunsName) {
  Volume v;
  v.Record(30, Volume::Data(30, NonResident(0x80, RunList({{3, 300}}), 3072), 0));
  v.Record(31, Volume::Data(31, NonResident(0x80, RunList({{3, 400}}), 3072), 0));
  v.Record(32, Volume::Data(32, NonResident(0x80, RunList({{1, 500}, {4, 0, true}, {1, 10}}), 6144), 0));
  v.Record(33, Volume::Data(33, Resident(0x80, Bytes(10)), 0));
  const auto estimate = [&](std::uint32_t record) {
    return NtfsDataSource(v.d.ctx).Estimate(RowAt(Volume::RecordSector(record), true));
  };
  EXPECT_EQ(estimate(30), Recoverability::kUnknown);  // no $Bitmap yet
  EXPECT_EQ(estimate(33), Recoverability::kIntact);   // resident: in the record itself
  v.Allocate(302);
  v.Allocate(400);
  v.Allocate(503);  // inside 32's sparse run: not its cluster
  v.WriteBitmap();
  EXPECT_EQ(estimate(30), Recoverability::kPartlyOverwritten);
  EXPECT_EQ(estimate(31), Recoverability::kOverwritten);
  EXPECT_EQ(estimate(32), Recoverability::kIntact);
  EXPECT_EQ(NtfsDataSource(v.d.ctx).Estimate(RowAt(Volume::RecordSector(30))), Recoverability::kNotDeleted);
  v.Allocate(510);
  v.WriteBitmap();
  EXPECT_EQ(estimate(32), Recoverability::kPartlyOverwritten);
}

}  // namespace
}  // namespace quarrow
