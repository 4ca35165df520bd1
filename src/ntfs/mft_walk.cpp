#include "ntfs/mft_walk.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ntfs/index_record.h"
#include "ntfs/listed_names.h"
#include "ntfs/mft_record.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/chunk_buffer.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

// One file record, size bytes of a buffer that holds the largest. Only those size bytes are
// written and read: the buffer is left unset, since zeroing 4 KiB for each record of a card cost
// more than reading the record.
struct Record {
  std::array<std::uint8_t, kMaxFileRecordSize> bytes;
  std::size_t size = kFileRecordSize;
  ByteSpan View() const { return {bytes.data(), size}; }
  std::span<std::uint8_t> Span() { return {bytes.data(), size}; }
};

constexpr std::uint32_t kWalkChunkSectors = 512;  // 256 records of 1024 bytes per read

// The record at sector, fixed up whole; none when it does not begin with "FILE" (sector 0 stands
// for a record that could not be located) or when its header says a size other than
// recordBytes. With recordBytes 0 the header's size is taken, and 1024 bytes when it says none.
std::optional<Record> ReadFixedRecord(const ScanContext& ctx, std::uint64_t sector, std::size_t recordBytes) {
  if (sector == 0) return std::nullopt;
  Record record;
  ctx.Read(sector, 1, std::span(record.bytes).first(kSectorSize));
  const std::optional<std::size_t> own = FileRecordSize(ByteSpan(record.bytes).first(kSectorSize));
  if (own && recordBytes != 0 && *own != recordBytes) return std::nullopt;
  record.size = own.value_or(recordBytes != 0 ? recordBytes : kFileRecordSize);
  ctx.Read(sector, static_cast<std::uint32_t>(record.size / kSectorSize), record.Span());
  if (!BytesEqual(record.View(), 0, "FILE")) return std::nullopt;
  ApplyFixup(record.Span());
  return record;
}

// The disk sector of each sector of the $MFT, asked for in increasing order.
class ExtentCursor {
 public:
  explicit ExtentCursor(const MftExtentList& list) : extents_(list.extents) {}
  // 0 for a sector of a sparse extent or beyond the extents.
  std::uint64_t SectorOf(std::uint64_t mftSector) {
    while (i_ < extents_.size() && mftSector - before_ >= extents_[i_].sectorCount) {
      before_ += extents_[i_].sectorCount;
      ++i_;
    }
    if (i_ == extents_.size() || extents_[i_].sparse) return 0;
    return extents_[i_].startSector + (mftSector - before_);
  }

 private:
  const std::vector<SectorExtent>& extents_;
  std::size_t i_ = 0;
  std::uint64_t before_ = 0;
};

// Record `number` read through the extents (a record may lie across two of them) and fixed up;
// none when it lies beyond them or does not begin with "FILE".
std::optional<Record> ReadFixedRecord(const ScanContext& ctx, const MftExtentList& list,
                                      std::uint64_t number) {
  const std::uint64_t recordSectors = list.RecordSectors();
  if (number > std::numeric_limits<std::uint64_t>::max() / recordSectors) return std::nullopt;
  Record record;
  record.size = list.recordBytes;
  if (!ReadMftSectors(ctx, list, number * recordSectors, record.Span())) return std::nullopt;
  if (!BytesEqual(record.View(), 0, "FILE")) return std::nullopt;
  ApplyFixup(record.Span());
  return record;
}

// The first size bytes of a value that lies in extents; sparse extents read as zeros.
std::vector<std::uint8_t> ReadExtentsValue(const ScanContext& ctx, const std::vector<SectorExtent>& extents,
                                           std::uint64_t size) {
  std::vector<std::uint8_t> value((size + kSectorSize - 1) / kSectorSize * kSectorSize);
  std::size_t at = 0;
  for (const SectorExtent& extent : extents) {
    if (at >= value.size()) break;
    const auto sectors = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(extent.sectorCount, (value.size() - at) / kSectorSize));
    if (!extent.sparse)
      ctx.Read(extent.startSector, sectors, std::span(value).subspan(at, sectors * kSectorSize));
    at += std::size_t{sectors} * kSectorSize;
  }
  value.resize(static_cast<std::size_t>(size));
  return value;
}

// A non-resident attribute's value read through its runs, up to its real size (at most cap);
// sparse runs read as zeros.
std::vector<std::uint8_t> ReadNonResidentValue(const ScanContext& ctx, ByteSpan record,
                                               const AttributeHeader& attribute, std::uint64_t partitionStart,
                                               std::uint32_t sectorsPerCluster,
                                               std::uint64_t cap = kMaxAttributeListBytes) {
  return ReadExtentsValue(
      ctx, DecodeRunListSectors(RunListBytes(record, attribute), partitionStart, sectorsPerCluster),
      std::min(attribute.realSize, cap));
}

void AppendDataRuns(MftExtentList& list, ByteSpan record, std::uint64_t partitionStart,
                    std::uint32_t sectorsPerCluster, bool takeSize) {
  const auto data = FindUnnamedData(record);
  if (!data || !data->nonResident) return;
  const std::vector<SectorExtent> extents =
      RunsToSectorExtents(data->runs, partitionStart, sectorsPerCluster);
  list.extents.insert(list.extents.end(), extents.begin(), extents.end());
  if (takeSize && data->lowestVcn == 0)
    list.recordCount = (data->realSize + list.recordBytes - 1) / list.recordBytes;
}

void InsertMiscFolderRow(TextTable& table) {
  using namespace entry_col;
  const int row = table.InsertRow(0, kMiscFolderName);
  table.SetCell(row, kSector, "0");
  table.SetCell(row, kSelf, U32Text(kOrphanCluster));
  table.SetCell(row, kParent, "5");
  table.SetCell(row, kDate, "0");
  table.SetCell(row, kTime, "0");
  table.SetCell(row, kSize, "0");
  table.SetCell(row, kAttr, "16");
  table.SetCell(row, kSysId, "0");
  table.SetCell(row, kType, "FOLDER");
}

// The value of record's attribute list, found there as attribute (none: the record has none).
std::vector<std::uint8_t> AttributeListValue(const ScanContext& ctx, ByteSpan record,
                                             const std::optional<AttributeHeader>& attribute,
                                             std::uint64_t partitionStart, std::uint32_t sectorsPerCluster) {
  if (!attribute) return {};
  if (attribute->nonResident)
    return ReadNonResidentValue(ctx, record, *attribute, partitionStart, sectorsPerCluster);
  const ByteSpan content = ResidentContent(record, *attribute);
  return {content.begin(), content.end()};
}

// The records a base record's name and size are looked for in: the record itself, then those its
// attribute list names, each read (and fixed up) once, when first needed. The base record is the
// caller's and must outlive the group; a record without an attribute list costs no allocation.
class RecordGroup {
 public:
  // attributeList: the base record's, as FindAttribute finds it there.
  RecordGroup(const ScanContext& ctx, const MftExtentList& list, std::uint32_t number, const Record& base,
              const std::optional<AttributeHeader>& attributeList)
      : ctx_(ctx), list_(list), base_(base) {
    // A long list lives outside the record, as any large attribute does; its records count too.
    const std::vector<std::uint8_t> value =
        AttributeListValue(ctx, base.View(), attributeList, ctx.activeGeometry.Cluster0Sector,
                           ctx.activeGeometry.SectorsPerCluster);
    if (value.empty()) return;
    const std::vector<std::uint32_t> numbers = AttributeListRecords(number, value);
    others_.reserve(numbers.size());
    for (std::size_t i = 1; i < numbers.size(); ++i) others_.push_back({numbers[i], std::nullopt, false});
  }
  // Calls visit with each record after the base record, in order.
  template <typename Visit>
  void ForEachOther(Visit visit) {
    for (Member& m : others_) {
      if (const Record* r = Load(m)) visit(r->View());
    }
  }
  // The first answer of find over the records in order; answer is the base record's.
  template <typename Find>
  auto First(Find find, decltype(find(ByteSpan{})) answer) {
    for (std::size_t i = 0; i < others_.size() && !answer; ++i) {
      if (const Record* r = Load(others_[i])) answer = find(r->View());
    }
    return answer;
  }
  template <typename Find>
  auto First(Find find) {
    return First(find, find(base_.View()));
  }

 private:
  struct Member {
    std::uint32_t number;
    std::optional<Record> record;
    bool tried;
  };
  const Record* Load(Member& m) {
    if (!m.tried) m.record = ReadFixedRecord(ctx_, list_, m.number), m.tried = true;
    return m.record ? &*m.record : nullptr;
  }
  const ScanContext& ctx_;
  const MftExtentList& list_;
  const Record& base_;
  std::vector<Member> others_;
};

// The index records of a folder's "$I30" allocation read whole from the disk: at most this many
// bytes per folder.
constexpr std::uint64_t kMaxIndexAllocationBytes = 64ull * 1024 * 1024;

// Where the walk found a folder's "$I30" allocation: the pass over the index keys reads it from
// there instead of reading the folder's record again. No extents for a folder without one.
struct FolderAllocation {
  std::optional<std::vector<SectorExtent>> extents;
  std::uint64_t size = 0;  // the bytes to read, at most kMaxIndexAllocationBytes
};

// What the walk notes for the index-key pass after it.
struct WalkNotes {
  explicit WalkNotes(const TextTable& files) : listed(files, entry_col::kName, entry_col::kParent) {}
  ListedSoFar listed;  // every file row of the table: those it found there, and those it listed
  std::unordered_map<std::uint32_t, FolderAllocation> allocations;  // by folder record
};

// Lists one record read at sector, noting its rows in notes; false when it is not listed (no
// "FILE", or no name).
bool ListRecord(ScanContext& ctx, const MftExtentList& list, std::uint64_t number, std::uint64_t sector,
                ByteSpan bytes, WalkNotes& notes) {
  // The tables keep 32-bit record and sector numbers.
  if (!BytesEqual(bytes, 0, "FILE") || number > 0xFFFFFFFFull || sector > 0xFFFFFFFFull) return false;
  // A record that says it is of another size than the volume's is no record of this MFT: read at
  // this size, its attributes would be cut or run into the next record.
  if (const auto own = FileRecordSize(bytes); own && *own != list.recordBytes) return false;
  Record base;
  base.size = std::min(bytes.size(), base.bytes.size());
  std::copy_n(bytes.begin(), base.size, base.bytes.begin());
  ApplyFixup(base.Span());
  // An extension record holds attributes of its base record, which lists them under its own name.
  if (Le64(base.View(), mft_record::kBaseRecord) != 0) return false;
  const std::uint8_t flags = Byte(base.View(), mft_record::kFlags);
  const bool folder = flags == 3 || flags == 2;
  if (folder) {
    RecordGroup group(ctx, list, static_cast<std::uint32_t>(number), base,
                      FindAttribute(base.View(), attr_type::kAttributeList));
    const auto name = group.First([](ByteSpan r) { return FindFileName(r); });
    if (!name) return false;
    // Columns: name, sector, self, parent, date, time, size, attr, sysID, type, deleted.
    ctx.results.tables.EntryTable.AppendRowCells(
        {name->name, static_cast<std::uint32_t>(sector), static_cast<std::uint32_t>(number),
         std::uint32_t{name->parent}, std::int64_t{name->creationTime}, "", "0", "", "", "FOLDER",
         flags == 2 ? "1" : ""});
    FolderAllocation& noted = notes.allocations[static_cast<std::uint32_t>(number)];
    const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
    const auto allocation = FindAttribute(base.View(), attr_type::kIndexAllocation, u"$I30");
    if (spc != 0 && allocation && allocation->nonResident) {
      noted.extents = DecodeRunListSectors(RunListBytes(base.View(), *allocation),
                                           ctx.activeGeometry.Cluster0Sector, spc);
      noted.size = std::min(allocation->realSize, kMaxIndexAllocationBytes);
    }
    return true;
  }
  // A file is listed under each of its names (its hard links), wherever its records hold them;
  // one in the DOS namespace only when it has no other, and a file of no name not at all.
  // The base record's names, size and attribute list in one walk over its attributes.
  std::vector<FileName> names;
  const ListedFileParts parts = ReadListedFileParts(base.View(), names);
  RecordGroup group(ctx, list, static_cast<std::uint32_t>(number), base, parts.attributeList);
  group.ForEachOther([&names](ByteSpan r) { AppendListedFileNames(r, names); });
  if (names.empty()) {
    auto name = group.First([](ByteSpan r) { return FindFileName(r); });
    if (!name) return false;
    names.push_back(std::move(*name));
  }
  const std::uint64_t size =
      group.First([](ByteSpan r) { return FindDataSize(r); }, parts.dataSize).value_or(0);
  TextTable& table = ctx.results.tables.PendingEntryTable;
  for (const FileName& each : names) {
    notes.listed.Add(each.parent, each.name, table.RowCount());
    table.AppendRowCells({each.name, static_cast<std::uint32_t>(sector), static_cast<std::uint32_t>(number),
                          each.parent, each.creationTime, "", size, "", "", "FILE", flags == 0 ? "1" : ""});
  }
  return true;
}

// Lists, deleted and without a record, the file names found as keys in the index records of each
// folder that no record lists in that folder: files deleted from it whose records were reused.
// The walk's notes give the file rows of the table and where the allocations of the folders it
// listed lie.
void ListIndexKeyNames(ScanContext& ctx, WalkNotes& notes) {
  using namespace entry_col;
  TextTable& files = ctx.results.tables.PendingEntryTable;
  const TextTable& folders = ctx.results.tables.EntryTable;
  const std::uint32_t spc = ctx.activeGeometry.SectorsPerCluster;
  if (spc == 0) return;
  for (int f = 0; f < folders.RowCount(); ++f) {
    if (ctx.StopRequested()) return;
    const std::uint32_t self = ReadU32(folders.Cell(f, kSelf));
    if (self == kOrphanCluster) continue;
    // The folders listed by the walk; their allocations lie where it found them.
    const auto noted = notes.allocations.find(self);
    if (noted == notes.allocations.end() || !noted->second.extents) continue;
    const std::vector<std::uint8_t> bytes = ReadExtentsValue(ctx, *noted->second.extents, noted->second.size);
    const ByteSpan all(bytes);
    // Index records follow one another at the size their headers give; a block that is no index
    // record (never written, or overwritten) is stepped over at the size last seen.
    std::uint64_t step = 4096;
    for (std::uint64_t at = 0; at + kSectorSize <= all.size(); at += step) {
      const auto header = DecodeIndexRecordHeader(all.subspan(at, kSectorSize));
      if (!header || header->size < kSectorSize) continue;
      step = header->size;
      const ByteSpan whole = all.subspan(at, std::min<std::uint64_t>(header->size, all.size() - at));
      for (IndexKeyName& key : CarveIndexKeys(whole, self)) {
        // A key listed once is listed: the row it gets now answers for the same key found again.
        if (key.isFolder || notes.listed.Listed(self, key.name)) continue;
        notes.listed.Add(self, key.name, files.RowCount());
        files.AppendRowCells({key.name, "0", static_cast<std::uint32_t>(key.recordNumber),
                              std::uint32_t{self}, std::int64_t{key.creationTime}, "",
                              std::uint64_t{key.size}, "", "", "FILE", "1"});
      }
    }
  }
}

}  // namespace

std::vector<std::uint8_t> ReadAttributeListValue(const ScanContext& ctx, ByteSpan record,
                                                 std::uint64_t partitionStart,
                                                 std::uint32_t sectorsPerCluster) {
  return AttributeListValue(ctx, record, FindAttribute(record, attr_type::kAttributeList), partitionStart,
                            sectorsPerCluster);
}

std::uint64_t MftExtentList::TotalSectors() const {
  std::uint64_t total = 0;
  for (const SectorExtent& extent : extents) total += extent.sectorCount;
  return total;
}

bool ReadMftSectors(const ScanContext& ctx, const MftExtentList& list, std::uint64_t first,
                    std::span<std::uint8_t> buffer) {
  const std::uint64_t count = buffer.size() / kSectorSize;
  // The extents follow one another through the $MFT, so the pieces they give tile the buffer
  // from its start; a sparse piece and what lies past the last extent read as zeros. Each byte is
  // written once: zeroing the whole buffer first cost a walk a twentieth of its instructions.
  std::uint64_t before = 0, covered = 0;
  for (const SectorExtent& extent : list.extents) {
    if (covered == count) break;
    const std::uint64_t end = before + extent.sectorCount;
    const std::uint64_t from = std::max(first, before), to = std::min(first + count, end);
    if (from < to) {
      const std::span<std::uint8_t> piece =
          buffer.subspan((from - first) * kSectorSize, (to - from) * kSectorSize);
      if (extent.sparse) {
        std::fill(piece.begin(), piece.end(), std::uint8_t{0});
      } else {
        ctx.Read(extent.startSector + (from - before), static_cast<std::uint32_t>(to - from), piece);
      }
      covered += to - from;
    }
    before = end;
  }
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(covered * kSectorSize), buffer.end(),
            std::uint8_t{0});
  return covered == count;
}

std::uint64_t RecordToSector(const MftExtentList& list, std::uint64_t record) {
  return RecordToSector(std::span<const SectorExtent>(list.extents), record, list.RecordSectors());
}

MftExtentList LoadMftExtents(const ScanContext& ctx, std::uint64_t partitionStart, std::uint64_t mftSector,
                             std::uint32_t sectorsPerCluster, std::size_t recordBytes) {
  MftExtentList list;
  if (recordBytes != 0 && !IsFileRecordSize(recordBytes)) return list;
  const std::optional<Record> record0 = ReadFixedRecord(ctx, mftSector, recordBytes);
  if (!record0) return list;
  list.recordBytes = static_cast<std::uint32_t>(record0->size);
  AppendDataRuns(list, record0->View(), partitionStart, sectorsPerCluster, true);

  // A fragmented $MFT keeps the later pieces of its $DATA in extension records.
  const std::vector<std::uint32_t> pieces =
      DataAttributeRecords(ReadAttributeListValue(ctx, record0->View(), partitionStart, sectorsPerCluster));
  if (!pieces.empty()) {
    const std::uint64_t sizeFromRecord0 = list.recordCount;
    list.extents.clear();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const std::optional<Record> piece =
          i == 0 ? ReadFixedRecord(ctx, mftSector + std::uint64_t{list.RecordSectors()} * pieces[i],
                                   list.recordBytes)
                 : ReadFixedRecord(ctx, list, pieces[i]);
      if (!piece) break;
      AppendDataRuns(list, piece->View(), partitionStart, sectorsPerCluster, false);
    }
    list.recordCount = sizeFromRecord0;
  }
  const std::uint64_t held = list.TotalSectors() / list.RecordSectors();
  if (list.recordCount == 0 || list.recordCount > held) list.recordCount = held;
  return list;
}

void WalkMft(ScanContext& ctx, const MftExtentList& list) {
  Feedback& ui = ctx.Ui();
  ui.SetText(control::kFolderCounter, "0");
  ui.SetText(control::kBootCounter, "0");
  InsertMiscFolderRow(ctx.results.tables.EntryTable);
  // A damaged run list can claim far more records than the partition holds; those are not read.
  const std::uint32_t recordSectors = list.RecordSectors();
  const std::uint64_t rangeRecords =
      (ctx.searchEnd > ctx.searchStart ? ctx.searchEnd - ctx.searchStart : 0) / recordSectors;
  const std::uint64_t records = std::min(list.recordCount, rangeRecords);
  const std::uint64_t total = records * recordSectors;
  const std::string totalText = std::to_string(total);

  ChunkBuffer chunk(kWalkChunkSectors);
  ExtentCursor cursor(list);
  // Rows the table held before the walk count as listed too.
  const TextTable& files = ctx.results.tables.PendingEntryTable;
  WalkNotes notes(files);
  for (int r = 0; r < files.RowCount(); ++r)
    notes.listed.Add(files.U32(r, entry_col::kParent), files.Cell(r, entry_col::kName), r);
  std::uint64_t done = 0;
  ProgressSteps progress(ui);
  // Records are numbered by their place in the $MFT's data, and each is read through the extents:
  // with clusters smaller than a record, a record may begin in one run and end in the next.
  for (std::uint64_t r = 0; r < records;) {
    const std::uint64_t batchRecords =
        std::min<std::uint64_t>(kWalkChunkSectors / recordSectors, records - r);
    const std::span<std::uint8_t> buffer =
        chunk.Sectors(static_cast<std::uint32_t>(batchRecords * recordSectors));
    ReadMftSectors(ctx, list, r * recordSectors, buffer);
    // The status and the counter once a batch: texts for every record cost a card of small files
    // a tenth of its walk, and no front end shows more than a few a second.
    std::uint64_t lastListed = 0;  // the last record listed in this batch, plus one
    for (std::uint64_t k = 0; k < batchRecords; ++k, ++r) {
      if (ctx.StopRequested()) return;
      done += recordSectors;
      const ByteSpan bytes(buffer.data() + k * list.recordBytes, list.recordBytes);
      if (ListRecord(ctx, list, r, cursor.SectorOf(r * recordSectors), bytes, notes)) lastListed = r + 1;
    }
    ui.SetText(control::kStatus, "Sectors  " + std::to_string(done) + " of " + totalText);
    if (lastListed != 0) ui.SetText(control::kFolderCounter, std::to_string(lastListed + 1));
    progress.Show(done, total);
  }
  ListIndexKeyNames(ctx, notes);
}

}  // namespace quarrow
