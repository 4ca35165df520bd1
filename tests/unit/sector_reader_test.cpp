#include "disk/sector_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "disk/fault_block_device.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

using Sector = FaultBlockDevice::Sector;

bool SectorIs(const std::vector<std::uint8_t>& buffer, std::size_t index, const Sector& expected) {
  return std::equal(expected.begin(), expected.end(), buffer.begin() + index * kSectorSize);
}

bool SectorIsZero(const std::vector<std::uint8_t>& buffer, std::size_t index) {
  auto begin = buffer.begin() + index * kSectorSize;
  return std::all_of(begin, begin + kSectorSize, [](std::uint8_t b) { return b == 0; });
}

class SectorReaderTest : public ::testing::Test {
 protected:
  SectorReaderTest() {
    disk_->SetStamped(true);
    opener_.Add("disk1", disk_);
    paths_.Set(1, "disk1");
  }

  std::shared_ptr<FaultBlockDevice> disk_ = std::make_shared<FaultBlockDevice>(4096 * kSectorSize);
  FaultDeviceOpener opener_;
  DevicePathTable paths_;
  SectorReader reader_{paths_, opener_};
};

TEST(DevicePathTableTest, DefaultsAreTheTenRawDriveNamesWithTheDigitAtIndex17) {
  DevicePathTable table;
  for (int n = 0; n < kDevicePathCount; ++n) {
    const std::string& path = table.Get(n);
    ASSERT_EQ(path.size(), 18u);
    EXPECT_EQ(path.substr(0, 17), "\\\\.\\PhysicalDrive");
    EXPECT_EQ(path[17], '0' + n);
  }
  table.Set(3, "/dev/sdc");
  EXPECT_EQ(table.Get(3), "/dev/sdc");
  // Numbers outside 0-9 name no disk and change nothing.
  table.Set(10, "/dev/sdz");
  EXPECT_EQ(table.Get(10), "");
  EXPECT_EQ(table.Get(-1), "");
}

TEST_F(SectorReaderTest, WholeRangeInOneRequest) {
  std::vector<std::uint8_t> buffer(16 * kSectorSize);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(1, 100, 16, buffer, &report), 1);
  EXPECT_EQ(report.failedSectors, 0u);
  EXPECT_FALSE(report.retried);
  for (std::size_t i = 0; i < 16; ++i)
    EXPECT_TRUE(SectorIs(buffer, i, FaultBlockDevice::StampedSector(100 + i)));
  auto reads = disk_->Reads();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].offset, 100u * kSectorSize);
  EXPECT_EQ(reads[0].length, 16u * kSectorSize);
}

TEST_F(SectorReaderTest, BadSectorInABulkReadIsZeroFilledAndCountedNeighboursIntact) {
  disk_->MarkBad(1000 + 511);
  // Stale bytes from an earlier read must not survive in the failed sector.
  std::vector<std::uint8_t> buffer(1024 * kSectorSize, 0xAB);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(1, 1000, 1024, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 1u);
  EXPECT_TRUE(report.retried);
  EXPECT_TRUE(SectorIsZero(buffer, 511));
  for (std::size_t i = 0; i < 1024; ++i) {
    if (i == 511) continue;
    ASSERT_TRUE(SectorIs(buffer, i, FaultBlockDevice::StampedSector(1000 + i))) << "sector " << i;
  }
  // One bulk request, then one request per sector at its own offset.
  auto reads = disk_->Reads();
  ASSERT_EQ(reads.size(), 1u + 1024u);
  EXPECT_EQ(reads[0].length, 1024u * kSectorSize);
  for (std::size_t i = 0; i < 1024; ++i) {
    EXPECT_EQ(reads[1 + i].offset, (1000 + i) * kSectorSize);
    EXPECT_EQ(reads[1 + i].length, kSectorSize);
  }
}

TEST_F(SectorReaderTest, SectorsBeyondTwoToThe32ReachTheirByteOffset) {
  const std::uint64_t sectors = (std::uint64_t{1} << 33);
  auto big = std::make_shared<FaultBlockDevice>(sectors * kSectorSize);
  big->SetStamped(true);
  opener_.Add("big", big);
  paths_.Set(2, "big");
  const std::uint64_t first = (std::uint64_t{1} << 32) + 7;
  std::vector<std::uint8_t> buffer(2 * kSectorSize);
  EXPECT_EQ(reader_.ReadSectors(2, first, 2, buffer), 1);
  EXPECT_TRUE(SectorIs(buffer, 0, FaultBlockDevice::StampedSector(first)));
  EXPECT_TRUE(SectorIs(buffer, 1, FaultBlockDevice::StampedSector(first + 1)));

  // The split form of the same sector number.
  EXPECT_EQ(reader_.Read("big", 7, 1, 1, buffer.data()), 1);
  EXPECT_TRUE(SectorIs(buffer, 0, FaultBlockDevice::StampedSector(first)));
  auto reads = big->Reads();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].offset, first * kSectorSize);
  EXPECT_EQ(reads[1].offset, first * kSectorSize);
  EXPECT_GT(reads[0].offset, std::uint64_t{0xFFFFFFFF} * kSectorSize);
}

TEST_F(SectorReaderTest, ShortDiskReadsWhatExistsAndZerosThePastEnd) {
  auto small = std::make_shared<FaultBlockDevice>(100 * kSectorSize);
  small->SetStamped(true);
  opener_.Add("small", small);
  paths_.Set(4, "small");
  std::vector<std::uint8_t> buffer(20 * kSectorSize, 0xCD);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(4, 90, 20, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 10u);
  for (std::size_t i = 0; i < 10; ++i)
    EXPECT_TRUE(SectorIs(buffer, i, FaultBlockDevice::StampedSector(90 + i)));
  for (std::size_t i = 10; i < 20; ++i) EXPECT_TRUE(SectorIsZero(buffer, i)) << i;

  // A truncated image: the size claims 100 sectors, only 50 can be read.
  small->SetReadableSize(50 * kSectorSize);
  EXPECT_EQ(reader_.ReadSectors(4, 45, 10, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 5u);
  EXPECT_TRUE(SectorIs(buffer, 4, FaultBlockDevice::StampedSector(49)));
  EXPECT_TRUE(SectorIsZero(buffer, 5));

  // Entirely past the end.
  EXPECT_EQ(reader_.ReadSectors(4, 5000, 2, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 2u);
  // A sector number whose byte offset would wrap around 64 bits.
  EXPECT_EQ(reader_.ReadSectors(4, UINT64_MAX - 1, 2, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 2u);
  EXPECT_TRUE(SectorIsZero(buffer, 0));
}

TEST_F(SectorReaderTest, DeviceThatCannotBeOpenedReadsAsZerosAndSaysWhy) {
  opener_.FailOpen("locked", "cannot open locked: Permission denied");
  paths_.Set(5, "locked");
  std::vector<std::uint8_t> buffer(4 * kSectorSize, 0x77);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(5, 0, 4, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 4u);
  EXPECT_FALSE(report.retried);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(reader_.LastOpenError(), "cannot open locked: Permission denied");
  // Disk numbers outside the table name no device at all.
  EXPECT_EQ(reader_.ReadSectors(12, 0, 1, buffer, &report), 0);
}

TEST_F(SectorReaderTest, BufferTooSmallIsRefusedWithoutReading) {
  std::vector<std::uint8_t> buffer(3 * kSectorSize);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(1, 0, 4, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 4u);
  EXPECT_TRUE(disk_->Reads().empty());
}

TEST_F(SectorReaderTest, FloppyLabelReadsTheFloppyWhateverDiskIsSelected) {
  auto floppy = std::make_shared<FaultBlockDevice>(2880 * kSectorSize);
  const std::vector<std::uint8_t> marker(kSectorSize, 0x5A);
  floppy->WriteSector(0, marker);
  opener_.Add("floppy", floppy);
  reader_.SetFloppyPath("floppy");
  reader_.SetSelectedLabel("1.44\" Floppy");
  std::vector<std::uint8_t> buffer(kSectorSize);
  EXPECT_EQ(reader_.ReadSectors(1, 0, 1, buffer), 1);
  EXPECT_EQ(buffer, marker);
  EXPECT_TRUE(disk_->Reads().empty());

  // A disk label reads the disk again.
  reader_.SetSelectedLabel("1)");
  EXPECT_EQ(reader_.ReadSectors(1, 0, 1, buffer), 1);
  EXPECT_TRUE(SectorIs(buffer, 0, FaultBlockDevice::StampedSector(0)));
}

TEST_F(SectorReaderTest, FailedReadStartsTheLostPartitionSearchOnceBetweenVisitsOfTheDiskPage) {
  int starts = 0;
  reader_.Trigger().SetStart([&] { ++starts; });
  disk_->MarkBad(10);
  std::vector<std::uint8_t> buffer(4 * kSectorSize);

  // Not on the disk page: failed reads never start it.
  reader_.Trigger().SetOnDiskPage(false);
  reader_.ReadSectors(1, 8, 4, buffer);
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(reader_.Trigger().Counter(), 1);

  reader_.Trigger().SetOnDiskPage(true);
  reader_.ReadSectors(1, 0, 4, buffer);  // a good read
  EXPECT_EQ(starts, 0);
  reader_.ReadSectors(1, 8, 4, buffer);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(reader_.Trigger().Counter(), 2);
  reader_.ReadSectors(1, 9, 4, buffer);
  EXPECT_EQ(starts, 1);

  // Back on the disk page re-arms it.
  reader_.Trigger().Rearm();
  reader_.ReadSectors(1, 10, 1, buffer);
  EXPECT_EQ(starts, 2);
}

TEST_F(SectorReaderTest, ConcurrentReadersShareOneDevice) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::uint8_t> buffer(8 * kSectorSize);
      for (std::uint64_t s = static_cast<std::uint64_t>(t) * 8; s < 4000; s += 32) {
        reader_.ReadSectors(1, s, 8, buffer);
        for (std::size_t i = 0; i < 8; ++i) {
          if (!SectorIs(buffer, i, FaultBlockDevice::StampedSector(s + i))) ++wrong[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0);
  EXPECT_EQ(opener_.OpenCount("disk1"), 1);
  reader_.CloseAll();
  std::vector<std::uint8_t> buffer(kSectorSize);
  reader_.ReadSectors(1, 0, 1, buffer);
  EXPECT_EQ(opener_.OpenCount("disk1"), 2);
}

// --- The legacy family, through a fake "disk32.dll" ---

struct ReadDisk32Call {
  std::uint32_t drive, a, b, c, count, low, d;
};

struct FakeDisk32 {
  std::vector<ReadDisk32Call> calls;
  std::shared_ptr<FaultBlockDevice> disk;
};
FakeDisk32* g_disk32 = nullptr;

std::uint32_t QUARROW_STDCALL FakeReadDisk32(std::uint32_t drive, std::uint32_t a, std::uint32_t b,
                                             std::uint32_t c, std::uint32_t count, void* buffer,
                                             std::uint32_t low, std::uint32_t d) {
  g_disk32->calls.push_back({drive, a, b, c, count, low, d});
  std::span<std::uint8_t> out(static_cast<std::uint8_t*>(buffer), std::size_t{count} * kSectorSize);
  return g_disk32->disk->ReadAt(std::uint64_t{low} * kSectorSize, out) ? 1 : 0;
}

class FakeLoader : public LibraryLoader {
 public:
  bool present = true;
  bool hasEntry = true;
  std::vector<std::string> loads;

  std::unique_ptr<LoadedLibrary> Load(const char* name) override {
    loads.emplace_back(name);
    if (!present) return nullptr;
    return std::make_unique<Library>(hasEntry);
  }

 private:
  class Library : public LoadedLibrary {
   public:
    explicit Library(bool hasEntry) : hasEntry_(hasEntry) {}
    LibrarySymbol Find(const char* symbol) override {
      if (!hasEntry_ || std::string(symbol) != "ReadDisk32") return nullptr;
      return reinterpret_cast<LibrarySymbol>(&FakeReadDisk32);
    }

   private:
    bool hasEntry_;
  };
};

using test_support::RecordingFeedback;

class LegacyReaderTest : public ::testing::Test {
 protected:
  LegacyReaderTest() {
    fake_.disk = std::make_shared<FaultBlockDevice>(4096 * kSectorSize);
    fake_.disk->SetStamped(true);
    g_disk32 = &fake_;
    reader_.SetOsFamily(OsFamily::kLegacy);
    reader_.SetLegacyLibrary(&library_);
    reader_.SetFeedback(&feedback_);
  }
  ~LegacyReaderTest() override { g_disk32 = nullptr; }

  FakeDisk32 fake_;
  FakeLoader loader_;
  LegacyDiskLibrary library_{loader_};
  RecordingFeedback feedback_;
  FaultDeviceOpener opener_;
  DevicePathTable paths_;
  SectorReader reader_{paths_, opener_};
};

TEST_F(LegacyReaderTest, DisksZeroToThreeAreBiosDrives128To131AndTheFloppyIsDrive0) {
  std::vector<std::uint8_t> buffer(2 * kSectorSize);
  for (int n = 0; n < 4; ++n) {
    fake_.calls.clear();
    EXPECT_EQ(reader_.Read(paths_.Get(n), 40, 0, 2, buffer.data()), 1);
    ASSERT_EQ(fake_.calls.size(), 1u);
    const auto& call = fake_.calls[0];
    EXPECT_EQ(call.drive, 128u + n);
    EXPECT_EQ(call.a, 0u);
    EXPECT_EQ(call.b, 0u);
    EXPECT_EQ(call.c, 1u);
    EXPECT_EQ(call.count, 2u);
    EXPECT_EQ(call.low, 40u);
    EXPECT_EQ(call.d, 1u);
  }
  EXPECT_TRUE(SectorIs(buffer, 1, FaultBlockDevice::StampedSector(41)));

  fake_.calls.clear();
  reader_.SetSelectedLabel("1.44\" Floppy");
  EXPECT_EQ(reader_.ReadSectors(3, 0, 1, buffer), 1);
  ASSERT_EQ(fake_.calls.size(), 1u);
  EXPECT_EQ(fake_.calls[0].drive, 0u);
  // Loaded once, for the life of the reader.
  EXPECT_EQ(loader_.loads, std::vector<std::string>{"disk32.dll"});
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_TRUE(opener_.OpenCount(paths_.Get(0)) == 0);
}

TEST_F(LegacyReaderTest, DisksFourToNineFailWithoutReadingAnotherDrive) {
  std::vector<std::uint8_t> buffer(kSectorSize, 0x11);
  for (int n = 4; n < kDevicePathCount; ++n) {
    ReadReport report;
    EXPECT_EQ(reader_.ReadSectors(n, 0, 1, buffer, &report), 0);
    EXPECT_EQ(report.failedSectors, 1u);
  }
  EXPECT_TRUE(fake_.calls.empty());
  EXPECT_TRUE(SectorIsZero(buffer, 0));
}

TEST_F(LegacyReaderTest, SectorNumberIsTruncatedToItsLow32Bits) {
  std::vector<std::uint8_t> buffer(kSectorSize);
  EXPECT_EQ(reader_.ReadSectors(1, (std::uint64_t{3} << 32) + 9, 1, buffer), 1);
  ASSERT_EQ(fake_.calls.size(), 1u);
  EXPECT_EQ(fake_.calls[0].low, 9u);
}

TEST_F(LegacyReaderTest, FailedBulkReadIsRetriedSectorBySectorAndBadSectorsZeroed) {
  int starts = 0;
  reader_.Trigger().SetStart([&] { ++starts; });
  reader_.Trigger().SetOnDiskPage(true);
  fake_.disk->MarkBad(52);
  std::vector<std::uint8_t> buffer(4 * kSectorSize, 0xAB);
  ReadReport report;
  EXPECT_EQ(reader_.ReadSectors(0, 50, 4, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 1u);
  EXPECT_EQ(starts, 1);
  ASSERT_EQ(fake_.calls.size(), 5u);
  for (std::uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(fake_.calls[1 + i].count, 1u);
    EXPECT_EQ(fake_.calls[1 + i].low, 50u + i);
    EXPECT_EQ(fake_.calls[1 + i].drive, 128u);
  }
  EXPECT_TRUE(SectorIs(buffer, 0, FaultBlockDevice::StampedSector(50)));
  EXPECT_TRUE(SectorIs(buffer, 1, FaultBlockDevice::StampedSector(51)));
  EXPECT_TRUE(SectorIsZero(buffer, 2));
  EXPECT_TRUE(SectorIs(buffer, 3, FaultBlockDevice::StampedSector(53)));
}

TEST_F(LegacyReaderTest, MissingLibraryIsReportedOnEveryRead) {
  loader_.present = false;
  std::vector<std::uint8_t> buffer(kSectorSize, 0x42);
  EXPECT_EQ(reader_.ReadSectors(0, 0, 1, buffer), 0);
  EXPECT_EQ(reader_.ReadSectors(0, 0, 1, buffer), 0);
  ASSERT_EQ(feedback_.boxes.size(), 2u);
  for (const auto& box : feedback_.boxes) {
    EXPECT_EQ(box.text, "disk32.dll not found");
    EXPECT_EQ(box.title, "Quarrow");
    EXPECT_EQ(box.icon, MessageIcon::kError);
  }
  EXPECT_EQ(loader_.loads.size(), 2u);
  EXPECT_TRUE(SectorIsZero(buffer, 0));

  // The library appears later: the next read loads it.
  loader_.present = true;
  EXPECT_EQ(reader_.ReadSectors(0, 0, 1, buffer), 1);
  EXPECT_EQ(feedback_.boxes.size(), 2u);
}

TEST_F(LegacyReaderTest, MissingEntryPointIsReportedOnEveryReadAndNeverCalled) {
  loader_.hasEntry = false;
  std::vector<std::uint8_t> buffer(kSectorSize);
  EXPECT_EQ(reader_.ReadSectors(2, 0, 1, buffer), 0);
  EXPECT_EQ(reader_.ReadSectors(2, 0, 1, buffer), 0);
  ASSERT_EQ(feedback_.boxes.size(), 2u);
  EXPECT_EQ(feedback_.boxes[0].text, "Readdisk32 function not found");
  EXPECT_EQ(feedback_.boxes[1].text, "Readdisk32 function not found");
  EXPECT_EQ(feedback_.boxes[1].icon, MessageIcon::kError);
  // The library itself loaded once and stays loaded.
  EXPECT_EQ(loader_.loads.size(), 1u);
  EXPECT_TRUE(fake_.calls.empty());
}

}  // namespace
}  // namespace quarrow
