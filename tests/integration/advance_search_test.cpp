// Damaged disks made by mkfs.fat and mtools (recipes tests/disks/recipes/advance_*.sh), searched
// through the quarrow command line: the lost-partition search on a disk whose MBR is gone, and
// Advance searches of volumes whose boot sector, or boot sectors and FATs, are gone, and of a range
// that spans two volumes. Every tree is compared with what fls read from the undamaged volume.
//
// The recipes use upper-case 8.3 names and long names only, so fls and we name every entry alike;
// a deleted 8.3 name shows "_" for its first character in both.

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "/" : path.substr(0, slash);
}

// What fls, fsstat and istat read from one volume before the damage.
struct Reference {
  struct Entry {
    bool folder = false, deleted = false;
    std::uint64_t size = 0;
    std::string date, time;  // "05-JAN-2024", "13:07", as the file list shows them
  };
  std::map<std::string, Entry> entries;             // by path
  std::map<std::string, std::uint64_t> dirSectors;  // directory path ("/" the root) -> its sectors
  std::uint64_t spc = 0, clusterArea = 0, fat0 = 0, total = 0;  // relative to the volume start

  explicit Reference(const std::string& base) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    // "r/r * 12:\tPATH\tMTIME\tATIME\tCTIME\tCRTIME\tSIZE\tUID\tGID"; virtual entries start "v/v"
    // or "V/V", or their name with "$".
    for (const std::string& line : Split(ReadWholeFile(base + ".fls"), '\n')) {
      const std::vector<std::string> f = Split(line, '\t');
      if (f.size() < 7 || f[0].size() < 4 || f[0][0] == 'v' || f[0][0] == 'V' || f[1].rfind('$', 0) == 0 ||
          f[1].find("(Volume Label Entry)") != std::string::npos)
        continue;
      Entry e;
      e.folder = f[0][2] == 'd';
      e.deleted = f[0].find(" * ") != std::string::npos;
      e.size = std::stoull(f[6]);
      e.date = f[2].substr(8, 2) + "-" + kMonths[std::stoi(f[2].substr(5, 2)) - 1] + "-" + f[2].substr(0, 4);
      e.time = f[2].substr(11, 5);
      entries[f[1]] = e;
    }
    for (const std::string& line : Split(ReadWholeFile(base + ".dirs"), '\n')) {
      const std::vector<std::string> f = Split(line, '\t');
      if (f.size() == 3) dirSectors[f[0]] = std::stoull(f[2]);
    }
    for (const std::string& line : Split(ReadWholeFile(base + ".fsstat"), '\n')) {
      auto after = [&](const std::string& key) -> std::optional<std::uint64_t> {
        const std::size_t at = line.find(key);
        if (at == std::string::npos) return std::nullopt;
        return std::stoull(line.substr(at + key.size()));
      };
      if (auto v = after("Cluster Size: ")) spc = *v / 512;
      if (auto v = after("** Cluster Area: ")) clusterArea = *v;
      if (auto v = after("* FAT 0: ")) fat0 = *v;
      if (line.rfind("Total Range: 0 - ", 0) == 0 || line.rfind("Total Sector Range: 0 - ", 0) == 0)
        total = std::stoull(line.substr(line.rfind(' ') + 1)) + 1;
    }
  }
  std::uint64_t Cluster0(std::uint64_t start) const { return start + clusterArea - 2 * spc; }
};

json Quarrow(const std::string& args, std::string* err = nullptr) {
  std::string out, errText;
  const int rc = RunCommand(CliPath() + " " + args, &out, &errText);
  if (err) *err = errText;
  EXPECT_EQ(rc, 0) << args << "\n" << errText;
  return json::parse(out, nullptr, false);
}

// Every entry fls read is listed at its path with its deleted flag, size, date and time, and
// nothing is listed that fls does not know, apart from the catch-all folder. With firstClusters,
// the FATs are gone: a file whose directory ran past its first cluster may be missing.
void ExpectTreeOf(const json& scan, const Reference& ref, bool firstClusters = false) {
  ASSERT_TRUE(scan.is_object());
  std::map<std::string, json> ours;
  for (const char* kind : {"folders", "files"}) {
    for (const json& item : scan[kind]) {
      const std::string path = item.value("path", "");
      EXPECT_TRUE(ours.emplace(path, item).second) << "listed twice: " << path;
      if (path.rfind("QRW_Miscellaneous", 0) != 0) {
        EXPECT_EQ(ref.entries.count(path), 1u) << "fls does not know " << path;
      }
    }
  }
  ASSERT_EQ(ours.count("QRW_Miscellaneous"), 1u);
  int listed = 0;
  for (const auto& [path, e] : ref.entries) {
    SCOPED_TRACE(path);
    auto it = ours.find(path);
    const auto dir = ref.dirSectors.find(Parent(path));
    const bool mayLack = firstClusters && !e.folder && dir != ref.dirSectors.end() && dir->second > ref.spc;
    if (it == ours.end()) {
      EXPECT_TRUE(mayLack) << "missing";
      continue;
    }
    ++listed;
    EXPECT_EQ(it->second.value("deleted", !e.deleted), e.deleted);
    if (e.folder) continue;
    EXPECT_EQ(it->second.value("size", e.size + 1), e.size);
    EXPECT_EQ(it->second.value("date", ""), e.date);
    EXPECT_EQ(it->second.value("time", ""), e.time);
  }
  EXPECT_GT(listed, 20);
}

// One identified file system as the JSON lists it: number, type, sector, SPC, Cluster0Start.
using Identified = std::tuple<int, std::string, std::uint64_t, std::uint64_t, std::uint64_t>;
std::vector<Identified> IdentifiedOf(const json& scan) {
  std::vector<Identified> out;
  for (const json& fs : scan["identified"])
    out.emplace_back(fs.value("number", 0), fs.value("type", ""), fs.value("sector", 0ull),
                     fs.value("spc", 0ull), fs.value("cluster0", 0ull));
  return out;
}

std::string Base(const std::string& name) {
  return TestDisksDir() + "/" + name;
}

TEST(AdvanceLostTable, SearchFindsEveryPartitionAtCylinderAndMibStartsAndTheirTreesComeBack) {
  QRW_REQUIRE_DISK(image, "advance_lost_table");
  std::string err;
  const json listed = Quarrow("partitions " + ShellQuote(image) + " --search --json", &err);
  EXPECT_NE(err.find("sector 0 holds no partition table"), std::string::npos) << err;
  // The table as sfdisk wrote it, each partition ending where its volume says (fsstat), or for the
  // small FAT32 fsstat cannot read, where the table says.
  std::set<std::tuple<std::string, std::uint64_t, std::uint64_t>> expected, found;
  std::map<int, std::string> formatted;
  for (const std::string& line : Split(ReadWholeFile(Base("advance_lost_table") + ".fs"), '\n')) {
    const std::vector<std::string> f = Split(line, ' ');
    if (f.size() == 2) formatted[std::stoi(f[0])] = f[1];
  }
  for (const std::string& line : Split(ReadWholeFile(Base("advance_lost_table") + ".sfdisk"), '\n')) {
    const std::size_t colon = line.find(" : start=");
    if (colon == std::string::npos) continue;
    const int number = std::stoi(line.substr(line.rfind("part", colon) + 4));
    if (!formatted.count(number)) continue;
    const std::uint64_t start = std::stoull(line.substr(colon + 9));
    std::uint64_t size = std::stoull(line.substr(line.find("size=") + 5));
    const Reference ref(Base("advance_lost_table") + ".p" + std::to_string(number));
    if (ref.total) size = ref.total;
    expected.insert({formatted[number], start, start + size});
  }
  ASSERT_EQ(expected.size(), 5u);
  for (const json& p : listed["partitions"]) {
    found.insert({p.value("fs", ""), p.value("first", 0ull), p.value("end", 0ull)});
    EXPECT_TRUE(p.value("foundBySearch", false));
  }
  EXPECT_EQ(found, expected);
  EXPECT_EQ(listed["search"].value("added", 0), 5);

  // What a user does next: a Standard search of each found FAT volume that held files.
  for (const json& p : listed["partitions"]) {
    const std::uint64_t first = p.value("first", 0ull);
    const int number = first == 63 ? 1 : first == 32193 ? 2 : first == 104448 ? 5 : 0;
    if (number == 0) continue;
    SCOPED_TRACE(p.value("item", ""));
    ExpectTreeOf(Quarrow("scan " + ShellQuote(image) + " --start " + std::to_string(first) + " --end " +
                         std::to_string(p.value("end", 0ull)) + " --type " + p.value("fs", "") + " --json"),
                 Reference(Base("advance_lost_table") + ".p" + std::to_string(number)));
  }
}

TEST(AdvanceLostTable, RangeOverTwoVolumesIdentifiesBothAndEachRebuildsAsFlsReadIt) {
  QRW_REQUIRE_DISK(image, "advance_lost_table");
  const Reference fat16(Base("advance_lost_table") + ".p1"), fat32(Base("advance_lost_table") + ".p2");
  const std::vector<Identified> expected = {{1, "FAT16", 63, fat16.spc, fat16.Cluster0(63)},
                                            {2, "FAT32", 32193, fat32.spc, fat32.Cluster0(32193)}};
  for (int fs : {1, 2}) {
    SCOPED_TRACE(fs);
    const json scan =
        Quarrow("scan " + ShellQuote(image) + " --mode advance --start 63 --end 101193 --type FAT16 --fs " +
                std::to_string(fs) + " --json");
    ASSERT_TRUE(scan.is_object());
    EXPECT_EQ(scan["search"].value("mode", ""), "Advance Search");
    EXPECT_EQ(IdentifiedOf(scan), expected);
    EXPECT_EQ(scan.value("chosen", 0), fs);
    ExpectTreeOf(scan, fs == 1 ? fat16 : fat32);
  }
}

TEST(AdvanceBackupBoot, VolumeIsIdentifiedAtItsRealStartFromTheBackupAndItsTreeMatches) {
  QRW_REQUIRE_DISK(image, "advance_backup_boot");
  const Reference ref(Base("advance_backup_boot") + ".p1");
  const json scan =
      Quarrow("scan " + ShellQuote(image) + " --mode advance --start 2048 --end 81920 --type FAT32 --json");
  ASSERT_TRUE(scan.is_object());
  EXPECT_EQ(IdentifiedOf(scan), (std::vector<Identified>{{1, "FAT32", 2048, ref.spc, ref.Cluster0(2048)}}));
  EXPECT_EQ(scan["geometry"].value("FirstFatSector", 0ull), 2048 + ref.fat0);
  ExpectTreeOf(scan, ref);
}

// Without FATs a folder is its first cluster and the clusters of entries it grew into, which the
// sector scan found: DOCS/BIG's directory went on past the files written into it, and all of it
// is listed, as fls lists it from the intact volume.
TEST(AdvanceWiped, VolumeIsDerivedFromItsDirectoriesAndFoldersThatGrewAreFollowed) {
  QRW_REQUIRE_DISK(image, "advance_wiped");
  const Reference ref(Base("advance_wiped") + ".p1");
  ASSERT_GT(ref.dirSectors.at("DOCS/BIG"), ref.spc);  // the folder that grew into a later cluster
  const json scan =
      Quarrow("scan " + ShellQuote(image) + " --mode advance --start 2048 --end 81920 --type FAT32 --json");
  ASSERT_TRUE(scan.is_object());
  // Derived: no boot sector (sector 0), and LocateFats found no FAT.
  EXPECT_EQ(IdentifiedOf(scan), (std::vector<Identified>{{1, "FAT32", 0, ref.spc, ref.Cluster0(2048)}}));
  EXPECT_EQ(scan["geometry"].value("FirstFatSector", 1ull), 0u);
  ExpectTreeOf(scan, ref);
  // A scan log keeps no record of those later clusters: reloaded, the folder is its first cluster.
  const std::string log = "/tmp/quarrow-wiped-" + std::to_string(::getpid()) + ".qlg";
  Quarrow("scan " + ShellQuote(image) + " --mode advance --start 2048 --end 81920 --type FAT32 --save-log " +
          ShellQuote(log) + " --json");
  const json reloaded = Quarrow("show " + ShellQuote(log) + " --disk " + ShellQuote(image) + " --json");
  std::remove(log.c_str());
  ExpectTreeOf(reloaded, ref, /*firstClusters=*/true);
}

}  // namespace
}  // namespace quarrow::testing

namespace quarrow::testing {
namespace {

// The volume whose photos and documents no structure describes: the search lists them as carved
// files under a folder of their own, one sub-folder per type, with the estimate "carved" in both
// outputs; --no-carve gives the volume's own tree and nothing else, and the same listing a search
// of a disk without recognisable files would give.
TEST(AdvanceCarve, UnclaimedFilesAreListedAsCarvedAndNoCarveLeavesThemOut) {
  QRW_REQUIRE_DISK(image, "fat_carve");
  const std::string search = CliPath() + " scan " + ShellQuote(image) + " --mode advance --type FAT16 --start 0 --end 65536";
  std::string withJson, withoutJson, withText, withoutText, err;
  ASSERT_EQ(RunCommand(search + " --json", &withJson, &err), 0) << err;
  ASSERT_EQ(RunCommand(search + " --json --no-carve", &withoutJson, &err), 0) << err;
  ASSERT_EQ(RunCommand(search, &withText, &err), 0) << err;
  ASSERT_EQ(RunCommand(search + " --no-carve", &withoutText, &err), 0) << err;
  const json with = json::parse(withJson), without = json::parse(withoutJson);

  std::map<std::string, int> carvedByFolder;
  for (const json& f : with["files"]) {
    const std::string path = f.value("path", "");
    if (path.rfind("QRW_Carved/", 0) != 0) continue;
    EXPECT_EQ(f.value("estimate", ""), "carved") << path;
    EXPECT_FALSE(f.value("deleted", true)) << path;
    ++carvedByFolder[path.substr(0, path.rfind('/'))];
  }
  // 5 JPEGs, 3 PNGs, 2 PDFs, 3 zip archives (one holding a JPEG that is not listed apart).
  EXPECT_EQ(carvedByFolder, (std::map<std::string, int>{{"QRW_Carved/jpg", 5},
                                                         {"QRW_Carved/png", 3},
                                                         {"QRW_Carved/pdf", 2},
                                                         {"QRW_Carved/zip", 3}}));
  EXPECT_NE(withText.find("  (carved)\n"), std::string::npos);

  EXPECT_TRUE(without["carved"].empty());
  for (const char* list : {"folders", "files"}) {
    for (const json& item : without[list]) EXPECT_EQ(item.value("path", "").find("QRW_Carved"), std::string::npos);
  }
  EXPECT_EQ(withoutText.find("QRW_Carved"), std::string::npos);
  EXPECT_EQ(withoutText.find("carved"), std::string::npos);
  // Carving adds its folders and files and changes nothing else.
  json trimmed = with;
  trimmed.erase("carved");
  json plain = without;
  plain.erase("carved");
  for (const char* list : {"folders", "files"}) {
    json kept = json::array();
    for (const json& item : trimmed[list])
      if (item.value("path", "").rfind("QRW_Carved", 0) != 0) kept.push_back(item);
    trimmed[list] = kept;
  }
  EXPECT_EQ(trimmed, plain);
}

}  // namespace
}  // namespace quarrow::testing
