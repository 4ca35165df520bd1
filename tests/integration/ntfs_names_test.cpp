// NTFS names besides a record's first: hard links (two more names in other folders, and 120 more
// whose $FILE_NAME attributes ntfs-3g moved into extension records) and names of deleted files
// left only as keys in their folder's index records, their records reused by other files. Both
// searches list every live name where fls lists it with the file's size (no extension record as a
// file of its own), every deleted name the recipe made, marked as having no record, and recovery
// writes each hard-linked name with the bytes icat reads and nothing for a name without a record.

#include <gtest/gtest.h>
#include <unistd.h>

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

struct FlsEntry {
  std::string line;  // "d PATH" or "f PATH SIZE"
  std::string path;
  std::string inode;  // the record number
  bool deleted = false;
};

// The entries fls lists, the volume's own ($...) left out. fls marks a deleted name "*", or shows
// "-" for its metadata type when its record holds another file now.
std::vector<FlsEntry> FlsEntries(const std::string& text) {
  std::vector<FlsEntry> out;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || f[1].starts_with("$")) continue;
    const std::string head = f[0].substr(f[0].find(' ') + 1);
    FlsEntry e;
    e.deleted = f[0].find(" * ") != std::string::npos || f[0].substr(0, 3) == "r/-";
    e.path = f[1];
    e.line = f[0][2] == 'd' ? "d " + f[1] : "f " + f[1] + " " + f[6];
    const std::string number = (e.deleted && head.starts_with("* ")) ? head.substr(2) : head;
    e.inode = number.substr(0, number.find_first_of(":-"));
    out.push_back(e);
  }
  return out;
}

bool Ours(const std::string& path) {
  return !path.starts_with("$") && !path.starts_with("QRW_Miscellaneous");
}

std::set<std::string> OurLive(const json& doc) {
  std::set<std::string> lines;
  for (const json& f : doc.value("folders", json::array())) {
    const std::string path = f.value("path", "");
    if (!f.value("deleted", false) && Ours(path)) lines.insert("d " + path);
  }
  for (const json& f : doc.value("files", json::array())) {
    const std::string path = f.value("path", "");
    if (!f.value("deleted", false) && Ours(path))
      lines.insert("f " + path + " " + std::to_string(f.value("size", 0ull)));
  }
  return lines;
}

// Deleted files by path, with their estimates.
std::map<std::string, std::string> OurDeletedFiles(const json& doc) {
  std::map<std::string, std::string> files;
  for (const json& f : doc.value("files", json::array())) {
    const std::string path = f.value("path", "");
    if (f.value("deleted", false) && Ours(path)) files[path] = f.value("estimate", "");
  }
  return files;
}

struct Mode {
  const char* name;
  bool advance;
};

class NtfsNamesTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    image_ = TestDisk("ntfs_names");
    if (image_.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
    const std::string base = TestDisksDir() + "/ntfs_names";
    start_ = std::stoull(ReadWholeFile(base + ".start"));
    sectors_ = std::stoull(ReadWholeFile(base + ".sectors"));
    fls_ = FlsEntries(ReadWholeFile(base + ".fls"));
    for (const std::string& line : Split(ReadWholeFile(base + ".deleted"), '\n'))
      if (!line.empty()) deleted_.insert(line);
    ASSERT_EQ(deleted_.size(), 70u);
  }
  std::string How() const {
    return GetParam().advance ? " --mode advance --type NTFS --start " + std::to_string(start_) + " --end " +
                                    std::to_string(start_ + sectors_)
                              : std::string(" --partition 1");
  }
  std::string InodeOf(const std::string& path) const {
    for (const FlsEntry& e : fls_)
      if (e.path == path && !e.deleted) return e.inode;
    ADD_FAILURE() << "fls does not list " << path;
    return "none";
  }
  json Scan() const {
    std::string out, err;
    EXPECT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image_) + How() + " --json", &out, &err), 0)
        << err;
    return json::parse(out, nullptr, false);
  }
  std::string image_;
  std::uint64_t start_ = 0, sectors_ = 0;
  std::vector<FlsEntry> fls_;
  std::set<std::string> deleted_;
};

TEST_P(NtfsNamesTest, ListsEveryLiveNameWhereFlsListsItWithTheFilesSize) {
  std::set<std::string> expected;
  int hardLinks = 0;
  for (const FlsEntry& e : fls_) {
    if (e.deleted) continue;
    expected.insert(e.line);
    hardLinks += e.inode == InodeOf("hundred/base.dat");
  }
  // The names of hundred/base.dat, and more than a record holds.
  ASSERT_GE(hardLinks, 121);
  const json doc = Scan();
  ASSERT_TRUE(doc.is_object());
  EXPECT_EQ(OurLive(doc), expected);
}

TEST_P(NtfsNamesTest, ListsTheDeletedNamesLeftInTheIndexAsHavingNoRecord) {
  const json doc = Scan();
  ASSERT_TRUE(doc.is_object());
  const std::map<std::string, std::string> ours = OurDeletedFiles(doc);
  std::set<std::string> paths;
  for (const auto& [path, estimate] : ours) {
    paths.insert(path);
    EXPECT_EQ(estimate, "no record") << path;
  }
  // Every name the recipe deleted, and nothing else: each of their records holds a file of "fresh"
  // now, so only the index keeps the names.
  EXPECT_EQ(paths, deleted_);
  // fls finds some of them too (those whose entry header survived), each where we list it.
  int flsDeleted = 0;
  for (const FlsEntry& e : fls_) {
    if (!e.deleted || e.line.starts_with("d ")) continue;
    ++flsDeleted;
    EXPECT_TRUE(ours.contains(e.path)) << e.path;
  }
  EXPECT_GT(flsDeleted, 0);
}

TEST_P(NtfsNamesTest, RecoveryWritesEveryHardLinkAsIcatReadsItAndNothingForANameWithoutARecord) {
  const fs::path out = fs::temp_directory_path() /
                       ("qrw-ntfs-names-" + std::string(GetParam().name) + "-" + std::to_string(::getpid()));
  fs::remove_all(out);
  std::string err;
  // The names without a record cannot be written: the run ends with failures.
  RunCommand(CliPath() + " recover " + ShellQuote(image_) + How() + " --to " + ShellQuote(out.string()) +
                 " >/dev/null",
             nullptr, &err);
  std::map<std::string, std::string> icat;  // by record number
  int compared = 0;
  for (const FlsEntry& e : fls_) {
    if (e.deleted || !e.line.starts_with("f ") ||
        !(e.inode == InodeOf("linked/original.txt") || e.inode == InodeOf("hundred/base.dat")))
      continue;
    SCOPED_TRACE(e.path);
    if (!icat.contains(e.inode)) {
      ASSERT_EQ(RunCommand("icat -o " + std::to_string(start_) + " " + ShellQuote(image_) + " " + e.inode,
                           &icat[e.inode]),
                0);
      ASSERT_FALSE(icat[e.inode].empty());
    }
    EXPECT_TRUE(ReadWholeFile((out / e.path).string()) == icat[e.inode]);
    ++compared;
  }
  EXPECT_EQ(compared, 3 + 121);
  for (const std::string& path : deleted_) EXPECT_FALSE(fs::exists(out / path)) << path;
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(BothSearches, NtfsNamesTest,
                         ::testing::Values(Mode{"Standard", false}, Mode{"Advance", true}),
                         [](const ::testing::TestParamInfo<Mode>& info) { return info.param.name; });

}  // namespace
}  // namespace quarrow::testing
