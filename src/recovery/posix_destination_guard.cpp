#include "recovery/posix_destination_guard.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "recovery/destination_guard.h"
#include "recovery/mount_table.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;

// Device-mapper stacks are a few levels deep; a sysfs tree that names more is not followed further.
constexpr std::size_t kMaxStackedDisks = 256;

std::string ReadSmallFile(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::optional<DeviceNumber> DeviceFile(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder / "dev", ec)) return std::nullopt;
  return ParseDeviceNumber(ReadSmallFile(folder / "dev"));
}

DeviceNumber FromDev(dev_t dev) {
  return {static_cast<std::uint32_t>(major(dev)), static_cast<std::uint32_t>(minor(dev))};
}

FileNumber FileNumberOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// One disk of /sys/block: its device, its partitions' devices and the names that hold any of them.
struct SysfsDisk {
  std::optional<DeviceNumber> device;
  std::vector<DeviceNumber> partitions;
  std::vector<std::string> holders;
};

std::vector<std::string> Holders(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder / "holders", ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}

std::map<std::string, SysfsDisk> ReadDisks(const std::string& sysRoot) {
  std::map<std::string, SysfsDisk> disks;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot) / "block", ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path folder = it->path();
    SysfsDisk disk;
    disk.device = DeviceFile(folder);
    disk.holders = Holders(folder);
    std::error_code inner;
    for (fs::directory_iterator p(folder, inner), pend; !inner && p != pend; p.increment(inner)) {
      std::error_code test;
      if (!fs::exists(p->path() / "partition", test)) continue;
      if (const auto dev = DeviceFile(p->path())) disk.partitions.push_back(*dev);
      for (std::string& holder : Holders(p->path())) disk.holders.push_back(std::move(holder));
    }
    disks.emplace(folder.filename().string(), std::move(disk));
  }
  return disks;
}

// The nearest folder of path (made absolute) that exists, with symbolic links resolved.
std::optional<fs::path> NearestExisting(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec).lexically_normal();
  if (ec) return std::nullopt;
  while (!fs::exists(p, ec)) {
    if (!p.has_parent_path() || p.parent_path() == p) return std::nullopt;
    p = p.parent_path();
  }
  fs::path real = fs::canonical(p, ec);
  if (ec) return std::nullopt;
  return real;
}

std::string Refusal(const std::string& destination, const std::string& label) {
  return "the destination " + destination + " is on the disk being recovered (" + label +
         "): files written there could overwrite the data still to be recovered; choose a folder on another "
         "disk";
}

}  // namespace

std::optional<DeviceNumber> ParseDeviceNumber(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  DeviceNumber d;
  const char* end = text.data() + text.size();
  auto [m1, e1] = std::from_chars(text.data(), text.data() + colon, d.major);
  auto [m2, e2] = std::from_chars(text.data() + colon + 1, end, d.minor);
  if (e1 != std::errc{} || e2 != std::errc{} || m1 != text.data() + colon || m2 != end) return std::nullopt;
  return d;
}

std::set<DeviceNumber> DevicesOfDisk(const std::string& sysRoot, DeviceNumber device) {
  std::set<DeviceNumber> devices{device};
  const std::map<std::string, SysfsDisk> disks = ReadDisks(sysRoot);
  std::deque<std::string> pending;
  for (const auto& [name, disk] : disks) {
    bool mine = disk.device == device;
    for (const DeviceNumber& p : disk.partitions) mine = mine || p == device;
    if (mine) pending.push_back(name);
  }
  std::set<std::string> seen;
  while (!pending.empty() && seen.size() < kMaxStackedDisks) {
    const std::string name = pending.front();
    pending.pop_front();
    if (!seen.insert(name).second) continue;
    auto it = disks.find(name);
    if (it == disks.end()) continue;
    if (it->second.device) devices.insert(*it->second.device);
    devices.insert(it->second.partitions.begin(), it->second.partitions.end());
    for (const std::string& holder : it->second.holders) pending.push_back(holder);
  }
  return devices;
}

std::vector<DeviceNumber> LoopDevicesBackedBy(const std::string& sysRoot, const std::string& imagePath) {
  std::vector<DeviceNumber> loops;
  std::error_code ec;
  const fs::path image = fs::canonical(imagePath, ec);
  if (ec) return loops;
  for (fs::directory_iterator it(fs::path(sysRoot) / "block", ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path backing = it->path() / "loop" / "backing_file";
    std::error_code test;
    if (!fs::exists(backing, test)) continue;
    const std::string named = ReadSmallFile(backing);
    // The kernel keeps the path the file was attached by; the same file may be named otherwise.
    std::error_code same;
    if (named == image.string() || fs::equivalent(named, image, same)) {
      if (const auto dev = DeviceFile(it->path())) loops.push_back(*dev);
    }
  }
  return loops;
}

std::optional<std::string> CheckDestinationAgainst(const std::set<DeviceNumber>& sourceDevices,
                                                   const std::set<FileNumber>& sourceFiles,
                                                   const std::string& destination, const std::string& label,
                                                   const LinuxSystemFiles& files) {
  if (sourceDevices.empty() && sourceFiles.empty()) return std::nullopt;
  const std::optional<fs::path> folder = NearestExisting(destination);
  if (!folder) return std::nullopt;
  struct stat st {};
  if (::stat(folder->c_str(), &st) != 0) return std::nullopt;
  if (sourceDevices.count(FromDev(st.st_dev))) return Refusal(destination, label);
  // A FUSE mount (ntfs-3g of a partition, say) gives its files a device of its own; the mount
  // table still names the partition it reads.
  const std::vector<MountEntry> mounts = ParseMountInfo(ReadSmallFile(files.mountInfo));
  const MountEntry* mount = MountHolding(mounts, folder->string());
  if (!mount) return std::nullopt;
  if (sourceDevices.count(DeviceNumber{mount->major, mount->minor})) return Refusal(destination, label);
  struct stat source {};
  if (mount->source.empty() || mount->source.front() != '/' || ::stat(mount->source.c_str(), &source) != 0)
    return std::nullopt;
  if (S_ISBLK(source.st_mode) && sourceDevices.count(FromDev(source.st_rdev)))
    return Refusal(destination, label);
  // ntfs-3g mounts an image file without a loop device: the mount names the file itself.
  if (S_ISREG(source.st_mode) && sourceFiles.count(FileNumberOf(source))) return Refusal(destination, label);
  return std::nullopt;
}

std::optional<std::string> LoopBackingFile(const std::string& sysRoot, DeviceNumber device) {
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot) / "block", ec), end; !ec && it != end; it.increment(ec)) {
    if (DeviceFile(it->path()) != device) continue;
    const fs::path backing = it->path() / "loop" / "backing_file";
    std::error_code test;
    if (fs::exists(backing, test)) return ReadSmallFile(backing);
  }
  return std::nullopt;
}

std::optional<std::string> CheckDestination(const std::string& sourcePath, const std::string& destination,
                                            const LinuxSystemFiles& files) {
  struct stat st {};
  if (::stat(sourcePath.c_str(), &st) != 0) return std::nullopt;
  std::set<DeviceNumber> devices;
  // Images whose loop devices are the source too: an image is written through only while a loop
  // device over it has its file systems mounted, and two loop devices over one file are one disk.
  std::vector<std::string> images;
  if (S_ISBLK(st.st_mode)) {
    devices = DevicesOfDisk(files.sysRoot, FromDev(st.st_rdev));
    for (const DeviceNumber& device : devices) {
      if (auto file = LoopBackingFile(files.sysRoot, device)) images.push_back(*file);
    }
  } else if (S_ISREG(st.st_mode)) {
    images.push_back(sourcePath);
  }
  std::set<FileNumber> imageFiles;
  for (const std::string& image : images) {
    struct stat file {};
    if (::stat(image.c_str(), &file) == 0 && S_ISREG(file.st_mode)) imageFiles.insert(FileNumberOf(file));
    for (const DeviceNumber& loop : LoopDevicesBackedBy(files.sysRoot, image)) {
      const std::set<DeviceNumber> more = DevicesOfDisk(files.sysRoot, loop);
      devices.insert(more.begin(), more.end());
    }
  }
  return CheckDestinationAgainst(devices, imageFiles, destination, sourcePath, files);
}

std::optional<std::string> DestinationOnSourceDisk(const std::string& sourcePath,
                                                   const std::string& destination) {
  return CheckDestination(sourcePath, destination, LinuxSystemFiles{});
}

}  // namespace quarrow
