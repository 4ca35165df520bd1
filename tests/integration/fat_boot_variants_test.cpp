// FAT volumes formatted the ways real media come, and with the first FAT entry damaged: mkfs.fat
// with the removable-media byte F0 (FAT12, FAT16, FAT32) and volumes whose FAT[0] was zeroed in
// both FATs after formatting (fsck would mend it; the files are all there). Each is listed as
// partition 1 and its Standard search lists the tree fls lists.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Variant {
  const char* name;
  std::uint64_t mebibytes;
  const char* mkfs;  // options of mkfs.fat
  bool zeroFat0;     // the first FAT entry of every FAT zeroed after formatting
};

void PrintTo(const Variant& v, std::ostream* os) {
  *os << v.name;
}

class FatBootVariantTest : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qrw-fat-variant-" + std::string(GetParam().name) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Formats the volume and fills it through mtools: a root file, a folder, a file of several
  // clusters in it, and a file deleted.
  std::string Make() {
    const Variant& v = GetParam();
    const std::string image = (dir_ / "volume.img").string();
    const std::string img = ShellQuote(image);
    const std::string small = ShellQuote((dir_ / "small.txt").string());
    const std::string big = ShellQuote((dir_ / "big.bin").string());
    const std::string script = "set -e; echo 'a small file' >" + small + "; head -c 70000 /dev/urandom >" +
                               big + "; truncate -s " + std::to_string(v.mebibytes) + "M " + img +
                               "; mkfs.fat " + v.mkfs + " " + img + " >/dev/null; mmd -i " + img +
                               " ::/PHOTOS; mcopy -i " + img + " " + small + " ::/README.TXT; mcopy -i " +
                               img + " " + big + " ::/PHOTOS/BIG.BIN; mcopy -i " + img + " " + small +
                               " ::/PHOTOS/GONE.TXT; mdel -i " + img + " ::/PHOTOS/GONE.TXT";
    std::string err;
    EXPECT_EQ(RunCommand(script, nullptr, &err), 0) << err;
    if (v.zeroFat0) ZeroFirstFatEntries(image);
    return image;
  }

  static void ZeroFirstFatEntries(const std::string& image) {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char boot[512] = {};
    f.read(reinterpret_cast<char*>(boot), sizeof boot);
    const unsigned reserved = boot[14] | boot[15] << 8;
    const unsigned fats = boot[16];
    const unsigned fat16Sectors = boot[22] | boot[23] << 8;
    const unsigned fatSectors = fat16Sectors != 0
                                    ? fat16Sectors
                                    : boot[36] | boot[37] << 8 | boot[38] << 16 | unsigned{boot[39]} << 24;
    const char zeros[4] = {};
    for (unsigned i = 0; i < fats; ++i) {
      f.seekp(static_cast<std::streamoff>(reserved + i * fatSectors) * 512);
      f.write(zeros, fat16Sectors != 0 ? 2 : 4);
    }
    ASSERT_TRUE(f.good());
  }

  fs::path dir_;
};

// "d PATH" and "f PATH SIZE", with " *" for a deleted entry, from fls -r -p (allocated and deleted,
// the volume label and the virtual $ entries left out) and from scan --json.
std::set<std::string> FlsLines(const std::string& image) {
  std::string out;
  EXPECT_EQ(RunCommand("fls -r -p -l " + ShellQuote(image), &out), 0);
  std::set<std::string> lines;
  for (const std::string& line : Split(out, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || line[0] == 'v' || line[0] == 'V' ||
        f[1].find("(Volume Label Entry)") != std::string::npos)
      continue;
    const bool deleted = f[0].find(" * ") != std::string::npos;
    lines.insert((f[0][2] == 'd' ? "d " + f[1] : "f " + f[1] + " " + f[6]) + (deleted ? " *" : ""));
  }
  return lines;
}

// The catch-all folder every search adds holds nothing on these volumes and is left out.
std::set<std::string> ScanLines(const json& doc) {
  std::set<std::string> lines;
  for (const json& f : doc.value("folders", json::array()))
    if (f.value("path", "") != "QRW_Miscellaneous")
      lines.insert("d " + f.value("path", "") + (f.value("deleted", false) ? " *" : ""));
  for (const json& f : doc.value("files", json::array()))
    lines.insert("f " + f.value("path", "") + " " + std::to_string(f.value("size", 0ull)) +
                 (f.value("deleted", false) ? " *" : ""));
  return lines;
}

TEST_P(FatBootVariantTest, IsListedAndSearchedAsFlsListsIt) {
  const std::string image = Make();
  std::string listed, err;
  ASSERT_EQ(RunCommand(CliPath() + " partitions " + ShellQuote(image) + " --json", &listed, &err), 0) << err;
  const json partitions = json::parse(listed, nullptr, false);
  ASSERT_TRUE(partitions.is_object()) << listed;
  ASSERT_EQ(partitions["partitions"].size(), 1u) << listed;

  std::string scanned;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image) + " --partition 1 --json", &scanned, &err), 0)
      << err;
  const json doc = json::parse(scanned, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << scanned;
  const std::set<std::string> fls = FlsLines(image);
  ASSERT_TRUE(fls.count("f PHOTOS/BIG.BIN 70000")) << "the recipe did not make the volume it meant to";
  EXPECT_EQ(ScanLines(doc), fls);
}

INSTANTIATE_TEST_SUITE_P(Media, FatBootVariantTest,
                         ::testing::Values(Variant{"fat12_media_f0", 2, "-F 12 -M 0xF0", false},
                                           Variant{"fat16_media_f0", 16, "-F 16 -s 2 -M 0xF0", false},
                                           Variant{"fat32_media_f0", 40, "-F 32 -s 1 -M 0xF0", false},
                                           Variant{"fat16_fat0_zeroed", 16, "-F 16 -s 2", true},
                                           Variant{"fat32_fat0_zeroed", 40, "-F 32 -s 1", true}),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quarrow::testing
