#pragma once
// Saving a finished scan to a log file (.QLG) and loading it back without reading the disk
// again. A log can be loaded only while a disk with the same model text is selected. A load
// either succeeds whole or changes nothing: every refusal says the one text kScanLogRefusal and
// leaves the session where it was (the partition page, for the wizard).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/volume.h"
#include "scanlog/scan_log_format.h"

namespace quarrow {

struct ScanContext;

// What the wizard's pages remember about the search besides the scan state.
struct ScanLogSelection {
  std::string model;  // the selected disk's model text
  int diskNumber = 0;
  int searchDiskNumber = 0;
  int partitionIndex = 0;  // 0-based
  SearchMode mode = SearchMode::kStandard;
  bool floppy = false;  // the disk searched is the floppy drive
};

struct SaveLogOutcome {
  bool saved = false;
  std::string message;  // what the user is told when not saved ("Unable to open file", ...)
  std::string title;    // the message box's title
  // Carved files the log leaves out: it keeps folders and file entries, and a carved file is
  // neither. A loaded log shows the volume without them (a new Advance search finds them again).
  std::size_t carvedLeftOut = 0;
};

// What the user is told when a saved log left carved files out ("the scan log does not keep the 13
// carved files; ..."), in lower case to follow a prefix; the wizard's message begins it in capitals.
std::string CarvedLeftOutText(std::size_t carved);

// Writes the log of ctx's finished scan (its range, both geometry records, every folder node but
// the folders of carved files and, for NTFS, every file row) to path, through a temporary file that replaces path only when whole.
SaveLogOutcome SaveScanLog(const ScanContext& ctx, const ScanLogSelection& selection,
                           const std::string& path);

struct LoadLogOutcome {
  bool loaded = false;
  std::string message;         // kScanLogRefusal when refused
  int partitionIndex = 0;      // what the log says of the page it was saved on
  std::string searchModeText;  // "Standard Search" or "Advance Search"
  // SearchMode after any load is the Standard search's, whatever the log was saved from.
  SearchMode mode = SearchMode::kStandard;
};

// Reads the log at path for the disk ctx reads (whose model text is currentModel) and makes it
// ctx's scan: the range, the geometry, the folders rebuilt into the results tree (FAT: by their
// parents' clusters, their files read from the disk when a folder is shown; NTFS: the tree and
// its files from the log). ctx is changed only when the log is loaded.
LoadLogOutcome LoadScanLog(ScanContext& ctx, const std::string& path, std::string_view currentModel);
// The same from the bytes of a log file.
LoadLogOutcome LoadScanLogBytes(ScanContext& ctx, ByteSpan bytes, std::string_view currentModel);

}  // namespace quarrow
