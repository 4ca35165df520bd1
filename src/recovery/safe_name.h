#pragma once
// Names read from a disk made safe to write on the destination. A name comes from a damaged or
// hostile directory and may hold a slash, NUL, control bytes, "..", a device name or more bytes
// than a name may have; what is written is always one harmless name inside its folder, as close to
// the original as the destination allows. UTF-8 names are written as they are.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

namespace quarrow {

struct NameRules {
  // Windows names: none of < > : " \ | ? *, no trailing dot or space, no device name (CON, NUL,
  // COM1...), at most 255 UTF-16 units, and names differing in letter case are the same name.
  // Otherwise POSIX names: no "/" and at most 255 bytes.
  bool windows = false;
};

// The rules of the system this program writes on (a backend file per platform).
NameRules DestinationNameRules();

// One name that the destination takes as it is and that stays inside its folder: bytes that are
// no UTF-8 and characters the destination refuses (control characters, NUL, "/") become "_", "."
// and ".." become "_" and "__", an empty name "_", a Windows device name gets a "_" in front, and
// a name too long is cut (keeping its extension) at a character boundary.
std::string SafeName(std::string_view name, const NameRules& rules);

// The n-th alternative of a safe name: "name (n).ext" ("photo (2).jpg", "README (1)"), cut to
// fit like SafeName.
std::string NumberedName(std::string_view safeName, int n, const NameRules& rules);

// The names already given in one folder, so that two files whose names are equal (or become equal
// once made safe) do not land on each other: the later ones get " (1)", " (2)"...
class FolderNames {
 public:
  explicit FolderNames(const NameRules& rules) : rules_(rules) {}
  // A safe name for name not given yet in this folder, recorded as given.
  std::string Claim(std::string_view name);
  // Records a name as given (a folder that exists already, say); false when it was.
  bool Reserve(const std::string& safeName);
  bool Taken(const std::string& safeName) const;

 private:
  std::string Key(const std::string& safeName) const;

  NameRules rules_;
  std::unordered_set<std::string> taken_;
};

}  // namespace quarrow
