#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/feedback.h"
#include "disk/sysfs_inventory.h"

namespace quarrow {
namespace {
namespace fs = std::filesystem;

// A sysfs tree in a temporary folder: devices under devices/..., and block/NAME as a symlink to
// the device's block folder, as the kernel lays them out.
class FakeSysfs {
 public:
  FakeSysfs() {
    static int counter = 0;
    root_ = fs::temp_directory_path() /
            ("quarrow-sysfs-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "block");
  }
  ~FakeSysfs() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string Root() const { return root_.string(); }

  // Adds a disk whose block folder lives at devicePath/block/name; returns that folder.
  fs::path AddDisk(const std::string& name, const std::string& devicePath, std::uint64_t sectors512,
                   const std::string& removable) {
    const fs::path dir = root_ / devicePath / "block" / name;
    fs::create_directories(dir / "queue");
    if (sectors512 != UINT64_MAX) Write(dir / "size", std::to_string(sectors512) + "\n");
    if (!removable.empty()) Write(dir / "removable", removable + "\n");
    fs::create_directory_symlink(fs::relative(dir, root_ / "block"), root_ / "block" / name);
    return dir;
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

 private:
  fs::path root_;
};

const char* kUsbPath = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
const char* kSataPath = "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";

std::vector<DiskRecord> Enumerate(SysfsInventory& inventory) {
  return inventory.Enumerate(NullFeedback());
}

TEST(SysfsInventoryTest, UsbStickIsRemovableAndReadsItsProperties) {
  FakeSysfs sys;
  const fs::path stick = sys.AddDisk("sdb", kUsbPath, 15240576, "1");
  FakeSysfs::Write(stick / "queue" / "logical_block_size", "512\n");
  FakeSysfs::Write(stick / "device" / "vendor", "SanDisk \n");
  FakeSysfs::Write(stick / "device" / "model", "Cruzer Blade    \n");
  FakeSysfs::Write(stick / "device" / "rev", "1.00\n");
  // The serial number lives on the USB device, a few folders above the disk.
  FakeSysfs::Write(fs::path(sys.Root()) / "devices/pci0000:00/0000:00:14.0/usb2/2-1/idVendor", "0781\n");
  FakeSysfs::Write(fs::path(sys.Root()) / "devices/pci0000:00/0000:00:14.0/usb2/2-1/serial", "4C530001\n");

  SysfsInventory inventory(sys.Root(), "/dev");
  inventory.SetSystemName("bench");
  inventory.SetGeometryProbe([](const std::string& node) -> std::optional<DiskGeometry> {
    EXPECT_EQ(node, "/dev/sdb");
    return DiskGeometry{64, 32};
  });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 1u);
  const DiskRecord& d = disks[0];
  EXPECT_EQ(d.Index, 0u);
  EXPECT_EQ(d.MediaType, "Removable media other than floppy");
  EXPECT_EQ(d.InterfaceType, "USB");
  EXPECT_EQ(d.Model, "SanDisk Cruzer Blade");
  EXPECT_EQ(d.FirmwareRevision, "1.00");
  EXPECT_EQ(d.SerialNumber, "4C530001");
  EXPECT_EQ(d.SystemName, "bench");
  EXPECT_EQ(d.DeviceID, "/dev/sdb");
  EXPECT_EQ(d.devicePath, "/dev/sdb");
  EXPECT_EQ(d.PNPDeviceID, std::string(kUsbPath) + "/block/sdb");
  EXPECT_EQ(*d.TotalSectors, 15240576u);
  EXPECT_EQ(*d.TotalHeads, 64u);
  EXPECT_EQ(*d.SectorsPerTrack, 32u);
  EXPECT_EQ(*d.TotalCylinders, 15240576u / (64 * 32));
  EXPECT_EQ(*d.BytesPerSector, 512u);
  EXPECT_EQ(DiskLabel(d), "Removable Media (Disk0)");
  EXPECT_TRUE(IsListedDisk(d));
}

TEST(SysfsInventoryTest, UsbDiskThatSaysFixedIsStillRemovableMedia) {
  FakeSysfs sys;
  sys.AddDisk("sdc", kUsbPath, 1000000, "0");
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].MediaType, kRemovableMediaType);
  // No geometry from the device: 255 heads and 63 sectors per track.
  EXPECT_EQ(*disks[0].TotalHeads, 255u);
  EXPECT_EQ(*disks[0].SectorsPerTrack, 63u);
  EXPECT_EQ(*disks[0].TotalCylinders, 1000000u / (255 * 63));
}

TEST(SysfsInventoryTest, FixedDisksAreEnumeratedButNotListedAndNumberedAfterRemovableOnes) {
  FakeSysfs sys;
  sys.AddDisk("sda", kSataPath, 500000000, "0");
  sys.AddDisk("nvme0n1", "devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", 900000000, "0");
  sys.AddDisk("sdb", kUsbPath, 2000000, "1");
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 3u);
  EXPECT_EQ(disks[0].DeviceID, "/dev/sdb");
  EXPECT_EQ(disks[1].DeviceID, "/dev/nvme0n1");
  EXPECT_EQ(disks[2].DeviceID, "/dev/sda");
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(disks[i].Index, i);
  EXPECT_TRUE(IsListedDisk(disks[0]));
  EXPECT_FALSE(IsListedDisk(disks[1]));
  EXPECT_FALSE(IsListedDisk(disks[2]));
  EXPECT_EQ(disks[2].MediaType, "Fixed hard disk media");
  EXPECT_EQ(disks[2].InterfaceType, "IDE");
  // Without vendor or model files the model is the device name.
  EXPECT_EQ(disks[2].Model, "sda");
}

TEST(SysfsInventoryTest, VirtualOpticalEmptyAndBrokenEntriesAreSkipped) {
  FakeSysfs sys;
  sys.AddDisk("loop0", "devices/virtual/block", 20480, "0");
  sys.AddDisk("zram0", "devices/virtual/block", 8000000, "0");
  sys.AddDisk("sr0", "devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", 2000000, "1");
  sys.AddDisk("sdd", "devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0", 0, "1");
  // A disk without a size file cannot be read.
  sys.AddDisk("sde", "devices/pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host8/target8:0:0/8:0:0:0", UINT64_MAX,
              "1");
  // A garbled size is no size.
  const fs::path odd = sys.AddDisk("sdf", "devices/platform/odd", 1, "1");
  FakeSysfs::Write(odd / "size", "12abc\n");
  // A dangling link.
  fs::create_directory_symlink("../devices/gone/block/sdg", fs::path(sys.Root()) / "block" / "sdg");
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  EXPECT_TRUE(Enumerate(inventory).empty());
}

TEST(SysfsInventoryTest, MissingTreeGivesNoDisks) {
  SysfsInventory inventory("/nonexistent/quarrow-sysfs");
  EXPECT_TRUE(Enumerate(inventory).empty());
}

TEST(SysfsInventoryTest, SdCardsAreRemovableAndSolderedEmmcIsNot) {
  FakeSysfs sys;
  const fs::path sd = sys.AddDisk("mmcblk1", "devices/platform/soc/mmc_host/mmc1/mmc1:aaaa", 62333952, "0");
  FakeSysfs::Write(sd / "device" / "type", "SD\n");
  FakeSysfs::Write(sd / "device" / "name", "SC64G\n");
  FakeSysfs::Write(sd / "device" / "serial", "0x1234abcd\n");
  FakeSysfs::Write(sd / "device" / "fwrev", "0x8\n");
  const fs::path emmc = sys.AddDisk("mmcblk0", "devices/platform/soc/mmc_host/mmc0/mmc0:0001", 30535680, "0");
  FakeSysfs::Write(emmc / "device" / "type", "MMC\n");
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].DeviceID, "/dev/mmcblk1");
  EXPECT_EQ(disks[0].MediaType, kRemovableMediaType);
  EXPECT_EQ(disks[0].Model, "SC64G");
  EXPECT_EQ(disks[0].SerialNumber, "0x1234abcd");
  EXPECT_EQ(disks[0].FirmwareRevision, "0x8");
  EXPECT_EQ(disks[0].InterfaceType, "SD");
  EXPECT_EQ(disks[1].MediaType, kFixedMediaType);
}

TEST(SysfsInventoryTest, NumbersStopAtNine) {
  FakeSysfs sys;
  for (int i = 0; i < 12; ++i) {
    const std::string name = std::string("sd") + static_cast<char>('a' + i);
    sys.AddDisk(name, "devices/pci0000:00/usb1/1-" + std::to_string(i) + "/host/target/lun", 4096, "1");
  }
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 10u);
  EXPECT_EQ(disks[9].Index, 9u);
  EXPECT_EQ(disks[9].DeviceID, "/dev/sdj");
}

TEST(SysfsInventoryTest, FourKilobyteBlocksAreReported) {
  FakeSysfs sys;
  const fs::path disk = sys.AddDisk("sdb", kUsbPath, 2ull * 1024 * 1024 * 1024 / 512, "1");
  FakeSysfs::Write(disk / "queue" / "logical_block_size", "4096\n");
  SysfsInventory inventory(sys.Root());
  inventory.SetGeometryProbe([](const std::string&) { return std::nullopt; });
  const auto disks = Enumerate(inventory);
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(*disks[0].BytesPerSector, 4096u);
  // Sector counts stay in 512-byte sectors; the capacity is the disk's, less than one
  // (255 x 63 x 4096-byte) cylinder.
  EXPECT_EQ(*disks[0].TotalSectors, 4194304u);
  EXPECT_GT(SizeInMb(disks[0]), 2048 - 63);
  EXPECT_LE(SizeInMb(disks[0]), 2048);
}

// The real machine: nothing here is removable and its own disk cannot be opened; enumerating
// must not fail or list it.
TEST(SysfsInventoryTest, RealSysfsDoesNotCrash) {
  SysfsInventory inventory;
  const auto disks = Enumerate(inventory);
  for (const auto& d : disks) {
    EXPECT_LE(d.Index, kMaxDiskNumber);
    EXPECT_FALSE(d.DeviceID.empty());
    EXPECT_GT(*d.TotalSectors, 0u);
  }
}

}  // namespace
}  // namespace quarrow
