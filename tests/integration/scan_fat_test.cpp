// `quarrow scan` of FAT volumes made by mkfs.fat and mtools, compared with what The Sleuth Kit
// (fls, istat, fsstat) reads from the same images: every folder and file fls lists is listed at
// the same path, with the same name byte for byte in UTF-8, size, deleted mark, date and time.
//
// Where the two tools differ by design, the comparison knows it:
// - fls adds the virtual entries $MBR, $FAT1, $FAT2 and $OrphanFiles and lists the volume label
//   as a file "LABEL (Volume Label Entry)"; we list no virtual entries, report the label as the
//   volume's "label", and put orphans under "QRW_Miscellaneous" instead of $OrphanFiles. Those
//   files are checked from the recipe's list ($OUTBASE.orphans) instead of fls.
// - fls writes "^" for each byte of an 8.3 name at 0x80 or above; we decode such bytes through the
//   volume's code page (437 unless --codepage says otherwise). Those names are checked from the
//   recipe's list ($OUTBASE.oem) instead of fls.
// - fls shows times to the second; the file list shows day, month and year, hours and minutes.
// - A sub-folder whose own cluster survived while its parent's cluster was reused (here by
//   NEW.BIN) is no longer named by any entry: we list it under "QRW_Miscellaneous" with a
//   generated name; fls has its files under $OrphanFiles by their 8.3 names.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "fat/fat_reader.h"
#include "partition/partition_table.h"
#include "partition/validate_partition.h"
#include "scan/scan_context.h"
#include "terminal_run.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;

constexpr std::uint64_t kOrphanCluster = 268435455;

struct FlsEntry {
  char meta = 0;  // 'd' folder, 'r' file, 'v' virtual
  bool deleted = false;
  bool virtualEntry = false;
  std::uint64_t inode = 0;
  std::string path;
  std::string mtime;  // "2024-01-05 13:07:22 (UTC)"
  std::uint64_t size = 0;
};

// Lines of `fls -r -p -l`: "r/r * 12:\tPATH\tMTIME\tATIME\tCTIME\tCRTIME\tSIZE\tUID\tGID".
std::vector<FlsEntry> ParseFls(const std::string& text) {
  std::vector<FlsEntry> entries;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || f[0].size() < 4) continue;
    FlsEntry e;
    e.meta = f[0][2];
    e.virtualEntry = f[0][0] == 'v' || f[0][0] == 'V' || f[0][0] == '-' || f[1].rfind("$", 0) == 0;
    e.deleted = f[0].find(" * ") != std::string::npos;
    const std::size_t colon = f[0].rfind(':');
    const std::size_t space = f[0].rfind(' ', colon);
    e.inode = std::stoull(f[0].substr(space + 1, colon - space - 1));
    e.path = f[1];
    e.mtime = f[2];
    e.size = std::stoull(f[6]);
    entries.push_back(e);
  }
  return entries;
}

bool IsLabelEntry(const FlsEntry& e) {
  return e.path.find("(Volume Label Entry)") != std::string::npos;
}

// fls's stand-in for an OEM byte.
bool HasOemMark(const std::string& path) {
  return path.find('^') != std::string::npos;
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

bool UnderMisc(const std::string& path) {
  return path == "QRW_Miscellaneous" || path.rfind("QRW_Miscellaneous/", 0) == 0;
}

// fls "2024-01-05 13:07:22 (UTC)" as the file list shows it: "05-JAN-2024" and "13:07".
std::pair<std::string, std::string> ListDateTime(const std::string& mtime) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const int month = std::stoi(mtime.substr(5, 2));
  const std::string date = mtime.substr(8, 2) + "-" + kMonths[month - 1] + "-" + mtime.substr(0, 4);
  return {date, mtime.substr(11, 5)};
}

// The layout fsstat prints, relative to the volume's start.
struct FsLayout {
  std::uint64_t fat0Begin = 0, fat0End = 0, fat1Begin = 0;
  std::uint64_t clusterAreaBegin = 0;
  std::uint64_t rootBegin = 0, rootEnd = 0;
  std::uint64_t clusterBytes = 0;
};

bool ParseRange(const std::string& line, const std::string& key, std::uint64_t* begin, std::uint64_t* end) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return false;
  std::istringstream in(line.substr(at + key.size()));
  std::uint64_t b = 0, e = 0;
  char dash = 0;
  in >> b >> dash >> e;
  if (!in || dash != '-') return false;
  *begin = b;
  *end = e;
  return true;
}

FsLayout ParseFsstat(const std::string& text) {
  FsLayout l;
  std::uint64_t ignored = 0;
  for (const std::string& line : Split(text, '\n')) {
    ParseRange(line, "* FAT 0: ", &l.fat0Begin, &l.fat0End);
    ParseRange(line, "* FAT 1: ", &l.fat1Begin, &ignored);
    ParseRange(line, "** Cluster Area: ", &l.clusterAreaBegin, &ignored);
    // "** Root Directory" (FAT16, a sector range) or "*** Root Directory" (FAT32, inside the
    // cluster area); the metadata section's "Root Directory: 2" is no range and is not taken.
    ParseRange(line, "* Root Directory: ", &l.rootBegin, &l.rootEnd);
    if (line.rfind("Cluster Size: ", 0) == 0) l.clusterBytes = std::stoull(line.substr(14));
  }
  return l;
}

std::string ReadBytes(const std::string& path, std::uint64_t offset, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::uint32_t Le32At(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
  return v;
}

// Everything known about one test disk: the image, the reference dumps and our scan of it.
struct Disk {
  std::string name, image;
  std::uint64_t start = 0;  // the volume's first sector
  bool fat32 = false;
  std::vector<FlsEntry> fls;
  FsLayout layout;
  std::string scanOut, scanErr;
  int scanExit = -1;
  json scan;
  std::map<std::string, json> folders, files;  // ours, by path
  std::vector<std::string> duplicatePaths;

  // The sectors of an entry's data as istat sees them (absolute).
  std::vector<std::uint64_t> Sectors(std::uint64_t inode) const {
    auto cached = sectors.find(inode);
    if (cached != sectors.end()) return cached->second;
    std::vector<std::uint64_t> out;
    std::string text;
    if (RunCommand(
            "istat -o " + std::to_string(start) + " " + ShellQuote(image) + " " + std::to_string(inode),
            &text) == 0) {
      const std::size_t at = text.find("Sectors:\n");
      if (at != std::string::npos) {
        std::istringstream in(text.substr(at + 9));
        std::uint64_t sector = 0;
        while (in >> sector) {
          if (sector != 0) out.push_back(start + sector);
        }
      }
    }
    return sectors[inode] = out;
  }
  mutable std::map<std::uint64_t, std::vector<std::uint64_t>> sectors;
  std::optional<std::uint64_t> FirstSector(std::uint64_t inode) const {
    const auto all = Sectors(inode);
    if (all.empty()) return std::nullopt;
    return all.front();
  }
  std::uint64_t SectorsPerCluster() const { return layout.clusterBytes / 512; }
  std::uint64_t ClusterOfSector(std::uint64_t absolute) const {
    return (absolute - start - layout.clusterAreaBegin) / SectorsPerCluster() + 2;
  }
  // A deleted folder is intact when its first cluster still begins with "." naming that cluster.
  bool FolderIntact(const FlsEntry& e) const {
    if (!e.deleted) return true;
    const std::optional<std::uint64_t> sector = FirstSector(e.inode);
    if (!sector || *sector < start + layout.clusterAreaBegin) return false;
    const std::string bytes = ReadBytes(image, *sector * 512, 512);
    if (bytes.size() < 512 || bytes.compare(0, 2, ". ") != 0 || bytes.compare(32, 3, ".. ") != 0)
      return false;
    std::uint64_t self = static_cast<unsigned char>(bytes[26]) | static_cast<unsigned char>(bytes[27]) << 8;
    if (fat32) self |= static_cast<std::uint64_t>(Le32At(bytes, 20) & 0xFFFF) << 16;
    return self == ClusterOfSector(*sector);
  }
};

// The start of the volume: the recipe's side file, else 0 (a volume without a table).
std::uint64_t VolumeStart(const std::string& name) {
  const std::string text = ReadWholeFile(TestDisksDir() + "/" + name + ".start");
  return text.empty() ? 0 : std::stoull(text);
}

const Disk& Scanned(const std::string& name, const std::string& extra = "") {
  static std::map<std::string, Disk> cache;
  auto found = cache.find(name + extra);
  if (found != cache.end()) return found->second;
  Disk d;
  d.name = name;
  d.image = TestDisk(name);
  if (!d.image.empty()) {
    const std::string base = TestDisksDir() + "/" + name;
    d.fls = ParseFls(ReadWholeFile(base + ".fls"));
    d.start = VolumeStart(name);
    std::string fsstat;
    RunCommand("fsstat -o " + std::to_string(d.start) + " " + ShellQuote(d.image), &fsstat);
    d.layout = ParseFsstat(fsstat);
    d.fat32 = fsstat.find("File System Type: FAT32") != std::string::npos;
    d.scanExit = RunCommand(CliPath() + " scan " + ShellQuote(d.image) + " --partition 1 --json" + extra,
                            &d.scanOut, &d.scanErr);
    d.scan = json::parse(d.scanOut, nullptr, false);
    if (d.scan.is_object()) {
      for (const json& f : d.scan.value("folders", json::array())) {
        const std::string path = f.value("path", "");
        if (!d.folders.emplace(path, f).second) d.duplicatePaths.push_back(path);
      }
      for (const json& f : d.scan.value("files", json::array())) {
        const std::string path = f.value("path", "");
        if (!d.files.emplace(path, f).second) d.duplicatePaths.push_back(path);
      }
    }
  }
  return cache.emplace(name + extra, std::move(d)).first->second;
}

// The fls entries we must list as they are: real entries, not the label, no OEM marks, and
// not inside a deleted folder whose directory is gone (fls reads nothing there either).
std::vector<FlsEntry> Comparable(const Disk& d) {
  std::map<std::string, const FlsEntry*> byPath;
  for (const FlsEntry& e : d.fls) byPath[e.path] = &e;
  std::vector<FlsEntry> out;
  for (const FlsEntry& e : d.fls) {
    if (e.virtualEntry || IsLabelEntry(e) || HasOemMark(e.path)) continue;
    bool readable = true;
    for (std::string p = Parent(e.path); readable && !p.empty(); p = Parent(p)) {
      auto it = byPath.find(p);
      readable = it != byPath.end() && d.FolderIntact(*it->second);
    }
    if (readable) out.push_back(e);
  }
  return out;
}

void ExpectListedLikeFls(const Disk& d, const FlsEntry& e) {
  SCOPED_TRACE("fls: " + e.path);
  const auto& ours = e.meta == 'd' ? d.folders : d.files;
  auto it = ours.find(e.path);
  ASSERT_NE(it, ours.end()) << (e.meta == 'd' ? "folder" : "file") << " missing: " << e.path;
  const json& f = it->second;
  EXPECT_EQ(f.value("name", ""), BaseName(e.path));
  EXPECT_EQ(f.value("deleted", !e.deleted), e.deleted);
  if (e.meta == 'd') return;
  EXPECT_EQ(f.value("size", std::uint64_t{0} - 1), e.size);
  const auto [date, time] = ListDateTime(e.mtime);
  EXPECT_EQ(f.value("date", ""), date);
  EXPECT_EQ(f.value("time", ""), time);
}

// Ours, all known to fls: every path either fls's, under the catch-all folder, or an OEM name.
void ExpectNothingFlsDoesNotKnow(const Disk& d, const std::set<std::string>& alsoKnown = {}) {
  EXPECT_TRUE(d.duplicatePaths.empty()) << "listed twice: " << d.duplicatePaths.front();
  std::set<std::string> known = alsoKnown;
  for (const FlsEntry& e : d.fls) known.insert(e.path);
  for (const auto* ours : {&d.folders, &d.files}) {
    for (const auto& [path, entry] : *ours) {
      if (!UnderMisc(path)) {
        EXPECT_EQ(known.count(path), 1u) << "fls does not know: " << path;
      }
    }
  }
}

class ScanFatTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    disk_ = &Scanned(GetParam());
    if (disk_->image.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
    ASSERT_EQ(disk_->scanExit, 0) << disk_->scanErr;
    ASSERT_TRUE(disk_->scan.is_object()) << "stdout is not one JSON document:\n"
                                         << disk_->scanOut.substr(0, 2000);
    ASSERT_FALSE(disk_->fls.empty());
    ASSERT_GT(disk_->layout.clusterBytes, 0u);
  }
  const Disk& d() const { return *disk_; }
  // The names the recipe's OEM entry gets in each code page, with its size.
  std::vector<std::string> Oem() const {
    return Split(ReadWholeFile(TestDisksDir() + "/" + d().name + ".oem"), '\t');
  }

  const Disk* disk_ = nullptr;
};

TEST_P(ScanFatTest, SearchGeometryAndLabelMatchTheVolume) {
  const json& s = d().scan["search"];
  EXPECT_EQ(s.value("mode", ""), "Standard Search");
  EXPECT_EQ(s.value("type", ""), d().fat32 ? "FAT32" : "FAT16");
  EXPECT_EQ(s.value("start", std::uint64_t{1}), d().start);
  std::string label;
  for (const FlsEntry& e : d().fls) {
    if (IsLabelEntry(e)) label = e.path.substr(0, e.path.find("  ("));
  }
  while (!label.empty() && label.back() == ' ') label.pop_back();
  ASSERT_FALSE(label.empty());
  EXPECT_EQ(d().scan.value("label", ""), label);

  const json& g = d().scan["geometry"];
  const FsLayout& l = d().layout;
  const std::uint64_t spc = d().SectorsPerCluster();
  EXPECT_EQ(g.value("SectorsPerCluster", 0u), spc);
  EXPECT_EQ(g.value("ReservedSectors", 0u), l.fat0Begin);
  EXPECT_EQ(g.value("FatSectors", 0u), l.fat0End - l.fat0Begin + 1);
  EXPECT_EQ(g.value("FirstFatSector", 0u), d().start + l.fat0Begin);
  EXPECT_EQ(g.value("SecondFatSector", 0u), d().start + l.fat1Begin);
  EXPECT_EQ(g.value("Cluster0Sector", 0u), d().start + l.clusterAreaBegin - 2 * spc);
  if (d().fat32) {
    EXPECT_EQ(g.value("RootDirStart", 0u), Le32At(ReadBytes(d().image, d().start * 512, 512), 44));
    EXPECT_EQ(g.value("RootDirSectors", 1u), 0u);
  } else {
    EXPECT_EQ(g.value("RootDirStart", 0u), d().start + l.rootBegin);
    EXPECT_EQ(g.value("RootDirSectors", 0u), l.rootEnd - l.rootBegin + 1);
  }
}

TEST_P(ScanFatTest, EveryFolderAndFileOfFlsIsListedAsFlsListsIt) {
  const std::vector<FlsEntry> entries = Comparable(d());
  // The recipe's tree: Big Folder alone has 60 files; names in five scripts; deleted trees.
  ASSERT_GT(entries.size(), 100u);
  int deleted = 0, international = 0, lowerShort = 0;
  for (const FlsEntry& e : entries) {
    ExpectListedLikeFls(d(), e);
    deleted += e.deleted;
    international += std::any_of(e.path.begin(), e.path.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    lowerShort += e.path == "notes.txt" || e.path == "desktop.ini" || e.path == "src";
  }
  EXPECT_GE(deleted, 12);
  EXPECT_GE(international, 8);
  EXPECT_EQ(lowerShort, 3);
}

TEST_P(ScanFatTest, NothingIsListedThatTheVolumeDoesNotHold) {
  const std::vector<std::string> oem = Oem();
  ASSERT_EQ(oem.size(), 3u);
  ExpectNothingFlsDoesNotKnow(d(), {oem[0]});
  EXPECT_EQ(d().files.count("QRWFAT16") + d().files.count("QRWFAT32"), 0u) << "the label is no file";
}

TEST_P(ScanFatTest, DeletedFolderWhoseClusterWasReusedIsListedDeletedAndEmpty) {
  int reused = 0;
  for (const FlsEntry& e : d().fls) {
    if (e.meta != 'd' || e.virtualEntry || !e.deleted || d().FolderIntact(e)) continue;
    ++reused;
    SCOPED_TRACE(e.path);
    auto it = d().folders.find(e.path);
    ASSERT_NE(it, d().folders.end());
    EXPECT_TRUE(it->second.value("deleted", false));
    for (const auto* ours : {&d().folders, &d().files}) {
      for (const auto& [path, entry] : *ours) EXPECT_NE(path.rfind(e.path + "/", 0), 0u) << path;
    }
  }
  EXPECT_EQ(reused, 1);  // "Lost Album", whose cluster NEW.BIN took
}

TEST_P(ScanFatTest, FolderOfALostParentIsUnderTheCatchAllFolder) {
  auto misc = d().folders.find("QRW_Miscellaneous");
  ASSERT_NE(misc, d().folders.end());
  EXPECT_EQ(misc->second.value("self", std::uint64_t{0}), kOrphanCluster);
  EXPECT_EQ(misc->second.value("parent", std::uint64_t{1}), 0u);

  const std::string orphans = ReadWholeFile(TestDisksDir() + "/" + d().name + ".orphans");
  int expected = 0;
  for (const std::string& line : Split(orphans, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 2) continue;
    ++expected;
    SCOPED_TRACE(f[0]);
    int found = 0;
    for (const auto& [path, file] : d().files) {
      if (file.value("name", "") != f[0]) continue;
      ++found;
      // QRW_Miscellaneous/<the surviving folder>/<file>
      const std::vector<std::string> parts = Split(path, '/');
      ASSERT_EQ(parts.size(), 3u) << path;
      EXPECT_EQ(parts[0], "QRW_Miscellaneous");
      EXPECT_TRUE(file.value("deleted", false));
      EXPECT_EQ(file.value("size", std::uint64_t{0}), std::stoull(f[1]));
      auto folder = d().folders.find(Parent(path));
      ASSERT_NE(folder, d().folders.end());
      EXPECT_EQ(folder->second.value("parent", std::uint64_t{0}), kOrphanCluster);
    }
    EXPECT_EQ(found, 1);
  }
  EXPECT_EQ(expected, 2);
}

// An 8.3 name with OEM bytes reads through the code page the user names.
TEST_P(ScanFatTest, OemBytesOfShortNamesDecodeThroughTheCodePage) {
  const std::vector<std::string> oem = Oem();
  ASSERT_EQ(oem.size(), 3u);
  auto it = d().files.find(oem[0]);
  ASSERT_NE(it, d().files.end()) << oem[0];
  EXPECT_EQ(it->second.value("size", std::uint64_t{0}), std::stoull(oem[2]));
  const Disk& cyrillic = Scanned(GetParam(), " --codepage 866");
  ASSERT_EQ(cyrillic.scanExit, 0) << cyrillic.scanErr;
  EXPECT_EQ(cyrillic.files.count(oem[1]), 1u) << oem[1];
  EXPECT_EQ(cyrillic.files.count(oem[0]), 0u);
  // Long names are UTF-16 and read the same whatever the code page.
  EXPECT_EQ(cyrillic.files.count("Café del Mar.mp3"), 1u);
}

TEST_P(ScanFatTest, ClustersPointAtTheDataIstatFinds) {
  std::map<std::string, const FlsEntry*> byPath;
  for (const FlsEntry& e : d().fls) byPath[e.path] = &e;
  const json& g = d().scan["geometry"];
  const std::uint64_t spc = g.value("SectorsPerCluster", 0u);
  const std::uint64_t cluster0 = g.value("Cluster0Sector", 0u);
  int checked = 0;
  std::uint64_t highest = 0;  // a FAT32 cluster above 65535 needs the entry's high 16 bits
  for (const auto& [path, file] : d().files) {
    auto it = byPath.find(path);
    if (it == byPath.end() || file.value("size", 0) == 0) continue;
    const std::optional<std::uint64_t> sector = d().FirstSector(it->second->inode);
    ASSERT_TRUE(sector.has_value()) << path;
    EXPECT_EQ(file.value("first", std::uint64_t{0}) * spc + cluster0, *sector) << path;
    highest = std::max(highest, file.value("first", std::uint64_t{0}));
    ++checked;
  }
  for (const auto& [path, folder] : d().folders) {
    auto it = byPath.find(path);
    if (it == byPath.end()) continue;
    const std::optional<std::uint64_t> sector = d().FirstSector(it->second->inode);
    ASSERT_TRUE(sector.has_value()) << path;
    EXPECT_EQ(folder.value("self", std::uint64_t{0}) * spc + cluster0, *sector) << path;
    highest = std::max(highest, folder.value("self", std::uint64_t{0}));
    const std::string parentPath = Parent(path);
    const std::uint64_t parent = folder.value("parent", std::uint64_t{1});
    if (parentPath.empty()) {
      EXPECT_EQ(parent, 0u) << path;
    } else if (d().folders.count(parentPath)) {
      EXPECT_EQ(parent, d().folders.at(parentPath).value("self", std::uint64_t{0})) << path;
    }
    ++checked;
  }
  EXPECT_GT(checked, 90);
  if (d().fat32) {
    EXPECT_GT(highest, 65535u) << "the recipe puts \"High Clusters\" there";
  }
}

TEST_P(ScanFatTest, FileTypesComeFromTheNameEnding) {
  const std::map<std::string, std::string> expected = {
      {"DCIM/100CANON/IMG_0001.JPG", "Image File"},
      {"Documents/Reports/2023/Q2 figures.xls", "Microsoft Excel File"},
      {"Report 13.doc", "Microsoft Word File"},
      {"small.txt", "Text file"},
      {"empty.dat", "Data File"},
      {"NEW.BIN", "File"},
      {"Music/Some Artist/Album (2024)/Disc 1/01 - first track.mp3", "Sound file"},
      {"Twenty six chars name.jpeg", "Image File"},
      {"src/main.c", "C++ file"},
      {"Фото 2024/снимок.jpg", "Image File"},
  };
  for (const auto& [path, type] : expected) {
    auto it = d().files.find(path);
    ASSERT_NE(it, d().files.end()) << path;
    EXPECT_EQ(it->second.value("type", ""), type) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Disks, ScanFatTest,
                         ::testing::Values("fat16_tree", "fat32_tree", "fat16_bigclusters"));

// A volume damaged by edits of its bytes: a loop entry, zeroed dot entries, a looping directory
// chain. Every folder and file of the undamaged volume is still listed where fls listed it.
TEST(ScanFatDamage, FoldersKeepTheirPathsThroughLoopsAndLostDotEntries) {
  const Disk& d = Scanned("fat_damage");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  ASSERT_EQ(d.scanExit, 0) << d.scanErr;
  const std::vector<FlsEntry> entries = Comparable(d);
  ASSERT_GT(entries.size(), 50u);
  for (const FlsEntry& e : entries) ExpectListedLikeFls(d, e);
  ExpectNothingFlsDoesNotKnow(d);
  // Deep's entry naming Docs is an empty folder: Docs is not listed again below it.
  ASSERT_EQ(d.folders.count("Docs/Sub/Deep/BACK"), 1u);
  for (const auto& [path, folder] : d.folders) EXPECT_EQ(path.find("BACK/"), std::string::npos) << path;
  for (const auto& [path, file] : d.files) EXPECT_EQ(path.find("BACK/"), std::string::npos) << path;
  // The directory whose chain runs into its grandparent lists its own files only.
  int longFiles = 0;
  for (const auto& [path, file] : d.files) longFiles += path.rfind("Docs/Sub/Long/", 0) == 0;
  EXPECT_EQ(longFiles, 40);
}

// Volumes formatted without a partition table are partition 1, from sector 0 to their end.
TEST(ScanFatBare, AVolumeWithoutATableIsPartitionOneAndScansLikeFls) {
  for (const std::string name : {"fat_bare", "ntfs_bare"}) {
    SCOPED_TRACE(name);
    const std::string image = TestDisk(name);
    if (image.empty()) {
      if (LastTestDiskSkipped()) continue;
      FAIL() << LastTestDiskError();
    }
    std::string out, err;
    ASSERT_EQ(RunCommand(CliPath() + " partitions " + ShellQuote(image) + " --json", &out, &err), 0) << err;
    const json doc = json::parse(out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << out;
    ASSERT_EQ(doc["partitions"].size(), 1u) << out;
    const json& p = doc["partitions"][0];
    EXPECT_EQ(p.value("fs", ""), name == "fat_bare" ? "FAT16" : "NTFS");
    EXPECT_EQ(p.value("first", std::uint64_t{1}), 0u);
    EXPECT_EQ(p.value("end", std::uint64_t{0}), doc["disk"].value("totalSectors", std::uint64_t{1}));
  }
  const Disk& d = Scanned("fat_bare");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  ASSERT_EQ(d.scanExit, 0) << d.scanErr;
  const std::vector<FlsEntry> entries = Comparable(d);
  ASSERT_GE(entries.size(), 5u);
  for (const FlsEntry& e : entries) ExpectListedLikeFls(d, e);
  ExpectNothingFlsDoesNotKnow(d);
  EXPECT_EQ(d.scan.value("label", ""), "BAREVOL");
}

// A table whose boot code is random bytes is still a table.
TEST(ScanFatBare, RandomBootCodeDoesNotHideTheTable) {
  const std::string sample = TestDisk("sample");
  if (sample.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  char name[] = "/tmp/qrw-bootcode.XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(RunCommand("cp " + ShellQuote(sample) + " " + name), 0);
  std::mt19937 rng(11);
  std::string code(446, '\0');
  for (char& c : code) c = static_cast<char>(rng());
  code[0] = static_cast<char>(0xEB), code[2] = static_cast<char>(0x90);  // even a jump
  {
    std::fstream f(name, std::ios::in | std::ios::out | std::ios::binary);
    f.write(code.data(), static_cast<std::streamsize>(code.size()));
  }
  std::string before, after;
  ASSERT_EQ(RunCommand(CliPath() + " partitions " + ShellQuote(sample) + " --json", &before), 0);
  ASSERT_EQ(RunCommand(CliPath() + " partitions " + std::string(name) + " --json", &after), 0);
  std::remove(name);
  const json a = json::parse(before), b = json::parse(after);
  EXPECT_EQ(a["partitions"], b["partitions"]);
  EXPECT_EQ(b["partitions"].size(), 4u);
}

// FAT12 entries are 12 bits: every fragmented file's chain is the cluster list istat gives.
TEST(ScanFatTwelve, ChainsOfFragmentedFilesAreTheClustersIstatLists) {
  const std::string image = TestDisk("fat12_frag");
  if (image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  Disk d;
  d.image = image;
  d.start = VolumeStart("fat12_frag");
  d.fls = ParseFls(ReadWholeFile(TestDisksDir() + "/fat12_frag.fls"));
  std::string fsstat;
  RunCommand("fsstat -o " + std::to_string(d.start) + " " + ShellQuote(image), &fsstat);
  ASSERT_NE(fsstat.find("FAT12"), std::string::npos);
  d.layout = ParseFsstat(fsstat);

  PosixDeviceOpener opener;
  DevicePathTable paths;
  paths.Set(0, image);
  SectorReader reader(paths, opener);
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  WalkPartitionTable(reader, 0, 0x100000, tree, state);
  ASSERT_EQ(state.ForDisk(0).count, 1);
  EXPECT_EQ(state.ForDisk(0).type[0], FsType::kFat12);
  EXPECT_EQ(state.ForDisk(0).Name(0), "FAT16");  // shown as FAT16, read as FAT12
  ScanContext ctx;
  ctx.reader = &reader;
  ctx.partitionType = FsType::kFat12;
  ctx.searchStart = state.ForDisk(0).entries[0].firstSector;
  ctx.searchEnd = state.ForDisk(0).entries[0].endSector;
  ASSERT_EQ(ValidatePartition(ctx), 1);
  ctx.activeGeometry.CopyFrom(ctx.geometry, FsType::kFat12);
  FatReader fat(ctx);
  int fragmented = 0, checked = 0;
  for (const FlsEntry& e : d.fls) {
    if (e.meta != 'r' || e.deleted || e.virtualEntry || IsLabelEntry(e) || e.size == 0) continue;
    SCOPED_TRACE(e.path);
    std::vector<std::uint32_t> clusters;
    for (std::uint64_t sector : d.Sectors(e.inode)) {
      const auto cluster = static_cast<std::uint32_t>(d.ClusterOfSector(sector));
      if (clusters.empty() || clusters.back() != cluster) clusters.push_back(cluster);
    }
    ASSERT_FALSE(clusters.empty());
    EXPECT_EQ(FollowClusterChain(fat, clusters.front()), clusters);
    for (std::size_t i = 1; i < clusters.size(); ++i)
      fragmented += clusters[i] != clusters[i - 1] + 1 ? 1 : 0;
    ++checked;
  }
  EXPECT_GE(checked, 25);
  EXPECT_GT(fragmented, 5) << "the recipe fragments the large files";
}

// The text output: a header, the tree under "Root" indented two spaces a level, folders ending in
// "/", a summary line; and the same folders and files as the JSON output.
TEST(ScanFatText, TreeShowsWhatTheJsonLists) {
  const Disk& d = Scanned("fat32_tree");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  ASSERT_TRUE(d.scan.is_object());
  std::string out, err;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(d.image) + " --partition 1", &out, &err), 0) << err;
  std::vector<std::string> lines = Split(out, '\n');
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("Standard Search of FAT32 on disk ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("sectors " + std::to_string(d.start) + " to " +
                          std::to_string(d.scan["search"].value("end", std::uint64_t{0}))),
            std::string::npos)
      << lines[0];
  EXPECT_EQ(lines[1], "Root");
  const std::string summary =
      std::to_string(d.folders.size()) + " folders, " + std::to_string(d.files.size()) + " files";
  EXPECT_EQ(lines.back(), summary);

  // Rebuild each line's path from its indentation and compare with the JSON paths.
  std::vector<std::string> stack;
  std::set<std::string> folders, files;
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t indent = line.find_first_not_of(' ');
    ASSERT_NE(indent, std::string::npos);
    ASSERT_EQ(indent % 2, 0u) << line;
    const std::size_t depth = indent / 2;
    ASSERT_GE(depth, 1u) << line;
    ASSERT_LE(depth, stack.size() + 1) << line;
    stack.resize(depth - 1);
    std::string prefix;
    for (const std::string& s : stack) prefix += s + "/";
    std::string rest = line.substr(indent);
    // "  (deleted)" ends a deleted folder's line, "  (deleted, ESTIMATE)" a deleted file's.
    const std::size_t deletedMark = rest.rfind("  (deleted");
    const bool deleted = deletedMark != std::string::npos && rest.find(')', deletedMark) + 1 == rest.size();
    std::string estimate;
    if (deleted) {
      const std::size_t comma = rest.find(", ", deletedMark);
      if (comma != std::string::npos) estimate = rest.substr(comma + 2, rest.size() - comma - 3);
      rest.resize(deletedMark);
    }
    const std::size_t sep = rest.find("  ");
    if (sep == std::string::npos) {
      ASSERT_EQ(rest.back(), '/') << line;
      const std::string name = rest.substr(0, rest.size() - 1);
      folders.insert(prefix + name);
      stack.push_back(name);
      ASSERT_TRUE(d.folders.count(prefix + name)) << line;
      EXPECT_EQ(d.folders.at(prefix + name).value("deleted", !deleted), deleted) << line;
    } else {
      // "name  size  date time  type": a file name may hold double spaces, the fields after it not.
      const std::vector<std::string> f = [&] {
        std::vector<std::string> fields;
        std::string r = rest;
        for (int k = 0; k < 3; ++k) {
          const std::size_t at = r.rfind("  ");
          if (at == std::string::npos) break;
          fields.insert(fields.begin(), r.substr(at + 2));
          r.resize(at);
        }
        fields.insert(fields.begin(), r);
        return fields;
      }();
      ASSERT_EQ(f.size(), 4u) << line;
      const std::string path = prefix + f[0];
      files.insert(path);
      ASSERT_TRUE(d.files.count(path)) << line;
      const json& j = d.files.at(path);
      EXPECT_EQ(f[1], std::to_string(j.value("size", std::uint64_t{0}))) << line;
      EXPECT_EQ(f[2], j.value("date", "") + " " + j.value("time", "")) << line;
      EXPECT_EQ(f[3], j.value("type", "")) << line;
      EXPECT_EQ(j.value("deleted", !deleted), deleted) << line;
      EXPECT_EQ(estimate, j.value("estimate", "")) << line;
      EXPECT_EQ(estimate.empty(), !deleted) << line;
    }
  }
  EXPECT_EQ(folders.size(), d.folders.size());
  EXPECT_EQ(files.size(), d.files.size());
}

// Progress goes to stderr only, and only to a terminal: redirected, neither stream carries it.
TEST(ScanFatText, NoProgressTextWhenNotATerminal) {
  const Disk& d = Scanned("fat16_tree");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  ASSERT_EQ(d.scanExit, 0) << d.scanErr;
  for (const std::string* s : {&d.scanOut, &d.scanErr}) {
    EXPECT_EQ(s->find('\r'), std::string::npos);
    EXPECT_EQ(s->find("Completed"), std::string::npos);
    EXPECT_EQ(s->find("Sectors  "), std::string::npos);
    EXPECT_EQ(s->find("\x1b["), std::string::npos);
  }
  // One JSON document and a newline: nothing else shares stdout.
  ASSERT_FALSE(d.scanOut.empty());
  EXPECT_EQ(d.scanOut.back(), '\n');
  EXPECT_EQ(d.scanOut.find('\n'), d.scanOut.size() - 1);
}

// With stderr on a terminal the live progress line is drawn there, while stdout stays pure JSON.
TEST(ScanFatText, ProgressIsDrawnOnATerminalStderrOnly) {
  const Disk& d = Scanned("fat32_tree");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  TerminalRun run({"scan", d.image, "--partition", "1", "--json"});
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.Finish(std::chrono::seconds(120)));
  const std::string& terminal = run.Terminal();
  const std::string out = run.Out();
  EXPECT_EQ(run.ExitCode(), 0) << terminal;
  // A live line: carriage return, text, erase to the end of the line. (A small disk is scanned
  // between two redraws, so which stage the line showed is not fixed.)
  const std::size_t cr = terminal.find('\r');
  ASSERT_NE(cr, std::string::npos) << terminal;
  EXPECT_NE(terminal.find("\x1b[K", cr), std::string::npos) << terminal;
  EXPECT_EQ(terminal.find("\"folders\""), std::string::npos) << terminal;
  // The live line is cleared at the end, so what the shell prints next starts on a clean line.
  EXPECT_EQ(terminal.size() >= 4 ? terminal.substr(terminal.size() - 4) : terminal, "\r\x1b[K");
  EXPECT_TRUE(json::parse(out, nullptr, false).is_object()) << out.substr(0, 500);
  EXPECT_EQ(out.find('\r'), std::string::npos);
}

// A range holding no volume: the geometry cannot be worked out and nothing is found. The message
// and the advice come as one line each on stderr; stdout still holds the (empty) result.
TEST(ScanFatText, NothingFoundGivesOneLineMessagesAndAnEmptyTree) {
  const Disk& d = Scanned("fat16_tree");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  std::string out, err;
  ASSERT_EQ(
      RunCommand(CliPath() + " scan " + ShellQuote(d.image) + " --start 0 --end 2048 --type FAT16 --json",
                 &out, &err),
      0)
      << err;
  EXPECT_EQ(err,
            "Quarrow: Unable to calculate partition parameters\n"
            "Quarrow: Important: Recovery is not possible in Standard Search mode, use Advance Search to "
            "recover your data.\n");
  const json doc = json::parse(out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << out;
  EXPECT_EQ(doc["search"].value("start", 1), 0);
  EXPECT_EQ(doc["search"].value("end", 0), 2048);
  ASSERT_EQ(doc["folders"].size(), 1u);
  EXPECT_EQ(doc["folders"][0].value("path", ""), "QRW_Miscellaneous");
  EXPECT_TRUE(doc["files"].empty());
}

TEST(ScanFatText, MissingPartitionIsAOneLineErrorAndNoOutput) {
  const Disk& d = Scanned("fat16_tree");
  if (d.image.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
  std::string out, err;
  EXPECT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(d.image) + " --partition 3 --json", &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
}  // namespace quarrow::testing
