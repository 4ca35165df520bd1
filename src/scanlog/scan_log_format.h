#pragma once
// The byte layout of a scan log (.QLG): what a finished scan needs to be shown again without
// reading the disk. Little-endian, no padding; texts are bytes without a terminator after their
// length. This file knows only the bytes; the session that saves and loads a log builds on it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/volume.h"

namespace quarrow {

inline constexpr std::string_view kScanLogMagic = "QRWWIN7SR2009";
// Every refusal of a log, whatever was wrong with it, shows this one text.
inline constexpr std::string_view kScanLogRefusal =
    "Either the selected log file is corrupted or you have selected the wrong disk for recovery.";
inline constexpr std::string_view kScanLogFloppyMessage = "Recovery can not be saved for Floppy";
// The model and the three type and mode texts pass through 50-byte buffers.
inline constexpr std::size_t kScanLogTextMax = 49;
// Bytes of a folder record after its length and name: self, parent, date, time, deleted.
inline constexpr std::uint32_t kFolderRecordFixedBytes = 25;

// One FolderNode as the log keeps it.
struct ScanLogFolderRecord {
  std::string name;
  std::uint32_t self = 0;
  std::uint32_t parent = 0;
  std::int64_t date = 0;
  std::int64_t time = 0;
  std::uint8_t deleted = 0;  // stored, but a loaded folder's "Deleted" cell stays empty

  bool operator==(const ScanLogFolderRecord&) const = default;
};

// One PendingEntryTable row (an NTFS file) as the log keeps it.
struct ScanLogFileRecord {
  std::string name;
  std::uint32_t sector = 0;
  std::uint32_t self = 0;
  std::uint32_t parent = 0;
  std::int64_t date = 0;
  std::uint32_t size = 0;
  std::uint32_t deleted = 0;

  bool operator==(const ScanLogFileRecord&) const = default;
};

// Every field of the file after the magic, in file order.
struct ScanLog {
  std::string model;                  // the selected disk's "Model" text
  std::uint8_t searchMode = 0;        // low byte of SearchMode; a load forces mode 1 anyway
  std::uint8_t diskNumber = 0;        // the selected disk
  std::uint8_t searchDiskNumber = 0;  // the disk the search ran on
  std::uint8_t partitionIndex = 0;    // 0-based
  std::string partitionType;          // "FAT16", "FAT32", "NTFS" or "exFAT"
  std::string searchModeText;         // "Standard Search" or "Advance Search"
  std::int64_t startSector = 0;
  std::int64_t endSector = 0;
  VolumeGeometry geometry;
  // The working copy: its first eight fields are the FAT fields, the last four the NTFS fields,
  // which is the order the file stores them in.
  VolumeGeometry activeGeometry;
  std::string activeType;  // the working copy's type text
  std::vector<ScanLogFolderRecord> folders;
  std::vector<ScanLogFileRecord> files;  // written and read only when HasFileSection

  bool operator==(const ScanLog&) const = default;
};

// Only NTFS and exFAT logs carry their files: a FAT folder lists its files from the disk again.
inline bool HasFileSection(const ScanLog& log) {
  const std::optional<FsType> type = FsTypeFromText(log.activeType);
  return type && KeepsFilesInTables(*type);
}

// The part of a text that a log keeps: at most kScanLogTextMax bytes, cut before a UTF-8
// sequence rather than through it.
std::string_view ScanLogText(std::string_view text);

// The bytes of a log file. Texts longer than kScanLogTextMax are stored as ScanLogText of them, so
// that every log written can be loaded again; files are written only when HasFileSection.
std::vector<std::uint8_t> EncodeScanLog(const ScanLog& log);

// The fields of a log file, or nullopt (show kScanLogRefusal) for a file that is truncated, has
// a text longer than its buffer, a folder record shorter than its fixed part, or a count or
// length that runs past the end. The magic is not compared: logs are recognised by their model.
// Bytes after the last record are ignored.
std::optional<ScanLog> DecodeScanLog(ByteSpan bytes);

// True when the log was saved on a disk whose model text is currentModel (exact, case-sensitive).
bool ScanLogModelMatches(const ScanLog& log, std::string_view currentModel);

// A search of the floppy drive cannot be saved to a log; say kScanLogFloppyMessage instead. Any
// other disk's volume can, FAT12 ones too (memory cards and small sticks carry FAT12).
inline bool ScanLogAllowed(bool floppyDisk) {
  return !floppyDisk;
}

}  // namespace quarrow
