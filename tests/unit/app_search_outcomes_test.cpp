// What the pages make of a job's outcome: the guidance and the advice dialog, for the wizard and
// the command line alike.

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "app/search_outcomes.h"
#include "app/wizard_texts.h"
#include "partition/lost_partition_search.h"
#include "session/advance_search.h"
#include "session/standard_search.h"

namespace quarrow::app {
namespace {

TEST(SearchOutcomes, APartitionSearchEndsWithTheGuidanceOfHowItEnded) {
  LostPartitionOutcome outcome;
  outcome.ran = true;
  EXPECT_EQ(GuidanceAfterPartitionSearch(outcome), kSearchFinishedGuidance);
  outcome.added = 3;
  EXPECT_EQ(GuidanceAfterPartitionSearch(outcome), kSearchFinishedGuidance);
  outcome.stopped = true;
  EXPECT_EQ(GuidanceAfterPartitionSearch(outcome), kSearchStoppedGuidance);
  // The two differ: the stopped one points at 'Search More Partitions' with the typographic quotes.
  EXPECT_NE(kSearchStoppedGuidance, kSearchFinishedGuidance);
}

struct StandardCase {
  const char* name;
  bool refused, nothingFound, stopped;
  std::optional<std::string_view> guidance;
  std::optional<AdviceDialog> advice;
};

class StandardOutcomeTest : public ::testing::TestWithParam<StandardCase> {};

TEST_P(StandardOutcomeTest, GuidanceAndAdvice) {
  const StandardCase& c = GetParam();
  StandardSearchOutcome outcome;
  if (c.refused) outcome.refused = "the range lies past the disk";
  outcome.nothingFound = c.nothingFound;
  outcome.stopped = c.stopped;
  EXPECT_EQ(GuidanceAfterSearch(outcome), c.guidance);
  EXPECT_EQ(AdviceAfterSearch(outcome), c.advice);
}

INSTANTIATE_TEST_SUITE_P(
    Standard, StandardOutcomeTest,
    ::testing::Values(StandardCase{"Found", false, false, false, kStandardSaveGuidance, std::nullopt},
                      StandardCase{"Stopped", false, false, true, kStandardSaveGuidance, std::nullopt},
                      StandardCase{"NothingFound", false, true, false, kStandardSaveGuidance,
                                   AdviceDialog::kStandardSearch},
                      StandardCase{"StoppedWithNothing", false, true, true, kStandardSaveGuidance,
                                   AdviceDialog::kStandardSearch},
                      StandardCase{"Refused", true, true, false, std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<StandardCase>& info) { return std::string(info.param.name); });

struct AdvanceCase {
  const char* name;
  bool refused;
  int identified;
  std::optional<std::string_view> guidance;
  std::optional<AdviceDialog> advice;
};

class AdvanceOutcomeTest : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvanceOutcomeTest, GuidanceAndAdvice) {
  const AdvanceCase& c = GetParam();
  AdvanceSearchOutcome outcome;
  if (c.refused) outcome.refused = "the range lies past the disk";
  outcome.identified = c.identified;
  EXPECT_EQ(GuidanceAfterSearch(outcome), c.guidance);
  EXPECT_EQ(AdviceAfterSearch(outcome), c.advice);
}

INSTANTIATE_TEST_SUITE_P(
    Advance, AdvanceOutcomeTest,
    ::testing::Values(AdvanceCase{"One", false, 1, kChooseFileSystemGuidance, std::nullopt},
                      AdvanceCase{"Several", false, 4, kChooseFileSystemGuidance, std::nullopt},
                      AdvanceCase{"None", false, 0, kNothingIdentifiedGuidance, AdviceDialog::kAdvanceSearch},
                      AdvanceCase{"Refused", true, 0, std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<AdvanceCase>& info) { return std::string(info.param.name); });

struct StageCase {
  SearchStage stage;
  bool firstStage;
  FsType type;
  std::optional<std::string_view> guidance;
};

class StageGuidanceTest : public ::testing::TestWithParam<StageCase> {};

TEST_P(StageGuidanceTest, WaitIsAskedForOnlyWhereTheSearchPageSaysSo) {
  const StageCase& c = GetParam();
  EXPECT_EQ(GuidanceAtStage(c.stage, c.firstStage, c.type), c.guidance);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, StageGuidanceTest,
    ::testing::Values(StageCase{SearchStage::kLinking, true, FsType::kFat32, kPleaseWaitGuidance},
                      StageCase{SearchStage::kLinking, true, FsType::kNtfs, kPleaseWaitGuidance},
                      StageCase{SearchStage::kTree, true, FsType::kExfat, kPleaseWaitGuidance},
                      // The second stage keeps the results page's guidance that Next set.
                      StageCase{SearchStage::kLinking, false, FsType::kFat16, std::nullopt},
                      StageCase{SearchStage::kTree, false, FsType::kExfat, std::nullopt},
                      // The FAT analysis keeps the search page's guidance; the others ask to wait.
                      StageCase{SearchStage::kAnalysis, true, FsType::kFat16, std::nullopt},
                      StageCase{SearchStage::kAnalysis, true, FsType::kFat12, std::nullopt},
                      StageCase{SearchStage::kAnalysis, true, FsType::kNtfs, kPleaseWaitGuidance},
                      StageCase{SearchStage::kAnalysis, true, FsType::kExfat, kPleaseWaitGuidance}));

}  // namespace
}  // namespace quarrow::app
