#pragma once
// The disk of fuzz_disk.h (same input format, same answers: sectors not given read as zeros,
// reads past the last sector given or past the claimed size fail), read a sector at a time
// from a map. The targets that read whole ranges (the Advance scan with its FAT search, the
// lost-partition search) spend nearly all their time in FaultBlockDevice's byte-by-byte reads;
// this keeps them at thousands of inputs a second.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "core/bytes.h"
#include "disk/block_device.h"
#include "disk/sector_reader.h"
#include "fuzz_disk.h"

namespace quarrow::fuzz {

class SectorMapDisk {
 public:
  SectorMapDisk(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const std::uint64_t claimed = Le64(input, 0) % (1ull << 40);
    std::uint64_t highest = 0;
    for (std::size_t at = 8; at + 4 < input.size(); at += kRecordBytes) {
      const std::uint64_t sector = Le32(input, at);
      auto& bytes = store_->sectors[sector];  // a later record of the same sector overwrites
      const std::size_t length = std::min(kSectorSize, input.size() - at - 4);
      std::memcpy(bytes.data(), input.data() + at + 4, length);
      highest = std::max(highest, sector + 1);
    }
    sectors = std::max<std::uint64_t>({claimed, highest, 1});
    store_->readable = std::min(sectors, std::max<std::uint64_t>(highest, 64));
    store_->size = sectors;
    paths_.Set(0, "fuzz.img");
  }
  std::uint64_t sectors = 0;
  SectorReader& Reader() { return reader_; }

 private:
  struct Store {
    std::map<std::uint64_t, std::array<std::uint8_t, kSectorSize>> sectors;
    std::uint64_t readable = 0, size = 0;
  };
  class Device : public BlockDevice {
   public:
    explicit Device(std::shared_ptr<const Store> store) : store_(std::move(store)) {}
    bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
      const std::uint64_t first = byteOffset / kSectorSize, count = buffer.size() / kSectorSize;
      if (byteOffset % kSectorSize != 0 || buffer.size() % kSectorSize != 0 || first > store_->readable ||
          store_->readable - first < count)
        return false;
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      for (auto it = store_->sectors.lower_bound(first);
           it != store_->sectors.end() && it->first < first + count; ++it)
        std::memcpy(buffer.data() + (it->first - first) * kSectorSize, it->second.data(), kSectorSize);
      return true;
    }
    std::uint64_t SizeBytes() const override { return store_->size * kSectorSize; }

   private:
    std::shared_ptr<const Store> store_;
  };
  class Opener : public DeviceOpener {
   public:
    explicit Opener(std::shared_ptr<const Store> store) : store_(std::move(store)) {}
    std::unique_ptr<BlockDevice> Open(const std::string&, std::string*) override {
      return std::make_unique<Device>(store_);
    }

   private:
    std::shared_ptr<const Store> store_;
  };

  std::shared_ptr<Store> store_ = std::make_shared<Store>();
  Opener opener_{store_};
  DevicePathTable paths_;
  SectorReader reader_{paths_, opener_};
};

}  // namespace quarrow::fuzz
