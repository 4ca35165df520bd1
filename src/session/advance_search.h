#pragma once
// AdvanceSearch: the search that trusts nothing on the volume, as an object a front end drives.
// The first stage reads every sector of the search range and works out which file systems once
// lived there (FAT: boot sectors and directory clusters, then the analysis; NTFS: boot sectors,
// FILE and INDX records, then the numbering). The user picks one of the identified file systems;
// the second stage rebuilds its folder tree into the ScanContext's ResultsState and binds the
// volume's hooks, so the results page names and lists folders as they are opened.
//
//   AdvanceSearch search(ctx);               // ctx: disk, range, partition type
//   AdvanceSearchOutcome first = search.Run();
//   for (const IdentifiedFileSystem& fs : search.Identified()) ...
//   search.RunSecondStage(0, &list);         // the first identified file system

#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/volume.h"
#include "partition/partition_details.h"
#include "results/identified_rows.h"
#include "results/tree_model.h"

namespace quarrow {

struct ScanContext;
struct DetailsList;

// What the file-system choice page shows when the first stage ends: the "File Systems" tree
// with its first entry selected, and the DetailsList rows of that entry (none when nothing was
// identified).
struct FileSystemChoice {
  mytreectrl tree{TreeKind::kFileSystems, 0};
  std::vector<PartitionDetailsRow> details;
  int chosen = 0;  // 0-based, the entry selected
};

struct AdvanceSearchOutcome {
  std::optional<std::string> refused;  // the search could not start (a range it cannot address)
  std::vector<std::string> warnings;   // one line each: a range cut to the disk, unreadable sectors
  bool diskGone = false;               // the disk stopped answering; the results are what was read
  bool outOfMemory = false;            // "Not Enough Memory" was shown; the results are what was built
  bool stopped = false;                // a stop cut the reading stage short; the analysis ran on it
  int identified = 0;                  // rows of IdentifiedFileSystemTable
  FileSystemChoice choice;
};

struct SecondStageOutcome {
  std::optional<std::string> refused;  // no such file system
  bool outOfMemory = false;            // "Not Enough Memory" was shown; the tree is what was built
  bool stopped = false;                // a stop cut the stage short; the tree is what was built
};

class AdvanceSearch {
 public:
  explicit AdvanceSearch(ScanContext& ctx);

  AdvanceSearchOutcome Run();
  // The identified file systems, in the table's order.
  std::vector<IdentifiedFileSystem> Identified() const;
  // Rebuilds the tree of the chosen file system (0-based index into the identified ones). list,
  // when given, becomes the results page's file list. A stop of stop (the job's own, say) stops
  // the stage, a stop asked for before the stage began included.
  SecondStageOutcome RunSecondStage(int chosen, DetailsList* list = nullptr, std::stop_token stop = {});

  // Stops the stage that runs now. Each stage has a stop of its own: a stop of the first stage
  // (which salvages what it found) never reaches the second. Safe from any thread.
  void RequestStop();
  // The first stage's stop source.
  std::stop_source& StopSource() { return stop_; }

 private:
  ScanContext& ctx_;
  std::stop_source stop_;
  std::mutex mutex_;
  std::stop_source second_;  // the running (or last) second stage's
  bool inSecondStage_ = false;
};

// The stage sequences of each file-system family, on ctx as it stands (the session checks the
// range and resets the results first). The FAT ones live in advance_search_fat.cpp, the NTFS ones
// in advance_search_ntfs.cpp.
AdvanceSearchOutcome RunFatAdvanceStages(ScanContext& ctx);
SecondStageOutcome RunFatSecondStage(ScanContext& ctx, int chosen, DetailsList* list);
AdvanceSearchOutcome RunNtfsAdvanceStages(ScanContext& ctx);
SecondStageOutcome RunNtfsSecondStage(ScanContext& ctx, int chosen, DetailsList* list);
AdvanceSearchOutcome RunExfatAdvanceStages(ScanContext& ctx);
SecondStageOutcome RunExfatSecondStage(ScanContext& ctx, int chosen, DetailsList* list);

}  // namespace quarrow
