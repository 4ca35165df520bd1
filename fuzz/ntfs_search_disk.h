#pragma once
// The disk of the NTFS search fuzz targets, read through the real SectorReader: the input format
// of fuzz_disk.h (the claimed sector count, then records of a sector number and its bytes), held
// as whole sectors so that a search reading thousands of sectors per input stays fast. Sectors
// the input does not give read as zeros; everything past the last sector given (at least 64) and
// past the claimed size fails to read, as on a truncated image.
//
// The search range is partition 1 of the MBR in sector 0 when there is one, otherwise the disk
// from sector 0; it ends at the last readable sector and is at most 16384 sectors long.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

#include "core/bytes.h"
#include "disk/block_device.h"
#include "disk/sector_reader.h"
#include "scan/scan_context.h"

namespace quarrow::fuzz {

class SectorMapDevice : public BlockDevice {
 public:
  using Sector = std::array<std::uint8_t, kSectorSize>;
  std::unordered_map<std::uint64_t, Sector> sectors;
  std::uint64_t readableSectors = 0, claimedSectors = 0;

  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
    const std::uint64_t end = byteOffset + buffer.size();
    for (std::uint64_t at = byteOffset; at < end;) {
      const std::uint64_t sector = at / kSectorSize, inSector = at % kSectorSize;
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(kSectorSize - inSector, end - at));
      auto it = sectors.find(sector);
      std::uint8_t* to = buffer.data() + (at - byteOffset);
      if (it == sectors.end()) {
        std::memset(to, 0, n);
      } else {
        std::memcpy(to, it->second.data() + inSector, n);
      }
      at += n;
    }
    return end <= readableSectors * kSectorSize;
  }
  std::uint64_t SizeBytes() const override { return claimedSectors * kSectorSize; }
};

struct NtfsFuzzDisk : DeviceOpener {
  NtfsFuzzDisk(const std::uint8_t* data, std::size_t size) : device(std::make_shared<SectorMapDevice>()) {
    const std::span<const std::uint8_t> input(data, size);
    const std::uint64_t claimed = Le64(input, 0) % (1ull << 40);
    std::uint64_t highest = 0;
    for (std::size_t at = 8; at + 4 < input.size(); at += 4 + kSectorSize) {
      const std::uint64_t sector = Le32(input, at);
      const std::size_t length = std::min(kSectorSize, input.size() - at - 4);
      SectorMapDevice::Sector& bytes = device->sectors[sector];
      bytes.fill(0);
      std::memcpy(bytes.data(), input.data() + at + 4, length);
      highest = std::max(highest, sector + 1);
    }
    sectors = std::max<std::uint64_t>({claimed, highest, 1});
    device->claimedSectors = sectors;
    device->readableSectors = std::min(sectors, std::max<std::uint64_t>(highest, 64));
    paths.Set(0, "fuzz.img");
  }
  std::unique_ptr<BlockDevice> Open(const std::string&, std::string*) override {
    struct Handle : BlockDevice {
      explicit Handle(std::shared_ptr<SectorMapDevice> d) : device(std::move(d)) {}
      bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
        return device->ReadAt(offset, buffer);
      }
      std::uint64_t SizeBytes() const override { return device->SizeBytes(); }
      std::shared_ptr<SectorMapDevice> device;
    };
    return std::make_unique<Handle>(device);
  }

  // Points ctx at this disk and its NTFS search range.
  void SetUp(ScanContext& ctx) {
    std::array<std::uint8_t, kSectorSize> mbr{};
    reader.ReadSectors(0, 0, 1, mbr);
    std::uint64_t start = HasBootSignature(mbr) ? Le32(mbr, 446 + 8) : 0;
    if (start >= device->readableSectors) start = 0;
    ctx.reader = &reader;
    ctx.diskNumber = 0;
    ctx.partitionType = FsType::kNtfs;
    ctx.searchStart = start;
    ctx.searchEnd = std::min<std::uint64_t>(device->readableSectors, start + 16384);
  }

  std::uint64_t sectors = 0;
  std::shared_ptr<SectorMapDevice> device;
  DevicePathTable paths;
  SectorReader reader{paths, *this};
};

}  // namespace quarrow::fuzz
