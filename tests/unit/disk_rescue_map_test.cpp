// ddrescue map files: parsing, and an image read through its map failing the sectors the copy
// never read as a failing disk fails them (counted, zero-filled), while the image alone reads
// its zeros as data.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disk/fault_block_device.h"
#include "disk/image_opener.h"
#include "disk/rescue_map.h"
#include "disk/sector_reader.h"

namespace quarrow {
namespace {

constexpr std::string_view kMap =
    "# Mapfile. Created by GNU ddrescue version 1.27\n"
    "# Command line: ddrescue /dev/sdb disk.img disk.map\n"
    "# current_pos  current_status  current_pass\n"
    "0x00000000     +               1\n"
    "#      pos        size  status\n"
    "0x00000000  0x00000400  +\n"
    "0x00000400  0x00000200  -\n"  // sector 2: bad
    "0x00000600  0x00000200  +\n"
    "0x00000800  0x00000400  ?\n"   // sectors 4-5: never tried
    "0x00000C00  0x00000200  *\n"   // 6: not trimmed
    "0x00000E00  0x00000200  /\n"   // 7: not scraped
    "4096        4096        +\n";  // 8-15, in decimal

TEST(DiskRescueMap, ParsesEveryStatusAndJoinsReadBlocks) {
  std::string error;
  const auto map = ParseRescueMap(kMap, &error);
  ASSERT_TRUE(map) << error;
  const std::vector<RescueMap::Range> read = {{0, 0x400}, {0x600, 0x800}, {4096, 8192}};
  EXPECT_EQ(map->read, read);
  EXPECT_EQ(map->domainEnd, 8192u);
  struct Probe {
    std::uint64_t offset, length;
    bool unread;
  };
  for (const Probe& p :
       {Probe{0, 1024, false}, Probe{0, 1025, true}, Probe{1024, 512, true}, Probe{0x600, 512, false},
        Probe{0x7FF, 2, true}, Probe{0xE00, 512, true}, Probe{4096, 4096, false}, Probe{8191, 1, false},
        Probe{8192, 1, true}, Probe{UINT64_MAX - 3, 8, true}, Probe{100, 0, false}}) {
    EXPECT_EQ(map->Unread(p.offset, p.length), p.unread) << p.offset << "+" << p.length;
  }
  EXPECT_EQ(map->UnreadBytes(8192), 5u * 512);
  EXPECT_EQ(map->UnreadBytes(10000), 5u * 512 + 10000 - 8192);
}

TEST(DiskRescueMap, RefusesWhatIsNoMap) {
  struct Case {
    const char* what;
    std::string text;
    const char* reason;
  };
  const std::string status = "0x0 + 1\n";
  const Case cases[] = {
      {"empty", "", "no block"},
      {"comments only", "# nothing\n", "no block"},
      {"status line only", status, "no block"},
      {"a bad status letter", status + "0x0 0x200 x\n", "line 2"},
      {"a word too many", status + "0x0 0x200 + extra\n", "line 2"},
      {"not a number", status + "0xZZ 0x200 +\n", "line 2"},
      {"past 64 bits", status + "0xFFFFFFFFFFFFFFFF 0x2 +\n", "past 2^64"},
      {"overlapping blocks", status + "0x0 0x400 +\n0x200 0x200 -\n", "overlaps"},
      {"a status line that is not one", "hello world\n0x0 0x200 +\n", "status line"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseRescueMap(c.text, &error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
}

// The same image of zeros, read with and without its map: the sectors the map names as unread
// are zeros either way, but only through the map are they failures.
TEST(DiskRescueMap, UnreadSectorsFailThroughTheMapAndReadAsZerosWithout) {
  auto image = std::make_shared<FaultBlockDevice>(16 * 512);
  image->SetStamped(true);  // every sector holds bytes of its own, so zero-filling shows
  FaultDeviceOpener opener;
  opener.Add("disk.img", image);
  std::string why;
  auto mapped = std::make_shared<MappedBlockDevice>(opener.Open("disk.img", &why), *ParseRescueMap(kMap));

  class Holder : public DeviceOpener {
   public:
    explicit Holder(std::shared_ptr<MappedBlockDevice> d) : d_(std::move(d)) {}
    std::unique_ptr<BlockDevice> Open(const std::string&, std::string*) override {
      struct Ref : BlockDevice {
        std::shared_ptr<MappedBlockDevice> d;
        bool ReadAt(std::uint64_t o, std::span<std::uint8_t> b) override { return d->ReadAt(o, b); }
        std::uint64_t SizeBytes() const override { return d->SizeBytes(); }
        bool KnownUnreadable(std::uint64_t o, std::uint64_t l) const override {
          return d->KnownUnreadable(o, l);
        }
        bool HasUnreadMap() const override { return d->HasUnreadMap(); }
      };
      auto ref = std::make_unique<Ref>();
      ref->d = d_;
      return ref;
    }

   private:
    std::shared_ptr<MappedBlockDevice> d_;
  } holder(mapped);

  for (bool withMap : {false, true}) {
    DevicePathTable paths;
    paths.Set(0, "disk.img");
    SectorReader reader(paths, withMap ? static_cast<DeviceOpener&>(holder) : opener);
    std::vector<std::uint8_t> buffer(16 * 512);
    ReadReport report;
    const int whole = reader.ReadSectors(0, 0, 16, buffer, &report);
    EXPECT_EQ(whole, withMap ? 0 : 1);
    EXPECT_EQ(report.failedSectors, withMap ? 5u : 0u);  // sectors 2, 4, 5, 6, 7
    EXPECT_EQ(reader.HasUnreadMap(0), withMap);
    EXPECT_EQ(reader.KnownUnreadable(0, 3, 1), false);
    EXPECT_EQ(reader.KnownUnreadable(0, 2, 1), withMap);
    for (std::uint64_t s = 0; s < 16; ++s) {
      const bool unread = s == 2 || (s >= 4 && s <= 7);
      const auto stamp = FaultBlockDevice::StampedSector(s);
      const bool zeros = std::all_of(buffer.begin() + s * 512, buffer.begin() + (s + 1) * 512,
                                     [](std::uint8_t b) { return b == 0; });
      if (withMap && unread) {
        EXPECT_TRUE(zeros) << s;
      } else {
        EXPECT_TRUE(std::equal(stamp.begin(), stamp.end(), buffer.begin() + s * 512)) << s;
      }
    }
    // The disk is not taken for gone: a sector read before still reads.
    EXPECT_FALSE(reader.DeviceGone(0));
  }
}

TEST(DiskRescueMap, OpenerFindsTheMapBesideTheImageOrTakesTheOneNamed) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qrw-map-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto write = [](const std::filesystem::path& p, std::string_view text) {
    std::ofstream(p, std::ios::binary) << text;
  };
  write(dir / "disk.img", std::string(16 * 512, '\x11'));
  class Plain : public DeviceOpener {
   public:
    std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) override {
      std::error_code ec;
      if (!std::filesystem::exists(path, ec)) {
        if (error) *error = "cannot open " + path;
        return nullptr;
      }
      auto d = std::make_unique<FaultBlockDevice>(std::filesystem::file_size(path));
      std::ifstream in(path, std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      d->Write(0, bytes);
      return d;
    }
  };
  const std::string image = (dir / "disk.img").string();
  struct Case {
    const char* what;
    std::vector<std::string> files;  // map files present, each with kMap
    std::string named;               // SetMap
    std::string expectMap;           // "" none
    bool expectOpen = true;
  };
  const Case cases[] = {
      {"no map", {}, "", ""},
      {"IMAGE.map", {"disk.img.map"}, "", "disk.img.map"},
      {"IMAGE.mapfile", {"disk.img.mapfile"}, "", "disk.img.mapfile"},
      {"extension replaced", {"disk.mapfile"}, "", "disk.mapfile"},
      {"the named one wins", {"disk.img.map", "other.log"}, "other.log", "other.log"},
      {"a named map that is missing", {}, "missing.map", "", false},
  };
  for (const Case& c : cases) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().filename() != "disk.img") std::filesystem::remove(entry.path());
    }
    for (const auto& f : c.files) write(dir / f, kMap);
    ImageDeviceOpener opener(std::make_unique<Plain>());
    if (!c.named.empty()) opener.SetMap(image, (dir / c.named).string());
    std::string error;
    auto device = opener.Open(image, &error);
    ASSERT_EQ(device != nullptr, c.expectOpen) << c.what << ": " << error;
    if (!device) {
      EXPECT_NE(error.find("missing.map"), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(opener.MapOf(image), c.expectMap.empty() ? "" : (dir / c.expectMap).string()) << c.what;
    EXPECT_EQ(device->HasUnreadMap(), !c.expectMap.empty()) << c.what;
    std::vector<std::uint8_t> sector(512);
    EXPECT_EQ(device->ReadAt(2 * 512, sector), c.expectMap.empty()) << c.what;
  }
  // A map beside the image that is no map is an error, not a map silently left out.
  write(dir / "disk.img.map", "this is not a map\n");
  ImageDeviceOpener opener(std::make_unique<Plain>());
  std::string error;
  EXPECT_EQ(opener.Open(image, &error), nullptr);
  EXPECT_NE(error.find("not a ddrescue map file"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarrow
