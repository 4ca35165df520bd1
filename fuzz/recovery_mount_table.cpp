// The mount-table reader over any text, and the mount it finds for a path: always one whose mount
// point is the path or an ancestor of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "recovery/mount_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<quarrow::MountEntry> mounts = quarrow::ParseMountInfo(text);
  for (std::string_view path : {"/", "/media/stick/DCIM", "/tmp/x y", "relative"}) {
    const quarrow::MountEntry* m = quarrow::MountHolding(mounts, path);
    if (!m) continue;
    const std::string& point = m->mountPoint;
    const bool holds = point == "/" ? path.front() == '/'
                                    : path.substr(0, point.size()) == point &&
                                          (path.size() == point.size() || path[point.size()] == '/');
    if (!holds) std::abort();
  }
  return 0;
}
