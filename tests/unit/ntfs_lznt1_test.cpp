// LZNT1 chunks as NTFS stores a compression unit: literals and back-references whose split moves
// with the position in the chunk, chunks stored as they are, short chunks and the end of a unit,
// and damage, which leaves the bytes from the damaged chunk on zero and says where they start.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ntfs/lznt1.h"
#include "unit/ntfs_test_records.h"

namespace quarrow {
namespace {

using ntfs_test::Bytes;
using ntfs_test::Put;

// A compressed chunk: header (size less 3, signature 3, bit 15) then the body.
Bytes Chunk(const Bytes& body) {
  Bytes c;
  Put(c, 0, 0xB000 | (body.size() - 1), 2);
  c.insert(c.end(), body.begin(), body.end());
  return c;
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
std::string Text(const Bytes& b, std::size_t from, std::size_t n) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(from),
                     b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

TEST(Lznt1Test, ChunksDecodeToTheirPlaceInTheUnit) {
  // "abc", then 9 bytes from 3 back (offset and length split 4:12 below 16 bytes written).
  const Bytes abc = Chunk({0x08, 'a', 'b', 'c', 0x06, 0x20});
  // 20 literals, then at 20 written (split 5:11) 6 bytes from 20 back; then one literal.
  Bytes late{0x00};
  for (char ch : std::string("ABCDEFGH")) late.push_back(static_cast<std::uint8_t>(ch));
  late.push_back(0x00);
  for (char ch : std::string("IJKLMNOP")) late.push_back(static_cast<std::uint8_t>(ch));
  late.push_back(0x10);
  for (char ch : std::string("QRST")) late.push_back(static_cast<std::uint8_t>(ch));
  Put(late, late.size(), (19u << 11) | 3u, 2);
  late.push_back('!');
  Bytes stored{0xFF, 0x3F};  // a chunk that did not shrink: 4096 bytes as they are
  for (int i = 0; i < 4096; ++i) stored.push_back(static_cast<std::uint8_t>(i * 7));

  Bytes unit(4 * kLznt1ChunkBytes, 0xEE);
  ASSERT_EQ(DecompressLznt1(Join({abc, Chunk(late), stored, Bytes{0, 0}, abc}), unit), unit.size());
  EXPECT_EQ(Text(unit, 0, 12), "abcabcabcabc");
  EXPECT_EQ(unit[12], 0);  // a chunk's bytes past what it gives are zeros
  EXPECT_EQ(Text(unit, 4096, 27), "ABCDEFGHIJKLMNOPQRSTABCDEF!");
  EXPECT_EQ(unit[2 * 4096 + 5], 35);
  EXPECT_EQ(unit[3 * 4096], 0);  // after the end header: zeros, not the chunk behind it

  Bytes tail(100);  // the unit at the end of a file may be shorter than its chunks
  EXPECT_EQ(DecompressLznt1(stored, tail), tail.size());
  EXPECT_EQ(tail[99], static_cast<std::uint8_t>(99 * 7));
}

TEST(Lznt1Test, DamageIsNamedFromTheChunkItIsIn) {
  const Bytes good = Chunk({0x08, 'a', 'b', 'c', 0x06, 0x20});
  const struct {
    const char* what;
    Bytes in;
    std::size_t sound;
  } cases[] = {
      {"a reference before anything is written", Chunk({0x01, 0x00, 0x00}), 0},
      {"a reference before the chunk's start", Chunk({0x02, 'a', 0x00, 0x10}), 0},
      {"a reference past the chunk's 4096 bytes", Chunk({0x02, 'a', 0xFF, 0x0F, 0x00}), 0},
      {"a chunk longer than what was read", Bytes{0x10, 0xB0, 0x00, 'a'}, 0},
      {"a reference cut in half", Chunk({0x02, 'a', 0x01}), 0},
      {"the second chunk damaged", Join({good, Chunk({0x01, 0x00, 0x00})}), 4096},
      {"a lone header byte ends the unit", Join({good, Bytes{0x05}}), 8192},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(2 * kLznt1ChunkBytes, 0xEE);
    EXPECT_EQ(DecompressLznt1(c.in, out), c.sound);
    for (std::size_t i = c.sound; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  }
}

// A unit ntfs-3g compressed (the first of the recipe's words.txt, kept in the LZNT1 fuzz corpus
// after its first byte): thousands of back-references of every split, checked against the 64-bit
// FNV-1a digest of the first 65536 bytes of the file the recipe wrote. A reference one byte off
// anywhere changes the digest.
TEST(Lznt1Test, AUnitNtfs3gCompressedDecodesToTheFileItWasMadeFrom) {
  std::ifstream in(std::string(QUARROW_SOURCE_DIR) + "/fuzz/corpus/ntfs_lznt1/words.txt", std::ios::binary);
  ASSERT_TRUE(in);
  const std::vector<std::uint8_t> clusters((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
  ASSERT_GT(clusters.size(), 1u);
  std::vector<std::uint8_t> unit(16 * kLznt1ChunkBytes);
  EXPECT_EQ(DecompressLznt1(ByteSpan(clusters).subspan(1), unit), unit.size());
  std::uint64_t digest = 0xcbf29ce484222325ull;
  for (std::uint8_t b : unit) digest = (digest ^ b) * 0x100000001b3ull;
  EXPECT_EQ(digest, 0x31cac7998476d166ull);
  EXPECT_EQ(std::string(unit.begin(), unit.begin() + 23), "mnt/Packed/words.txt 0\n");
}

}  // namespace
}  // namespace quarrow
