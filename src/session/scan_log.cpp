#include "session/scan_log.h"

#include <map>
#include <memory>
#include <utility>

#include "exfat/directory_walk.h"
#include "exfat/exfat_volume.h"
#include "fat/directory_passes.h"
#include "fat/fat_reader.h"
#include "fat/fat_volume.h"
#include "results/carved_folders.h"
#include "results/folder_tree.h"
#include "scan/scan_context.h"
#include "scanlog/scan_log_file.h"
#include "scanlog/scan_log_rows.h"

namespace quarrow {
namespace {

std::string_view ModeText(SearchMode mode) {
  return mode == SearchMode::kAdvance ? "Advance Search" : "Standard Search";
}

LoadLogOutcome Refused() {
  LoadLogOutcome outcome;
  outcome.message = std::string(kScanLogRefusal);
  return outcome;
}

}  // namespace

SaveLogOutcome SaveScanLog(const ScanContext& ctx, const ScanLogSelection& selection,
                           const std::string& path) {
  SaveLogOutcome outcome;
  if (!ScanLogAllowed(selection.floppy)) {
    outcome.message = std::string(kScanLogFloppyMessage);
    outcome.title = "Error";
    return outcome;
  }
  ScanLog log;
  log.model = selection.model;
  log.searchMode = static_cast<std::uint8_t>(static_cast<std::int16_t>(selection.mode) & 0xFF);
  log.diskNumber = static_cast<std::uint8_t>(selection.diskNumber);
  log.searchDiskNumber = static_cast<std::uint8_t>(selection.searchDiskNumber);
  log.partitionIndex = static_cast<std::uint8_t>(selection.partitionIndex);
  log.partitionType = std::string(FsTypeText(ctx.partitionType));
  log.searchModeText = std::string(ModeText(selection.mode));
  log.startSector = static_cast<std::int64_t>(ctx.searchStart);
  log.endSector = static_cast<std::int64_t>(ctx.searchEnd);
  log.geometry = ctx.geometry;
  log.activeGeometry = ctx.activeGeometry;
  log.activeType = std::string(FsTypeText(ctx.activeGeometry.type));
  for (const FolderNode& node : ctx.results.folderNodes) {
    // A folder of carved files would come back as a folder whose key reads no directory.
    if (IsCarvedFolderKey(node.self)) continue;
    log.folders.push_back(FolderRecordFromNode(node));
  }
  if (HasFileSection(log)) {
    const TextTable& files = ctx.results.tables.PendingEntryTable;
    for (int row = 0; row < files.RowCount(); ++row) log.files.push_back(FileRecordFromRow(files, row));
  }
  std::string error;
  if (!WriteScanLogFile(path, EncodeScanLog(log), &error)) {
    outcome.message = std::string(kScanLogUnableToOpen);
    if (!error.empty()) outcome.message += ": " + error;
    outcome.title = std::string(kProductTitle);
    return outcome;
  }
  outcome.saved = true;
  outcome.carvedLeftOut = ctx.results.carvedFiles.size();
  return outcome;
}

std::string CarvedLeftOutText(std::size_t carved) {
  return "the scan log does not keep the " + std::to_string(carved) + (carved == 1 ? " carved file" : " carved files") +
         "; an Advance search finds " + (carved == 1 ? "it" : "them") + " again";
}

LoadLogOutcome LoadScanLog(ScanContext& ctx, const std::string& path, std::string_view currentModel) {
  const std::optional<std::vector<std::uint8_t>> bytes = ReadScanLogFile(path, nullptr);
  if (!bytes) return Refused();
  return LoadScanLogBytes(ctx, *bytes, currentModel);
}

LoadLogOutcome LoadScanLogBytes(ScanContext& ctx, ByteSpan bytes, std::string_view currentModel) {
  const std::optional<ScanLog> log = DecodeScanLog(bytes);
  if (!log || !ScanLogModelMatches(*log, currentModel)) return Refused();
  // A log whose types or range no scan could have written is refused like a damaged one.
  const std::optional<FsType> type = FsTypeFromText(log->partitionType);
  const std::optional<FsType> active = FsTypeFromText(log->activeType);
  if (!type || !active || log->startSector < 0 || log->endSector < log->startSector) return Refused();

  Feedback& ui = ctx.Ui();
  ctx.partitionType = *type;
  ctx.searchStart = static_cast<std::uint64_t>(log->startSector);
  ctx.searchEnd = static_cast<std::uint64_t>(log->endSector);
  ctx.ResetForScan();
  ctx.geometry = log->geometry;
  ctx.activeGeometry.CopyFrom(log->activeGeometry, *active);
  ctx.results.volumeType = *active;

  TextTable& folders = ctx.results.tables.EntryTable;
  const std::size_t total = log->folders.size() + log->files.size();
  std::size_t done = 0;
  const auto progress = [&] {
    ui.SetProgress(control::kProgress, ProgressPercent(done++, total), "Completed ");
  };
  ui.ShowControl(control::kProgress, true);
  for (std::size_t j = 0; j < log->folders.size(); ++j, progress())
    InsertFolderRow(folders, static_cast<int>(j), log->folders[j]);
  if (KeepsFilesInTables(*active)) {
    TextTable& files = ctx.results.tables.PendingEntryTable;
    for (std::size_t j = 0; j < log->files.size(); ++j, progress())
      InsertFileRow(files, static_cast<int>(j), log->files[j]);
  }
  ui.ShowControl(control::kProgress, false);
  folders.Sort(entry_col::kParent);

  if (KeepsFilesInTables(*active)) {
    BuildFolderTree(ctx.results);
    if (*active == FsType::kExfat) {
      // The label is the root's, read again as a FAT log's is.
      const ExfatLayout layout = ExfatLayoutFromGeometry(ctx.activeGeometry, ctx.searchStart, ctx.searchEnd);
      ctx.results.volumeLabel = ReadExfatRoot(ctx, layout).label.value_or("");
    }
  } else if (IsFat(*type)) {
    RebuildFatTree(ctx.results);
    // The files of a FAT folder are read from the disk each time it is shown.
    auto fat = std::make_shared<FatReader>(ctx);
    ctx.results.volumeLabel = ReadVolumeLabel(ctx, *fat).value_or("");
    BindFatVolume(ctx, fat);
  }
  // The rows' "Deleted" cells stay empty, as a log's loader has always left them; the mark each
  // folder record carries is given back to its node, so that a deleted folder still shows as
  // deleted (and one whose cluster another file took is not listed from that file's bytes).
  std::map<std::pair<std::uint32_t, std::uint32_t>, bool> deleted;
  for (const ScanLogFolderRecord& f : log->folders)
    deleted[{f.self, f.parent}] = deleted[{f.self, f.parent}] || f.deleted;
  for (FolderNode& node : ctx.results.folderNodes) {
    auto it = deleted.find({node.self, node.parent});
    if (it != deleted.end() && it->second) node.deleted = true;
  }

  LoadLogOutcome outcome;
  outcome.loaded = true;
  outcome.partitionIndex = log->partitionIndex;
  outcome.searchModeText = log->searchModeText;
  outcome.mode = SearchMode::kStandard;
  return outcome;
}

}  // namespace quarrow
