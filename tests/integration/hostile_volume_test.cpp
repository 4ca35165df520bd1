// Volumes of the recipes with a few bytes changed the way damage or a hostile stick changes them:
// a record's run list, a parent reference, a name, a size. Each command still ends by itself,
// lists what is there (nothing vanishes), shows names without driving the terminal, and writes
// no more than the volume holds.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct CliRun {
  int exit = -1;  // -1: killed by a signal (a crash) or not run
  std::string out, err;
  json doc;  // stdout as JSON, when it is
};

CliRun Quarrow(const std::string& args, const std::string& limits = "") {
  CliRun r;
  r.exit = RunCommand(limits + "TZ=UTC timeout 300 " + CliPath() + " " + args, &r.out, &r.err);
  r.doc = json::parse(r.out, nullptr, false);
  return r;
}

std::uint64_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  return v;
}

void PutLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Every path a scan or a recovery listed, with its JSON object.
std::map<std::string, json> ByPath(const json& doc, const char* list) {
  std::map<std::string, json> paths;
  for (const json& f : doc.value(list, json::array())) paths[f.value("path", "")] = f;
  return paths;
}

// A scratch folder for a recovery, removed when done.
struct Scratch {
  Scratch() {
    char name[] = "/tmp/qrw-hostile.XXXXXX";
    path = mkdtemp(name) ? name : "";
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::uint64_t Bytes() const {
    std::uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(path))
      if (e.is_regular_file()) total += e.file_size();
    return total;
  }
  fs::path path;
};

// The MFT records of the NTFS volume of a recipe's image (partition 1, its start in the side
// file), read and written whole in a patched copy. ntfs-3g lays the first records of a fresh
// volume out in one run, so record n is n kilobytes into the MFT.
class NtfsImage {
 public:
  explicit NtfsImage(const std::string& recipe) {
    image_ = TestDisk(recipe);
    if (image_.empty()) return;
    patched_ = std::make_unique<PatchedImage>(image_);
    const std::string base = TestDisksDir() + "/" + recipe;
    start_ = std::stoull(ReadWholeFile(base + ".start")) * 512;
    fls_ = ReadWholeFile(base + ".fls");
    estimates_ = ReadWholeFile(base + ".estimates");
    const std::vector<std::uint8_t> boot = patched_->Get(start_, 512);
    const std::uint64_t cluster = Le(boot, 11, 2) * boot[13];
    mft_ = start_ + Le(boot, 48, 8) * cluster;
  }
  bool Made() const { return patched_ != nullptr; }
  const std::string& path() const { return patched_->path(); }
  const std::string& estimates() const { return estimates_; }

  // The record number fls gives the file at path ("d/d 69-144-2:\tPhotos/2024").
  std::uint32_t Number(const std::string& path) const {
    for (const std::string& line : Split(fls_, '\n')) {
      const std::vector<std::string> f = Split(line, '\t');
      if (f.size() < 2 || f[1] != path) continue;
      const std::size_t space = f[0].rfind(' ');
      return static_cast<std::uint32_t>(std::stoul(f[0].substr(space + 1)));
    }
    ADD_FAILURE() << "fls lists no " << path;
    return 0;
  }
  std::vector<std::uint8_t> Record(std::uint32_t n) const { return patched_->Get(mft_ + n * 1024ull, 1024); }
  // Writes a record back; the bytes changed must not be the update sequence's (each sector's last two).
  void PutRecord(std::uint32_t n, const std::vector<std::uint8_t>& record) {
    const std::vector<std::uint8_t> was = Record(n);
    for (std::size_t i = 0; i < record.size(); ++i)
      if (record[i] != was[i] && i % 512 >= 510)
        ADD_FAILURE() << "the patch touches the update sequence at " << i;
    patched_->Put(mft_ + n * 1024ull, record);
  }
  // The offsets of a record's attributes of a type.
  static std::vector<std::size_t> Attributes(const std::vector<std::uint8_t>& r, std::uint32_t type) {
    std::vector<std::size_t> found;
    for (std::size_t at = Le(r, 20, 2); at + 8 <= r.size();) {
      const std::uint64_t t = Le(r, at, 4), length = Le(r, at + 4, 4);
      if (t == 0xFFFFFFFF || length == 0) break;
      if (t == type) found.push_back(at);
      at += length;
    }
    return found;
  }
  static std::size_t Content(const std::vector<std::uint8_t>& r, std::size_t attribute) {
    return attribute + Le(r, attribute + 20, 2);
  }
  // Points every $FILE_NAME of record n at parent.
  void SetParent(std::uint32_t n, std::uint64_t parent) {
    std::vector<std::uint8_t> r = Record(n);
    for (std::size_t a : Attributes(r, 0x30)) PutLe(r, Content(r, a), parent, 6);
    PutRecord(n, r);
  }

 private:
  std::string image_, fls_, estimates_;
  std::unique_ptr<PatchedImage> patched_;
  std::uint64_t start_ = 0, mft_ = 0;
};

#define QRW_REQUIRE_NTFS(var, recipe) \
  NtfsImage var(recipe);              \
  if (!var.Made()) QRW_SKIP_OR_FAIL_FOR_DISK()

// The first run of the $Bitmap's data (record 6) given a length of 0: the bitmap names no
// cluster. Every deleted file whose data is on the disk is then estimated "unknown"; the scans
// and the recovery end by themselves.
TEST(HostileNtfs, ABitmapWhoseRunListNamesNoClusterLeavesEstimatesUnknown) {
  QRW_REQUIRE_NTFS(v, "recover_ntfs");
  std::vector<std::uint8_t> r = v.Record(6);
  const std::vector<std::size_t> data = NtfsImage::Attributes(r, 0x80);
  ASSERT_EQ(data.size(), 1u);
  ASSERT_EQ(r[data[0] + 8], 1) << "the $Bitmap's data is resident";
  const std::size_t runs = data[0] + Le(r, data[0] + 32, 2);
  for (int i = 0; i < (r[runs] & 0x0F); ++i) r[runs + 1 + static_cast<std::size_t>(i)] = 0;
  v.PutRecord(6, r);

  const std::string image = ShellQuote(v.path());
  const CliRun scan = Quarrow("scan " + image + " --partition 1 --json");
  ASSERT_EQ(scan.exit, 0) << scan.err;
  const std::map<std::string, json> files = ByPath(scan.doc, "files");
  int unknown = 0;
  for (const std::string& line : Split(v.estimates(), '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 2) continue;
    ASSERT_TRUE(files.count(f[0])) << f[0];
    EXPECT_EQ(files.at(f[0]).value("estimate", ""), "unknown") << f[0];
    ++unknown;
  }
  EXPECT_GE(unknown, 3);

  const CliRun advance = Quarrow("scan " + image + " --partition 1 --mode advance --json");
  EXPECT_EQ(advance.exit, 0) << advance.err;
  EXPECT_TRUE(advance.doc.is_object());

  // The deleted files are written as their records say ($Bitmap itself, whose data cannot be
  // found now, is not asked for).
  Scratch out;
  std::string paths;
  for (const std::string& line : Split(v.estimates(), '\n'))
    if (!line.empty()) paths += " --path " + ShellQuote(Split(line, '\t')[0]);
  const CliRun recover = Quarrow("recover " + image + " --partition 1 --to " + ShellQuote(out.path.string()) +
                                 paths + " --json");
  EXPECT_EQ(recover.exit, 0) << recover.err;
  EXPECT_EQ(ReadWholeFile((out.path / "gone but intact.txt").string()),
            ReadWholeFile(TestDisksDir() + "/recover_ntfs.originals/gone but intact.txt"));
}

// A folder whose parent record is gone, a file whose parent is gone, and two folders that name
// each other as parent: all are listed under QRW_Miscellaneous with what they hold, and written.
TEST(HostileNtfs, FilesAndFoldersWithoutAParentComeUnderMiscellaneous) {
  QRW_REQUIRE_NTFS(v, "recover_ntfs");
  constexpr std::uint64_t kNoRecord = 0x00F0F0F0;  // far past the MFT's last record
  v.SetParent(v.Number("Packed"), kNoRecord);
  v.SetParent(v.Number("small.txt"), kNoRecord);
  const std::uint32_t privet = v.Number("Привет мир"), japanese = v.Number("日本語");
  v.SetParent(privet, japanese);
  v.SetParent(japanese, privet);

  const std::string image = ShellQuote(v.path());
  const CliRun scan = Quarrow("scan " + image + " --partition 1 --json");
  ASSERT_EQ(scan.exit, 0) << scan.err;
  const std::map<std::string, json> folders = ByPath(scan.doc, "folders");
  const std::map<std::string, json> files = ByPath(scan.doc, "files");
  const std::string misc = "QRW_Miscellaneous/";
  EXPECT_TRUE(folders.count(misc + "Packed")) << scan.out;
  EXPECT_TRUE(files.count(misc + "Packed/words.txt")) << scan.out;
  EXPECT_TRUE(files.count(misc + "small.txt")) << scan.out;
  // The circle is opened at one of its folders; the other hangs below it, with its file.
  const bool privetTop = files.count(misc + "Привет мир/日本語/ファイル.txt") != 0;
  const bool japaneseTop = files.count(misc + "日本語/Привет мир/лето.txt") != 0;
  EXPECT_TRUE(privetTop != japaneseTop) << scan.out;
  EXPECT_TRUE(files.count(privetTop ? misc + "Привет мир/лето.txt" : misc + "日本語/ファイル.txt"))
      << scan.out;
  for (const auto& [path, f] : files) EXPECT_EQ(path.find("small.txt"), path.rfind("small.txt")) << path;

  Scratch out;
  const CliRun recover =
      Quarrow("recover " + image + " --partition 1 --to " + ShellQuote(out.path.string()) + " --json");
  EXPECT_EQ(recover.exit, 0) << recover.err;
  const std::string originals = TestDisksDir() + "/recover_ntfs.originals/";
  EXPECT_EQ(ReadWholeFile((out.path / "QRW_Miscellaneous/small.txt").string()),
            ReadWholeFile(originals + "small.txt"));
  EXPECT_EQ(ReadWholeFile((out.path / "QRW_Miscellaneous/Packed/words.txt").string()),
            ReadWholeFile(originals + "Packed/words.txt"));
}

// A name holding ESC and BEL is shown with them escaped as the report escapes them, never raw.
TEST(HostileNtfs, ControlCharactersInANameDoNotReachTheTerminal) {
  QRW_REQUIRE_NTFS(v, "recover_ntfs");
  const std::uint32_t n = v.Number("small.txt");
  std::vector<std::uint8_t> r = v.Record(n);
  for (std::size_t a : NtfsImage::Attributes(r, 0x30)) {
    const std::size_t name = NtfsImage::Content(r, a) + 66;
    PutLe(r, name, 0x1B, 2);      // s -> ESC
    PutLe(r, name + 2, 0x07, 2);  // m -> BEL
    PutLe(r, name + 4, 0x9B, 2);  // a -> CSI, the C1 form of ESC [
  }
  v.PutRecord(n, r);
  const CliRun scan = Quarrow("scan " + ShellQuote(v.path()) + " --partition 1");
  ASSERT_EQ(scan.exit, 0) << scan.err;
  EXPECT_NE(scan.out.find("\\x1b\\x07\\xc2\\x9bll.txt"), std::string::npos) << scan.out;
  for (char c : scan.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
  EXPECT_EQ(scan.out.find("\xc2\x9b"), std::string::npos);
}

// A file of 4 GiB and more (its $DATA sizes say 5 GiB and a little) is listed with its whole size.
TEST(HostileNtfs, SizesOf4GiBAndMoreAreShownWhole) {
  QRW_REQUIRE_NTFS(v, "recover_ntfs");
  const std::uint32_t n = v.Number("big.bin");
  std::vector<std::uint8_t> r = v.Record(n);
  const std::vector<std::size_t> data = NtfsImage::Attributes(r, 0x80);
  ASSERT_EQ(data.size(), 1u);
  ASSERT_EQ(r[data[0] + 8], 1);
  constexpr std::uint64_t kSize = (5ull << 30) + 123;
  for (std::size_t field : {40, 48, 56}) PutLe(r, data[0] + field, kSize, 8);
  v.PutRecord(n, r);
  const CliRun json = Quarrow("scan " + ShellQuote(v.path()) + " --partition 1 --json");
  ASSERT_EQ(json.exit, 0) << json.err;
  EXPECT_EQ(ByPath(json.doc, "files")["big.bin"].value("size", std::uint64_t{0}), kSize);
  const CliRun text = Quarrow("scan " + ShellQuote(v.path()) + " --partition 1");
  EXPECT_NE(text.out.find("big.bin  " + std::to_string(kSize) + "  "), std::string::npos) << text.out;
}

// The FAT volume of recover_fat16, patched through the bytes of its directory entries.
class FatImage {
 public:
  FatImage() {
    image_ = TestDisk("recover_fat16");
    if (image_.empty()) return;
    patched_ = std::make_unique<PatchedImage>(image_);
    bytes_ = ReadWholeFile(image_);
  }
  bool Made() const { return patched_ != nullptr; }
  const std::string& path() const { return patched_->path(); }
  std::uint64_t ImageBytes() const { return bytes_.size(); }
  // The offset of the directory entry (32-byte aligned) that starts with these bytes.
  std::uint64_t Entry(const std::string& start) const {
    for (std::size_t at = bytes_.find(start); at != std::string::npos; at = bytes_.find(start, at + 1))
      if (at % 32 == 0) return at;
    ADD_FAILURE() << "no entry " << start;
    return 0;
  }
  PatchedImage& image() { return *patched_; }

 private:
  std::string image_, bytes_;
  std::unique_ptr<PatchedImage> patched_;
};

#define QRW_REQUIRE_FAT(var) \
  FatImage var;              \
  if (!var.Made()) QRW_SKIP_OR_FAIL_FOR_DISK()

// Entries whose size says 4 GiB on a volume of a few MiB, a live one and a deleted one: each is
// written as far as the volume goes and no further, the rest named missing, and recover exits 1.
// (The recovery runs under a file-size limit, so a writer that pads to the claimed size fails
// here instead of filling the disk.)
TEST(HostileFat, ASizePastTheVolumeIsWrittenOnlyAsFarAsTheVolumeGoes) {
  QRW_REQUIRE_FAT(v);
  v.image().Put32(v.Entry("SMALL   TXT") + 28, 0xFFFFFFFF);
  v.image().Put32(v.Entry("\xE5ILL1   BIN") + 28, 0xFFFFFFFF);
  Scratch out;
  const CliRun recover = Quarrow(
      "recover " + ShellQuote(v.path()) + " --partition 1 --to " + ShellQuote(out.path.string()) + " --json",
      "ulimit -f 262144; ");
  ASSERT_NE(recover.exit, -1) << recover.err;
  EXPECT_EQ(recover.exit, 1) << recover.err;
  const std::map<std::string, json> files = ByPath(recover.doc, "files");
  for (const std::string name : {"SMALL.TXT", "_ILL1.BIN"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(files.count(name)) << recover.out;
    const json& f = files.at(name);
    EXPECT_EQ(f.value("status", "")
                  .rfind("written, unreadable bytes zero-filled: its entry claims 4294967295 bytes", 0),
              0u)
        << f.dump();
    const std::uint64_t size = f.value("size", std::uint64_t{0});
    EXPECT_LT(size, v.ImageBytes());
    ASSERT_EQ(f["unreadable"].size(), 1u) << f.dump();
    EXPECT_EQ(f["unreadable"][0].value("first", std::uint64_t{0}), size);
    EXPECT_EQ(f["unreadable"][0].value("last", std::uint64_t{0}), 0xFFFFFFFEu);
    struct stat st {};
    ASSERT_EQ(::stat((out.path / name).c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), size);
  }
  EXPECT_EQ(ReadWholeFile((out.path / "SMALL.TXT").string()).substr(0, 100),
            ReadWholeFile(TestDisksDir() + "/recover_fat16.originals/SMALL.TXT"));
  EXPECT_LT(out.Bytes(), 3 * v.ImageBytes());
  EXPECT_LT(recover.doc["summary"].value("bytes", std::uint64_t{0}), 3 * v.ImageBytes());
}

// A long name holding "/" (or "\" or a control character) cannot be a name; the entry's 8.3 name
// is sound and stands in for it, and the file is written under it.
TEST(HostileFat, ALongNameThatCannotBeANameFallsBackToThe83Name) {
  QRW_REQUIRE_FAT(v);
  // The long name's first part: "Long name doc" from its second character on; 'o' becomes '/'.
  std::string utf16;
  for (char c : std::string("Long name d")) utf16 += std::string{c, '\0'};
  const std::uint64_t at = v.Entry(std::string("\x01") + utf16.substr(0, 10));
  v.image().Put(at + 3, {'/', 0});
  const CliRun scan = Quarrow("scan " + ShellQuote(v.path()) + " --partition 1 --json");
  ASSERT_EQ(scan.exit, 0) << scan.err;
  std::string shortName;
  for (const auto& [path, f] : ByPath(scan.doc, "files"))
    if (f.value("size", 0) == 3089) shortName = path;
  EXPECT_EQ(shortName.find("LONGNA~"), 0u) << scan.out;

  Scratch out;
  const CliRun recover = Quarrow("recover " + ShellQuote(v.path()) + " --partition 1 --to " +
                                 ShellQuote(out.path.string()) + " --path " + ShellQuote(shortName));
  EXPECT_EQ(recover.exit, 0) << recover.err;
  EXPECT_EQ(ReadWholeFile((out.path / shortName).string()),
            ReadWholeFile(TestDisksDir() + "/recover_fat16.originals/Long name document.txt"));
}

// A volume file named as the report is: the report keeps its documented name, the file gets a
// numbered one, and both are whole.
TEST(HostileNtfs, AFileNamedLikeTheReportDoesNotTakeItsName) {
  QRW_REQUIRE_NTFS(v, "recover_ntfs");
  const std::uint32_t n = v.Number("Long name document.txt");
  std::vector<std::uint8_t> r = v.Record(n);
  const std::string name = "recovery-report.txt";
  for (std::size_t a : NtfsImage::Attributes(r, 0x30)) {
    const std::size_t content = NtfsImage::Content(r, a);
    ASSERT_GE(r[content + 64], name.size());
    r[content + 64] = static_cast<std::uint8_t>(name.size());
    for (std::size_t i = 0; i < name.size(); ++i)
      PutLe(r, content + 66 + 2 * i, static_cast<std::uint8_t>(name[i]), 2);
  }
  v.PutRecord(n, r);
  Scratch out;
  const CliRun recover = Quarrow("recover " + ShellQuote(v.path()) + " --partition 1 --to " +
                                 ShellQuote(out.path.string()) + " --json");
  EXPECT_EQ(recover.exit, 0) << recover.err;
  EXPECT_EQ(recover.doc.value("report", ""), (out.path / name).string());
  EXPECT_EQ(ReadWholeFile((out.path / name).string()).rfind("Quarrow recovery report", 0), 0u);
  const std::map<std::string, json> files = ByPath(recover.doc, "files");
  ASSERT_TRUE(files.count(name)) << recover.out;
  const json& f = files.at(name);
  ASSERT_TRUE(f.is_object()) << recover.out;
  EXPECT_NE(f.value("writtenAs", ""), name);
  EXPECT_EQ(ReadWholeFile((out.path / f.value("writtenAs", "")).string()),
            ReadWholeFile(TestDisksDir() + "/recover_ntfs.originals/Long name document.txt"));
}

}  // namespace
}  // namespace quarrow::testing
