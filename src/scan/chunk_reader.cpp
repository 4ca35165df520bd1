#include "scan/chunk_reader.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace quarrow {
namespace {

// Four chunks in memory at most, two for each thread: a thread reads into its own two buffers
// only, which stay in its core's cache (a buffer the other core wrote last is copied into
// about a third slower). The caller holds one chunk and may read one ahead; the other thread
// reads up to two ahead.
constexpr std::size_t kSlots = 4;

}  // namespace

ChunkReader::ChunkReader(const ScanContext& ctx, std::uint64_t first, std::uint64_t end,
                         std::uint32_t chunkSectors, bool twoReaders, Look look)
    : ctx_(ctx),
      first_(first),
      end_(end),
      chunkSectors_(std::max<std::uint32_t>(chunkSectors, 1)),
      chunks_(end > first ? (end - first - 1) / chunkSectors_ + 1 : 0),
      look_(std::move(look)) {
  const bool two = twoReaders && chunks_ > 1 && ctx.reader != nullptr &&
                   ctx.reader->IsImageFile(ctx.diskNumber) && std::thread::hardware_concurrency() > 1;
  const std::size_t slots = two ? kSlots : 1;
  slots_.reserve(slots);
  for (std::size_t i = 0; i < slots; ++i) slots_.emplace_back(chunkSectors_);
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
  c.bytes = slot.buffer.Sectors(c.count);
  c.report = {};
  c.whole = ctx_.ReadUncounted(c.first, c.count, c.bytes, c.report) != 0;
  c.marks.clear();
  if (look_) look_(c);
}

void ChunkReader::ReadNextUnread(std::unique_lock<std::mutex>& lock, Slot& slot) {
  const std::uint64_t j = nextUnread_++;
  slot.state = State::kReading;
  slot.index = j;
  lock.unlock();
  ReadInto(slot, j);
  lock.lock();
  slot.state = State::kReady;
}

ChunkReader::Slot* ChunkReader::FreeSlot(bool helper) {
  const std::size_t from = helper ? kCallerSlots : 0;
  const std::size_t to = helper ? slots_.size() : std::min(kCallerSlots, slots_.size());
  for (std::size_t i = from; i < to; ++i)
    if (slots_[i].state == State::kFree) return &slots_[i];
  return nullptr;
}

ChunkReader::Chunk* ChunkReader::Next() {
  std::unique_lock lock(mutex_);
  if (held_ != nullptr) {
    held_->state = State::kFree;
    held_ = nullptr;
    changed_.notify_all();
  }
  if (nextOut_ >= chunks_) return nullptr;
  const std::uint64_t k = nextOut_;
  Slot* wanted = nullptr;
  for (;;) {
    wanted = nullptr;
    for (Slot& slot : slots_)
      if (slot.state != State::kFree && slot.index == k) wanted = &slot;
    if (wanted != nullptr && wanted->state == State::kReady) break;
    // Nobody has begun this chunk (it is then the next unread one), or the other thread is still
    // on it: read the next unread chunk here rather than wait, when one of this thread's slots
    // is free.
    Slot* slot = nextUnread_ < chunks_ ? FreeSlot(false) : nullptr;
    if (slot == nullptr) {
      changed_.wait(lock);
      continue;
    }
    ReadNextUnread(lock, *slot);
  }
  ++nextOut_;
  held_ = wanted;
  lock.unlock();
  ctx_.CountRead(wanted->chunk.report);
  return &wanted->chunk;
}

void ChunkReader::HelperLoop() {
  std::unique_lock lock(mutex_);
  while (!quit_ && nextUnread_ < chunks_) {
    Slot* slot = FreeSlot(true);
    if (slot == nullptr) {
      changed_.wait(lock);
      continue;
    }
    // After a stop nothing more is read ahead; the caller reads whatever it still asks for.
    if (ctx_.StopRequested()) break;
    ReadNextUnread(lock, *slot);
    changed_.notify_all();
  }
}

}  // namespace quarrow
