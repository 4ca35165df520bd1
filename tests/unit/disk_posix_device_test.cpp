#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "core/bytes.h"
#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"

namespace quarrow {
namespace {
namespace fs = std::filesystem;

class PosixDeviceTest : public ::testing::Test {
 protected:
  PosixDeviceTest() {
    dir_ = fs::temp_directory_path() / ("quarrow-posix-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    image_ = (dir_ / "ten.img").string();
    std::ofstream out(image_, std::ios::binary);
    // Ten sectors, each filled with its own number, and half a sector more.
    for (int s = 0; s < 10; ++s) out << std::string(kSectorSize, static_cast<char>('A' + s));
    out << std::string(kSectorSize / 2, 'z');
  }
  ~PosixDeviceTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path dir_;
  std::string image_;
  PosixDeviceOpener opener_;
};

TEST_F(PosixDeviceTest, ImageFileReadsAtByteOffsetsAndFailsPastItsEnd) {
  std::string error;
  auto device = opener_.Open(image_, &error);
  ASSERT_NE(device, nullptr) << error;
  EXPECT_EQ(device->SizeBytes(), 10 * kSectorSize + kSectorSize / 2);
  EXPECT_TRUE(device->IsImageFile());  // a plain file: a search may read it on two threads
  std::vector<std::uint8_t> buffer(2 * kSectorSize);
  ASSERT_TRUE(device->ReadAt(3 * kSectorSize, buffer));
  EXPECT_EQ(buffer.front(), 'D');
  EXPECT_EQ(buffer.back(), 'E');
  // The last, incomplete sector is a short read: a failure.
  EXPECT_FALSE(device->ReadAt(10 * kSectorSize, std::span<std::uint8_t>(buffer.data(), kSectorSize)));
  EXPECT_FALSE(device->ReadAt(9 * kSectorSize, buffer));
  // An offset no file can have.
  EXPECT_FALSE(device->ReadAt(UINT64_MAX - kSectorSize, std::span<std::uint8_t>(buffer.data(), kSectorSize)));
}

TEST_F(PosixDeviceTest, OpenFailuresSayWhy) {
  std::string error;
  EXPECT_EQ(opener_.Open((dir_ / "missing.img").string(), &error), nullptr);
  EXPECT_EQ(error, "cannot open " + (dir_ / "missing.img").string() + ": No such file or directory");
  EXPECT_EQ(opener_.Open(dir_.string(), &error), nullptr);
  EXPECT_EQ(error, "cannot read " + dir_.string() + ": it is a directory");
}

TEST_F(PosixDeviceTest, ReaderOverAnImageZeroFillsTheIncompleteLastSector) {
  DevicePathTable paths;
  paths.Set(0, image_);
  SectorReader reader(paths, opener_);
  std::vector<std::uint8_t> buffer(4 * kSectorSize, 0xFF);
  ReadReport report;
  EXPECT_EQ(reader.ReadSectors(0, 8, 4, buffer, &report), 0);
  EXPECT_EQ(report.failedSectors, 2u);
  EXPECT_EQ(buffer[0], 'I');
  EXPECT_EQ(buffer[kSectorSize], 'J');
  EXPECT_EQ(buffer[2 * kSectorSize], 0);  // the half sector is not passed off as a whole one
  EXPECT_EQ(buffer[4 * kSectorSize - 1], 0);
}

}  // namespace
}  // namespace quarrow
