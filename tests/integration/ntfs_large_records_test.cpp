// NTFS volumes whose file records are as large as their sectors, as mkntfs makes them with
// -s 4096 and -s 2048 (records of 4096 and 2048 bytes), inside an MBR and bare. Each is listed as a
// partition, both searches list every folder and file where fls lists it (records read at the wrong
// size would be cut apart and numbered wrongly, putting files under wrong folders or nowhere), the
// deleted ones as deleted, and recovery in both modes writes every file as icat reads it, among
// them one of several runs and deleted ones.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Volume {
  const char* name;
  const char* recipe;
  int partition;          // as 'quarrow partitions' numbers it
  const char* sideFiles;  // $OUTBASE of the recipe's side files, after the recipe's name
  unsigned recordBytes;
};

void PrintTo(const Volume& v, std::ostream* os) {
  *os << v.name;
}

struct FlsEntry {
  std::string line;  // "d PATH" or "f PATH SIZE"
  std::string inode;
  bool deleted = false;
};

// The entries fls lists, the volume's own ($...) left out.
std::vector<FlsEntry> FlsEntries(const std::string& text) {
  std::vector<FlsEntry> out;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || f[1].starts_with("$")) continue;
    FlsEntry e;
    e.deleted = f[0].find(" * ") != std::string::npos;
    std::string head = f[0].substr(f[0].find(' ') + 1);
    if (head.starts_with("* ")) head = head.substr(2);
    e.inode = head.substr(0, head.find(':'));
    e.line = (f[0][2] == 'd' ? "d " + f[1] : "f " + f[1] + " " + f[6]);
    out.push_back(e);
  }
  return out;
}

std::set<std::string> Ours(const json& doc, bool deleted) {
  std::set<std::string> lines;
  for (const json& f : doc.value("folders", json::array())) {
    const std::string path = f.value("path", "");
    if (f.value("deleted", false) == deleted && !path.starts_with("$") &&
        !path.starts_with("QRW_Miscellaneous"))
      lines.insert("d " + path);
  }
  for (const json& f : doc.value("files", json::array())) {
    const std::string path = f.value("path", "");
    if (f.value("deleted", false) == deleted && !path.starts_with("$") &&
        !path.starts_with("QRW_Miscellaneous"))
      lines.insert("f " + path + " " + std::to_string(f.value("size", 0ull)));
  }
  return lines;
}

class NtfsLargeRecordsTest : public ::testing::TestWithParam<Volume> {
 protected:
  void SetUp() override {
    image_ = TestDisk(GetParam().recipe);
    if (image_.empty()) QRW_SKIP_OR_FAIL_FOR_DISK();
    const std::string base = TestDisksDir() + "/" + GetParam().recipe + GetParam().sideFiles;
    start_ = std::stoull(ReadWholeFile(base + ".start"));
    fls_ = FlsEntries(ReadWholeFile(base + ".fls"));
    int big = 0;
    for (const FlsEntry& e : fls_) big += e.line.ends_with("/large.dat 320000") && !e.deleted;
    ASSERT_EQ(big, 1) << "the recipe did not make the volume it meant to";
  }
  std::set<std::string> Fls(bool deleted) const {
    std::set<std::string> lines;
    for (const FlsEntry& e : fls_)
      if (e.deleted == deleted) lines.insert(e.line);
    return lines;
  }
  json Scan(const std::string& mode) const {
    std::string out, err;
    EXPECT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image_) + " --partition " +
                             std::to_string(GetParam().partition) + " --mode " + mode + " --json",
                         &out, &err),
              0)
        << err;
    return json::parse(out, nullptr, false);
  }
  std::string image_;
  std::uint64_t start_ = 0;
  std::vector<FlsEntry> fls_;
};

TEST_P(NtfsLargeRecordsTest, IsListedAsAnNtfsPartition) {
  std::string out, err;
  ASSERT_EQ(RunCommand(CliPath() + " partitions " + ShellQuote(image_) + " --json", &out, &err), 0) << err;
  const json doc = json::parse(out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << out;
  const json& listed = doc["partitions"];
  ASSERT_GE(listed.size(), static_cast<std::size_t>(GetParam().partition)) << out;
  const json& p = listed[static_cast<std::size_t>(GetParam().partition - 1)];
  EXPECT_EQ(p.value("first", std::uint64_t{1}), start_) << out;
  EXPECT_EQ(p.value("fs", ""), "NTFS") << out;
}

TEST_P(NtfsLargeRecordsTest, BothSearchesListTheTreeFlsLists) {
  for (const std::string mode : {"standard", "advance"}) {
    SCOPED_TRACE(mode);
    const json doc = Scan(mode);
    ASSERT_TRUE(doc.is_object());
    if (mode == "standard") {
      EXPECT_EQ(doc["geometry"].value("MftRecordSectors", 0u), GetParam().recordBytes / 512);
    }
    EXPECT_EQ(Ours(doc, false), Fls(false));
    // The names fls lists as deleted (a file, a folder and what it held, the holes of the fill),
    // deleted at the same place.
    EXPECT_EQ(Ours(doc, true), Fls(true));
  }
}

TEST_P(NtfsLargeRecordsTest, RecoveryInBothModesWritesEveryFileAsIcatReadsIt) {
  // Every file, the deleted ones too: their records still say where their data was (for the
  // holes of the fill, clusters the large file took since, which icat reads as well).
  std::vector<std::pair<std::string, std::string>> files;  // path, icat's bytes
  for (const FlsEntry& e : fls_) {
    if (!e.line.starts_with("f ")) continue;
    std::string icat;
    ASSERT_EQ(
        RunCommand("icat -o " + std::to_string(start_) + " " + ShellQuote(image_) + " " + e.inode, &icat), 0);
    files.emplace_back(e.line.substr(2, e.line.rfind(' ') - 2), std::move(icat));
  }
  ASSERT_GT(files.size(), 60u);
  for (const std::string mode : {"standard", "advance"}) {
    SCOPED_TRACE(mode);
    const fs::path out =
        fs::temp_directory_path() / ("qrw-ntfs-large-records-" + std::string(GetParam().name) + "-" + mode +
                                     "-" + std::to_string(::getpid()));
    fs::remove_all(out);
    std::string err;
    ASSERT_EQ(RunCommand(CliPath() + " recover " + ShellQuote(image_) + " --partition " +
                             std::to_string(GetParam().partition) + " --mode " + mode + " --to " +
                             ShellQuote(out.string()) + " >/dev/null",
                         nullptr, &err),
              0)
        << err;
    for (const auto& [path, icat] : files) {
      const std::string written = ReadWholeFile((out / path).string());
      EXPECT_EQ(written.size(), icat.size()) << path;
      EXPECT_TRUE(written == icat) << path << ": the recovered bytes differ from icat's";
    }
    fs::remove_all(out);
  }
}

INSTANTIATE_TEST_SUITE_P(Sectors, NtfsLargeRecordsTest,
                         ::testing::Values(Volume{"records4k_mbr", "ntfs_large_records", 1, ".1", 4096},
                                           Volume{"records2k_mbr", "ntfs_large_records", 2, ".2", 2048},
                                           Volume{"records4k_bare", "ntfs_large_records_bare", 1, "", 4096}),
                         [](const ::testing::TestParamInfo<Volume>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quarrow::testing
