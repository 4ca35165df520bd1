#include "disk/disk_inventory.h"

#include <gtest/gtest.h>

namespace quarrow {
namespace {

DiskRecord Disk(std::uint32_t index, std::string mediaType) {
  DiskRecord d;
  d.Index = index;
  d.MediaType = std::move(mediaType);
  return d;
}

TEST(DiskLabelTest, RemovableMediaIsShortenedWhateverFollows) {
  EXPECT_EQ(DiskLabel(Disk(1, "Removable media other than floppy")), "Removable Media (Disk1)");
  EXPECT_EQ(DiskLabel(Disk(4, "Removable media other than something else")), "Removable Media (Disk4)");
  EXPECT_EQ(DiskLabel(Disk(0, "Fixed hard disk media")), "Fixed hard disk media (Disk0)");
  EXPECT_EQ(DiskLabel(Disk(7, "")), " (Disk7)");
}

TEST(DiskLabelTest, OnlyLabelsLongerThanEightWithRemovableInTheMediaTypeAreListed) {
  EXPECT_TRUE(IsListedDisk(Disk(1, "Removable media other than floppy")));
  EXPECT_TRUE(IsListedDisk(Disk(2, "Removable")));  // "Removable (Disk2)" is 17 characters
  EXPECT_FALSE(IsListedDisk(Disk(0, "Fixed hard disk media")));
  // An empty media type gives the 8-character label " (Disk3)".
  EXPECT_EQ(DiskLabel(Disk(3, "")).size(), 8u);
  EXPECT_FALSE(IsListedDisk(Disk(3, "")));
  // The word is matched with its case.
  EXPECT_FALSE(IsListedDisk(Disk(5, "removable media")));
  EXPECT_FALSE(IsListedDisk(Disk(6, "External hard disk media")));
}

TEST(DiskSizeTest, CapacityComesFromTheGeometry) {
  DiskRecord d = Disk(1, kRemovableMediaType);
  d.TotalCylinders = 16383;
  d.TotalHeads = 16;
  d.SectorsPerTrack = 63;
  d.BytesPerSector = 512;
  // 16383 x 16 x 63 x 512 bytes = 8063.5 MB, truncated.
  EXPECT_EQ(SizeInMb(d), 8063);
  EXPECT_EQ(SizeText(d), "8063 MB");

  // A 2 TB disk: cylinders x bytes per sector alone passes 2^32.
  d.TotalCylinders = 243201;
  d.TotalHeads = 255;
  EXPECT_EQ(SizeInMb(d), 1907726);

  // A missing property makes the size 0, not garbage.
  d.TotalHeads.reset();
  EXPECT_EQ(SizeInMb(d), 0);
}

TEST(DiskDetailsTest, FourteenRowsWithTheirNamesAndValues) {
  DiskRecord d = Disk(2, kRemovableMediaType);
  d.Model = "Generic Flash Disk";
  d.InterfaceType = "USB";
  d.TotalCylinders = 16383;
  d.TotalHeads = 16;
  d.TotalSectors = 16514064;
  d.SectorsPerTrack = 63;
  d.BytesPerSector = 512;
  d.FirmwareRevision = "8.07";
  d.PNPDeviceID = "USBSTOR\\DISK&VEN_GENERIC";
  d.SerialNumber = "ABC123";
  d.SystemName = "BENCH";
  d.DeviceID = "\\\\.\\PHYSICALDRIVE2";
  const auto rows = DiskDetailRows(d);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"1. Model :", "Generic Flash Disk"},
      {"2. MediaType :", "Removable media other than floppy"},
      {"3. Interface Type :", "USB"},
      {"4. Capacity(size) :", "8063 MB"},
      {"5. Cylinders :", "16383"},
      {"6. Heads :", "16"},
      {"7. Sectors :", "16514064"},
      {"8. Bytes per Sector :", "512"},
      {"9. Sector per Track :", "63"},
      {"10. Firmware Revision ID :", "8.07"},
      {"11. PNP Device ID :", "USBSTOR\\DISK&VEN_GENERIC"},
      {"12. Serial Number :", "ABC123"},
      {"13. System Name :", "BENCH"},
      {"14. Physical Device ID :", "\\\\.\\PHYSICALDRIVE2"},
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, expected[i].first) << i;
    EXPECT_EQ(rows[i].value, expected[i].second) << i;
  }

  // Missing properties show as empty text.
  const auto bare = DiskDetailRows(Disk(0, ""));
  EXPECT_EQ(bare[4].value, "");
  EXPECT_EQ(bare[5].value, "");
  EXPECT_EQ(bare[3].value, "0 MB");
}

TEST(DiskDetailsTest, SelectedValuesKeepTheFullSectorCount) {
  DiskRecord d = Disk(1, kRemovableMediaType);
  d.Model = "Big";
  SetGeometry(d, 3'000'000'000'000ull, 255, 63, 512);
  const SelectedDiskValues v = SelectedValuesOf(d);
  EXPECT_EQ(v.totalSectors, 3'000'000'000'000ull / 512);
  // The 32-bit copy saturates instead of wrapping to a small count.
  EXPECT_EQ(v.totalSectors32, 0xFFFFFFFFu);
  EXPECT_EQ(v.totalSectorsText, std::to_string(3'000'000'000'000ull / 512));
  EXPECT_EQ(v.cylindersText, "364729");
  EXPECT_EQ(v.headsText, "255");
  EXPECT_EQ(v.sectorsPerTrackText, "63");
  EXPECT_EQ(v.modelText, "Big");
  EXPECT_EQ(v.sizeText, std::to_string(v.sizeMb) + " MB");
  // The geometry covers whole cylinders only, so it never claims more than the disk has.
  EXPECT_LE(v.sizeMb, static_cast<std::int64_t>(3'000'000'000'000ull / 1048576));
  EXPECT_GT(v.sizeMb, static_cast<std::int64_t>(3'000'000'000'000ull / 1048576) - 8);
}

TEST(DiskGeometryTest, FourKilobyteSectorsStillCountFiveHundredTwelveByteSectors) {
  DiskRecord d;
  SetGeometry(d, 64ull * 1024 * 1024 * 1024, 255, 63, 4096);
  EXPECT_EQ(*d.TotalSectors, 64ull * 1024 * 1024 * 2);
  EXPECT_EQ(*d.BytesPerSector, 4096u);
  EXPECT_EQ(*d.TotalTracks, *d.TotalCylinders * 255);
  EXPECT_EQ(*d.TracksPerCylinder, 255u);
  // The capacity of the geometry is the disk's, within one cylinder.
  EXPECT_NEAR(static_cast<double>(SizeInMb(d)), 65536.0, 255.0 * 63 * 4096 / 1048576 + 1);
}

TEST(DiskNumbersTest, ImagesTakeTheNextFreeNumbersUpToNine) {
  std::vector<DiskRecord> disks;
  EXPECT_EQ(NextFreeDiskNumber(disks), 0u);
  disks.push_back(Disk(0, kFixedMediaType));
  disks.push_back(Disk(2, kRemovableMediaType));
  EXPECT_EQ(NextFreeDiskNumber(disks), 1u);
  for (std::uint32_t n : {1u, 3u, 4u, 5u, 6u, 7u, 8u}) disks.push_back(Disk(n, ""));
  EXPECT_EQ(NextFreeDiskNumber(disks), 9u);
  disks.push_back(Disk(9, ""));
  EXPECT_FALSE(NextFreeDiskNumber(disks).has_value());
}

TEST(DiskNumbersTest, AnImageIsARemovableDiskNamedAfterItsFile) {
  const DiskRecord d = ImageDiskRecord(3, "/tmp/cards/camera.img", 64ull * 1024 * 1024 + 1000);
  EXPECT_EQ(d.Index, 3u);
  EXPECT_EQ(d.Model, "camera.img");
  EXPECT_EQ(d.MediaType, "Removable media other than floppy");
  EXPECT_EQ(d.devicePath, "/tmp/cards/camera.img");
  EXPECT_EQ(DiskLabel(d), "Removable Media (Disk3)");
  EXPECT_TRUE(IsListedDisk(d));
  EXPECT_EQ(*d.TotalSectors, (64ull * 1024 * 1024 + 1000) / 512);
  EXPECT_EQ(*d.TotalHeads, 255u);
  EXPECT_EQ(*d.SectorsPerTrack, 63u);
  EXPECT_EQ(*d.TotalCylinders, 8u);  // 64 MB over 8225280-byte cylinders
  EXPECT_EQ(SizeInMb(d), 62);
}

}  // namespace
}  // namespace quarrow
