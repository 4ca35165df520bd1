// `quarrow recover` of camera-like volumes after each kind of loss, checked against the sha256
// manifest of the files each recipe copied in: FAT volumes whose files were written in pieces (a
// FAT32 card formatted again with larger clusters, recovered by an Advance search of the old
// volume, whose chains come from its second FAT; deleted files written around other files on an
// undamaged volume; the same volume with both FATs zeroed), and cards formatted again with the
// same or smaller clusters, given a new partition at another start, NTFS volumes formatted as FAT32
// or quick-formatted, a zeroed table, a zeroed boot sector, a zeroed boot sector with zeroed FATs. Each case
// says how many originals come back byte-identical under their own path and how many only under
// another (a folder whose name was lost), matched by their bytes; and the estimate of every file
// must say whether its bytes are sound: "intact" (or none, for a live file) exactly when they are.
// Files found by their content alone (carved) are matched to originals by their bytes; on a volume
// whose structures no longer describe the files (FAT, NTFS and exFAT), every original must come
// back once, as a carved file of its type, and nothing else carved besides.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// "sha256  path" lines, by path.
std::map<std::string, std::string> Manifest(const std::string& text) {
  std::map<std::string, std::string> sums;
  for (const std::string& line : Split(text, '\n')) {
    const std::size_t gap = line.find("  ");
    if (gap != std::string::npos) sums[line.substr(gap + 2)] = line.substr(0, gap);
  }
  return sums;
}

struct PiecesCase {
  std::string recipe;
  std::string search;  // the search options after the image
  // The originals a recovery cannot give back whole, whatever it does: the estimate must say so.
  std::set<std::string> spoilt = {};
  // No structure describes the originals: they come back as carved files, found by their bytes.
  bool carved = false;
  // Where the structures that held some names or files are gone: how many originals come back
  // byte-identical under their own path, and how many only under another path (matched by their
  // bytes). -1: every original comes back at its path, whole unless spoilt.
  int atPath = -1;
  int elsewhere = 0;
  // Originals that come back only as carved files (named by type and first sector, matched by
  // their bytes), and carved files whose bytes are no original's (the rest of a file whose first
  // clusters something else overwrote, a start without its whole file).
  int carvedBack = 0;
  int carvedOther = 0;
  // Files estimated "unknown": no allocation data is left to judge them by, so the estimate says
  // neither sound nor spoilt.
  int unknown = 0;
  std::string manifest = "sha256";  // the manifest's side-file suffix
};

std::ostream& operator<<(std::ostream& out, const PiecesCase& c) {
  return out << c.recipe;
}

class RecoverPiecesTest : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(RecoverPiecesTest, EveryOriginalComesBackAndOnlySoundFilesAreCalledIntact) {
  const PiecesCase& c = GetParam();
  QRW_REQUIRE_DISK(image, c.recipe);
  const std::string base = TestDisksDir() + "/" + c.recipe;
  const std::map<std::string, std::string> originals = Manifest(ReadWholeFile(base + "." + c.manifest));
  ASSERT_GT(originals.size(), c.carved ? 2u : 20u);
  std::map<std::string, std::string> bySum;  // every original differs from every other
  for (const auto& [path, sum] : originals) bySum[sum] = path;

  const fs::path out =
      fs::temp_directory_path() / ("quarrow-pieces-" + std::to_string(::getpid()) + "-" + c.recipe);
  fs::remove_all(out);
  std::string stdoutText, stderrText;
  const int rc = RunCommand("TZ=UTC " + CliPath() + " recover " + ShellQuote(image) + " " + c.search +
                                " --to " + ShellQuote(out.string()) + " --json",
                            &stdoutText, &stderrText);
  ASSERT_EQ(rc, 0) << stderrText;
  const json doc = json::parse(stdoutText, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << stdoutText;
  std::string sums;
  RunCommand("cd " + ShellQuote(out.string()) +
                 " && find . -type f ! -name recovery-report.txt -printf '%P\\0' | "
                 "xargs -0 -r sha256sum",
             &sums);
  const std::map<std::string, std::string> written = Manifest(sums);
  const std::string report = ReadWholeFile((out / "recovery-report.txt").string());

  if (c.carved) {
    // By content: the sums of what was carved, each original's among them once.
    std::map<std::string, std::string> carvedTypeBySum;
    for (const json& f : doc["files"]) {
      if (f.value("estimate", "") != "carved") continue;
      const std::string path = f.value("path", "");
      SCOPED_TRACE(path);
      EXPECT_EQ(f.value("status", ""), "written");
      EXPECT_EQ(f.value("read", ""), "contiguous");
      const std::vector<std::string> parts = Split(path, '/');
      ASSERT_EQ(parts.size(), 3u);
      EXPECT_EQ(parts[0], "QRW_Carved");
      // "f" and the first sector in at least seven digits, the type's folder and extension.
      const std::string& name = parts[2];
      const std::size_t dot = name.find('.');
      ASSERT_NE(dot, std::string::npos);
      EXPECT_EQ(name[0], 'f');
      EXPECT_GE(dot, 8u);
      EXPECT_EQ(name.find_first_not_of("0123456789", 1), dot);
      EXPECT_EQ(name.substr(dot + 1), parts[1]);
      const auto got = written.find(f.value("writtenAs", ""));
      ASSERT_NE(got, written.end());
      EXPECT_TRUE(carvedTypeBySum.emplace(got->second, parts[1]).second) << "carved twice";
    }
    for (const auto& [path, sum] : originals) {
      SCOPED_TRACE(path);
      const auto found = carvedTypeBySum.find(sum);
      ASSERT_NE(found, carvedTypeBySum.end()) << "not carved byte for byte";
      std::string extension = path.substr(path.rfind('.') + 1);
      for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(found->second, extension);
    }
    // A start inside another file (the archive's member JPEG) is not a file of its own.
    EXPECT_EQ(carvedTypeBySum.size(), originals.size());
    EXPECT_NE(report.find("\tcarved\t"), std::string::npos);
    fs::remove_all(out);
    return;
  }

  int whole = 0, mixed = 0, unknown = 0, carvedOther = 0;
  std::set<std::string> seen, wholeAtPath, elsewhere, carved;
  for (const json& f : doc["files"]) {
    const std::string path = f.value("path", "");
    SCOPED_TRACE(path);
    const auto got = written.find(f.value("writtenAs", ""));
    const std::string sum = got == written.end() ? "" : got->second;
    const std::string estimate = f.value("estimate", "");
    const auto original = originals.find(path);
    bool identical = false;
    if (original != originals.end()) {
      seen.insert(path);
      if (estimate != "no record") {
        EXPECT_EQ(f.value("status", ""), "written");
      }
      identical = sum == original->second;
      EXPECT_EQ(identical, !c.spoilt.count(path)) << "estimate \"" << estimate << "\"";
      whole += identical;
      if (identical) wholeAtPath.insert(path);
    } else if (estimate == "carved") {
      // Found by its content: sound or not, the estimate claims neither; its bytes say which.
      if (bySum.count(sum)) {
        carved.insert(sum);
      } else {
        ++carvedOther;
      }
      continue;
    } else {
      // A file under a path no original had: sound only when its bytes are an original's. Empty
      // files and NTFS system files ($MFT, $Bitmap ...) are none of the card's files.
      if (f.value("size", 0) == 0 || path.find('$') != std::string::npos) continue;
      identical = bySum.count(sum) > 0;
      if (identical) {
        elsewhere.insert(sum);
        // Found in a folder whose name was lost, it keeps its own name.
        EXPECT_EQ(fs::path(path).filename(), fs::path(bySum.at(sum)).filename());
      }
    }
    mixed += estimate == "may be mixed";
    if (!estimate.empty()) {
      EXPECT_NE(report.find("\t" + estimate + "\t"), std::string::npos);
    }
    if (estimate == "unknown") {
      ++unknown;
      continue;
    }
    // Sound: the bytes are an original's. Called sound: no estimate (a live file read along its
    // chain) or "intact".
    const bool calledSound = estimate.empty() || estimate == "intact";
    EXPECT_EQ(calledSound, identical)
        << "estimate \"" << estimate << "\", read " << f.value("read", "") << ", "
        << (identical ? "byte-identical" : "differs from every original");
  }
  if (c.atPath < 0) {
    for (const auto& [path, sum] : originals) EXPECT_TRUE(seen.count(path)) << path << " was not recovered";
    EXPECT_EQ(whole, static_cast<int>(originals.size() - c.spoilt.size()));
  } else {
    EXPECT_EQ(whole, c.atPath);
  }
  // An original counts elsewhere only when it did not also come back at its own path.
  int onlyElsewhere = 0;
  for (const std::string& sum : elsewhere) onlyElsewhere += !wholeAtPath.count(bySum.at(sum));
  EXPECT_EQ(onlyElsewhere, c.elsewhere);
  int onlyCarved = 0;
  for (const std::string& sum : carved) {
    onlyCarved += !wholeAtPath.count(bySum.at(sum)) && !elsewhere.count(sum);
  }
  EXPECT_EQ(onlyCarved, c.carvedBack);
  EXPECT_EQ(carvedOther, c.carvedOther);
  EXPECT_EQ(unknown, c.unknown);
  // The command says how many files may hold other files' bytes.
  EXPECT_EQ(doc["summary"].value("mayBeMixed", -1), mixed);
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, RecoverPiecesTest,
    ::testing::Values(
        // The old volume is the only one with folders; its first FAT's place holds the new FAT.
        PiecesCase{.recipe = "fat32_reformat",
                   .search = "--mode advance --type FAT32 --start 2048 --end 266240 --fs 1"},
        // B's clusters hold D's bytes, F's H's; Q lost its clusters to FRAG. D's run from its first
        // cluster reads C's and H's G's: both come back read around them, their structure checked.
        PiecesCase{.recipe = "fat_frag_deleted",
                   .search = "--partition 1",
                   .spoilt = {"X2/_.PDF", "X7/_.JPG", "X8/_.JPG"}},
        // Without FATs the live FRAG.ZIP is read on from its first cluster too, over R.JPG: around
        // R's span it comes back whole, as D and H do.
        PiecesCase{.recipe = "fat_frag_zeroed",
                   .search = "--partition 1",
                   .spoilt = {"X2/_.PDF", "X7/_.JPG", "X8/_.JPG"}},
        // FATs, root and MEDIA's directory zeroed: a folder left elsewhere identifies the volume.
        PiecesCase{.recipe = "fat_carve",
                   .search = "--mode advance --type FAT16 --start 0 --end 65536 --fs 1",
                   .carved = true},
        // Three files' records zeroed (their names stay in the index) / their entry sets zeroed;
        // the files beside them keep theirs and must not come back a second time as carved ones.
        PiecesCase{.recipe = "ntfs_carve",
                   .search = "--mode advance --type NTFS --start 0 --end 65536 --fs 1",
                   .carved = true},
        PiecesCase{.recipe = "exfat_carve",
                   .search = "--mode advance --type exFAT --start 0 --end 65536 --fs 1",
                   .carved = true},
        // The new FATs lie over the old root, DCIM and 100CANON: 101CANON's 12 photos and MISC's 6
        // documents come back under folders named by the search; of the 24 photos of 100CANON,
        // the 16 whose first cluster the new FATs left come back carved.
        PiecesCase{.recipe = "fat32_smaller",
                   .search = "--mode advance --type FAT32 --start 2048 --end 147456",
                   .atPath = 0,
                   .elsewhere = 18,
                   .carvedBack = 16},
        // The new boot sector, FATs and root lie where the old ones were: the folders below the
        // root come back, their files read on from their first clusters, under names the search
        // gives DCIM and MISC.
        PiecesCase{.recipe = "fat32_same",
                   .search = "--mode advance --type FAT32 --start 2048 --end 147456",
                   .atPath = 0,
                   .elsewhere = 42},
        // The old boot sector and FATs survive; the new volume's boot sector, FATs and root lie over
        // MISC's directory and over parts of two photos, which the old chains still read as theirs:
        // their estimates say so.
        PiecesCase{.recipe = "fat32_repartition",
                   .search = "--mode advance --type FAT32 --start 2048 --end 98304",
                   .spoilt = {"DCIM/101CANON/IMG_0026.JPG", "DCIM/101CANON/IMG_0029.JPG"},
                   .atPath = 34},
        // The FATs lie over the $MFT: the folders' index blocks name every file, but no record says
        // where its data was; every file comes back carved.
        PiecesCase{.recipe = "ntfs_to_fat32",
                   .search = "--mode advance --type NTFS --start 2048 --end 81920",
                   .atPath = 0,
                   .carvedBack = 42},
        // The old file records past the new $MFT's first ones are left, and name every file.
        PiecesCase{.recipe = "ntfs_quick_format",
                   .search = "--mode advance --type NTFS --start 2048 --end 81920"},
        // The zeroed table: the FAT32 volume that was its second partition.
        PiecesCase{.recipe = "advance_lost_table",
                   .search = "--mode advance --type FAT32 --start 32193 --end 101193",
                   .manifest = "p2.sha256"},
        // The zeroed boot sector: the backup boot sector names the volume.
        PiecesCase{.recipe = "advance_backup_boot",
                   .search = "--mode advance --type FAT32 --start 2048 --end 81920",
                   .manifest = "p1.sha256"},
        // Boot sectors and FATs zeroed: the folders are found by their first clusters, and BIG,
        // whose directory grew into a cluster past its files, by the entries of that cluster too;
        // the three deleted files are "unknown", there being no FAT to judge by.
        PiecesCase{.recipe = "advance_wiped",
                   .search = "--mode advance --type FAT32 --start 2048 --end 81920",
                   .unknown = 3,
                   .manifest = "p1.sha256"}),
    [](const ::testing::TestParamInfo<PiecesCase>& info) { return info.param.recipe; });

}  // namespace
}  // namespace quarrow::testing
