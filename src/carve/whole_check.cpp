// Whether a file's bytes, read back from a disk in one guessed order of clusters, hold together as
// a file of their type. Only checks that would notice a foreign cluster are allowed to say "holds":
// a baseline JPEG's Huffman-coded data decoded block by block, PNG's chunk CRCs, a stored zip
// member's CRC, an uncompressed PDF's cross-reference table and text streams. Anything weaker can
// refute, never confirm.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "carve/carve.h"
#include "carve/carve_bytes.h"
#include "core/bytes.h"

namespace quarrow {
namespace {

// A Huffman table as JPEG defines it: counts of codes of each length 1-16, then the symbols in
// code order.
struct HuffmanTable {
  bool defined = false;
  std::array<std::int32_t, 17> maxCode{};  // the largest code of each length, -1 when none
  std::array<std::int32_t, 17> valueAt{};  // index of the first symbol of each length, minus its code
  std::vector<std::uint8_t> symbols;
};

bool BuildTable(ByteSpan counts, ByteSpan symbols, HuffmanTable& table) {
  table = HuffmanTable{};
  table.symbols.assign(symbols.begin(), symbols.end());
  std::int32_t code = 0;
  std::size_t index = 0;
  for (int length = 1; length <= 16; ++length) {
    const std::uint8_t n = counts[static_cast<std::size_t>(length - 1)];
    if (n == 0) {
      table.maxCode[static_cast<std::size_t>(length)] = -1;
    } else {
      table.valueAt[static_cast<std::size_t>(length)] = static_cast<std::int32_t>(index) - code;
      code += n;
      index += n;
      table.maxCode[static_cast<std::size_t>(length)] = code - 1;
    }
    // More codes of a length than the length can hold is not a prefix code.
    if (code > (1 << length)) return false;
    code <<= 1;
  }
  table.defined = true;
  return index == symbols.size();
}

// Reads the entropy-coded bits of a scan: FF00 is a stuffed FF, FFD0-FFD7 a restart marker,
// any other FFxx the end of the scan.
class ScanBits {
 public:
  ScanBits(ByteSpan bytes, std::size_t at) : b_(bytes), at_(at) {}

  // The next bit, or nothing at a marker or the end of the bytes.
  std::optional<int> Bit() {
    if (left_ == 0) {
      if (at_ >= b_.size()) return std::nullopt;
      std::uint8_t byte = b_[at_];
      if (byte == 0xFF) {
        if (at_ + 1 >= b_.size() || b_[at_ + 1] != 0x00) return std::nullopt;
        ++at_;
      }
      ++at_;
      current_ = byte;
      left_ = 8;
    }
    --left_;
    return (current_ >> left_) & 1;
  }

  std::optional<std::uint32_t> Bits(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const auto bit = Bit();
      if (!bit) return std::nullopt;
      v = (v << 1) | static_cast<std::uint32_t>(*bit);
    }
    return v;
  }

  std::optional<std::uint8_t> Decode(const HuffmanTable& t) {
    std::int32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
      const auto bit = Bit();
      if (!bit) return std::nullopt;
      code = (code << 1) | *bit;
      if (t.maxCode[static_cast<std::size_t>(length)] >= 0 && code <= t.maxCode[static_cast<std::size_t>(length)]) {
        const std::int32_t index = t.valueAt[static_cast<std::size_t>(length)] + code;
        if (index < 0 || static_cast<std::size_t>(index) >= t.symbols.size()) return std::nullopt;
        return t.symbols[static_cast<std::size_t>(index)];
      }
    }
    return std::nullopt;  // no code of any length: not this table's data
  }

  // The bits left in the current byte must be the one-bits an encoder pads with.
  bool PaddingOnly() {
    const std::uint32_t mask = (1u << left_) - 1;
    const bool ones = (current_ & mask) == mask;
    left_ = 0;
    return ones;
  }

  // Steps over the restart marker that must come here (RSTn, n counting 0-7).
  bool Restart(int n) {
    if (at_ + 1 >= b_.size() || b_[at_] != 0xFF || b_[at_ + 1] != 0xD0 + n) return false;
    at_ += 2;
    return true;
  }

  std::size_t Position() const { return at_; }

 private:
  ByteSpan b_;
  std::size_t at_;
  std::uint8_t current_ = 0;
  int left_ = 0;
};

struct Component {
  std::uint8_t id = 0, h = 1, v = 1;
  std::uint8_t dc = 0, ac = 0;
};

// One block's coefficients: a DC difference, then AC run/size pairs to the end of block.
bool DecodeBlock(ScanBits& bits, const HuffmanTable& dc, const HuffmanTable& ac) {
  const auto s = bits.Decode(dc);
  if (!s || *s > 15 || !bits.Bits(*s)) return false;
  for (int k = 1; k < 64;) {
    const auto rs = bits.Decode(ac);
    if (!rs) return false;
    const int run = *rs >> 4, size = *rs & 15;
    if (size == 0) {
      if (run == 15) {
        k += 16;
        continue;
      }
      if (run != 0) return false;
      break;  // end of block
    }
    k += run;
    if (k > 63 || !bits.Bits(size)) return false;
    ++k;
  }
  return true;
}

// A baseline (or extended sequential) Huffman JPEG decoded to its last block: every scan must
// hold exactly the blocks its frame gives it, with the restart markers where the interval puts
// them, and nothing after. Progressive and arithmetic-coded files cannot be told.
WholeFileCheck CheckJpeg(ByteSpan b) {
  std::array<HuffmanTable, 4> dcTables, acTables;
  std::vector<Component> frame;
  std::uint16_t width = 0, height = 0;
  std::uint32_t restartInterval = 0;
  bool decoded = false;
  std::size_t at = 2;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return WholeFileCheck::kBroken;
    const std::uint8_t marker = b[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xD9) break;
    const std::size_t length = Be16(b, at + 2);
    if (length < 2 || at + 2 + length > b.size()) return WholeFileCheck::kBroken;
    const ByteSpan body = b.subspan(at + 4, length - 2);
    at += 2 + length;
    if (marker == 0xC4) {
      for (std::size_t p = 0; p < body.size();) {
        if (body.size() - p < 17) return WholeFileCheck::kBroken;
        const std::uint8_t which = body[p];
        std::size_t count = 0;
        for (std::size_t i = 1; i <= 16; ++i) count += body[p + i];
        if ((which >> 4) > 1 || (which & 15) > 3 || body.size() - p - 17 < count) return WholeFileCheck::kBroken;
        HuffmanTable& table = ((which >> 4) == 0 ? dcTables : acTables)[which & 15];
        if (!BuildTable(body.subspan(p + 1, 16), body.subspan(p + 17, count), table)) return WholeFileCheck::kBroken;
        p += 17 + count;
      }
    } else if (marker == 0xC0 || marker == 0xC1) {
      if (body.size() < 6) return WholeFileCheck::kBroken;
      height = Be16(body, 1);
      width = Be16(body, 3);
      const std::size_t n = body[5];
      if (n == 0 || n > 4 || body.size() < 6 + 3 * n) return WholeFileCheck::kBroken;
      frame.clear();
      for (std::size_t i = 0; i < n; ++i) {
        Component c;
        c.id = body[6 + 3 * i];
        c.h = static_cast<std::uint8_t>(body[7 + 3 * i] >> 4);
        c.v = static_cast<std::uint8_t>(body[7 + 3 * i] & 15);
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return WholeFileCheck::kBroken;
        frame.push_back(c);
      }
      // Lines given later by a DNL segment: the block count is not known here.
      if (height == 0 || width == 0) return WholeFileCheck::kCannotTell;
    } else if ((marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)) {
      return WholeFileCheck::kCannotTell;  // progressive, lossless or arithmetic-coded
    } else if (marker == 0xDD) {
      if (body.size() < 2) return WholeFileCheck::kBroken;
      restartInterval = Be16(body, 0);
    } else if (marker == 0xDA) {
      if (frame.empty() || body.empty()) return WholeFileCheck::kBroken;
      const std::size_t ns = body[0];
      if (ns == 0 || ns > frame.size() || body.size() < 1 + 2 * ns + 3) return WholeFileCheck::kBroken;
      std::vector<Component> scan;
      for (std::size_t i = 0; i < ns; ++i) {
        auto it = std::find_if(frame.begin(), frame.end(), [&](const Component& c) { return c.id == body[1 + 2 * i]; });
        if (it == frame.end()) return WholeFileCheck::kBroken;
        Component c = *it;
        c.dc = static_cast<std::uint8_t>(body[2 + 2 * i] >> 4);
        c.ac = static_cast<std::uint8_t>(body[2 + 2 * i] & 15);
        if (c.dc > 3 || c.ac > 3 || !dcTables[c.dc].defined || !acTables[c.ac].defined) return WholeFileCheck::kBroken;
        scan.push_back(c);
      }
      std::uint8_t hMax = 1, vMax = 1;
      for (const Component& c : frame) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
      }
      // Units to decode: one component alone goes block by block over its own size; several go
      // by MCUs of every component's h x v blocks.
      std::uint64_t units = 0;
      std::vector<std::pair<const Component*, int>> unit;  // component, blocks of it per unit
      if (scan.size() == 1) {
        const Component& c = scan[0];
        const std::uint64_t w = (std::uint64_t{width} * c.h + hMax - 1) / hMax;
        const std::uint64_t h = (std::uint64_t{height} * c.v + vMax - 1) / vMax;
        units = ((w + 7) / 8) * ((h + 7) / 8);
        unit.emplace_back(&scan[0], 1);
      } else {
        units = ((std::uint64_t{width} + 8u * hMax - 1) / (8u * hMax)) *
                ((std::uint64_t{height} + 8u * vMax - 1) / (8u * vMax));
        for (const Component& c : scan) unit.emplace_back(&c, c.h * c.v);
      }
      ScanBits bits(b, at);
      int restart = 0;
      for (std::uint64_t u = 0; u < units; ++u) {
        if (restartInterval != 0 && u != 0 && u % restartInterval == 0) {
          if (!bits.PaddingOnly() || !bits.Restart(restart)) return WholeFileCheck::kBroken;
          restart = (restart + 1) % 8;
        }
        for (const auto& [c, blocks] : unit) {
          for (int k = 0; k < blocks; ++k) {
            if (!DecodeBlock(bits, dcTables[c->dc], acTables[c->ac])) return WholeFileCheck::kBroken;
          }
        }
      }
      // The scan ends at the byte after its last block, and a marker follows.
      if (!bits.PaddingOnly()) return WholeFileCheck::kBroken;
      at = bits.Position();
      if (at + 1 >= b.size() || b[at] != 0xFF || b[at + 1] == 0x00 || (b[at + 1] >= 0xD0 && b[at + 1] <= 0xD7))
        return WholeFileCheck::kBroken;
      decoded = true;
    }
  }
  // EOI ends the bytes, after at least one decoded scan.
  if (!decoded || at + 2 != b.size() || b[at] != 0xFF || b[at + 1] != 0xD9) return WholeFileCheck::kBroken;
  return WholeFileCheck::kHolds;
}

// A zip archive whose central directory names every member at a local header that agrees with it.
// Stored members are checked against their CRC; a compressed member cannot be told without
// inflating it.
WholeFileCheck CheckZip(ByteSpan b) {
  if (b.size() < 22) return WholeFileCheck::kBroken;
  // The end record is the one the length rule found: the last PK56 whose comment ends the bytes.
  std::optional<std::size_t> end;
  for (std::size_t at = b.size() - 22;; --at) {
    if (BytesEqual(b, at, std::string_view("PK\5\6", 4)) && at + 22 + Le16(b, at + 20) == b.size()) {
      end = at;
      break;
    }
    if (at == 0 || b.size() - at > 22 + 0xFFFF) break;
  }
  if (!end) return WholeFileCheck::kBroken;
  const std::size_t entries = Le16(b, *end + 10);
  const std::size_t cdSize = Le32(b, *end + 12);
  const std::size_t cdOffset = Le32(b, *end + 16);
  if (entries == 0xFFFF || cdOffset > *end || *end - cdOffset != cdSize) return WholeFileCheck::kCannotTell;
  bool compressed = false;
  std::size_t p = cdOffset;
  for (std::size_t i = 0; i < entries; ++i) {
    if (p + 46 > *end || !BytesEqual(b, p, std::string_view("PK\1\2", 4))) return WholeFileCheck::kBroken;
    const std::uint16_t method = Le16(b, p + 10);
    const std::uint32_t crc = Le32(b, p + 16);
    const std::uint32_t packed = Le32(b, p + 20);
    const std::uint32_t unpacked = Le32(b, p + 24);
    const std::size_t nameLength = Le16(b, p + 28);
    const std::size_t local = Le32(b, p + 42);
    const std::size_t next = p + 46 + nameLength + Le16(b, p + 30) + Le16(b, p + 32);
    if (next > *end || packed == 0xFFFFFFFFu || local == 0xFFFFFFFFu) return WholeFileCheck::kCannotTell;
    if (local + 30 > cdOffset || !BytesEqual(b, local, std::string_view("PK\3\4", 4))) return WholeFileCheck::kBroken;
    if (Le16(b, local + 26) != nameLength ||
        !std::equal(b.begin() + static_cast<std::ptrdiff_t>(p + 46),
                    b.begin() + static_cast<std::ptrdiff_t>(p + 46 + nameLength),
                    b.begin() + static_cast<std::ptrdiff_t>(local + 30)))
      return WholeFileCheck::kBroken;
    const std::size_t data = local + 30 + nameLength + Le16(b, local + 28);
    if (data > cdOffset || cdOffset - data < packed) return WholeFileCheck::kBroken;
    if (method == 0) {
      if (packed != unpacked || Crc32(b.subspan(data, packed)) != crc) return WholeFileCheck::kBroken;
    } else {
      compressed = true;
    }
    p = next;
  }
  if (p != *end) return WholeFileCheck::kBroken;
  return compressed ? WholeFileCheck::kCannotTell : WholeFileCheck::kHolds;
}

bool IsPdfWhite(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0; }

// The decimal number at p (after white space), moving p past it.
std::optional<std::uint64_t> PdfNumber(ByteSpan b, std::size_t& p) {
  while (p < b.size() && IsPdfWhite(b[p])) ++p;
  const std::size_t from = p;
  std::uint64_t v = 0;
  while (p < b.size() && b[p] >= '0' && b[p] <= '9' && p - from < 18) v = v * 10 + (b[p++] - '0');
  if (p == from) return std::nullopt;
  return v;
}

bool PdfWord(ByteSpan b, std::size_t& p, std::string_view word) {
  while (p < b.size() && IsPdfWhite(b[p])) ++p;
  if (!BytesEqual(b, p, word)) return false;
  p += word.size();
  return true;
}

// Bounds on the PDF check: the bytes an object's dictionary is looked for in, and the objects
// looked at (a file with more cannot be told).
constexpr std::size_t kPdfDictionaryBytes = 64 * 1024;
constexpr std::size_t kPdfMaxObjects = 200000;

// A PDF whose last startxref names a classic cross-reference table, every object of which begins
// where the table says, and whose streams end where their /Length says; a stream with a filter
// (compressed) or a cross-reference stream cannot be told without decoding it, an unfiltered one
// must be text.
WholeFileCheck CheckPdf(ByteSpan b) {
  const std::string_view text(reinterpret_cast<const char*>(b.data()), b.size());
  const std::size_t sx = text.rfind("startxref");
  if (sx == std::string_view::npos) return WholeFileCheck::kBroken;
  std::size_t p = sx + 9;
  const auto xref = PdfNumber(b, p);
  if (!xref || *xref >= b.size()) return WholeFileCheck::kBroken;
  p = static_cast<std::size_t>(*xref);
  if (!PdfWord(b, p, "xref")) {
    std::size_t q = p;
    const bool object = PdfNumber(b, q) && PdfNumber(b, q) && PdfWord(b, q, "obj");
    return object ? WholeFileCheck::kCannotTell : WholeFileCheck::kBroken;
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> objects;  // offset, number
  for (;;) {
    std::size_t q = p;
    const auto first = PdfNumber(b, q);
    if (!first) break;
    const auto count = PdfNumber(b, q);
    if (!count || *count > b.size() / 20) return WholeFileCheck::kBroken;
    p = q;
    for (std::uint64_t i = 0; i < *count; ++i) {
      const auto offset = PdfNumber(b, p);
      const auto generation = PdfNumber(b, p);
      while (p < b.size() && IsPdfWhite(b[p])) ++p;
      if (!offset || !generation || p >= b.size() || (b[p] != 'n' && b[p] != 'f')) return WholeFileCheck::kBroken;
      if (b[p] == 'n') objects.emplace_back(*offset, *first + i);
      ++p;
    }
  }
  if (!PdfWord(b, p, "trailer") || objects.empty()) return WholeFileCheck::kBroken;
  if (objects.size() > kPdfMaxObjects) return WholeFileCheck::kCannotTell;
  bool filtered = false;
  for (const auto& [offset, number] : objects) {
    if (offset >= b.size()) return WholeFileCheck::kBroken;
    std::size_t q = static_cast<std::size_t>(offset);
    if (PdfNumber(b, q) != number || !PdfNumber(b, q) || !PdfWord(b, q, "obj")) return WholeFileCheck::kBroken;
    // A stream of this object: its dictionary, "stream", /Length bytes, "endstream". A dictionary
    // is looked for within a bound, so that a file of many objects costs a bounded look at each.
    const std::string_view head = text.substr(q, kPdfDictionaryBytes);
    const std::size_t stream = head.find("stream");
    const std::size_t end = head.find("endobj");
    if (stream == std::string_view::npos) {
      if (end == std::string_view::npos && head.size() == kPdfDictionaryBytes) return WholeFileCheck::kCannotTell;
      if (end == std::string_view::npos) return WholeFileCheck::kBroken;
      continue;
    }
    if (end != std::string_view::npos && end < stream) continue;
    const std::string_view dictionary = head.substr(0, stream);
    const std::size_t lengthKey = dictionary.find("/Length");
    if (lengthKey == std::string_view::npos) return WholeFileCheck::kBroken;
    std::size_t l = q + lengthKey + 7;
    const auto length = PdfNumber(b, l);
    if (!length) return WholeFileCheck::kBroken;
    std::size_t r = l;
    if (PdfNumber(b, r) && PdfWord(b, r, "R")) {
      filtered = true;  // the length is another object's: not followed here
      continue;
    }
    std::size_t data = q + stream + 6;
    if (data < b.size() && b[data] == '\r') ++data;
    if (data < b.size() && b[data] == '\n') ++data;
    if (data + *length > b.size()) return WholeFileCheck::kBroken;
    std::size_t after = data + static_cast<std::size_t>(*length);
    if (!PdfWord(b, after, "endstream")) return WholeFileCheck::kBroken;
    if (dictionary.find("/Filter") != std::string_view::npos) {
      filtered = true;
      continue;
    }
    for (std::size_t k = data; k < data + *length; ++k) {
      const std::uint8_t c = b[k];
      if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') return WholeFileCheck::kBroken;
    }
  }
  return filtered ? WholeFileCheck::kCannotTell : WholeFileCheck::kHolds;
}

}  // namespace

bool WholeFileCheckCanConfirm(CarveType type) {
  return type == CarveType::kJpeg || type == CarveType::kPng || type == CarveType::kPdf || IsZipFamily(type);
}

WholeFileCheck CheckWholeFile(CarveType type, ByteSpan bytes) {
  // The structure must end exactly where the bytes do.
  const std::optional<std::uint64_t> length = CarvedLength(type, MemoryByteSource(bytes), bytes.size());
  if (!length || *length != bytes.size()) return WholeFileCheck::kBroken;
  if (IsZipFamily(type)) return CheckZip(bytes);
  switch (type) {
    case CarveType::kJpeg: return CheckJpeg(bytes);
    case CarveType::kPng: return WholeFileCheck::kHolds;  // every chunk's CRC was checked
    case CarveType::kPdf: return CheckPdf(bytes);
    default: return WholeFileCheck::kCannotTell;  // nothing looks inside: see WholeFileCheckCanConfirm
  }
}

}  // namespace quarrow
