#include <unistd.h>

#include <array>

#include "disk/platform.h"

namespace quarrow {

// POSIX systems read disks as files, as the NT family does.
OsFamily DetectOsFamily() {
  return OsFamily::kNt;
}

std::string LocalSystemName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return "";
  return std::string(name.data());
}

}  // namespace quarrow
