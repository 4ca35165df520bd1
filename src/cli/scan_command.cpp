// quarrow scan: a Standard search of one FAT partition, run through the search session, then every
// folder of the results tree opened as a user would open it on the results page (the first
// expansion names its children, then its file list is filled), printed as an indented tree or as
// JSON.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/results_page.h"
#include "cli/commands.h"
#include "session/disk_session.h"
#include "cli/json_text.h"
#include "cli/search_run.h"
#include "cli/terminal_feedback.h"
#include "core/bytes.h"
#include "core/unicode.h"
#include "disk/platform.h"
#include "partition/partition_table.h"
#include "results/file_list.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "session/advance_search.h"
#include "session/recovery_run.h"
#include "session/scan_log.h"
#include "session/standard_search.h"
#include "session/worker.h"

namespace quarrow::cli {
namespace {

struct ScanOptions {
  SearchOptions search;
  bool json = false;
  std::string saveLog;  // where the finished scan is saved, "" for nowhere
  bool noCarve = false;  // the Advance search does not look for file starts by content
};

struct ShowOptions {
  std::string log;
  std::string disk;
  bool json = false;
  std::vector<std::string> images;
  int codePage = 437;
};

struct FolderRecord {
  std::string path, name;
  std::uint32_t self = 0, parent = 0;
  bool deleted = false;
  bool unread = false;  // its directory lies where the image's map says the copy never read
  int depth = 0;
};

struct FileRecord {
  std::string path, name;  // UTF-8, as printed
  DetailsRow row;
  int depth = 0;
};

// Where the listing goes as the tree is walked: each folder and each file once, in visiting
// order, written out as it comes so that a card of a million files is never held whole.
class Listing {
 public:
  virtual ~Listing() = default;
  virtual void Folder(const FolderRecord& folder) = 0;
  virtual void File(const FileRecord& file) = 0;
  // Ends the listing; false when stdout did not take all of it.
  virtual bool End() = 0;
};

// Text for stdout, written in pieces of about 64 KiB.
class StdoutPieces {
 public:
  std::string& Text() { return text_; }
  void Maybe() {
    if (text_.size() >= kPiece) Write();
  }
  bool Done() {
    Write();
    return !failed_;
  }

 private:
  static constexpr std::size_t kPiece = 64 * 1024;
  void Write() {
    if (!failed_ && !text_.empty() && !WriteStdout(text_)) failed_ = true;
    text_.clear();
  }
  std::string text_;
  bool failed_ = false;
};

std::string JoinPath(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

void AddFiles(Listing& out, DetailsList&& list, const std::string& folderPath, int depth) {
  for (DetailsRow& row : list.rows) {
    if (row.image != RowImage::kFile) continue;
    FileRecord file;
    file.path = JoinPath(folderPath, row.name);
    file.name = std::move(row.name);  // the listings take the name from the record, not the row
    file.row = std::move(row);
    file.depth = depth;
    out.File(file);
  }
}

// Opens every folder of the results tree depth first, the way a user clicking through it would,
// and hands each folder and file to out. unreadFolder, when given, tells a folder whose directory
// the copy never read by its own cluster; the paths of such folders are returned.
std::vector<std::string> VisitTree(ResultsState& results, Listing& out,
                                   const std::function<bool(std::uint32_t)>& unreadFolder = {}) {
  std::vector<std::string> unread;
  mytreectrl& tree = results.Tree();
  tree.SetExpandingHandler(
      [&results](TreeItem item, bool expanding) { OnResultsTreeExpanding(results, item, expanding); });
  const std::tm now = LocalTimeNow();

  DetailsList rootList;
  ListFolder(results, rootList, tree.Root(), /*listOnClick=*/true, now);
  AddFiles(out, std::move(rootList), "", 1);

  struct Pending {
    TreeItem item;
    std::string parentPath;
    int depth;
  };
  // An explicit stack: a hostile disk can nest folders deeper than the call stack allows.
  std::vector<Pending> stack;
  const auto& top = tree.Children(tree.Root());
  for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back({*it, "", 1});
  while (!stack.empty()) {
    Pending at = stack.back();
    stack.pop_back();
    const FolderNode* node = results.folderNodes.FindByItem(at.item);
    if (!node) continue;
    FolderRecord record;
    record.name = node->name;
    record.path = JoinPath(at.parentPath, record.name);
    record.self = node->self;
    record.parent = node->parent;
    record.deleted = node->deleted;
    record.depth = at.depth;
    record.unread = unreadFolder && unreadFolder(record.self);
    if (record.unread) unread.push_back(record.path);
    out.Folder(record);

    tree.Expand(at.item, true);
    DetailsList list;
    ListFolder(results, list, at.item, /*listOnClick=*/true, now);
    AddFiles(out, std::move(list), record.path, at.depth + 1);
    const auto& children = tree.Children(at.item);
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      stack.push_back({*it, record.path, at.depth + 1});
  }
  return unread;
}

// Leading decimal digits of a list cell as a number (0 when there are none).
std::uint64_t CellNumber(const std::string& text) {
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// What a run found besides the tree: the search it was and, for an Advance search, the file
// systems it identified.
struct RunInfo {
  bool advance = false;
  std::vector<IdentifiedFileSystem> identified;
  int chosen = 0;        // 1-based, 0 when no tree was rebuilt
  std::string modeText;  // a loaded log's own text; "" for the search just run
  bool stopped = false;  // a stop (Ctrl-C) cut the search short
};

std::string_view ModeText(const RunInfo& info) {
  if (!info.modeText.empty()) return info.modeText;
  return info.advance ? "Advance Search" : "Standard Search";
}

// The JSON document: the search, then "folders" written as they come, then "files", which are
// kept in a temporary file until the folders end (memory when no temporary file can be made).
class JsonListing : public Listing {
 public:
  JsonListing(const ScanContext& ctx, int disk, const RunInfo& info) {
    std::string head;
    {
      JsonObject doc(head);
      doc.Member("search");
      JsonObject(head)
          .Text("mode", ModeText(info))
          .Text("type", FsTypeText(ctx.partitionType))
          .Number("disk", disk)
          .Number("start", ctx.searchStart)
          .Number("end", ctx.searchEnd)
          .Bool("stopped", info.stopped);
      doc.Text("label", ctx.results.volumeLabel);
      if (info.advance) {
        doc.Array("identified", info.identified, [](JsonObject& o, const IdentifiedFileSystem& fs) {
          o.Number("number", fs.number)
              .Text("type", fs.typeText)
              .Number("sector", fs.sector)
              .Number("spc", fs.spc)
              .Number("cluster0", fs.cluster0);
        });
        doc.Number("chosen", info.chosen);
        doc.Array("carved", ctx.results.carvedStarts, [](JsonObject& o, const CarvedStartRow& c) {
          o.Number("sector", c.sector).Text("type", CarveTypeExtension(c.type));
        });
      }
      const ActiveVolumeGeometry& g = ctx.activeGeometry;
      doc.Member("geometry");
      JsonObject(head)
          .Number("FatSectors", g.FatSectors)
          .Number("SectorsPerCluster", g.SectorsPerCluster)
          .Number("RootDirSectors", g.RootDirSectors)
          .Number("RootDirStart", g.RootDirStart)
          .Number("ReservedSectors", g.ReservedSectors)
          .Number("Cluster0Sector", g.Cluster0Sector)
          .Number("FirstFatSector", g.FirstFatSector)
          .Number("SecondFatSector", g.SecondFatSector)
          .Number("MftSector", g.MftSector)
          .Number("MftMirrSector", g.MftMirrSector)
          .Number("MftRecordSectors", g.MftRecordSectors)
          .Number("IndexBlockSectors", g.IndexBlockSectors);
    }
    head.pop_back();  // the document's closing brace: the two arrays follow
    out_.Text() = std::move(head);
    out_.Text() += ",\"folders\":[";
    spool_ = std::tmpfile();
  }
  ~JsonListing() override {
    if (spool_) std::fclose(spool_);
  }

  void Folder(const FolderRecord& f) override {
    std::string& out = out_.Text();
    if (folders_++ != 0) out += ',';
    JsonObject o(out);
    o.Text("path", f.path).Text("name", f.name).Number("self", f.self).Number("parent", f.parent).Bool("deleted", f.deleted);
    if (f.unread) o.Text("estimate", RecoverabilityText(Recoverability::kPartlyUnreadable));
    out_.Maybe();
  }

  void File(const FileRecord& f) override {
    if (files_++ != 0) file_ += ',';
    {
      JsonObject o(file_);
      o.Text("path", f.path)
          .Text("name", f.name)
          .Number("size", CellNumber(f.row.size))
          .Bool("deleted", f.row.deleted)
          .Text("type", f.row.type)
          .Text("date", f.row.date)
          .Text("time", f.row.time)
          .Number("first", CellNumber(f.row.debug1));
      // An NTFS file row carries its record number, as its folder rows do.
      if (!f.row.debug3.empty()) o.Number("self", CellNumber(f.row.debug3));
      if (f.row.deleted || !f.row.estimate.empty()) o.Text("estimate", f.row.estimate);
    }
    if (spool_ && file_.size() >= 64 * 1024) SpoolFiles();
  }

  bool End() override {
    out_.Text() += "],\"files\":[";
    if (spool_) {
      SpoolFiles();
      std::rewind(spool_);
      std::string piece(64 * 1024, '\0');
      for (std::size_t n; (n = std::fread(piece.data(), 1, piece.size(), spool_)) > 0;) {
        out_.Text().append(piece, 0, n);
        out_.Maybe();
      }
      spoolFailed_ = spoolFailed_ || std::ferror(spool_) != 0;
    }
    out_.Text() += file_;
    out_.Text() += "]}\n";
    return out_.Done() && !spoolFailed_;
  }

 private:
  void SpoolFiles() {
    if (std::fwrite(file_.data(), 1, file_.size(), spool_) != file_.size()) spoolFailed_ = true;
    file_.clear();
  }

  StdoutPieces out_;
  std::FILE* spool_ = nullptr;
  bool spoolFailed_ = false;
  std::string file_;  // file objects not yet spooled
  std::size_t folders_ = 0, files_ = 0;
};

// The indented tree: the search and the identified file systems, then a line per folder and
// file as they come, then the counts.
class TextListing : public Listing {
 public:
  TextListing(const ScanContext& ctx, int disk, const RunInfo& info) : treeShown_(!info.advance || info.chosen != 0) {
    std::ostringstream out;
    out << ModeText(info) << " of " << FsTypeText(ctx.partitionType) << " on disk " << disk << ", sectors "
        << ctx.searchStart << " to " << ctx.searchEnd;
    // Names come from the volume: a control character in one must not reach the terminal as is.
    if (!ctx.results.volumeLabel.empty()) out << ", label " << EscapeControls(ctx.results.volumeLabel);
    out << "\n";
    for (const IdentifiedFileSystem& fs : info.identified) {
      out << "File System " << fs.number << " - " << fs.typeText << "  ";
      if (fs.fromBootSector) {
        out << "boot sector " << fs.sector;
      } else {
        out << "derived from directories";
      }
      out << ", cluster 0 at sector " << fs.cluster0 << ", " << fs.spc << " sectors per cluster"
          << (fs.number == info.chosen ? "  (rebuilt below)" : "") << "\n";
    }
    if (treeShown_) out << "Root\n";
    out_.Text() = out.str();
  }

  void Folder(const FolderRecord& f) override {
    ++folders_;
    std::string& out = out_.Text();
    out.append(static_cast<std::size_t>(f.depth) * 2, ' ');
    out += EscapeControls(f.name);
    out += '/';
    if (f.deleted) out += "  (deleted)";
    if (f.unread) out += "  (partly unreadable)";
    out += '\n';
    out_.Maybe();
  }

  void File(const FileRecord& f) override {
    ++files_;
    std::string& out = out_.Text();
    out.append(static_cast<std::size_t>(f.depth) * 2, ' ');
    out += EscapeControls(f.name) + "  " + f.row.size + "  " + f.row.date + " " + f.row.time + "  " +
           EscapeControls(f.row.type);
    if (f.row.deleted) {
      out += "  (deleted" + (f.row.estimate.empty() ? std::string() : ", " + f.row.estimate) + ")";
    } else if (!f.row.estimate.empty()) {
      out += "  (" + f.row.estimate + ")";  // a live file the image's map says was partly never read
    }
    out += '\n';
    out_.Maybe();
  }

  bool End() override {
    if (treeShown_)
      out_.Text() += std::to_string(folders_) + " folders, " + std::to_string(files_) + " files\n";
    return out_.Done();
  }

 private:
  StdoutPieces out_;
  bool treeShown_;
  std::size_t folders_ = 0, files_ = 0;
};

std::unique_ptr<Listing> MakeListing(bool json, const ScanContext& ctx, int disk, const RunInfo& info) {
  if (json) return std::make_unique<JsonListing>(ctx, disk, info);
  return std::make_unique<TextListing>(ctx, disk, info);
}

int RunScan(const ScanOptions& options) {
  if (const int usage = CheckSearchOptions("scan", options.search)) return usage;
  DiskSession session(options.search.images, SessionOptionsFor(options.search));
  std::string error;
  const ListedDisk* disk = session.Select(options.search.disk, &error);
  if (!disk) {
    std::cerr << "quarrow scan: " << error << "\n";
    return 1;
  }
  if (!session.MapNote().empty()) std::cerr << "quarrow scan: " << session.MapNote() << "\n";
  TerminalFeedback feedback(stderr);
  ScanContext ctx(feedback);
  if (const int failed = SetUpSearch("scan", options.search, session, *disk, ctx)) return failed;
  ctx.carve = !options.noCarve;

  DetailsList resultsList;
  const SearchRunOutcome run = RunSearch(ctx, feedback, options.search, &resultsList);
  if (run.advice) feedback.ShowAdvice(*run.advice);
  RunInfo info;
  info.advance = options.search.Advance();
  info.identified = run.identified;
  info.chosen = run.chosen;
  info.stopped = run.stopped;
  if (!run.failure.empty() || run.refused) {
    feedback.Finish();
    std::cerr << "quarrow scan: " << (run.refused ? *run.refused : run.failure) << "\n";
    return 1;
  }
  // Deleted files are listed with how much of their data is left.
  ShowRecoverabilityEstimates(ctx);
  feedback.Finish();
  for (const std::string& warning : run.warnings) std::cerr << "quarrow scan: warning: " << warning << "\n";
  if (info.stopped)
    std::cerr << "quarrow scan: note: the search was stopped; the results are what it found until then\n";
  const std::unique_ptr<Listing> listing = MakeListing(options.json, ctx, disk->number, info);
  std::vector<std::string> unread;
  if (!info.advance || info.chosen != 0)
    unread = VisitTree(ctx.results, *listing, [&ctx](std::uint32_t self) { return FolderInUnreadBlock(ctx, self); });
  const bool written = listing->End();
  feedback.Finish();
  for (const std::string& path : unread)
    std::cerr << "quarrow scan: warning: " << path
              << ": its directory lies where the ddrescue map says the copy never read; what it held is not "
                 "listed\n";
  if (!written) {
    std::cerr << "quarrow scan: could not write the results to standard output\n";
    return 1;
  }
  if (!options.saveLog.empty()) {
    ScanLogSelection selection;
    selection.model = disk->model;
    selection.diskNumber = selection.searchDiskNumber = disk->number;
    selection.partitionIndex = std::max(options.search.partition - 1, 0);
    selection.mode = info.advance ? SearchMode::kAdvance : SearchMode::kStandard;
    const SaveLogOutcome saved = SaveScanLog(ctx, selection, options.saveLog);
    if (!saved.saved) {
      std::cerr << "quarrow scan: the scan log was not saved: " << saved.message << "\n";
      return 1;
    }
    if (saved.carvedLeftOut != 0)
      std::cerr << "quarrow scan: note: " << CarvedLeftOutText(saved.carvedLeftOut) << "\n";
  }
  // A disk that went away, or memory that ran out, leaves a result that is not the whole disk:
  // say so in the exit code.
  return run.diskGone || run.outOfMemory ? 1 : 0;
}

// quarrow show: a saved scan loaded as Load Log does, printed as the scan printed it.
int RunShow(const ShowOptions& options) {
  std::string codePageError;
  const std::optional<CodePage> codePage = CodePage::Open(options.codePage, &codePageError);
  if (!codePage) {
    std::cerr << "quarrow show: --codepage " << options.codePage << ": " << codePageError << "\n";
    return 2;
  }
  DiskSession session(options.images);
  std::string error;
  const ListedDisk* disk = session.Select(options.disk, &error);
  if (!disk) {
    std::cerr << "quarrow show: " << error << "\n";
    return 1;
  }
  TerminalFeedback feedback(stderr);
  ScanContext ctx(feedback);
  ctx.reader = &session.Reader();
  ctx.diskNumber = disk->number;
  ctx.codePage = *codePage;
  const LoadLogOutcome loaded = LoadScanLog(ctx, options.log, disk->model);
  if (!loaded.loaded) {
    feedback.Finish();
    std::cerr << "quarrow show: " << loaded.message << "\n";
    return 1;
  }
  RunInfo info;
  info.modeText = loaded.searchModeText;
  ShowRecoverabilityEstimates(ctx);
  feedback.Finish();
  const std::unique_ptr<Listing> listing = MakeListing(options.json, ctx, disk->number, info);
  VisitTree(ctx.results, *listing);
  const bool written = listing->End();
  feedback.Finish();
  if (!written) {
    std::cerr << "quarrow show: could not write the results to standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<ScanOptions>();
  auto* cmd = app.add_subcommand(
      "scan",
      "Search a partition or a sector range; prints the folders and files found, deleted ones marked");
  AddSearchOptions(*cmd, options->search,
                   "Advance search: the identified file system to rebuild (default 1)");
  cmd->add_flag("--json", options->json, "print JSON");
  cmd->add_option("--save-log", options->saveLog, "save the finished scan to this log file (.QLG)")
      ->type_name("FILE");
  cmd->add_flag("--no-carve", options->noCarve,
                "Advance search: do not look for the starts of files by their content while reading");
  cmd->callback([options, exitCode] { *exitCode = RunScan(*options); });
}

void AddShowCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<ShowOptions>();
  auto* cmd = app.add_subcommand(
      "show",
      "Load a saved scan log and print its folders and files as the scan did, without scanning again");
  cmd->add_option("log", options->log, "the scan log file (.QLG)")->required();
  cmd->add_option("--disk", options->disk, "the disk the log was saved from (a disk number or image path)")
      ->required();
  cmd->add_flag("--json", options->json, "print JSON");
  cmd->add_option("--image", options->images, "a disk image to list as a disk (repeatable)");
  cmd->add_option("--codepage", options->codePage,
                  "code page of the 8.3 names read from the disk (437 by default)");
  cmd->callback([options, exitCode] { *exitCode = RunShow(*options); });
}

}  // namespace quarrow::cli
