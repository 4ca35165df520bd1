#include "disk/sysfs_inventory.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "disk/platform.h"

namespace quarrow {
namespace fs = std::filesystem;
namespace {

std::string Trim(std::string text) {
  const char* space = " \t\r\n";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(space);
  return text.substr(first, last - first + 1);
}

// The first line of a sysfs attribute, trimmed; "" when it is missing or unreadable.
std::string ReadAttribute(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return "";
  std::string line;
  std::getline(in, line);
  return Trim(line);
}

std::optional<std::uint64_t> ReadNumber(const fs::path& path) {
  const std::string text = ReadAttribute(path);
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The serial number of the USB device a disk hangs off: the nearest folder above the disk that
// has both idVendor and serial. The walk stops at the sysfs root.
std::string UsbSerial(const fs::path& resolved, const fs::path& root) {
  fs::path at = resolved;
  for (int depth = 0; depth < 16 && at.has_parent_path() && at != root && at != at.parent_path(); ++depth) {
    at = at.parent_path();
    std::error_code ec;
    if (fs::exists(at / "idVendor", ec) && fs::exists(at / "serial", ec)) return ReadAttribute(at / "serial");
  }
  return "";
}

struct Candidate {
  std::string name;
  DiskRecord record;
  bool removable = false;
};

}  // namespace

std::optional<DiskGeometry> ProbeGeometryIoctl(const std::string& deviceNode) {
  int fd = ::open(deviceNode.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct hd_geometry geo {};
  const int rc = ::ioctl(fd, HDIO_GETGEO, &geo);
  ::close(fd);
  if (rc != 0 || geo.heads == 0 || geo.sectors == 0) return std::nullopt;
  return DiskGeometry{geo.heads, geo.sectors};
}

SysfsInventory::SysfsInventory(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), probe_(ProbeGeometryIoctl) {}

std::vector<DiskRecord> SysfsInventory::Enumerate(Feedback& feedback) {
  (void)feedback;  // nothing here is worth a message: a disk that cannot be read is simply absent
  const fs::path root(sysfsRoot_);
  std::error_code ec;
  const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
  std::vector<Candidate> candidates;
  fs::directory_iterator it(root / "block", ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path block = it->path();
    std::error_code rec;
    fs::path resolved = fs::canonical(block, rec);
    if (rec) resolved = block;
    const std::string where = resolved.generic_string();
    if (Contains(where, "/devices/virtual/")) continue;
    if (name.rfind("sr", 0) == 0 || name.rfind("fd", 0) == 0) continue;
    if (ReadAttribute(block / "device" / "type") == "5") continue;  // a SCSI optical drive
    const auto sectors512 = ReadNumber(block / "size");
    if (!sectors512 || *sectors512 == 0) continue;

    const bool usb = Contains(where, "/usb");
    const bool mmc = Contains(where, "/mmc") || name.rfind("mmcblk", 0) == 0;
    // SD cards sit in readers that report them fixed; eMMC chips soldered to the board ("MMC")
    // stay fixed.
    const bool sdCard = mmc && ReadAttribute(block / "device" / "type") == "SD";
    const bool removable = ReadAttribute(block / "removable") == "1" || usb || sdCard;

    Candidate c;
    c.name = name;
    c.removable = removable;
    DiskRecord& d = c.record;
    d.MediaType = removable ? kRemovableMediaType : kFixedMediaType;
    d.InterfaceType = usb ? "USB" : mmc ? "SD" : Contains(where, "/ata") ? "IDE" : "SCSI";
    const std::string vendor = ReadAttribute(block / "device" / "vendor");
    std::string model = ReadAttribute(block / "device" / "model");
    if (model.empty()) model = ReadAttribute(block / "device" / "name");
    // A vendor alone is no model (virtio disks carry only a PCI vendor number there).
    d.Model = model.empty() ? name : vendor.empty() ? model : vendor + " " + model;
    d.FirmwareRevision = ReadAttribute(block / "device" / "rev");
    if (d.FirmwareRevision.empty()) d.FirmwareRevision = ReadAttribute(block / "device" / "fwrev");
    d.SerialNumber = ReadAttribute(block / "device" / "serial");
    if (d.SerialNumber.empty() && usb) d.SerialNumber = UsbSerial(resolved, canonicalRoot);
    std::error_code rel;
    const fs::path relative = fs::relative(resolved, canonicalRoot, rel);
    d.PNPDeviceID = rel || relative.empty() ? where : relative.generic_string();
    d.DeviceID = (fs::path(devRoot_) / name).string();
    d.devicePath = d.DeviceID;
    d.SystemName = systemName_ ? *systemName_ : LocalSystemName();

    const std::uint32_t blockSize = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        ReadNumber(block / "queue" / "logical_block_size").value_or(512), 512, 65536));
    std::optional<DiskGeometry> geometry = probe_ ? probe_(d.DeviceID) : std::nullopt;
    const DiskGeometry g = geometry.value_or(DiskGeometry{255, 63});
    SetGeometry(d, *sectors512 * 512, g.heads, g.sectorsPerTrack, blockSize);
    candidates.push_back(std::move(c));
  }
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.removable != b.removable) return a.removable;
    return a.name < b.name;
  });
  std::vector<DiskRecord> disks;
  for (auto& c : candidates) {
    if (disks.size() > kMaxDiskNumber) break;
    c.record.Index = static_cast<std::uint32_t>(disks.size());
    disks.push_back(std::move(c.record));
  }
  return disks;
}

}  // namespace quarrow
