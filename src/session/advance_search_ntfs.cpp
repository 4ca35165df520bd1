// The NTFS stages of an Advance search. Not built yet: the search says so instead of scanning.
#include "session/advance_search.h"

namespace quarrow {

AdvanceSearchOutcome RunNtfsAdvanceStages(ScanContext&) {
  AdvanceSearchOutcome outcome;
  outcome.refused = "the Advance search of NTFS volumes is not built yet";
  return outcome;
}

SecondStageOutcome RunNtfsSecondStage(ScanContext&, int, DetailsList*) {
  SecondStageOutcome outcome;
  outcome.refused = "the Advance search of NTFS volumes is not built yet";
  return outcome;
}

}  // namespace quarrow
