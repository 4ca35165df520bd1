#pragma once
// The chunks of a range of sectors, handed out in order, for a pass that reads a whole area and
// looks at every chunk once.
//
// From a disk image in a file, a second thread reads chunks ahead while the caller works on the
// one it holds, and a caller that would wait for a chunk the other thread is still reading reads
// the next unread one itself meanwhile. A pass that does little with each chunk so has two reads
// under way at once (when the image is in the file cache, copying it is most of the pass's time,
// and two cores copy it in about half), and a pass that does much finds its chunks read already.
// From a disk, a card or a stick, the caller reads every chunk itself, in order, one request at a
// time, as a failing medium needs.
//
// Either way a chunk's bytes and report are those one read of it gives, each chunk is read once,
// and the scan's read totals count the chunks handed out, in order, on the caller's thread: the
// chunks a second thread read ahead of a stop are not counted.
//
// A pass may give a look: a function of a chunk alone that notes in the chunk's marks where its
// bytes are worth a second look. The thread that read the chunk runs it at once, while the bytes
// are in its own cache; the caller then goes to the marked places only, instead of reading every
// byte it tests from the other core's cache.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "scan/chunk_buffer.h"
#include "scan/scan_context.h"

namespace quarrow {

class ChunkReader {
 public:
  struct Chunk {
    std::uint64_t first = 0;        // the chunk's first sector
    std::uint32_t count = 0;        // its sectors: chunkSectors, fewer for the last
    std::span<std::uint8_t> bytes;  // count * 512 bytes, zeros where a sector could not be read
    bool whole = false;             // the whole chunk came in one request (ScanContext::Read's 1)
    ReadReport report;
    std::vector<std::uint32_t> marks;  // what the look noted, in the order it noted them
  };
  // Runs on either thread, on a chunk no other thread touches: it reads the chunk and writes only
  // its marks (empty when it is called), and shares nothing it changes.
  using Look = std::function<void(Chunk&)>;

  // The chunks of [first, end), chunkSectors each. twoReaders false keeps every read on the
  // caller's thread whatever the disk is.
  ChunkReader(const ScanContext& ctx, std::uint64_t first, std::uint64_t end, std::uint32_t chunkSectors,
              bool twoReaders = true, Look look = {});
  ~ChunkReader();
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // The next chunk, or null after the last. The chunk is the caller's until the next call; the
  // caller checks for a stop itself, and a chunk is handed out whole or not at all.
  Chunk* Next();

  // Whether a second thread reads too (a disk image, more than one chunk, more than one core).
  bool TwoReaders() const { return helper_.joinable(); }

 private:
  enum class State { kFree, kReading, kReady };
  struct Slot {
    explicit Slot(std::uint32_t sectors) : buffer(sectors) {}
    ChunkBuffer buffer;
    Chunk chunk;
    State state = State::kFree;
    std::uint64_t index = 0;  // the chunk it holds or is being read into it, unless free
  };
  // The caller's slots come first; the other thread has the rest.
  static constexpr std::size_t kCallerSlots = 2;

  void ReadInto(Slot& slot, std::uint64_t index);
  // Takes the next unread chunk into slot and reads it there, the lock let go while it reads.
  void ReadNextUnread(std::unique_lock<std::mutex>& lock, Slot& slot);
  // A free slot of the caller's or of the other thread's, null when both of its are taken.
  Slot* FreeSlot(bool helper);
  void HelperLoop();

  const ScanContext& ctx_;
  const std::uint64_t first_;
  const std::uint64_t end_;
  const std::uint32_t chunkSectors_;
  const std::uint64_t chunks_;
  const Look look_;
  std::vector<Slot> slots_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t nextUnread_ = 0;  // the first chunk no thread has begun to read
  std::uint64_t nextOut_ = 0;     // the next chunk to hand out
  Slot* held_ = nullptr;          // the slot of the chunk the caller holds
  bool quit_ = false;
  std::thread helper_;
};

}  // namespace quarrow
