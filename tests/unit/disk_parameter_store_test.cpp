#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "disk/file_parameter_store.h"
#include "disk/parameter_store.h"

namespace quarrow {
namespace {
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("quarrow-params-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

DiskRecord Disk(std::uint32_t index, const std::string& model, const std::string& media) {
  DiskRecord d;
  d.Index = index;
  d.Model = model;
  d.MediaType = media;
  d.TotalCylinders = 16383;
  d.TotalHeads = 16;
  d.SectorsPerTrack = 63;
  d.BytesPerSector = 512;
  return d;
}

const std::string kKey = "QRWDSK_param_E";

TEST(ParameterStoreTest, RefreshWritesOneValuePerEnumeratedDiskInEverySubkey) {
  TempDir dir;
  FileParameterStore store((dir.Path() / "disk-parameters").string());
  const std::vector<DiskRecord> disks = {Disk(0, "Fixed One", kFixedMediaType),
                                         Disk(2, "Stick", kRemovableMediaType)};
  ASSERT_EQ(RewriteParameterStore(store, disks), ParameterStoreStatus::kOk);

  EXPECT_EQ(store.Values(kKey), (std::map<std::string, std::string>{{"Disk0", "Disk0"}, {"Disk2", "Disk2"}}));
  const std::map<std::string, std::vector<std::string>> expected = {
      {"Cylinder", {"16383", "16383"}},
      {"Head", {"16", "16"}},
      {"MediaType", {kFixedMediaType, kRemovableMediaType}},
      {"Model", {"Fixed One", "Stick"}},
      {"SectorsPerTrack", {"63", "63"}},
      {"Size", {"8063 MB", "8063 MB"}},
  };
  for (const auto& [subkey, values] : expected) {
    const auto stored = store.Values(kKey + "\\" + subkey);
    ASSERT_EQ(stored.size(), 2u) << subkey;
    EXPECT_EQ(stored.at("Disk0"), values[0]) << subkey;
    EXPECT_EQ(stored.at("Disk2"), values[1]) << subkey;
  }

  // What was committed is what a later run reads back.
  FileParameterStore reread((dir.Path() / "disk-parameters").string());
  EXPECT_EQ(reread.Values(kKey + "\\Model"), store.Values(kKey + "\\Model"));
  EXPECT_EQ(reread.Values(kKey), store.Values(kKey));
}

TEST(ParameterStoreTest, RefreshDropsDisksThatDisappearedAndTheRetiredSubkey) {
  TempDir dir;
  const std::string path = (dir.Path() / "disk-parameters").string();
  {
    FileParameterStore store(path);
    store.CreateKey(kKey + "\\DisplayDevice");
    store.SetString(kKey + "\\DisplayDevice", "Disk1", "old");
    std::vector<DiskRecord> before;
    for (std::uint32_t n = 0; n < 6; ++n)
      before.push_back(Disk(n, "Old" + std::to_string(n), kRemovableMediaType));
    ASSERT_EQ(RewriteParameterStore(store, before), ParameterStoreStatus::kOk);
    EXPECT_EQ(store.Values(kKey).size(), 6u);
    // An unrelated key of the same store is left alone.
    store.CreateKey("Other");
    store.SetString("Other", "keep", "me");
    ASSERT_TRUE(store.Commit());
  }
  FileParameterStore store(path);
  ASSERT_EQ(RewriteParameterStore(store, {Disk(4, "New", kRemovableMediaType)}), ParameterStoreStatus::kOk);
  EXPECT_EQ(store.Values(kKey), (std::map<std::string, std::string>{{"Disk4", "Disk4"}}));
  for (const auto& subkey : ParameterSubkeys())
    EXPECT_EQ(store.Values(kKey + "\\" + subkey).size(), 1u) << subkey;
  EXPECT_EQ(store.Values(kKey + "\\Model").at("Disk4"), "New");
  EXPECT_FALSE(store.KeyExists(kKey + "\\DisplayDevice"));
  EXPECT_EQ(store.Values("Other").at("keep"), "me");

  // No disk at all leaves the key and its six subkeys, empty.
  ASSERT_EQ(RewriteParameterStore(store, {}), ParameterStoreStatus::kOk);
  EXPECT_TRUE(store.KeyExists(kKey));
  EXPECT_TRUE(store.Values(kKey).empty());
  for (const auto& subkey : ParameterSubkeys()) EXPECT_TRUE(store.KeyExists(kKey + "\\" + subkey));
}

// A store that refuses some operations, as a registry without rights does.
class StubbornStore : public FileParameterStore {
 public:
  using FileParameterStore::FileParameterStore;
  bool refuseDelete = false;
  std::string refuseCreate;
  bool DeleteKey(const std::string& key) override {
    return refuseDelete ? false : FileParameterStore::DeleteKey(key);
  }
  bool CreateKey(const std::string& key) override {
    return key == refuseCreate ? false : FileParameterStore::CreateKey(key);
  }
};

TEST(ParameterStoreTest, AKeyThatCannotBeDeletedStillLosesItsDiskValues) {
  TempDir dir;
  StubbornStore store((dir.Path() / "p").string());
  ASSERT_EQ(RewriteParameterStore(store, {Disk(0, "A", kFixedMediaType), Disk(9, "B", kRemovableMediaType)}),
            ParameterStoreStatus::kOk);
  store.SetString(kKey, "Unrelated", "stays");
  store.refuseDelete = true;
  ASSERT_EQ(RewriteParameterStore(store, {Disk(3, "C", kRemovableMediaType)}), ParameterStoreStatus::kOk);
  EXPECT_EQ(store.Values(kKey),
            (std::map<std::string, std::string>{{"Disk3", "Disk3"}, {"Unrelated", "stays"}}));
  for (const auto& subkey : ParameterSubkeys()) {
    const auto values = store.Values(kKey + "\\" + subkey);
    EXPECT_EQ(values.size(), 1u) << subkey;
    EXPECT_EQ(values.count("Disk3"), 1u) << subkey;
  }
}

TEST(ParameterStoreTest, KeysThatCannotBeCreatedAreReported) {
  TempDir dir;
  StubbornStore store((dir.Path() / "p").string());
  store.refuseCreate = kKey;
  EXPECT_EQ(RewriteParameterStore(store, {Disk(0, "A", kFixedMediaType)}),
            ParameterStoreStatus::kKeyNotCreated);
  store.refuseCreate = kKey + "\\Size";
  EXPECT_EQ(RewriteParameterStore(store, {Disk(0, "A", kFixedMediaType)}),
            ParameterStoreStatus::kSubkeyNotCreated);

  // A file that cannot be written: its folder is a regular file.
  std::ofstream(dir.Path() / "blocker") << "x";
  FileParameterStore blocked((dir.Path() / "blocker" / "disk-parameters").string());
  EXPECT_EQ(RewriteParameterStore(blocked, {}), ParameterStoreStatus::kNotSaved);
  EXPECT_FALSE(blocked.LastError().empty());
}

TEST(FileParameterStoreTest, OddTextSurvivesARoundTrip) {
  TempDir dir;
  const std::string path = (dir.Path() / "sub" / "disk-parameters").string();
  const std::string odd = "a=b\\c\nsecond line\r[not a key]";
  {
    FileParameterStore store(path);
    ASSERT_TRUE(store.CreateKey("K\\Sub"));
    EXPECT_TRUE(store.KeyExists("K"));
    ASSERT_TRUE(store.SetString("K\\Sub", "na=me", odd));
    ASSERT_TRUE(store.SetString("K", "empty", ""));
    EXPECT_FALSE(store.SetString("Missing", "x", "y"));
    // A key with a subkey is not deleted.
    EXPECT_FALSE(store.DeleteKey("K"));
    ASSERT_TRUE(store.Commit());
  }
  FileParameterStore store(path);
  EXPECT_EQ(store.Values("K\\Sub"), (std::map<std::string, std::string>{{"na=me", odd}}));
  EXPECT_EQ(store.Values("K"), (std::map<std::string, std::string>{{"empty", ""}}));
  EXPECT_TRUE(store.DeleteValue("K", "empty"));
  EXPECT_FALSE(store.DeleteValue("K", "empty"));
}

// The file store is where the disk parameters live on POSIX systems (Windows keeps them in the
// registry), and setenv is theirs.
#ifndef _WIN32
TEST(FileParameterStoreTest, DefaultPathFollowsTheConfigurationVariables) {
  const char* saved[] = {std::getenv("QUARROW_CONFIG_DIR"), std::getenv("XDG_CONFIG_HOME"),
                         std::getenv("HOME")};
  const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : ""};
  ::unsetenv("QUARROW_CONFIG_DIR");
  ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(DefaultParameterStorePath(), "/x/config/quarrow/disk-parameters");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(DefaultParameterStorePath(), "/home/u/.config/quarrow/disk-parameters");
  ::setenv("QUARROW_CONFIG_DIR", "/t/q", 1);
  EXPECT_EQ(DefaultParameterStorePath(), "/t/q/disk-parameters");
  const char* names[] = {"QUARROW_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"};
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) {
      ::setenv(names[i], keep[i].c_str(), 1);
    } else {
      ::unsetenv(names[i]);
    }
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace quarrow
