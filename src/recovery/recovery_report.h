#pragma once
// The recovery report: a text file written beside the recovered files that lists every file the
// recovery was asked for, what became of it, its recoverability estimate and the byte ranges that
// could not be read (and were written as zeros). One line a file, fields separated by tabs, so
// that it reads in a text editor and parses with a split:
//
//   Quarrow recovery report
//   source<TAB>/dev/sdb
//   ...
//   <empty line>
//   # status<TAB>estimate<TAB>size<TAB>read<TAB>unreadable<TAB>path<TAB>written as
//   file<TAB>written<TAB>-<TAB>300<TAB>chain<TAB>-<TAB>DCIM/IMG_0001.JPG<TAB>DCIM/IMG_0001.JPG
//   file<TAB>written, unreadable bytes zero-filled<TAB>intact<TAB>5000<TAB>contiguous<TAB>512-1023<TAB>...
//   note<TAB>a/b: not recovered, it was reached twice
//
// Names come from the disk: a tab, a line break, a backslash, a control byte or a byte that is no
// UTF-8 in a field is written as \t, \n, \r, \\ or \xHH, an empty field as "-" (and a field that
// is "-" as \x2d), so every line stays one line and the text stays UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recovery/recovery_types.h"

namespace quarrow {

inline constexpr std::string_view kRecoveryReportTitle = "Quarrow recovery report";
inline constexpr std::string_view kRecoveryReportName = "recovery-report.txt";

struct RecoveryReportFile {
  std::string status;    // FileStatusText, followed by ": reason" for a failure
  std::string estimate;  // RecoverabilityText; empty for a live file
  std::uint64_t size = 0;
  std::string read;                   // ReadMethodText
  std::vector<ByteRange> unreadable;  // ascending, not touching
  std::string path;                   // the file's path in the results tree, "/" between names
  std::string writtenAs;              // its path below the destination; empty when not written
  bool operator==(const RecoveryReportFile&) const = default;
};

struct RecoveryReport {
  std::vector<std::pair<std::string, std::string>> header;  // shown first, one "key<TAB>value" a line
  std::vector<RecoveryReportFile> files;
  std::vector<std::string> notes;  // what concerns folders rather than files
  bool operator==(const RecoveryReport&) const = default;
};

std::string FormatRecoveryReport(const RecoveryReport& report);

// The report of a text FormatRecoveryReport wrote; nullopt when the text is not one. Files and
// notes come back in their own orders (a note's place among the files is not kept).
std::optional<RecoveryReport> ParseRecoveryReport(std::string_view text);

// One field as the report writes it, and back (nullopt for a malformed escape).
std::string EscapeReportField(std::string_view text);
std::optional<std::string> UnescapeReportField(std::string_view field);

}  // namespace quarrow
