#pragma once
// A page-aligned, zero-filled buffer for bulk sector reads: the kernel copies into a buffer that
// is not cache-line aligned several times slower, and the bulk reads are most of a scan's time.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "core/bytes.h"

namespace quarrow {

class ChunkBuffer {
 public:
  explicit ChunkBuffer(std::uint32_t sectors)
      : size_(std::size_t{sectors} * kSectorSize),
        bytes_(static_cast<std::uint8_t*>(::operator new[](size_, std::align_val_t{4096}))) {
    std::fill_n(bytes_.get(), size_, std::uint8_t{0});
  }
  std::span<std::uint8_t> Span() { return {bytes_.get(), size_}; }
  // The first `sectors` sectors of the buffer.
  std::span<std::uint8_t> Sectors(std::uint32_t sectors) {
    return {bytes_.get(), std::min(size_, std::size_t{sectors} * kSectorSize)};
  }

 private:
  struct AlignedDelete {
    void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{4096}); }
  };
  std::size_t size_;
  std::unique_ptr<std::uint8_t[], AlignedDelete> bytes_;
};

}  // namespace quarrow
