// FAT volumes formatted the ways real media come, and with the first FAT entry damaged: mkfs.fat
// with the removable-media byte F0 (FAT12, FAT16, FAT32), volumes whose FAT[0] was zeroed in
// both FATs after formatting (fsck would mend it; the files are all there), and volumes of
// 1024-, 2048- and 4096-byte sectors as 4K-native flash and optical media have them, bare and
// inside an MBR partition. Each is listed as partition 1 and its Standard search lists the tree
// fls lists; the sector-size variants are searched in both modes and a file of several clusters
// is recovered as icat reads it.

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
  const char* mkfs;        // options of mkfs.fat
  bool zeroFat0;           // the first FAT entry of every FAT zeroed after formatting
  bool bothModes = false;  // Advance search and recovery checked too
  bool inTable = false;    // the volume is partition 1 of an MBR at sector 2048, not the whole disk
};

// Where the volume starts in the disk image, in 512-byte sectors.
std::uint64_t VolumeStart(const Variant& v) {
  return v.inTable ? 2048 : 0;
}

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
                               " ::/PHOTOS/GONE.TXT; mdel -i " + img + " ::/PHOTOS/GONE.TXT; mmd -i " + img +
                               " ::/PHOTOS/OLD; mcopy -i " + img + " " + small + " ::/PHOTOS/OLD/KEEP.TXT";
    std::string err;
    EXPECT_EQ(RunCommand("export MTOOLS_SKIP_CHECK=1; " + script, nullptr, &err), 0) << err;
    if (v.zeroFat0) ZeroFirstFatEntries(image);
    if (!v.inTable) return image;
    // The volume copied (sparsely) behind a one-entry MBR, its type by the FAT it holds; the disk
    // goes on 12 MiB past it, as a partition nearer the end is taken for a damaged table.
    const std::string disk = (dir_ / "disk.img").string();
    const char* type = std::string(v.mkfs).find("-F 32") != std::string::npos ? "c" : "6";
    const std::string wrap = "set -e; truncate -s " + std::to_string(v.mebibytes + 14) + "M " +
                             ShellQuote(disk) + "; echo 'start=2048, type=" + type + "' | sfdisk -q " +
                             ShellQuote(disk) + "; dd if=" + img + " of=" + ShellQuote(disk) +
                             " bs=1M seek=1 conv=notrunc,sparse status=none";
    EXPECT_EQ(RunCommand(wrap, nullptr, &err), 0) << err;
    return disk;
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
std::set<std::string> FlsLines(const std::string& image, std::uint64_t offset) {
  std::string out;
  EXPECT_EQ(RunCommand("fls -r -p -l -o " + std::to_string(offset) + " " + ShellQuote(image), &out), 0);
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

json ScanJson(const std::string& image, const std::string& mode) {
  std::string scanned, err;
  EXPECT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image) + " --partition 1 --mode " + mode + " --json",
                       &scanned, &err),
            0)
      << err;
  return json::parse(scanned, nullptr, false);
}

TEST_P(FatBootVariantTest, IsListedAndSearchedAsFlsListsIt) {
  const Variant& v = GetParam();
  const std::string image = Make();
  std::string listed, err;
  ASSERT_EQ(RunCommand(CliPath() + " partitions " + ShellQuote(image) + " --json", &listed, &err), 0) << err;
  const json partitions = json::parse(listed, nullptr, false);
  ASSERT_TRUE(partitions.is_object()) << listed;
  ASSERT_EQ(partitions["partitions"].size(), 1u) << listed;
  EXPECT_EQ(partitions["partitions"][0].value("first", std::uint64_t{1}), VolumeStart(v)) << listed;

  const std::set<std::string> fls = FlsLines(image, VolumeStart(v));
  ASSERT_TRUE(fls.count("f PHOTOS/BIG.BIN 70000")) << "the recipe did not make the volume it meant to";
  for (const std::string mode : {"standard", "advance"}) {
    if (mode == "advance" && !v.bothModes) continue;
    SCOPED_TRACE(mode);
    const json doc = ScanJson(image, mode);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(ScanLines(doc), fls);
  }
  if (!v.bothModes) return;

  // A file of several clusters comes back byte for byte as icat reads it.
  std::string inode;
  ASSERT_EQ(
      RunCommand("ifind -o " + std::to_string(VolumeStart(v)) + " -n PHOTOS/BIG.BIN " + ShellQuote(image),
                 &inode),
      0);
  const std::string reference = (dir_ / "icat.bin").string();
  ASSERT_EQ(RunCommand("icat -o " + std::to_string(VolumeStart(v)) + " " + ShellQuote(image) + " " +
                       inode.substr(0, inode.find('\n')) + " >" + ShellQuote(reference)),
            0);
  for (const std::string mode : {"standard", "advance"}) {
    SCOPED_TRACE(mode);
    const fs::path to = dir_ / ("out-" + mode);
    ASSERT_EQ(RunCommand(CliPath() + " recover " + ShellQuote(image) + " --partition 1 --mode " + mode +
                             " --path PHOTOS/BIG.BIN --to " + ShellQuote(to.string()),
                         nullptr, &err),
              0)
        << err;
    const std::string recovered = ReadWholeFile((to / "PHOTOS" / "BIG.BIN").string());
    EXPECT_EQ(recovered.size(), 70000u);
    EXPECT_TRUE(recovered == ReadWholeFile(reference)) << "the recovered bytes differ from icat's";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Media, FatBootVariantTest,
    ::testing::Values(Variant{"fat12_media_f0", 2, "-F 12 -M 0xF0", false},
                      Variant{"fat16_media_f0", 16, "-F 16 -s 2 -M 0xF0", false},
                      Variant{"fat32_media_f0", 40, "-F 32 -s 1 -M 0xF0", false},
                      Variant{"fat16_fat0_zeroed", 16, "-F 16 -s 2", true},
                      Variant{"fat32_fat0_zeroed", 40, "-F 32 -s 1", true},
                      Variant{"fat12_sector1k", 2, "-F 12 -S 1024", false, true},
                      Variant{"fat12_sector2k", 4, "-F 12 -S 2048", false, true},
                      Variant{"fat12_sector4k", 8, "-F 12 -S 4096 -s 1", false, true},
                      Variant{"fat12_sector4k_mbr", 8, "-F 12 -S 4096 -s 4", false, true, true},
                      Variant{"fat16_sector1k", 16, "-F 16 -S 1024 -s 1", false, true},
                      Variant{"fat16_sector2k", 32, "-F 16 -S 2048 -s 1", false, true},
                      Variant{"fat16_sector4k", 64, "-F 16 -S 4096 -s 1", false, true},
                      Variant{"fat16_sector4k_mbr", 64, "-F 16 -S 4096 -s 1", false, true, true},
                      Variant{"fat32_sector1k", 80, "-F 32 -S 1024 -s 1", false, true},
                      Variant{"fat32_sector2k", 160, "-F 32 -S 2048 -s 1", false, true},
                      Variant{"fat32_sector4k", 300, "-F 32 -S 4096 -s 1", false, true},
                      Variant{"fat32_sector4k_mbr", 300, "-F 32 -S 4096 -s 1", false, true, true}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarrow::testing
