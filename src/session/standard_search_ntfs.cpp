// The NTFS stages of a Standard search. Not built yet: the search says so instead of scanning.
#include "session/standard_search.h"

namespace quarrow {

StandardSearchOutcome RunNtfsStandardStages(ScanContext&, bool validated, DetailsList*) {
  StandardSearchOutcome outcome;
  outcome.validated = validated;
  outcome.refused = "the Standard search of NTFS volumes is not built yet";
  return outcome;
}

}  // namespace quarrow
