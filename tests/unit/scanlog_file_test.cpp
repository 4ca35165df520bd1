#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "scanlog/scan_log_file.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Names = std::set<std::string>;

class ScanLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  Names Entries() const {
    Names names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  const fs::path dir =
      fs::path(::testing::TempDir()) / ("quarrow-scanlog-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  const Bytes earlier = Bytes(40, 0xA5), larger = Bytes(5000, 0x5A);
  std::string error;
};

TEST_F(ScanLogFileTest, SaveReplacesTheLogAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(WriteScanLogFile(Path("LOG.QLG"), larger, &error)) << error;
  ASSERT_TRUE(WriteScanLogFile(Path("LOG.QLG"), earlier, &error)) << error;
  EXPECT_EQ(ReadScanLogFile(Path("LOG.QLG"), &error), earlier);  // not the longer one's tail
  EXPECT_EQ(Entries(), Names{"LOG.QLG"});
}

TEST_F(ScanLogFileTest, SavesThatCannotSucceedFailAndLeaveNothingBehind) {
  fs::create_directories(dir / "SUB.QLG" / "inner");
  for (const std::string& path : {Path("SUB.QLG"), Path("none/LOG.QLG"), Path("")}) {
    EXPECT_FALSE(WriteScanLogFile(path, larger, &error)) << path;
    EXPECT_FALSE(std::exchange(error, "").empty());
  }
  EXPECT_TRUE(fs::is_directory(dir / "SUB.QLG" / "inner"));
  EXPECT_EQ(Entries(), Names{"SUB.QLG"});
}

// File-size limits, set-user-id and death tests in a forked child exist on POSIX systems only.
#ifndef _WIN32
using ScanLogFileDeathTest = ScanLogFileTest;

// A save that fails halfway through its bytes, or cannot make its temporary file, keeps the
// earlier log byte for byte. Each runs in a child process, so the suite keeps no restriction.
TEST_F(ScanLogFileDeathTest, FailedSaveKeepsTheEarlierLog) {
  auto fillUp = [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1000;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
  };
  auto beNobody = [] {  // root writes anywhere, so that save runs as nobody
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
  };
  const std::vector<std::tuple<fs::perms, std::function<void()>, std::string>> failures = {
      {fs::perms::owner_all, fillUp, "cannot write .*~QLG0.tmp: File too large"},
      {static_cast<fs::perms>(0555), beNobody, "cannot create .*~QLG0.tmp: Permission denied"}};
  for (const auto& [folder, restrict, reason] : failures) {
    ASSERT_TRUE(WriteScanLogFile(Path("LOG.QLG"), earlier, &error)) << error;
    fs::permissions(dir, folder);
    EXPECT_EXIT(
        {
          restrict();
          const bool saved = WriteScanLogFile(Path("LOG.QLG"), larger, &error);
          std::fprintf(stderr, "%s\n", error.c_str());
          _exit(saved ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), reason);
    EXPECT_EQ(ReadScanLogFile(Path("LOG.QLG"), &error), earlier) << reason;
    EXPECT_EQ(Entries(), Names{"LOG.QLG"});
  }
}

#endif  // _WIN32

TEST_F(ScanLogFileTest, ReadRefusesWhatIsNoLog) {
  fs::create_directories(dir / "SUB.QLG");
  std::ofstream(Path("BIG.QLG")).close();
  fs::resize_file(Path("BIG.QLG"), kScanLogFileLimit + 1);  // sparse: nothing of it is read
  for (const std::string& path : {Path("SUB.QLG"), Path("MISSING.QLG"), Path("BIG.QLG")}) {
    EXPECT_FALSE(ReadScanLogFile(path, &error)) << path;
    EXPECT_FALSE(std::exchange(error, "").empty());
  }
}

}  // namespace
}  // namespace quarrow
