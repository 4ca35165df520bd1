// exFAT from the boot region to the recovered bytes, over volumes built in memory: which boot
// sectors are taken (and which backup), entry sets with their names, times and checksums, the
// Standard search's tree with deleted files and folders, and where a file's bytes are read from.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "exfat/advance_scan.h"
#include "exfat/boot_sector.h"
#include "exfat/directory_walk.h"
#include "exfat/entry_set.h"
#include "partition/partition_table.h"
#include "partition/validate_partition.h"
#include "recovery/exfat_data_source.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "session/standard_search.h"
#include "unit/exfat_test_volume.h"

namespace quarrow {
namespace {

using exfat_test::Bytes;
using exfat_test::EntrySetBytes;
using exfat_test::SetSpec;
using exfat_test::Volume;

ByteSpan BootOf(const Volume& v, std::size_t at = 0) {
  return ByteSpan(v.image.data() + at * 512, 512);
}

TEST(ExfatBootSectorTest, TellsAnExfatBootSectorAndItsPlausibleFigures) {
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
    bool exfat, plausible;
  };
  const Case cases[] = {
      {"as formatted", 0, 0xEB, true, true},
      {"a name that is not exFAT's", 3, 'N', false, false},
      {"a figure where FAT keeps its BPB", 13, 8, false, false},
      {"no boot signature", 511, 0, false, false},
      {"a sector shift over 4 KiB", 108, 13, true, false},
      {"a cluster over 32 MiB", 109, 17, true, false},
      {"three FATs", 110, 3, true, false},
      {"the heap inside the FAT", 88, 40, true, false},
      {"a root cluster past the heap", 97, 0x10, true, false},
      {"more clusters than the volume holds", 93, 0x10, true, false},
  };
  for (const Case& c : cases) {
    Volume v;
    v.image[c.offset] = c.value;
    const ExfatBootSector boot = DecodeExfatBootSector(BootOf(v));
    EXPECT_EQ(boot.IsExfatBootSector(), c.exfat) << c.what;
    EXPECT_EQ(boot.Plausible(), c.plausible) << c.what;
  }
  const ExfatBootSector boot = DecodeExfatBootSector(BootOf(Volume()));
  const std::optional<ExfatLayout> layout = LayoutFromBootSector(boot, 1000);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->fatSector, 1000u + Volume::kFatOffset);
  EXPECT_EQ(layout->heapSector, 1000u + Volume::kHeapOffset);
  EXPECT_EQ(layout->sectorsPerCluster, Volume::kSpc);
  EXPECT_EQ(layout->ClusterSector(5), 1000u + Volume::kHeapOffset + 3 * Volume::kSpc);
}

TEST(ExfatBootSectorTest, TheChecksumLeavesOutTheFlagsAndTheUseAndCoversElevenSectors) {
  Volume v;
  const ByteSpan region(v.image.data(), 12 * 512);
  EXPECT_TRUE(BootRegionChecksumHolds(region, 512));
  // Flags and percent in use change while mounted; the checksum does not.
  v.image[106] ^= 0x02;
  v.image[112] = 50;
  EXPECT_TRUE(BootRegionChecksumHolds(region, 512));
  v.image[5 * 512 + 7] ^= 1;  // an extended boot sector
  EXPECT_FALSE(BootRegionChecksumHolds(region, 512));
  v.image[5 * 512 + 7] ^= 1;
  v.image[11 * 512 + 300] ^= 1;  // the checksum sector itself
  EXPECT_FALSE(BootRegionChecksumHolds(region, 512));
  EXPECT_FALSE(BootRegionChecksumHolds(ByteSpan(v.image.data(), 11 * 512), 512));
}

TEST(ExfatBootRegionTest, TheBackupStandsInForADamagedMainRegion) {
  struct Case {
    const char* what;
    bool wipeMain, damageMainSum, damageBackupSum, wipeBackup;
    bool found, backup, sumHolds;
  };
  const Case cases[] = {
      {"both sound", false, false, false, false, true, false, true},
      {"main boot sector wiped", true, false, false, false, true, true, true},
      {"main checksum broken", false, true, false, false, true, true, true},
      {"both checksums broken", false, true, true, false, true, false, false},
      {"main wiped, backup checksum broken", true, false, true, false, true, true, false},
      {"both gone", true, false, false, true, false, false, false},
  };
  for (const Case& c : cases) {
    Volume v(100);
    if (c.wipeMain) std::fill_n(v.image.begin(), 512, 0);
    if (c.damageMainSum) v.image[3 * 512] ^= 1;
    if (c.damageBackupSum) v.image[15 * 512] ^= 1;
    if (c.wipeBackup) std::fill_n(v.image.begin() + 12 * 512, 512, 0);
    fat_test::TestDisk d(100 + Volume::kVolumeSectors + 16);
    v.WriteTo(d);
    const auto region = ReadExfatBootRegion(d.ctx, 100);
    ASSERT_EQ(region.has_value(), c.found) << c.what;
    if (!region) continue;
    EXPECT_EQ(region->backup, c.backup) << c.what;
    EXPECT_EQ(region->checksumHolds, c.sumHolds) << c.what;
    // Validation reads the volume by whichever region was taken.
    d.ctx.partitionType = FsType::kExfat;
    d.ctx.searchStart = 100;
    d.ctx.searchEnd = 100 + Volume::kVolumeSectors;
    EXPECT_EQ(ValidatePartition(d.ctx), 1) << c.what;
    EXPECT_EQ(d.ctx.geometry.RootDirStart, Volume::kRoot) << c.what;
    EXPECT_EQ(d.ctx.geometry.FirstFatSector, 100u + Volume::kFatOffset) << c.what;
  }
}

TEST(ExfatEntrySetTest, NamesTimesSizesAndChecksums) {
  SetSpec spec;
  // Seventeen units over two name entries, one of them a pair outside the basic plane.
  spec.name = u"Photo \u00e9t\u00e9 \U0001F600 long.jpg";
  spec.firstCluster = 77;
  spec.dataLength = 5000;
  spec.validDataLength = 3000;
  spec.noFatChain = true;
  spec.modified10ms = 150;        // 1.5 s more
  spec.modifiedUtcOffset = 0xEC;  // valid, -20 quarters: UTC-5
  const Bytes live = EntrySetBytes(spec);
  const auto set = DecodeEntrySet(live, 0);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->name, "Photo \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 long.jpg");
  EXPECT_EQ(set->entryCount, 4u);
  EXPECT_TRUE(set->checksumHolds);
  EXPECT_FALSE(set->deleted);
  EXPECT_TRUE(set->NoFatChain());
  EXPECT_EQ(set->firstCluster, 77u);
  EXPECT_EQ(set->dataLength, 5000u);
  EXPECT_EQ(set->validDataLength, 3000u);
  // 2024-06-15 10:20:11.5 at UTC-5 is 15:20:11.5 UTC.
  EXPECT_EQ(set->modified.unixSeconds, 1718464811);
  EXPECT_EQ(set->modified.ticks, (1718464811ll + 11644473600ll) * 10000000 + 5000000);

  spec.deleted = true;
  const Bytes deleted = EntrySetBytes(spec);
  EXPECT_EQ(deleted[0], 0x05);
  EXPECT_EQ(deleted[32], 0x40);
  EXPECT_EQ(deleted[64], 0x41);
  const auto gone = DecodeEntrySet(deleted, 0);
  ASSERT_TRUE(gone);
  EXPECT_TRUE(gone->deleted);
  EXPECT_TRUE(gone->checksumHolds);  // checked as it was written
  EXPECT_EQ(gone->name, set->name);

  Bytes damaged = live;
  damaged[100] ^= 0x20;  // a name character
  ASSERT_TRUE(DecodeEntrySet(damaged, 0));
  EXPECT_FALSE(DecodeEntrySet(damaged, 0)->checksumHolds);

  // Shapes that are no set: a missing stream entry, a name longer than its entries, entries of
  // mixed in-use state, a set cut by the end of the bytes.
  Bytes noStream = live;
  noStream[32] = 0xC1;
  EXPECT_FALSE(DecodeEntrySet(noStream, 0));
  Bytes longName = live;
  longName[35] = 31;
  EXPECT_FALSE(DecodeEntrySet(longName, 0));
  Bytes mixed = live;
  mixed[96] = 0x41;
  EXPECT_FALSE(DecodeEntrySet(mixed, 0));
  EXPECT_FALSE(DecodeEntrySet(ByteSpan(live).first(96), 0));
}

TEST(ExfatDirectoryTest, ReadsTheRootsEntriesAndStopsAtTheEnd) {
  Volume v;
  SetSpec a;
  a.name = u"a.txt";
  v.AddToRoot(a);
  SetSpec damagedLive;
  damagedLive.name = u"live but damaged.txt";
  Bytes live = EntrySetBytes(damagedLive);
  live[9] ^= 1;  // its creation time
  SetSpec damagedGone = damagedLive;
  damagedGone.name = u"deleted and damaged.txt";
  damagedGone.deleted = true;
  Bytes gone = EntrySetBytes(damagedGone);
  gone[9] ^= 1;
  const std::size_t root = v.ClusterOffset(Volume::kRoot);
  v.PutBytes(root + v.rootUsed, live);
  v.PutBytes(root + v.rootUsed + live.size(), gone);
  const std::size_t end = v.rootUsed + live.size() + gone.size();
  SetSpec after;
  after.name = u"after the end.txt";
  v.PutBytes(root + end + 32, EntrySetBytes(after));  // one empty entry before it

  const ByteSpan bytes(v.image.data() + root, Volume::kSpc * 512);
  const ExfatDirectoryContents contents = ReadDirectoryEntries(bytes);
  EXPECT_EQ(contents.label, "CARD");
  ASSERT_TRUE(contents.bitmap);
  EXPECT_EQ(contents.bitmap->firstCluster, 2u);
  ASSERT_TRUE(contents.upcase);
  EXPECT_EQ(contents.upcase->firstCluster, 3u);
  EXPECT_TRUE(contents.ended);
  std::vector<std::string> names;
  for (const auto& f : contents.sets) names.push_back(f.set.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "live but damaged.txt"}));
  EXPECT_EQ(ReadDirectoryEntries(bytes, false).sets.size(), 1u);
}

// A card: the root holds a file in one run, a fragmented file, a deleted file and a folder whose
// directory is two clusters apart; inside it a file and a deleted folder, whose directory holds a
// deleted file and a live set that a later folder wrote over its clusters.
struct Card {
  Volume v{0};
  fat_test::TestDisk d{Volume::kVolumeSectors + 16};
  Bytes run = Pattern(3000, 1), frag = Pattern(2500, 2), gone = Pattern(1500, 3), inner = Pattern(700, 4);

  static Bytes Pattern(std::size_t n, int seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31 + i / 251);
    return b;
  }
  void Store(std::uint32_t cluster, const Bytes& bytes, std::size_t from = 0, std::size_t n = 1024) {
    const std::size_t len = std::min(n, bytes.size() - from);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), len,
                v.image.begin() + v.ClusterOffset(cluster));
  }
  SetSpec File(std::u16string name, std::uint32_t first, std::size_t size, bool noFatChain,
               bool deleted = false) {
    SetSpec s;
    s.name = std::move(name);
    s.firstCluster = first;
    s.dataLength = size;
    s.noFatChain = noFatChain;
    s.deleted = deleted;
    return s;
  }

  Card() {
    // run.bin: clusters 10-12 in one run, no FAT chain.
    for (std::uint32_t i = 0; i < 3; ++i) Store(10 + i, run, i * 1024), v.Allocate(10 + i);
    v.AddToRoot(File(u"run.bin", 10, run.size(), true));
    // frag.bin: 20, 30, 25.
    const std::vector<std::uint32_t> fragClusters{20, 30, 25};
    v.Chain(fragClusters);
    for (std::size_t i = 0; i < 3; ++i) Store(fragClusters[i], frag, i * 1024), v.Allocate(fragClusters[i]);
    v.AddToRoot(File(u"frag.bin", 20, frag.size(), false));
    // gone.bin: deleted, its run at 40-41 free.
    Store(40, gone, 0), Store(41, gone, 1024);
    v.AddToRoot(File(u"gone.bin", 40, gone.size(), true, true));
    // Docs: directory clusters 50 then 60.
    SetSpec docs = File(u"Docs", 50, 2048, false);
    docs.attributes = 0x10;
    v.AddToRoot(docs);
    v.Chain({50, 60});
    v.Allocate(50), v.Allocate(60);
    Bytes docsDir(2048, 0);
    // The first cluster is filled with deleted sets of no interest and a stray entry, so that the
    // next set begins in its last entry and ends in cluster 60.
    std::size_t at = 0;
    for (int i = 0; at + 96 <= 1024; ++i) {
      SetSpec pad = File(u"pad" + std::u16string(1, static_cast<char16_t>(u'a' + i)), 0, 0, true, true);
      const Bytes b = EntrySetBytes(pad);
      std::copy(b.begin(), b.end(), docsDir.begin() + static_cast<std::ptrdiff_t>(at));
      at += b.size();
    }
    docsDir[at] = 0x40;
    at = 992;
    const Bytes innerSet = EntrySetBytes(File(u"inner.txt", 70, inner.size(), true));
    std::copy(innerSet.begin(), innerSet.end(), docsDir.begin() + static_cast<std::ptrdiff_t>(at));
    at += innerSet.size();
    SetSpec old = File(u"Old", 80, 1024, true, true);
    old.attributes = 0x10;
    const Bytes oldSet = EntrySetBytes(old);
    std::copy(oldSet.begin(), oldSet.end(), docsDir.begin() + static_cast<std::ptrdiff_t>(at));
    Store(50, docsDir, 0), Store(60, docsDir, 1024);
    Store(70, inner), v.Allocate(70);
    // Old's directory: a deleted file, then a live set of whatever took the cluster since.
    Bytes oldDir(1024, 0);
    const Bytes a = EntrySetBytes(File(u"old note.txt", 90, 10, true, true));
    const Bytes b = EntrySetBytes(File(u"newcomer.txt", 91, 10, true));
    std::copy(a.begin(), a.end(), oldDir.begin());
    std::copy(b.begin(), b.end(), oldDir.begin() + static_cast<std::ptrdiff_t>(a.size()));
    Store(80, oldDir);
    v.WriteTo(d);
    d.ctx.partitionType = FsType::kExfat;
    d.ctx.searchStart = 0;
    d.ctx.searchEnd = Volume::kVolumeSectors;
  }
  void Rewrite() { v.WriteTo(d); }
};

// Each folder's path with its deleted mark, and each file's.
std::map<std::string, bool> Listing(ScanContext& ctx) {
  std::map<std::string, bool> out;
  std::map<std::uint32_t, std::string> paths{{kExfatRootKey, ""}};
  const mytreectrl& tree = ctx.results.Tree();
  for (const FolderNode& node : ctx.results.folderNodes) {
    const std::string path = FolderPath(tree, node.item);
    paths[node.self] = path;
    out[path + "\\"] = node.deleted;
  }
  const TextTable& files = ctx.results.tables.PendingEntryTable;
  for (int r = 0; r < files.RowCount(); ++r) {
    const FolderRowValues v = ReadFolderRow(files, r);
    out[(paths.count(v.parent) ? paths[v.parent] + (v.parent == kExfatRootKey ? "" : "\\") : "?") + v.name] =
        v.deleted;
  }
  return out;
}

TEST(ExfatStandardSearchTest, ListsTheTreeWithDeletedFilesAndFolders) {
  Card card;
  StandardSearch search(card.d.ctx);
  const StandardSearchOutcome out = search.Run();
  EXPECT_TRUE(out.validated);
  EXPECT_EQ(card.d.ctx.results.volumeLabel, "CARD");
  EXPECT_EQ(card.d.ctx.activeGeometry.type, FsType::kExfat);
  const std::map<std::string, bool> expected = {
      {"run.bin", false},
      {"frag.bin", false},
      {"gone.bin", true},
      {"Docs\\", false},
      {"Docs\\inner.txt", false},
      {"Docs\\Old\\", true},
      {"Docs\\Old\\old note.txt", true},
  };
  std::map<std::string, bool> listed = Listing(card.d.ctx);
  // The padding sets of Docs are deleted files of their own.
  std::erase_if(listed, [](const auto& e) { return e.first.rfind("Docs\\pad", 0) == 0; });
  EXPECT_EQ(listed, expected);
}

// The bytes a FileData gives, read from the volume's image.
Bytes Materialize(const Volume& v, const FileData& data) {
  Bytes out;
  for (const DataPiece& p : data.pieces) {
    for (std::uint64_t i = 0; i < p.length; ++i) {
      out.push_back(p.kind == DataPiece::Kind::kSectors
                        ? v.image[static_cast<std::size_t>((p.firstSector - v.start) * 512 + i)]
                        : 0);
    }
  }
  out.resize(static_cast<std::size_t>(data.size));
  return out;
}

TEST(ExfatDataSourceTest, ReadsRunsChainsAndValidLengthsAndEstimatesByTheBitmap) {
  Card card;
  StandardSearch search(card.d.ctx);
  search.Run();
  DetailsList root, docs;
  ListNtfsFiles(card.d.ctx.results, root, kExfatRootKey);
  std::map<std::string, DetailsRow> rows;
  for (const DetailsRow& r : root.rows) rows[r.name] = r;
  ASSERT_TRUE(rows.count("run.bin") && rows.count("frag.bin") && rows.count("gone.bin"));

  ExfatDataSource source(card.d.ctx);
  struct Case {
    const char* name;
    const Bytes* bytes;
    ReadMethod method;
    Recoverability estimate;
  };
  const Case cases[] = {
      {"run.bin", &card.run, ReadMethod::kChain, Recoverability::kNotDeleted},
      {"frag.bin", &card.frag, ReadMethod::kChain, Recoverability::kNotDeleted},
      {"gone.bin", &card.gone, ReadMethod::kContiguous, Recoverability::kIntact},
  };
  for (const Case& c : cases) {
    const FileData data = source.Locate(rows[c.name]);
    EXPECT_FALSE(data.failure) << c.name;
    EXPECT_EQ(data.method, c.method) << c.name;
    EXPECT_EQ(Materialize(card.v, data), *c.bytes) << c.name;
    EXPECT_EQ(source.Estimate(rows[c.name]), c.estimate) << c.name;
    EXPECT_EQ(data.modified, 1718446810) << c.name;
  }

  // Docs's inner.txt begins in the last entry of the folder's first cluster and ends in its second,
  // which the FAT names.
  ListNtfsFiles(card.d.ctx.results, docs, card.d.ctx.results.folderNodes[0].self);
  const auto inner = std::find_if(docs.rows.begin(), docs.rows.end(),
                                  [](const DetailsRow& r) { return r.name == "inner.txt"; });
  ASSERT_NE(inner, docs.rows.end());
  EXPECT_EQ(Materialize(card.v, source.Locate(*inner)), card.inner);

  // The deleted file's clusters taken again: its second, then its first.
  card.v.Allocate(41);
  card.Rewrite();
  EXPECT_EQ(ExfatDataSource(card.d.ctx).Estimate(rows["gone.bin"]), Recoverability::kPartlyOverwritten);
  card.v.Allocate(40);
  card.Rewrite();
  EXPECT_EQ(ExfatDataSource(card.d.ctx).Estimate(rows["gone.bin"]), Recoverability::kOverwritten);

  // Past the valid data length the file reads as zeros.
  SetSpec half = card.File(u"run.bin", 10, card.run.size(), true);
  half.validDataLength = 1500;
  const Bytes set = EntrySetBytes(half);
  const std::size_t at = card.v.ClusterOffset(Volume::kRoot) + 96;  // run.bin was written first
  std::copy(set.begin(), set.end(), card.v.image.begin() + static_cast<std::ptrdiff_t>(at));
  card.Rewrite();
  Bytes expected = card.run;
  std::fill(expected.begin() + 1500, expected.end(), 0);
  const FileData data = ExfatDataSource(card.d.ctx).Locate(rows["run.bin"]);
  EXPECT_EQ(Materialize(card.v, data), expected);

  // A set written over since the scan is not read as the file's.
  card.v.image[at + 70] ^= 1;
  card.Rewrite();
  EXPECT_TRUE(ExfatDataSource(card.d.ctx).Locate(rows["run.bin"]).failure);
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

TEST(ExfatAdvanceTest, VolumesFromBootSectorsAndFromFoldersWhenTheyAreGone) {
  const ExfatBootSector boot = DecodeExfatBootSector(BootOf(Volume(100)));
  ASSERT_TRUE(boot.Plausible());
  // Main at 100 and its backup at 112: one volume.
  ExfatSectorFinds both;
  both.bootSectors = {{100, boot}, {112, boot}};
  auto volumes = IdentifyExfatVolumes(both, 100 + Volume::kVolumeSectors);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].bootSector, 100u);
  EXPECT_EQ(volumes[0].cluster0, 100u + Volume::kHeapOffset - 2 * Volume::kSpc);
  // The backup alone, its partition offset naming 100: the volume still starts at 100.
  ExfatSectorFinds backup;
  backup.bootSectors = {{112, boot}};
  volumes = IdentifyExfatVolumes(backup, 100 + Volume::kVolumeSectors);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].volumeStart, 100u);
  EXPECT_EQ(volumes[0].layout->fatSector, 100u + Volume::kFatOffset);

  // No boot sector: folders at clusters 7, 9 and 20 whose directories begin at 4 x c + 1000, the
  // root at cluster 5, a FAT at 900 and a stray one past the heap; decoys elsewhere.
  ExfatSectorFinds derived;
  derived.folderClusters = {7, 9, 20};
  derived.directorySectors = {1003, 1028, 1036, 1080, 1500};
  derived.rootSectors = {1020};
  derived.fatSectors = {900, 5000};
  volumes = IdentifyExfatVolumes(derived, 20000);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].bootSector, 0u);
  EXPECT_EQ(volumes[0].sectorsPerCluster, 4u);
  EXPECT_EQ(volumes[0].cluster0, 1000u);
  EXPECT_EQ(volumes[0].rootCluster, 5u);
  EXPECT_EQ(volumes[0].fatSector, 900u);
  EXPECT_EQ(volumes[0].fatSectors, 108u);
  const ExfatLayout layout = LayoutOfFind(volumes[0], 20000);
  EXPECT_EQ(layout.ClusterSector(9), 1036u);

  // One folder of three placed is no volume; nor are folders without a root.
  derived.directorySectors = {1028, 1500};
  EXPECT_TRUE(IdentifyExfatVolumes(derived, 20000).empty());
  derived.directorySectors = {1028, 1036, 1080};
  derived.rootSectors.clear();
  EXPECT_TRUE(IdentifyExfatVolumes(derived, 20000).empty());
}

}  // namespace
}  // namespace quarrow

namespace quarrow {
namespace {

// What the partition walk lists for an exFAT volume: under a type 0x07 entry (which NTFS shares),
// at sector 0 without a table (boot code that reads like table entries included), and by its
// backup when the main boot sector is wiped.
TEST(ExfatPartitionWalkTest, TheBootSectorTellsExfatFromNtfsAndTheBackupStandsIn) {
  struct Case {
    const char* what;
    std::uint64_t start;
    bool table, wipeMain, tableLikeBootCode;
  };
  const Case cases[] = {
      {"type 0x07 entry", 2048, true, false, false},
      {"type 0x07 entry, main boot sector wiped", 2048, true, true, false},
      {"no table", 0, false, false, false},
      {"no table, boot code like table entries", 0, false, false, true},
      {"no table, main boot sector wiped", 0, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Volume v(c.start);
    if (c.tableLikeBootCode) {
      v.image[446] = 0x80;
      v.image[446 + 4] = 0x0C;
      v.image[446 + 8] = 0x08;   // first sector 2048
      v.image[446 + 12] = 0x10;  // 16 sectors
      v.SealBootRegion(0);
    }
    if (c.wipeMain) std::fill_n(v.image.begin(), 512, 0);
    fat_test::TestDisk d(c.start + Volume::kVolumeSectors + 32768);
    v.WriteTo(d);
    if (c.table) {
      fat_test::Sector mbr{};
      mbr[446 + 4] = 0x07;
      for (int i = 0; i < 4; ++i) {
        mbr[446 + 8 + i] = static_cast<std::uint8_t>(c.start >> (8 * i));
        mbr[446 + 12 + i] = static_cast<std::uint8_t>(Volume::kVolumeSectors >> (8 * i));
      }
      mbr[510] = 0x55;
      mbr[511] = 0xAA;
      d.Put(0, mbr);
    }
    mytreectrl tree{TreeKind::kPartitions, 0};
    PartitionState state;
    const PartitionWalkOutcome outcome =
        WalkPartitionTable(d.reader, 0, c.start + Volume::kVolumeSectors + 32768, tree, state);
    const PartitionList& list = state.ForDisk(0);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.Name(0), "exFAT");
    EXPECT_EQ(list.At(0).firstSector, c.start);
    EXPECT_EQ(list.At(0).endSector, c.start + Volume::kVolumeSectors);
    EXPECT_EQ(outcome.volumeWithoutTable, !c.table);
    EXPECT_EQ(outcome.volumeFromBackup, !c.table && c.wipeMain);
  }
}

}  // namespace
}  // namespace quarrow
