// A scan saved to a log and loaded on a fresh process (`quarrow scan --save-log`, then
// `quarrow show`) gives the same search, geometry, label, folders and files. Sibling folders may
// come in another order: a loaded tree is rebuilt from the log's rows, so the comparison is by
// path. A log whose disk model does not match is refused with the one refusal text.

#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;

// The document with its folder and file lists keyed by path, and what a log does not keep (the
// identified file systems of an Advance search and the file starts it recognised) left out.
json Comparable(json doc) {
  for (const char* list : {"folders", "files"}) {
    std::map<std::string, json> byPath;
    for (const json& item : doc[list]) byPath[item.value("path", "")] = item;
    doc[list] = byPath;
  }
  doc.erase("identified");
  doc.erase("chosen");
  doc.erase("carved");
  return doc;
}

std::string TempLog() {
  char name[] = "/tmp/qrw-log.XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return std::string(name) + ".QLG";
}

class ScanLogRoundTrip : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(ScanLogRoundTrip, ShowGivesWhatTheScanGave) {
  const auto& [recipe, args] = GetParam();
  QRW_REQUIRE_DISK(image, recipe);
  const std::string log = TempLog();
  std::string scanned, err;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image) + " " + args + " --json --save-log " + log,
                       &scanned, &err),
            0)
      << err;
  std::string shown;
  ASSERT_EQ(RunCommand(CliPath() + " show " + log + " --disk " + ShellQuote(image) + " --json", &shown, &err),
            0)
      << err;
  const json before = json::parse(scanned), after = json::parse(shown);
  EXPECT_GT(before["folders"].size(), 3u);
  EXPECT_EQ(Comparable(after), Comparable(before));

  // Another disk's model: refused with the one text, nothing printed.
  QRW_REQUIRE_DISK(other, "smoke_fat16");
  std::string out;
  EXPECT_EQ(RunCommand(CliPath() + " show " + log + " --disk " + ShellQuote(other), &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err,
            "quarrow show: Either the selected log file is corrupted or you have selected the wrong disk for "
            "recovery.\n");
  std::remove(log.c_str());
}

// A log keeps folders and file entries, and a carved file is neither: the scan says the log leaves
// them out, and the loaded log shows the volume without them (no folder of carved files that would
// list nothing), everything else as the scan gave it.
TEST(ScanLogCarved, CarvedFilesAreLeftOutOfTheLogAndTheScanSaysSo) {
  QRW_REQUIRE_DISK(image, "fat_carve");
  const std::string log = TempLog();
  const std::string search = " --mode advance --type FAT16 --start 0 --end 65536 --json";
  std::string scanned, err;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image) + search + " --save-log " + log, &scanned, &err), 0)
      << err;
  EXPECT_NE(err.find("quarrow scan: note: the scan log does not keep the 13 carved files; an Advance search finds "
                     "them again\n"),
            std::string::npos)
      << err;
  std::string shown;
  ASSERT_EQ(RunCommand(CliPath() + " show " + log + " --disk " + ShellQuote(image) + " --json", &shown, &err), 0)
      << err;
  json before = json::parse(scanned);
  const json after = json::parse(shown);
  std::size_t carved = 0;
  for (const char* list : {"folders", "files"}) {
    json kept = json::array();
    for (const json& item : before[list]) {
      if (item.value("path", "").rfind("QRW_Carved", 0) == 0)
        carved += std::string(list) == "files";
      else
        kept.push_back(item);
    }
    before[list] = kept;
  }
  EXPECT_EQ(carved, 13u);
  EXPECT_EQ(Comparable(after), Comparable(before));
  std::remove(log.c_str());
}

INSTANTIATE_TEST_SUITE_P(Logs, ScanLogRoundTrip,
                         ::testing::Values(std::pair<std::string, std::string>{"fat16_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{"fat32_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{"ntfs_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{
                                               "ntfs_tree", "--partition 1 --mode advance"}));

}  // namespace
}  // namespace quarrow::testing
