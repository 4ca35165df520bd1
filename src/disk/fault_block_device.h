#pragma once
// A disk held in memory that can be told to fail, for tests of every floor above the reader.
//
//   auto disk = std::make_shared<FaultBlockDevice>(2048 * 512);   // a 2048-sector disk of zeros
//   disk->WriteSector(0, mbrBytes);            // put bytes at sector 0 (any length, from offset 0)
//   disk->Write(byteOffset, bytes);            // or anywhere
//   disk->MarkBad(100);                        // sector 100 fails every read that touches it
//   disk->MarkBadRange(200, 8);                // sectors 200..207 fail
//   disk->SetReadableSize(1000 * 512);         // a short disk: reads past 1000 sectors fail,
//                                              // SizeBytes() still reports the full size
//   disk->SetStamped(true);                    // unwritten sectors carry StampedSector(n)
//   disk->FailEveryNth(7);                     // every 7th read fails, wherever it reads
//   disk->SetDelay(std::chrono::milliseconds(30));  // every read takes that long
//   disk->DisappearAfter(100);                 // after 100 more reads every read fails, for good
//   disk->Reads();                             // every ReadAt so far: {offset, length, ok, thread}
//   disk->SetLogicalSectorSize(4096);          // what LogicalSectorSize() reports (0: unknown)
//   disk->SetImageFile(true);                  // what IsImageFile() reports (false: a disk)
//
//   FaultDeviceOpener opener;                  // a DeviceOpener over such disks, by path
//   opener.Add("disk.img", disk);              // Open("disk.img") now reads `disk`
//   opener.FailOpen("/dev/sdz", "cannot open /dev/sdz: Permission denied");
//   SectorReader reader(paths, opener);
//
// Only written sectors take memory, so a disk larger than 2^32 sectors costs nothing: a read of
// an unwritten sector gives zeros (or its stamp). All members are safe to call from several
// threads at once.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "disk/block_device.h"

namespace quarrow {

class FaultBlockDevice : public BlockDevice {
 public:
  struct ReadCall {
    std::uint64_t offset = 0;
    std::size_t length = 0;
    bool ok = false;
    std::thread::id thread;  // the thread that made the read
  };
  using Sector = std::array<std::uint8_t, kSectorSize>;

  explicit FaultBlockDevice(std::uint64_t sizeBytes) : size_(sizeBytes), readable_(sizeBytes) {}

  // The 512 bytes an unwritten sector n reads as when the disk is stamped: the sector number as
  // a little-endian 64-bit value, then bytes that differ from sector to sector.
  static Sector StampedSector(std::uint64_t n) {
    Sector s{};
    for (int i = 0; i < 8; ++i) s[i] = static_cast<std::uint8_t>(n >> (8 * i));
    for (std::size_t i = 8; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>((n * 131 + i * 7 + 1) & 0xFF);
    return s;
  }

  void Write(std::uint64_t byteOffset, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    for (std::size_t done = 0; done < bytes.size();) {
      const std::uint64_t at = byteOffset + done;
      const std::size_t within = at % kSectorSize;
      const std::size_t n = std::min(kSectorSize - within, bytes.size() - done);
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), n,
                  SectorRef(at / kSectorSize).begin() + within);
      done += n;
    }
  }
  void WriteSector(std::uint64_t sector, std::span<const std::uint8_t> bytes) {
    Write(sector * kSectorSize, bytes);
  }

  void MarkBad(std::uint64_t sector) {
    std::lock_guard lock(mutex_);
    bad_.insert(sector);
  }
  void MarkBadRange(std::uint64_t first, std::uint64_t count) {
    std::lock_guard lock(mutex_);
    for (std::uint64_t i = 0; i < count; ++i) bad_.insert(first + i);
  }
  void ClearBad() {
    std::lock_guard lock(mutex_);
    bad_.clear();
  }
  // Bytes that can actually be read; beyond them every read fails, as on a truncated image.
  void SetReadableSize(std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    readable_ = bytes;
  }
  void SetStamped(bool stamped) {
    std::lock_guard lock(mutex_);
    stamped_ = stamped;
  }
  // What dying media do: reads that fail one time in n (0: never), reads that are slow, and a
  // disk that stops answering altogether.
  void FailEveryNth(std::uint64_t n) {
    std::lock_guard lock(mutex_);
    failEvery_ = n;
  }
  void SetDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    delay_ = delay;
  }
  void DisappearAfter(std::uint64_t reads) {
    std::lock_guard lock(mutex_);
    disappearAt_ = calls_ + reads;
  }

  std::vector<ReadCall> Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  void ClearReads() {
    std::lock_guard lock(mutex_);
    reads_.clear();
  }

  bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
    std::chrono::milliseconds delay{};
    {
      std::lock_guard lock(mutex_);
      delay = delay_;
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    const std::uint64_t call = ++calls_;
    const bool ok = Readable(byteOffset, buffer.size()) && !(failEvery_ != 0 && call % failEvery_ == 0) &&
                    !(disappearAt_ && call > *disappearAt_);
    reads_.push_back({byteOffset, buffer.size(), ok, std::this_thread::get_id()});
    if (!ok) {
      // A failed read leaves garbage behind, so callers cannot rely on the buffer keeping its
      // old bytes or on it being cleared.
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xEE});
      return false;
    }
    for (std::size_t done = 0; done < buffer.size();) {
      const std::uint64_t at = byteOffset + done;
      const std::uint64_t sector = at / kSectorSize;
      const std::size_t within = at % kSectorSize;
      const std::size_t n = std::min(kSectorSize - within, buffer.size() - done);
      auto out = buffer.begin() + static_cast<std::ptrdiff_t>(done);
      if (auto it = written_.find(sector); it != written_.end()) {
        std::copy_n(it->second.begin() + within, n, out);
      } else if (stamped_) {
        std::copy_n(StampedSector(sector).begin() + within, n, out);
      } else {
        std::fill_n(out, n, std::uint8_t{0});
      }
      done += n;
    }
    return true;
  }

  std::uint64_t SizeBytes() const override { return size_; }
  void SetLogicalSectorSize(std::uint32_t bytes) {
    std::lock_guard lock(mutex_);
    sectorSize_ = bytes;
  }
  std::uint32_t LogicalSectorSize() const override {
    std::lock_guard lock(mutex_);
    return sectorSize_;
  }
  void SetImageFile(bool imageFile) {
    std::lock_guard lock(mutex_);
    imageFile_ = imageFile;
  }
  bool IsImageFile() const override {
    std::lock_guard lock(mutex_);
    return imageFile_;
  }

 private:
  bool Readable(std::uint64_t offset, std::size_t length) const {
    if (offset > readable_ || readable_ - offset < length) return false;
    if (length == 0 || bad_.empty()) return true;
    const std::uint64_t first = offset / kSectorSize;
    const std::uint64_t last = (offset + length - 1) / kSectorSize;
    auto it = bad_.lower_bound(first);
    return it == bad_.end() || *it > last;
  }
  Sector& SectorRef(std::uint64_t sector) {
    auto it = written_.find(sector);
    if (it == written_.end()) {
      it = written_.emplace(sector, stamped_ ? StampedSector(sector) : Sector{}).first;
    }
    return it->second;
  }

  mutable std::mutex mutex_;
  std::uint64_t size_;
  std::uint64_t readable_;
  std::uint32_t sectorSize_ = 0;
  bool imageFile_ = false;
  bool stamped_ = false;
  std::uint64_t calls_ = 0;  // every ReadAt ever, unlike reads_, which tests clear
  std::uint64_t failEvery_ = 0;
  std::chrono::milliseconds delay_{0};
  std::optional<std::uint64_t> disappearAt_;
  std::set<std::uint64_t> bad_;
  std::map<std::uint64_t, Sector> written_;
  std::vector<ReadCall> reads_;
};

// Opens FaultBlockDevices by path. The opener keeps its own reference, so a test can still
// inspect a disk after the reader has dropped it.
class FaultDeviceOpener : public DeviceOpener {
 public:
  void Add(const std::string& path, std::shared_ptr<FaultBlockDevice> device) {
    std::lock_guard lock(mutex_);
    devices_[path] = std::move(device);
    openErrors_.erase(path);
  }
  // Open(path) fails with this reason.
  void FailOpen(const std::string& path, std::string reason) {
    std::lock_guard lock(mutex_);
    openErrors_[path] = std::move(reason);
  }
  int OpenCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = opens_.find(path);
    return it == opens_.end() ? 0 : it->second;
  }

  std::unique_ptr<BlockDevice> Open(const std::string& path, std::string* error) override {
    std::lock_guard lock(mutex_);
    ++opens_[path];
    if (auto e = openErrors_.find(path); e != openErrors_.end()) {
      if (error) *error = e->second;
      return nullptr;
    }
    auto it = devices_.find(path);
    if (it == devices_.end()) {
      if (error) *error = "cannot open " + path + ": No such file or directory";
      return nullptr;
    }
    return std::make_unique<Handle>(it->second);
  }

 private:
  class Handle : public BlockDevice {
   public:
    explicit Handle(std::shared_ptr<FaultBlockDevice> device) : device_(std::move(device)) {}
    bool ReadAt(std::uint64_t byteOffset, std::span<std::uint8_t> buffer) override {
      return device_->ReadAt(byteOffset, buffer);
    }
    std::uint64_t SizeBytes() const override { return device_->SizeBytes(); }
    std::uint32_t LogicalSectorSize() const override { return device_->LogicalSectorSize(); }
    bool IsImageFile() const override { return device_->IsImageFile(); }

   private:
    std::shared_ptr<FaultBlockDevice> device_;
  };

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<FaultBlockDevice>> devices_;
  std::map<std::string, std::string> openErrors_;
  std::map<std::string, int> opens_;
};

}  // namespace quarrow
