// The Linux destination check against fake sysfs trees and mount tables (the source devices of
// a real disk are tested in tests/integration/recover_fat_test.cpp with a loop device).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "recovery/mount_table.h"
#include "recovery/posix_destination_guard.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

TEST(MountTableTest, LinesGiveDeviceMountPointTypeAndSourceWithEscapesUndone) {
  const std::string text =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
      "45 27 7:1 / /media/my\\040stick rw,relatime shared:5 master:1 - vfat /dev/loop0p1 rw\n"
      "46 45 0:50 /sub /media/my\\040stick/inner rw - fuseblk /dev/loop0p2 rw,user_id=0\n"
      "garbage line\n"
      "47 27 x:1 / /bad rw - ext4 /dev/x rw\n"
      "48 27 8:1 / /no-dash rw shared:1 ext4 /dev/sda1 rw\n";
  const std::vector<MountEntry> m = ParseMountInfo(text);
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[2].major, 7u);
  EXPECT_EQ(m[2].minor, 1u);
  EXPECT_EQ(m[2].mountPoint, "/media/my stick");
  EXPECT_EQ(m[2].fsType, "vfat");
  EXPECT_EQ(m[2].source, "/dev/loop0p1");
  EXPECT_EQ(m[3].root, "/sub");
  EXPECT_EQ(m[3].source, "/dev/loop0p2");

  EXPECT_EQ(MountHolding(m, "/media/my stick/inner/a/b")->source, "/dev/loop0p2");
  EXPECT_EQ(MountHolding(m, "/media/my stick/innermost")->source, "/dev/loop0p1");
  EXPECT_EQ(MountHolding(m, "/media/my stick")->source, "/dev/loop0p1");
  EXPECT_EQ(MountHolding(m, "/home/user")->source, "/dev/vda");
  EXPECT_EQ(MountHolding(m, "/proc/self")->fsType, "proc");
  EXPECT_EQ(MountHolding({}, "/x"), nullptr);
  // A later mount on the same point hides the earlier one.
  const std::vector<MountEntry> stacked =
      ParseMountInfo("1 0 8:1 / /mnt rw - ext4 /dev/sda1 rw\n2 1 8:2 / /mnt rw - ext4 /dev/sda2 rw\n");
  EXPECT_EQ(MountHolding(stacked, "/mnt/x")->source, "/dev/sda2");
}

class FakeSystem : public ::testing::Test {
 protected:
  FakeSystem() {
    root_ = fs::temp_directory_path() / ("quarrow-guard-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    files_.sysRoot = (root_ / "sys").string();
    files_.mountInfo = (root_ / "mountinfo").string();
    Write("mountinfo", "");
    // loop0 (7:0) with partitions loop0p1 (259:0) and loop0p2 (259:1); loop0p2 is held by dm-0
    // (253:0), which is held by dm-1 (253:1). loop1 (7:1) is another disk, backed by an image.
    Disk("loop0", "7:0");
    Partition("loop0", "loop0p1", "259:0");
    Partition("loop0", "loop0p2", "259:1");
    Holder("sys/block/loop0/loop0p2", "dm-0");
    Disk("dm-0", "253:0");
    Holder("sys/block/dm-0", "dm-1");
    Disk("dm-1", "253:1");
    Disk("loop1", "7:1");
    Write("image.img", "");
    Write("sys/block/loop1/loop/backing_file", (root_ / "image.img").string() + "\n");
    Disk("sda", "8:0");
  }
  ~FakeSystem() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void Write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text;
  }
  void Disk(const std::string& name, const std::string& dev) { Write("sys/block/" + name + "/dev", dev + "\n"); }
  void Partition(const std::string& disk, const std::string& name, const std::string& dev) {
    Write("sys/block/" + disk + "/" + name + "/dev", dev + "\n");
    Write("sys/block/" + disk + "/" + name + "/partition", "1\n");
  }
  void Holder(const std::string& folder, const std::string& name) {
    fs::create_directories(root_ / folder / "holders" / name);
  }
  static std::set<DeviceNumber> Set(std::initializer_list<DeviceNumber> d) { return d; }

  fs::path root_;
  LinuxSystemFiles files_;
};

TEST_F(FakeSystem, ADiskIsItsPartitionsAndWhatIsBuiltOnThem) {
  const std::set<DeviceNumber> loop0 = Set({{7, 0}, {259, 0}, {259, 1}, {253, 0}, {253, 1}});
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {7, 0}), loop0);
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {259, 0}), loop0);  // from a partition: the whole disk
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {8, 0}), Set({{8, 0}}));
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {9, 9}), Set({{9, 9}}));  // unknown to sysfs
  // A holder cycle (a broken tree) ends.
  Holder("sys/block/dm-1", "loop0");
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {7, 0}), loop0);
}

TEST_F(FakeSystem, LoopDevicesAreFoundByTheirBackingFile) {
  EXPECT_EQ(LoopDevicesBackedBy(files_.sysRoot, (root_ / "image.img").string()),
            (std::vector<DeviceNumber>{{7, 1}}));
  // The same file named another way.
  EXPECT_EQ(LoopDevicesBackedBy(files_.sysRoot, (root_ / "sys/../image.img").string()).size(), 1u);
  Write("other.img", "");
  EXPECT_TRUE(LoopDevicesBackedBy(files_.sysRoot, (root_ / "other.img").string()).empty());
}

TEST_F(FakeSystem, DestinationOnASourceDeviceOrItsMountIsRefused) {
  const fs::path dest = root_ / "dest" / "not yet made";
  fs::create_directories(root_ / "dest");
  struct stat st {};
  ASSERT_EQ(::stat((root_ / "dest").c_str(), &st), 0);
  const DeviceNumber here{major(st.st_dev), minor(st.st_dev)};

  // The folder's own device is one of the source's.
  const auto refused = CheckDestinationAgainst(Set({here}), dest.string(), "/dev/sdz", files_);
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(*refused, "the destination " + dest.string() +
                          " is on the disk being recovered (/dev/sdz): files written there could overwrite the "
                          "data still to be recovered; choose a folder on another disk");
  EXPECT_FALSE(CheckDestinationAgainst(Set({{99, 99}}), dest.string(), "/dev/sdz", files_).has_value());
  EXPECT_FALSE(CheckDestinationAgainst({}, dest.string(), "/dev/sdz", files_).has_value());

  // A FUSE mount of a source partition: its files report a device of their own, the table names
  // the partition. /dev/loop7 is a real block device node; its number is what counts.
  struct stat loop {};
  if (::stat("/dev/loop7", &loop) != 0 || !S_ISBLK(loop.st_mode)) GTEST_SKIP() << "no /dev/loop7 here";
  const DeviceNumber loop7{major(loop.st_rdev), minor(loop.st_rdev)};
  Write("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n90 27 0:99 / " + (root_ / "dest").string() +
                         " rw - fuseblk /dev/loop7 rw\n");
  EXPECT_TRUE(CheckDestinationAgainst(Set({loop7}), dest.string(), "/dev/loop7", files_).has_value());
  EXPECT_TRUE(CheckDestinationAgainst(Set({{0, 99}}), dest.string(), "x", files_).has_value());
  EXPECT_FALSE(CheckDestinationAgainst(Set({{7, 200}}), dest.string(), "x", files_).has_value());
  // Outside that mount the same source is no concern.
  EXPECT_FALSE(CheckDestinationAgainst(Set({loop7}), (root_ / "elsewhere").string(), "x", files_).has_value());
}

TEST_F(FakeSystem, LoopDevicesOverOneImageAreOneDisk) {
  // /dev/loop1 and /dev/loop2 are real device nodes here (7:1 and 7:2); the fake sysfs says both
  // read image.img, and a FUSE mount of loop2 holds the destination.
  struct stat one {}, two {};
  if (::stat("/dev/loop1", &one) != 0 || ::stat("/dev/loop2", &two) != 0 || !S_ISBLK(one.st_mode) ||
      one.st_rdev != makedev(7, 1) || two.st_rdev != makedev(7, 2))
    GTEST_SKIP() << "no /dev/loop1 and /dev/loop2 device nodes here";
  Disk("loop2", "7:2");
  Write("sys/block/loop2/loop/backing_file", (root_ / "image.img").string() + "\n");
  EXPECT_EQ(LoopBackingFile(files_.sysRoot, {7, 2}), (root_ / "image.img").string());
  EXPECT_FALSE(LoopBackingFile(files_.sysRoot, {8, 0}).has_value());
  fs::create_directories(root_ / "mnt");
  Write("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n91 27 0:98 / " + (root_ / "mnt").string() +
                         " rw - fuseblk /dev/loop2 rw\n");
  EXPECT_TRUE(CheckDestination("/dev/loop1", (root_ / "mnt/out").string(), files_).has_value());
  EXPECT_TRUE(CheckDestination((root_ / "image.img").string(), (root_ / "mnt/out").string(), files_).has_value());
  EXPECT_FALSE(CheckDestination("/dev/loop1", (root_ / "elsewhere").string(), files_).has_value());
}

TEST_F(FakeSystem, AnImageOnlyCountsWhileALoopDeviceOverItIsMounted) {
  // An image not attached anywhere: writing beside it never writes into it.
  Write("free.img", "");
  EXPECT_FALSE(CheckDestination((root_ / "free.img").string(), (root_ / "out").string(), files_).has_value());
  EXPECT_FALSE(CheckDestination((root_ / "missing.img").string(), (root_ / "out").string(), files_).has_value());
}

}  // namespace
}  // namespace quarrow
