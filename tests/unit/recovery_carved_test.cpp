// Carved files on a FAT16 volume built in memory: which recognised starts become files (the
// claiming rule, cluster boundaries, nested spans, starts without an end), how they enter the
// results tree, and that their recovery gives back the original bytes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "carve_test_files.h"
#include "fat/advance_scan.h"
#include "recovery/carved_files.h"
#include "recovery/fat_data_source.h"
#include "recovery_test_volume.h"
#include "results/carved_folders.h"
#include "session/recovery_run.h"

namespace quarrow {
namespace {

using namespace recovery_test;
namespace ct = carve_test;

struct Found {
  std::uint64_t sector;
  std::string type;
  std::uint64_t length;
  bool operator==(const Found&) const = default;
};

std::vector<Found> Summary(const std::vector<CarvedFile>& files) {
  std::vector<Found> out;
  for (const CarvedFile& f : files) out.push_back({f.sector, std::string(CarveTypeExtension(f.type)), f.length});
  return out;
}

// FAT16, 4 sectors (2 KiB) per cluster:
//   cluster 10  a JPEG whose deleted root entry still names cluster 10 (claimed)
//   cluster 20  a JPEG no entry names                                  (carved)
//   cluster 40  a PNG no entry names                                   (carved)
//   cluster 60  a JPEG one sector into the cluster, nothing at its start (inside some other file)
//   cluster 80  a PDF holding a JPEG that begins at its second cluster   (one carved PDF)
//   cluster 120 a live folder's directory; its entry FILE.JPG names cluster 121, a JPEG (claimed)
//   cluster 300 a JPEG cut before its end, zeros after it               (no length: not listed)
class CarvedFilesTest : public ::testing::Test {
 protected:
  CarvedFilesTest() : v(FsType::kFat16, 4, 400) {
    put("claimed", 10, ct::Jpeg(3000));
    put("lost", 20, ct::Jpeg(5000));
    put("png", 40, ct::Png(6000));
    const ct::Bytes inside = ct::Jpeg(1500);
    v.Device().Write((v.ClusterSector(60) + 1) * 512, inside);
    ct::Bytes pdf;
    ct::Put(pdf, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 2000 >>\nstream\n");
    pdf.resize(v.ClusterBytes(), ' ');
    const ct::Bytes picture = ct::Jpeg(1800);
    pdf.insert(pdf.end(), picture.begin(), picture.end());
    ct::Put(pdf, "\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n");
    put("pdf", 80, pdf);
    put("live", 121, ct::Jpeg(900));
    ct::Bytes cut = ct::Jpeg(2500);
    cut.resize(cut.size() - 300);
    put("cut", 300, cut);
    v.PutRoot({ShortEntry("\xE5LAIMED JPG", 0x20, 10, static_cast<std::uint32_t>(bytes["claimed"].size())),
               ShortEntry("KEEP", 0x10, 120)});
    v.PutDirectory(120, 0, {ShortEntry("FILE    JPG", 0x20, 121, static_cast<std::uint32_t>(bytes["live"].size()))});
    v.Chain({121});
    ScanContext& ctx = v.Ctx();
    BindFatVolume(ctx, std::make_shared<FatReader>(ctx));
    keep = v.AddFolder(ctx.results.Tree().Root(), "KEEP", 120, 0);
    AdvanceScan(ctx);
  }
  void put(const std::string& name, std::uint32_t cluster, const ct::Bytes& content) {
    bytes[name] = content;
    v.Device().Write(v.ClusterSector(cluster) * 512, content);
  }
  Found Expect(const std::string& name, std::uint32_t cluster, std::string type) {
    return {v.ClusterSector(cluster), std::move(type), bytes[name].size()};
  }

  MemoryVolume v;
  std::map<std::string, ct::Bytes> bytes;
  TreeItem keep = kNoItem;
};

TEST_F(CarvedFilesTest, OnlyUnclaimedStartsOnClusterBoundariesWithAnEndBecomeFiles) {
  FatDataSource source(v.Ctx());
  const std::vector<Found> carved = Summary(CarveLostFiles(v.Ctx(), &source, v.Ctx().results.carvedStarts));
  EXPECT_EQ(carved, (std::vector<Found>{Expect("lost", 20, "jpg"), Expect("png", 40, "png"), Expect("pdf", 80, "pdf")}));
}

TEST_F(CarvedFilesTest, WithoutAVolumeEveryStartCountsAndNestedOnesAreDropped) {
  const std::vector<Found> carved = Summary(CarveLostFiles(v.Ctx(), nullptr, v.Ctx().results.carvedStarts));
  Found inside{v.ClusterSector(60) + 1, "jpg", ct::Jpeg(1500).size()};
  EXPECT_EQ(carved, (std::vector<Found>{Expect("claimed", 10, "jpg"), Expect("lost", 20, "jpg"),
                                        Expect("png", 40, "png"), inside, Expect("pdf", 80, "pdf"),
                                        Expect("live", 121, "jpg")}));
}

TEST_F(CarvedFilesTest, NoStartReachesPastTheSearchRange) {
  // The range ends inside the lost JPEG: its end is out of reach, so it is not listed, and the
  // files after it are not the search's.
  v.Ctx().searchEnd = v.ClusterSector(20) + 4;
  FatDataSource source(v.Ctx());
  EXPECT_EQ(Summary(CarveLostFiles(v.Ctx(), &source, v.Ctx().results.carvedStarts)), std::vector<Found>{});
}

TEST(CarvedFileSpans, ASpanWhollyInsideAnotherIsDropped) {
  struct Case {
    const char* name;
    std::vector<CarvedFile> files;
    std::vector<std::uint64_t> kept;  // sectors
  };
  const std::vector<Case> cases = {
      {"inside", {{100, CarveType::kJpeg, 10 * 512}, {103, CarveType::kJpeg, 2 * 512}}, {100}},
      {"ends with it", {{100, CarveType::kPdf, 10 * 512}, {105, CarveType::kJpeg, 5 * 512}}, {100}},
      {"runs past it", {{100, CarveType::kPdf, 10 * 512}, {105, CarveType::kJpeg, 5 * 512 + 1}}, {100, 105}},
      {"after it", {{100, CarveType::kJpeg, 512}, {101, CarveType::kJpeg, 512}}, {100, 101}},
      {"inside the first, not the second",
       {{100, CarveType::kZip, 50 * 512}, {110, CarveType::kJpeg, 512}, {160, CarveType::kPng, 512}},
       {100, 160}},
      {"inside one that ended earlier in the list",
       {{100, CarveType::kZip, 50 * 512}, {101, CarveType::kJpeg, 60 * 512}, {140, CarveType::kPng, 512}},
       {100, 101}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint64_t> kept;
    for (const CarvedFile& f : DropNestedCarvedFiles(c.files)) kept.push_back(f.sector);
    EXPECT_EQ(kept, c.kept);
  }
}

TEST_F(CarvedFilesTest, CarvedFilesHaveAFolderPerTypeAndComeBackByteForByte) {
  ScanContext& ctx = v.Ctx();
  AddCarvedFiles(ctx);
  ShowRecoverabilityEstimates(ctx);
  mytreectrl& tree = ctx.results.Tree();
  TreeItem top = kNoItem;
  for (TreeItem child : tree.Children(tree.Root()))
    if (tree.Text(child) == kCarvedFolderName) top = child;
  ASSERT_NE(top, kNoItem);
  std::vector<std::string> typeFolders;
  for (TreeItem child : tree.Children(top)) typeFolders.push_back(tree.Text(child));
  EXPECT_EQ(typeFolders, (std::vector<std::string>{"jpg", "png", "pdf"}));  // in the order of the types

  // The list shows a type folder's files with their sizes and the estimate, as any folder's.
  DetailsList list;
  AddFolderContents(ctx.results, list, tree.Children(top).front(), {});
  ASSERT_EQ(list.rows.size(), 1u);
  const std::string jpgName = "f" + std::string(7 - std::to_string(v.ClusterSector(20)).size(), '0') +
                              std::to_string(v.ClusterSector(20)) + ".jpg";
  EXPECT_EQ(list.rows[0].name, jpgName);
  EXPECT_EQ(list.rows[0].size, std::to_string(bytes["lost"].size()));
  EXPECT_EQ(list.rows[0].estimate, "carved");
  EXPECT_FALSE(list.rows[0].deleted);

  TempFolder scratch;
  RecoveryOptions options;
  options.destination = scratch.path / "out";
  ToggleCheckBox(tree, top);
  const RecoveryRunOutcome o = RecoveryRun(ctx).Run({}, options);
  ASSERT_FALSE(o.refused) << *o.refused;
  std::map<std::string, std::string> estimates;
  for (const PlannedFile& f : o.plan.files) estimates[f.treePath] = std::string(RecoverabilityText(f.estimate));
  const std::string png = "f" + std::string(7 - std::to_string(v.ClusterSector(40)).size(), '0') +
                          std::to_string(v.ClusterSector(40)) + ".png";
  const std::string pdf = "f" + std::string(7 - std::to_string(v.ClusterSector(80)).size(), '0') +
                          std::to_string(v.ClusterSector(80)) + ".pdf";
  EXPECT_EQ(estimates, (std::map<std::string, std::string>{{"QRW_Carved/jpg/" + jpgName, "carved"},
                                                          {"QRW_Carved/pdf/" + pdf, "carved"},
                                                          {"QRW_Carved/png/" + png, "carved"}}));
  EXPECT_EQ(ReadFileBytes(options.destination / "QRW_Carved" / "jpg" / jpgName), bytes["lost"]);
  EXPECT_EQ(ReadFileBytes(options.destination / "QRW_Carved" / "png" / png), bytes["png"]);
  EXPECT_EQ(ReadFileBytes(options.destination / "QRW_Carved" / "pdf" / pdf), bytes["pdf"]);
  // The volume's own files are read as before beside them.
  EXPECT_EQ(o.written.filesWritten, 3u);
}

TEST_F(CarvedFilesTest, CarvingOffListsNothingAndLeavesTheTreeAsItWas) {
  ScanContext& ctx = v.Ctx();
  ctx.carve = false;
  const std::size_t nodes = ctx.results.folderNodes.Count();
  AddCarvedFiles(ctx);
  EXPECT_TRUE(ctx.results.carvedFiles.empty());
  EXPECT_EQ(ctx.results.folderNodes.Count(), nodes);
}

}  // namespace
}  // namespace quarrow
