#pragma once
// StandardSearch: one Standard search of the selected partition as an object a front end drives.
// It reports its stages, texts and progress through the ScanContext's Feedback and ends with a
// StandardSearchOutcome; what the page then offers is the page's to decide.
// It owns the stop source, runs the stages in order on the calling thread (validation, then for
// FAT the volume figures when the boot sector was not accepted, the data-area scan, the working
// copy of the geometry, the linking pass and the tree with its root names) and leaves the results
// in the ScanContext's ResultsState with the volume's hooks bound, so that the results page names
// and lists folders as they are opened.
//
//   ScanContext ctx(feedback);  ctx.reader = ...; ctx.partitionType = ...; range ...
//   StandardSearch search(ctx);
//   StandardSearchOutcome out = search.Run();   // RequestStop() from another thread stops it
//   if (out.refused) ... *out.refused is a one-line reason; nothing was scanned.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace quarrow {

struct ScanContext;
struct DetailsList;

struct StandardSearchOutcome {
  std::optional<std::string> refused;  // the search could not start (a range it cannot address)
  std::vector<std::string> warnings;   // one line each: a range cut to the disk, unreadable sectors
  bool diskGone = false;               // the disk stopped answering; the results are what was read
  bool outOfMemory = false;            // "Not Enough Memory" was shown; the results are what was built
  bool validated = false;              // the boot sector was accepted
  bool paramsFailed = false;           // "Unable to calculate partition parameters" was shown
  bool stopped = false;                // a stop cut the reading stages short; the rest ran on what was found
  // Nothing the results page could list was found: no folder (FAT, exFAT), or for NTFS a volume
  // whose boot sectors were refused or that gave no file.
  bool nothingFound = false;
};

// The FAT stage sequence of a Standard search after validation, on ctx as it stands (its
// geometry from validation, or to be worked out when validated is false), on the calling thread.
StandardSearchOutcome RunFatStandardStages(ScanContext& ctx, bool validated, DetailsList* list);
// The NTFS stage sequence after validation (standard_search_ntfs.cpp).
StandardSearchOutcome RunNtfsStandardStages(ScanContext& ctx, bool validated, DetailsList* list);
// The exFAT stage sequence after validation (standard_search_exfat.cpp).
StandardSearchOutcome RunExfatStandardStages(ScanContext& ctx, bool validated, DetailsList* list);

class StandardSearch {
 public:
  explicit StandardSearch(ScanContext& ctx);

  // Runs the search. list, when given, becomes the results page's file list (its columns set,
  // its rows emptied). A stop requested during the reading stages ends them; the linking and
  // tree stages then run on the rows found so far, as the Stop command's salvage does.
  StandardSearchOutcome Run(DetailsList* list = nullptr);
  // Safe to call from any thread, at any time.
  void RequestStop() { stop_.request_stop(); }
  std::stop_source& StopSource() { return stop_; }

 private:
  ScanContext& ctx_;
  std::stop_source stop_;
};

}  // namespace quarrow
