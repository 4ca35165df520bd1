// FAT folders whose ".." entry lies: one that names the folder itself, and two folders whose ".."
// entries name each other. fls places them by the entries that name them; both searches must too,
// with the whole sub-tree below them (the Advance search links folders by ".." first).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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

class FatFolderLinksTest : public ::testing::TestWithParam<Damage> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qrw-fat-links-" + std::string(GetParam().name) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

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

  for (const std::string how : {"--partition 1", "--mode advance --type FAT16 --start 0 --end 32768"}) {
    SCOPED_TRACE(how);
    std::string out;
    ASSERT_EQ(RunCommand(CliPath() + " scan " + img + " " + how + " --json", &out, &err), 0) << err;
    const json doc = json::parse(out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << out;
    EXPECT_EQ(Lines(doc), tree);
  }
}

INSTANTIATE_TEST_SUITE_P(Dotdot, FatFolderLinksTest,
                         ::testing::Values(Damage{"names_itself", "/A/B", "/A/B"},
                                           Damage{"loop_of_two", "/A/B", "/A/B/C"}),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quarrow::testing
