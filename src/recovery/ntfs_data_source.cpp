#include "recovery/ntfs_data_source.h"

#include <algorithm>
#include <cstdint>

#include "ntfs/mft_record.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

constexpr std::uint32_t kRecordSectors = kFileRecordSize / kSectorSize;
constexpr std::uint32_t kBitmapRecord = 6;
constexpr std::uint32_t kStandardInformation = 0x10;
constexpr std::uint16_t kCompressed = 0x0001;
constexpr std::uint16_t kEncrypted = 0x4000;
constexpr std::size_t kBitmapPageSectors = 8;  // the $Bitmap is read 4 KiB at a time
// A stream put together from more pieces than an attribute list can name is not a stream.
constexpr std::size_t kMaxPieces = 1024;
// NTFS compresses in units of 16 clusters of at most 4 KiB; a unit far larger is a damaged header.
constexpr std::uint8_t kMaxCompressionUnit = 8;
constexpr std::uint64_t kMaxUnitBytes = 4u << 20;

// The number a record gives itself; nullopt on a record whose header has no room for it (the
// oldest format, whose update sequence array starts before offset 48).
std::optional<std::uint32_t> OwnNumber(ByteSpan record) {
  if (Le16(record, mft_record::kUpdateSequenceOffset) < 0x30) return std::nullopt;
  return Le32(record, mft_record::kRecordNumber);
}

std::uint32_t BaseNumber(ByteSpan record) {
  return static_cast<std::uint32_t>(Le64(record, mft_record::kBaseRecord) & 0xFFFFFFFFull);
}

// FILETIME (100 ns since 1601) as seconds since 1970; nullopt for 0 and times before 1970.
std::optional<std::int64_t> UnixTime(std::int64_t fileTime) {
  constexpr std::int64_t kEpochDifference = 11644473600;
  if (fileTime <= 0) return std::nullopt;
  const std::int64_t seconds = fileTime / 10000000 - kEpochDifference;
  if (seconds < 0) return std::nullopt;
  return seconds;
}

std::uint64_t ClustersFor(std::uint64_t bytes, std::uint64_t clusterBytes) {
  return bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);
}

// Appends a piece to the file's data, joined to the last one when it carries on from it.
void AddPiece(FileData& data, DataPiece::Kind kind, std::uint64_t firstSector, std::uint64_t length) {
  if (length == 0) return;
  if (!data.pieces.empty() && kind != DataPiece::Kind::kLznt1) {
    DataPiece& last = data.pieces.back();
    if (last.kind == kind &&
        (kind != DataPiece::Kind::kSectors ||
         (last.length % kSectorSize == 0 && last.firstSector + last.length / kSectorSize == firstSector))) {
      last.length += length;
      return;
    }
  }
  DataPiece piece;
  piece.kind = kind;
  piece.firstSector = firstSector;
  piece.length = length;
  data.pieces.push_back(std::move(piece));
}

}  // namespace

NtfsDataSource::NtfsDataSource(const ScanContext& ctx) : ctx_(ctx) {
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  volumeStart_ = g.Cluster0Sector;
  if (IsValidClusterSectors(g.SectorsPerCluster)) {
    sectorsPerCluster_ = g.SectorsPerCluster;
    clusterBytes_ = std::uint64_t{sectorsPerCluster_} * kSectorSize;
  }
  if (sectorsPerCluster_ == 0) return;
  // The $MFT's runs: from the MFT sector the geometry names (a Standard search), else from a
  // "$MFT" row the record scan found (an Advance search), whichever holds this volume's record 0.
  std::vector<std::uint64_t> candidates{g.MftSector};
  const TextTable& files = ctx.results.tables.PendingEntryTable;
  for (int r = 0; r < files.RowCount(); ++r) {
    if (files.GetCell(r, entry_col::kName, kCellBuffer) == "$MFT")
      candidates.push_back(ReadU32(files.GetCell(r, entry_col::kSector, kCellBuffer)));
  }
  for (std::uint64_t sector : candidates) {
    if (sector <= volumeStart_ || sector < ctx.searchStart || sector >= ctx.searchEnd) continue;
    if (!HoldsRecordZero(sector)) continue;
    mft_ = LoadMftExtents(ctx, volumeStart_, sector, sectorsPerCluster_);
    if (!mft_.extents.empty()) return;
  }
}

bool NtfsDataSource::HoldsRecordZero(std::uint64_t sector) const {
  const std::optional<Record> record = RecordAt(sector);
  if (!record || OwnNumber(*record).value_or(0) != 0) return false;
  // Record 0 describes the $MFT itself: its first run starts at the sector it was read from.
  const auto data = FindUnnamedData(*record);
  return data && data->nonResident && data->lowestVcn == 0 && !data->runs.empty() && !data->runs[0].sparse &&
         data->runs[0].lcn < (ctx_.searchEnd - volumeStart_) / sectorsPerCluster_ &&
         volumeStart_ + data->runs[0].lcn * sectorsPerCluster_ == sector;
}

std::optional<NtfsDataSource::Record> NtfsDataSource::RecordAt(std::uint64_t sector) const {
  if (sector == 0) return std::nullopt;
  Record record(kFileRecordSize);
  ctx_.Read(sector, kRecordSectors, record);
  if (!BytesEqual(record, 0, "FILE")) return std::nullopt;
  ApplyFixup(record);
  return record;
}

std::optional<NtfsDataSource::Record> NtfsDataSource::RecordOf(std::uint32_t number,
                                                               std::uint64_t sector) const {
  if (sector == 0 || mft_.extents.empty() || RecordToSector(mft_, number) != sector) return RecordAt(sector);
  Record record(kFileRecordSize);
  if (!ReadMftSectors(ctx_, mft_, std::uint64_t{number} * kRecordSectors, record)) return std::nullopt;
  if (!BytesEqual(record, 0, "FILE")) return std::nullopt;
  ApplyFixup(record);
  return record;
}

template <typename Accept>
std::optional<NtfsDataSource::Found> NtfsDataSource::FindRecord(std::uint32_t number,
                                                                std::uint32_t nearNumber,
                                                                std::uint64_t nearSector,
                                                                Accept accept) const {
  auto take = [&](std::uint64_t sector) -> std::optional<Found> {
    std::optional<Record> record = RecordOf(number, sector);
    if (!record) return std::nullopt;
    const std::optional<std::uint32_t> own = OwnNumber(*record);
    if ((own && *own != number) || !accept(ByteSpan(*record))) return std::nullopt;
    return Found{std::move(*record), sector};
  };
  if (!mft_.extents.empty()) {
    if (auto record = take(RecordToSector(mft_, number))) return record;
  }
  const std::uint64_t distance =
      std::uint64_t{number > nearNumber ? number - nearNumber : nearNumber - number} * kRecordSectors;
  if (number > nearNumber) {
    if (nearSector + distance < ctx_.searchEnd) return take(nearSector + distance);
  } else if (nearSector > distance && nearSector - distance >= ctx_.searchStart) {
    return take(nearSector - distance);
  }
  return std::nullopt;
}

NtfsDataSource::Stream NtfsDataSource::ReadStream(const DetailsRow& row) {
  Stream stream;
  if (HasNoRecord(row)) {
    // The record the index entry named holds another file now: reading it would give that
    // file's bytes under this name.
    stream.failure = "only its name is left, in its folder's index; no file record says where its data was";
    return stream;
  }
  std::uint64_t sector = IsDecimalNumber(row.debug1) ? ReadU32(row.debug1) : 0;
  std::optional<Record> base =
      IsDecimalNumber(row.debug3) ? RecordOf(ReadU32(row.debug3), sector) : RecordAt(sector);
  if (!base) {
    stream.failure = "its file record (sector " + std::to_string(sector) + ") does not read as one";
    return stream;
  }
  // A record too old to carry its number is taken as the row names it.
  std::uint32_t number = OwnNumber(*base).value_or(IsDecimalNumber(row.debug3) ? ReadU32(row.debug3) : 0);
  // A record scan may list an extension record that holds the file's name; the file's attributes
  // are reached from its base record.
  if (const std::uint32_t owner = BaseNumber(*base); owner != 0) {
    auto found = FindRecord(owner, number, sector, [](ByteSpan r) { return BaseNumber(r) == 0; });
    if (!found) {
      stream.failure = "it is listed from an extension record whose base record " + std::to_string(owner) +
                       " cannot be found";
      return stream;
    }
    base = std::move(found->record);
    sector = found->sector;
    number = owner;
  }

  if (const auto info = FindAttribute(*base, kStandardInformation)) {
    const ByteSpan content = ResidentContent(*base, *info);
    if (content.size() >= 16) stream.modified = UnixTime(static_cast<std::int64_t>(Le64(content, 8)));
  }

  // The pieces of the unnamed $DATA: in the record itself, or in the records its list names.
  std::vector<UnnamedData> pieces;
  if (auto data = FindUnnamedData(*base)) pieces.push_back(std::move(*data));
  if (FindAttribute(*base, attr_type::kAttributeList)) {
    const std::vector<std::uint8_t> list =
        ReadAttributeListValue(ctx_, *base, volumeStart_, sectorsPerCluster_);
    for (std::uint32_t other : DataAttributeRecords(list)) {
      if (other == number || pieces.size() >= kMaxPieces) continue;
      const auto record =
          FindRecord(other, number, sector, [number](ByteSpan r) { return BaseNumber(r) == number; });
      if (!record) continue;
      if (auto data = FindUnnamedData(record->record)) pieces.push_back(std::move(*data));
    }
  }
  // A record without unnamed data (system files that keep named streams only, say) lists as an
  // empty file, and is one.
  if (pieces.empty()) return stream;
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const UnnamedData& a, const UnnamedData& b) { return a.lowestVcn < b.lowestVcn; });
  const UnnamedData& first = pieces.front();
  if (!first.nonResident) {
    stream.resident = true;
    stream.residentBytes = first.residentBytes;
    stream.realSize = stream.initializedSize = first.realSize;
    return stream;
  }
  if (first.lowestVcn != 0) {
    stream.failure = "the first piece of its data could not be found";
    return stream;
  }
  if (first.flags & kEncrypted) {
    stream.failure = "its data is encrypted, and cannot be read without the owner's key";
    return stream;
  }
  if (clusterBytes_ == 0) {
    stream.failure = "the volume's cluster size is not known";
    return stream;
  }
  if (first.flags & kCompressed) {
    if (first.compressionUnit == 0 || first.compressionUnit > kMaxCompressionUnit ||
        (clusterBytes_ << first.compressionUnit) > kMaxUnitBytes) {
      stream.failure = "its data is marked compressed, with a compression unit of " +
                       std::to_string(first.compressionUnit) + " that cannot be right";
      return stream;
    }
    stream.compressionUnit = first.compressionUnit;
  }
  // A real size past the allocated one is a damaged header: the runs hold no more than that.
  stream.realSize = std::min(first.realSize, first.allocatedSize);
  stream.initializedSize = std::min(first.initializedSize, stream.realSize);

  // Runs in VCN order; a piece that starts past the runs so far leaves a gap of missing clusters,
  // a piece that overlaps them (a stale extension record) is left out.
  std::uint64_t vcn = 0;
  for (const UnnamedData& piece : pieces) {
    if (!piece.nonResident || piece.lowestVcn < vcn) continue;
    if (piece.lowestVcn > vcn) {
      stream.runs.push_back({{0, piece.lowestVcn - vcn, false}, true});
      vcn = piece.lowestVcn;
    }
    for (const ClusterRun& run : piece.runs) {
      stream.runs.push_back({run, false});
      vcn += run.clusterCount;
    }
  }
  return stream;
}

FileData NtfsDataSource::Locate(const DetailsRow& row) {
  FileData data;
  data.method = ReadMethod::kRecord;
  Stream stream = ReadStream(row);
  data.modified = stream.modified;
  if (stream.failure) {
    data.failure = std::move(stream.failure);
    return data;
  }
  data.size = stream.realSize;
  if (data.size == 0) {
    data.method = ReadMethod::kNone;
    return data;
  }
  if (stream.resident) {
    DataPiece piece;
    piece.kind = DataPiece::Kind::kBytes;
    piece.length = stream.realSize;
    piece.bytes = std::move(stream.residentBytes);
    data.pieces.push_back(std::move(piece));
    return data;
  }

  const std::uint64_t rangeClusters =
      ctx_.searchEnd > volumeStart_ ? (ctx_.searchEnd - volumeStart_) / sectorsPerCluster_ : 0;
  // A size past what the runs map is damage (or a piece of the runs that was not found): the file
  // is as long as they map, the rest is reported missing rather than padded. A run on the disk
  // maps no more clusters than the volume holds.
  std::uint64_t mappedClusters = 0;
  for (const Stream::Run& r : stream.runs) {
    const std::uint64_t clusters =
        r.missing || r.run.sparse ? r.run.clusterCount : std::min(r.run.clusterCount, rangeClusters);
    mappedClusters = clusters > UINT64_MAX - mappedClusters ? UINT64_MAX : mappedClusters + clusters;
  }
  const std::uint64_t mapped =
      mappedClusters > UINT64_MAX / clusterBytes_ ? UINT64_MAX : mappedClusters * clusterBytes_;
  if (data.size > mapped) {
    data.beyondVolume = data.size - mapped;
    data.size = mapped;
  }
  if (stream.compressionUnit != 0) {
    AddCompressedPieces(stream, rangeClusters, data);
    return data;
  }
  // Each run in turn, cut where the file ends; what lies past the initialised size is zeros.
  std::uint64_t offset = 0;
  for (const Stream::Run& r : stream.runs) {
    if (offset >= data.size) break;
    const std::uint64_t left = data.size - offset;
    const std::uint64_t clusters = std::min(r.run.clusterCount, ClustersFor(left, clusterBytes_));
    const std::uint64_t length = clusters > left / clusterBytes_ ? left : clusters * clusterBytes_;
    if (r.missing) {
      AddPiece(data, DataPiece::Kind::kMissing, 0, length);
    } else if (r.run.sparse) {
      AddPiece(data, DataPiece::Kind::kZeros, 0, length);
    } else {
      // Bytes on the disk up to the initialised size; clusters past the search range are missing.
      const std::uint64_t onDisk =
          offset < stream.initializedSize ? std::min(length, stream.initializedSize - offset) : 0;
      std::uint64_t readable = 0, firstSector = 0;
      if (r.run.lcn < rangeClusters) {
        const std::uint64_t inRange = std::min(rangeClusters - r.run.lcn, clusters);
        firstSector = volumeStart_ + r.run.lcn * sectorsPerCluster_;
        readable = std::min(onDisk, inRange * clusterBytes_);
      }
      AddPiece(data, DataPiece::Kind::kSectors, firstSector, readable);
      AddPiece(data, DataPiece::Kind::kMissing, 0, onDisk - readable);
      AddPiece(data, DataPiece::Kind::kZeros, 0, length - onDisk);
    }
    offset += length;
  }
  return data;
}

void NtfsDataSource::AddCompressedPieces(const Stream& stream, std::uint64_t rangeClusters,
                                         FileData& data) const {
  // A unit's clusters as the runs give them: those on the disk, in order, then the sparse ones.
  // All on the disk: the unit did not shrink and is stored as it is. None: zeros. Some: the
  // clusters on the disk hold its LZNT1 chunks.
  const std::uint64_t unitClusters = std::uint64_t{1} << stream.compressionUnit;
  const std::uint64_t unitBytes = unitClusters * clusterBytes_;
  std::size_t runIndex = 0;
  std::uint64_t usedOfRun = 0;
  // Past the last run nothing is added: the writer fills what no piece reaches and reports it.
  for (std::uint64_t offset = 0; offset < data.size && runIndex < stream.runs.size();) {
    const std::uint64_t length = std::min(unitBytes, data.size - offset);
    std::vector<DataPiece::SectorRun> onDisk;
    std::uint64_t diskClusters = 0, need = unitClusters;
    bool missing = false;
    while (need > 0 && runIndex < stream.runs.size()) {
      const Stream::Run& r = stream.runs[runIndex];
      if (r.run.clusterCount == 0) {
        ++runIndex;
        continue;
      }
      const std::uint64_t take = std::min(need, r.run.clusterCount - usedOfRun);
      if (r.missing) {
        missing = true;
      } else if (!r.run.sparse) {
        const std::uint64_t lcn = r.run.lcn + usedOfRun;
        if (lcn >= rangeClusters || take > rangeClusters - lcn) {
          missing = true;
        } else {
          const std::uint64_t sector = volumeStart_ + lcn * sectorsPerCluster_;
          if (!onDisk.empty() && onDisk.back().firstSector + onDisk.back().sectorCount == sector) {
            onDisk.back().sectorCount += take * sectorsPerCluster_;
          } else {
            onDisk.push_back({sector, take * sectorsPerCluster_});
          }
          diskClusters += take;
        }
      }
      need -= take;
      usedOfRun += take;
      if (usedOfRun == r.run.clusterCount) {
        ++runIndex;
        usedOfRun = 0;
      }
    }
    // Runs that end inside a unit leave it unknown: without its sparse tail a unit cannot be
    // told compressed from cut short.
    if (need > 0) missing = true;
    const std::uint64_t initialised =
        offset < stream.initializedSize ? std::min(length, stream.initializedSize - offset) : 0;
    if (missing) {
      AddPiece(data, DataPiece::Kind::kMissing, 0, initialised);
    } else if (diskClusters == 0) {
      AddPiece(data, DataPiece::Kind::kZeros, 0, initialised);
    } else if (diskClusters == unitClusters) {
      std::uint64_t left = initialised;
      for (const DataPiece::SectorRun& run : onDisk) {
        const std::uint64_t bytes = std::min(left, run.sectorCount * kSectorSize);
        AddPiece(data, DataPiece::Kind::kSectors, run.firstSector, bytes);
        left -= bytes;
      }
    } else if (initialised > 0) {
      DataPiece piece;
      piece.kind = DataPiece::Kind::kLznt1;
      piece.length = initialised;
      piece.unitBytes = unitBytes;
      piece.compressed = std::move(onDisk);
      data.pieces.push_back(std::move(piece));
    }
    AddPiece(data, DataPiece::Kind::kZeros, 0, length - initialised);
    offset += length;
  }
}

void NtfsDataSource::LoadBitmap(std::uint32_t nearNumber, std::uint64_t nearSector) {
  bitmapTried_ = true;
  const auto record = FindRecord(kBitmapRecord, nearNumber, nearSector, [](ByteSpan r) {
    const auto name = FindFileName(r);
    return BaseNumber(r) == 0 && name && name->name == "$Bitmap";
  });
  if (!record) return;
  const auto data = FindUnnamedData(record->record);
  if (!data || data->lowestVcn != 0) return;
  bitmapBytes_ = data->realSize;
  if (data->nonResident) {
    bitmapExtents_ = RunsToSectorExtents(data->runs, volumeStart_, sectorsPerCluster_);
    // A run list that names no cluster (its first run damaged) leaves the bitmap unread.
    if (bitmapExtents_.empty()) return;
  } else {
    bitmapResident_ = data->residentBytes;
    bitmapBytes_ = std::min<std::uint64_t>(bitmapBytes_, bitmapResident_.size());
  }
  bitmapFound_ = true;
}

std::optional<bool> NtfsDataSource::Allocated(std::uint64_t lcn) {
  const std::uint64_t byte = lcn / 8;
  if (!bitmapFound_ || byte >= bitmapBytes_) return std::nullopt;
  const int bit = static_cast<int>(lcn % 8);
  if (bitmapExtents_.empty()) {
    if (byte >= bitmapResident_.size()) return std::nullopt;
    return ((bitmapResident_[static_cast<std::size_t>(byte)] >> bit) & 1) != 0;
  }

  constexpr std::uint64_t kPageBytes = kBitmapPageSectors * kSectorSize;
  const std::uint64_t page = byte / kPageBytes;
  auto it = bitmapPages_.find(page);
  if (it == bitmapPages_.end()) {
    // The page's sector in the $Bitmap's extents; a page in a sparse extent or past them is unread.
    std::vector<std::uint8_t> bytes;
    std::uint64_t sector = page * kBitmapPageSectors;
    for (const SectorExtent& extent : bitmapExtents_) {
      if (sector >= extent.sectorCount) {
        sector -= extent.sectorCount;
        continue;
      }
      if (extent.sparse) break;
      const auto count = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(kBitmapPageSectors, extent.sectorCount - sector));
      bytes.assign(std::size_t{count} * kSectorSize, 0);
      ReadReport report;
      ctx_.Read(extent.startSector + sector, count, bytes, &report);
      if (report.failedSectors != 0) bytes.clear();
      break;
    }
    it = bitmapPages_.emplace(page, std::move(bytes)).first;
  }
  const std::uint64_t within = byte % kPageBytes;
  if (within >= it->second.size()) return std::nullopt;
  return ((it->second[static_cast<std::size_t>(within)] >> bit) & 1) != 0;
}

std::optional<ClusterGrid> NtfsDataSource::Grid() const {
  if (sectorsPerCluster_ == 0 || ctx_.searchEnd <= volumeStart_) return std::nullopt;
  return ClusterGrid{volumeStart_, sectorsPerCluster_, ctx_.searchEnd};
}

bool NtfsDataSource::DataBeginsAt(std::uint64_t sector) {
  if (!runStarts_) {
    runStarts_.emplace();
    for (const DetailsRow& row : EveryTableFileRow(ctx_.results)) {
      if (HasNoRecord(row)) continue;
      const Stream stream = ReadStream(row);
      if (stream.failure || stream.resident) continue;
      for (const Stream::Run& r : stream.runs) {
        if (!r.missing && !r.run.sparse) runStarts_->push_back(volumeStart_ + r.run.lcn * sectorsPerCluster_);
      }
    }
    std::sort(runStarts_->begin(), runStarts_->end());
  }
  return std::binary_search(runStarts_->begin(), runStarts_->end(), sector);
}

Recoverability NtfsDataSource::Estimate(const DetailsRow& row) {
  if (!row.deleted) return Recoverability::kNotDeleted;
  if (HasNoRecord(row)) return Recoverability::kNoRecord;
  const Stream stream = ReadStream(row);
  if (stream.failure) return Recoverability::kUnknown;
  // Resident data lives in the record itself, which still reads as this file's.
  if (stream.resident || stream.realSize == 0) return Recoverability::kIntact;
  if (!bitmapTried_) {
    const std::uint64_t sector = ReadU32(row.debug1);
    const std::optional<Record> base =
        IsDecimalNumber(row.debug3) ? RecordOf(ReadU32(row.debug3), sector) : RecordAt(sector);
    if (base) LoadBitmap(OwnNumber(*base).value_or(0), sector);
  }
  if (!bitmapFound_) return Recoverability::kUnknown;

  // The clusters the data would be read from: runs up to the real size, sparse ones aside.
  std::uint64_t left = ClustersFor(stream.realSize, clusterBytes_);
  bool first = true;
  for (const Stream::Run& r : stream.runs) {
    if (left == 0) break;
    const std::uint64_t count = std::min(left, r.run.clusterCount);
    left -= count;
    if (r.run.sparse) continue;
    if (r.missing) return Recoverability::kUnknown;
    for (std::uint64_t c = 0; c < count; ++c) {
      const std::optional<bool> used = Allocated(r.run.lcn + c);
      if (!used) return Recoverability::kUnknown;
      if (*used) return first ? Recoverability::kOverwritten : Recoverability::kPartlyOverwritten;
      first = false;
    }
  }
  return Recoverability::kIntact;
}

}  // namespace quarrow
