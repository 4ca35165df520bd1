#include "ntfs/mft_scan.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ntfs/boot_sector.h"
#include "ntfs/index_record.h"
#include "ntfs/listed_names.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/carved_starts.h"
#include "scan/chunk_buffer.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

void AppendBootSectorRow(ScanContext& ctx, int& bootCounter, ByteSpan sector, std::uint64_t sectorNumber) {
  TextTable& table = ctx.results.tables.FileSystemTable;
  const std::array<std::string, 7> cells =
      MakeNtfsFileSystemRow(DecodeNtfsBootSector(sector), sectorNumber).Cells();
  ++bootCounter;
  ctx.Ui().SetText(control::kBootCounter, std::to_string(bootCounter));
  // Boot sectors of this scan come after the rows already there (the counter counts this scan's).
  const int row = table.InsertRow(table.RowCount(), cells[0]);
  for (int column = 1; column < static_cast<int>(cells.size()); ++column) {
    table.SetCell(row, column, cells[static_cast<std::size_t>(column)]);
  }
}

}  // namespace

int InsertMftEntryRow(TextTable& table, int index, const FileRecord& record, std::uint64_t sector) {
  // A file's record number is left to the numbering, which sets it in place of the 0: room for a
  // 32-bit number's four bytes more.
  const std::size_t growth = record.selfMft == 0 ? 4 : 0;
  // Columns: name, sector, parent, self, size, type, fsNumber, date, first run, deleted.
  return table.InsertRowCells(
      index, {record.name, static_cast<std::uint32_t>(sector), std::uint32_t{record.parent},
              std::uint32_t{record.selfMft}, std::uint64_t{record.size},
              record.isFolder ? kMftFolderType : kMftFileType, "0", std::int64_t{record.creationTime},
              std::uint32_t{record.firstRun}, record.deleted ? "1" : ""},
      growth);
}

void ReadFileRecord(ScanContext& ctx, ListedSoFar& listed, int& rowCounter, int& recordCounter,
                    std::uint64_t sector, ByteSpan loaded) {
  std::array<std::uint8_t, kMaxFileRecordSize> whole;  // the record's size of it is read or copied below
  // The record is as large as its header says; without a header that says, the first sector read
  // again decides, and a record of the default size is read when it still says nothing.
  std::size_t size = FileRecordSize(loaded).value_or(0);
  if (size == 0) {
    std::array<std::uint8_t, kSectorSize> first{};
    ctx.Read(sector, 1, first);
    size = FileRecordSize(first).value_or(kFileRecordSize);
  }
  const std::span<std::uint8_t> bytes(whole.data(), size);
  if (loaded.size() >= size) {
    std::copy_n(loaded.begin(), size, bytes.begin());
  } else {
    ctx.Read(sector, static_cast<std::uint32_t>(size / kSectorSize), bytes);
  }
  // A record whose first sector was classified but whose bytes no longer say "FILE" (a failed
  // read of the second try) still gets its row, with the fallbacks of a record without attributes.
  const FileRecord record = DecodeFileRecord(ByteSpan(bytes.data(), bytes.size())).value_or(FileRecord{});
  TextTable& table = ctx.results.tables.MftEntryTable;
  const bool extension = record.baseRecord != 0;
  // An extension record's row holds its name and sector only; its attributes are its base record's.
  if (extension) {
    table.InsertRowCells(rowCounter, {record.name, static_cast<std::uint32_t>(sector), "0", "0", "0",
                                      kMftExtensionType, "0", "0", "0", record.deleted ? "1" : ""});
  } else {
    InsertMftEntryRow(table, rowCounter, record, sector);
    if (!record.isFolder) listed.Add(record.parent, record.name, rowCounter);
  }
  ++rowCounter;
  // The names of a file: in an extension record all of them belong to its base record's file.
  std::vector<const FileName*> names;
  FileName first;
  if (extension && record.hasName && record.nameSpace != kDosNamespace) {
    first = {record.name, record.parent, record.creationTime, record.nameSpace};
    names.push_back(&first);
  }
  if (!record.isFolder || extension) {
    for (const FileName& name : record.otherNames) names.push_back(&name);
  }
  for (const FileName* name : names) {
    listed.Add(name->parent, name->name, rowCounter);
    table.InsertRowCells(rowCounter++,
                         {name->name, static_cast<std::uint32_t>(sector), std::uint32_t{name->parent},
                          extension ? RowCell(static_cast<std::uint32_t>(record.baseRecord)) : RowCell("0"),
                          extension ? std::uint64_t{0} : record.size, kMftNameType, "0",
                          std::int64_t{name->creationTime}, "0", record.deleted ? "1" : ""},
                         extension ? 0 : 4);  // the record's number, set by the numbering
  }
  ++recordCounter;
}

void ReadIndexRecord(ScanContext& ctx, ListedSoFar& listed, int& rowCounter, int& entryRowCounter,
                     std::uint64_t sector, ByteSpan loaded) {
  const auto header = DecodeIndexRecordHeader(loaded);
  if (!header) return;
  std::vector<std::uint8_t> whole;
  ByteSpan record = loaded;
  if (loaded.size() < header->size) {
    whole.resize(header->SectorCount() * kSectorSize);
    ctx.Read(sector, static_cast<std::uint32_t>(header->SectorCount()), whole);
    record = whole;
  }
  record = record.first(std::min<std::size_t>(record.size(), header->size));
  const auto owner = DecodeIndexRecord(record);
  if (!owner) return;
  TextTable& table = ctx.results.tables.MftRecordTable;
  const int row = table.InsertRow(rowCounter, U32Text(static_cast<std::uint32_t>(sector)));
  table.SetCell(row, 1, U32Text(owner->owner));
  table.SetCell(row, 2, U32Text(static_cast<std::uint32_t>(owner->vcn)));
  table.SetCell(row, 3, U32Text(0xFFFFFFFFu));
  ++rowCounter;

  TextTable& entries = ctx.results.tables.MftEntryTable;
  for (const IndexKeyName& key : CarveIndexKeys(record, owner->owner)) {
    if (key.isFolder || listed.Listed(key.parent, key.name)) continue;
    listed.Add(key.parent, key.name, entryRowCounter);
    entries.InsertRowCells(
        entryRowCounter++,
        {key.name, "0", std::uint32_t{key.parent}, static_cast<std::uint32_t>(key.recordNumber),
         std::uint64_t{key.size}, kMftIndexNameType, "0", std::int64_t{key.creationTime}, "0", "1"});
  }
}

void ScanMftRecords(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  ScanTables& tables = ctx.results.tables;
  tables.MftEntryTable.DeleteAllRows();
  tables.MftRecordTable.DeleteAllRows();
  const std::uint64_t end = std::min(ctx.searchEnd, kLastAddressableSector + 1);
  const std::string endText = std::to_string(end);
  ui.SetText(control::kFolderCounter, "0");
  ui.SetText(control::kBootCounter, "0");
  ui.SetText(control::kStatus, "Sectors  0 of " + endText);

  int bootRows = 0, fileRows = 0, fileRecords = 0, indexRows = 0, shownRecords = 0;
  // The file names rows list so far, which a name found in an index is not listed again after.
  ListedSoFar listed(tables.MftEntryTable, mft_entry_col::kName, mft_entry_col::kParent);
  ChunkBuffer chunk(kMftScanChunkSectors);
  for (std::uint64_t cur = ctx.searchStart; cur < end; cur += kMftScanChunkSectors) {
    if (ctx.StopRequested()) return;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kMftScanChunkSectors, end - cur));
    const std::span<std::uint8_t> buffer = chunk.Sectors(count);
    ctx.Read(cur, count, buffer);
    RecogniseFileStarts(ctx, buffer, cur, count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* bytes = buffer.data() + std::size_t{i} * kSectorSize;
      // Most sectors are file data: one look at the three places a signature can be.
      if (bytes[0] != 'F' && bytes[0] != 'I' && bytes[511] != 0xAA) continue;
      const ByteSpan sector(bytes, kSectorSize);
      // From this sector to the end of the chunk: a record that lies inside needs no second read.
      const ByteSpan rest(sector.data(), buffer.size() - std::size_t{i} * kSectorSize);
      switch (ClassifyNtfsSector(sector)) {
        case NtfsSectorKind::kBootSector:
          AppendBootSectorRow(ctx, bootRows, sector, cur + i);
          break;
        case NtfsSectorKind::kFileRecord:
          ReadFileRecord(ctx, listed, fileRows, fileRecords, cur + i, rest);
          break;
        case NtfsSectorKind::kIndexRecord:
          ReadIndexRecord(ctx, listed, indexRows, fileRows, cur + i, rest);
          break;
        case NtfsSectorKind::kOther:
          break;
      }
    }
    // The record counter once a chunk, with the status: a text a record cost the scan of a card of
    // small files a tenth of its time, and no front end shows more than a few a second.
    if (fileRecords != shownRecords) {
      shownRecords = fileRecords;
      ui.SetText(control::kFolderCounter, std::to_string(fileRecords));
    }
    ui.SetText(control::kStatus, "Sectors  " + std::to_string(cur) + " of " + endText);
    ui.SetProgress(control::kProgress, ProgressPercent(cur, end), "Completed ");
  }
}

}  // namespace quarrow
