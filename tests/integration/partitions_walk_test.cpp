// The partition walk and ValidatePartition on disk images made by sfdisk, mkfs.fat and mkntfs,
// against what sfdisk, mmls and fsstat read from the same images.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "disk/posix_block_device.h"
#include "disk/sector_reader.h"
#include "partition/partition_table.h"
#include "partition/validate_partition.h"
#include "test_disks.h"

namespace quarrow::testing {
namespace {

using nlohmann::json;

struct Part {
  int number = 0;
  std::string fs;
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  std::string item;
  bool operator==(const Part&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Part& p) {
  return os << "{" << p.number << " " << p.fs << " " << p.first << ".." << p.end << " '" << p.item << "'}";
}

// What the recipe formatted, by sfdisk partition number ("1 FAT16" lines in NAME.fs).
std::map<int, std::string> FormattedFileSystems(const std::string& name) {
  std::map<int, std::string> out;
  std::istringstream in(ReadWholeFile(TestDisksDir() + "/" + name + ".fs"));
  int number;
  std::string fs;
  while (in >> number >> fs) out[number] = fs;
  return out;
}

// The partitions a scan can use, in table order, as sfdisk reads the table and the recipe
// formatted them. FAT12 volumes are read with the FAT16 rules and listed so.
std::vector<Part> ExpectedFromSfdisk(const std::string& image, const std::string& name) {
  std::string out;
  EXPECT_EQ(RunCommand("sfdisk -J " + ShellQuote(image), &out), 0);
  const json table = json::parse(out)["partitiontable"];
  const auto formatted = FormattedFileSystems(name);
  EXPECT_FALSE(formatted.empty()) << name << ".fs is missing";
  std::vector<Part> expected;
  for (const auto& p : table["partitions"]) {
    const std::string node = p["node"];
    const int number = std::stoi(node.substr(image.size()));
    auto it = formatted.find(number);
    if (it == formatted.end()) continue;
    Part part;
    part.number = static_cast<int>(expected.size()) + 1;
    part.fs = it->second == "FAT12" ? "FAT16" : it->second;
    part.first = p["start"];
    part.end = part.first + p["size"].get<std::uint64_t>();
    part.item = "Partition - " + std::to_string(part.number) + " ( " + part.fs + " )";
    expected.push_back(part);
  }
  return expected;
}

std::vector<Part> ListedByCli(const std::string& image, std::string* err = nullptr) {
  std::string out;
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions " + ShellQuote(image) + " --json", &out, err), 0);
  const json listing = json::parse(out);
  EXPECT_EQ(listing["disk"]["path"], image);
  EXPECT_EQ(listing["disk"]["totalSectors"], std::filesystem::file_size(image) / 512);
  std::vector<Part> parts;
  for (const auto& p : listing["partitions"]) {
    parts.push_back({p["number"], p["fs"], p["first"], p["end"], p["item"]});
    EXPECT_FALSE(p["details"].empty());
  }
  return parts;
}

// The allocated volumes mmls sees: start and length.
std::set<std::pair<std::uint64_t, std::uint64_t>> MmlsVolumes(const std::string& image) {
  std::string out;
  EXPECT_EQ(RunCommand("mmls " + ShellQuote(image), &out), 0);
  std::set<std::pair<std::uint64_t, std::uint64_t>> volumes;
  const std::regex line(R"(^\d+:\s+\d+:\d+\s+(\d+)\s+\d+\s+(\d+)\s)");
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (std::regex_search(l, m, line)) volumes.insert({std::stoull(m[1]), std::stoull(m[2])});
  }
  return volumes;
}

class PartitionWalkImages : public ::testing::TestWithParam<std::string> {};

TEST_P(PartitionWalkImages, AgreesWithSfdiskAndMmls) {
  QRW_REQUIRE_DISK(image, GetParam());
  const auto expected = ExpectedFromSfdisk(image, GetParam());
  std::string err;
  const auto listed = ListedByCli(image, &err);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(err, "");
  const auto volumes = MmlsVolumes(image);
  for (const auto& p : listed) {
    EXPECT_TRUE(volumes.count({p.first, p.end - p.first})) << "mmls has no volume for " << p;
  }
}

INSTANTIATE_TEST_SUITE_P(PartitionRecipes, PartitionWalkImages, ::testing::Values("sample", "mbr_mixed"));

// A reader over one image as disk 0.
struct ImageReader {
  explicit ImageReader(const std::string& image) { paths.Set(0, image); }
  DevicePathTable paths;
  PosixDeviceOpener opener;
  SectorReader reader{paths, opener};
};

// "* FAT 0: 32 - 661" -> {32, 661}, from fsstat's layout lines.
std::pair<std::uint64_t, std::uint64_t> LayoutRange(const std::string& fsstat, const std::string& label) {
  const std::regex range(label + R"(: (\d+) - (\d+))");
  std::smatch m;
  if (!std::regex_search(fsstat, m, range)) {
    ADD_FAILURE() << "fsstat shows no " << label;
    return {0, 0};
  }
  return {std::stoull(m[1]), std::stoull(m[2])};
}

std::uint64_t FsstatNumber(const std::string& fsstat, const std::string& label) {
  const std::regex number(label + R"(: (\d+))");
  std::smatch m;
  if (!std::regex_search(fsstat, m, number)) {
    ADD_FAILURE() << "fsstat shows no " << label;
    return 0;
  }
  return std::stoull(m[1]);
}

// The geometry The Sleuth Kit reads from the volume at start, in VolumeGeometry's terms.
VolumeGeometry GeometryFromFsstat(const std::string& image, std::uint64_t start, const std::string& fs) {
  std::string out;
  EXPECT_EQ(RunCommand("fsstat -o " + std::to_string(start) + " " + ShellQuote(image), &out), 0);
  VolumeGeometry g;
  const std::uint64_t spc = FsstatNumber(out, "Cluster Size") / 512;
  g.SectorsPerCluster = static_cast<std::uint32_t>(spc);
  if (fs == "NTFS") {
    g.Cluster0Sector = static_cast<std::uint32_t>(start);
    g.MftSector = static_cast<std::uint32_t>(start + FsstatNumber(out, "First Cluster of MFT") * spc);
    g.MftMirrSector =
        static_cast<std::uint32_t>(start + FsstatNumber(out, "First Cluster of MFT Mirror") * spc);
    g.MftRecordSectors = static_cast<std::uint32_t>(FsstatNumber(out, "Size of MFT Entries") / 512);
    g.IndexBlockSectors = static_cast<std::uint32_t>(FsstatNumber(out, "Size of Index Records") / 512);
    return g;
  }
  const auto reserved = LayoutRange(out, R"(\* Reserved)");
  const auto fat0 = LayoutRange(out, R"(\* FAT 0)");
  const auto fat1 = LayoutRange(out, R"(\* FAT 1)");
  const auto clusters = LayoutRange(out, R"(\*\* Cluster Area)");
  const auto root = LayoutRange(out, R"(Root Directory)");
  g.ReservedSectors = static_cast<std::uint32_t>(reserved.second + 1);
  g.FatSectors = static_cast<std::uint32_t>(fat0.second - fat0.first + 1);
  g.FirstFatSector = static_cast<std::uint32_t>(start + fat0.first);
  g.SecondFatSector = static_cast<std::uint32_t>(start + fat1.first);
  g.Cluster0Sector = static_cast<std::uint32_t>(start + clusters.first - 2 * spc);
  if (fs == "FAT32") {
    g.RootDirSectors = 0;
    g.RootDirStart = static_cast<std::uint32_t>((root.first - clusters.first) / spc + 2);
  } else {
    g.RootDirSectors = static_cast<std::uint32_t>(root.second - root.first + 1);
    g.RootDirStart = static_cast<std::uint32_t>(start + root.first);
  }
  return g;
}

VolumeGeometry Validated(SectorReader& reader, const PartitionList& list, int i, int* result) {
  ScanContext context;
  context.reader = &reader;
  context.partitionType = list.type[static_cast<std::size_t>(i)];
  context.searchStart = static_cast<std::uint64_t>(list.entries[i].firstSector);
  context.searchEnd = static_cast<std::uint64_t>(list.entries[i].endSector);
  *result = ValidatePartition(context);
  return context.geometry;
}

TEST(PartitionValidateImages, GeometryAgreesWithFsstat) {
  QRW_REQUIRE_DISK(image, "sample");
  ImageReader disk(image);
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  WalkPartitionTable(disk.reader, 0, std::filesystem::file_size(image) / 512, tree, state);
  const PartitionList& list = state.ForDisk(0);
  ASSERT_EQ(list.count, 4);
  for (int i = 0; i < list.count; ++i) {
    SCOPED_TRACE(tree.Text(list.entries[i].item));
    int result = 0;
    const VolumeGeometry g = Validated(disk.reader, list, i, &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(g, GeometryFromFsstat(image, list.entries[i].firstSector, std::string(list.Name(i))));
  }
}

// A private copy of a test image that a test may damage.
class ImageCopy {
 public:
  ImageCopy(const std::string& image, const std::string& tag)
      : path_(TestDisksDir() + "/" + tag + "-" + std::to_string(getpid()) + ".img") {
    std::filesystem::copy_file(image, path_, std::filesystem::copy_options::overwrite_existing);
  }
  ~ImageCopy() { std::filesystem::remove(path_); }
  const std::string& Path() const { return path_; }
  void WipeSector(std::uint64_t sector) {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(sector * 512));
    const std::string zeros(512, '\0');
    f.write(zeros.data(), 512);
  }
  void Truncate(std::uint64_t sectors) { std::filesystem::resize_file(path_, sectors * 512); }

 private:
  std::string path_;
};

TEST(PartitionValidateImages, DamagedBootSectorsValidateFromTheirBackups) {
  QRW_REQUIRE_DISK(image, "sample");
  ImageReader clean(image);
  mytreectrl tree(TreeKind::kPartitions, 0);
  PartitionState state;
  const std::uint64_t total = std::filesystem::file_size(image) / 512;
  WalkPartitionTable(clean.reader, 0, total, tree, state);
  const PartitionList list = state.ForDisk(0);
  ASSERT_EQ(list.count, 4);
  ASSERT_EQ(list.Name(1), "FAT32");
  ASSERT_EQ(list.Name(2), "NTFS");
  int result = 0;
  const VolumeGeometry fat32 = Validated(clean.reader, list, 1, &result);
  ASSERT_EQ(result, 1);
  const VolumeGeometry ntfs = Validated(clean.reader, list, 2, &result);
  ASSERT_EQ(result, 1);

  // mkfs.fat keeps a backup 6 sectors in, mkntfs in the volume's last sector.
  ImageCopy damaged(image, "sample-damaged");
  damaged.WipeSector(list.entries[1].firstSector);
  damaged.WipeSector(list.entries[2].firstSector);
  ImageReader disk(damaged.Path());
  EXPECT_EQ(Validated(disk.reader, list, 1, &result), fat32);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Validated(disk.reader, list, 2, &result), ntfs);
  EXPECT_EQ(result, 1);

  // Without its backup the NTFS volume is lost to validation.
  damaged.WipeSector(list.entries[2].endSector - 1);
  ImageReader worse(damaged.Path());
  Validated(worse.reader, list, 2, &result);
  EXPECT_EQ(result, 0);
}

TEST(PartitionWalkCli, TruncatedImageListsThePartitionsBeforeTheCut) {
  QRW_REQUIRE_DISK(image, "sample");
  ImageCopy cut(image, "sample-truncated");
  // The cut falls 3264 sectors after the extended partition's start: too near the new end.
  cut.Truncate(120000);
  std::string err;
  const auto listed = ListedByCli(cut.Path(), &err);
  const auto all = ExpectedFromSfdisk(image, "sample");
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(listed, std::vector<Part>(all.begin(), all.begin() + 2));
  EXPECT_NE(err.find("partition table is corrupted"), std::string::npos) << err;
}

TEST(PartitionWalkCli, ExitCodes) {
  std::string out, err;
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions /no/such/image.img", &out, &err), 1);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("/no/such/image.img"), std::string::npos) << err;
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions", &out, &err), 2);
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions 7", &out, &err), 1);
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions 0 --bogus", &out, &err), 2);
}

TEST(PartitionWalkCli, TextListingNamesEveryPartition) {
  QRW_REQUIRE_DISK(image, "sample");
  // Named by the number the session gives the image, as a user would after 'quarrow disks'.
  std::string out;
  ASSERT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions --json " + ShellQuote(image), &out), 0);
  const int number = json::parse(out)["disk"]["number"];
  ASSERT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions --image " + ShellQuote(image) + " " +
                           std::to_string(number),
                       &out),
            0);
  EXPECT_EQ(out.rfind("Disk " + std::to_string(number) + ": ", 0), 0u) << out;
  for (const auto& p : ExpectedFromSfdisk(image, "sample")) {
    EXPECT_NE(out.find(p.item + "    first sector " + std::to_string(p.first) + ", end sector " +
                       std::to_string(p.end)),
              std::string::npos)
        << out;
  }
  EXPECT_NE(out.find("4.   Search Mode                   :  Standard"), std::string::npos) << out;
  ASSERT_EQ(RunCommand(ShellQuote(CliPath()) + " partitions --advance " + ShellQuote(image), &out), 0);
  EXPECT_NE(out.find("2.   Search Mode               :          Advance"), std::string::npos) << out;
}

}  // namespace
}  // namespace quarrow::testing
