// `quarrow recover` of FAT volumes whose files were written in pieces, checked against the sha256
// manifest of the files each recipe copied in: a FAT32 card formatted again with larger clusters
// (recovered by an Advance search of the old volume, whose chains come from its second FAT), deleted
// files written around other files on an undamaged volume, and the same volume with both FATs
// zeroed. Every original must come back under its path, and the estimate of each must say whether
// its bytes are its own: "intact" (or none, for a live file) exactly when they are.

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
  ASSERT_GT(originals.size(), 20u);

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
                   {"X2/_.PDF", "X4/_.JPG", "X7/_.JPG", "X5/_.PDF", "X8/_.JPG", "X6/FRAG.ZIP"}}),
    [](const ::testing::TestParamInfo<PiecesCase>& info) { return info.param.recipe; });

}  // namespace
}  // namespace quarrow::testing
