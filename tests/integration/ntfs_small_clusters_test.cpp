// NTFS with clusters smaller than an MFT record (mkntfs -c 512): the $MFT grows into holes of odd
// cluster counts, so records lie across two of its runs. Both searches list every live folder and
// file where fls lists it (a record read from the wrong sectors numbers every later one wrongly and
// puts files under the wrong folder), and recovery writes each file whole.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct LiveEntry {
  std::string line;  // "d PATH" or "f PATH SIZE"
  std::string inode;
};

// The live entries fls lists, the volume's own ($...) left out.
std::vector<LiveEntry> FlsLive(const std::string& text) {
  std::vector<LiveEntry> out;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || f[0].find(" * ") != std::string::npos || f[1].starts_with("$")) continue;
    const std::string head = f[0].substr(f[0].find(' ') + 1);
    out.push_back(
        {(f[0][2] == 'd' ? "d " + f[1] : "f " + f[1] + " " + f[6]), head.substr(0, head.find(':'))});
  }
  return out;
}

std::set<std::string> OurLive(const json& doc) {
  std::set<std::string> lines;
  for (const json& f : doc.value("folders", json::array())) {
    const std::string path = f.value("path", "");
    if (!f.value("deleted", false) && !path.starts_with("$") && !path.starts_with("QRW_Miscellaneous"))
      lines.insert("d " + path);
  }
  for (const json& f : doc.value("files", json::array())) {
    const std::string path = f.value("path", "");
    if (!f.value("deleted", false) && !path.starts_with("$") && !path.starts_with("QRW_Miscellaneous"))
      lines.insert("f " + path + " " + std::to_string(f.value("size", 0ull)));
  }
  return lines;
}

class NtfsSmallClustersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = TestDisk("ntfs_small_clusters");
    if (image_.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
    const std::string base = TestDisksDir() + "/ntfs_small_clusters";
    start_ = std::stoull(ReadWholeFile(base + ".start"));
    sectors_ = std::stoull(ReadWholeFile(base + ".sectors"));
    fls_ = FlsLive(ReadWholeFile(base + ".fls"));
    ASSERT_GT(fls_.size(), 200u);
  }
  std::set<std::string> Expected() const {
    std::set<std::string> lines;
    for (const LiveEntry& e : fls_) lines.insert(e.line);
    return lines;
  }
  std::string image_;
  std::uint64_t start_ = 0, sectors_ = 0;
  std::vector<LiveEntry> fls_;
};

TEST_F(NtfsSmallClustersTest, BothSearchesListEveryLiveEntryWhereFlsListsIt) {
  const std::string range =
      " --start " + std::to_string(start_) + " --end " + std::to_string(start_ + sectors_);
  for (const std::string& how : {std::string(" --partition 1"), " --mode advance --type NTFS" + range}) {
    SCOPED_TRACE(how);
    std::string out, err;
    ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image_) + how + " --json", &out, &err), 0) << err;
    const json doc = json::parse(out, nullptr, false);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(OurLive(doc), Expected());
  }
}

TEST_F(NtfsSmallClustersTest, RecoveryWritesEveryFileAsIcatReadsIt) {
  const fs::path out = fs::temp_directory_path() / ("qrw-ntfs-small-clusters-" + std::to_string(::getpid()));
  fs::remove_all(out);
  std::string err;
  ASSERT_EQ(RunCommand(CliPath() + " recover " + ShellQuote(image_) + " --partition 1 --to " +
                           ShellQuote(out.string()) + " >/dev/null",
                       nullptr, &err),
            0)
      << err;
  // Each file of a folder holds a line naming the folder, the root's files 1536 's'; every tenth
  // is also read by icat.
  int compared = 0;
  for (const LiveEntry& e : fls_) {
    if (!e.line.starts_with("f ")) continue;
    const std::string path = e.line.substr(2, e.line.rfind(' ') - 2);
    SCOPED_TRACE(path);
    const std::string written = ReadWholeFile((out / path).string());
    const bool inFolder = path.find('/') != std::string::npos;
    EXPECT_EQ(written,
              inFolder ? "the file of " + path.substr(0, path.find('/')) + "\n" : std::string(1536, 's'));
    if (compared++ % 10 == 0) {
      std::string icat;
      ASSERT_EQ(
          RunCommand("icat -o " + std::to_string(start_) + " " + ShellQuote(image_) + " " + e.inode, &icat),
          0);
      EXPECT_TRUE(written == icat);
    }
  }
  EXPECT_GT(compared, 100);
  fs::remove_all(out);
}

}  // namespace
}  // namespace quarrow::testing
