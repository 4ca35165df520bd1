// The NTFS searches on a disk made by mkntfs and filled through an ntfs-3g mount, compared with
// what The Sleuth Kit's fls lists from the same image (its inode number is the MFT record number).
//
// Known differences from fls, each checked where it occurs:
// - fls lists the named streams of the system files ("$Secure:$SDS", "$Extend/$Quota:$Q", ...) as
//   entries of their own, and some of those files only by their streams. We list records, each
//   once under its name ("$Secure", "$Extend/$Quota").
// - A name of 255 characters comes back cut to 254: every name is read from the scan tables
//   through their 255-character cell buffer.
// - ntfs-3g leaves the entries of removed files in index blocks the folder no longer uses, and fls
//   lists such a name as live. We take the deleted mark from the record itself, whose in-use flag
//   is clear (checked on the image).
// - fls's $OrphanFiles is a virtual folder of records that have no name; we list no such record.
// - The Advance search trusts no MFT: it lists the copies of records 0 to 3 kept in $MFTMirr a
//   second time, as files of the root; it gives "$MFT" the number 1 by its name, as it does the
//   other system files; and it numbers the other file records by their order on the disk, so a
//   file whose record follows unused records carries a number fls does not give it. Files are
//   compared by parent and name; folders carry the number their record holds and are compared
//   exactly.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "results/folder_tree.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/standard_search.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

constexpr std::uint32_t kRoot = 5;

struct FlsEntry {
  bool folder = false, deleted = false;
  std::uint32_t inode = 0;
  std::uint64_t size = 0;
  std::string path, name;
};

struct Listed {
  std::string name;
  std::uint32_t parent = 0, sector = 0;
  bool deleted = false, folder = false;
  std::uint64_t size = 0;
};

std::string Basename(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::vector<FlsEntry> ParseFls(const std::string& text) {
  std::vector<FlsEntry> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || line.size() < 4 || line[0] == 'V') continue;
    FlsEntry e;
    e.folder = line[2] == 'd';
    e.deleted = line.find(" * ") < tab;
    const std::size_t number = line.find_first_of("0123456789", 4);
    e.inode = static_cast<std::uint32_t>(std::stoul(line.substr(number)));
    std::vector<std::string> fields;
    std::istringstream cells(line.substr(tab + 1));
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() < 6) continue;
    e.path = fields[0];
    e.size = std::stoull(fields[5]);
    e.name = Basename(e.path);
    if (e.path.rfind("$OrphanFiles/", 0) == 0) continue;
    out.push_back(e);
  }
  return out;
}

// A search of the image in this process, and what its results tree and file list show.
struct Scan {
  std::map<std::uint32_t, std::vector<Listed>> bySelf;
  std::vector<IdentifiedFileSystem> identified;
  std::string refused;
};

Scan RunSearch(const std::string& image, std::uint64_t start, std::uint64_t end, bool advance) {
  DevicePathTable paths;
  paths.Set(1, image);
  PosixDeviceOpener opener;
  SectorReader reader(paths, opener);
  ScanContext ctx;
  ctx.reader = &reader;
  ctx.diskNumber = 1;
  ctx.partitionType = FsType::kNtfs;
  ctx.searchStart = start;
  ctx.searchEnd = end;
  Scan scan;
  if (advance) {
    AdvanceSearch search(ctx);
    if (auto refused = search.Run().refused) scan.refused = *refused;
    scan.identified = search.Identified();
    if (scan.identified.empty()) return scan;
    if (auto refused = search.RunSecondStage(0).refused) scan.refused = *refused;
  } else {
    StandardSearch search(ctx);
    if (auto refused = search.Run().refused) scan.refused = *refused;
  }
  std::set<std::uint32_t> folders{kRoot};
  for (const FolderNode& node : ctx.results.folderNodes) {
    scan.bySelf[node.self].push_back({node.name, node.parent, 0, node.deleted, true});
    folders.insert(node.self);
  }
  const TextTable& files = ctx.results.tables.PendingEntryTable;
  for (int row = 0; row < files.RowCount(); ++row) {
    const FolderRowValues v = ReadFolderRow(files, row);
    if (!folders.contains(v.parent)) continue;  // not reachable from the tree
    scan.bySelf[v.self].push_back({v.name, v.parent, ReadU32(files.Cell(row, entry_col::kSector)), v.deleted,
                                   false, ReadU32(files.Cell(row, entry_col::kSize))});
  }
  return scan;
}

std::string Bytes(const std::string& image, std::uint64_t sector, std::size_t count) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(sector * 512));
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  return bytes;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

class ScanNtfsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    image_ = TestDisk("ntfs_tree");
    if (image_.empty()) return;
    const std::string base = TestDisksDir() + "/ntfs_tree";
    start_ = std::stoull(ReadWholeFile(base + ".start"));
    end_ = start_ + std::stoull(ReadWholeFile(base + ".sectors"));
    fls_ = ParseFls(ReadWholeFile(base + ".fls"));
    for (const FlsEntry& e : fls_) flsInodeOfPath_[e.path] = e.inode;
  }
  void SetUp() override {
    if (image_.empty()) {
      if (LastTestDiskSkipped()) GTEST_SKIP() << LastTestDiskError();
      FAIL() << LastTestDiskError();
    }
    ASSERT_GT(fls_.size(), 1400u);
  }
  static std::uint32_t FlsParent(const FlsEntry& e) {
    const std::size_t slash = e.path.rfind('/');
    return slash == std::string::npos ? kRoot : flsInodeOfPath_.at(e.path.substr(0, slash));
  }
  // A named stream of a record: fls lists it apart, we list the record under its own name.
  static bool IsStream(const FlsEntry& e) { return e.name.find(':') != std::string::npos; }
  static std::string ExpectedName(const FlsEntry& e) { return e.name.substr(0, 254); }
  bool RecordInUse(std::uint32_t sector) const { return (Bytes(image_, sector, 24)[22] & 1) != 0; }

  static std::string image_;
  static std::uint64_t start_, end_;
  static std::vector<FlsEntry> fls_;
  static std::map<std::string, std::uint32_t> flsInodeOfPath_;
};

std::string ScanNtfsTest::image_;
std::uint64_t ScanNtfsTest::start_ = 0, ScanNtfsTest::end_ = 0;
std::vector<FlsEntry> ScanNtfsTest::fls_;
std::map<std::string, std::uint32_t> ScanNtfsTest::flsInodeOfPath_;

TEST_F(ScanNtfsTest, StandardSearchListsEveryRecordFlsListsWithItsNumberNameParentAndMark) {
  const Scan scan = RunSearch(image_, start_, end_, false);
  ASSERT_EQ(scan.refused, "");
  int compared = 0, cut = 0, staleIndexNames = 0;
  for (const FlsEntry& e : fls_) {
    SCOPED_TRACE(e.path);
    auto it = scan.bySelf.find(e.inode);
    ASSERT_NE(it, scan.bySelf.end()) << "record " << e.inode << " not listed";
    ASSERT_EQ(it->second.size(), 1u);
    const Listed& ours = it->second.front();
    if (IsStream(e)) {
      EXPECT_EQ(ours.name, e.name.substr(0, e.name.find(':')));
      continue;
    }
    ++compared;
    cut += ExpectedName(e) != e.name;
    EXPECT_EQ(ours.name, ExpectedName(e));
    EXPECT_EQ(ours.folder, e.folder);
    EXPECT_EQ(ours.parent, FlsParent(e));
    if (ours.deleted != e.deleted && !ours.folder) {
      ++staleIndexNames;
      EXPECT_TRUE(ours.deleted);
      EXPECT_FALSE(RecordInUse(ours.sector)) << "listed deleted, record in use";
    } else {
      EXPECT_EQ(ours.deleted, e.deleted);
    }
    if (!ours.folder) {
      EXPECT_EQ(ours.size, e.size);
      // The row's sector is where the record lies: "FILE" and the record's own number.
      const std::string record = Bytes(image_, ours.sector, 48);
      EXPECT_EQ(record.substr(0, 4), "FILE");
      EXPECT_EQ(Le32(record, 44), e.inode);
    }
  }
  EXPECT_GT(compared, 1400);
  EXPECT_EQ(cut, 1);  // the one name of 255 characters
  EXPECT_LT(staleIndexNames, 100);

  std::set<std::uint32_t> flsInodes;
  for (const FlsEntry& e : fls_) flsInodes.insert(e.inode);
  for (const auto& [self, listed] : scan.bySelf) {
    if (self == kOrphanCluster) continue;
    EXPECT_TRUE(flsInodes.contains(self))
        << "fls does not know record " << self << " " << listed.front().name;
  }
}

// The folders of an Advance search, compared with fls: same numbers, names, parents and marks.
void ExpectFoldersLikeFls(const Scan& scan, const std::vector<FlsEntry>& fls,
                          const std::map<std::string, std::uint32_t>& inodes) {
  int folders = 0;
  for (const FlsEntry& e : fls) {
    if (!e.folder) continue;
    SCOPED_TRACE(e.path);
    ++folders;
    auto it = scan.bySelf.find(e.inode);
    ASSERT_NE(it, scan.bySelf.end());
    const Listed& ours = it->second.front();
    const std::size_t slash = e.path.rfind('/');
    EXPECT_EQ(ours.parent, slash == std::string::npos ? kRoot : inodes.at(e.path.substr(0, slash)));
    EXPECT_EQ(std::make_tuple(ours.name, ours.folder, ours.deleted),
              std::make_tuple(e.name, true, e.deleted));
  }
  EXPECT_GE(folders, 19);
  // Every file of fls is there by parent and name.
  std::set<std::pair<std::uint32_t, std::string>> ours;
  for (const auto& [self, listed] : scan.bySelf)
    for (const Listed& l : listed) ours.insert({l.parent, l.name});
  for (const FlsEntry& e : fls) {
    if (e.folder || e.name.find(':') != std::string::npos) continue;
    const std::size_t slash = e.path.rfind('/');
    const std::uint32_t parent = slash == std::string::npos ? kRoot : inodes.at(e.path.substr(0, slash));
    EXPECT_TRUE(ours.contains({parent, e.name.substr(0, 254)})) << e.path;
  }
}

// Over the partition as it is, and with its boot sector and the backup zeroed: then the volume is
// worked out from two folders and their index records, and checked by probing.
TEST_F(ScanNtfsTest, AdvanceSearchIdentifiesTheVolumeAndRebuildsItsFolders) {
  const std::string copy = TestDisksDir() + "/ntfs_tree_no_boot.img";
  ASSERT_EQ(RunCommand("cp " + ShellQuote(image_) + " " + ShellQuote(copy)), 0);
  for (std::uint64_t sector : {start_, end_ - 1}) {
    ASSERT_EQ(RunCommand("dd if=/dev/zero of=" + ShellQuote(copy) +
                         " bs=512 count=1 conv=notrunc status=none seek=" + std::to_string(sector)),
              0);
  }
  for (const std::string& image : {image_, copy}) {
    SCOPED_TRACE(image);
    const Scan scan = RunSearch(image, start_, end_, true);
    ASSERT_EQ(scan.refused, "");
    ASSERT_GE(scan.identified.size(), 1u);
    EXPECT_EQ(
        std::make_tuple(scan.identified[0].typeText, scan.identified[0].cluster0, scan.identified[0].spc),
        std::make_tuple("NTFS", start_,
                        std::uint32_t{static_cast<unsigned char>(Bytes(image_, start_, 512)[13])}));
    ExpectFoldersLikeFls(scan, fls_, flsInodeOfPath_);
    EXPECT_EQ(scan.bySelf.at(1).size(), 2u);  // "$MFT", from the MFT and from its mirror
  }
  std::remove(copy.c_str());
}

TEST_F(ScanNtfsTest, CommandLineDescribesTheVolumeByRecordNumbers) {
  std::string out, err;
  ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(image_) + " --partition 1 --json", &out, &err), 0)
      << err;
  const std::string boot = Bytes(image_, start_, 512);
  const std::uint64_t mft = start_ + std::uint64_t{Le32(boot, 48)} * static_cast<unsigned char>(boot[13]);
  for (const std::string& part :
       {std::string("\"type\":\"NTFS\""), "\"MftSector\":" + std::to_string(mft),
        std::string("\"MftRecordSectors\":2"),
        "\"name\":\"Documents\",\"self\":" + std::to_string(flsInodeOfPath_.at("Documents"))}) {
    EXPECT_NE(out.find(part), std::string::npos) << part;
  }
}

// The Advance search says whether a boot sector found the volume or its folders gave it away: with
// both boot sectors wiped, the volume is the same but no boot sector is named.
TEST(NtfsAdvanceIdentification, TheSearchSaysWhetherABootSectorFoundTheVolume) {
  QRW_REQUIRE_DISK(image, "ntfs_tree");
  const std::string base = TestDisksDir() + "/ntfs_tree";
  const std::uint64_t first = std::stoull(ReadWholeFile(base + ".start"));
  const std::uint64_t sectors = std::stoull(ReadWholeFile(base + ".sectors"));
  PatchedImage wiped(image);
  for (const std::uint64_t sector : {first, first + sectors - 1})
    for (std::uint64_t at = 0; at < 512; at += 4) wiped.Put32(sector * 512 + at, 0);
  const std::string start = std::to_string(first);
  const struct {
    std::string image, says;
  } cases[] = {
      {image, "File System 1 - NTFS  boot sector " + start + ", cluster 0 at sector " + start},
      {wiped.path(), "File System 1 - NTFS  derived from directories, cluster 0 at sector " + start},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    std::string out, err;
    ASSERT_EQ(RunCommand(CliPath() + " scan " + ShellQuote(c.image) +
                             " --mode advance --type NTFS --start 0 --end " + std::to_string(first + sectors),
                         &out, &err),
              0)
        << err;
    EXPECT_NE(out.find(c.says), std::string::npos) << out.substr(0, 400);
  }
}

}  // namespace
}  // namespace quarrow::testing
