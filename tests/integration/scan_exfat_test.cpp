// exFAT on an SD-card-like image made by mkfs.exfat and filled through exfat-fuse (no partition
// table, 4 KiB clusters), compared with The Sleuth Kit: the Standard search lists the tree fls
// lists (every folder and file, deleted ones marked, whole names, sizes) on the card as made, with
// its main boot sector wiped (read by the backup), inside a partition table, and with that table
// wiped (found by the lost-partition search); recovery writes every file as icat reads it and as
// the recipe wrote it, with its time; a scan log saves and shows the same tree. With the whole boot
// region wiped (main and backup), the Advance search finds the volume from its folders and the
// FAT before them, and lists and recovers the same.
//
// fls lists the volume's own files ($ALLOC_BITMAP, $UPCASE_TABLE), the label entry and its
// virtual $MBR, $FAT1 and $OrphanFiles; those are not files of the card and are left out.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exfat_fls.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::set<std::string> OurLines(const json& doc) {
  std::set<std::string> lines;
  for (const json& f : doc.value("folders", json::array()))
    lines.insert("d " + f.value("path", "") + (f.value("deleted", false) ? " *" : ""));
  for (const json& f : doc.value("files", json::array()))
    lines.insert("f " + f.value("path", "") + " " + std::to_string(f.value("size", 0ull)) +
                 (f.value("deleted", false) ? " *" : ""));
  return lines;
}

struct Scratch {
  Scratch() {
    path = fs::temp_directory_path() / ("quarrow-exfat-it-" + std::to_string(::getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

int Quarrow(const std::string& args, std::string* out, std::string* err = nullptr) {
  return RunCommand("TZ=UTC " + CliPath() + " " + args, out, err);
}

// The card and the variants made from it by wiping or wrapping, once for the whole suite.
struct Card {
  std::string image, base, error;
  bool skipped = false;
  std::vector<FlsEntry> fls;
  Scratch scratch;
  std::string Variant(const std::string& name) const { return (scratch.path / (name + ".img")).string(); }
};

const Card& TheCard() {
  static Card card = [] {
    Card c;
    c.image = TestDisk("exfat_card");
    if (c.image.empty()) {
      c.error = LastTestDiskError();
      c.skipped = LastTestDiskSkipped();
      return c;
    }
    c.base = TestDisksDir() + "/exfat_card";
    c.fls = ParseFls(ReadWholeFile(c.base + ".fls"));
    const std::string img = ShellQuote(c.image);
    const std::string wiped = ShellQuote(c.Variant("wiped-boot-sector"));
    const std::string table = ShellQuote(c.Variant("in-a-table"));
    const std::string lost = ShellQuote(c.Variant("table-wiped"));
    const std::string noBoot = ShellQuote(c.Variant("boot-region-wiped"));
    const std::string gpt = ShellQuote(c.Variant("in-a-gpt"));
    const std::string gptWiped = ShellQuote(c.Variant("in-a-gpt-boot-sector-wiped"));
    const std::string script =
        "cp " + img + " " + wiped + " && dd if=/dev/zero of=" + wiped +
        " bs=512 count=1 conv=notrunc status=none && truncate -s 1M " + table + " && cat " + img + " >>" +
        table + " && printf 'label: dos\\nstart=2048, type=07\\n' | sfdisk -q " + table + " && cp " + table +
        " " + lost + " && dd if=/dev/zero of=" + lost + " bs=512 count=1 conv=notrunc status=none && cp " +
        img + " " + noBoot + " && dd if=/dev/zero of=" + noBoot +
        " bs=512 count=24 conv=notrunc status=none && truncate -s 1M " + gpt + " && cat " + img + " >>" +
        gpt + " && truncate -s +1M " + gpt + " && sgdisk -n 1:2048:+32M -t 1:0700 " + gpt + " >/dev/null && cp " +
        gpt + " " + gptWiped + " && dd if=/dev/zero of=" + gptWiped +
        " bs=512 seek=2048 count=1 conv=notrunc status=none";
    std::string err;
    if (RunCommand(script, nullptr, &err) != 0) c.error = "variants could not be made: " + err;
    return c;
  }();
  return card;
}

class ExfatCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Card& c = TheCard();
    if (c.image.empty() && c.skipped) GTEST_SKIP() << c.error;
    ASSERT_TRUE(c.error.empty()) << c.error;
    ASSERT_GT(c.fls.size(), 2500u);
  }
  const Card& card() const { return TheCard(); }
};

TEST_F(ExfatCardTest, EveryFormOfTheCardListsTheTreeFlsLists) {
  // The table-wiped card has no partition 1 until the lost-partition search finds it.
  std::string searched;
  ASSERT_EQ(
      Quarrow("partitions " + ShellQuote(card().Variant("table-wiped")) + " --search --json", &searched), 0);
  const json found = json::parse(searched, nullptr, false);
  ASSERT_TRUE(found.is_object());
  ASSERT_EQ(found["partitions"].size(), 1u) << searched;
  const json& lostEntry = found["partitions"][0];
  EXPECT_EQ(lostEntry.value("fs", ""), "exFAT");
  EXPECT_EQ(lostEntry.value("first", 0), 2048);
  const std::string lostRange = " --start " + std::to_string(lostEntry.value("first", 0)) + " --end " +
                                std::to_string(lostEntry.value("end", 0)) + " --type exFAT";

  struct Case {
    std::string what, image, where;
    std::uint64_t start;
  };
  const std::vector<Case> cases = {
      {"as made", card().image, " --partition 1", 0},
      {"main boot sector wiped", card().Variant("wiped-boot-sector"), " --partition 1", 0},
      {"inside a table", card().Variant("in-a-table"), " --partition 1", 2048},
      {"inside a GPT", card().Variant("in-a-gpt"), " --partition 1", 2048},
      {"inside a GPT, main boot sector wiped", card().Variant("in-a-gpt-boot-sector-wiped"), " --partition 1",
       2048},
      {"table wiped, found by search", card().Variant("table-wiped"), lostRange, 2048},
      {"boot region wiped, Advance search", card().Variant("boot-region-wiped"),
       " --mode advance --start 0 --end 65536 --type exFAT", 0},
  };
  const std::set<std::string> expected = FlsLines(card().fls);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out, err;
    ASSERT_EQ(Quarrow("scan " + ShellQuote(c.image) + c.where + " --json", &out, &err), 0) << err;
    const json doc = json::parse(out, nullptr, false);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["search"].value("type", ""), "exFAT");
    EXPECT_EQ(doc["search"].value("start", 1), c.start);
    EXPECT_EQ(doc.value("label", ""), "CARD");
    const std::set<std::string> ours = OurLines(doc);
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), ours.begin(), ours.end(),
                        std::back_inserter(missing));
    std::set_difference(ours.begin(), ours.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first: " << missing.front();
    EXPECT_TRUE(extra.empty()) << extra.size() << " extra, first: " << extra.front();
  }
}

class ExfatRecoveryTest : public ExfatCardTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExfatRecoveryTest, RecoveredFilesAreWhatIcatReadsAndWhatWasWrittenWithTheirTimes) {
  const bool advance = std::string(GetParam()) == "advance";
  const fs::path out = card().scratch.path / (std::string("recovered-") + GetParam());
  const std::string source = advance ? ShellQuote(card().Variant("boot-region-wiped")) +
                                           " --mode advance --start 0 --end 65536 --type exFAT"
                                     : ShellQuote(card().image) + " --partition 1";
  std::string report, err;
  ASSERT_EQ(Quarrow("recover " + source + " --to " + ShellQuote(out.string()) + " --json", &report, &err), 0)
      << err;
  const json doc = json::parse(report, nullptr, false);
  ASSERT_TRUE(doc.is_object());
  std::map<std::string, json> files;
  for (const json& f : doc.value("files", json::array())) files[f.value("path", "")] = f;

  int compared = 0, deleted = 0;
  for (const FlsEntry& e : card().fls) {
    if (e.folder) continue;
    SCOPED_TRACE(e.path);
    const fs::path original =
        fs::path(card().base + ".originals") / fs::path(std::u8string(e.path.begin(), e.path.end()));
    ASSERT_TRUE(files.count(e.path)) << "not recovered";
    EXPECT_EQ(files[e.path].value("status", ""), "written");
    const fs::path written = out / fs::path(std::u8string(e.path.begin(), e.path.end()));
    const std::string bytes = ReadWholeFile(written.string());
    EXPECT_EQ(bytes.size(), e.size);
    if (!fs::is_regular_file(original)) continue;  // the folder of many empty files
    std::string icat;
    RunCommand("icat " + ShellQuote(card().image) + " " + std::to_string(e.inode), &icat);
    EXPECT_TRUE(bytes == icat) << "differs from icat";
    EXPECT_TRUE(bytes == ReadWholeFile(original.string())) << "differs from the original";
    struct stat st {};
    ASSERT_EQ(::stat(written.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, e.mtime);
    if (e.deleted) {
      ++deleted;
      EXPECT_EQ(files[e.path].value("estimate", ""), "intact");
    }
    ++compared;
  }
  EXPECT_GE(compared, 18);
  EXPECT_EQ(deleted, 5);
}

TEST_F(ExfatCardTest, TheAdvanceSearchSaysHowItFoundTheVolume) {
  struct Case {
    std::string image, says;
  };
  const Case cases[] = {
      {card().image, "File System 1 - exFAT  boot sector 0, cluster 0 at sector 4080, 8 sectors per cluster"},
      {card().Variant("boot-region-wiped"),
       "File System 1 - exFAT  derived from directories, cluster 0 at sector 4080, 8 sectors per cluster"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    ASSERT_EQ(Quarrow("scan " + ShellQuote(c.image) + " --mode advance --start 0 --end 65536 --type exFAT",
                      &out, &err),
              0)
        << err;
    EXPECT_NE(out.find(c.says), std::string::npos) << out.substr(0, 300);
  }
}

// The card as made, and with its boot region wiped (the Advance search's volume).
INSTANTIATE_TEST_SUITE_P(Card, ExfatRecoveryTest, ::testing::Values("standard", "advance"));

TEST_F(ExfatCardTest, AScanLogShowsTheTreeTheScanFound) {
  const std::string log = (card().scratch.path / "card.qlg").string();
  std::string scanned, shown, err;
  ASSERT_EQ(
      Quarrow("scan " + ShellQuote(card().image) + " --partition 1 --json --save-log " + ShellQuote(log),
              &scanned, &err),
      0)
      << err;
  ASSERT_EQ(
      Quarrow("show " + ShellQuote(log) + " --disk " + ShellQuote(card().image) + " --json", &shown, &err), 0)
      << err;
  const json a = json::parse(scanned, nullptr, false), b = json::parse(shown, nullptr, false);
  ASSERT_TRUE(a.is_object() && b.is_object());
  EXPECT_EQ(OurLines(a), OurLines(b));
  EXPECT_EQ(b.value("label", ""), "CARD");
  EXPECT_EQ(b["search"].value("type", ""), "exFAT");
}

}  // namespace
}  // namespace quarrow::testing
