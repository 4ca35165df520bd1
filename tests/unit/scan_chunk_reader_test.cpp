#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "disk/fault_block_device.h"
#include "scan/chunk_reader.h"
#include "support/test_support.h"

namespace quarrow {
namespace {

// One disk behind a sector reader and a scan context, made an image file or a disk.
struct ChunkDisk {
  explicit ChunkDisk(std::uint64_t sectors, bool imageFile)
      : disk(std::make_shared<FaultBlockDevice>(sectors * kSectorSize)) {
    disk->SetStamped(true);
    disk->SetImageFile(imageFile);
    opener.Add("chunks.img", disk);
    paths.Set(0, "chunks.img");
    ctx.reader = &reader;
    ctx.diskNumber = 0;
  }
  std::shared_ptr<FaultBlockDevice> disk;
  FaultDeviceOpener opener;
  DevicePathTable paths;
  SectorReader reader{paths, opener};
  ScanContext ctx;
};

// What a pass learns of one chunk.
struct Seen {
  std::uint64_t first = 0;
  std::uint32_t count = 0;
  std::vector<std::uint8_t> bytes;
  bool whole = false;
  std::uint32_t failed = 0;
  std::uint32_t pastEnd = 0;
  std::vector<std::uint32_t> marks;
  bool operator==(const Seen&) const = default;
};

// A look that marks each sector of a chunk whose stamp (its first byte) is a multiple of 3.
void MarkThirds(ChunkReader::Chunk& c) {
  for (std::uint32_t s = 0; s < c.count; ++s)
    if (c.bytes[std::size_t{s} * kSectorSize] % 3 == 0) c.marks.push_back(s);
}

// The chunks as one plain read each gives them, from a disk read by nothing else.
std::vector<Seen> ReadOneByOne(const ScanContext& ctx, std::uint64_t first, std::uint64_t end,
                               std::uint32_t size) {
  std::vector<Seen> seen;
  for (std::uint64_t p = first; p < end; p += size) {
    Seen s;
    s.first = p;
    s.count = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, end - p));
    s.bytes.resize(std::size_t{s.count} * kSectorSize);
    ReadReport report;
    s.whole = ctx.Read(p, s.count, s.bytes, &report) != 0;
    s.failed = report.failedSectors;
    s.pastEnd = report.pastEndSectors;
    for (std::uint32_t i = 0; i < s.count; ++i)
      if (s.bytes[std::size_t{i} * kSectorSize] % 3 == 0) s.marks.push_back(i);
    seen.push_back(std::move(s));
  }
  return seen;
}

std::vector<Seen> ReadByChunks(ChunkReader& chunks) {
  std::vector<Seen> seen;
  while (ChunkReader::Chunk* c = chunks.Next()) {
    seen.push_back({c->first, c->count, std::vector<std::uint8_t>(c->bytes.begin(), c->bytes.end()), c->whole,
                    c->report.failedSectors, c->report.pastEndSectors, c->marks});
  }
  return seen;
}

struct ChunkCase {
  std::string name;
  std::uint64_t first;
  std::uint64_t end;
  std::uint32_t chunkSectors;
  std::vector<std::uint64_t> bad;  // sectors that fail every read
  std::uint64_t readableSectors;   // the disk ends here (reads past it fail); 0: it does not
};

class ChunkReaderCases : public ::testing::TestWithParam<ChunkCase> {};

// From a disk and from an image file (two threads), every chunk comes once and in order, with the
// bytes and report of one plain read of it and the marks of a look at those bytes, and the scan's
// totals are those of the plain reads.
TEST_P(ChunkReaderCases, EveryChunkComesOnceInOrderAsOneReadOfItGivesIt) {
  const ChunkCase& c = GetParam();
  constexpr std::uint64_t kSectors = 4000;
  ChunkDisk plain(kSectors, false);
  for (std::uint64_t s : c.bad) plain.disk->MarkBad(s);
  if (c.readableSectors) plain.disk->SetReadableSize(c.readableSectors * kSectorSize);
  const std::vector<Seen> expected = ReadOneByOne(plain.ctx, c.first, c.end, c.chunkSectors);

  for (bool imageFile : {false, true}) {
    SCOPED_TRACE(imageFile ? "image file" : "disk");
    ChunkDisk d(kSectors, imageFile);
    for (std::uint64_t s : c.bad) d.disk->MarkBad(s);
    if (c.readableSectors) d.disk->SetReadableSize(c.readableSectors * kSectorSize);
    std::vector<Seen> seen;
    {
      ChunkReader chunks(d.ctx, c.first, c.end, c.chunkSectors, true, MarkThirds);
      EXPECT_EQ(chunks.TwoReaders(),
                imageFile && expected.size() > 1 && std::thread::hardware_concurrency() > 1);
      seen = ReadByChunks(chunks);
      EXPECT_EQ(chunks.Next(), nullptr);  // and it stays ended
    }
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(seen[i] == expected[i]) << "chunk " << i;
    EXPECT_EQ(d.ctx.readTotals.unreadable, plain.ctx.readTotals.unreadable);
    EXPECT_EQ(d.ctx.readTotals.pastEnd, plain.ctx.readTotals.pastEnd);
    // One bulk read of each chunk, never two.
    std::map<std::uint64_t, int> bulk;
    for (const FaultBlockDevice::ReadCall& call : d.disk->Reads())
      if (call.length > kSectorSize || c.chunkSectors == 1) ++bulk[call.offset / kSectorSize];
    for (const Seen& s : expected) {
      if (s.count > 1 || c.chunkSectors == 1) {
        EXPECT_EQ(bulk[s.first], 1) << "chunk at " << s.first;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ChunkReaderCases,
    ::testing::Values(ChunkCase{"Empty", 100, 100, 64, {}, 0}, ChunkCase{"OneShortChunk", 10, 40, 64, {}, 0},
                      ChunkCase{"ManyChunksAndAShortLast", 7, 3000, 64, {}, 0},
                      ChunkCase{"BadSectorsInSeveralChunks", 0, 2048, 128, {5, 130, 131, 900, 2047}, 0},
                      ChunkCase{"TheDiskEndsInsideTheRange", 0, 4000, 256, {}, 3300},
                      ChunkCase{"ChunksOfOneSector", 0, 300, 1, {}, 0}),
    [](const ::testing::TestParamInfo<ChunkCase>& info) { return info.param.name; });

std::set<std::thread::id> ReadingThreads(const FaultBlockDevice& disk) {
  std::set<std::thread::id> threads;
  for (const FaultBlockDevice::ReadCall& call : disk.Reads()) threads.insert(call.thread);
  return threads;
}

// With reads slow enough that the caller would wait for the other thread, it reads chunks itself:
// an image file is read from two threads at once, each into buffers of its own. A disk, or a
// reader told not to, reads only on the caller's thread.
TEST(ChunkReaderThreads, AnImageFileIsReadFromTwoThreadsAndADiskFromTheCallersOnly) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: one reader by design";
  struct Case {
    bool imageFile;
    bool twoReaders;
    std::size_t threads;
  };
  for (const Case& c : {Case{true, true, 2}, Case{false, true, 1}, Case{true, false, 1}}) {
    SCOPED_TRACE(std::to_string(c.imageFile) + " " + std::to_string(c.twoReaders));
    ChunkDisk d(64 * 8, c.imageFile);
    d.disk->SetDelay(std::chrono::milliseconds(40));
    std::map<std::uint64_t, const std::uint8_t*> bufferOf;  // by first sector
    ChunkReader chunks(d.ctx, 0, 64 * 8, 64, c.twoReaders);
    EXPECT_EQ(chunks.TwoReaders(), c.threads == 2);
    while (const ChunkReader::Chunk* chunk = chunks.Next()) bufferOf[chunk->first] = chunk->bytes.data();
    EXPECT_EQ(bufferOf.size(), 8u);
    std::map<const std::uint8_t*, std::set<std::thread::id>> threadsOf;
    for (const FaultBlockDevice::ReadCall& call : d.disk->Reads())
      threadsOf[bufferOf[call.offset / kSectorSize]].insert(call.thread);
    for (const auto& [buffer, readers] : threadsOf) EXPECT_EQ(readers.size(), 1u);
    const std::set<std::thread::id> threads = ReadingThreads(*d.disk);
    EXPECT_EQ(threads.size(), c.threads);
    EXPECT_TRUE(threads.count(std::this_thread::get_id()) == 1);
    // Not only the first chunk, before the other thread took one: the caller keeps reading.
    std::size_t byCaller = 0;
    for (const FaultBlockDevice::ReadCall& call : d.disk->Reads())
      byCaller += call.thread == std::this_thread::get_id();
    EXPECT_GE(byCaller, c.threads == 2 ? 2u : 8u);
  }
}

// The chunks read ahead of the last one handed out are not counted in the scan's totals, and after
// a stop the other thread reads nothing more: what the caller still asks for it reads itself.
TEST(ChunkReaderThreads, ChunksReadAheadOfAStopAreNotCountedAndNoMoreAreReadAhead) {
  ChunkDisk d(64 * 10, true);
  for (std::uint64_t s = 64 * 2; s < 64 * 10; s += 7) d.disk->MarkBad(s);  // every chunk from the third
  {
    ChunkReader chunks(d.ctx, 0, 64 * 10, 64);
    ASSERT_NE(chunks.Next(), nullptr);
    ASSERT_NE(chunks.Next(), nullptr);
    // Give the other thread time to read ahead into its free slots.
    for (int i = 0; i < 200 && d.disk->Reads().size() < 4; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(d.ctx.readTotals.unreadable, 0u);

  ChunkDisk s(64 * 10, true);
  s.disk->SetDelay(std::chrono::milliseconds(10));  // time enough for the other thread to start
  std::stop_source stop;
  stop.request_stop();
  s.ctx.stop = stop.get_token();
  ChunkReader chunks(s.ctx, 0, 64 * 10, 64);
  EXPECT_EQ(ReadByChunks(chunks).size(), 10u);
  EXPECT_EQ(ReadingThreads(*s.disk), std::set<std::thread::id>{std::this_thread::get_id()});
}

}  // namespace
}  // namespace quarrow
