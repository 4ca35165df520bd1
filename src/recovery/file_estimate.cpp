#include "fat/directory_reader.h"
#include "recovery/file_data_source.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

std::uint64_t SectorsOf(std::uint64_t bytes) {
  return bytes / kSectorSize + (bytes % kSectorSize != 0 ? 1 : 0);
}

}  // namespace

Recoverability EstimateFile(const ScanContext& ctx, FileDataSource& source, const DetailsRow& row) {
  const Recoverability estimate = source.Estimate(row);
  if (estimate == Recoverability::kOverwritten || !ctx.reader || !ctx.reader->HasUnreadMap(ctx.diskNumber))
    return estimate;
  const FileData data = source.Locate(row);
  for (const DataPiece& piece : data.pieces) {
    bool unread = false;
    if (piece.kind == DataPiece::Kind::kSectors) {
      unread = ctx.reader->KnownUnreadable(ctx.diskNumber, piece.firstSector, SectorsOf(piece.length));
    } else if (piece.kind == DataPiece::Kind::kLznt1) {
      for (const DataPiece::SectorRun& run : piece.compressed)
        unread = unread || ctx.reader->KnownUnreadable(ctx.diskNumber, run.firstSector, run.sectorCount);
    }
    if (unread) return Recoverability::kPartlyUnreadable;
  }
  return estimate;
}

bool FolderInUnreadBlock(const ScanContext& ctx, std::uint32_t ownCluster) {
  // Keys above the last FAT cluster number (the catch-all folder, the folders of carved files)
  // stand for no directory.
  if (!ctx.reader || !IsFat(ctx.activeGeometry.type) || ownCluster < 2 || ownCluster > 0x0FFFFFF6 ||
      !IsValidClusterSectors(ctx.activeGeometry.SectorsPerCluster) ||
      !ctx.reader->HasUnreadMap(ctx.diskNumber))
    return false;
  return ctx.reader->KnownUnreadable(ctx.diskNumber, ClusterSector(ctx, ownCluster),
                                     ctx.activeGeometry.SectorsPerCluster);
}

}  // namespace quarrow
