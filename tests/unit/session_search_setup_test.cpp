// Setting a search up from a partition number or a sector range, as both front ends do.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "scan/scan_context.h"
#include "session/disk_session.h"
#include "session/search_setup.h"
#include "unit/partition_test_disk.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;
using partition_test::Fat16Boot;
using partition_test::PartitionTable;
using partition_test::Sector;

constexpr std::uint32_t kFirst = 63, kCount = 4000;

struct SetUpCase {
  const char* name;
  SearchTarget target;
  std::optional<std::string> refused;
  SearchRange expected;  // what ctx holds afterwards (as it stood when refused)
  int codePage;
};

class SearchSetUpTest : public ::testing::TestWithParam<SetUpCase> {};

TEST_P(SearchSetUpTest, PartitionOrRangeBecomeTheSearch) {
  const SetUpCase& c = GetParam();
  const fs::path image = fs::temp_directory_path() / ("qrw-setup-" + std::string(c.name) + ".img");
  {
    std::ofstream out(image, std::ios::binary | std::ios::trunc);
    const Sector table = PartitionTable({{0x06, kFirst, kCount}});
    const Sector boot = Fat16Boot({});
    out.write(reinterpret_cast<const char*>(table.data()), 512);
    out.seekp(kFirst * 512);
    out.write(reinterpret_cast<const char*>(boot.data()), 512);
    out.seekp(65536 * 512 - 1);  // a partition this near the start is far from the end
    out.put('\0');
  }
  // Removed once the session is gone: Windows deletes no file that is still open.
  struct RemoveAtEnd {
    fs::path path;
    ~RemoveAtEnd() {
      std::error_code ec;
      fs::remove(path, ec);
    }
  } removeAtEnd{image};
  DiskSessionOptions options;
  options.sysfsRoot = "";
  DiskSession session({image.string()}, options);
  std::string error;
  const ListedDisk* disk = session.Select(image.string(), &error);
  ASSERT_NE(disk, nullptr) << error;

  ScanContext ctx;
  ctx.searchStart = 7, ctx.searchEnd = 9, ctx.partitionType = FsType::kNtfs;  // an earlier search's
  std::optional<std::string> refused = SetUpSearch(session, *disk, c.target, ctx);
  EXPECT_EQ(refused.has_value(), c.refused.has_value());
  if (refused && c.refused) {
    EXPECT_EQ(*refused, "disk " + std::to_string(disk->number) + *c.refused);
    EXPECT_EQ(ctx.reader, nullptr);  // nothing was set up
  } else {
    EXPECT_EQ(ctx.reader, &session.Reader());
    EXPECT_EQ(ctx.diskNumber, disk->number);
  }
  EXPECT_EQ(ctx.searchStart, c.expected.start);
  EXPECT_EQ(ctx.searchEnd, c.expected.end);
  EXPECT_EQ(ctx.partitionType, c.expected.type);
  EXPECT_EQ(ctx.codePage.Number(), c.codePage);
}

SearchTarget Partition(int n) {
  SearchTarget t;
  t.partition = n;
  return t;
}
SearchTarget Range(std::uint64_t start, std::uint64_t end, FsType type) {
  SearchTarget t;
  t.range = SearchRange{start, end, type};
  t.partition = 1;  // a range wins over a partition number
  return t;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SearchSetUpTest,
    ::testing::Values(
        SetUpCase{"first", Partition(1), std::nullopt, {kFirst, kFirst + kCount, FsType::kFat16}, 437},
        SetUpCase{"past", Partition(2), " has no partition 2 (it lists 1)", {7, 9, FsType::kNtfs}, 437},
        SetUpCase{"none", Partition(0), " has no partition 0 (it lists 1)", {7, 9, FsType::kNtfs}, 437},
        SetUpCase{"range", Range(100, 5000, FsType::kFat32), std::nullopt, {100, 5000, FsType::kFat32}, 437}),
    [](const ::testing::TestParamInfo<SetUpCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarrow
