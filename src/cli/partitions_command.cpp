// quarrow partitions DISK [--image PATH]... [--json] [--advance] [--search]
// Walks the partition table of a disk or image and prints the partition items with their first
// and end sectors and the details rows of the partition page. With --search the lost-partition
// search runs after the walk and the partitions it added are marked.

#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "session/disk_session.h"
#include "cli/json_text.h"
#include "cli/terminal_feedback.h"
#include "cli/worker_run.h"
#include "partition/lost_partition_search.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"

namespace quarrow::cli {

namespace {

struct PartitionsOptions {
  std::string disk;
  std::vector<std::string> images;
  std::string map;
  bool json = false;
  bool advance = false;
  bool search = false;
};

// Things the walk noticed that the user should know; none of them is an error.
std::vector<std::string> WalkNotes(const PartitionWalkOutcome& outcome) {
  std::vector<std::string> notes;
  if (outcome.volumeFromBackup) {
    notes.push_back(
        "sector 0 holds neither a partition table nor a boot sector: the exFAT backup boot sector at "
        "sector 12 names the volume, partition 1");
  } else if (!outcome.tableSigned)
    notes.push_back("sector 0 holds no partition table (no 0x55 0xAA signature)");
  if (outcome.tableCorrupted) {
    notes.push_back(
        "partition table is corrupted: an entry starts within 24576 sectors of the end of the disk or past "
        "it; "
        "only the partitions before it are listed");
  }
  if (outcome.chainLooped)
    notes.push_back("the extended partition chain loops; the walk stopped where it came back");
  if (outcome.chainTooLong) notes.push_back("the extended partition chain is too long; the walk stopped");
  if (outcome.listFull) notes.push_back("more than 26 partitions; only the first 26 are listed");
  if (outcome.protectiveMbr && !outcome.gpt)
    notes.push_back("a protective MBR names a GPT, but none can be read: " + outcome.gptProblem);
  if (outcome.gpt) {
    notes.push_back("GUID partition table, " + std::to_string(outcome.gptSectorSize) + "-byte sectors");
    if (outcome.gptFromBackup)
      notes.push_back("the primary GPT is damaged (" + outcome.gptProblem + "); the backup header was read");
  }
  for (const auto& skipped : outcome.gptSkipped) notes.push_back("not listed: " + skipped);
  if (outcome.volumeWithoutTable && !outcome.volumeFromBackup)
    notes.push_back(
        "sector 0 holds a volume's boot sector, not a partition table: the volume is partition 1");
  return notes;
}

int RunPartitions(const PartitionsOptions& options) {
  DiskSessionOptions sessionOptions;
  sessionOptions.map = options.map;
  DiskSession session(options.images, sessionOptions);
  std::string error;
  const ListedDisk* disk = session.Select(options.disk, &error);
  if (!disk) {
    std::cerr << "quarrow partitions: " << error << "\n";
    return 1;
  }
  if (!session.MapNote().empty()) std::cerr << "quarrow partitions: " << session.MapNote() << "\n";

  mytreectrl tree(TreeKind::kPartitions, disk->number);
  PartitionState state;
  const PartitionWalkOutcome outcome =
      WalkPartitionTable(session.Reader(), disk->number, disk->totalSectors, tree, state);
  const PartitionList& list = state.ForDisk(disk->number);
  const SearchMode mode = options.advance ? SearchMode::kAdvance : SearchMode::kStandard;
  const DiskTexts texts{std::to_string(disk->totalSectors), std::to_string(disk->sizeMb) + " MB"};
  // The partitions listed from index fromTable on were added by the lost-partition search.
  const int fromTable = list.count;
  std::optional<LostPartitionOutcome> searched;
  if (options.search) {
    LostPartitionDisk target =
        LostPartitionDiskFor(session.Reader(), disk->number, SelectedValuesOf(disk->record));
    target.texts = texts;
    // The search runs on a worker and reports its progress through the queue to stderr; the
    // first Ctrl-C ends it with the partitions found so far.
    TerminalFeedback feedback(stderr);
    QueuedFeedback queued;
    LostPartitionSearch search(std::move(target), state.ForDisk(disk->number), tree, queued, mode);
    std::stop_source interrupted;
    std::stop_callback onInterrupt(interrupted.get_token(), [&search] { search.RequestStop(); });
    const std::string failure =
        RunOnWorker(queued, feedback, interrupted, [&] { searched = search.RunOnThisThread(); });
    feedback.Finish();
    if (!failure.empty()) {
      std::cerr << "quarrow partitions: " << failure << "\n";
      return 1;
    }
  }
  auto foundBySearch = [&](int i) { return searched && i >= fromTable; };

  for (const auto& note : WalkNotes(outcome)) std::cerr << "quarrow partitions: note: " << note << "\n";

  if (options.json) {
    std::vector<int> indices;
    for (int i = 0; i < list.count; ++i) indices.push_back(i);
    std::string out;
    {
      JsonObject doc(out);
      doc.Member("disk");
      JsonObject(out)
          .Number("number", disk->number)
          .Text("path", disk->path)
          .Text("model", disk->model)
          .Number("totalSectors", disk->totalSectors);
      doc.Member("table");
      {
        JsonObject table(out);
        table.Text("scheme", outcome.gpt ? "GPT" : outcome.tableSigned ? "MBR" : "none");
        if (outcome.gpt)
          table.Number("sectorSize", outcome.gptSectorSize).Bool("fromBackup", outcome.gptFromBackup);
        if (!outcome.gptProblem.empty()) table.Text("gptProblem", outcome.gptProblem);
        table.Array("skipped", outcome.gptSkipped,
                    [](JsonObject& o, const std::string& s) { o.Text("entry", s); });
      }
      doc.Array("partitions", indices, [&](JsonObject& o, int i) {
        const PartitionEntry& entry = list.entries[i];
        o.Number("number", i + 1)
            .Text("fs", list.Name(i))
            .Number("first", entry.firstSector)
            .Number("end", entry.endSector)
            .Text("item", tree.Text(entry.item));
        if (!entry.Note().empty()) o.Text("note", entry.Note());
        if (entry.gpt) {
          o.Number("gptEntry", entry.gptIndex + 1)
              .Text("name", entry.gptName)
              .Bool("gptBackup", entry.gptFromBackup);
        }
        if (searched) o.Bool("foundBySearch", foundBySearch(i));
        o.Array("details", PartitionDetailsFor(list, list.Name(i), i, disk->number, mode, texts).rows,
                [](JsonObject& row, const PartitionDetailsRow& r) {
                  row.Text("name", r.name).Text("value", r.value);
                });
      });
      if (searched) {
        doc.Member("search");
        JsonObject(out)
            .Number("added", searched->added)
            .Bool("stopped", searched->stopped)
            .Bool("listFull", searched->listFull)
            .Bool("unknownPartition", searched->unknownPartition)
            .Bool("gptFound", searched->gptFound)
            .Bool("gptFromBackup", searched->gptFromBackup)
            .Array("details",
                   searched->details ? searched->details->rows : std::vector<PartitionDetailsRow>{},
                   [](JsonObject& row, const PartitionDetailsRow& r) {
                     row.Text("name", r.name).Text("value", r.value);
                   });
      }
    }
    out += '\n';
    if (!WriteStdout(out)) {
      std::cerr << "quarrow partitions: could not write the results to standard output\n";
      return 1;
    }
    return 0;
  }

  std::ostringstream text;
  text << tree.Text(tree.Root()) << ": " << disk->path << " (" << disk->model << ", " << disk->totalSectors
       << " sectors, " << disk->sizeMb << " MB)\n";
  if (list.count == 0) text << "  no partition listed\n";
  for (int i = 0; i < list.count; ++i) {
    const PartitionEntry& entry = list.entries[i];
    text << "\n"
         << tree.Text(entry.item) << "    first sector " << entry.firstSector << ", end sector "
         << entry.endSector << (foundBySearch(i) ? "    (found by search)" : "") << "\n";
    if (!entry.Note().empty()) text << "  note: " << entry.Note() << "\n";
    for (const auto& row : PartitionDetailsFor(list, list.Name(i), i, disk->number, mode, texts).rows) {
      text << "  " << row.name << row.value << "\n";
    }
  }
  if (searched) {
    text << "\nLost-partition search: " << searched->added << " partition"
         << (searched->added == 1 ? "" : "s") << " added"
         << (searched->listFull ? " (the list is full at 26)" : "")
         << (searched->stopped ? " (stopped before the end of the disk)" : "") << "\n";
    if (searched->gptFound) {
      text << "  a GUID partition table was found"
           << (searched->gptFromBackup ? " from its backup header (the primary is damaged)" : "") << "\n";
    }
    if (searched->unknownPartition && searched->details) {
      text << std::string(kUnknownPartition) << " stands for the whole disk\n";
      for (const auto& row : searched->details->rows) text << "  " << row.name << row.value << "\n";
    }
  }
  if (!WriteStdout(text.str())) {
    std::cerr << "quarrow partitions: could not write the results to standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace

void AddPartitionsCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<PartitionsOptions>();
  auto* cmd = app.add_subcommand("partitions", "List the partitions of a disk's partition table");
  cmd->add_option("DISK", options->disk, "disk number (see 'quarrow disks') or disk image path")->required();
  cmd->add_option("--image", options->images, "also number this image file as a disk (repeatable)")
      ->type_name("PATH")
      ->allow_extra_args(false);
  cmd->add_option("--map", options->map, "the ddrescue map file of the image (sectors it never read fail)")
      ->type_name("FILE");
  cmd->add_flag("--json", options->json, "print JSON");
  cmd->add_flag("--advance", options->advance, "show the details rows of an Advance search");
  cmd->add_flag(
      "--search", options->search,
      "after the walk, search the disk for partitions the table does not list (lost-partition search)");
  cmd->callback([options, exitCode] { *exitCode = RunPartitions(*options); });
}

}  // namespace quarrow::cli
