#pragma once
// A disk in memory built from a fuzz input, read through the real SectorReader. The input is
// the number of sectors the disk claims to have (8 bytes, little-endian, taken modulo 2^40),
// then records of a sector number (4 bytes) and that sector's 512 bytes; a short last record
// fills the start of its sector. So a seed holds only the sectors that matter (a table, its
// extended records, boot sectors) wherever they lie, and a mutation can move them. Sectors the
// input does not give read as zeros; everything past the last sector given, and past the claimed
// size, fails to read, as on a truncated image.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "core/bytes.h"
#include "disk/fault_block_device.h"
#include "disk/sector_reader.h"

namespace quarrow::fuzz {

inline constexpr std::size_t kRecordBytes = 4 + kSectorSize;

struct FuzzDisk {
  FuzzDisk(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const std::uint64_t claimed = Le64(input, 0) % (1ull << 40);
    std::uint64_t highest = 0;
    std::vector<std::pair<std::uint64_t, std::span<const std::uint8_t>>> records;
    for (std::size_t at = 8; at + 4 < input.size(); at += kRecordBytes) {
      const std::uint64_t sector = Le32(input, at);
      const std::size_t length = std::min(kSectorSize, input.size() - at - 4);
      records.emplace_back(sector, input.subspan(at + 4, length));
      highest = std::max(highest, sector + 1);
    }
    sectors = std::max<std::uint64_t>({claimed, highest, 1});
    device = std::make_shared<FaultBlockDevice>(sectors * kSectorSize);
    device->SetReadableSize(std::min(sectors, std::max<std::uint64_t>(highest, 64)) * kSectorSize);
    for (const auto& [sector, bytes] : records) device->Write(sector * kSectorSize, bytes);
    opener.Add("fuzz.img", device);
    paths.Set(0, "fuzz.img");
  }
  std::uint64_t sectors = 0;
  std::shared_ptr<FaultBlockDevice> device;
  FaultDeviceOpener opener;
  DevicePathTable paths;
  SectorReader reader{paths, opener};
};

}  // namespace quarrow::fuzz
