#include "scan/chunk_reader.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace quarrow {
namespace {

// Four chunks in memory at most: the one the caller holds, and up to three read ahead of it.
constexpr std::size_t kSlots = 4;

void FreeAligned(std::uint8_t* p) {
  ::operator delete[](p, std::align_val_t{4096});
}

}  // namespace

ChunkReader::ChunkReader(const ScanContext& ctx, std::uint64_t first, std::uint64_t end,
                         std::uint32_t chunkSectors, bool twoReaders)
    : ctx_(ctx),
      first_(first),
      end_(end),
      chunkSectors_(std::max<std::uint32_t>(chunkSectors, 1)),
      chunks_(end > first ? (end - first - 1) / chunkSectors_ + 1 : 0) {
  const bool two = twoReaders && chunks_ > 1 && ctx.reader != nullptr &&
                   ctx.reader->IsImageFile(ctx.diskNumber) && std::thread::hardware_concurrency() > 1;
  slots_.resize(two ? kSlots : 1);
  // Page-aligned: the kernel copies into a buffer that is not cache-line aligned several times
  // slower, and these reads are most of a pass's time.
  const std::size_t bytes = std::size_t{chunkSectors_} * kSectorSize;
  for (Slot& slot : slots_) {
    slot.buffer = {static_cast<std::uint8_t*>(::operator new[](bytes, std::align_val_t{4096})), FreeAligned};
    std::fill_n(slot.buffer.get(), bytes, std::uint8_t{0});
  }
  if (!two) return;
  try {
    helper_ = std::thread([this] { HelperLoop(); });
  } catch (const std::system_error&) {
    // No thread to be had: the caller reads every chunk, as from a disk.
  }
}

ChunkReader::~ChunkReader() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void ChunkReader::ReadInto(Slot& slot, std::uint64_t index) {
  Chunk& c = slot.chunk;
  c.first = first_ + index * chunkSectors_;
  c.count = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunkSectors_, end_ - c.first));
  c.bytes = std::span<std::uint8_t>(slot.buffer.get(), std::size_t{c.count} * kSectorSize);
  c.report = {};
  c.whole = ctx_.ReadUncounted(c.first, c.count, c.bytes, c.report) != 0;
}

ChunkReader::Chunk* ChunkReader::Next() {
  std::unique_lock lock(mutex_);
  const std::size_t n = slots_.size();
  if (holding_) {
    slots_[(nextOut_ - 1) % n].state = State::kFree;
    holding_ = false;
    changed_.notify_all();
  }
  if (nextOut_ >= chunks_) return nullptr;
  const std::uint64_t k = nextOut_;
  Slot& wanted = slots_[k % n];
  while (!(wanted.state == State::kReady && wanted.chunk.first == first_ + k * chunkSectors_)) {
    // Nobody has begun this chunk, or the other thread is still on it and the next unread chunk
    // has a free slot: read one here rather than wait.
    const bool mine = nextUnread_ == k;
    if (mine ||
        (helper_.joinable() && nextUnread_ < chunks_ && slots_[nextUnread_ % n].state == State::kFree)) {
      const std::uint64_t j = nextUnread_++;
      Slot& slot = slots_[j % n];
      slot.state = State::kReading;
      lock.unlock();
      ReadInto(slot, j);
      lock.lock();
      slot.state = State::kReady;
      continue;
    }
    changed_.wait(lock);
  }
  ++nextOut_;
  holding_ = true;
  lock.unlock();
  ctx_.CountRead(wanted.chunk.report);
  return &wanted.chunk;
}

void ChunkReader::HelperLoop() {
  std::unique_lock lock(mutex_);
  const std::size_t n = slots_.size();
  while (!quit_ && nextUnread_ < chunks_) {
    Slot& slot = slots_[nextUnread_ % n];
    if (slot.state != State::kFree) {
      changed_.wait(lock);
      continue;
    }
    // After a stop nothing more is read ahead; the caller reads whatever it still asks for.
    if (ctx_.StopRequested()) break;
    const std::uint64_t j = nextUnread_++;
    slot.state = State::kReading;
    lock.unlock();
    ReadInto(slot, j);
    lock.lock();
    slot.state = State::kReady;
    changed_.notify_all();
  }
}

}  // namespace quarrow
