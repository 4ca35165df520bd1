// FAT folders whose ".." entry lies: one that names the folder itself, and two folders whose ".."
// entries name each other. fls places them by the entries that name them; both searches must too,
// with the whole sub-tree below them (the Advance search links folders by ".." first).
// And entries that name a folder listed elsewhere: the deleted entry a moved folder leaves behind,
// and a live entry that names an ancestor (a cross-linked directory), after a zeroed slot or not.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Damage {
  const char* name;
  const char* folder;    // the folder whose ".." is rewritten
  const char* pointsTo;  // the folder whose cluster it is given
};

void PrintTo(const Damage& d, std::ostream* os) {
  *os << d.name;
}

// The first sector of a folder's directory, as istat gives it.
std::uint64_t DirectorySector(const std::string& image, const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("istat " + ShellQuote(image) + " $(ifind -n " + ShellQuote(path) + " " +
                           ShellQuote(image) + ") | awk '/^Sectors:/ { getline; print $1 }'",
                       &out),
            0);
  return std::stoull(out.empty() ? "0" : out);
}

std::set<std::string> Lines(const json& doc) {
  std::set<std::string> lines;
  for (const char* list : {"folders", "files"})
    for (const json& f : doc.value(list, json::array()))
      if (f.value("path", "") != "QRW_Miscellaneous") lines.insert(f.value("path", ""));
  return lines;
}

// Checks the JSON answer of the Standard and of the Advance search of the 16 MiB FAT16 volume img.
void ForBothSearches(const std::string& img, const std::function<void(const json&)>& check) {
  for (const std::string how : {"--partition 1", "--mode advance --type FAT16 --start 0 --end 32768"}) {
    SCOPED_TRACE(how);
    std::string out, err;
    ASSERT_EQ(RunCommand(CliPath() + " scan " + img + " " + how + " --json", &out, &err), 0) << err;
    const json doc = json::parse(out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << out;
    check(doc);
  }
}

template <typename Case>
class FatFolderLinksTestBase : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qrw-fat-links-" + std::string(this->GetParam().name) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

class FatFolderLinksTest : public FatFolderLinksTestBase<Damage> {};

TEST_P(FatFolderLinksTest, BothSearchesPlaceTheFolderWhereItsEntryIs) {
  const std::string image = (dir_ / "volume.img").string();
  const std::string img = ShellQuote(image), file = ShellQuote((dir_ / "x.txt").string());
  std::string err;
  ASSERT_EQ(
      RunCommand("set -e; echo hello >" + file + "; truncate -s 16M " + img + "; mkfs.fat -F 16 -s 2 " + img +
                     " >/dev/null; mmd -i " + img + " ::/A ::/A/B ::/A/B/C ::/A/B/C/D; mcopy -i " + img +
                     " " + file + " ::/A/B/Y.TXT; mcopy -i " + img + " " + file + " ::/A/B/C/D/X.TXT",
                 nullptr, &err),
      0)
      << err;
  const std::set<std::string> tree = {"A", "A/B", "A/B/C", "A/B/C/D", "A/B/Y.TXT", "A/B/C/D/X.TXT"};
  {
    PatchedImage patched(image);
    const std::uint64_t folder = DirectorySector(image, GetParam().folder);
    const std::uint64_t target = DirectorySector(image, GetParam().pointsTo);
    const std::vector<std::uint8_t> dot = patched.Get(target * 512 + 26, 2);  // the target's own cluster
    ASSERT_TRUE(folder != 0 && target != 0);
    patched.Put(folder * 512 + 32 + 26, dot);
    ASSERT_EQ(RunCommand("cp " + ShellQuote(patched.path()) + " " + img), 0);
  }
  std::string listed;
  ASSERT_EQ(RunCommand("fls -r -p " + img + " | cut -f2", &listed), 0);
  std::set<std::string> fls;
  for (const std::string& line : Split(listed, '\n'))
    if (!line.empty() && !line.starts_with("$")) fls.insert(line);
  ASSERT_EQ(fls, tree) << "fls reads the damaged volume otherwise than this test assumes";

  ForBothSearches(img, [&](const json& doc) { EXPECT_EQ(Lines(doc), tree); });
}

// A listed path, "*" after it when the entry is deleted.
std::set<std::string> MarkedLines(const json& doc) {
  std::set<std::string> lines;
  for (const char* list : {"folders", "files"})
    for (const json& f : doc.value(list, json::array())) {
      const std::string path = f.value("path", "");
      if (path == "QRW_Miscellaneous") continue;
      const json deleted = f.value("deleted", json());
      const bool marked = deleted.is_boolean() ? deleted.get<bool>() : (deleted.is_string() && deleted == "1");
      lines.insert(path + (marked ? " *" : ""));
    }
  return lines;
}

struct Elsewhere {
  const char* name;
  const char* make;     // mtools commands on $I after the common tree
  int loopSlot;         // > 0: a live entry LOOP naming /A is written in this slot of /A/B/C
  std::set<std::string> fls;     // fls -r -p, deleted entries marked " *"
  std::set<std::string> listed;  // what both searches list
};

void PrintTo(const Elsewhere& e, std::ostream* os) {
  *os << e.name;
}

class FatNamedElsewhereTest : public FatFolderLinksTestBase<Elsewhere> {};

// fls identifies a FAT folder by its entry, this tool by its cluster: a cross-linked entry's
// cluster repeats on the path at once, so nothing below LOOP is listed, where fls lists one level
// of /A again before /A/B repeats.
TEST_P(FatNamedElsewhereTest, BothSearchesListTheEntryAsAnEmptyFolderOfItsOwn) {
  const Elsewhere& c = GetParam();
  const std::string image = (dir_ / "volume.img").string();
  const std::string img = ShellQuote(image), file = ShellQuote((dir_ / "x.txt").string());
  std::string err;
  ASSERT_EQ(RunCommand("set -e; I=" + img + "; echo hello >" + file + "; truncate -s 16M $I; mkfs.fat -F 16 -s 2 $I" +
                           " >/dev/null; mmd -i $I ::/A ::/A/B ::/A/B/C; mcopy -i $I " + file + " ::/A/Y.TXT; mcopy -i $I " +
                           file + " ::/A/B/C/X.TXT; " + c.make,
                       nullptr, &err),
            0)
      << err;
  if (c.loopSlot > 0) {
    PatchedImage patched(image);
    const std::uint64_t a = DirectorySector(image, "/A"), abc = DirectorySector(image, "/A/B/C");
    ASSERT_TRUE(a != 0 && abc != 0);
    std::vector<std::uint8_t> entry(32, 0);
    const std::string name = "LOOP       ";
    std::copy(name.begin(), name.end(), entry.begin());
    entry[11] = 0x10;
    const std::vector<std::uint8_t> cluster = patched.Get(a * 512 + 26, 2);  // /A's own cluster
    std::copy(cluster.begin(), cluster.end(), entry.begin() + 26);
    patched.Put(abc * 512 + 32 * static_cast<std::uint64_t>(c.loopSlot), entry);
    ASSERT_EQ(RunCommand("cp " + ShellQuote(patched.path()) + " " + img), 0);
  }
  std::string listed;
  ASSERT_EQ(RunCommand("fls -r -p " + img + " | sed 's/^[^ ]* \\* [^\t]*\t/* /; s/^[^*][^\t]*\t//'", &listed), 0);
  std::set<std::string> fls;
  for (const std::string& line : Split(listed, '\n')) {
    if (line.empty() || line.find('$') != std::string::npos) continue;
    fls.insert(line.starts_with("* ") ? line.substr(2) + " *" : line);
  }
  ASSERT_EQ(fls, c.fls) << "fls reads the volume otherwise than this test assumes";

  ForBothSearches(img, [&](const json& doc) { EXPECT_EQ(MarkedLines(doc), c.listed); });
}

const std::set<std::string> kLoopFls = {"A", "A/B", "A/B/C", "A/B/C/X.TXT", "A/Y.TXT", "A/B/C/LOOP",
                                        "A/B/C/LOOP/B", "A/B/C/LOOP/Y.TXT"};
const std::set<std::string> kLoopListed = {"A", "A/B", "A/B/C", "A/B/C/X.TXT", "A/Y.TXT", "A/B/C/LOOP"};

INSTANTIATE_TEST_SUITE_P(
    Entries, FatNamedElsewhereTest,
    ::testing::Values(Elsewhere{"moved_folder", "mmd -i $I ::/D; mmove -i $I ::/A/B ::/D/B", 0,
                                {"A", "A/_ *", "D", "D/B", "D/B/C", "D/B/C/X.TXT", "A/Y.TXT"},
                                {"A", "A/_ *", "D", "D/B", "D/B/C", "D/B/C/X.TXT", "A/Y.TXT"}},
                      Elsewhere{"ancestor", "true", 3, kLoopFls, kLoopListed},
                      Elsewhere{"ancestor_after_a_zeroed_slot", "true", 5, kLoopFls, kLoopListed}),
    [](const ::testing::TestParamInfo<Elsewhere>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Dotdot, FatFolderLinksTest,
                         ::testing::Values(Damage{"names_itself", "/A/B", "/A/B"},
                                           Damage{"loop_of_two", "/A/B", "/A/B/C"}),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quarrow::testing
