// Hostile partition tables and boot sectors: looping and endless chains, entries past the disk,
// truncated images and random bytes. The walk and the validation must end, stay in bounds and
// keep their own invariants whatever the disk holds.

#include <gtest/gtest.h>

#include <random>

#include "partition/partition_table.h"
#include "partition/validate_partition.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

using namespace partition_test;

PartitionWalkOutcome WalkDisk(MemoryDisk& disk, mytreectrl& tree, PartitionState& state) {
  return WalkPartitionTable(disk.reader, 0, disk.Sectors(), tree, state);
}

std::size_t ReadsOf(const MemoryDisk& disk, std::uint64_t sector) {
  std::size_t n = 0;
  for (const auto& r : disk.device->Reads()) n += r.offset == sector * 512;
  return n;
}

TEST(PartitionHostileChain, RecordLinkingToItselfEndsTheWalk) {
  MemoryDisk disk(100000);
  disk.Write(0, PartitionTable({{0x05, 1000, 50000}}));
  // Entry 1 links to offset 0: the record itself.
  disk.Write(1000, PartitionTable({{0x06, 63, 1000}, {0x05, 0, 50000}}, false));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkDisk(disk, tree, state);
  EXPECT_TRUE(outcome.chainLooped);
  EXPECT_EQ(state.ForDisk(0).count, 1);  // the drive of the record, listed once
  EXPECT_EQ(ReadsOf(disk, 1000), 2u);    // once as the primary's first sector, once as a record
}

TEST(PartitionHostileChain, TwoRecordsLinkingToEachOtherEndTheWalk) {
  MemoryDisk disk(100000);
  disk.Write(0, PartitionTable({{0x0F, 1000, 50000}}));
  disk.Write(1000, PartitionTable({{0x0C, 63, 1000}, {0x05, 5000, 1}}, false));
  disk.Write(6000, PartitionTable({{0x07, 63, 1000}, {0x05, 0, 1}}, false));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkDisk(disk, tree, state);
  EXPECT_TRUE(outcome.chainLooped);
  ASSERT_EQ(state.ForDisk(0).count, 2);
  EXPECT_EQ(tree.Text(state.ForDisk(0).entries[1].item), "Partition - 2 ( NTFS )");
}

TEST(PartitionHostileChain, EndlessChainOfNewRecordsIsCut) {
  // Every record links one sector further on and holds nothing listable: no loop, but no end.
  MemoryDisk disk(1000000);
  disk.Write(0, PartitionTable({{0x05, 1000, 900000}}));
  for (std::uint32_t i = 0; i < 2000; ++i) {
    disk.Write(1000 + i, PartitionTable({{0x83, 1, 1}, {0x05, i + 1, 1}}, false));
  }
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkDisk(disk, tree, state);
  EXPECT_TRUE(outcome.chainTooLong);
  EXPECT_EQ(state.ForDisk(0).count, 0);
  EXPECT_LE(disk.device->Reads().size(), static_cast<std::size_t>(4 + 2 * kMaxExtendedLinks));
}

TEST(PartitionHostileChain, MoreThanTwentySixPartitionsEndTheWalk) {
  MemoryDisk disk(1000000);
  disk.Write(0, PartitionTable({{0x06, 63, 100}, {0x05, 10000, 900000}}));
  for (std::uint32_t i = 0; i < 40; ++i) {
    disk.Write(10000 + i * 100, PartitionTable({{0x06, 10, 50}, {0x05, (i + 1) * 100, 100}}, false));
  }
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkDisk(disk, tree, state);
  EXPECT_TRUE(outcome.listFull);
  PartitionList& list = state.ForDisk(0);
  ASSERT_EQ(list.count, kMaxListedPartitions);
  EXPECT_EQ(tree.Children(tree.Root()).size(), 26u);
  EXPECT_EQ(tree.Text(list.entries[25].item), "Partition - 26 ( FAT16 )");
  EXPECT_EQ(list.entries[25].firstSector, 10000u + 24 * 100 + 10);
  EXPECT_FALSE(list.Append(FsType::kFat16, PartitionEntry{}));
  EXPECT_EQ(list.count, kMaxListedPartitions);
}

TEST(PartitionHostileEntries, LogicalDrivesPastTheDiskAreNotListed) {
  MemoryDisk disk(100000);
  disk.Write(0, PartitionTable({{0x05, 1000, 50000}}));
  // One drive past the end, one that starts inside and runs past it, one 32-bit link far away.
  disk.Write(1000, PartitionTable({{0x06, 200000, 1000}, {0x05, 2000, 1}}, false));
  disk.Write(3000, PartitionTable({{0x06, 63, 500000}, {0x05, 0xFFFFFF00u, 1}}, false));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const auto outcome = WalkDisk(disk, tree, state);
  EXPECT_FALSE(outcome.chainLooped);
  const PartitionList& list = state.ForDisk(0);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.entries[0].firstSector, 3063u);
  // Its end is cut to the disk's end, and the entry says what the table claimed.
  EXPECT_EQ(list.entries[0].endSector, 100000u);
  EXPECT_EQ(list.entries[0].tableEndSector, 503063u);
  EXPECT_NE(list.entries[0].Note().find("503063"), std::string::npos);
  EXPECT_EQ(outcome.overlong, 1);
}

TEST(PartitionHostileEntries, SectorSumsDoNotWrapAtThirtyTwoBits) {
  // On a disk above 2^33 sectors, an extended start and a drive offset near 2^32 add up past
  // 32 bits; the drive must be read and listed where the sum puts it.
  const std::uint64_t total = (1ull << 33) + 100000;
  MemoryDisk disk(total);
  disk.Write(0, PartitionTable({{0x05, 0xFFFF0000u, 0x7FFFFFFF}}));
  disk.Write(0xFFFF0000ull, PartitionTable({{0x07, 0xFFFF0000u, 0x10000}}, false));
  const std::uint64_t drive = 0xFFFF0000ull * 2;
  disk.Write(drive, NtfsBoot({}));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  WalkDisk(disk, tree, state);
  ASSERT_EQ(state.ForDisk(0).count, 1);
  EXPECT_EQ(state.ForDisk(0).entries[0].firstSector, drive);
  EXPECT_EQ(state.ForDisk(0).entries[0].endSector, drive + 0x10000);
  EXPECT_EQ(state.ForDisk(0).Name(0), "NTFS");
}

TEST(PartitionHostileEntries, TruncatedImageReadsAsEmptySectors) {
  // The table describes a disk of 100000 sectors but only 2000 can be read: boot sectors and
  // records beyond come back unreadable, and what was read before is not taken for them.
  MemoryDisk disk(100000);
  disk.device->SetReadableSize(2000 * 512);
  disk.Write(0, PartitionTable({{0x83, 63, 1000}, {0x83, 5000, 1000}, {0x05, 10000, 20000}}));
  disk.Write(63, NtfsBoot({}));
  disk.Write(10000, PartitionTable({{0x06, 63, 100}}, false));
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  WalkDisk(disk, tree, state);
  const PartitionList& list = state.ForDisk(0);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.Name(0), "NTFS");
  EXPECT_EQ(list.entries[0].firstSector, 63u);
}

TEST(PartitionHostileEntries, DiskNumbersOutsideTheRecordsAreHarmless) {
  PartitionState state;
  state.ForDisk(-1).Append(FsType::kFat16, PartitionEntry{1, 2, 3});
  EXPECT_EQ(state.ForDisk(-1).count, 0);  // a scratch record, cleared on every use
  EXPECT_EQ(static_cast<const PartitionState&>(state).ForDisk(99).count, 0);
  for (const auto& list : state.lists) EXPECT_EQ(list.count, 0);
  PartitionList list;
  EXPECT_EQ(list.At(-1), PartitionEntry{});
  EXPECT_EQ(list.At(1000), PartitionEntry{});
}

// Random disks: the MBR and a handful of sectors that its entries and links are likely to hit
// are random bytes (half the time with a boot signature), some sectors are bad.
TEST(PartitionHostileRandom, WalkEndsAndKeepsItsInvariants) {
  std::mt19937_64 rng(20261208);
  for (int round = 0; round < 1500; ++round) {
    const std::uint64_t sectors = 30000 + rng() % 200000;
    MemoryDisk disk(sectors);
    auto randomSector = [&] {
      Sector s;
      for (auto& b : s) b = static_cast<std::uint8_t>(rng());
      if (rng() % 2) Sign(s);
      return s;
    };
    auto smallNumber = [&]() -> std::uint32_t {
      switch (rng() % 4) {
        case 0:
          return static_cast<std::uint32_t>(rng());
        case 1:
          return static_cast<std::uint32_t>(rng() % 64);
        default:
          return static_cast<std::uint32_t>(rng() % sectors);
      }
    };
    const std::uint8_t types[] = {0x00, 0x01, 0x05, 0x06, 0x07, 0x0B, 0x0C, 0x0F, 0x83, 0xFF};
    std::vector<TableSlot> slots;
    for (int i = 0; i < 4; ++i) slots.push_back({types[rng() % 10], smallNumber(), smallNumber()});
    Sector mbr = PartitionTable(slots);
    if (rng() % 8 == 0) mbr = randomSector();
    disk.Write(0, mbr);
    for (const auto& slot : slots) {
      std::uint64_t at = slot.first;
      for (int hop = 0; hop < 6 && at < sectors; ++hop) {
        Sector record = rng() % 3 ? PartitionTable({{types[rng() % 10], smallNumber(), smallNumber()},
                                                    {types[rng() % 10], smallNumber(), smallNumber()}},
                                                   rng() % 2)
                                  : randomSector();
        disk.Write(at, record);
        at = slot.first + smallNumber();
      }
    }
    if (rng() % 4 == 0) disk.device->MarkBadRange(rng() % sectors, 1 + rng() % 64);
    if (rng() % 4 == 0) disk.device->SetReadableSize((rng() % sectors) * 512);

    mytreectrl tree(TreeKind::kPartitions, 0);
    PartitionState state;
    const auto outcome = WalkDisk(disk, tree, state);
    const PartitionList& list = state.ForDisk(0);
    ASSERT_GE(list.count, 0);
    ASSERT_LE(list.count, kMaxListedPartitions);
    ASSERT_EQ(outcome.listed, list.count);
    ASSERT_EQ(tree.Children(tree.Root()).size(), static_cast<std::size_t>(list.count)) << "round " << round;
    ASSERT_EQ(state.anyPartitionListed, list.count > 0 ? 1 : 0);
    for (int i = 0; i < list.count; ++i) {
      ASSERT_EQ(tree.Text(list.entries[i].item), PartitionItemText(i + 1, list.Name(i)));
      ASSERT_TRUE(list.Name(i) == "FAT16" || list.Name(i) == "FAT32" || list.Name(i) == "NTFS");
      ASSERT_LT(list.entries[i].firstSector, sectors);
      ASSERT_GE(list.entries[i].endSector, list.entries[i].firstSector);
    }
    ASSERT_LE(disk.device->Reads().size(), static_cast<std::size_t>(8 + 6 * kMaxExtendedLinks));
  }
}

TEST(PartitionHostileRandom, ValidationEndsAndFillsOnlySoundGeometry) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 3000; ++round) {
    MemoryDisk disk(70000);
    const std::uint64_t start = 100 + rng() % 1000;
    // Start from a real boot sector and spoil a few of its bytes, so that the checks beyond the
    // signature are reached too.
    Sector boot;
    const int kind = static_cast<int>(rng() % 3);
    if (kind == 0) boot = Fat16Boot({});
    if (kind == 1) boot = Fat32Boot({});
    if (kind == 2) boot = NtfsBoot({});
    for (int i = 0, n = static_cast<int>(rng() % 12); i < n; ++i)
      boot[rng() % 100] = static_cast<std::uint8_t>(rng());
    disk.Write(start, boot);
    disk.Write(start + 6, boot);
    for (int i = 0; i < 20; ++i) {
      Sector s;
      for (auto& b : s) b = static_cast<std::uint8_t>(rng() % 4 ? rng() : 0xF8);
      if (rng() % 3 == 0) PutText(s, 0, "FILE");
      disk.Write(start + rng() % 60000, s);
    }
    if (rng() % 4 == 0) disk.device->MarkBadRange(start + rng() % 100, 1 + rng() % 8);

    ScanContext context;
    context.reader = &disk.reader;
    context.partitionType = kind == 0 ? FsType::kFat16 : kind == 1 ? FsType::kFat32 : FsType::kNtfs;
    context.searchStart = static_cast<std::uint64_t>(start);
    context.searchEnd = static_cast<std::uint64_t>(start + rng() % 70000);
    const VolumeGeometry before = context.geometry;
    const int result = ValidatePartition(context);
    const VolumeGeometry& g = context.geometry;
    if (result == 0) {
      VolumeGeometry expected = before;
      expected.RootDirStart = g.RootDirStart;  // the one field a failed FAT32 check may leave
      ASSERT_EQ(g, expected) << "round " << round;
      continue;
    }
    ASSERT_EQ(result, 1);
    ASSERT_NE(g.SectorsPerCluster, 0u) << "round " << round;
    if (kind == 2) {
      ASSERT_TRUE(g.MftRecordSectors == 2 || g.MftRecordSectors == 4 || g.MftRecordSectors == 6 ||
                  g.MftRecordSectors == 8);
      ASSERT_TRUE(g.MftSector != 0 || g.MftMirrSector != 0);
      ASSERT_EQ(g.Cluster0Sector, start);
    } else {
      ASSERT_NE(g.FatSectors, 0u);
      ASSERT_EQ(g.FirstFatSector, start + g.ReservedSectors);
      ASSERT_EQ(g.SecondFatSector, g.FirstFatSector + g.FatSectors);
      ASSERT_EQ(std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster,
                std::uint64_t{g.SecondFatSector} + g.FatSectors + g.RootDirSectors);
    }
  }
}

}  // namespace
}  // namespace quarrow
