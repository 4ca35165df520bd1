// The test-disk machinery itself: an image is made by its recipe once and reused afterwards.
#include "test_disks.h"

#include <sys/stat.h>

#include <cstdlib>

namespace quarrow::testing {
namespace {

TEST(TestDisks, ImageIsMadeOnceAndHoldsWhatTheRecipeWrote) {
  QRW_REQUIRE_DISK(image, "smoke_fat16");
  struct stat first {};
  ASSERT_EQ(stat(image.c_str(), &first), 0);
  EXPECT_EQ(first.st_size, 4 * 1024 * 1024);

  std::string out;
  ASSERT_EQ(RunCommand("mmls " + ShellQuote(image), &out), 0);
  EXPECT_NE(out.find("0000002048"), std::string::npos) << out;

  ASSERT_EQ(TestDisk("smoke_fat16"), image);
  struct stat second {};
  ASSERT_EQ(stat(image.c_str(), &second), 0);
  EXPECT_EQ(first.st_mtim.tv_sec, second.st_mtim.tv_sec);
  EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
}

TEST(TestDisks, UnknownRecipeIsAnErrorNotASkip) {
  EXPECT_EQ(TestDisk("no_such_recipe"), "");
  EXPECT_FALSE(LastTestDiskSkipped());
  EXPECT_NE(LastTestDiskError().find("no_such_recipe"), std::string::npos);
}

// A recipe that cannot run on this machine (exit 77: no FUSE, say) skips its tests on a
// developer's machine; under CI=true, where every facility must be there, it fails them.
TEST(TestDisks, ARecipeThatCannotRunSkipsOnlyOutsideCi) {
  char dir[] = "/tmp/qrw-recipes.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string root = dir;
  ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(root + "/recipes") + " && cp " +
                       ShellQuote(std::string(QUARROW_SOURCE_DIR) + "/tests/disks/make_disk.sh") + " " +
                       ShellQuote(root) + " && echo 'exit 77' >" + ShellQuote(root + "/recipes/no_fuse.sh")),
            0);
  const char* was = std::getenv("CI");
  const std::string saved = was ? was : "";
  for (const bool ci : {false, true}) {
    SCOPED_TRACE(ci ? "CI=true" : "no CI");
    if (ci) {
      setenv("CI", "true", 1);
    } else {
      unsetenv("CI");
    }
    EXPECT_EQ(TestDiskMadeBy(root + "/make_disk.sh", "no_fuse", root + "/out"), "");
    EXPECT_EQ(LastTestDiskSkipped(), !ci);
  }
  if (was) {
    setenv("CI", saved.c_str(), 1);
  } else {
    unsetenv("CI");
  }
  RunCommand("rm -rf " + ShellQuote(root));
}

}  // namespace
}  // namespace quarrow::testing
