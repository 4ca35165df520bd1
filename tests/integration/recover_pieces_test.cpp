// `quarrow recover` of FAT volumes whose files were written in pieces, checked against the sha256
// manifest of the files each recipe copied in: a FAT32 card formatted again with larger clusters
// (recovered by an Advance search of the old volume, whose chains come from its second FAT), deleted
// files written around other files on an undamaged volume, and the same volume with both FATs
// zeroed. Every original must come back under its path, and the estimate of each must say whether
// its bytes are its own: "intact" (or none, for a live file) exactly when they are. On a volume whose
// structures no longer describe the files (FAT, NTFS and exFAT), every original must come back by
// its content alone: once, as a carved file of its type, and nothing else carved besides.

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
  std::set<std::string> spoilt;
  // No structure describes the originals: they come back as carved files, found by their bytes.
  bool carved = false;
};

std::ostream& operator<<(std::ostream& out, const PiecesCase& c) {
  return out << c.recipe;
}

class RecoverPiecesTest : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(RecoverPiecesTest, EveryOriginalComesBackAndOnlySoundFilesAreCalledIntact) {
  const PiecesCase& c = GetParam();
  QRW_REQUIRE_DISK(image, c.recipe);
  const std::string base = TestDisksDir() + "/" + c.recipe;
  const std::map<std::string, std::string> originals = Manifest(ReadWholeFile(base + ".sha256"));
  ASSERT_GT(originals.size(), c.carved ? 2u : 20u);

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

  int whole = 0, mixed = 0;
  std::set<std::string> seen;
  for (const json& f : doc["files"]) {
    const std::string path = f.value("path", "");
    const auto original = originals.find(path);
    if (original == originals.end()) continue;  // an entry whose original the recipe did not keep
    seen.insert(path);
    SCOPED_TRACE(path);
    EXPECT_EQ(f.value("status", ""), "written");
    const auto got = written.find(f.value("writtenAs", ""));
    const bool identical = got != written.end() && got->second == original->second;
    const std::string estimate = f.value("estimate", "");
    // Sound: the bytes are the original's. Called sound: no estimate (a live file read along its
    // chain) or "intact".
    EXPECT_EQ(estimate.empty() || estimate == "intact", identical)
        << "estimate \"" << estimate << "\", read " << f.value("read", "") << ", "
        << (identical ? "byte-identical" : "differs from the original");
    EXPECT_EQ(identical, !c.spoilt.count(path)) << "estimate \"" << estimate << "\"";
    whole += identical;
    mixed += estimate == "may be mixed";
    // The report carries the same estimate.
    if (!estimate.empty()) {
      EXPECT_NE(report.find("\t" + estimate + "\t"), std::string::npos);
    }
  }
  for (const auto& [path, sum] : originals) EXPECT_TRUE(seen.count(path)) << path << " was not recovered";
  EXPECT_EQ(whole, static_cast<int>(originals.size() - c.spoilt.size()));
  // The command says how many files may hold other files' bytes.
  EXPECT_EQ(doc["summary"].value("mayBeMixed", -1), mixed);
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, RecoverPiecesTest,
    ::testing::Values(
        // The old volume is the only one with folders; its first FAT's place holds the new FAT.
        PiecesCase{"fat32_reformat", "--mode advance --type FAT32 --start 2048 --end 266240 --fs 1", {}},
        // B's clusters hold D's bytes, D's run C's, F's H's and H's G's; Q lost its clusters to FRAG.
        PiecesCase{"fat_frag_deleted",
                   "--partition 1",
                   {"X2/_.PDF", "X4/_.JPG", "X7/_.JPG", "X5/_.PDF", "X8/_.JPG"}},
        // Without FATs the live FRAG.ZIP is read on from its first cluster too, over R.JPG.
        PiecesCase{"fat_frag_zeroed",
                   "--partition 1",
                   {"X2/_.PDF", "X4/_.JPG", "X7/_.JPG", "X5/_.PDF", "X8/_.JPG", "X6/FRAG.ZIP"}},
        // FATs, root and MEDIA's directory zeroed: a folder left elsewhere identifies the volume.
        PiecesCase{"fat_carve", "--mode advance --type FAT16 --start 0 --end 65536 --fs 1", {}, true},
        // Three files' records zeroed (their names stay in the index) / their entry sets zeroed;
        // the files beside them keep theirs and must not come back a second time as carved ones.
        PiecesCase{"ntfs_carve", "--mode advance --type NTFS --start 0 --end 65536 --fs 1", {}, true},
        PiecesCase{"exfat_carve", "--mode advance --type exFAT --start 0 --end 65536 --fs 1", {}, true}),
    [](const ::testing::TestParamInfo<PiecesCase>& info) { return info.param.recipe; });

}  // namespace
}  // namespace quarrow::testing
