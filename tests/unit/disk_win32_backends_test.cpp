// The Windows backends on the machine they run on (a Windows, or wine): image files read through
// CreateFileA/SetFilePointer/ReadFile, the parameter store in the registry, and what WMI answers
// for Win32_DiskDrive.
#include <windows.h>
// windows.h renames MessageBox, which would hide Feedback::MessageBox.
#undef MessageBox
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "disk/parameter_store.h"
#include "disk/platform.h"
#include "disk/registry_param_store.h"
#include "disk/win32_block_device.h"
#include "disk/wmi_inventory.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

// A byte pattern in which every 512-byte sector differs from every other one.
std::uint8_t PatternByte(std::uint64_t offset) {
  const std::uint64_t sector = offset / 512;
  return static_cast<std::uint8_t>((offset * 7) ^ (sector * 131) ^ (sector >> 8));
}

class Win32BlockDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = fs::temp_directory_path() /
           ("quarrow-win32-" + std::to_string(::GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".img");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(path, ec);
  }
  // Writes `length` pattern bytes at `offset` (the file grows to hold them).
  void WritePattern(std::uint64_t offset, std::uint64_t length) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) out.open(path, std::ios::binary | std::ios::out);
    ASSERT_TRUE(out.good());
    out.seekp(static_cast<std::streamoff>(offset));
    std::vector<char> bytes(length);
    for (std::uint64_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(PatternByte(offset + i));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
  }
  // The same bytes read with the standard library, as the POSIX backend's pread would give them.
  std::vector<std::uint8_t> StreamRead(std::uint64_t offset, std::size_t length) const {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    EXPECT_EQ(in.gcount(), static_cast<std::streamsize>(length));
    return bytes;
  }
  fs::path path;
};

TEST_F(Win32BlockDeviceTest, ReadsTheSameSectorsAsTheStandardLibraryBelowAndAbove4GiB) {
  // The file is sparse where nothing was written: a few MiB at the start and past 4 GiB + 512 KiB.
  constexpr std::uint64_t kHigh = (std::uint64_t{1} << 32) + 512 * 1024;
  WritePattern(0, 4 << 20);
  WritePattern(kHigh, 1 << 20);
  Win32DeviceOpener opener;
  std::string error;
  const std::unique_ptr<BlockDevice> device = opener.Open(path.string(), &error);
  ASSERT_NE(device, nullptr) << error;
  EXPECT_EQ(device->SizeBytes(), kHigh + (1 << 20));
  struct Read {
    std::uint64_t offset;
    std::size_t length;
  };
  const std::vector<Read> reads = {
      {0, 512},                           // the first sector
      {512 * 7, 512 * 3},                 // a few sectors inside
      {0, 1024 * 512},                    // a bulk read of 1024 sectors
      {3 << 20, 1 << 20},                 // the last MiB written at the start
      {kHigh, 512},                       // a sector whose byte offset needs more than 32 bits
      {kHigh + 512 * 100, 1024 * 512},    // and a bulk read up there
      {kHigh - 4096, 8192},               // across the boundary of the written bytes
  };
  for (const Read& r : reads) {
    SCOPED_TRACE(r.offset);
    std::vector<std::uint8_t> got(r.length, 0xEE);
    ASSERT_TRUE(device->ReadAt(r.offset, got));
    EXPECT_EQ(got, StreamRead(r.offset, r.length));
  }
  // Reads that run past the end are failures, not short successes.
  std::vector<std::uint8_t> tail(1024);
  EXPECT_FALSE(device->ReadAt(device->SizeBytes() - 512, tail));
  EXPECT_FALSE(device->ReadAt(device->SizeBytes() + 512, std::span(tail).first(512)));
}

TEST_F(Win32BlockDeviceTest, ReadsTheTestDiskImagesAsTheStandardLibraryDoes) {
  const fs::path disks = QUARROW_TEST_DISKS_DIR;
  std::vector<fs::path> images;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(disks, ec)) {
    if (entry.path().extension() == ".img") images.push_back(entry.path());
  }
  if (images.empty()) GTEST_SKIP() << "no test disk images in " << disks.string();
  std::sort(images.begin(), images.end());
  Win32DeviceOpener opener;
  for (const fs::path& image : images) {
    SCOPED_TRACE(image.string());
    path = image;  // StreamRead reads it; TearDown must not remove it
    std::string error;
    const std::unique_ptr<BlockDevice> device = opener.Open(image.string(), &error);
    ASSERT_NE(device, nullptr) << error;
    ASSERT_EQ(device->SizeBytes(), fs::file_size(image));
    // The first 64 sectors and 64 sectors from the middle: tables, boot sectors, FATs, data.
    for (const std::uint64_t offset : {std::uint64_t{0}, device->SizeBytes() / 1024 * 512}) {
      const std::size_t length = std::min<std::uint64_t>(64 * 512, device->SizeBytes() - offset);
      std::vector<std::uint8_t> got(length);
      ASSERT_TRUE(device->ReadAt(offset, got));
      EXPECT_EQ(got, StreamRead(offset, length)) << offset;
    }
  }
  path.clear();
}

TEST_F(Win32BlockDeviceTest, AMissingPathOrDriveIsRefusedWithTheSystemsReason) {
  Win32DeviceOpener opener;
  std::string error;
  EXPECT_EQ(opener.Open(path.string(), &error), nullptr);
  EXPECT_NE(error.find("cannot open " + path.string() + ": "), std::string::npos) << error;
  EXPECT_GT(error.size(), ("cannot open " + path.string() + ": ").size());
  // No physical drive of that number exists (wine has none at all).
  error.clear();
  EXPECT_EQ(opener.Open("\\\\.\\PhysicalDrive9", &error), nullptr);
  EXPECT_EQ(error.rfind("cannot open \\\\.\\PhysicalDrive9: ", 0), 0u) << error;
  std::cout << "[ answer  ] \\\\.\\PhysicalDrive9: " << error << "\n";
}

// A private key for the tests, so that a run never touches the store the program itself keeps.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  void Clean() {
    for (const std::string& sub : ParameterSubkeys()) store.DeleteKey(std::string(kParameterKey) + "\\" + sub);
    store.DeleteKey(std::string(kParameterKey) + "\\DisplayDevice");
    store.DeleteKey(kParameterKey);
  }
  // The raw registry value as Windows keeps it: its type and byte length.
  static bool RawValue(const std::string& key, const std::string& name, DWORD* type, DWORD* size) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    const bool ok = ::RegQueryValueExA(handle, name.c_str(), nullptr, type, nullptr, size) == ERROR_SUCCESS;
    ::RegCloseKey(handle);
    return ok;
  }
  RegistryParameterStore store;
};

TEST_F(RegistryStoreTest, ValuesAreWrittenReadAndDeletedUnderHkeyClassesRoot) {
  const std::string model = std::string(kParameterKey) + "\\Model";
  EXPECT_FALSE(store.KeyExists(kParameterKey));
  ASSERT_TRUE(store.CreateKey(model));  // parents are made on the way
  EXPECT_TRUE(store.KeyExists(kParameterKey));
  ASSERT_TRUE(store.SetString(model, "Disk1", "USB Flash Disk"));
  ASSERT_TRUE(store.SetString(model, "Disk2", ""));
  EXPECT_EQ(store.Values(model),
            (std::map<std::string, std::string>{{"Disk1", "USB Flash Disk"}, {"Disk2", ""}}));
  // The store hands over the text without its NUL; the registry (Windows and wine alike) adds the
  // NUL it finds right after the data, and nothing more.
  DWORD type = 0, size = 0;
  ASSERT_TRUE(RawValue(model, "Disk1", &type, &size));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_GE(size, 14u);
  EXPECT_LE(size, 15u);
  EXPECT_TRUE(store.DeleteValue(model, "Disk1"));
  EXPECT_FALSE(store.DeleteValue(model, "Disk1"));
  EXPECT_EQ(store.Values(model), (std::map<std::string, std::string>{{"Disk2", ""}}));
  EXPECT_FALSE(store.DeleteKey(kParameterKey)) << "a key with a subkey stays";
  EXPECT_TRUE(store.DeleteKey(model));
  EXPECT_TRUE(store.DeleteKey(kParameterKey));
  EXPECT_FALSE(store.KeyExists(kParameterKey));
  EXPECT_TRUE(store.Values(model).empty());
}

TEST_F(RegistryStoreTest, ARefreshLeavesOneValuePerDiskInTheKeyAndEachSubkey) {
  DiskRecord a;
  a.Index = 1;
  a.Model = "Card Reader";
  a.MediaType = "Removable Media";
  a.TotalCylinders = 16383;
  a.TotalHeads = 16;
  a.SectorsPerTrack = 63;
  a.BytesPerSector = 512;
  DiskRecord b = a;
  b.Index = 3;
  b.Model = "Stick";
  // An earlier refresh saw a disk 7 that is gone now.
  DiskRecord gone;
  gone.Index = 7;
  ASSERT_EQ(RewriteParameterStore(store, {a, b, gone}), ParameterStoreStatus::kOk);
  ASSERT_EQ(RewriteParameterStore(store, {a, b}), ParameterStoreStatus::kOk);
  EXPECT_EQ(store.Values(kParameterKey),
            (std::map<std::string, std::string>{{"Disk1", "Disk1"}, {"Disk3", "Disk3"}}));
  const std::string key = kParameterKey;
  EXPECT_EQ(store.Values(key + "\\Model"),
            (std::map<std::string, std::string>{{"Disk1", "Card Reader"}, {"Disk3", "Stick"}}));
  EXPECT_EQ(store.Values(key + "\\Size").at("Disk1"), "8063 MB");
  EXPECT_EQ(store.Values(key + "\\Head").at("Disk3"), "16");
  for (const std::string& sub : ParameterSubkeys()) {
    SCOPED_TRACE(sub);
    EXPECT_EQ(store.Values(key + "\\" + sub).size(), 2u);
  }
  // The store the platform hands out is this one.
  EXPECT_EQ(MakeParameterStore("").location, "HKEY_CLASSES_ROOT\\QRWDSK_param_E");
}

// What WMI answers depends on the machine: a real Windows lists its disks, wine answers with a
// list whose geometry properties are missing, or fails at one of the steps. Whatever the answer,
// a failure is one of the system's own messages and a disk carries what the reader needs.
TEST(WmiInventoryTest, AnswersWithDisksOrOneOfItsFailureMessages) {
  test_support::RecordingFeedback feedback;
  WmiInventory inventory;
  const std::vector<DiskRecord> disks = inventory.Enumerate(feedback);
  const std::vector<std::string> failures = {"Failed to initialize COM library",
                                             "Failed to create IWbemLocator object.",
                                             "Could not connect. Error code",
                                             "Could not set proxy blanket. Error code"};
  for (const auto& box : feedback.boxes) {
    std::cout << "[ answer  ] WMI message: " << box.text << "\n";
    EXPECT_NE(std::find(failures.begin(), failures.end(), box.text), failures.end()) << box.text;
    EXPECT_EQ(box.title, kProductTitle);
  }
  EXPECT_LE(feedback.boxes.size(), 1u);
  if (!feedback.boxes.empty()) {
    EXPECT_TRUE(disks.empty());
  }
  for (const DiskRecord& d : disks) {
    std::cout << "[ answer  ] Win32_DiskDrive Index=" << d.Index << " Model=\"" << d.Model << "\" MediaType=\""
              << d.MediaType << "\" DeviceID=\"" << d.DeviceID << "\" TotalSectors="
              << (d.TotalSectors ? std::to_string(*d.TotalSectors) : "(missing)") << " TotalCylinders="
              << (d.TotalCylinders ? std::to_string(*d.TotalCylinders) : "(missing)") << "\n";
    EXPECT_LT(d.Index, 0xFFFFFFFFu);
    // The device path of a disk ends in its number.
    if (!d.DeviceID.empty()) {
      EXPECT_EQ(d.DeviceID.substr(d.DeviceID.size() - std::to_string(d.Index).size()), std::to_string(d.Index))
          << d.DeviceID;
    }
  }
  std::cout << "[ answer  ] Win32_DiskDrive: " << disks.size() << " disk(s), " << feedback.boxes.size()
            << " message(s)\n";
}

}  // namespace
}  // namespace quarrow
