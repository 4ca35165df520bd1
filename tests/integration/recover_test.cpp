// `quarrow recover` of FAT12, FAT16 and FAT32 disks made by mkfs.fat and mtools and of NTFS disks
// made by mkntfs and ntfs-3g: every file it writes is compared with what icat reads for the same
// file (found by path through fls; TSK's inode on FAT is derived from the entry's position) and
// with the original the recipe copied in; estimates with how the recipe left the clusters; times
// with fls. Then, on one disk, the replace answers, --path, the filters, a source opened read-only
// and a destination on the source disk.
//
// A name outside ASCII is compared when the file list shows it by its long name; a file list that
// refuses such names does not list the file at all.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "terminal_run.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct FlsFile {
  bool deleted = false;
  std::uint64_t inode = 0;
  std::string path;
  std::time_t mtime = 0;
  std::uint64_t size = 0;
};

// The regular files of `fls -r -p -l` ("r/r * 12:\tPATH\tMTIME\t...\tSIZE..."; a deleted NTFS file
// is "-/r * 80-128-2:"), the label entry and TSK's own $OrphanFiles left out.
std::vector<FlsFile> FlsFiles(const std::string& text) {
  std::vector<FlsFile> files;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || (f[0].rfind("r/r", 0) != 0 && f[0].rfind("-/r", 0) != 0) ||
        f[1].find("(Volume Label Entry)") != std::string::npos || f[1].rfind("$OrphanFiles/", 0) == 0)
      continue;
    FlsFile e;
    e.deleted = f[0].find(" * ") != std::string::npos;
    e.inode = std::stoull(f[0].substr(f[0].rfind(' ', f[0].rfind(':')) + 1));
    e.path = f[1];
    std::tm t{};
    std::istringstream(f[2]) >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
    e.mtime = timegm(&t);
    e.size = std::stoull(f[6]);
    files.push_back(e);
  }
  return files;
}

bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

int Recover(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
  return RunCommand("TZ=UTC " + CliPath() + " recover " + args, out, err);
}

struct Scratch {
  Scratch() {
    static int counter = 0;
    path = fs::temp_directory_path() /
           ("quarrow-recover-it-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

// One disk recovered whole, with the recipe's side files.
struct Recovered {
  std::string image, base;
  std::uint64_t start = 0;
  std::vector<FlsFile> fls;
  std::map<std::string, std::string> estimates;
  Scratch scratch;
  fs::path out;
  int exit = -1;
  std::string err;
  json doc;
  std::map<std::string, json> files;  // ours, by tree path

  std::string Icat(std::uint64_t inode) const {
    std::string bytes;
    RunCommand("icat -o " + std::to_string(start) + " " + ShellQuote(image) + " " + std::to_string(inode),
               &bytes);
    return bytes;
  }
  std::string Written(const std::string& path) const { return ReadWholeFile((out / path).string()); }
  std::string Original(const std::string& path) const { return ReadWholeFile(base + ".originals/" + path); }
  bool HasOriginal(const std::string& path) const {
    return fs::is_regular_file(fs::path(std::u8string(base.begin(), base.end()) + u8".originals/") /
                               fs::path(std::u8string(path.begin(), path.end())));
  }
  std::time_t WrittenTime(const std::string& path) const {
    struct stat st {};
    return ::stat((out / fs::path(std::u8string(path.begin(), path.end()))).c_str(), &st) == 0 ? st.st_mtime
                                                                                               : -1;
  }
};

const Recovered& RecoveredDisk(const std::string& name) {
  static std::map<std::string, std::unique_ptr<Recovered>> cache;
  std::unique_ptr<Recovered>& r = cache[name];
  if (r) return *r;
  r = std::make_unique<Recovered>();
  r->image = TestDisk(name);
  if (r->image.empty()) return *r;
  r->base = TestDisksDir() + "/" + name;
  r->start = std::stoull(ReadWholeFile(r->base + ".start"));
  r->fls = FlsFiles(ReadWholeFile(r->base + ".fls"));
  for (const std::string& line : Split(ReadWholeFile(r->base + ".estimates"), '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() == 2) r->estimates[f[0]] = f[1];
  }
  r->out = r->scratch.path / "out";
  std::string out;
  r->exit = Recover(ShellQuote(r->image) + " --partition 1 --to " + ShellQuote(r->out.string()) + " --json",
                    &out, &r->err);
  r->doc = json::parse(out, nullptr, false);
  if (r->doc.is_object()) {
    for (const json& f : r->doc.value("files", json::array())) r->files[f.value("path", "")] = f;
  }
  return *r;
}

class RecoveredDiskTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    d_ = &RecoveredDisk(GetParam());
    if (d_->image.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
    ASSERT_EQ(d_->exit, 0) << d_->err;
    ASSERT_TRUE(d_->doc.is_object());
    ASSERT_GT(d_->fls.size(), 15u);
  }
  const Recovered& d() const { return *d_; }
  const Recovered* d_ = nullptr;
};

class RecoverFatTest : public RecoveredDiskTest {
 protected:
  // Written whole, as icat reads it, as the recipe copied it in, with the entry's time.
  void ExpectRecovered(const FlsFile& e) const {
    SCOPED_TRACE(e.path);
    ASSERT_TRUE(d().files.count(e.path)) << "not recovered";
    const json& f = d().files.at(e.path);
    EXPECT_EQ(f.value("status", ""), "written");
    EXPECT_EQ(f.value("writtenAs", ""), e.path);
    EXPECT_EQ(f.value("read", ""), e.size == 0 ? "none" : e.deleted ? "contiguous" : "chain");
    const std::string bytes = d().Written(e.path);
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_TRUE(bytes == d().Icat(e.inode)) << "differs from icat";
    EXPECT_TRUE(bytes == d().Original(e.path)) << "differs from the original";
    EXPECT_EQ(d().WrittenTime(e.path), e.mtime);
  }
};

TEST_P(RecoverFatTest, LiveFilesAndDeletedFilesLeftAloneAreWrittenExactly) {
  int live = 0, deleted = 0;
  for (const FlsFile& e : d().fls) {
    if (!Ascii(e.path) && !d().files.count(e.path)) continue;  // not listed by its long name
    const auto estimate = d().estimates.find(e.path);
    if (e.deleted && (estimate == d().estimates.end() || estimate->second != "intact")) continue;
    ExpectRecovered(e);
    ++(e.deleted ? deleted : live);
    if (e.path != "FRAG.BIN") continue;
    // FRAG.BIN really is in two pieces: istat's sector list jumps once.
    std::string istat;
    RunCommand(
        "istat -o " + std::to_string(d().start) + " " + ShellQuote(d().image) + " " + std::to_string(e.inode),
        &istat);
    std::istringstream in(istat.substr(istat.find("Sectors:") + 8));
    std::vector<std::uint64_t> sectors;
    for (std::uint64_t s; in >> s;) sectors.push_back(s);
    int jumps = 0;
    for (std::size_t i = 1; i < sectors.size(); ++i)
      jumps += sectors[i] != 0 && sectors[i] != sectors[i - 1] + 1;
    EXPECT_EQ(jumps, 1) << istat;
  }
  // One cluster exactly, empty, fragmented, over 512 KiB: all among the recipe's live files.
  EXPECT_GE(live, 12);
  EXPECT_EQ(deleted, 3);
  for (const char* path : {"ONE.BIN", "EMPTY.TXT", "FRAG.BIN", "BIGFILE.BIN"})
    EXPECT_TRUE(d().files.count(path));
}

TEST_P(RecoverFatTest, EstimatesSayWhatLaterWritesDidToDeletedFiles) {
  std::string scanOut;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(d().image) + " --partition 1 --json", &scanOut), 0);
  const json scan = json::parse(scanOut, nullptr, false);
  ASSERT_TRUE(scan.is_object());
  std::map<std::string, std::string> scanned;
  for (const json& f : scan["files"]) {
    if (f.value("deleted", false)) scanned[f.value("path", "")] = f.value("estimate", "(none)");
    EXPECT_EQ(f.contains("estimate"), f.value("deleted", false)) << f.dump();
  }
  EXPECT_EQ(scanned, d().estimates);  // the recipe's 6 deleted files: 3 intact, 2 overwritten, 1 partly
  for (const auto& [path, estimate] : d().estimates) {
    ASSERT_TRUE(d().files.count(path)) << path;
    EXPECT_EQ(d().files.at(path).value("estimate", ""), estimate) << path;
  }
}

TEST_P(RecoverFatTest, EveryFileListedIsWrittenUnderItsNameAndReported) {
  const json& summary = d().doc["summary"];
  EXPECT_EQ(summary.value("files", 0u), d().files.size());
  EXPECT_EQ(summary.value("written", 0u), d().files.size());
  EXPECT_EQ(summary.value("failed", 1u) + summary.value("unreadableSectors", 1u), 0u);
  const std::string report = ReadWholeFile(d().doc.value("report", ""));
  EXPECT_EQ(report.rfind("Quarrow recovery report\nsource\t" + d().image + "\n", 0), 0u);
  for (const auto& [path, f] : d().files) {
    EXPECT_EQ(fs::file_size(d().out / fs::path(std::u8string(path.begin(), path.end()))), f.value("size", 0u))
        << path;
    EXPECT_NE(report.find("\t" + path + "\t" + path + "\n"), std::string::npos) << path;
  }
  for (const auto& e : fs::recursive_directory_iterator(d().out))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

INSTANTIATE_TEST_SUITE_P(Disks, RecoverFatTest,
                         ::testing::Values("recover_fat12", "recover_fat16", "recover_fat32"));

// NTFS keeps a deleted file's runs in its record, so every file fls lists is written as icat reads
// its unnamed $DATA, deleted ones included: resident, sparse, in hundreds of runs held by an
// attribute list, written a cluster at a time beside another, NTFS-compressed. Names longer than 254 bytes
// are listed cut (the file list's cells end there), named streams are not files.
class RecoverNtfsTest : public RecoveredDiskTest {};

TEST_P(RecoverNtfsTest, EveryFileIsWrittenAsIcatReadsItWithItsTime) {
  int deleted = 0, originals = 0;
  for (const FlsFile& e : d().fls) {
    if (e.path.find(':') != std::string::npos) continue;
    const std::vector<std::string> parts = Split(e.path, '/');
    if (std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p.size() > 254; }))
      continue;
    SCOPED_TRACE(e.path);
    ASSERT_TRUE(d().files.count(e.path)) << "not recovered";
    const json& f = d().files.at(e.path);
    EXPECT_EQ(f.value("status", ""), "written");
    EXPECT_EQ(f.value("read", ""), e.size == 0 ? "none" : "record");
    const std::string bytes = d().Written(e.path);
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_TRUE(bytes == d().Icat(e.inode)) << "differs from icat";
    deleted += e.deleted;
    if (!d().HasOriginal(e.path)) continue;
    ++originals;
    // A deleted file whose clusters another took holds that file's bytes now, as icat reads too.
    if (!d().estimates.count(e.path) || d().estimates.at(e.path) == "intact") {
      EXPECT_TRUE(bytes == d().Original(e.path)) << "differs from the original";
    }
    EXPECT_EQ(d().WrittenTime(e.path), e.mtime);
  }
  EXPECT_GE(deleted, 4);
  EXPECT_EQ(originals, GetParam() == "recover_ntfs" ? 20 : 0);
  for (const char* path :
       GetParam() == "recover_ntfs"
           ? std::vector<const char*>{"left.bin", "one cluster.bin", "empty.dat", "small.txt",
                                      "Packed/words.txt", "Packed/holes.dat", "Packed/gone packed.txt"}
           : std::vector<const char*>{"fragmented.bin", "sparse.bin", "Trash Folder/top file.txt"})
    EXPECT_TRUE(d().files.count(path)) << path;
}

TEST_P(RecoverNtfsTest, EstimatesReadTheBitmapOfTheClustersARecordNames) {
  std::string scanOut;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(d().image) + " --partition 1 --json", &scanOut), 0);
  const json scan = json::parse(scanOut, nullptr, false);
  ASSERT_TRUE(scan.is_object());
  int deleted = 0;
  for (const json& f : scan["files"]) {
    if (!f.value("deleted", false)) continue;
    ++deleted;
    const std::string path = f.value("path", "");
    // Files whose data is in the record (the recipe lists only those with clusters) are intact.
    const auto expected = d().estimates.find(path);
    EXPECT_EQ(f.value("estimate", ""), expected == d().estimates.end() ? "intact" : expected->second) << path;
    ASSERT_TRUE(d().files.count(path)) << path;
    EXPECT_EQ(d().files.at(path).value("estimate", ""), f.value("estimate", "")) << path;
  }
  EXPECT_GE(deleted, 4);
  std::map<std::string, int> kinds;
  for (const auto& [path, estimate] : d().estimates) ++kinds[estimate];
  EXPECT_GE(kinds["intact"], 2);
  EXPECT_GE(kinds["overwritten"], 1);
}

// After an Advance search the records come from the record scan, some of them listed from their
// extension records; every file is still written with the bytes the Standard search's run wrote.
TEST_P(RecoverNtfsTest, AnAdvanceSearchRecoversTheSameBytes) {
  Scratch here;
  std::string out, err;
  ASSERT_EQ(Recover(ShellQuote(d().image) + " --partition 1 --mode advance --json --to " +
                        ShellQuote((here.path / "out").string()),
                    &out, &err),
            0)
      << err;
  const json doc = json::parse(out, nullptr, false);
  ASSERT_TRUE(doc.is_object());
  std::size_t compared = 0;
  for (const json& f : doc["files"]) {
    const std::string path = f.value("path", "");
    if (!d().files.count(path) || f.value("writtenAs", "") != path) continue;  // $MFTMirr's copies
    EXPECT_TRUE(ReadWholeFile((here.path / "out" / path).string()) == d().Written(path)) << path;
    ++compared;
  }
  EXPECT_EQ(compared, d().files.size());
}

INSTANTIATE_TEST_SUITE_P(Disks, RecoverNtfsTest, ::testing::Values("recover_ntfs", "ntfs_tree"));

class RecoverCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = TestDisk("recover_fat16");
    if (image_.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
  }
  int Run(const fs::path& to, const std::string& args, json* doc = nullptr, std::string* err = nullptr) {
    std::string out;
    const int rc = Recover(
        ShellQuote(image_) + " --partition 1 --json --to " + ShellQuote(to.string()) + " " + args, &out, err);
    if (doc) *doc = json::parse(out, nullptr, false);
    return rc;
  }
  static std::set<std::string> Files(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file() && e.path().filename().string().rfind("recovery-report", 0) != 0)
        files.insert(fs::relative(e.path(), root).generic_string());
    return files;
  }
  std::string image_;
  Scratch scratch_;
};

TEST_F(RecoverCommandTest, OnConflictDecidesWhatASecondRunIntoTheSameFolderDoes) {
  const fs::path out = scratch_.path / "out";
  json doc;
  ASSERT_EQ(Run(out, "", &doc), 0);
  const std::set<std::string> once = Files(out);
  ASSERT_EQ(once.size(), doc["files"].size());
  std::ofstream(out / "ONE.BIN", std::ios::trunc) << "kept";
  ASSERT_EQ(Run(out, "--on-conflict skip", &doc), 0);
  for (const json& f : doc["files"]) EXPECT_EQ(f.value("status", ""), "skipped: a file of that name exists");
  EXPECT_EQ(ReadWholeFile((out / "ONE.BIN").string()), "kept");
  ASSERT_EQ(Run(out, "--on-conflict overwrite", &doc), 0);
  EXPECT_EQ(doc["summary"].value("written", 0u), once.size());
  EXPECT_EQ(Files(out), once);
  EXPECT_NE(ReadWholeFile((out / "ONE.BIN").string()), "kept");
  ASSERT_EQ(Run(out, "", &doc), 0);  // rename, the default
  for (const json& f : doc["files"]) {
    const std::string written = f.value("writtenAs", "");
    EXPECT_EQ(once.count(written), 0u) << written;
    EXPECT_EQ(ReadWholeFile((out / written).string()), ReadWholeFile((out / f.value("path", "")).string()))
        << written;
  }
  EXPECT_TRUE(fs::exists(out / "Photos/2024/IMG_0001 (1).JPG"));
}

TEST_F(RecoverCommandTest, PathsAndFiltersNameWhatIsWritten) {
  const std::vector<std::pair<std::string, std::set<std::string>>> cases = {
      {"--path Photos", {"Photos/2024/IMG_0001.JPG", "Photos/2024/IMG_0002.JPG", "Photos/2024/_ELETED.JPG"}},
      {"--path Photos/2024/IMG_0002.JPG --path /ONE.BIN", {"Photos/2024/IMG_0002.JPG", "ONE.BIN"}},
      {"--path 'Photos\\2024' --deleted-only", {"Photos/2024/_ELETED.JPG"}},
      {"--deleted-only --skip-overwritten",
       {"gone but intact.txt", "_ILL1.BIN", "Photos/2024/_ELETED.JPG", "Gone3/_ART.BIN"}},
  };
  for (const auto& [args, files] : cases) {
    SCOPED_TRACE(args);
    Scratch here;
    json doc;
    ASSERT_EQ(Run(here.path / "out", args, &doc), 0);
    EXPECT_EQ(Files(here.path / "out"), files);
    EXPECT_EQ(doc["summary"].value("skipped", 9u),
              args.find("skip-overwritten") != std::string::npos ? 2u : 0u);
  }
  std::string err;
  EXPECT_EQ(Run(scratch_.path / "none", "--path Photos/nothing.jpg --path ONE.BIN", nullptr, &err), 1);
  EXPECT_EQ(err,
            "quarrow recover: no folder or file Photos/nothing.jpg in the results (see 'quarrow scan')\n");
  EXPECT_FALSE(fs::exists(scratch_.path / "none"));
  EXPECT_EQ(Recover(ShellQuote(image_) + " --partition 1"), 2);  // no --to
}

TEST_F(RecoverCommandTest, TheSourceIsNeverOpenedForWriting) {
  if (RunCommand("command -v strace") != 0) GTEST_SKIP() << "no strace here";
  const std::string before = ReadWholeFile(image_);
  const fs::path log = scratch_.path / "strace.log";
  std::string err;
  // LeakSanitizer cannot run under ptrace; the sanitizer build traces without it.
  const int rc =
      RunCommand("TZ=UTC ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=open,openat,creat -o " +
                     ShellQuote(log.string()) + " " + CliPath() + " recover " + ShellQuote(image_) +
                     " --partition 1 --to " + ShellQuote((scratch_.path / "out").string()),
                 nullptr, &err);
  if (rc != 0 && err.find("ptrace") != std::string::npos) GTEST_SKIP() << "strace cannot trace here: " << err;
  ASSERT_EQ(rc, 0) << err;
  int opens = 0;
  for (const std::string& line : Split(ReadWholeFile(log.string()), '\n')) {
    if (line.find(fs::path(image_).filename().string() + "\"") == std::string::npos) continue;
    ++opens;
    EXPECT_NE(line.find("O_RDONLY"), std::string::npos) << line;
    for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC"})
      EXPECT_EQ(line.find(flag), std::string::npos) << line;
  }
  EXPECT_GE(opens, 1);
  EXPECT_TRUE(ReadWholeFile(image_) == before);
}

// A loop device over a disk with a FAT16 and an ext4 partition, the ext4 one mounted: a destination
// in that mount is on the disk being recovered, whether the disk is named by its loop device, its
// partition's device or the image the loop device reads. Needs root, loop devices, partx and
// mkfs.ext4; the image's own folder is always fine.
class LoopDisk {
 public:
  explicit LoopDisk(const fs::path& folder)
      : image_((folder / "guard.img").string()), mount_(folder / "mnt") {
    if (::geteuid() != 0) {
      why_ = "not root";
      return;
    }
    const std::string img = ShellQuote(image_), hello = ShellQuote((folder / "h.txt").string());
    std::string out, err;
    if (RunCommand("PATH=$PATH:/usr/sbin:/sbin; truncate -s 24M " + img +
                       " && printf 'start=2048, size=8192, type=06\\nstart=10240, type=83\\n' | sfdisk -q " +
                       img + " && mkfs.fat -F 16 -s 1 --offset 2048 " + img +
                       " 4096 >/dev/null && mkfs.ext4 -q -F -E offset=" + std::to_string(10240 * 512) + " " +
                       img + " 12000 && echo hello >" + hello + " && MTOOLS_SKIP_CHECK=1 mcopy -i " + img +
                       "@@" + std::to_string(2048 * 512) + " " + hello + " ::/HELLO.TXT",
                   nullptr, &err) != 0) {
      why_ = "cannot make the disk: " + err;
      return;
    }
    if (RunCommand("losetup -f --show " + img, &out, &err) != 0 || out.empty()) {
      why_ = "no loop device: " + err;
      return;
    }
    device_ = out.substr(0, out.find('\n'));
    partitioned_ = RunCommand("partx -a " + device_, nullptr, &err) == 0;
    if (!partitioned_) {
      why_ = "no partition devices: " + err;
      return;
    }
    fs::create_directories(mount_);
    mounted_ = RunCommand("mount " + device_ + "p2 " + ShellQuote(mount_.string()), nullptr, &err) == 0;
    if (!mounted_) why_ = "cannot mount: " + err;
  }
  ~LoopDisk() {
    if (mounted_) RunCommand("umount " + ShellQuote(mount_.string()));
    if (partitioned_) RunCommand("partx -d " + device_);
    if (!device_.empty()) RunCommand("losetup -d " + device_);
  }
  std::string image_, device_, why_;
  fs::path mount_;
  bool partitioned_ = false, mounted_ = false;
};

TEST(RecoverGuardTest, DestinationOnTheDiskBeingRecoveredIsRefused) {
  Scratch scratch;
  LoopDisk disk(scratch.path);
  if (!disk.mounted_) GTEST_SKIP() << disk.why_;
  const std::string inside = (disk.mount_ / "out").string();
  for (const std::string& source :
       {disk.device_ + " --partition 1", disk.device_ + "p1 --start 0 --end 8192 --type FAT16",
        ShellQuote(disk.image_) + " --partition 1"}) {
    SCOPED_TRACE(source);
    std::string err;
    EXPECT_EQ(Recover(source + " --to " + ShellQuote(inside), nullptr, &err), 1);
    EXPECT_NE(err.find("is on the disk being recovered"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(inside));
    const fs::path beside = scratch.path / "beside";  // the image's own folder
    EXPECT_EQ(Recover(source + " --to " + ShellQuote(beside.string()), nullptr, &err), 0) << err;
    EXPECT_EQ(ReadWholeFile((beside / "HELLO.TXT").string()), "hello\n");
    fs::remove_all(beside);
  }
}

// ntfs-3g mounts an image file as it is (no loop device): recovering that image into its own
// mount would write into the very image being read. Refused, and the image is not changed.
// Needs root and FUSE; under CI=true their absence fails the test.
TEST(RecoverGuardTest, DestinationInAFuseMountOfTheImageItselfIsRefused) {
  QRW_REQUIRE_DISK(image, "ntfs_bare");  // its recipe mounts with ntfs-3g too
  Scratch scratch;
  const fs::path copy = scratch.path / "bare copy.img", mount = scratch.path / "mnt";
  fs::copy_file(image, copy);
  fs::create_directories(mount);
  std::string err;
  const bool mounted = ::geteuid() == 0 &&
                       RunCommand("ntfs-3g " + ShellQuote(copy.string()) + " " + ShellQuote(mount.string()),
                                  nullptr, &err) == 0;
  if (!mounted) {
    if (UnderCi()) FAIL() << "cannot mount the image with ntfs-3g: " << err;
    GTEST_SKIP() << "cannot mount the image with ntfs-3g (root and FUSE needed): " << err;
  }
  auto digest = [&copy] {
    std::string out;
    RunCommand("sha256sum " + ShellQuote(copy.string()), &out);
    return out.substr(0, 64);
  };
  // Mounting and unmounting write ntfs-3g's own marks into the image: it is compared while mounted.
  const std::string before = digest();
  const fs::path inside = mount / "recovered";
  const int rc = Recover(ShellQuote(copy.string()) + " --partition 1 --to " + ShellQuote(inside.string()),
                         nullptr, &err);
  const bool madeInside = fs::exists(inside);
  const std::string after = digest();
  EXPECT_EQ(RunCommand("umount " + ShellQuote(mount.string())), 0);
  EXPECT_EQ(rc, 1) << err;
  EXPECT_NE(err.find("is on the disk being recovered (" + copy.string() + ")"), std::string::npos) << err;
  EXPECT_FALSE(madeInside);
  EXPECT_EQ(after, before);
  // Beside the image, the same recovery is fine.
  EXPECT_EQ(Recover(ShellQuote(copy.string()) + " --partition 1 --to " +
                        ShellQuote((scratch.path / "beside").string()),
                    nullptr, &err),
            0)
      << err;
  EXPECT_EQ(ReadWholeFile((scratch.path / "beside/Docs/readme.txt").string()),
            "an NTFS volume without a table\n");
}

// `quarrow recover` run in this process, as main runs it, with its seams; what it printed is
// captured.
struct HereRun {
  int exit = -1;
  std::string out, err;
};
HereRun RecoverHere(const std::vector<std::string>& args, const cli::RecoverSeams& seams) {
  CLI::App app;
  int exitCode = -1;
  cli::AddRecoverCommand(app, &exitCode, &seams);
  std::vector<std::string> words = {"quarrow", "recover"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  HereRun r;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    r.exit = exitCode;
  } catch (const CLI::ParseError& e) {
    r.exit = 2;
  }
  r.out = ::testing::internal::GetCapturedStdout();
  r.err = ::testing::internal::GetCapturedStderr();
  return r;
}

std::vector<std::string> PartFiles(const fs::path& root) {
  std::vector<std::string> parts;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".part") parts.push_back(it->path().string());
  return parts;
}

// Ctrl-C and SIGTERM are a stop whenever they come: between the end of the search and the first
// file (nothing is written), or as a file is begun (it is dropped, the files before it stay, the
// report says what became of each). The seams raise the signal at exactly those moments.
TEST(RecoverStopTest, CtrlCOrSigtermStopsTheRecoveryWheneverItComes) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  struct Case {
    int signal;
    bool atSearchEnd;  // else as BIGFILE.BIN is begun
  };
  for (const Case& c :
       std::vector<Case>{{SIGINT, true}, {SIGTERM, true}, {SIGINT, false}, {SIGTERM, false}}) {
    SCOPED_TRACE(std::string(c.signal == SIGINT ? "SIGINT" : "SIGTERM") +
                 (c.atSearchEnd ? " at the end of the search" : " as a file is begun"));
    Scratch scratch;
    const fs::path out = scratch.path / "out";
    cli::RecoverSeams seams;
    int raised = 0;
    if (c.atSearchEnd) {
      seams.searchEnded = [&] { raised += ::raise(c.signal) == 0; };
    } else {
      seams.fileStarted = [&](std::string_view name) {
        if (name == "BIGFILE.BIN") raised += ::raise(c.signal) == 0;
      };
    }
    const HereRun r = RecoverHere({image, "--partition", "1", "--json", "--to", out.string()}, seams);
    ASSERT_EQ(raised, 1);
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_NE(r.err.find("quarrow recover: stopped; the files after the stop were not written"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(PartFiles(scratch.path).empty());
    const json doc = json::parse(r.out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << r.out;
    EXPECT_TRUE(doc["summary"].value("stopped", false));
    if (c.atSearchEnd) {
      EXPECT_EQ(doc["summary"].value("written", 9u), 0u);
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    // Files are written in the order they are listed; BIGFILE.BIN and those after it are not.
    bool reached = false;
    for (const json& f : doc["files"]) {
      const std::string path = f.value("path", "");
      reached = reached || path == "BIGFILE.BIN";
      EXPECT_EQ(f.value("status", ""), reached ? "not written: stopped" : "written") << path;
      EXPECT_EQ(fs::exists(out / f.value("path", "")), !reached) << path;
    }
    EXPECT_TRUE(reached);
    const std::string report = ReadWholeFile(doc.value("report", ""));
    EXPECT_NE(report.find("not written: stopped"), std::string::npos) << report.substr(0, 400);
    EXPECT_NE(report.find("the recovery was stopped before every file was written"), std::string::npos);
  }
}

// A file larger than the file-size limit (ulimit -f) fails its write instead of the signal killing
// the command: it is reported failed, no temporary file is left, the rest is written, exit 1.
TEST(RecoverStopTest, AFileOverTheFileSizeLimitFailsAloneAndIsReported) {
  QRW_REQUIRE_DISK(image, "recover_fat16");
  Scratch scratch;
  const fs::path out = scratch.path / "out";
  TerminalRun run({"recover", image, "--partition", "1", "--to", out.string()}, 600 * 1024);
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.Finish(std::chrono::seconds(120))) << run.Terminal();
  EXPECT_EQ(run.ExitCode(), 1) << run.Terminal();
  EXPECT_NE(run.Terminal().find("quarrow recover: BIGFILE.BIN: failed: cannot write: File too large"),
            std::string::npos)
      << run.Terminal();
  EXPECT_TRUE(PartFiles(scratch.path).empty());
  EXPECT_FALSE(fs::exists(out / "BIGFILE.BIN"));
  EXPECT_TRUE(fs::exists(out / "Long name document.txt"));
  const std::string report = ReadWholeFile((out / "recovery-report.txt").string());
  EXPECT_NE(report.find("failed: cannot write: File too large"), std::string::npos) << report.substr(0, 400);
  EXPECT_NE(report.find("BIGFILE.BIN"), std::string::npos);
}

}  // namespace
}  // namespace quarrow::testing
