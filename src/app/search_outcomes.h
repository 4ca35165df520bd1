#pragma once
// What the pages make of the outcome of a job: the guidance they show and the advice dialog they
// open once a lost-partition search, a search or a stage of one has ended. The wizard and the
// command line both take their words from here, so an engine never names a button or a page.

#include <optional>
#include <string_view>

#include "core/feedback.h"
#include "core/volume.h"

namespace quarrow {
struct LostPartitionOutcome;
struct StandardSearchOutcome;
struct AdvanceSearchOutcome;
}  // namespace quarrow

namespace quarrow::app {

// The partition page's guidance once a lost-partition search has ended (or, for a family whose
// variant searches nothing, at once).
std::string_view GuidanceAfterPartitionSearch(const LostPartitionOutcome& outcome);

// The results page's guidance once a Standard search has ended; nothing when it was refused.
std::optional<std::string_view> GuidanceAfterSearch(const StandardSearchOutcome& outcome);
// The file-system choice page's guidance once the first stage of an Advance search has ended;
// nothing when it was refused.
std::optional<std::string_view> GuidanceAfterSearch(const AdvanceSearchOutcome& outcome);

// The advice dialog a search's outcome calls for: the Standard search's when it found nothing to
// list, the Advance search's when it identified no file system; nothing otherwise.
std::optional<AdviceDialog> AdviceAfterSearch(const StandardSearchOutcome& outcome);
std::optional<AdviceDialog> AdviceAfterSearch(const AdvanceSearchOutcome& outcome);

// The guidance when a stage of a search begins: firstStage is true for the search the search page
// started (false for the second stage of an Advance search), type is the partition type searched.
// Nothing when the guidance stays as it is.
std::optional<std::string_view> GuidanceAtStage(SearchStage stage, bool firstStage, FsType type);

}  // namespace quarrow::app
