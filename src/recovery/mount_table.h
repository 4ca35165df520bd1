#pragma once
// The mount table of a Linux system as /proc/self/mountinfo lists it, one mount a line:
//   36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue
// (mount id, parent id, device major:minor, root within the file system, mount point, options,
// optional fields up to "-", then the file-system type, the mount source and its options; spaces,
// tabs, newlines and backslashes in paths are written as \040, \011, \012 and \134). Reading it
// is plain text work and builds anywhere; only the posix backend asks the kernel for it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow {

struct MountEntry {
  std::uint32_t major = 0, minor = 0;  // the device st_dev reports for files under the mount
  std::string root;                    // the folder of the file system mounted there
  std::string mountPoint;
  std::string fsType;
  std::string source;  // "/dev/loop0p1" for a disk's file system; "none", "tmpfs"... otherwise
};

// The mounts of mountinfo text, in its order; lines that do not parse are passed over.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mount that holds an absolute, normalised path: the one with the longest mount point that
// is the path or one of its ancestors, the latest one when several share that mount point (the
// later hides the earlier). Null when none does.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path);

}  // namespace quarrow
