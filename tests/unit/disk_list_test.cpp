#include "disk/disk_list.h"

#include <gtest/gtest.h>

#include "core/feedback.h"
#include "disk/fault_block_device.h"

namespace quarrow {
namespace {

class FakeInventory : public DiskInventoryBackend {
 public:
  std::vector<DiskRecord> disks;
  int calls = 0;
  std::vector<DiskRecord> Enumerate(Feedback&) override {
    ++calls;
    return disks;
  }
};

DiskRecord Machine(std::uint32_t index, const std::string& media, const std::string& path) {
  DiskRecord d;
  d.Index = index;
  d.MediaType = media;
  d.devicePath = path;
  d.Model = "disk " + path;
  SetGeometry(d, 1 << 30, 255, 63, 512);
  return d;
}

class DiskListTest : public ::testing::Test {
 protected:
  DiskListTest() {
    inventory_.disks = {Machine(0, kFixedMediaType, "/dev/sda"), Machine(1, kRemovableMediaType, "/dev/sdb")};
    opener_.Add("card.img", std::make_shared<FaultBlockDevice>(2048 * kSectorSize));
    opener_.Add("/dev/sdb", std::make_shared<FaultBlockDevice>(4096 * kSectorSize));
  }

  FakeInventory inventory_;
  FaultDeviceOpener opener_;
  DevicePathTable paths_;
  DiskList list_{paths_, opener_};
};

TEST_F(DiskListTest, PathTableEntryNIsThePathOfDiskN) {
  list_.Refresh(&inventory_, NullFeedback());
  EXPECT_EQ(paths_.Get(0), "/dev/sda");
  EXPECT_EQ(paths_.Get(1), "/dev/sdb");
  EXPECT_EQ(paths_.Get(2), DevicePathTable::DefaultPath(2));
  ASSERT_TRUE(list_.AddImage("card.img", nullptr));
  EXPECT_EQ(paths_.Get(2), "card.img");

  // A refresh forgets disks that went away and their paths.
  inventory_.disks = {Machine(0, kRemovableMediaType, "/dev/sdc")};
  list_.Refresh(&inventory_, NullFeedback());
  EXPECT_EQ(paths_.Get(0), "/dev/sdc");
  EXPECT_EQ(paths_.Get(1), DevicePathTable::DefaultPath(1));
  EXPECT_EQ(paths_.Get(2), DevicePathTable::DefaultPath(2));
  EXPECT_EQ(list_.Enumerated().size(), 1u);
}

TEST_F(DiskListTest, OnlyRemovableDisksAndImagesAreListedInNumberOrder) {
  inventory_.disks.push_back(Machine(4, kRemovableMediaType, "/dev/sdd"));
  list_.Refresh(&inventory_, NullFeedback());
  ASSERT_TRUE(list_.AddImage("card.img", nullptr));
  const auto listed = list_.Listed();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0]->Index, 1u);
  EXPECT_EQ(listed[1]->Index, 2u);  // the image took the lowest free number
  EXPECT_EQ(listed[1]->Model, "card.img");
  EXPECT_EQ(listed[2]->Index, 4u);
  // The fixed disk is enumerated all the same.
  EXPECT_EQ(list_.Enumerated().size(), 4u);
}

TEST_F(DiskListTest, WindowsRecordsWithoutAPathKeepTheRawDriveName) {
  inventory_.disks = {Machine(3, kRemovableMediaType, "")};
  list_.Refresh(&inventory_, NullFeedback());
  EXPECT_EQ(list_.PathOf(*list_.Listed().at(0)), "\\\\.\\PhysicalDrive3");
}

TEST_F(DiskListTest, NumbersAboveNineAndDuplicatesAreDropped) {
  inventory_.disks = {Machine(12, kRemovableMediaType, "/dev/sdx"),
                      Machine(1, kRemovableMediaType, "/dev/sdb"),
                      Machine(1, kRemovableMediaType, "/dev/sdy")};
  list_.Refresh(&inventory_, NullFeedback());
  ASSERT_EQ(list_.Enumerated().size(), 1u);
  EXPECT_EQ(paths_.Get(1), "/dev/sdb");
}

TEST_F(DiskListTest, ImagesThatCannotBeAddedSayWhy) {
  list_.Refresh(&inventory_, NullFeedback());
  std::string error;
  EXPECT_FALSE(list_.AddImage("missing.img", &error));
  EXPECT_EQ(error, "cannot open missing.img: No such file or directory");
  opener_.FailOpen("locked.img",
                   "cannot open locked.img: Permission denied (run as root or join the disk group)");
  EXPECT_FALSE(list_.AddImage("locked.img", &error));
  EXPECT_EQ(error, "cannot open locked.img: Permission denied (run as root or join the disk group)");

  // The same image twice is one disk.
  ASSERT_TRUE(list_.AddImage("card.img", &error));
  ASSERT_TRUE(list_.AddImage("card.img", &error));
  EXPECT_EQ(list_.Enumerated().size(), 3u);

  // Every number taken.
  for (int n = 0; n < 7; ++n) {
    const std::string name = "extra" + std::to_string(n) + ".img";
    opener_.Add(name, std::make_shared<FaultBlockDevice>(kSectorSize));
    ASSERT_TRUE(list_.AddImage(name, &error)) << error;
  }
  opener_.Add("one-too-many.img", std::make_shared<FaultBlockDevice>(kSectorSize));
  EXPECT_FALSE(list_.AddImage("one-too-many.img", &error));
  EXPECT_EQ(error, "too many disks for one-too-many.img: disk numbers stop at 9");
}

TEST_F(DiskListTest, ResolveTakesListedNumbersOrPaths) {
  list_.Refresh(&inventory_, NullFeedback());
  std::string error;
  const DiskRecord* disk = list_.Resolve("1", &error);
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->devicePath, "/dev/sdb");
  EXPECT_EQ(list_.Resolve("/dev/sdb", &error), disk);

  // A fixed disk is not offered, by number or by path.
  EXPECT_EQ(list_.Resolve("0", &error), nullptr);
  EXPECT_EQ(error, "no disk 0 (see 'quarrow disks')");
  EXPECT_EQ(list_.Resolve("/dev/sda", &error), nullptr);
  EXPECT_EQ(error, "/dev/sda is not a removable disk (see 'quarrow disks')");
  EXPECT_EQ(list_.Resolve("7", &error), nullptr);
  EXPECT_EQ(list_.Resolve("123", &error), nullptr);  // not a disk number: taken as a path

  // A path never named before becomes a disk with the next free number.
  const DiskRecord* image = list_.Resolve("card.img", &error);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Index, 2u);
  // Pointers handed out earlier still name their disks.
  EXPECT_EQ(disk->devicePath, "/dev/sdb");
  EXPECT_EQ(list_.Resolve("2", &error), image);
}

TEST_F(DiskListTest, NoBackendListsImagesOnly) {
  list_.Refresh(nullptr, NullFeedback());
  EXPECT_TRUE(list_.Enumerated().empty());
  ASSERT_TRUE(list_.AddImage("card.img", nullptr));
  EXPECT_EQ(list_.Listed().at(0)->Index, 0u);
  EXPECT_EQ(paths_.Get(0), "card.img");
}

}  // namespace
}  // namespace quarrow
