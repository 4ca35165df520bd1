// The length rules: each follows its format's structure from the file's first byte to its end,
// through a window over the ByteSource, and gives up rather than guess.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "carve/carve.h"
#include "carve/carve_bytes.h"
#include "core/bytes.h"

namespace quarrow {

ByteSource MemoryByteSource(ByteSpan bytes) {
  return [bytes](std::uint64_t offset, std::span<std::uint8_t> out) -> std::size_t {
    if (offset >= bytes.size()) return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes.size() - offset));
    std::memcpy(out.data(), bytes.data() + offset, n);
    return n;
  };
}

namespace {

using Length = std::optional<std::uint64_t>;

// Reads through a window of the source, never past maxBytes. A read fails when any byte it wants
// lies past maxBytes or past what the source holds.
class Reader {
 public:
  Reader(const ByteSource& source, std::uint64_t maxBytes) : source_(source), max_(maxBytes), window_(kWindow) {}

  std::uint64_t max() const { return max_; }

  bool Read(std::uint64_t at, std::span<std::uint8_t> out) {
    if (at >= max_ || out.size() > max_ - at) return out.empty() && at <= max_;
    if (at >= start_ && at - start_ + out.size() <= filled_) {
      std::memcpy(out.data(), window_.data() + (at - start_), out.size());
      return true;
    }
    if (out.size() > kWindow) return source_(at, out) == out.size();
    Fill(at);
    if (out.size() > filled_) return false;
    std::memcpy(out.data(), window_.data(), out.size());
    return true;
  }

  // The byte at at, or nothing past the end.
  std::optional<std::uint8_t> At(std::uint64_t at) {
    if (at >= max_) return std::nullopt;
    if (at < start_ || at - start_ >= filled_) {
      Fill(at);
      if (filled_ == 0) return std::nullopt;
    }
    return window_[static_cast<std::size_t>(at - start_)];
  }

  // The bytes at at as a span good until the next read (empty when they are not all there).
  ByteSpan Bytes(std::uint64_t at, std::size_t n) {
    scratch_.resize(n);
    if (!Read(at, scratch_)) return {};
    return ByteSpan(scratch_);
  }

  // True when the source holds every byte before end (and end is within maxBytes).
  bool Holds(std::uint64_t end) { return end <= max_ && (end == 0 || At(end - 1).has_value()); }

  // The first offset from at where text starts, before limit; nothing when there is none.
  std::optional<std::uint64_t> Find(std::uint64_t at, std::string_view text, std::uint64_t limit) {
    limit = std::min(limit, max_);
    for (std::uint64_t i = at; i + text.size() <= limit; ++i) {
      const auto first = At(i);
      if (!first) return std::nullopt;
      if (*first != static_cast<std::uint8_t>(text[0])) continue;
      bool same = true;
      for (std::size_t k = 1; k < text.size() && same; ++k) {
        const auto c = At(i + k);
        if (!c) return std::nullopt;
        same = *c == static_cast<std::uint8_t>(text[k]);
      }
      if (same) return i;
    }
    return std::nullopt;
  }

 private:
  static constexpr std::size_t kWindow = 64 * 1024;

  void Fill(std::uint64_t at) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, max_ - at));
    start_ = at;
    filled_ = source_(at, std::span<std::uint8_t>(window_.data(), want));
    if (filled_ > want) filled_ = 0;
  }

  const ByteSource& source_;
  std::uint64_t max_;
  std::vector<std::uint8_t> window_;
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
  std::vector<std::uint8_t> scratch_;
};

// JPEG: marker segments up to each SOS, then the entropy-coded data (where FF00 is a stuffed byte
// and RSTn a restart) up to the next marker; EOI ends the file. Progressive files have several
// scans with tables between them.
Length JpegLength(Reader& r) {
  const ByteSpan soi = r.Bytes(0, 2);
  if (soi.size() != 2 || soi[0] != 0xFF || soi[1] != 0xD8) return std::nullopt;
  std::uint64_t at = 2;
  for (;;) {
    auto b = r.At(at);
    if (!b || *b != 0xFF) return std::nullopt;
    std::uint8_t marker;
    do {  // fill bytes may precede a marker
      b = r.At(++at);
      if (!b) return std::nullopt;
      marker = *b;
    } while (marker == 0xFF);
    ++at;
    if (marker == 0xD9) return at;
    if (!IsJpegSegmentMarker(marker)) return std::nullopt;
    const ByteSpan lengthBytes = r.Bytes(at, 2);
    if (lengthBytes.empty()) return std::nullopt;
    const std::uint16_t length = Be16(lengthBytes, 0);
    if (length < 2) return std::nullopt;
    at += length;
    if (marker != 0xDA) continue;
    // Entropy-coded data: stop at an FF that starts a marker.
    for (;;) {
      b = r.At(at);
      if (!b) return std::nullopt;
      if (*b != 0xFF) {
        ++at;
        continue;
      }
      std::uint64_t next = at + 1;
      std::optional<std::uint8_t> m;
      while ((m = r.At(next)) && *m == 0xFF) ++next;
      if (!m) return std::nullopt;
      if (*m == 0x00 || (*m >= 0xD0 && *m <= 0xD7)) {
        at = next + 1;
        continue;
      }
      at = next - 1;  // the marker's FF
      break;
    }
  }
}

Length PngLength(Reader& r) {
  const ByteSpan head = r.Bytes(0, 8);
  if (head.size() != 8 || !BytesEqual(head, 1, "PNG")) return std::nullopt;
  std::uint64_t at = 8;
  bool first = true;
  for (;;) {
    const ByteSpan h = r.Bytes(at, 8);
    if (h.empty()) return std::nullopt;
    const std::uint32_t length = Be32(h, 0);
    std::array<std::uint8_t, 4> type{h[4], h[5], h[6], h[7]};
    if (length > 0x7FFFFFFFu) return std::nullopt;
    for (const std::uint8_t c : type)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return std::nullopt;
    const bool ihdr = BytesEqual(type, 0, "IHDR");
    if (first != ihdr) return std::nullopt;
    first = false;
    // The CRC covers the type and the data.
    std::uint32_t crc = Crc32(type);
    std::uint64_t done = 0;
    while (done < length) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, 16 * 1024));
      const ByteSpan part = r.Bytes(at + 8 + done, n);
      if (part.empty()) return std::nullopt;
      crc = Crc32Update(crc, part);
      done += n;
    }
    const ByteSpan stored = r.Bytes(at + 8 + length, 4);
    if (stored.empty() || Be32(stored, 0) != crc) return std::nullopt;
    at += 12 + static_cast<std::uint64_t>(length);
    if (BytesEqual(type, 0, "IEND")) return at;
  }
}

// GIF: the header and colour table, then images and extensions as sub-block chains, to 0x3B.
Length GifLength(Reader& r) {
  const ByteSpan head = r.Bytes(0, 13);
  if (head.empty() || !BytesEqual(head, 0, "GIF8")) return std::nullopt;
  std::uint64_t at = 13;
  if (head[10] & 0x80) at += 3u << ((head[10] & 7) + 1);
  auto skipSubBlocks = [&r](std::uint64_t& pos) {
    for (;;) {
      const auto n = r.At(pos);
      if (!n) return false;
      pos += 1 + *n;
      if (*n == 0) return true;
    }
  };
  for (;;) {
    const auto b = r.At(at);
    if (!b) return std::nullopt;
    if (*b == 0x3B) return at + 1;
    if (*b == 0x21) {
      if (!r.At(at + 1)) return std::nullopt;
      at += 2;
      if (!skipSubBlocks(at)) return std::nullopt;
    } else if (*b == 0x2C) {
      const ByteSpan d = r.Bytes(at, 10);
      if (d.empty()) return std::nullopt;
      at += 10;
      if (d[9] & 0x80) at += 3u << ((d[9] & 7) + 1);
      const auto codeSize = r.At(at);
      if (!codeSize || *codeSize < 1 || *codeSize > 12) return std::nullopt;
      ++at;
      if (!skipSubBlocks(at)) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
}

Length BmpLength(Reader& r) {
  const ByteSpan h = r.Bytes(0, 14);
  if (h.empty() || !BytesEqual(h, 0, "BM")) return std::nullopt;
  const std::uint32_t size = Le32(h, 2);
  if (size <= Le32(h, 10) || size < 26) return std::nullopt;
  if (!r.Holds(size)) return std::nullopt;
  return size;
}

// TIFF: every directory reached from IFD0 (the chain, SubIFDs, the Exif, GPS and interoperability
// directories), every value stored outside its entry, and every strip, tile and JPEG thumbnail.
Length TiffLength(Reader& r) {
  const ByteSpan h = r.Bytes(0, 8);
  if (h.empty()) return std::nullopt;
  TiffOrder order{};
  if (BytesEqual(h, 0, std::string_view("II*\0", 4)))
    order.little = true;
  else if (BytesEqual(h, 0, std::string_view("MM\0*", 4)))
    order.little = false;
  else
    return std::nullopt;
  static constexpr std::array<std::uint32_t, 14> kTypeBytes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  std::uint64_t end = 8;
  std::vector<std::uint32_t> pending{order.U32(h, 4)};
  std::set<std::uint32_t> seen;
  constexpr std::size_t kMaxDirectories = 256;
  constexpr std::uint32_t kMaxArray = 1u << 20;

  // The values of an entry as unsigned integers (SHORT or LONG), read where they are stored.
  auto values = [&](ByteSpan entry, std::vector<std::uint64_t>& out) {
    out.clear();
    const std::uint16_t type = order.U16(entry, 2);
    const std::uint32_t count = order.U32(entry, 4);
    if ((type != 3 && type != 4 && type != 13) || count > kMaxArray) return false;
    const std::uint32_t width = type == 3 ? 2 : 4;
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * width;
    std::vector<std::uint8_t> data;
    if (bytes <= 4) {
      data.assign(entry.begin() + 8, entry.begin() + 8 + static_cast<std::ptrdiff_t>(bytes));
    } else {
      data.resize(static_cast<std::size_t>(bytes));
      if (!r.Read(order.U32(entry, 8), data)) return false;
    }
    for (std::uint32_t i = 0; i < count; ++i)
      out.push_back(width == 2 ? order.U16(data, i * 2) : order.U32(data, i * 4));
    return true;
  };

  while (!pending.empty()) {
    const std::uint32_t ifd = pending.back();
    pending.pop_back();
    if (ifd == 0 || seen.count(ifd) != 0) continue;
    if (seen.size() >= kMaxDirectories || ifd < 8) return std::nullopt;
    seen.insert(ifd);
    const ByteSpan countBytes = r.Bytes(ifd, 2);
    if (countBytes.empty()) return std::nullopt;
    const std::uint16_t entries = order.U16(countBytes, 0);
    if (entries == 0 || entries > 4096) return std::nullopt;
    const std::uint64_t tableBytes = 2 + static_cast<std::uint64_t>(entries) * 12 + 4;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(tableBytes));
    if (!r.Read(ifd, table)) return std::nullopt;
    end = std::max<std::uint64_t>(end, ifd + tableBytes);
    std::vector<std::uint64_t> offsets[3];  // strips, tiles, thumbnail
    std::vector<std::uint64_t> counts[3];
    std::vector<std::uint64_t> list;
    for (std::uint16_t i = 0; i < entries; ++i) {
      const ByteSpan entry = ByteSpan(table).subspan(2 + static_cast<std::size_t>(i) * 12, 12);
      const std::uint16_t tag = order.U16(entry, 0);
      const std::uint16_t type = order.U16(entry, 2);
      const std::uint32_t count = order.U32(entry, 4);
      if (type == 0 || type >= kTypeBytes.size()) return std::nullopt;
      const std::uint64_t bytes = static_cast<std::uint64_t>(count) * kTypeBytes[type];
      if (bytes > 4) end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(order.U32(entry, 8)) + bytes);
      switch (tag) {
        case 0x0111: case 0x0117: case 0x0144: case 0x0145: {
          const int which = (tag == 0x0111 || tag == 0x0117) ? 0 : 1;
          if (!values(entry, list)) return std::nullopt;
          (tag == 0x0111 || tag == 0x0144 ? offsets : counts)[which] = list;
          break;
        }
        case 0x0201: case 0x0202:
          if (!values(entry, list) || list.size() != 1) return std::nullopt;
          (tag == 0x0201 ? offsets : counts)[2] = list;
          break;
        case 0x014A: case 0x8769: case 0x8825: case 0xA005:
          if (!values(entry, list)) return std::nullopt;
          for (const std::uint64_t v : list) pending.push_back(static_cast<std::uint32_t>(v));
          break;
        default:
          break;
      }
    }
    for (int k = 0; k < 3; ++k) {
      if (offsets[k].size() != counts[k].size()) return std::nullopt;
      for (std::size_t i = 0; i < offsets[k].size(); ++i) end = std::max(end, offsets[k][i] + counts[k][i]);
    }
    pending.push_back(order.U32(table, static_cast<std::size_t>(tableBytes - 4)));
  }
  if (!r.Holds(end)) return std::nullopt;
  return end;
}

bool IsPdfSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0; }

// After an %%EOF, does an incremental update (or the rest of a linearised file) follow? It starts
// with an object ("12 0 obj"), a cross-reference section or a trailer.
bool PdfContinues(Reader& r, std::uint64_t at) {
  std::array<std::uint8_t, 32> text{};
  std::size_t n = 0;
  for (; n < text.size(); ++n) {
    const auto c = r.At(at + n);
    if (!c) break;
    text[n] = *c;
  }
  const ByteSpan t(text.data(), n);
  if (BytesEqual(t, 0, "xref") || BytesEqual(t, 0, "trailer") || BytesEqual(t, 0, "startxref")) return true;
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    return i > from;
  };
  auto spaces = [&] {
    const std::size_t from = i;
    while (i < t.size() && IsPdfSpace(t[i]) && t[i] != 0) ++i;
    return i > from;
  };
  return digits() && spaces() && digits() && spaces() && BytesEqual(t, i, "obj");
}

// PDF: the %%EOF after which no update follows, within maxBytes. The end takes the end-of-line
// written after it.
Length PdfLength(Reader& r) {
  const ByteSpan h = r.Bytes(0, 5);
  if (h.empty() || !BytesEqual(h, 0, "%PDF-")) return std::nullopt;
  std::uint64_t from = 5;
  for (;;) {
    const auto eof = r.Find(from, "%%EOF", r.max());
    if (!eof) return std::nullopt;
    std::uint64_t end = *eof + 5;
    if (r.At(end) == std::uint8_t{'\r'}) ++end;
    if (r.At(end) == std::uint8_t{'\n'}) ++end;
    std::uint64_t next = end;
    std::optional<std::uint8_t> c;
    for (int k = 0; k < 4096 && (c = r.At(next)) && IsPdfSpace(*c) && *c != 0; ++k) ++next;
    if (!c || !PdfContinues(r, next)) return end;
    from = next;
  }
}

// Zip: the end-of-central-directory record whose central directory ends right where it starts
// and begins with a central header; the end takes the record's comment. A Zip64 archive is
// checked through its Zip64 end record instead.
Length ZipLength(Reader& r) {
  const ByteSpan h = r.Bytes(0, 4);
  if (h.empty() || !BytesEqual(h, 0, std::string_view("PK\3\4", 4))) return std::nullopt;
  std::uint64_t from = 4;
  for (;;) {
    const auto at = r.Find(from, std::string_view("PK\5\6", 4), r.max());
    if (!at) return std::nullopt;
    from = *at + 1;
    const ByteSpan e = r.Bytes(*at, 22);
    if (e.empty()) return std::nullopt;
    const std::uint64_t end = *at + 22 + Le16(e, 20);
    std::uint64_t cdSize = Le32(e, 12);
    std::uint64_t cdOffset = Le32(e, 16);
    std::uint64_t cdEnd = *at;
    // One disk (or the Zip64 record's placeholders), every entry on it.
    if ((Le16(e, 4) != 0 && Le16(e, 4) != 0xFFFF) || Le16(e, 4) != Le16(e, 6) || Le16(e, 8) != Le16(e, 10)) continue;
    if (cdOffset == 0xFFFFFFFFu || cdSize == 0xFFFFFFFFu || Le16(e, 10) == 0xFFFF) {
      // The Zip64 locator sits right before the record and names the Zip64 end record.
      if (*at < 20 + 56) continue;
      const ByteSpan locatorBytes = r.Bytes(*at - 20, 20);
      const std::vector<std::uint8_t> locator(locatorBytes.begin(), locatorBytes.end());
      if (locator.size() != 20 || !BytesEqual(locator, 0, std::string_view("PK\6\7", 4))) continue;
      const std::uint64_t record = Le64(locator, 8);
      const ByteSpan z = r.Bytes(record, 56);
      if (z.empty() || !BytesEqual(z, 0, std::string_view("PK\6\6", 4)) || record + 56 + (Le64(z, 4) - 44) != *at - 20)
        continue;
      cdSize = Le64(z, 40);
      cdOffset = Le64(z, 48);
      cdEnd = record;
    }
    if (cdOffset > cdEnd || cdEnd - cdOffset != cdSize) continue;
    const ByteSpan central = r.Bytes(cdOffset, 4);
    const bool empty = cdSize == 0;
    if (!empty && (central.empty() || !BytesEqual(central, 0, std::string_view("PK\1\2", 4)))) continue;
    if (!r.Holds(end)) return std::nullopt;
    return end;
  }
}

bool IsKnownTopLevelBox(ByteSpan type) {
  static constexpr std::array<std::string_view, 20> kTypes = {
      "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pdin", "moof", "mfra",
      "styp", "sidx", "ssix", "prft", "emsg", "pnot", "junk", "PICT", "jp2h", "bloc"};
  for (const std::string_view t : kTypes)
    if (BytesEqual(type, 0, t)) return true;
  return false;
}

// MP4/MOV: top-level boxes from ftyp while their types are known, their sizes sane; the movie
// box must be among them.
Length IsoMediaLength(Reader& r) {
  std::uint64_t at = 0;
  bool movie = false;
  for (;;) {
    const ByteSpan h = r.Bytes(at, 8);
    if (h.empty()) break;  // the bytes end after a whole box
    const std::uint32_t size32 = Be32(h, 0);
    const std::array<std::uint8_t, 4> type{h[4], h[5], h[6], h[7]};
    if (at == 0 ? !BytesEqual(type, 0, "ftyp") : !IsKnownTopLevelBox(type)) break;
    std::uint64_t size = size32;
    if (size32 == 1) {
      const ByteSpan large = r.Bytes(at + 8, 8);
      if (large.empty()) return std::nullopt;
      size = Be64(large, 0);
      if (size < 16) return std::nullopt;
    } else if (size32 == 0) {
      return std::nullopt;  // a box that runs to the end of a file whose end is not known
    } else if (size32 < 8) {
      break;
    }
    if (BytesEqual(type, 0, "moov") || BytesEqual(type, 0, "moof")) movie = true;
    if (size > r.max() - at || !r.Holds(at + size)) return std::nullopt;
    at += size;
    if (at == r.max()) break;
  }
  if (at == 0 || !movie) return std::nullopt;
  return at;
}

Length RiffLength(Reader& r) {
  const ByteSpan h = r.Bytes(0, 12);
  if (h.empty() || !BytesEqual(h, 0, "RIFF")) return std::nullopt;
  const std::uint64_t end = static_cast<std::uint64_t>(Le32(h, 4)) + 8;
  if (end < 12 || !r.Holds(end)) return std::nullopt;
  return end;
}

// The length of the MPEG audio frame whose header these four bytes are, or 0 when they are not
// one.
std::uint32_t MpegFrameBytes(ByteSpan h) {
  if (h.size() < 4 || h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const int version = (h[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
  const int layer = (h[1] >> 1) & 3;    // 1: III, 2: II, 3: I
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 3;
  const int padding = (h[2] >> 1) & 1;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return 0;
  if ((h[3] & 3) == 2) return 0;  // reserved emphasis
  static constexpr int kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  const int mpeg1 = version == 3 ? 1 : 0;
  const int bitrate = kBitrates[1 - mpeg1][3 - layer][bitrateIndex] * 1000;
  const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  if (layer == 3) return static_cast<std::uint32_t>((12 * bitrate / rate + padding) * 4);
  if (layer == 1 && !mpeg1) return static_cast<std::uint32_t>(72 * bitrate / rate + padding);
  return static_cast<std::uint32_t>(144 * bitrate / rate + padding);
}

// MP3: the ID3v2 tag, then MPEG frames of one version, layer and sample rate while their headers
// hold, then an ID3v1 tag when one follows.
Length Mp3Length(Reader& r) {
  const ByteSpan h = r.Bytes(0, 10);
  if (h.empty() || !BytesEqual(h, 0, "ID3")) return std::nullopt;
  for (std::size_t i = 6; i < 10; ++i)
    if (h[i] & 0x80) return std::nullopt;
  std::uint64_t at = 10 + ((static_cast<std::uint64_t>(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9]);
  if (h[3] == 4 && (h[5] & 0x10)) at += 10;  // footer
  std::uint8_t kind[2] = {0, 0};
  std::uint64_t frames = 0;
  for (;;) {
    const ByteSpan f = r.Bytes(at, 4);
    if (f.empty()) break;
    const std::uint32_t bytes = MpegFrameBytes(f);
    if (bytes == 0) break;
    if (frames == 0) {
      kind[0] = f[1];
      kind[1] = f[2] & 0x0C;
    } else if (f[1] != kind[0] || (f[2] & 0x0C) != kind[1]) {
      break;
    }
    if (!r.Holds(at + bytes)) return std::nullopt;
    at += bytes;
    ++frames;
  }
  if (frames < 2) return std::nullopt;
  const ByteSpan tag = r.Bytes(at, 128);
  if (!tag.empty() && BytesEqual(tag, 0, "TAG")) at += 128;
  return at;
}

}  // namespace

std::optional<std::uint64_t> CarvedLength(CarveType type, const ByteSource& read, std::uint64_t maxBytes) {
  Reader r(read, maxBytes);
  switch (type) {
    case CarveType::kJpeg: return JpegLength(r);
    case CarveType::kPng: return PngLength(r);
    case CarveType::kGif: return GifLength(r);
    case CarveType::kBmp: return BmpLength(r);
    case CarveType::kTiff:
    case CarveType::kCr2:
    case CarveType::kNef:
    case CarveType::kDng: return TiffLength(r);
    case CarveType::kPdf: return PdfLength(r);
    case CarveType::kZip:
    case CarveType::kDocx:
    case CarveType::kXlsx:
    case CarveType::kPptx:
    case CarveType::kOdt:
    case CarveType::kOds: return ZipLength(r);
    case CarveType::kMp4:
    case CarveType::kMov: return IsoMediaLength(r);
    case CarveType::kAvi:
    case CarveType::kWav: return RiffLength(r);
    case CarveType::kMp3: return Mp3Length(r);
  }
  return std::nullopt;
}

}  // namespace quarrow
