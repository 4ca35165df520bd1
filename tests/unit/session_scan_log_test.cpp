// Saving a scan to a log and loading it into a fresh session; a log that cannot be loaded is
// refused with the one text and leaves the session as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fat_test_volume.h"
#include "scanlog/scan_log_file.h"
#include "session/scan_log.h"
#include "session/standard_search.h"

namespace quarrow {
namespace {

using namespace fat_test;

// A FAT32 volume with a small tree: /A (3) holding B (4), a deleted /_OLD (5), and A.TXT in A.
struct LoggedVolume {
  LoggedVolume() {
    layout.Apply(d.ctx, 400);
    for (std::uint32_t c : {2u, 3u, 4u, 5u}) SetFat32(d, layout, c, 0x0FFFFFFF);
    Entry old = ShortEntry("XOLD       ", 0x10, 5);
    old[0] = 0xE5;
    d.PutEntries(layout.ClusterSector(2), {ShortEntry("A          ", 0x10, 3), old});
    d.Put(layout.ClusterSector(3),
          DirectoryStart(3, 0, {ShortEntry("B          ", 0x10, 4), ShortEntry("A       TXT", 0x20, 30, 9)}));
    d.Put(layout.ClusterSector(4), DirectoryStart(4, 3));
    d.Put(layout.ClusterSector(5), DirectoryStart(5, 0));
    RunFatStandardStages(d.ctx, true, nullptr);
    path = (std::filesystem::temp_directory_path() / ("qrw-unit-" + std::to_string(::getpid()) + ".QLG"))
               .string();
  }
  ~LoggedVolume() { std::filesystem::remove(path); }

  Fat32Layout layout;
  TestDisk d{400};
  std::string path;
};

std::set<std::tuple<std::string, std::uint32_t, std::uint32_t, bool>> Nodes(const ScanContext& ctx) {
  std::set<std::tuple<std::string, std::uint32_t, std::uint32_t, bool>> nodes;
  for (const FolderNode& n : ctx.results.folderNodes) nodes.insert({n.name, n.self, n.parent, n.deleted});
  return nodes;
}

TEST(SessionScanLog, SavedAndLoadedTreeIsTheScannedOne) {
  LoggedVolume v;
  ScanLogSelection selection{"Model X", 0, 0, 0, SearchMode::kStandard};
  ASSERT_TRUE(SaveScanLog(v.d.ctx, selection, v.path).saved);

  // A fresh session on the same disk.
  TestDisk fresh{400};
  fresh.disk = v.d.disk;
  fresh.opener.Add("fat-test.img", v.d.disk);
  const LoadLogOutcome loaded = LoadScanLog(fresh.ctx, v.path, "Model X");
  ASSERT_TRUE(loaded.loaded) << loaded.message;
  EXPECT_EQ(loaded.mode, SearchMode::kStandard);
  EXPECT_EQ(Nodes(fresh.ctx), Nodes(v.d.ctx));
  EXPECT_EQ(fresh.ctx.geometry, v.d.ctx.geometry);
  EXPECT_EQ(fresh.ctx.searchEnd, 400u);
  // The file list of a loaded FAT folder is read from the disk.
  DetailsList list;
  for (const FolderNode& n : fresh.ctx.results.folderNodes) {
    if (n.name == "A") fresh.ctx.results.hooks.listFiles(list, n.self, &n);
  }
  ASSERT_EQ(list.rows.size(), 1u);
  EXPECT_EQ(list.rows[0].name, "A.TXT");
}

TEST(SessionScanLog, EveryDamagedOrForeignLogIsRefusedAndChangesNothing) {
  LoggedVolume v;
  ASSERT_TRUE(SaveScanLog(v.d.ctx, {"Model X", 0, 0, 0, SearchMode::kStandard}, v.path).saved);
  const std::optional<std::vector<std::uint8_t>> good = ReadScanLogFile(v.path, nullptr);
  ASSERT_TRUE(good.has_value());
  const std::size_t folderLength =
      13 + 4 + 7 + 4 + 1 + 5 + 1 + 15 + 16 + 48 + 48 + 1 + 5 + 4;  // first folder record
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::string model;
  };
  std::vector<Case> cases;
  cases.push_back({"another disk's model", *good, "Model Y"});
  cases.push_back({"truncated", std::vector<std::uint8_t>(good->begin(), good->end() - 3), "Model X"});
  std::vector<std::uint8_t> short24 = *good;
  short24[folderLength] = 24, short24[folderLength + 1] = 0, short24[folderLength + 2] = 0,
  short24[folderLength + 3] = 0;
  cases.push_back({"a record length of 24", short24, "Model X"});
  // A 60-character model text: the length field says 60 and 60 bytes follow.
  std::vector<std::uint8_t> longModel;
  longModel.reserve(good->size() + 60);
  longModel.assign(good->begin(), good->begin() + 13);
  for (std::uint8_t b : {60, 0, 0, 0}) longModel.push_back(b);
  for (int i = 0; i < 60; ++i) longModel.push_back('M');
  longModel.insert(longModel.end(), good->begin() + 13 + 4 + 7, good->end());
  cases.push_back({"a 60-character model", longModel, std::string(60, 'M')});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::ofstream out(v.path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
    }
    const auto nodesBefore = Nodes(v.d.ctx);
    const std::uint64_t endBefore = v.d.ctx.searchEnd;
    const LoadLogOutcome loaded = LoadScanLog(v.d.ctx, v.path, c.model);
    EXPECT_FALSE(loaded.loaded);
    EXPECT_EQ(loaded.message, kScanLogRefusal);
    EXPECT_EQ(Nodes(v.d.ctx), nodesBefore);
    EXPECT_EQ(v.d.ctx.searchEnd, endBefore);
  }
  // A wrong magic with the right model loads.
  std::vector<std::uint8_t> magic = *good;
  magic[0] = 'X';
  {
    std::ofstream out(v.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(magic.data()), static_cast<std::streamsize>(magic.size()));
  }
  EXPECT_TRUE(LoadScanLog(v.d.ctx, v.path, "Model X").loaded);
}

// Only the floppy drive's search is refused; a FAT12 volume of any other disk is saved.
TEST(SessionScanLog, OnlyTheFloppyIsNotSaved) {
  LoggedVolume v;
  v.d.ctx.activeGeometry.type = FsType::kFat12;
  ScanLogSelection floppy;
  floppy.floppy = true;
  const SaveLogOutcome refused = SaveScanLog(v.d.ctx, floppy, v.path);
  EXPECT_FALSE(refused.saved);
  EXPECT_EQ(refused.message, "Recovery can not be saved for Floppy");
  EXPECT_EQ(refused.title, "Error");
  EXPECT_FALSE(std::filesystem::exists(v.path));

  EXPECT_TRUE(SaveScanLog(v.d.ctx, {"Model X", 0, 0, 0, SearchMode::kStandard}, v.path).saved);
  EXPECT_TRUE(std::filesystem::exists(v.path));
}

}  // namespace
}  // namespace quarrow
