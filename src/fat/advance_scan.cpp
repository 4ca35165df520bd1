#include "fat/advance_scan.h"

#include <algorithm>
#include <span>
#include <string>

#include "fat/boot_sector.h"
#include "fat/fat_entries.h"
#include "results/table_numbers.h"
#include "scan/carved_starts.h"
#include "scan/chunk_reader.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

// A Cluster0Start below sector 0 comes only from a boot sector with nonsense figures; it is
// written the way the unsigned column has always shown it, so it matches no directory.
std::string Cluster0Text(std::int64_t value) {
  return value < 0 ? U32Text(static_cast<std::uint32_t>(value)) : std::to_string(value);
}

}  // namespace

std::array<std::string, 11> FatBootRow::Cells() const {
  return {std::to_string(sector),       U32Text(sectorsPerFat),       U32Text(sectorsPerCluster),
          U32Text(rootSectors),         std::to_string(rootStart),    U32Text(reservedSectors),
          Cluster0Text(cluster0Start),  std::to_string(firstFat),     std::to_string(secondFat),
          std::to_string(totalSectors), std::string(FsTypeText(type))};
}

std::array<std::string, 7> DirectoryRow::Cells() const {
  return {std::to_string(sector),
          U32Text(selfCluster),
          U32Text(parentCluster),
          "0",
          I32Text(date),
          I32Text(time),
          ""};
}

std::optional<FatBootRow> ClassifyBootSector(ByteSpan sector, std::uint64_t sectorNumber) {
  if (!HasBootSignature(sector)) return std::nullopt;
  FatBootRow row;
  if (BytesEqual(sector, 0x55, "32")) {
    row.type = FsType::kFat32;
  } else if (BytesEqual(sector, 0x39, "16")) {
    row.type = FsType::kFat16;
  } else if (BytesEqual(sector, 0x39, "12")) {
    row.type = FsType::kFat12;
  } else {
    return std::nullopt;
  }
  // The decoder gives the counts in 512-byte sectors whatever the volume's sector size, so a
  // volume of 4096-byte sectors has its FATs and clusters where this scan's sector numbers are.
  const FatBootSector boot = DecodeFatBootSector(sector);
  const bool fat32 = row.type == FsType::kFat32;
  row.sector = sectorNumber;
  row.sectorsPerFat = fat32 ? boot.fatSectors32 : boot.fatSectors16;
  row.sectorsPerCluster = boot.sectorsPerCluster;
  row.rootSectors = fat32 ? 0 : boot.RootDirSectors();
  row.reservedSectors = boot.reservedSectors;
  const std::uint64_t fatsEnd = sectorNumber + row.reservedSectors + 2ull * row.sectorsPerFat;
  row.rootStart = fat32 ? boot.rootCluster : fatsEnd;
  // Unsigned arithmetic that wraps, then read as signed: below 0 only for nonsense figures.
  row.cluster0Start = static_cast<std::int64_t>(fatsEnd + row.rootSectors - 2ull * row.sectorsPerCluster);
  row.firstFat = sectorNumber + row.reservedSectors;
  row.secondFat = row.firstFat + row.sectorsPerFat;
  // A volume under 65536 sectors keeps its size in the 16-bit field and 0 at 0x20; without it
  // the volume would end at its own boot sector and own none of its directories.
  row.totalSectors = sectorNumber + boot.totalSectors;
  return row;
}

std::optional<DirectoryRow> ClassifyDirectorySector(ByteSpan sector, std::uint64_t sectorNumber) {
  if (!IsDirectoryStartSector(sector)) return std::nullopt;
  return DirectoryRow{sectorNumber, EntryCluster32(sector, 0), EntryCluster32(sector, 32), Le16(sector, 24),
                      Le16(sector, 22)};
}

void AdvanceScan(ScanContext& ctx) {
  Feedback& ui = ctx.Ui();
  const std::uint64_t last = ctx.searchEnd;
  const std::string lastText = std::to_string(last);
  ui.ShowControl(control::kBootCounter, true);
  ui.ShowControl(control::kFolderCounter, true);
  ui.SetText(control::kBootCounter, "0");
  ui.SetText(control::kFolderCounter, "0");
  ui.SetText(control::kStatus, "Sectors  0 of " + lastText);

  TextTable& bootTable = ctx.results.tables.FileSystemTable;
  TextTable& directoryTable = ctx.results.tables.DirectoryTable;
  int bootCount = 0;
  int folderCount = 0;
  auto append = [](TextTable& table, const auto& cells) {
    const int row = table.AppendRow(cells[0]);
    for (std::size_t c = 1; c < cells.size(); ++c) table.SetCell(row, static_cast<int>(c), cells[c]);
  };
  const std::uint64_t first = ctx.searchStart;
  ProgressSteps progress(ui);
  // Whole chunks, the last one too: its sectors past the range's end are read and looked at as
  // well. From an image file two threads read them (see chunk_reader.h).
  const std::uint64_t chunkCount = last > first ? (last - first - 1) / kAdvanceChunkSectors + 1 : 0;
  const std::uint64_t chunksEnd = chunkCount > (UINT64_MAX - first) / kAdvanceChunkSectors
                                      ? UINT64_MAX
                                      : first + chunkCount * kAdvanceChunkSectors;
  ChunkReader chunks(ctx, first, chunksEnd, kAdvanceChunkSectors);
  for (std::uint64_t p = first; p < last; p += kAdvanceChunkSectors) {
    if (ctx.StopRequested()) return;
    // The reader overwrites every byte of the chunk, also when the read fails: sectors it can
    // read are in place and the rest are zero-filled, so nothing of the previous chunk remains
    // to be found again under new sector numbers.
    const ChunkReader::Chunk* chunk = chunks.Next();
    if (chunk == nullptr || chunk->count < kAdvanceChunkSectors) return;
    const ByteSpan buffer = chunk->bytes;
    RecogniseFileStarts(ctx, buffer, p, kAdvanceChunkSectors);
    for (std::uint32_t d = 0; d < kAdvanceChunkSectors; ++d) {
      const std::size_t at = std::size_t{d} * kSectorSize;
      const ByteSpan sector(buffer.data() + at, kSectorSize);
      // Nearly every sector is neither: without the signature or a "." first, both tests fail,
      // and two byte loads decide that faster than the two classifiers.
      if (!HasBootSignature(sector) && sector[0] != '.') {
        // A directory's later sectors: a used first slot whose attribute byte a directory holds
        // decides against nearly every other sector before the whole test.
        if (sector[0] != 0 && sector[11] < 0x40 && IsDirectoryContinuationSector(sector))
          ctx.results.directoryTails.push_back(p + d);
        continue;
      }
      if (auto boot = ClassifyBootSector(sector, p + d)) {
        ui.SetText(control::kBootCounter, std::to_string(++bootCount));
        append(bootTable, boot->Cells());
      }
      if (auto directory = ClassifyDirectorySector(sector, p + d)) {
        ui.SetText(control::kFolderCounter, std::to_string(++folderCount));
        append(directoryTable, directory->Cells());
      }
    }
    ui.SetText(control::kStatus, "Sectors  " + std::to_string(p) + " of " + lastText);
    progress.Show(p, last);
    if (p > UINT64_MAX - kAdvanceChunkSectors) return;
  }
}

}  // namespace quarrow
