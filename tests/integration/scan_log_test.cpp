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

INSTANTIATE_TEST_SUITE_P(Logs, ScanLogRoundTrip,
                         ::testing::Values(std::pair<std::string, std::string>{"fat16_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{"fat32_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{"ntfs_tree", "--partition 1"},
                                           std::pair<std::string, std::string>{
                                               "ntfs_tree", "--partition 1 --mode advance"}));

}  // namespace
}  // namespace quarrow::testing
