#include "cli/search_run.h"

#include <iostream>
#include <utility>

#include "app/search_outcomes.h"
#include "cli/worker_run.h"
#include "core/code_page.h"
#include "session/search_setup.h"
#include "session/standard_search.h"
#include "session/worker.h"

namespace quarrow::cli {

void AddSearchOptions(CLI::App& cmd, SearchOptions& options, const std::string& fsHelp) {
  cmd.add_option("disk", options.disk, "disk number (see 'quarrow disks') or image path")->required();
  cmd.add_option("--partition", options.partition, "partition number as 'quarrow partitions' lists it");
  cmd.add_option("--mode", options.mode,
                 "search mode: standard (trusts the volume's own structures) or advance")
      ->check(CLI::IsMember({"standard", "advance"}));
  cmd.add_option("--fs", options.fs, fsHelp)->check(CLI::Range(1, 1000000));
  cmd.add_option("--image", options.images, "a disk image to list as a disk (repeatable)");
  cmd.add_option("--map", options.map,
                 "the ddrescue map file of the image: sectors it never read are read as unreadable "
                 "(IMAGE.map or IMAGE.mapfile beside the image is used without this)")
      ->type_name("FILE");
  cmd.add_option("--codepage", options.codePage,
                 "code page of the 8.3 names (437 by default; 850, 852, 866, 932, ... as the system that "
                 "wrote the disk used)");
  cmd.add_option("--start", options.start, "first sector of the search range");
  cmd.add_option("--end", options.end, "end sector of the search range (the first after it)");
  cmd.add_option("--type", options.type, "partition type")
      ->check(CLI::IsMember({"FAT16", "FAT32", "NTFS", "exFAT"}));
}

DiskSessionOptions SessionOptionsFor(const SearchOptions& options) {
  DiskSessionOptions session;
  session.map = options.map;
  return session;
}

int CheckSearchOptions(std::string_view command, const SearchOptions& options) {
  const std::string prefix = "quarrow " + std::string(command) + ": ";
  const bool haveRange = options.start || options.end || !options.type.empty();
  if (haveRange && (!options.start || !options.end || options.type.empty())) {
    std::cerr << prefix << "--start, --end and --type go together\n";
    return 2;
  }
  if (!haveRange && options.partition < 1) {
    std::cerr << prefix << "give --partition N (see 'quarrow partitions') or --start, --end and --type\n";
    return 2;
  }
  if (haveRange && *options.start < 0) {
    std::cerr << prefix << "--start must not be negative\n";
    return 2;
  }
  if (haveRange && *options.end <= *options.start) {
    std::cerr << prefix << "--end must lie after --start\n";
    return 2;
  }
  std::string codePageError;
  if (!CodePage::Open(options.codePage, &codePageError)) {
    std::cerr << prefix << "--codepage " << options.codePage << ": " << codePageError << "\n";
    return 2;
  }
  return 0;
}

int SetUpSearch(std::string_view command, const SearchOptions& options, DiskSession& session,
                const ListedDisk& disk, ScanContext& ctx) {
  SearchTarget target;
  target.partition = options.partition;
  target.codePage = options.codePage;
  if (options.start) {
    target.range =
        SearchRange{static_cast<std::uint64_t>(*options.start), static_cast<std::uint64_t>(*options.end),
                    FsTypeFromText(options.type).value_or(FsType::kNone)};
  }
  if (std::optional<std::string> refused = quarrow::SetUpSearch(session, disk, target, ctx)) {
    std::cerr << "quarrow " << command << ": " << *refused
              << (target.range ? "" : "; see 'quarrow partitions'") << "\n";
    return 1;
  }
  return 0;
}

SearchRunOutcome RunSearch(ScanContext& ctx, Feedback& shown, const SearchOptions& options,
                           DetailsList* resultsList) {
  SearchRunOutcome run;
  // The search reports from its worker thread through the queue; this thread shows it.
  QueuedFeedback queued;
  ctx.SetFeedback(queued);
  const auto take = [&run](auto&& outcome) {
    run.refused = std::move(outcome.refused);
    run.warnings = std::move(outcome.warnings);
    run.diskGone = outcome.diskGone;
    run.outOfMemory = outcome.outOfMemory;
    run.stopped = outcome.stopped && !outcome.diskGone && !outcome.outOfMemory;
  };
  if (!options.Advance()) {
    StandardSearch search(ctx);
    run.failure = RunOnWorker(queued, shown, search.StopSource(), [&] {
      const StandardSearchOutcome outcome = search.Run(resultsList);
      run.advice = app::AdviceAfterSearch(outcome);
      take(outcome);
    });
  } else {
    AdvanceSearch search(ctx);
    // Ctrl-C stops the stage that runs when it comes, and only that one.
    std::stop_source interrupted;
    std::stop_callback onInterrupt(interrupted.get_token(), [&search] { search.RequestStop(); });
    run.failure = RunOnWorker(queued, shown, interrupted, [&] {
      AdvanceSearchOutcome first = search.Run();
      run.advice = app::AdviceAfterSearch(first);
      take(std::move(first));
      if (run.refused) return;
      run.identified = search.Identified();
      if (run.identified.empty()) return;
      SecondStageOutcome second = search.RunSecondStage(options.fs - 1, resultsList);
      run.refused = std::move(second.refused);
      run.outOfMemory = run.outOfMemory || second.outOfMemory;
      run.stopped = run.stopped || (second.stopped && !run.outOfMemory);
      if (!run.refused) run.chosen = options.fs;
    });
  }
  // The worker has handed the context back: from here on this thread reports directly.
  ctx.SetFeedback(shown);
  // What is listed next is listed right away, from the disk the search just read.
  ctx.listFromKept = true;
  return run;
}

}  // namespace quarrow::cli
