// The Linux destination check against fake sysfs trees and mount tables (a real loop device and
// mount are tested in tests/integration/recover_fat_test.cpp).
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
  const std::vector<MountEntry> m = ParseMountInfo(
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "45 27 7:1 / /media/my\\040stick rw shared:5 master:1 - vfat /dev/loop0p1 rw\n"
      "46 45 0:50 /sub /media/my\\040stick/inner rw - fuseblk /dev/loop0p2 rw,user_id=0\n"
      "garbage\n47 27 x:1 / /bad rw - ext4 /dev/x rw\n48 27 8:1 / /no-dash rw shared:1 ext4 /dev/sda1 rw\n"
      "1 0 8:1 / /mnt rw - ext4 /dev/sda1 rw\n2 1 8:2 / /mnt rw - ext4 /dev/sda2 rw\n");
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[1].major, 7u);
  EXPECT_EQ(m[1].minor, 1u);
  EXPECT_EQ(m[1].mountPoint, "/media/my stick");
  EXPECT_EQ(m[1].fsType, "vfat");
  EXPECT_EQ(m[2].root, "/sub");
  const std::vector<std::pair<std::string, std::string>> holding = {
      {"/media/my stick/inner/a", "/dev/loop0p2"},
      {"/media/my stick/innermost", "/dev/loop0p1"},
      {"/media/my stick", "/dev/loop0p1"},
      {"/home/user", "/dev/vda"},
      {"/mnt/x", "/dev/sda2"},  // the later mount on a point hides the earlier one
  };
  for (const auto& [path, source] : holding) EXPECT_EQ(MountHolding(m, path)->source, source) << path;
  EXPECT_EQ(MountHolding({}, "/x"), nullptr);
}

// A fake system: loop0 (7:0) with partitions 259:0 and 259:1, the second held by dm-0 (253:0),
// held in turn by dm-1 (253:1); loop1 (7:1) reads image.img; sda (8:0).
class FakeSystem : public ::testing::Test {
 protected:
  FakeSystem() {
    root_ = fs::temp_directory_path() / ("quarrow-guard-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    files_ = {(root_ / "sys").string(), (root_ / "mountinfo").string()};
    Write("mountinfo", "");
    Write("image.img", "");
    for (const auto& [name, dev] : std::vector<std::pair<std::string, std::string>>{
             {"loop0", "7:0"}, {"dm-0", "253:0"}, {"dm-1", "253:1"}, {"loop1", "7:1"}, {"sda", "8:0"}})
      Write("sys/block/" + name + "/dev", dev + "\n");
    for (const auto& [name, dev] :
         std::vector<std::pair<std::string, std::string>>{{"loop0p1", "259:0"}, {"loop0p2", "259:1"}}) {
      Write("sys/block/loop0/" + name + "/dev", dev + "\n");
      Write("sys/block/loop0/" + name + "/partition", "1\n");
    }
    fs::create_directories(root_ / "sys/block/loop0/loop0p2/holders/dm-0");
    fs::create_directories(root_ / "sys/block/dm-0/holders/dm-1");
    Write("sys/block/loop1/loop/backing_file", (root_ / "image.img").string() + "\n");
  }
  ~FakeSystem() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void Write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text;
  }
  static std::set<DeviceNumber> Set(std::initializer_list<DeviceNumber> d) { return d; }
  static std::optional<DeviceNumber> Node(const char* path) {
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return DeviceNumber{major(st.st_rdev), minor(st.st_rdev)};
  }
  std::optional<std::string> Check(const std::set<DeviceNumber>& source, const fs::path& dest) {
    return CheckDestinationAgainst(source, {}, dest.string(), "/dev/sdz", files_);
  }

  fs::path root_;
  LinuxSystemFiles files_;
};

TEST_F(FakeSystem, ADiskIsItsPartitionsAndWhatIsBuiltOnThem) {
  const std::set<DeviceNumber> loop0 = Set({{7, 0}, {259, 0}, {259, 1}, {253, 0}, {253, 1}});
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {7, 0}), loop0);
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {259, 0}), loop0);  // from a partition: the whole disk
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {8, 0}), Set({{8, 0}}));
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {9, 9}), Set({{9, 9}}));  // unknown to sysfs
  fs::create_directories(root_ / "sys/block/dm-1/holders/loop0");   // a holder cycle ends
  EXPECT_EQ(DevicesOfDisk(files_.sysRoot, {7, 0}), loop0);
  // Loop devices by their backing file, however the file is named.
  EXPECT_EQ(LoopDevicesBackedBy(files_.sysRoot, (root_ / "sys/../image.img").string()),
            (std::vector<DeviceNumber>{{7, 1}}));
  Write("other.img", "");
  EXPECT_TRUE(LoopDevicesBackedBy(files_.sysRoot, (root_ / "other.img").string()).empty());
  EXPECT_EQ(LoopBackingFile(files_.sysRoot, {7, 1}), (root_ / "image.img").string());
  EXPECT_FALSE(LoopBackingFile(files_.sysRoot, {8, 0}).has_value());
}

TEST_F(FakeSystem, DestinationOnASourceDeviceOrInAMountOfOneIsRefused) {
  fs::create_directories(root_ / "dest");
  const fs::path dest = root_ / "dest" / "not yet made";
  struct stat st {};
  ASSERT_EQ(::stat((root_ / "dest").c_str(), &st), 0);
  EXPECT_EQ(
      Check(Set({{major(st.st_dev), minor(st.st_dev)}}), dest),
      "the destination " + dest.string() +
          " is on the disk being recovered (/dev/sdz): files written there could overwrite the data still "
          "to be recovered; choose a folder on another disk");
  EXPECT_FALSE(Check(Set({{99, 99}}), dest).has_value());
  EXPECT_FALSE(Check({}, dest).has_value());
  // A FUSE mount of a source partition gives its files a device of its own; the table names the
  // partition. /dev/loop7 is a real device node; only its number counts.
  const std::optional<DeviceNumber> loop7 = Node("/dev/loop7");
  if (!loop7) GTEST_SKIP() << "no /dev/loop7 here";
  Write("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n90 27 0:99 / " + (root_ / "dest").string() +
                         " rw - fuseblk /dev/loop7 rw\n");
  EXPECT_TRUE(Check(Set({*loop7}), dest).has_value());
  EXPECT_TRUE(Check(Set({{0, 99}}), dest).has_value());
  EXPECT_FALSE(Check(Set({{7, 200}}), dest).has_value());
  EXPECT_FALSE(Check(Set({*loop7}), root_ / "elsewhere").has_value());
}

TEST_F(FakeSystem, AnImageIsTheLoopDevicesOverItAndTwoLoopDevicesOverOneImageAreOneDisk) {
  Write("free.img", "");
  EXPECT_FALSE(CheckDestination((root_ / "free.img").string(), (root_ / "out").string(), files_).has_value());
  EXPECT_FALSE(
      CheckDestination((root_ / "missing.img").string(), (root_ / "out").string(), files_).has_value());
  // /dev/loop1 and /dev/loop2 are real nodes (7:1, 7:2); the fake sysfs says both read image.img,
  // and a FUSE mount of loop2 holds the destination.
  if (Node("/dev/loop1") != DeviceNumber{7, 1} || Node("/dev/loop2") != DeviceNumber{7, 2})
    GTEST_SKIP() << "no /dev/loop1 and /dev/loop2 device nodes here";
  Write("sys/block/loop2/dev", "7:2\n");
  Write("sys/block/loop2/loop/backing_file", (root_ / "image.img").string() + "\n");
  fs::create_directories(root_ / "mnt");
  Write("mountinfo", "91 27 0:98 / " + (root_ / "mnt").string() + " rw - fuseblk /dev/loop2 rw\n");
  EXPECT_TRUE(CheckDestination("/dev/loop1", (root_ / "mnt/out").string(), files_).has_value());
  EXPECT_TRUE(
      CheckDestination((root_ / "image.img").string(), (root_ / "mnt/out").string(), files_).has_value());
  EXPECT_FALSE(CheckDestination("/dev/loop1", (root_ / "elsewhere").string(), files_).has_value());
}

// ntfs-3g mounts an image file as it is, with no loop device: the mount table names the file. A
// destination in that mount is the image being read, under whatever name the mount gives it; a
// copy of the image is another disk.
TEST_F(FakeSystem, AMountOfTheImageFileItselfIsTheSource) {
  Write("copy.img", "");
  fs::create_hard_link(root_ / "image.img", root_ / "linked.img");
  fs::create_directories(root_ / "mnt");
  const std::string out = (root_ / "mnt/out").string();
  struct Case {
    std::string mounted;  // the mount's source
    std::string read;     // the image recovered
    bool refused;
  };
  const std::vector<Case> cases = {
      {(root_ / "image.img").string(), (root_ / "image.img").string(), true},
      {(root_ / "linked.img").string(), (root_ / "sys/../image.img").string(), true},
      {(root_ / "copy.img").string(), (root_ / "image.img").string(), false},
      {(root_ / "image.img").string(), (root_ / "copy.img").string(), false},
      {"image.img", (root_ / "image.img").string(), false},  // not a path the kernel keeps
  };
  for (const Case& c : cases) {
    Write("mountinfo", "27 1 254:0 / / rw - ext4 /dev/vda rw\n92 27 0:97 / " + (root_ / "mnt").string() +
                           " rw,nosuid - fuseblk " + c.mounted + " rw,user_id=0\n");
    const std::optional<std::string> refused = CheckDestination(c.read, out, files_);
    EXPECT_EQ(refused.has_value(), c.refused) << c.mounted << " / " << c.read;
    if (refused) {
      EXPECT_NE(refused->find("is on the disk being recovered (" + c.read + ")"), std::string::npos);
    }
  }
  EXPECT_FALSE(
      CheckDestination((root_ / "image.img").string(), (root_ / "out").string(), files_).has_value());
}

}  // namespace
}  // namespace quarrow
