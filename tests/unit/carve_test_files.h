#pragma once
// Files of every carved format written by hand, for the carving tests: the builders do not share
// the code under test (the CRC too is this file's own, table-driven where the library's is
// bitwise).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow::carve_test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t TestCrc(const Bytes& b, std::size_t from, std::size_t n) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < from + n; ++i) c = table[(c ^ b[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

inline void Put(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }
inline void Put8(Bytes& b, std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
inline void PutLe16(Bytes& b, std::uint32_t v) { Put8(b, v); Put8(b, v >> 8); }
inline void PutLe32(Bytes& b, std::uint32_t v) { PutLe16(b, v); PutLe16(b, v >> 16); }
inline void PutBe16(Bytes& b, std::uint32_t v) { Put8(b, v >> 8); Put8(b, v); }
inline void PutBe32(Bytes& b, std::uint32_t v) { PutBe16(b, v >> 16); PutBe16(b, v); }
inline void PutFill(Bytes& b, std::size_t n, std::uint8_t v) { b.insert(b.end(), n, v); }

// Bytes that look like nothing: a fixed linear congruential sequence.
inline Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<std::uint8_t>(seed >> 16);
  }
  return b;
}

// A baseline JPEG: SOI, APP1 Exif (holding a thumbnail's SOI/EOI that must not end the file),
// DQT, SOF0, DHT, SOS, entropy-coded data with stuffed FF00 bytes and restart markers, EOI.
inline Bytes Jpeg(std::size_t scanBytes) {
  Bytes b = {0xFF, 0xD8};
  const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xD8, 0xFF, 0xD9};
  Put8(b, 0xFF); Put8(b, 0xE1); PutBe16(b, 2 + exif.size()); b.insert(b.end(), exif.begin(), exif.end());
  Put8(b, 0xFF); Put8(b, 0xDB); PutBe16(b, 67); Put8(b, 0); PutFill(b, 64, 1);
  Put8(b, 0xFF); Put8(b, 0xC0); PutBe16(b, 11); Put8(b, 8); PutBe16(b, 16); PutBe16(b, 16); Put8(b, 1);
  Put8(b, 1); Put8(b, 0x11); Put8(b, 0);
  Put8(b, 0xFF); Put8(b, 0xC4); PutBe16(b, 2 + 17 + 2); Put8(b, 0); Put8(b, 0); Put8(b, 2); PutFill(b, 14, 0);
  Put8(b, 3); Put8(b, 4);
  Put8(b, 0xFF); Put8(b, 0xDA); PutBe16(b, 8); Put8(b, 1); Put8(b, 1); Put8(b, 0); Put8(b, 0); Put8(b, 63);
  Put8(b, 0);
  const Bytes noise = Noise(scanBytes, 7);
  for (std::size_t i = 0; i < noise.size(); ++i) {
    Put8(b, noise[i]);
    if (noise[i] == 0xFF) Put8(b, 0x00);  // stuffing
    if (i % 4096 == 4095) { Put8(b, 0xFF); Put8(b, 0xD0 + (i / 4096) % 8); }
  }
  Put8(b, 0xFF); Put8(b, 0xD9);
  return b;
}

inline void PngChunk(Bytes& b, std::string_view type, const Bytes& data) {
  PutBe32(b, data.size());
  const std::size_t from = b.size();
  Put(b, type);
  b.insert(b.end(), data.begin(), data.end());
  PutBe32(b, TestCrc(b, from, 4 + data.size()));
}

inline Bytes Png(std::size_t idatBytes = 70000) {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(ihdr, 2); PutBe32(ihdr, 2); Put8(ihdr, 8); Put8(ihdr, 2); Put8(ihdr, 0); Put8(ihdr, 0); Put8(ihdr, 0);
  PngChunk(b, "IHDR", ihdr);
  PngChunk(b, "tEXt", {'a', 0, 'b'});
  PngChunk(b, "IDAT", Noise(idatBytes, 3));
  PngChunk(b, "IEND", {});
  return b;
}

inline Bytes Gif() {
  Bytes b;
  Put(b, "GIF89a");
  PutLe16(b, 2); PutLe16(b, 2); Put8(b, 0x80); Put8(b, 0); Put8(b, 0);
  PutFill(b, 6, 0x7F);                                                        // two colours
  Put8(b, 0x21); Put8(b, 0xF9); Put8(b, 4); PutFill(b, 4, 0x3B); Put8(b, 0);  // graphic control
  Put8(b, 0x2C); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 2); PutLe16(b, 2); Put8(b, 0);
  Put8(b, 2);
  Put8(b, 3); PutFill(b, 3, 0x3B); Put8(b, 2); PutFill(b, 2, 0x21); Put8(b, 0);
  Put8(b, 0x21); Put8(b, 0xFE); Put8(b, 5); Put(b, "hello"); Put8(b, 0);  // comment
  Put8(b, 0x3B);
  return b;
}

inline Bytes Bmp() {
  Bytes b;
  Put(b, "BM");
  PutLe32(b, 14 + 40 + 16); PutLe32(b, 0); PutLe32(b, 54);
  PutLe32(b, 40); PutLe32(b, 2); PutLe32(b, 2); PutLe16(b, 1); PutLe16(b, 24); PutLe32(b, 0); PutLe32(b, 16);
  PutLe32(b, 2835); PutLe32(b, 2835); PutLe32(b, 0); PutLe32(b, 0);
  const Bytes pixels = Noise(16, 9);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// A TIFF in either byte order: IFD0 (its Make a value stored outside the entry), an Exif
// directory, and a strip. stripLast puts the strip after the directories, else before them.
enum class Raw { kPlain, kNikon, kDng, kCanon };
inline Bytes Tiff(bool little, Raw raw, bool stripLast) {
  Bytes b;
  auto u16 = [&](Bytes& o, std::uint32_t v) { little ? PutLe16(o, v) : PutBe16(o, v); };
  auto u32 = [&](Bytes& o, std::uint32_t v) { little ? PutLe32(o, v) : PutBe32(o, v); };
  Put(b, little ? std::string_view("II*\0", 4) : std::string_view("MM\0*", 4));
  u32(b, 0);  // patched below
  if (raw == Raw::kCanon) { Put(b, "CR"); Put8(b, 2); Put8(b, 0); u32(b, 0); }
  const Bytes strip = Noise(3000, 11);
  std::uint32_t stripAt = 0;
  if (!stripLast) { stripAt = b.size(); b.insert(b.end(), strip.begin(), strip.end()); }
  const std::string make = raw == Raw::kNikon ? std::string("NIKON CORPORATION\0", 18) : std::string("Maker\0", 6);
  const std::uint16_t entries = raw == Raw::kDng ? 7 : 6;
  const std::uint32_t ifd0 = b.size();
  const std::uint32_t makeAt = ifd0 + 2 + entries * 12 + 4;
  const std::uint32_t exifAt = makeAt + make.size() + (make.size() & 1);
  const std::uint32_t exifEnd = exifAt + 2 + 12 + 4;
  if (stripLast) stripAt = exifEnd + 10;
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    u16(b, tag); u16(b, type); u32(b, count);
    if (type == 3 && count == 1) { u16(b, value); u16(b, 0); } else { u32(b, value); }
  };
  u16(b, entries);
  entry(0x0100, 3, 1, 40);
  entry(0x010F, 2, make.size(), makeAt);
  entry(0x0111, 4, 1, stripAt);
  entry(0x0117, 4, 1, strip.size());
  entry(0x0131, 2, 4, 0x00414141);
  entry(0x8769, 4, 1, exifAt);
  if (raw == Raw::kDng) entry(0xC612, 1, 4, 0x00000401);
  u32(b, 0);
  Put(b, make);
  if (make.size() & 1) Put8(b, 0);
  u16(b, 1);
  entry(0x9000, 7, 4, 0x30323330);
  u32(b, 0);
  if (stripLast) { PutFill(b, 10, 0); b.insert(b.end(), strip.begin(), strip.end()); }
  Bytes head;
  u32(head, ifd0);
  std::copy(head.begin(), head.end(), b.begin() + 4);
  return b;
}

// A PDF saved twice: the first revision and an incremental update, each ending in %%EOF.
inline Bytes Pdf() {
  Bytes b;
  Put(b, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  Put(b, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Count 0 >>\nendobj\n");
  Put(b, "xref\n0 3\n0000000000 65535 f \ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n");
  Put(b, "3 0 obj\n<< /Producer (update) >>\nendobj\n");
  Put(b, "xref\n3 1\n0000000200 00000 n \ntrailer\n<< /Size 4 /Prev 9 >>\nstartxref\n300\n%%EOF\n");
  return b;
}

struct ZipEntry {
  std::string name;
  Bytes data;
};

// A zip archive of stored entries: local headers, the central directory, the end record with a
// comment.
inline Bytes Zip(const std::vector<ZipEntry>& entries, std::string_view comment) {
  Bytes b;
  std::vector<std::uint32_t> offsets;
  for (const auto& e : entries) {
    offsets.push_back(b.size());
    Put(b, std::string_view("PK\3\4", 4));
    PutLe16(b, 20); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0x21);
    PutLe32(b, TestCrc(e.data, 0, e.data.size())); PutLe32(b, e.data.size()); PutLe32(b, e.data.size());
    PutLe16(b, e.name.size()); PutLe16(b, 0);
    Put(b, e.name);
    b.insert(b.end(), e.data.begin(), e.data.end());
  }
  const std::uint32_t cd = b.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    Put(b, std::string_view("PK\1\2", 4));
    PutLe16(b, 20); PutLe16(b, 20); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0x21);
    PutLe32(b, TestCrc(e.data, 0, e.data.size())); PutLe32(b, e.data.size()); PutLe32(b, e.data.size());
    PutLe16(b, e.name.size()); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, 0); PutLe32(b, 0);
    PutLe32(b, offsets[i]);
    Put(b, e.name);
  }
  const std::uint32_t cdSize = b.size() - cd;
  Put(b, std::string_view("PK\5\6", 4));
  PutLe16(b, 0); PutLe16(b, 0); PutLe16(b, entries.size()); PutLe16(b, entries.size());
  PutLe32(b, cdSize); PutLe32(b, cd); PutLe16(b, comment.size());
  Put(b, comment);
  return b;
}

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Office(std::string_view folder) {
  return Zip({{"[Content_Types].xml", Text("<Types/>")}, {"_rels/.rels", Text("<Relationships/>")},
              {std::string(folder) + "document.xml", Noise(2000, 5)}},
             "made by hand");
}

// A zip whose stored data holds a central header and an end record naming it, with a size that
// does not reach the record: the archive goes on to its real end record.
inline Bytes ZipWithDecoy() {
  const std::uint32_t fakeCentral = 30 + 5 + 100000 + 30 + 5;  // where b.bin's data lands
  Bytes fake;
  Put(fake, std::string_view("PK\1\2", 4));
  PutFill(fake, 42, 0);
  Put(fake, std::string_view("PK\5\6\0\0\0\0\1\0\1\0", 12));
  PutLe32(fake, 40); PutLe32(fake, fakeCentral); PutLe16(fake, 0);
  return Zip({{"a.txt", Noise(100000, 13)}, {"b.bin", fake}}, "");
}

inline Bytes OpenDocument(std::string_view kind) {
  return Zip({{"mimetype", Text(std::string("application/vnd.oasis.opendocument.") + std::string(kind))},
              {"content.xml", Text("<office:document-content/>")}},
             "");
}

inline void Box(Bytes& b, std::string_view type, const Bytes& data, bool large = false) {
  if (large) {
    PutBe32(b, 1); Put(b, type); PutBe32(b, 0); PutBe32(b, 16 + data.size());
  } else {
    PutBe32(b, 8 + data.size()); Put(b, type);
  }
  b.insert(b.end(), data.begin(), data.end());
}

inline Bytes IsoMedia(std::string_view brand, std::size_t mdatBytes = 100000) {
  Bytes b;
  Bytes ftyp;
  Put(ftyp, brand); PutBe32(ftyp, 0x200); Put(ftyp, brand); Put(ftyp, "mp41");
  Box(b, "ftyp", ftyp);
  Box(b, "free", Bytes(8, 0));
  Box(b, "mdat", Noise(mdatBytes, 17), brand == "qt  ");
  Bytes moov;
  Box(moov, "mvhd", Bytes(100, 0));
  Box(b, "moov", moov);
  return b;
}

inline Bytes Wav() {
  Bytes body;
  Put(body, "WAVE");
  Put(body, "fmt "); PutLe32(body, 16); PutLe16(body, 1); PutLe16(body, 1); PutLe32(body, 8000);
  PutLe32(body, 16000); PutLe16(body, 2); PutLe16(body, 16);
  Put(body, "data"); PutLe32(body, 2000);
  const Bytes samples = Noise(2000, 19);
  body.insert(body.end(), samples.begin(), samples.end());
  Bytes b;
  Put(b, "RIFF"); PutLe32(b, body.size()); b.insert(b.end(), body.begin(), body.end());
  return b;
}

inline Bytes Avi() {
  Bytes body;
  Put(body, "AVI ");
  Put(body, "LIST"); PutLe32(body, 4 + 8 + 56); Put(body, "hdrl"); Put(body, "avih"); PutLe32(body, 56);
  PutFill(body, 56, 0);
  Put(body, "LIST"); PutLe32(body, 4 + 3000); Put(body, "movi");
  const Bytes frames = Noise(3000, 23);
  body.insert(body.end(), frames.begin(), frames.end());
  Bytes b;
  Put(b, "RIFF"); PutLe32(b, body.size()); b.insert(b.end(), body.begin(), body.end());
  return b;
}

// An MP3: an ID3v2.3 tag of 30 bytes, MPEG-1 Layer III frames at 128 kbit/s and 44.1 kHz (417
// bytes, 418 with padding), and an ID3v1 tag when asked.
inline Bytes Mp3(bool v1Tag) {
  Bytes b;
  Put(b, "ID3"); Put8(b, 3); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 0); Put8(b, 30);
  Put(b, "TIT2"); PutBe32(b, 6); PutBe16(b, 0); Put8(b, 0); Put(b, "Title"); PutFill(b, 30 - 16, 0);
  for (int i = 0; i < 5; ++i) {
    const bool padded = i == 2;
    Put8(b, 0xFF); Put8(b, 0xFB); Put8(b, padded ? 0x92 : 0x90); Put8(b, 0x64);
    const Bytes audio = Noise(padded ? 414 : 413, 29 + i);
    b.insert(b.end(), audio.begin(), audio.end());
  }
  if (v1Tag) { Put(b, "TAG"); PutFill(b, 125, ' '); }
  return b;
}

// A greyscale baseline JPEG (JFIF) whose scan decodes: 4-bit Huffman codes for 12 DC sizes and for the
// AC symbols end-of-block and run 0 with sizes 1-5, blocksWide x blocksHigh blocks of random
// coefficients (seeded), and a restart marker every restartInterval blocks when it is not 0.
inline Bytes DecodableJpeg(std::uint32_t blocksWide, std::uint32_t blocksHigh, std::uint32_t seed,
                           std::uint32_t restartInterval = 0) {
  Bytes b = {0xFF, 0xD8};
  Put8(b, 0xFF); Put8(b, 0xE0); PutBe16(b, 16); Put(b, std::string_view("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
  Put8(b, 0xFF); Put8(b, 0xDB); PutBe16(b, 67); Put8(b, 0); PutFill(b, 64, 1);
  Put8(b, 0xFF); Put8(b, 0xC0); PutBe16(b, 11); Put8(b, 8); PutBe16(b, blocksHigh * 8);
  PutBe16(b, blocksWide * 8); Put8(b, 1); Put8(b, 1); Put8(b, 0x11); Put8(b, 0);
  // DHT: class/id, 16 counts (all codes 4 bits long), the symbols.
  Put8(b, 0xFF); Put8(b, 0xC4); PutBe16(b, 2 + 17 + 12); Put8(b, 0x00);
  PutFill(b, 3, 0); Put8(b, 12); PutFill(b, 12, 0);
  for (int i = 0; i < 12; ++i) Put8(b, i);
  Put8(b, 0xFF); Put8(b, 0xC4); PutBe16(b, 2 + 17 + 6); Put8(b, 0x10);
  PutFill(b, 3, 0); Put8(b, 6); PutFill(b, 12, 0);
  for (int i = 0; i < 6; ++i) Put8(b, i);
  if (restartInterval != 0) { Put8(b, 0xFF); Put8(b, 0xDD); PutBe16(b, 4); PutBe16(b, restartInterval); }
  Put8(b, 0xFF); Put8(b, 0xDA); PutBe16(b, 8); Put8(b, 1); Put8(b, 1); Put8(b, 0x00); Put8(b, 0); Put8(b, 63);
  Put8(b, 0);
  std::uint32_t acc = 0;
  int bits = 0;
  auto put = [&](std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      acc = (acc << 1) | ((v >> i) & 1);
      if (++bits == 8) {
        Put8(b, acc);
        if (acc == 0xFF) Put8(b, 0);
        acc = 0;
        bits = 0;
      }
    }
  };
  auto flush = [&] { while (bits != 0) put(1, 1); };
  auto random = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const std::uint32_t blocks = blocksWide * blocksHigh;
  for (std::uint32_t k = 0; k < blocks; ++k) {
    if (restartInterval != 0 && k != 0 && k % restartInterval == 0) {
      flush();
      Put8(b, 0xFF); Put8(b, 0xD0 + (k / restartInterval - 1) % 8);
    }
    const std::uint32_t dcSize = random(9);
    put(dcSize, 4);
    put(random(1u << dcSize), static_cast<int>(dcSize));
    for (std::uint32_t n = random(8); n > 0; --n) {
      const std::uint32_t size = 1 + random(5);
      put(size, 4);
      put(random(1u << size), static_cast<int>(size));
    }
    put(0, 4);  // end of block
  }
  flush();
  Put8(b, 0xFF); Put8(b, 0xD9);
  return b;
}

// A one-page PDF as a writer saves it in one go: objects, a cross-reference table that gives
// each one's offset, the trailer. Its content stream is lines of text; filtered, the stream's
// dictionary names a filter (the bytes are the same text: only the dictionary says otherwise).
// padding spaces lengthen the catalog's dictionary.
inline Bytes TextPdf(int lines, bool filtered = false, std::size_t padding = 0) {
  std::string text = "BT /F1 10 Tf 40 800 Td 12 TL\n";
  for (int i = 0; i < lines; ++i) text += "(line " + std::to_string(i) + " of the page) Tj T*\n";
  text += "ET\n";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R" + std::string(padding, ' ') + " >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
      std::string("<< /Length ") + std::to_string(text.size()) + (filtered ? " /Filter /FlateDecode" : "") +
          " >>\nstream\n" + text + "endstream",
  };
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    at.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : at) {
    std::string number = std::to_string(offset);
    out += std::string(10 - number.size(), '0') + number + " 00000 n \n";
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return Bytes(out.begin(), out.end());
}

}  // namespace quarrow::carve_test
