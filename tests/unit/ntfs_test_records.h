#pragma once
// NTFS structures built in memory for the NTFS decoder tests: boot sectors, run lists,
// attributes, FILE records and INDX records, protected by an update sequence as the disk holds
// them.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "disk/fault_block_device.h"
#include "disk/sector_reader.h"
#include "ntfs/mft_record.h"
#include "scan/scan_context.h"
#include "support/test_support.h"

namespace quarrow::ntfs_test {

using Bytes = std::vector<std::uint8_t>;

inline void Put(Bytes& b, std::size_t at, std::uint64_t value, std::size_t width) {
  if (b.size() < at + width) b.resize(at + width);
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void PutName(Bytes& b, std::size_t at, const std::u16string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) Put(b, at + 2 * i, name[i], 2);
}

inline Bytes NtfsBoot(std::uint8_t spc, std::uint64_t total, std::uint64_t mft, std::uint64_t mirror,
                      std::uint32_t recordWord = 0xF6, std::uint32_t indexWord = 0xF4) {
  Bytes b(512);
  b[3] = 'N', b[4] = 'T', b[5] = 'F', b[6] = 'S';
  Put(b, 11, 512, 2), b[13] = spc, Put(b, 40, total, 8), Put(b, 48, mft, 8), Put(b, 56, mirror, 8);
  Put(b, 64, recordWord, 4), Put(b, 68, indexWord, 4), b[510] = 0x55, b[511] = 0xAA;
  return b;
}

// One run: a length in clusters and an offset from the previous run (sparse: none). A field
// width of 0 takes the fewest bytes that hold the value.
struct Run {
  std::uint64_t length;
  std::int64_t delta;
  bool sparse = false;
  std::size_t offsetBytes = 0;
};
inline Bytes RunList(const std::vector<Run>& runs) {
  Bytes b;
  for (const Run& r : runs) {
    std::size_t lb = 1, ob = r.offsetBytes;
    while (lb < 8 && (r.length >> (8 * lb)) != 0) ++lb;
    if (!r.sparse && ob == 0) {
      ob = 1;
      while (ob < 8 &&
             (r.delta < -(std::int64_t{1} << (8 * ob - 1)) || r.delta >= (std::int64_t{1} << (8 * ob - 1))))
        ++ob;
    }
    if (r.sparse) ob = 0;
    const std::size_t at = b.size();
    b.push_back(static_cast<std::uint8_t>(lb | (ob << 4)));
    Put(b, at + 1, r.length, lb), Put(b, at + 1 + lb, static_cast<std::uint64_t>(r.delta), ob);
  }
  b.push_back(0);
  return b;
}

inline std::size_t Align8(std::size_t n) {
  return (n + 7) / 8 * 8;
}

inline Bytes Resident(std::uint32_t type, const Bytes& content, const std::u16string& name = {}) {
  const std::size_t contentAt = Align8(24 + 2 * name.size());
  Bytes b(Align8(contentAt + content.size()));
  Put(b, 0, type, 4), Put(b, 4, b.size(), 4), b[9] = static_cast<std::uint8_t>(name.size());
  Put(b, 10, 24, 2), Put(b, 16, content.size(), 4), Put(b, 20, contentAt, 2), PutName(b, 24, name);
  std::copy(content.begin(), content.end(), b.begin() + static_cast<std::ptrdiff_t>(contentAt));
  return b;
}

inline Bytes NonResident(std::uint32_t type, const Bytes& runList, std::uint64_t realSize,
                         const std::u16string& name = {}) {
  const std::size_t runsAt = Align8(64 + 2 * name.size());
  Bytes b(Align8(runsAt + runList.size()));
  Put(b, 0, type, 4), Put(b, 4, b.size(), 4), b[8] = 1, b[9] = static_cast<std::uint8_t>(name.size());
  Put(b, 10, 64, 2), Put(b, 32, runsAt, 2), Put(b, 40, (realSize + 4095) / 4096 * 4096, 8);
  Put(b, 48, realSize, 8), Put(b, 56, realSize, 8), PutName(b, 64, name);
  std::copy(runList.begin(), runList.end(), b.begin() + static_cast<std::ptrdiff_t>(runsAt));
  return b;
}

inline Bytes FileNameContent(const std::u16string& name, std::uint8_t nameSpace, std::uint32_t parent,
                             std::int64_t time, bool folder = false) {
  Bytes c(66 + 2 * name.size());
  Put(c, 0, parent, 4), Put(c, 6, 1, 2), Put(c, 8, static_cast<std::uint64_t>(time), 8);
  Put(c, 56, folder ? 0x10000000 : 0x20, 4), c[64] = static_cast<std::uint8_t>(name.size()),
                                             c[65] = nameSpace;
  PutName(c, 66, name);
  return c;
}
inline Bytes FileNameAttr(const std::u16string& name, std::uint8_t nameSpace = 1, std::uint32_t parent = 5,
                          std::int64_t time = 132000000000000000) {
  return Resident(0x30, FileNameContent(name, nameSpace, parent, time));
}

// An attribute list naming (type, record number) pairs.
inline Bytes AttributeList(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
  Bytes c;
  for (const auto& [type, record] : entries) {
    const std::size_t at = c.size();
    Put(c, at, type, 4), Put(c, at + 4, 32, 2), Put(c, at + 16, record, 6), Put(c, at + 31, 0, 1);
  }
  return c;
}

// Moves the true ends of the sectors into the update sequence array at usaOffset and writes the
// sequence number over them, as the disk keeps a multi-sector record.
inline void Protect(Bytes& r, std::size_t usaOffset, std::uint16_t usn = 0x0A0B) {
  const std::size_t sectors = r.size() / 512;
  Put(r, 4, usaOffset, 2), Put(r, 6, sectors + 1, 2), Put(r, usaOffset, usn, 2);
  for (std::size_t i = 0; i < sectors; ++i) {
    r[usaOffset + 2 + 2 * i] = r[512 * i + 510], r[usaOffset + 3 + 2 * i] = r[512 * i + 511];
    Put(r, 512 * i + 510, usn, 2);
  }
}

// A FILE record of size bytes (1024 unless told) holding the attributes in order; flags 1 in
// use, 2 directory. Its update sequence array at 48 covers every 512-byte stride.
inline Bytes FileRecordBytes(const std::vector<Bytes>& attributes, std::uint8_t flags = 1,
                             std::uint32_t number = 40, std::size_t size = 1024) {
  Bytes r(size);
  r[0] = 'F', r[1] = 'I', r[2] = 'L', r[3] = 'E';
  const std::size_t first = 48 + (2 + 2 * size / 512 + 7) / 8 * 8;  // past the update sequence array
  Put(r, 20, first, 2), r[22] = flags, Put(r, 28, size, 4), Put(r, 44, number, 4);
  std::size_t at = first;
  for (const Bytes& a : attributes) {
    if (at + a.size() + 8 > size) throw std::length_error("attributes do not fit a FILE record");
    std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
    at += a.size();
  }
  Put(r, at, 0xFFFFFFFF, 4), Put(r, 24, at + 8, 4);
  Protect(r, 48);
  return r;
}

// A record as the decoders' look-ups expect it, fix-up applied.
inline Bytes Fixed(Bytes record) {
  ApplyFixup(record);
  return record;
}

inline Bytes IndexEntryBytes(std::uint32_t record, const std::u16string& name, std::uint32_t parent,
                             bool folder, std::int64_t time = 132000000000000000) {
  const Bytes key = FileNameContent(name, 1, parent, time, folder);
  Bytes e(Align8(16 + key.size()));
  Put(e, 0, record, 6), Put(e, 8, e.size(), 2), Put(e, 10, key.size(), 2);
  std::copy(key.begin(), key.end(), e.begin() + 16);
  return e;
}

// A $FILE_NAME key as an index keeps it: all four times set, the sizes, the attribute word.
inline Bytes KeyBytes(const std::u16string& name, std::uint8_t nameSpace, std::uint32_t parent) {
  Bytes key = FileNameContent(name, nameSpace, parent, 133000000000000000);
  for (std::size_t t = 16; t <= 32; t += 8) Put(key, t, 133000000000000001, 8);
  Put(key, 40, 4096, 8), Put(key, 48, 1234, 8);
  return key;
}
// A live index entry of such a key, naming record.
inline Bytes KeyEntryBytes(std::uint32_t record, const std::u16string& name, std::uint32_t parent) {
  const Bytes key = KeyBytes(name, 1, parent);
  Bytes e(Align8(16 + key.size()));
  Put(e, 0, record, 6), Put(e, 8, e.size(), 2), Put(e, 10, key.size(), 2);
  std::copy(key.begin(), key.end(), e.begin() + 16);
  return e;
}

// An INDX record of size bytes with the entries in order and the closing entry.
inline Bytes IndexRecordBytes(const std::vector<Bytes>& entries, std::uint64_t vcn = 0,
                              std::size_t size = 4096) {
  Bytes r(size);
  r[0] = 'I', r[1] = 'N', r[2] = 'D', r[3] = 'X';
  Put(r, 16, vcn, 8), Put(r, 24, 0x40, 4), Put(r, 32, size - 24, 4);
  std::size_t at = 0x58;
  for (const Bytes& e : entries) {
    std::copy(e.begin(), e.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
    at += e.size();
  }
  Put(r, at + 8, 16, 2), Put(r, at + 12, 2, 2), Put(r, 28, at + 16 - 24, 4);
  Protect(r, 40);
  return r;
}

// A disk in memory with a ScanContext reading it, for the NTFS stages.
struct NtfsDisk {
  explicit NtfsDisk(std::uint64_t sectors) : disk(std::make_shared<FaultBlockDevice>(sectors * 512)) {
    opener.Add("ntfs-test.img", disk);
    paths.Set(0, "ntfs-test.img");
    ctx.reader = &reader;
    ctx.partitionType = FsType::kNtfs;
    ctx.searchEnd = sectors;
    ctx.SetFeedback(feedback);
    ctx.ResetForScan();
  }
  void Put(std::uint64_t sector, const Bytes& bytes) { disk->WriteSector(sector, bytes); }

  std::shared_ptr<FaultBlockDevice> disk;
  FaultDeviceOpener opener;
  DevicePathTable paths;
  SectorReader reader{paths, opener};
  test_support::RecordingFeedback feedback;
  ScanContext ctx;
};

// The cells of every row of a table, for comparing whole tables.
inline std::vector<std::vector<std::string>> Rows(const TextTable& table) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < table.RowCount(); ++r) {
    rows.emplace_back();
    for (int c = 0; c < table.ColumnCount(); ++c) rows.back().push_back(table.Cell(r, c));
  }
  return rows;
}

}  // namespace quarrow::ntfs_test
