#pragma once
// What `quarrow scan` and `quarrow recover` share: the options that name a search (a partition
// or a sector range, the mode, the code page), setting a ScanContext up from them, and running
// the search on a worker while this thread draws its progress.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/file_list.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/disk_session.h"

namespace quarrow::cli {

struct SearchOptions {
  std::string disk;
  int partition = 0;
  std::string mode = "standard";
  int fs = 1;  // the identified file system an Advance search rebuilds, 1-based
  std::vector<std::string> images;
  std::string map;  // --map: the ddrescue map of the image
  std::optional<std::int64_t> start, end;
  std::string type;
  int codePage = 437;

  bool Advance() const { return mode == "advance"; }
};

// A session over the options' images, reading the selected one through the --map given.
DiskSessionOptions SessionOptionsFor(const SearchOptions& options);

// Adds the search options to cmd; fsHelp says what --fs picks for this command.
void AddSearchOptions(CLI::App& cmd, SearchOptions& options, const std::string& fsHelp);

// Checks the options that go together and the code page; prints one line and returns 2 when they
// are wrong, 0 otherwise.
int CheckSearchOptions(std::string_view command, const SearchOptions& options);

// Sets ctx up for the search the options name on disk (the session's SetUpSearch, which the wizard
// uses too): reader, disk number, code page, type and range (from the partition table walk for
// --partition). Prints one line and returns 1 when the disk has no such partition, 0 otherwise.
int SetUpSearch(std::string_view command, const SearchOptions& options, DiskSession& session,
                const ListedDisk& disk, ScanContext& ctx);

struct SearchRunOutcome {
  std::string failure;                 // what ended the worker's job early ("" when it ended itself)
  std::optional<std::string> refused;  // why the search did not run or rebuilt no tree
  std::vector<std::string> warnings;
  bool diskGone = false;
  bool outOfMemory = false;
  bool stopped = false;                          // the user's stop (Ctrl-C) cut the search short
  std::vector<IdentifiedFileSystem> identified;  // Advance search
  int chosen = 0;  // Advance search: the 1-based file system rebuilt, 0 when none was
  // The advice the search's outcome calls for (nothing found, no file system identified), as the
  // wizard would open it; the command prints it.
  std::optional<AdviceDialog> advice;
};

// Runs the search on a worker that reports to the terminal feedback shown; the first Ctrl-C
// stops it with what it found. The Advance search rebuilds the tree of options.fs when it
// identified any file system. Afterwards ctx reports to shown directly.
SearchRunOutcome RunSearch(ScanContext& ctx, Feedback& shown, const SearchOptions& options,
                           DetailsList* resultsList = nullptr);

}  // namespace quarrow::cli
