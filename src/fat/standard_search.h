#pragma once
// The FAT branch of a Standard search, run in order on the calling thread: the volume figures
// when the boot sector was not accepted, the data-area scan, the working copy of the geometry,
// the linking and naming passes, and the results page.

#include "results/file_list.h"

namespace quarrow {

struct ScanContext;

struct StandardSearchOutcome {
  bool paramsFailed = false;  // "Unable to calculate partition parameters" was shown
  bool stopped = false;       // a stop cut the reading stages short; the rest ran on what was found
};

// Runs the scan on ctx (partition type "FAT16" or "FAT32", search range, geometry and the
// partition-validated flag set by the caller). When a stop is requested during the reading
// stages, the remaining stages run on the rows found so far, as the Stop command's salvage does.
// list, when given, becomes the results page's file list (its columns set, its rows emptied).
StandardSearchOutcome RunFatStandardSearch(ScanContext& ctx, DetailsList* list);

}  // namespace quarrow
