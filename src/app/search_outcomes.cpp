#include "app/search_outcomes.h"

#include "app/wizard_texts.h"
#include "partition/lost_partition_search.h"
#include "session/advance_search.h"
#include "session/standard_search.h"

namespace quarrow::app {

std::string_view GuidanceAfterPartitionSearch(const LostPartitionOutcome& outcome) {
  return outcome.stopped ? kSearchStoppedGuidance : kSearchFinishedGuidance;
}

std::optional<std::string_view> GuidanceAfterSearch(const StandardSearchOutcome& outcome) {
  if (outcome.refused) return std::nullopt;
  return kStandardSaveGuidance;
}

std::optional<std::string_view> GuidanceAfterSearch(const AdvanceSearchOutcome& outcome) {
  if (outcome.refused) return std::nullopt;
  return outcome.identified > 0 ? kChooseFileSystemGuidance : kNothingIdentifiedGuidance;
}

std::optional<AdviceDialog> AdviceAfterSearch(const StandardSearchOutcome& outcome) {
  if (outcome.refused || !outcome.nothingFound) return std::nullopt;
  return AdviceDialog::kStandardSearch;
}

std::optional<AdviceDialog> AdviceAfterSearch(const AdvanceSearchOutcome& outcome) {
  if (outcome.refused || outcome.identified > 0) return std::nullopt;
  return AdviceDialog::kAdvanceSearch;
}

std::optional<std::string_view> GuidanceAtStage(SearchStage stage, bool firstStage, FsType type) {
  if (!firstStage) return std::nullopt;
  switch (stage) {
    case SearchStage::kLinking:
    case SearchStage::kTree:
      return kPleaseWaitGuidance;
    case SearchStage::kAnalysis:
      // The FAT analysis keeps the search page's guidance; the NTFS numbering and the exFAT
      // identification ask the user to wait.
      if (IsFat(type)) return std::nullopt;
      return kPleaseWaitGuidance;
  }
  return std::nullopt;
}

}  // namespace quarrow::app
