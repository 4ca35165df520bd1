#include "recovery/carved_files.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "scan/scan_context.h"

namespace quarrow {

ByteSource DiskByteSource(const ScanContext& ctx, std::uint64_t firstSector, std::uint64_t endSector) {
  return [&ctx, firstSector, endSector](std::uint64_t offset, std::span<std::uint8_t> out) -> std::size_t {
    if (firstSector >= endSector) return 0;
    const std::uint64_t holds = (endSector - firstSector) * kSectorSize;
    if (offset >= holds) return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), holds - offset));
    // Whole sectors through a buffer of a bounded size, so a large request takes several reads.
    constexpr std::uint32_t kMostSectors = 256;
    std::vector<std::uint8_t> buffer;
    std::size_t done = 0;
    while (done < want) {
      const std::uint64_t at = offset + done;
      const std::uint64_t within = at % kSectorSize;
      const std::uint64_t sectors =
          std::min<std::uint64_t>(kMostSectors, (within + (want - done) + kSectorSize - 1) / kSectorSize);
      buffer.resize(static_cast<std::size_t>(sectors * kSectorSize));
      ctx.Read(firstSector + at / kSectorSize, static_cast<std::uint32_t>(sectors), buffer);
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(want - done, sectors * kSectorSize - within));
      std::memcpy(out.data() + done, buffer.data() + within, take);
      done += take;
    }
    return want;
  };
}

std::vector<CarvedFile> DropNestedCarvedFiles(std::vector<CarvedFile> files) {
  std::vector<CarvedFile> kept;
  std::uint64_t reach = 0;  // the furthest byte a kept file reaches, as an offset on the disk
  bool any = false;
  for (const CarvedFile& file : files) {
    const std::uint64_t end = file.sector * kSectorSize + file.length;
    // Sorted by sector, so the file that reaches furthest begins at or before this one.
    if (any && end <= reach) continue;
    kept.push_back(file);
    reach = std::max(reach, end);
    any = true;
  }
  return kept;
}

std::vector<CarvedFile> CarveLostFiles(const ScanContext& ctx, FileDataSource* volume,
                                       const std::vector<CarvedStartRow>& starts) {
  std::vector<CarvedFile> files;
  const std::optional<ClusterGrid> grid = volume ? volume->Grid() : std::nullopt;
  for (const CarvedStartRow& start : starts) {
    if (ctx.StopRequested()) break;
    // The scan tests its last chunk whole: starts past the range are not the search's to list.
    if (start.sector < ctx.searchStart || start.sector >= ctx.searchEnd) continue;
    if (grid && grid->Covers(start.sector) && !grid->Begins(start.sector)) continue;
    if (volume && volume->DataBeginsAt(start.sector)) continue;
    const std::uint64_t room = ctx.searchEnd - start.sector;
    const std::uint64_t maxBytes = room > CarveTypeMaxBytes(start.type) / kSectorSize
                                       ? CarveTypeMaxBytes(start.type)
                                       : room * kSectorSize;
    const std::optional<std::uint64_t> length =
        CarvedLength(start.type, DiskByteSource(ctx, start.sector, ctx.searchEnd), maxBytes);
    if (!length || *length == 0) continue;
    files.push_back({start.sector, start.type, *length});
  }
  return DropNestedCarvedFiles(std::move(files));
}

CarvedDataSource::CarvedDataSource(const ScanContext& ctx, std::unique_ptr<FileDataSource> volume)
    : files_(ctx.results.carvedFiles), volume_(std::move(volume)) {}

const CarvedFile* CarvedDataSource::Find(const DetailsRow& row) const {
  if (!row.carvedSector) return nullptr;
  const auto at = std::lower_bound(files_.begin(), files_.end(), *row.carvedSector,
                                   [](const CarvedFile& f, std::uint64_t sector) { return f.sector < sector; });
  return at != files_.end() && at->sector == *row.carvedSector ? &*at : nullptr;
}

FileData CarvedDataSource::Locate(const DetailsRow& row) {
  if (!row.carvedSector) {
    if (volume_) return volume_->Locate(row);
    FileData data;
    data.failure = "there is no volume to read it from";
    return data;
  }
  FileData data;
  const CarvedFile* file = Find(row);
  if (!file) {
    data.failure = "no carved file begins at sector " + std::to_string(*row.carvedSector);
    return data;
  }
  data.size = file->length;
  data.method = ReadMethod::kContiguous;
  DataPiece piece;
  piece.kind = DataPiece::Kind::kSectors;
  piece.firstSector = file->sector;
  piece.length = (file->length + kSectorSize - 1) / kSectorSize * kSectorSize;
  data.pieces.push_back(std::move(piece));
  return data;
}

Recoverability CarvedDataSource::Estimate(const DetailsRow& row) {
  if (row.carvedSector) return Recoverability::kCarved;
  return volume_ ? volume_->Estimate(row) : Recoverability::kUnknown;
}

bool CarvedDataSource::DataBeginsAt(std::uint64_t sector) { return volume_ && volume_->DataBeginsAt(sector); }

std::optional<ClusterGrid> CarvedDataSource::Grid() const { return volume_ ? volume_->Grid() : std::nullopt; }

}  // namespace quarrow
