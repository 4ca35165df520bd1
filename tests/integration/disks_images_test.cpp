// The disks and images people bring: GPT disks made by sgdisk and sfdisk (512- and 4096-byte
// sectors, a damaged primary header, a zeroed MBR) compared with mmls; the same disk as an E01
// evidence file made by ewfacquire, read like the raw image, with a corrupt chunk counted as
// unreadable; and an image made by ddrescue with unread blocks, read with and without its map.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "exfat_fls.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string Q() {
  return ShellQuote(CliPath());
}

json RunJson(const std::string& args, int expectRc = 0, std::string* err = nullptr) {
  std::string out, errText;
  const int rc = RunCommand(Q() + " " + args, &out, &errText);
  EXPECT_EQ(rc, expectRc) << args << "\n" << errText;
  if (err) *err = errText;
  if (out.empty()) return json();
  return json::parse(out);
}

// A scratch folder of the test's own, removed at its end.
class Scratch {
 public:
  Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ =
        fs::path(TestDisksDir()) / (std::string("scratch-") + info->test_suite_name() + "-" + info->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~Scratch() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// Copies an image (holes stay holes) and flips, zeroes or writes bytes in the copy.
void CopySparse(const std::string& from, const std::string& to) {
  ASSERT_EQ(RunCommand("cp --sparse=always " + ShellQuote(from) + " " + ShellQuote(to)), 0);
}
void WriteBytes(const std::string& image, std::uint64_t offset, const std::string& bytes) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Part {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  std::string name;
  bool operator==(const Part&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Part& p) {
  return os << "{" << p.first << ".." << p.end << " '" << p.name << "'}";
}

// The partitions of mmls's listing (slots numbered NNN), in 512-byte sectors, with the names
// mmls shows; only those whose name is in `names` when it is not empty.
std::vector<Part> FromMmls(const std::string& listing, std::uint64_t perSector,
                           const std::set<std::string>& names) {
  std::vector<Part> parts;
  static const std::regex row(R"(^\d+:\s+\d+\s+(\d+)\s+(\d+)\s+\d+\s+(.*)$)");
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    const std::string name = m[3];
    if (!names.empty() && !names.count(name)) continue;
    parts.push_back({std::stoull(m[1]) * perSector, (std::stoull(m[2]) + 1) * perSector, name});
  }
  return parts;
}

std::vector<Part> FromPartitions(const json& doc) {
  std::vector<Part> parts;
  for (const auto& p : doc["partitions"]) parts.push_back({p["first"], p["end"], p.value("name", "")});
  return parts;
}

// The partitions sgdisk says a scan can use: the basic-data (0700) and EFI-system (EF00) ones.
std::set<std::string> DataPartitionNames(const std::string& image) {
  std::string out;
  EXPECT_EQ(RunCommand("sgdisk -p " + ShellQuote(image), &out), 0);
  std::set<std::string> names;
  static const std::regex row(R"(^\s*\d+\s+\d+\s+\d+\s+[\d.]+ \S+\s+(0700|EF00)\s+(.*)$)");
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, row)) names.insert(m[2]);
  }
  return names;
}

TEST(DisksImagesGpt, PartitionsAgreeWithMmlsAndScanWithFls) {
  QRW_REQUIRE_DISK(image, "gpt_mixed");
  const std::set<std::string> names = DataPartitionNames(image);
  EXPECT_EQ(names.size(), 3u);
  const std::vector<Part> expected = FromMmls(ReadWholeFile(TestDisksDir() + "/gpt_mixed.mmls"), 1, names);
  const json doc = RunJson("partitions " + ShellQuote(image) + " --json");
  EXPECT_EQ(doc["table"]["scheme"], "GPT");
  EXPECT_EQ(doc["table"]["sectorSize"], 512);
  EXPECT_EQ(FromPartitions(doc), expected);
  ASSERT_EQ(doc["partitions"].size(), 3u);
  EXPECT_EQ(doc["partitions"][0]["fs"], "FAT32");
  EXPECT_EQ(doc["partitions"][1]["fs"], "NTFS");
  EXPECT_EQ(doc["partitions"][2]["fs"], "FAT16");
  EXPECT_EQ(doc["table"]["skipped"].size(), 1u);

  // Partition 1 through the GPT: every file fls lists, deleted ones included.
  const json scan = RunJson("scan " + ShellQuote(image) + " --partition 1 --json");
  std::set<std::pair<std::string, std::uint64_t>> ours, theirs;
  for (const auto& f : scan["files"]) {
    std::string path = f["path"];
    if (path.rfind("QRW_Miscellaneous", 0) == 0) continue;
    // fls writes "_" for the first letter of a deleted 8.3 name.
    if (f["deleted"].get<bool>())
      path = path.substr(0, path.rfind('/') + 1) + "_" + path.substr(path.rfind('/') + 2);
    ours.insert({path, f["size"].get<std::uint64_t>()});
  }
  static const std::regex flsRow(R"(^r/r (\* )?\d+:\t([^\t]+)\t(?:[^\t]*\t){4}(\d+)\t.*$)");
  std::istringstream in(ReadWholeFile(TestDisksDir() + "/gpt_mixed.fls"));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, flsRow) || std::string(m[2]).find("Volume Label") != std::string::npos)
      continue;
    theirs.insert({m[2], std::stoull(m[3])});
  }
  EXPECT_EQ(theirs.size(), 4u);
  EXPECT_EQ(ours, theirs);
}

TEST(DisksImagesGpt, DamagedPrimaryHeaderIsReadFromTheBackupAndZeroedMbrIsFoundBySearch) {
  QRW_REQUIRE_DISK(image, "gpt_mixed");
  Scratch scratch;
  const json intact = RunJson("partitions " + ShellQuote(image) + " --json");

  // One byte of the disk GUID under the primary header's CRC.
  const std::string damaged = scratch / "damaged.img";
  CopySparse(image, damaged);
  WriteBytes(damaged, 512 + 60, std::string("\x5A", 1));
  std::string err;
  const json fromBackup = RunJson("partitions " + ShellQuote(damaged) + " --json", 0, &err);
  EXPECT_EQ(FromPartitions(fromBackup), FromPartitions(intact));
  EXPECT_TRUE(fromBackup["table"]["fromBackup"].get<bool>());
  EXPECT_NE(err.find("the primary GPT is damaged (the primary header fails its CRC32)"), std::string::npos)
      << err;
  const auto& details = fromBackup["partitions"][0]["details"];
  EXPECT_EQ(details[details.size() - 1]["value"],
            "GPT, read from its backup header (the primary is damaged)");
  std::string mmls;
  RunCommand("mmls " + ShellQuote(damaged), &mmls);
  RecordProperty("mmls_on_damaged_primary", mmls.empty() ? "(nothing)" : mmls);

  // The MBR zeroed: the walk lists nothing, the search finds the GPT's partitions with its ends.
  const std::string zeroed = scratch / "zeroed.img";
  CopySparse(image, zeroed);
  WriteBytes(zeroed, 0, std::string(512, '\0'));
  const json walked = RunJson("partitions " + ShellQuote(zeroed) + " --json");
  EXPECT_EQ(walked["partitions"].size(), 0u);
  const json searched = RunJson("partitions " + ShellQuote(zeroed) + " --search --json");
  EXPECT_TRUE(searched["search"]["gptFound"].get<bool>());
  std::vector<Part> found = FromPartitions(searched);
  ASSERT_GE(found.size(), 3u);
  found.resize(3);  // the boot sectors the search also meets come after the GPT's own partitions
  EXPECT_EQ(found, FromPartitions(intact));
}

TEST(DisksImagesGpt, FourKibiByteSectors) {
  QRW_REQUIRE_DISK(image, "gpt_4k");  // needs a loop device: skips here, fails under CI
  const std::vector<Part> expected = FromMmls(ReadWholeFile(TestDisksDir() + "/gpt_4k.mmls"), 8, {});
  ASSERT_EQ(expected.size(), 2u);
  const json doc = RunJson("partitions " + ShellQuote(image) + " --json");
  EXPECT_EQ(doc["table"]["sectorSize"], 4096);
  EXPECT_EQ(FromPartitions(doc), expected);
  EXPECT_EQ(doc["partitions"][0]["fs"], "FAT16");
  EXPECT_EQ(doc["partitions"][1]["fs"], "NTFS");
}

// The FAT16 volume of 4096-byte sectors on the 4K GPT disk, given folders, a file of several
// clusters and a deleted file through mtools in a copy, is searched in both modes as fls lists it.
TEST(DisksImagesGpt, FourKibiByteSectorsFatIsSearchedAsFlsListsIt) {
  QRW_REQUIRE_DISK(image, "gpt_4k");  // needs a loop device: skips here, fails under CI
  Scratch scratch;
  const std::string disk = scratch / "filled.img";
  CopySparse(image, disk);
  const std::string at = ShellQuote(disk) + "@@" + std::to_string(256 * 4096);
  const std::string big = scratch / "big.bin";
  const std::string small = scratch / "small.txt";
  ASSERT_EQ(
      RunCommand("set -e; export MTOOLS_SKIP_CHECK=1; head -c 70000 /dev/urandom >" + ShellQuote(big) +
                 "; echo small >" + ShellQuote(small) + "; mmd -i " + at + " ::/PHOTOS; mmd -i " + at +
                 " ::/PHOTOS/OLD; mcopy -i " + at + " " + ShellQuote(big) + " ::/PHOTOS/BIG.BIN; mcopy -i " +
                 at + " " + ShellQuote(small) + " ::/PHOTOS/OLD/KEEP.TXT; mcopy -i " + at + " " +
                 ShellQuote(small) + " ::/GONE.TXT; mdel -i " + at + " ::/GONE.TXT"),
      0);
  std::string flsText;
  ASSERT_EQ(RunCommand("fls -r -p -l -b 4096 -o 256 " + ShellQuote(disk), &flsText), 0);
  const std::set<std::string> fls = FlsLines(ParseFls(flsText));
  ASSERT_TRUE(fls.contains("f PHOTOS/BIG.BIN 70000")) << flsText;
  for (const std::string mode : {"standard", "advance"}) {
    SCOPED_TRACE(mode);
    const json doc = RunJson("scan " + ShellQuote(disk) + " --partition 1 --mode " + mode + " --json");
    std::set<std::string> ours;
    for (const json& f : doc.value("folders", json::array()))
      if (f.value("path", "") != "QRW_Miscellaneous")
        ours.insert("d " + f.value("path", "") + (f.value("deleted", false) ? " *" : ""));
    for (const json& f : doc.value("files", json::array()))
      ours.insert("f " + f.value("path", "") + " " + std::to_string(f.value("size", 0ull)) +
                  (f.value("deleted", false) ? " *" : ""));
    EXPECT_EQ(ours, fls);
  }
}

// The JSON of a command with the image's path and file name taken out, so that the same disk read
// from two files compares equal.
std::string WithoutPath(std::string text, const std::string& image) {
  for (const std::string& s : {image, fs::path(image).filename().string()}) {
    for (std::size_t at; (at = text.find(s)) != std::string::npos;) text.replace(at, s.size(), "IMAGE");
  }
  return text;
}

TEST(DisksImagesEwf, EvidenceFileReadsLikeTheRawImageAndACorruptChunkIsUnreadable) {
  QRW_REQUIRE_DISK(image, "gpt_mixed");
  const std::string e01 = TestDisksDir() + "/gpt_mixed.E01";
  ASSERT_TRUE(fs::exists(TestDisksDir() + "/gpt_mixed.E02")) << "the evidence file should span segments";
  for (const std::string args :
       {"partitions %s --json", "scan %s --partition 1 --json", "scan %s --partition 3 --json"}) {
    const auto with = [&](const std::string& path) {
      std::string a = args;
      a.replace(a.find("%s"), 2, ShellQuote(path));
      std::string out;
      EXPECT_EQ(RunCommand(Q() + " " + a, &out), 0) << a;
      return WithoutPath(out, path);
    };
    EXPECT_EQ(with(e01), with(image)) << args;
  }
  const json disks = RunJson("disks --sysfs-root '' --image " + ShellQuote(e01) + " --json");
  ASSERT_FALSE(disks.dump().empty());
  EXPECT_NE(disks.dump().find(std::to_string(fs::file_size(image) / 512)), std::string::npos) << disks.dump();

  // A chunk of IMG_0001.JPG's data (ewfacquire's chunks are 64 sectors) damaged in a copy of the
  // evidence file: its sectors are unreadable, counted and zero-filled, and the file is named
  // with exactly them.
  Scratch scratch;
  std::string istat;
  ASSERT_EQ(RunCommand("ifind -o 2048 -n DCIM/100PHOTO/IMG_0001.JPG " + ShellQuote(image), &istat), 0);
  const std::string inode = istat.substr(0, istat.find('\n'));
  ASSERT_EQ(
      RunCommand("istat -o 2048 " + ShellQuote(image) + " " + inode + " | sed -n '/^Sectors:/,$p' | sed 1d",
                 &istat),
      0);
  const std::uint64_t fileSector = 2048 + std::stoull(istat);
  const std::uint64_t chunk = (fileSector + 40) / 64 * 64;
  ASSERT_TRUE(chunk >= fileSector && chunk + 64 <= fileSector + 70000 / 512)
      << "the chunk lies inside the file";
  std::ifstream raw(image, std::ios::binary);
  raw.seekg(static_cast<std::streamoff>(chunk * 512 + 1024));
  std::string probe(512, '\0');
  raw.read(probe.data(), 512);
  for (const char* ext : {"E01", "E02", "E03"}) {
    const std::string from = TestDisksDir() + "/gpt_mixed." + ext;
    if (fs::exists(from)) fs::copy_file(from, scratch / (std::string("bad.") + ext));
  }
  const std::string bad = scratch / "bad.E01";
  const std::string segment = ReadWholeFile(bad);
  const std::size_t at = segment.find(probe);
  ASSERT_NE(at, std::string::npos) << "the file's bytes are stored uncompressed in the first segment";
  WriteBytes(bad, at + 100, "damage");

  const json good = RunJson("recover " + ShellQuote(e01) + " --partition 1 --to " +
                            ShellQuote(scratch / "good") + " --json");
  const json hurt = RunJson(
      "recover " + ShellQuote(bad) + " --partition 1 --to " + ShellQuote(scratch / "hurt") + " --json",
      1);  // a file not written whole
  EXPECT_EQ(good["summary"]["unreadableSectors"], 0);
  EXPECT_EQ(hurt["summary"]["unreadableSectors"], 64);
  bool named = false;
  for (const auto& f : hurt["files"]) {
    if (f["path"] != "DCIM/100PHOTO/IMG_0001.JPG") continue;
    named = true;
    EXPECT_EQ(f["status"], "written, unreadable bytes zero-filled");
    ASSERT_EQ(f["unreadable"].size(), 1u);
    EXPECT_EQ(f["unreadable"][0]["first"], (chunk - fileSector) * 512);
    EXPECT_EQ(f["unreadable"][0]["last"], (chunk + 64 - fileSector) * 512 - 1);
  }
  EXPECT_TRUE(named) << hurt.dump();
  const std::string report = ReadWholeFile(scratch / "hurt/recovery-report.txt");
  EXPECT_NE(report.find("IMG_0001.JPG"), std::string::npos);
}

// A disk copied by ddrescue around two unread blocks: one over the middle of IMG_0001.JPG, one
// over the directory cluster of Documents. The image holds zeros there, as ddrescue leaves them.
TEST(DisksImagesRescueMap, UnreadBlocksAreUnreadableWithTheMapAndZerosWithout) {
  QRW_REQUIRE_DISK(image, "gpt_mixed");
  Scratch scratch;
  const auto sectorOf = [&](const std::string& path) {
    std::string out;
    EXPECT_EQ(RunCommand("ifind -o 2048 -n " + ShellQuote(path) + " " + ShellQuote(image), &out), 0) << path;
    const std::string inode = out.substr(0, out.find('\n'));
    EXPECT_EQ(
        RunCommand("istat -o 2048 " + ShellQuote(image) + " " + inode + " | sed -n '/^Sectors:/,$p' | sed 1d",
                   &out),
        0);
    return 2048 + std::stoull(out);
  };
  const std::uint64_t fileGap = sectorOf("DCIM/100PHOTO/IMG_0001.JPG") + 10;  // sectors 10-19 of the file
  const std::uint64_t dirGap = sectorOf("Documents");
  ASSERT_LT(fileGap + 10, dirGap) << "the recipe places the folder after the file";
  const std::string rescued = scratch / "rescued.img";
  const std::string map = scratch / "rescue.log";  // a name no one looks for beside the image
  const std::string src = ShellQuote(image), dst = ShellQuote(rescued) + " " + ShellQuote(map);
  ASSERT_EQ(RunCommand("ddrescue -q -s " + std::to_string(fileGap * 512) + " " + src + " " + dst), 0);
  ASSERT_EQ(RunCommand("ddrescue -q -i " + std::to_string((fileGap + 10) * 512) + " -s " +
                       std::to_string((dirGap - fileGap - 10) * 512) + " " + src + " " + dst),
            0);
  ASSERT_EQ(RunCommand("ddrescue -q -i " + std::to_string((dirGap + 1) * 512) + " " + src + " " + dst), 0);
  ASSERT_NE(ReadWholeFile(map).find("  ?"), std::string::npos) << ReadWholeFile(map);

  // The scan: the folder's cluster is gone either way, but only the map says so.
  std::string errWithout, errWith;
  const json without = RunJson("scan " + ShellQuote(rescued) + " --partition 1 --json", 0, &errWithout);
  const json with = RunJson(
      "scan " + ShellQuote(rescued) + " --map " + ShellQuote(map) + " --partition 1 --json", 0, &errWith);
  EXPECT_EQ(errWithout.find("could not be read"), std::string::npos) << errWithout;
  EXPECT_NE(errWith.find("sectors could not be read"), std::string::npos) << errWith;
  EXPECT_NE(errWith.find("through the ddrescue map"), std::string::npos) << errWith;
  const auto estimateOf = [](const json& scan, const std::string& path) -> std::string {
    for (const auto& f : scan["files"]) {
      if (f["path"] == path) return f.value("estimate", "(none)");
    }
    return "(not listed)";
  };
  EXPECT_EQ(estimateOf(without, "DCIM/100PHOTO/IMG_0001.JPG"), "(none)");
  EXPECT_EQ(estimateOf(with, "DCIM/100PHOTO/IMG_0001.JPG"), "partly unreadable");
  EXPECT_EQ(estimateOf(with, "DCIM/100PHOTO/IMG_0002.JPG"), "(none)");
  EXPECT_EQ(estimateOf(with, "Documents/read me first.txt"), "(not listed)");
  // The folder whose directory the copy never read is named as such, with the map only.
  const auto folderEstimate = [](const json& scan, const std::string& path) -> std::string {
    for (const auto& f : scan["folders"]) {
      if (f["path"] == path) return f.value("estimate", "(none)");
    }
    return "(not listed)";
  };
  EXPECT_EQ(folderEstimate(without, "Documents"), "(none)");
  EXPECT_EQ(folderEstimate(with, "Documents"), "partly unreadable");
  EXPECT_EQ(folderEstimate(with, "DCIM"), "(none)");
  EXPECT_NE(errWith.find("Documents: its directory lies where the ddrescue map says the copy never read"),
            std::string::npos)
      << errWith;

  // Recovery: with the map the file's ten sectors are named and counted; without it they are
  // written as if the zeros were the file's bytes.
  const json recWithout = RunJson("recover " + ShellQuote(rescued) + " --partition 1 --to " +
                                  ShellQuote(scratch / "plain") + " --json");
  const json recWith = RunJson("recover " + ShellQuote(rescued) + " --map " + ShellQuote(map) +
                                   " --partition 1 --to " + ShellQuote(scratch / "mapped") + " --json",
                               1);  // a file not written whole
  EXPECT_EQ(recWithout["summary"]["unreadableSectors"], 0);
  EXPECT_EQ(recWith["summary"]["unreadableSectors"], 10);
  for (const auto& [doc, gaps] : {std::pair{&recWithout, false}, std::pair{&recWith, true}}) {
    bool seen = false;
    for (const auto& f : (*doc)["files"]) {
      if (f["path"] != "DCIM/100PHOTO/IMG_0001.JPG") continue;
      seen = true;
      EXPECT_EQ(f["status"], gaps ? "written, unreadable bytes zero-filled" : "written");
      EXPECT_EQ(f["estimate"], gaps ? "partly unreadable" : "");
      if (gaps) {
        ASSERT_EQ(f["unreadable"].size(), 1u);
        EXPECT_EQ(f["unreadable"][0]["first"], 10 * 512);
        EXPECT_EQ(f["unreadable"][0]["last"], 20 * 512 - 1);
      }
    }
    EXPECT_TRUE(seen);
  }
  // Both wrote zeros where the copy has none; the original's bytes differ there.
  std::string original;
  RunCommand("icat -o 2048 " + ShellQuote(image) + " $(ifind -o 2048 -n DCIM/100PHOTO/IMG_0001.JPG " +
                 ShellQuote(image) + ")",
             &original);
  const std::string plain = ReadWholeFile(scratch / "plain/DCIM/100PHOTO/IMG_0001.JPG");
  ASSERT_EQ(plain.size(), original.size());
  EXPECT_EQ(plain.substr(10 * 512, 10 * 512), std::string(10 * 512, '\0'));
  EXPECT_NE(original.substr(10 * 512, 10 * 512), plain.substr(10 * 512, 10 * 512));
  EXPECT_EQ(original.substr(0, 10 * 512), plain.substr(0, 10 * 512));
  const std::string report = ReadWholeFile(scratch / "mapped/recovery-report.txt");
  EXPECT_NE(report.find("partly unreadable"), std::string::npos) << report;
  EXPECT_NE(report.find("Documents: partly unreadable: its directory lies where the ddrescue map says"),
            std::string::npos)
      << report;

  // The map beside the image, under the name ddrescue users give it, is found without --map.
  fs::copy_file(map, rescued + ".map");
  std::string errBeside;
  const json beside = RunJson("scan " + ShellQuote(rescued) + " --partition 1 --json", 0, &errBeside);
  EXPECT_EQ(estimateOf(beside, "DCIM/100PHOTO/IMG_0001.JPG"), "partly unreadable") << errBeside;
}

}  // namespace
}  // namespace quarrow::testing
