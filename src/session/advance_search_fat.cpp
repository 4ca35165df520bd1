// The FAT stages of an Advance search. Not built yet: the search says so instead of scanning.
#include "session/advance_search.h"

namespace quarrow {

AdvanceSearchOutcome RunFatAdvanceStages(ScanContext&) {
  AdvanceSearchOutcome outcome;
  outcome.refused = "the Advance search of FAT volumes is not built yet";
  return outcome;
}

SecondStageOutcome RunFatSecondStage(ScanContext&, int, DetailsList*) {
  SecondStageOutcome outcome;
  outcome.refused = "the Advance search of FAT volumes is not built yet";
  return outcome;
}

}  // namespace quarrow
