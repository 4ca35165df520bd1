#pragma once
// The listing fls gives of an exFAT card, as the tests compare it: the volume's own files
// ($ALLOC_BITMAP, $UPCASE_TABLE), the label entry and the virtual entries are not files of the card
// and are left out.

#include <ctime>
#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_disks.h"

namespace quarrow::testing {

struct FlsEntry {
  bool folder = false, deleted = false;
  std::uint64_t inode = 0, size = 0;
  std::string path;
  std::time_t mtime = 0;
};

inline std::vector<FlsEntry> ParseFls(const std::string& text) {
  std::vector<FlsEntry> out;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 7 || line[0] == 'v' || line[0] == 'V') continue;
    if (f[1].find("(Volume Label Entry)") != std::string::npos || f[1] == "$ALLOC_BITMAP" ||
        f[1] == "$UPCASE_TABLE")
      continue;
    FlsEntry e;
    e.folder = f[0][2] == 'd';
    e.deleted = f[0].find(" * ") != std::string::npos;
    e.inode = std::stoull(f[0].substr(f[0].rfind(' ', f[0].rfind(':')) + 1));
    e.path = f[1];
    std::tm t{};
    std::istringstream(f[2]) >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
    e.mtime = timegm(&t);
    e.size = std::stoull(f[6]);
    out.push_back(e);
  }
  return out;
}

// "d PATH" / "f PATH SIZE", with " *" for a deleted one: one line per entry, as both sides give it.
inline std::set<std::string> FlsLines(const std::vector<FlsEntry>& fls) {
  std::set<std::string> lines;
  for (const FlsEntry& e : fls)
    lines.insert((e.folder ? "d " + e.path : "f " + e.path + " " + std::to_string(e.size)) +
                 (e.deleted ? " *" : ""));
  return lines;
}

}  // namespace quarrow::testing
