// `quarrow recover` of FAT12, FAT16 and FAT32 disks made by mkfs.fat and mtools: every file it
// writes is compared with what icat reads for the same entry (found by path through fls; TSK's
// inode on FAT is derived from the entry's position) and with the original the recipe copied in;
// estimates with how the recipe left the clusters; times with fls. Then, on one disk, the replace
// answers, --path, the filters, a source opened read-only and a destination on the source disk.
//
// Names outside ASCII are refused by the file list for now (their long names narrowed to low
// bytes); such a file is compared when it is listed and is otherwise not expected.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct FlsFile {
  bool deleted = false;
  std::uint64_t inode = 0;
  std::string path;
  std::string mtime;  // "2024-01-05 13:07:22 (UTC)"
  std::uint64_t size = 0;
};

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

// The regular files of `fls -r -p -l`, without the label entry and the virtual ones.
std::vector<FlsFile> FlsFiles(const std::string& text) {
  std::vector<FlsFile> files;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || f[0].rfind("r/r", 0) != 0 || f[1].find("(Volume Label Entry)") != std::string::npos)
      continue;
    FlsFile e;
    e.deleted = f[0].find(" * ") != std::string::npos;
    const std::size_t colon = f[0].rfind(':');
    const std::size_t space = f[0].rfind(' ', colon);
    e.inode = std::stoull(f[0].substr(space + 1, colon - space - 1));
    e.path = f[1];
    e.mtime = f[2];
    e.size = std::stoull(f[6]);
    files.push_back(e);
  }
  return files;
}

bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::time_t UtcSeconds(const std::string& mtime) {
  std::tm t{};
  std::istringstream in(mtime);
  in >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
  return timegm(&t);
}

std::string Recover(const std::string& args, std::string* out, std::string* err, int* rc) {
  *rc = RunCommand("TZ=UTC " + CliPath() + " recover " + args, out, err);
  return *out;
}

// A folder of the test's own, removed afterwards.
struct Scratch {
  Scratch() {
    static int counter = 0;
    path = fs::temp_directory_path() / ("quarrow-recover-it-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter++));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

struct Recovered {
  std::string image, name;
  std::uint64_t start = 0;
  std::vector<FlsFile> fls;
  std::map<std::string, std::string> estimates;  // from the recipe
  fs::path originals;
  std::shared_ptr<Scratch> scratch;
  fs::path out;
  int exit = -1;
  std::string stdoutText, stderrText;
  json doc;
  std::map<std::string, json> files;  // ours, by tree path

  std::string Icat(std::uint64_t inode) const {
    std::string bytes;
    RunCommand("icat -o " + std::to_string(start) + " " + ShellQuote(image) + " " + std::to_string(inode), &bytes);
    return bytes;
  }
};

const Recovered& RecoveredDisk(const std::string& name) {
  static std::map<std::string, Recovered> cache;
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  Recovered r;
  r.name = name;
  r.image = TestDisk(name);
  if (!r.image.empty()) {
    const std::string base = TestDisksDir() + "/" + name;
    r.start = std::stoull(ReadWholeFile(base + ".start"));
    r.fls = FlsFiles(ReadWholeFile(base + ".fls"));
    for (const std::string& line : Split(ReadWholeFile(base + ".estimates"), '\n')) {
      const std::vector<std::string> f = Split(line, '\t');
      if (f.size() == 2) r.estimates[f[0]] = f[1];
    }
    r.originals = base + ".originals";
    r.scratch = std::make_shared<Scratch>();
    r.out = r.scratch->path / "out";
    Recover(ShellQuote(r.image) + " --partition 1 --to " + ShellQuote(r.out.string()) + " --json", &r.stdoutText,
            &r.stderrText, &r.exit);
    r.doc = json::parse(r.stdoutText, nullptr, false);
    if (r.doc.is_object()) {
      for (const json& f : r.doc.value("files", json::array())) r.files[f.value("path", "")] = f;
    }
  }
  return cache.emplace(name, std::move(r)).first->second;
}

class RecoverFatTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    d_ = &RecoveredDisk(GetParam());
    if (d_->image.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
    ASSERT_EQ(d_->exit, 0) << d_->stderrText;
    ASSERT_TRUE(d_->doc.is_object()) << d_->stdoutText.substr(0, 2000);
    ASSERT_GT(d_->fls.size(), 15u);
  }
  const Recovered& d() const { return *d_; }
  std::string Written(const std::string& path) const { return ReadWholeFile((d().out / path).string()); }
  std::string Original(const std::string& path) const { return ReadWholeFile((d().originals / path).string()); }
  const Recovered* d_ = nullptr;
};

TEST_P(RecoverFatTest, LiveFilesAreWrittenAsIcatReadsThemAndAsTheyWereCopiedIn) {
  int compared = 0;
  for (const FlsFile& e : d().fls) {
    if (e.deleted) continue;
    SCOPED_TRACE(e.path);
    if (!Ascii(e.path) && !d().files.count(e.path)) continue;  // not listed by its long name yet
    ASSERT_TRUE(d().files.count(e.path)) << "not recovered";
    const json& f = d().files.at(e.path);
    EXPECT_EQ(f.value("status", ""), "written");
    EXPECT_EQ(f.value("writtenAs", ""), e.path);
    const std::string bytes = Written(e.path);
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_TRUE(bytes == d().Icat(e.inode)) << "differs from icat";
    EXPECT_TRUE(bytes == Original(e.path)) << "differs from the original";
    ++compared;
  }
  EXPECT_GE(compared, 12);
  // The recipe's cases are among them: one cluster exactly, empty, a fragmented file, over 512 KiB.
  const std::uint64_t cluster = d().files.at("ONE.BIN").value("size", 0u);
  EXPECT_TRUE(cluster == 2048 || cluster == 1024 || cluster == 4096) << cluster;
  EXPECT_EQ(d().files.at("EMPTY.TXT").value("size", 1u), 0u);
  EXPECT_GT(d().files.at("BIGFILE.BIN").value("size", 0u), 512u * 1024);
  EXPECT_EQ(d().files.at("FRAG.BIN").value("read", ""), "chain");
}

// FRAG.BIN really is in two pieces on each volume: istat's sector list jumps.
TEST_P(RecoverFatTest, TheFragmentedFileIsFragmented) {
  for (const FlsFile& e : d().fls) {
    if (e.path != "FRAG.BIN") continue;
    std::string out;
    ASSERT_EQ(RunCommand("istat -o " + std::to_string(d().start) + " " + ShellQuote(d().image) + " " +
                             std::to_string(e.inode),
                         &out),
              0);
    std::istringstream in(out.substr(out.find("Sectors:") + 8));
    std::vector<std::uint64_t> sectors;
    for (std::uint64_t s; in >> s;) {
      if (s != 0) sectors.push_back(s);
    }
    ASSERT_GT(sectors.size(), 2u);
    int jumps = 0;
    for (std::size_t i = 1; i < sectors.size(); ++i) jumps += sectors[i] != sectors[i - 1] + 1;
    EXPECT_EQ(jumps, 1);
    return;
  }
  FAIL() << "no FRAG.BIN in fls";
}

TEST_P(RecoverFatTest, DeletedFilesLeftAloneAreRecoveredExactlyFromTheirFirstCluster) {
  int compared = 0;
  for (const FlsFile& e : d().fls) {
    if (!e.deleted || d().estimates.count(e.path) == 0 || d().estimates.at(e.path) != "intact") continue;
    SCOPED_TRACE(e.path);
    ASSERT_TRUE(d().files.count(e.path));
    const json& f = d().files.at(e.path);
    EXPECT_TRUE(f.value("deleted", false));
    EXPECT_EQ(f.value("read", ""), "contiguous");
    const std::string bytes = Written(e.path);
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_TRUE(bytes == Original(e.path)) << "differs from the original";
    EXPECT_TRUE(bytes == d().Icat(e.inode)) << "differs from icat";
    ++compared;
  }
  EXPECT_EQ(compared, 3);
}

TEST_P(RecoverFatTest, EstimatesSayWhatLaterWritesDidToDeletedFiles) {
  ASSERT_EQ(d().estimates.size(), 6u);
  std::string scanOut, scanErr;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(d().image) + " --partition 1 --json", &scanOut, &scanErr), 0)
      << scanErr;
  const json scan = json::parse(scanOut, nullptr, false);
  ASSERT_TRUE(scan.is_object());
  std::map<std::string, std::string> scanned;
  for (const json& f : scan["files"]) {
    if (f.value("deleted", false)) {
      scanned[f.value("path", "")] = f.value("estimate", "(none)");
    } else {
      EXPECT_FALSE(f.contains("estimate")) << f.dump();
    }
  }
  for (const auto& [path, estimate] : d().estimates) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(d().files.count(path));
    EXPECT_EQ(d().files.at(path).value("estimate", ""), estimate);
    EXPECT_EQ(scanned[path], estimate);
  }
  // Every deleted file the scan shows has an estimate, and only those the recipe names exist.
  EXPECT_EQ(scanned.size(), d().estimates.size());
}

TEST_P(RecoverFatTest, FilesCarryTheirEntrysWriteDateAndTime) {
  int checked = 0;
  for (const FlsFile& e : d().fls) {
    const auto estimate = d().estimates.find(e.path);
    if (!d().files.count(e.path) || (e.deleted && (estimate == d().estimates.end() || estimate->second != "intact")))
      continue;
    struct stat st {};
    ASSERT_EQ(::stat((d().out / e.path).c_str(), &st), 0) << e.path;
    EXPECT_EQ(st.st_mtime, UtcSeconds(e.mtime)) << e.path << " " << e.mtime;
    ++checked;
  }
  EXPECT_GE(checked, 15);
}

TEST_P(RecoverFatTest, EveryFileListedIsWrittenUnderItsNameAndReported) {
  const json& summary = d().doc["summary"];
  EXPECT_EQ(summary.value("files", 0u), d().files.size());
  EXPECT_EQ(summary.value("written", 0u), d().files.size());
  EXPECT_EQ(summary.value("failed", 1u), 0u);
  EXPECT_EQ(summary.value("unreadableSectors", 1u), 0u);
  for (const auto& [path, f] : d().files) {
    // Names are written as they are listed, UTF-8 included.
    EXPECT_EQ(f.value("writtenAs", ""), path);
    EXPECT_EQ(fs::file_size(d().out / fs::path(std::u8string(path.begin(), path.end()))), f.value("size", 0u)) << path;
  }
  const std::string report = ReadWholeFile(d().doc.value("report", ""));
  ASSERT_EQ(report.rfind("Quarrow recovery report\n", 0), 0u);
  for (const auto& [path, f] : d().files) {
    EXPECT_NE(report.find("\t" + path + "\t" + path + "\n"), std::string::npos) << path;
  }
  EXPECT_NE(report.find("\nsource\t" + d().image + "\n"), std::string::npos);
  // Nothing is left behind under a temporary name.
  for (const auto& e : fs::recursive_directory_iterator(d().out)) {
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
  }
}

INSTANTIATE_TEST_SUITE_P(Disks, RecoverFatTest, ::testing::Values("recover_fat12", "recover_fat16", "recover_fat32"));

class RecoverCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = TestDisk("recover_fat16");
    if (image_.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
  }
  int Run(const std::string& args, json* doc = nullptr, std::string* err = nullptr) {
    std::string out, e;
    int rc = 0;
    Recover(ShellQuote(image_) + " --partition 1 " + args, &out, &e, &rc);
    if (doc) *doc = json::parse(out, nullptr, false);
    if (err) *err = e;
    return rc;
  }
  std::string To(const fs::path& p) const { return " --to " + ShellQuote(p.string()); }
  static std::set<std::string> Files(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file()) files.insert(fs::relative(e.path(), root).generic_string());
    }
    return files;
  }
  std::string image_;
  Scratch scratch_;
};

TEST_F(RecoverCommandTest, OnConflictDecidesWhatASecondRunIntoTheSameFolderDoes) {
  const fs::path out = scratch_.path / "out";
  json first;
  ASSERT_EQ(Run(To(out) + " --json", &first), 0);
  const std::set<std::string> once = Files(out);
  const std::size_t files = first["files"].size();
  ASSERT_GT(files, 10u);
  std::ofstream(out / "ONE.BIN", std::ios::trunc) << "kept";

  json doc;
  ASSERT_EQ(Run(To(out) + " --json --on-conflict skip", &doc), 0);
  for (const json& f : doc["files"]) EXPECT_EQ(f.value("status", ""), "skipped: a file of that name exists");
  EXPECT_EQ(ReadWholeFile((out / "ONE.BIN").string()), "kept");
  EXPECT_EQ(Files(out).size(), once.size() + 1);  // only a second report

  ASSERT_EQ(Run(To(out) + " --json --on-conflict overwrite", &doc), 0);
  EXPECT_EQ(doc["summary"].value("written", 0u), files);
  EXPECT_NE(ReadWholeFile((out / "ONE.BIN").string()), "kept");
  EXPECT_EQ(Files(out).size(), once.size() + 2);

  ASSERT_EQ(Run(To(out) + " --json", &doc), 0);  // rename, the default
  for (const json& f : doc["files"]) {
    const std::string path = f.value("path", ""), written = f.value("writtenAs", "");
    EXPECT_NE(written, path);
    EXPECT_TRUE(fs::exists(out / written)) << written;
    EXPECT_EQ(ReadWholeFile((out / written).string()), ReadWholeFile((out / path).string())) << written;
  }
  EXPECT_TRUE(fs::exists(out / "ONE (1).BIN"));
  EXPECT_TRUE(fs::exists(out / "Photos/2024/IMG_0001 (1).JPG"));
}

TEST_F(RecoverCommandTest, PathsNameWhatIsWritten) {
  struct Case {
    std::string args;
    std::set<std::string> files;
  };
  const std::vector<Case> cases = {
      {"--path Photos", {"Photos/2024/IMG_0001.JPG", "Photos/2024/IMG_0002.JPG", "Photos/2024/_ELETED.JPG"}},
      {"--path Photos/2024/IMG_0002.JPG --path /ONE.BIN", {"Photos/2024/IMG_0002.JPG", "ONE.BIN"}},
      {"--path 'Photos\\2024' --deleted-only", {"Photos/2024/_ELETED.JPG"}},
      {"--deleted-only --skip-overwritten",
       {"gone but intact.txt", "_ILL1.BIN", "Photos/2024/_ELETED.JPG", "Gone3/_ART.BIN"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Scratch here;
    json doc;
    ASSERT_EQ(Run(To(here.path / "out") + " --json " + c.args, &doc), 0);
    std::set<std::string> files = Files(here.path / "out");
    EXPECT_EQ(files.erase("recovery-report.txt"), 1u);
    EXPECT_EQ(files, c.files);
  }
  json doc;
  Scratch here;
  ASSERT_EQ(Run(To(here.path / "out") + " --json --deleted-only --skip-overwritten", &doc), 0);
  int skipped = 0;
  for (const json& f : doc["files"]) skipped += f.value("status", "") == "skipped: overwritten";
  EXPECT_EQ(skipped, 2);
  EXPECT_EQ(doc["summary"].value("skipped", 0u), 2u);

  std::string err;
  EXPECT_EQ(Run(To(here.path / "none") + " --path Photos/nothing.jpg --path ONE.BIN", nullptr, &err), 1);
  EXPECT_EQ(err, "quarrow recover: no folder or file Photos/nothing.jpg in the results (see 'quarrow scan')\n");
  EXPECT_FALSE(fs::exists(here.path / "none"));
  EXPECT_EQ(Run("--path ONE.BIN", nullptr, &err), 2);  // no --to
}

// The image is only ever opened read-only, and is the same afterwards.
TEST_F(RecoverCommandTest, TheSourceIsNeverOpenedForWriting) {
  if (RunCommand("command -v strace") != 0) GTEST_SKIP() << "no strace here";
  const std::string before = ReadWholeFile(image_);
  const fs::path log = scratch_.path / "strace.log";
  std::string err;
  const int rc = RunCommand("TZ=UTC strace -f -e trace=open,openat,creat -o " + ShellQuote(log.string()) + " " +
                                CliPath() + " recover " + ShellQuote(image_) + " --partition 1" +
                                To(scratch_.path / "out"),
                            nullptr, &err);
  if (rc != 0 && err.find("ptrace") != std::string::npos) GTEST_SKIP() << "strace cannot trace here: " << err;
  ASSERT_EQ(rc, 0) << err;
  int opens = 0;
  const std::string name = fs::path(image_).filename().string();
  for (const std::string& line : Split(ReadWholeFile(log.string()), '\n')) {
    if (line.find(name + "\"") == std::string::npos || line.find("= -1") != std::string::npos) continue;
    ++opens;
    EXPECT_NE(line.find("O_RDONLY"), std::string::npos) << line;
    EXPECT_EQ(line.find("O_WRONLY"), std::string::npos) << line;
    EXPECT_EQ(line.find("O_RDWR"), std::string::npos) << line;
    EXPECT_EQ(line.find("O_CREAT"), std::string::npos) << line;
  }
  EXPECT_GE(opens, 1);
  EXPECT_TRUE(ReadWholeFile(image_) == before);
}

// A loop device over a disk with a FAT16 partition and an ext4 one, the ext4 one mounted: a
// destination in that mount is on the disk being recovered, whether the disk is named by its loop
// device, by its partition's device or by the image the loop device reads. Needs root, loop
// devices, partx and mkfs.ext4; writing beside the image is always fine.
class LoopDisk {
 public:
  explicit LoopDisk(const fs::path& folder) : image_(folder / "guard.img"), mount_(folder / "mnt") {
    const std::string img = ShellQuote(image_.string());
    const std::string script =
        "truncate -s 24M " + img + " && printf 'start=2048, size=8192, type=06\\nstart=10240, type=83\\n' | sfdisk -q " +
        img + " && mkfs.fat -F 16 -s 1 --offset 2048 " + img + " 4096 >/dev/null && mkfs.ext4 -q -F -E offset=" +
        std::to_string(10240 * 512) + " " + img + " 12000 && echo hello >" + ShellQuote((folder / "h.txt").string()) +
        " && MTOOLS_SKIP_CHECK=1 mcopy -i " + img + "@@" + std::to_string(2048 * 512) + " " +
        ShellQuote((folder / "h.txt").string()) + " ::/HELLO.TXT";
    if (::geteuid() != 0) {
      why_ = "not root";
      return;
    }
    std::string err;
    if (RunCommand("PATH=$PATH:/usr/sbin:/sbin; " + script, nullptr, &err) != 0) {
      why_ = "cannot make the disk: " + err;
      return;
    }
    std::string out;
    if (RunCommand("losetup -f --show " + img, &out, &err) != 0 || out.empty()) {
      why_ = "no loop device: " + err;
      return;
    }
    device_ = out.substr(0, out.find('\n'));
    fs::create_directories(mount_);
    if (RunCommand("partx -a " + device_, nullptr, &err) != 0 || !fs::exists(device_ + "p2")) {
      why_ = "no partition devices: " + err;
      return;
    }
    partitioned_ = true;
    if (RunCommand("mount " + device_ + "p2 " + ShellQuote(mount_.string()), nullptr, &err) != 0) {
      why_ = "cannot mount: " + err;
      return;
    }
    mounted_ = true;
  }
  ~LoopDisk() {
    if (mounted_) RunCommand("umount " + ShellQuote(mount_.string()));
    if (partitioned_) RunCommand("partx -d " + device_);
    if (!device_.empty()) RunCommand("losetup -d " + device_);
  }
  bool Ready() const { return mounted_; }
  const std::string& Why() const { return why_; }
  const std::string& Device() const { return device_; }
  const fs::path& Image() const { return image_; }
  const fs::path& Mount() const { return mount_; }

 private:
  fs::path image_, mount_;
  std::string device_, why_;
  bool partitioned_ = false, mounted_ = false;
};

TEST(RecoverGuardTest, DestinationOnTheDiskBeingRecoveredIsRefused) {
  Scratch scratch;
  LoopDisk disk(scratch.path);
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string inside = (disk.Mount() / "out").string();
  const std::vector<std::string> sources = {
      disk.Device() + " --partition 1",
      disk.Device() + "p1 --start 0 --end 8192 --type FAT16",
      ShellQuote(disk.Image().string()) + " --partition 1",
  };
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    std::string out, err;
    int rc = 0;
    Recover(source + " --to " + ShellQuote(inside), &out, &err, &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.find("is on the disk being recovered"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(inside));
    // Another disk, or the image's own folder, is fine.
    for (const fs::path& elsewhere : {scratch.path / "elsewhere", disk.Image().parent_path() / "beside"}) {
      Recover(source + " --to " + ShellQuote(elsewhere.string()), &out, &err, &rc);
      EXPECT_EQ(rc, 0) << err;
      EXPECT_EQ(ReadWholeFile((elsewhere / "HELLO.TXT").string()), "hello\n");
      fs::remove_all(elsewhere);
    }
  }
}

}  // namespace
}  // namespace quarrow::testing
