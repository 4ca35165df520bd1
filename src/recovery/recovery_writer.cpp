// The writing step of a recovery: every planned file read from the volume and written under its
// folder on the destination, then the folders' times and the report.
#include <algorithm>
#include <array>
#include <system_error>

#include "disk/platform.h"
#include "ntfs/lznt1.h"
#include "recovery/output_file.h"
#include "recovery/recovery_engine.h"
#include "recovery/recovery_report.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

// 512 KiB a request, as the bulk scans read.
constexpr std::uint32_t kChunkSectors = 1024;
constexpr std::size_t kChunkBytes = std::size_t{kChunkSectors} * kSectorSize;
// Numbered names are tried in turn; a folder cannot hold more clashes than this.
constexpr int kMaxNumberedNames = 100000;

// Folders held open at once along the way down to the one written into; the ones nearer the
// destination are closed past this and opened again from above when the writer climbs back.
constexpr std::size_t kMaxOpenFolders = 64;

enum class DataResult { kDone, kStopped, kSkipped, kFailed };

class Writer {
 public:
  Writer(const ScanContext& ctx, RecoveryPlan& plan, FileDataSource& source, const RecoveryOptions& options,
         std::atomic<bool>* skip, RecoveryOutcome& out, std::unique_ptr<DestinationFolder> root)
      : ctx_(ctx),
        plan_(plan),
        source_(source),
        options_(options),
        skip_(skip),
        out_(out),
        buffer_(kChunkBytes) {
    chain_.push_back({0, std::move(root)});
  }

  void Run() {
    for (PlannedFile& file : plan_.files) {
      const bool counted = file.status == FileStatus::kPending;
      WriteFile(file);
      if (counted) ++done_;
    }
    // The totals line was last set as the last file began: bring it to what was done.
    if (!plan_.files.empty()) ShowTotals(done_);
    for (std::size_t i = 0; i < plan_.folders.size(); ++i) {
      PlannedFolder& folder = plan_.folders[i];
      if (folder.makeEvenIfEmpty && !out_.stopped && !out_.cancelled) EnterFolder(i);
    }
    // Writing into a folder changes its time, so folders get theirs last, the deepest first.
    for (std::size_t i = plan_.folders.size(); i-- > 1;) {
      const PlannedFolder& folder = plan_.folders[i];
      if (!folder.made || !folder.madeByUs || !folder.modified) continue;
      if (DestinationFolder* parent = EnterFolder(folder.parent))
        parent->SetModified(folder.name, *folder.modified);
    }
  }

  // The destination folder itself, where the report goes.
  DestinationFolder& Root() { return *chain_.front().handle; }

 private:
  Feedback& Ui() const { return ctx_.Ui(); }

  std::filesystem::path PathOf(const PlannedFolder& folder, std::string_view name = {}) const {
    fs::path path = options_.destination;
    if (!folder.relative.empty()) path /= PathFromUtf8(folder.relative);
    if (!name.empty()) path /= PathFromUtf8(name);
    return path;
  }

  // The folder, made (with the ones above it) when it is not yet, and held open; null (with a
  // reason) when the destination refuses it. The folders open are the way from the destination
  // down to the last one entered; those that are still on the way to this one stay open.
  DestinationFolder* EnterFolder(std::size_t index, std::string* reason = nullptr) {
    if (chain_.back().folder == index) return chain_.back().handle.get();
    std::vector<std::size_t> way;  // index and its ancestors up to (not with) one already open
    if (plan_.folders[index].parent == chain_.back().folder) {
      way.push_back(index);
    } else {
      std::vector<std::size_t> up;  // the folder, its parent, ..., the destination
      for (std::size_t at = index; at != SIZE_MAX; at = plan_.folders[at].parent) {
        up.push_back(at);
        // A plan is a tree; a parent link that came back would be a fault, not a deep tree.
        if (up.size() > plan_.folders.size()) {
          if (reason)
            *reason = "cannot make the folder " + plan_.folders[index].treePath + ": it lies in itself";
          return nullptr;
        }
      }
      std::size_t keep = 0;
      while (keep < chain_.size() && keep < up.size() && chain_[keep].folder == up[up.size() - 1 - keep])
        ++keep;
      if (keep == 0) return nullptr;  // not below the destination
      chain_.resize(keep);
      for (std::size_t k = up.size() - keep; k-- > 0;) way.push_back(up[k]);
    }
    if (!Reopen(reason)) return nullptr;
    for (std::size_t next : way) {
      std::unique_ptr<DestinationFolder> handle = Descend(next, reason);
      if (!handle) return nullptr;
      chain_.push_back({next, std::move(handle)});
      if (chain_.size() > kMaxOpenFolders) {
        // The one nearest the destination that is still open goes; the destination stays.
        for (std::size_t k = 1; k + 1 < chain_.size(); ++k) {
          if (!chain_[k].handle) continue;
          chain_[k].handle.reset();
          break;
        }
      }
    }
    return chain_.back().handle.get();
  }

  // Opens again the folders of the chain closed to keep few open, from the nearest open one down.
  // As on the way down, only the deepest stay open: the climb back up then opens the way again
  // once every kMaxOpenFolders folders, not at every step.
  bool Reopen(std::string* reason) {
    if (chain_.back().handle) return true;
    std::size_t open = chain_.size() - 1;
    while (!chain_[open].handle) --open;  // the destination is always open
    const std::size_t keepFrom = chain_.size() > kMaxOpenFolders ? chain_.size() - (kMaxOpenFolders - 1) : 1;
    for (std::size_t k = open + 1; k < chain_.size(); ++k) {
      const PlannedFolder& folder = plan_.folders[chain_[k].folder];
      std::string error;
      chain_[k].handle = chain_[k - 1].handle->OpenFolder(folder.name, &error);
      if (!chain_[k].handle) {
        if (reason) *reason = "cannot open the folder " + Utf8FromPath(PathOf(folder)) + ": " + error;
        chain_.resize(k);
        return false;
      }
      if (k - 1 > open && k - 1 < keepFrom) chain_[k - 1].handle.reset();
    }
    return true;
  }

  // Makes (or opens, when made before) a folder in its parent, the last one of the chain.
  std::unique_ptr<DestinationFolder> Descend(std::size_t index, std::string* reason) {
    PlannedFolder& folder = plan_.folders[index];
    PlannedFolder& parent = plan_.folders[folder.parent];
    DestinationFolder& in = *chain_.back().handle;
    std::string error;
    if (folder.made) {
      std::unique_ptr<DestinationFolder> handle = in.OpenFolder(folder.name, &error);
      if (!handle && reason)
        *reason = "cannot open the folder " + Utf8FromPath(PathOf(folder)) + ": " + error;
      return handle;
    }
    if (!folder.refused.empty()) {
      if (reason) *reason = folder.refused;
      return nullptr;
    }
    const std::string wanted = folder.name;
    for (int n = 0; n < kMaxNumberedNames; ++n) {
      if (n > 0) {
        // A file (or a link) has the folder's name: the folder takes the next free numbered name.
        folder.name = NumberedName(wanted, n, options_.rules);
        if (!parent.names.Reserve(folder.name)) continue;
      }
      std::unique_ptr<DestinationFolder> handle;
      const DestinationFolder::Made made = in.MakeFolder(folder.name, &handle, &error);
      if (made == DestinationFolder::Made::kNotAFolder) continue;
      if (made == DestinationFolder::Made::kFailed) {
        folder.refused = "cannot make the folder " + Utf8FromPath(PathOf(parent, folder.name)) + ": " + error;
        if (reason) *reason = folder.refused;
        return nullptr;
      }
      // An existing folder of the name (from an earlier recovery) is written into.
      folder.madeByUs = made == DestinationFolder::Made::kMade;
      folder.relative = parent.relative.empty() ? folder.name : parent.relative + "/" + folder.name;
      folder.made = true;
      if (options_.folderMade) options_.folderMade(PathOf(folder));
      return handle;
    }
    folder.refused = "cannot make the folder " + folder.treePath + ": every numbered name is taken";
    if (reason) *reason = folder.refused;
    return nullptr;
  }

  enum class Clash { kWriteNew, kOverwrite, kSkip, kCancel };

  // A file of the planned name is there: the replace question decides (remembered when the
  // answer applies to all), but the disk being read and a folder are never replaced.
  Clash ResolveClash(PlannedFolder& folder, DestinationFolder& in, PlannedFile& file) {
    const bool isSource =
        !options_.sourcePath.empty() && in.IsSameFile(file.name, PathFromUtf8(options_.sourcePath));
    // A folder or a link of the name is not replaced either: the file gets a numbered name.
    const bool notAFile = in.Find(file.name) != DestinationFolder::Entry::kFile;
    ReplaceChoice choice;
    if (remembered_) {
      choice = *remembered_;
    } else if (options_.replace) {
      choice = options_.replace->Ask(Utf8FromPath(PathOf(folder, file.name)));
      if (choice.applyToAll) remembered_ = choice;
    }
    ReplaceAnswer answer = choice.answer;
    if (answer == ReplaceAnswer::kOverwrite && (isSource || notAFile)) answer = ReplaceAnswer::kRename;
    switch (answer) {
      case ReplaceAnswer::kOverwrite:
        return Clash::kOverwrite;
      case ReplaceAnswer::kSkip:
        return Clash::kSkip;
      case ReplaceAnswer::kCancel:
        return Clash::kCancel;
      case ReplaceAnswer::kRename:
        break;
    }
    const std::string wanted = file.name;
    for (int n = 1; n < kMaxNumberedNames; ++n) {
      std::string candidate = NumberedName(wanted, n, options_.rules);
      if (folder.names.Taken(candidate) || in.Find(candidate) != DestinationFolder::Entry::kNone) continue;
      folder.names.Reserve(candidate);
      file.name = std::move(candidate);
      return Clash::kWriteNew;
    }
    return Clash::kSkip;
  }

  void Finish(PlannedFile& file, FileStatus status, std::string reason = {}) {
    file.status = status;
    file.reason = std::move(reason);
    switch (status) {
      case FileStatus::kWritten:
      case FileStatus::kWrittenWithGaps:
        ++out_.filesWritten;
        out_.bytesWritten += file.size;
        if (status == FileStatus::kWrittenWithGaps) ++out_.filesWithGaps;
        break;
      case FileStatus::kSkippedExisting:
      case FileStatus::kSkippedOverwritten:
      case FileStatus::kSkippedNoRecord:
      case FileStatus::kSkippedByUser:
        ++out_.skipped;
        break;
      case FileStatus::kFailed:
        ++out_.failed;
        break;
      default:
        break;
    }
  }

  void ShowFile(const PlannedFile& file) {
    Feedback& ui = Ui();
    ui.SetText(recovery_control::kFileName, file.row.name);
    ui.SetText(recovery_control::kFilePath, plan_.folders[file.folder].folderPath);
    ShowTotals(done_ + 1);
    ui.SetProgress(recovery_control::kFileProgress, 0, "");
    ShowTotal();
  }
  void ShowTotals(std::uint64_t files) {
    Ui().SetText(recovery_control::kTotals,
                 std::to_string(files) + " / " + std::to_string(plan_.totalFiles) + " files, " +
                     std::to_string(bytesDone_) + " / " + std::to_string(plan_.totalBytes) + " bytes");
  }
  void ShowTotal() {
    Ui().SetProgress(recovery_control::kTotalProgress, ProgressPercent(bytesDone_, plan_.totalBytes),
                     std::to_string(done_ + 1) + " / " + std::to_string(plan_.totalFiles));
  }

  void WriteFile(PlannedFile& file) {
    if (file.status != FileStatus::kPending) {
      Finish(file, file.status, std::move(file.reason));  // decided while counting
      return;
    }
    if (out_.cancelled) return Finish(file, FileStatus::kCancelled);
    if (out_.stopped || ctx_.StopRequested()) {
      out_.stopped = true;
      return Finish(file, FileStatus::kStopped);
    }
    ShowFile(file);
    // A Skip pressed between two files drops the one about to be written.
    if (skip_ && skip_->exchange(false)) return Finish(file, FileStatus::kSkippedByUser);
    std::string reason;
    DestinationFolder* in = EnterFolder(file.folder, &reason);
    if (!in) return Finish(file, FileStatus::kFailed, reason);
    PlannedFolder& folder = plan_.folders[file.folder];

    const FileData data = source_.Locate(file.row);
    file.method = data.method;
    if (data.failure) return Finish(file, FileStatus::kFailed, *data.failure);
    std::string cut;
    if (data.beyondVolume != 0) {
      // The file is as long as the volume holds; what its entry claims past that is missing.
      AddRange(file.unreadable, data.size, data.size + data.beyondVolume);
      cut = "its entry claims " + std::to_string(data.size + data.beyondVolume) +
            " bytes, the volume holds " + std::to_string(data.size) + " of them";
      file.size = data.size;
    }

    bool overwrite = false;
    if (in->Find(file.name) != DestinationFolder::Entry::kNone) {
      switch (ResolveClash(folder, *in, file)) {
        case Clash::kSkip:
          return Finish(file, FileStatus::kSkippedExisting);
        case Clash::kCancel:
          out_.cancelled = true;
          return Finish(file, FileStatus::kCancelled);
        case Clash::kOverwrite:
          overwrite = true;
          break;
        case Clash::kWriteNew:
          break;
      }
    }

    std::unique_ptr<OutputFile> output = in->CreateTemporaryFile(&reason);
    if (!output) return Finish(file, FileStatus::kFailed, reason);
    const std::uint64_t before = bytesDone_;
    switch (WriteData(file, data, *output, &reason)) {
      case DataResult::kDone:
        break;
      case DataResult::kStopped:
        out_.stopped = true;
        bytesDone_ = before;
        return Finish(file, FileStatus::kStopped);
      case DataResult::kSkipped:
        bytesDone_ = before;
        return Finish(file, FileStatus::kSkippedByUser);
      case DataResult::kFailed:
        bytesDone_ = before;
        return Finish(file, FileStatus::kFailed, reason);
    }
    // The file's own time, where the destination keeps one; the rename keeps it.
    const std::optional<std::time_t> when = data.modified ? std::optional<std::time_t>(*data.modified)
                                                          : FatEntryTime(file.row.fatDate, file.row.fatTime);
    if (when) output->SetModified(*when);
    if (!output->Close(&reason)) return Finish(file, FileStatus::kFailed, reason);
    // A file of the name may appear while this one was written; it gets the same question.
    for (int attempt = 0; attempt < 3; ++attempt) {
      const CommitResult committed = output->Commit(file.name, overwrite, &reason);
      if (committed == CommitResult::kDone) {
        file.writtenAs = folder.relative.empty() ? file.name : folder.relative + "/" + file.name;
        return Finish(file, file.unreadable.empty() ? FileStatus::kWritten : FileStatus::kWrittenWithGaps,
                      cut);
      }
      if (committed == CommitResult::kFailed) return Finish(file, FileStatus::kFailed, reason);
      switch (ResolveClash(folder, *in, file)) {
        case Clash::kSkip:
          return Finish(file, FileStatus::kSkippedExisting);
        case Clash::kCancel:
          out_.cancelled = true;
          return Finish(file, FileStatus::kCancelled);
        case Clash::kOverwrite:
          overwrite = true;
          break;
        case Clash::kWriteNew:
          break;
      }
    }
    Finish(file, FileStatus::kFailed, "a file of its name keeps appearing");
  }

  // Between two chunks: Stop ends the recovery, Skip drops this file.
  std::optional<DataResult> Interrupted() {
    if (ctx_.StopRequested()) return DataResult::kStopped;
    if (skip_ && skip_->exchange(false)) return DataResult::kSkipped;
    return std::nullopt;
  }

  bool Put(OutputFile& output, std::span<const std::uint8_t> bytes, PlannedFile& file, std::uint64_t& written,
           std::string* reason) {
    if (!output.Write(bytes, reason)) return false;
    written += bytes.size();
    bytesDone_ += bytes.size();
    Ui().SetProgress(recovery_control::kFileProgress, ProgressPercent(written, file.size), "");
    ShowTotal();
    return true;
  }

  // Reads one chunk of sectors into the buffer. Sectors that cannot be read come back as zeros;
  // they are found one by one and their bytes named as unreadable.
  void ReadChunk(std::uint64_t firstSector, std::uint32_t count, PlannedFile& file,
                 std::uint64_t fileOffset) {
    std::span<std::uint8_t> chunk(buffer_.data(), std::size_t{count} * kSectorSize);
    ReadReport report;
    if (ctx_.Read(firstSector, count, chunk, &report) != 0 || report.failedSectors == 0) return;
    for (std::uint32_t k = 0; k < count; ++k) {
      std::span<std::uint8_t> one = chunk.subspan(std::size_t{k} * kSectorSize, kSectorSize);
      if (ctx_.Read(firstSector + k, 1, one) != 0) continue;
      const std::uint64_t from = fileOffset + std::uint64_t{k} * kSectorSize;
      AddRange(file.unreadable, from, std::min(from + kSectorSize, file.size));
      ++file.unreadableSectors;
      ++out_.unreadableSectors;
    }
  }

  // Reads and decompresses one compression unit into unit_. Sectors that cannot be read, and
  // chunks that do not decompress, leave the unit's bytes from there on unsound: they are
  // written as they came out and named as unreadable.
  void ReadCompressedUnit(const DataPiece& piece, PlannedFile& file, std::uint64_t fileOffset) {
    std::uint64_t sectors = 0;
    for (const DataPiece::SectorRun& run : piece.compressed) sectors += run.sectorCount;
    packed_.assign(static_cast<std::size_t>(sectors * kSectorSize), 0);
    unit_.assign(static_cast<std::size_t>(piece.unitBytes), 0);
    std::size_t at = 0;
    std::uint64_t failed = 0;
    for (const DataPiece::SectorRun& run : piece.compressed) {
      ReadReport report;
      const std::span<std::uint8_t> into(packed_.data() + at,
                                         static_cast<std::size_t>(run.sectorCount * kSectorSize));
      ctx_.Read(run.firstSector, static_cast<std::uint32_t>(run.sectorCount), into, &report);
      failed += report.failedSectors;
      at += into.size();
    }
    std::uint64_t sound = DecompressLznt1(packed_, unit_);
    if (failed != 0) {
      // Where in the unit a bad sector's bytes would have gone is not known once compressed.
      sound = 0;
      file.unreadableSectors += failed;
      out_.unreadableSectors += failed;
    }
    if (sound < piece.length) AddRange(file.unreadable, fileOffset + sound, fileOffset + piece.length);
  }

  DataResult WriteData(PlannedFile& file, const FileData& data, OutputFile& output, std::string* reason) {
    std::uint64_t written = 0;
    const std::uint64_t size = data.size;
    for (const DataPiece& piece : data.pieces) {
      for (std::uint64_t done = 0; done < piece.length && written < size;) {
        if (auto stop = Interrupted()) return *stop;
        std::uint64_t want = std::min({piece.length - done, size - written, std::uint64_t{kChunkBytes}});
        // A compression unit is read and decompressed whole, then written from memory as resident
        // bytes are; bytes a piece in memory falls short of keep their place in the file, as zeros.
        DataPiece::Kind kind = piece.kind;
        const std::vector<std::uint8_t>* inMemory = nullptr;
        if (kind == DataPiece::Kind::kBytes) inMemory = &piece.bytes;
        if (kind == DataPiece::Kind::kLznt1) {
          if (done == 0) ReadCompressedUnit(piece, file, written);
          inMemory = &unit_;
        }
        if (inMemory) {
          if (done < inMemory->size()) {
            want = std::min<std::uint64_t>(want, inMemory->size() - done);
          } else {
            kind = DataPiece::Kind::kMissing;
          }
        }
        std::span<const std::uint8_t> bytes;
        switch (kind) {
          case DataPiece::Kind::kSectors: {
            const auto count = static_cast<std::uint32_t>((want + kSectorSize - 1) / kSectorSize);
            ReadChunk(piece.firstSector + done / kSectorSize, count, file, written);
            bytes = std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(want));
            break;
          }
          case DataPiece::Kind::kMissing:
            AddRange(file.unreadable, written, written + want);
            [[fallthrough]];
          case DataPiece::Kind::kZeros:
            std::fill_n(buffer_.begin(), static_cast<std::size_t>(want), std::uint8_t{0});
            bytes = std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(want));
            break;
          case DataPiece::Kind::kBytes:
          case DataPiece::Kind::kLznt1:
            bytes = std::span<const std::uint8_t>(inMemory->data() + done, static_cast<std::size_t>(want));
            break;
        }
        if (!Put(output, bytes, file, written, reason)) return DataResult::kFailed;
        done += bytes.size();
      }
    }
    // What no piece reached (a run past the end of the volume) is written as zeros.
    if (written == size) return DataResult::kDone;
    AddRange(file.unreadable, written, size);
    std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
    while (written < size) {
      if (auto stop = Interrupted()) return *stop;
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - written, kChunkBytes));
      if (!Put(output, std::span<const std::uint8_t>(buffer_.data(), n), file, written, reason))
        return DataResult::kFailed;
    }
    return DataResult::kDone;
  }

  const ScanContext& ctx_;
  RecoveryPlan& plan_;
  FileDataSource& source_;
  const RecoveryOptions& options_;
  std::atomic<bool>* skip_;
  RecoveryOutcome& out_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> packed_;  // a compression unit as read
  std::vector<std::uint8_t> unit_;    // and decompressed
  std::optional<ReplaceChoice> remembered_;
  std::uint64_t done_ = 0;
  std::uint64_t bytesDone_ = 0;
  struct OpenFolder {
    std::size_t folder;                         // index in the plan
    std::unique_ptr<DestinationFolder> handle;  // null while closed to keep few open
  };
  std::vector<OpenFolder> chain_;  // the destination first, each next one in the one before
};

std::string LocalTimeText() {
  const std::tm t = LocalTimeNow();
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &t);
  return text.data();
}

RecoveryReport MakeReport(const RecoveryPlan& plan, const RecoveryOptions& options,
                          const RecoveryOutcome& out) {
  RecoveryReport report;
  report.header = options.reportHeader;
  report.header.emplace_back("destination", Utf8FromPath(options.destination));
  report.header.emplace_back("written", LocalTimeText());
  report.header.emplace_back(
      "files", std::to_string(plan.files.size()) + " asked for, " + std::to_string(out.filesWritten) +
                   " written (" + std::to_string(out.filesWithGaps) + " with unreadable bytes), " +
                   std::to_string(out.skipped) + " skipped, " + std::to_string(out.failed) + " failed");
  report.header.emplace_back("unreadable sectors", std::to_string(out.unreadableSectors));
  if (out.stopped)
    report.header.emplace_back("stopped", "the recovery was stopped before every file was written");
  if (out.cancelled) report.header.emplace_back("cancelled", "Cancel was answered to a replace question");
  for (const PlannedFile& f : plan.files) {
    RecoveryReportFile line;
    line.status = std::string(FileStatusText(f.status));
    if (!f.reason.empty()) line.status += ": " + f.reason;
    line.estimate = std::string(RecoverabilityText(f.estimate));
    line.size = f.size;
    line.read = std::string(ReadMethodText(f.method));
    line.unreadable = f.unreadable;
    line.path = f.treePath;
    line.writtenAs = f.writtenAs;
    report.files.push_back(std::move(line));
  }
  report.notes = plan.notes;
  return report;
}

// The report goes beside the recovered files under a name none of them took, written like them.
void WriteReport(RecoveryPlan& plan, const RecoveryOptions& options, DestinationFolder& root,
                 RecoveryOutcome& out) {
  const std::string text = FormatRecoveryReport(MakeReport(plan, options, out));
  // The plan kept the name for the report; a file already in the destination still gets a number.
  std::string name(kRecoveryReportName);
  std::string error;
  std::unique_ptr<OutputFile> output = root.CreateTemporaryFile(&error);
  if (!output ||
      !output->Write(
          std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
          &error) ||
      !output->Close(&error)) {
    out.reportError = error;
    return;
  }
  for (int n = 1; n < kMaxNumberedNames; ++n) {
    const CommitResult committed = output->Commit(name, false, &error);
    if (committed == CommitResult::kDone) {
      out.report = options.destination / PathFromUtf8(name);
      return;
    }
    if (committed == CommitResult::kFailed) break;
    name = NumberedName(std::string(kRecoveryReportName), n, options.rules);
  }
  out.reportError = error.empty() ? "no free name for the report" : error;
}

}  // namespace

RecoveryOutcome WriteRecovery(const ScanContext& ctx, RecoveryPlan& plan, FileDataSource& source,
                              const RecoveryOptions& options, std::atomic<bool>* skip) {
  RecoveryOutcome out;
  if (plan.folders.empty()) return out;
  std::error_code ec;
  const bool existed = fs::exists(options.destination, ec);
  fs::create_directories(options.destination, ec);
  if (!fs::is_directory(options.destination)) {
    out.failure = "cannot make the destination folder " + Utf8FromPath(options.destination) +
                  (ec ? ": " + ec.message() : std::string(": it is not a folder"));
    return out;
  }
  std::string error;
  std::unique_ptr<DestinationFolder> opened = OpenDestinationFolder(options.destination, &error);
  if (!opened) {
    out.failure = "cannot open the destination folder " + Utf8FromPath(options.destination) + ": " + error;
    return out;
  }
  PlannedFolder& root = plan.folders.front();
  root.made = true;
  root.madeByUs = !existed;
  // The destination itself keeps its own time: it is no folder of the volume.
  root.modified.reset();
  Writer writer(ctx, plan, source, options, skip, out, std::move(opened));
  writer.Run();
  if (options.writeReport) WriteReport(plan, options, writer.Root(), out);
  return out;
}

}  // namespace quarrow
