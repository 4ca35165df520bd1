// The test-disk machinery itself: an image is made by its recipe once and reused afterwards.
#include <sys/stat.h>

#include "test_disks.h"

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

}  // namespace
}  // namespace quarrow::testing
