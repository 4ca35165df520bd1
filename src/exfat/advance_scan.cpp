#include "exfat/advance_scan.h"

#include <algorithm>
#include <map>

#include "exfat/entry_set.h"
#include "scan/carved_starts.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

constexpr std::uint32_t kScanChunkSectors = 1024;
// Directory sectors are kept up to this many; a range holding more is a large volume whose
// folders the first ones already place.
constexpr std::size_t kMaxDirectorySectors = 1u << 20;

bool BeginsRoot(ByteSpan sector) {
  const std::uint8_t type = Byte(sector, 0);
  return type == exfat_entry::kLabel || type == exfat_entry::kBitmap || type == exfat_entry::kUpcase;
}

}  // namespace

ExfatSectorFinds ScanExfatSectors(ScanContext& ctx) {
  ExfatSectorFinds finds;
  Feedback& ui = ctx.Ui();
  const std::uint64_t total = ctx.searchEnd > ctx.searchStart ? ctx.searchEnd - ctx.searchStart : 0;
  // One sector more than the chunk: a set that begins in the chunk's last sector ends in the next.
  std::vector<std::uint8_t> chunk((kScanChunkSectors + 3) * kSectorSize);
  ProgressSteps progress(ui);
  for (std::uint64_t done = 0; done < total; done += kScanChunkSectors) {
    if (ctx.StopRequested()) break;
    const std::uint64_t first = ctx.searchStart + done;
    const auto sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(kScanChunkSectors, total - done));
    const auto withTail = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors + 3, total - done));
    std::fill(chunk.begin(), chunk.end(), std::uint8_t{0});
    ctx.Read(first, withTail, std::span(chunk).first(std::size_t{withTail} * kSectorSize));
    RecogniseFileStarts(ctx, std::span(chunk).first(std::size_t{withTail} * kSectorSize), first, sectors);
    for (std::uint32_t s = 0; s < sectors; ++s) {
      const ByteSpan sector(chunk.data() + std::size_t{s} * kSectorSize, kSectorSize);
      const std::uint64_t number = first + s;
      const ExfatBootSector boot = DecodeExfatBootSector(sector);
      if (boot.Plausible()) {
        finds.bootSectors.push_back({number, boot});
        continue;
      }
      if (Le32(sector, 0) == 0xFFFFFFF8u && Le32(sector, 4) == 0xFFFFFFFFu) {
        finds.fatSectors.push_back(number);
        continue;
      }
      if (BeginsRoot(sector)) {
        finds.rootSectors.push_back(number);
        continue;
      }
      const ByteSpan rest(sector.data(), chunk.size() - std::size_t{s} * kSectorSize);
      const std::optional<ExfatEntrySet> set = DecodeEntrySet(rest, 0);
      if (!set || !set->checksumHolds) continue;
      if (finds.directorySectors.size() < kMaxDirectorySectors) finds.directorySectors.push_back(number);
      // The other sets of the sector name folders too.
      for (const auto& found : ReadDirectoryEntries(sector, false).sets) {
        if (found.set.Directory() && found.set.firstCluster >= 2 &&
            finds.folderClusters.size() < kMaxFolderSamples)
          finds.folderClusters.push_back(found.set.firstCluster);
      }
    }
    progress.Show(done + sectors, total);
    ui.SetText(control::kFolderCounter, std::to_string(finds.directorySectors.size()));
  }
  return finds;
}

std::vector<ExfatVolumeFind> IdentifyExfatVolumes(const ExfatSectorFinds& finds, std::uint64_t searchEnd) {
  std::vector<ExfatVolumeFind> volumes;
  for (const ExfatSectorFinds::Boot& b : finds.bootSectors) {
    // A backup lies twelve of the volume's sectors after its main boot sector.
    const std::uint64_t backupOffset = std::uint64_t{exfat_boot::kRegionSectors}
                                       << (b.boot.bytesPerSectorShift - 9);
    const bool isBackup =
        std::any_of(finds.bootSectors.begin(), finds.bootSectors.end(), [&](const auto& other) {
          return other.sector + backupOffset == b.sector && other.boot.serialNumber == b.boot.serialNumber;
        });
    if (isBackup) continue;
    // A lone boot sector is a backup when the one twelve sectors before it is gone and its
    // partition offset says so; otherwise it is taken as a main boot sector.
    std::uint64_t start = b.sector;
    if (b.sector >= backupOffset && b.boot.partitionOffset == b.sector - backupOffset)
      start = b.sector - backupOffset;
    const std::optional<ExfatLayout> layout = LayoutFromBootSector(b.boot, start);
    if (!layout || layout->heapSector < 2ull * layout->sectorsPerCluster) continue;
    ExfatVolumeFind find;
    find.bootSector = b.sector;
    find.volumeStart = start;
    find.cluster0 = layout->heapSector - 2ull * layout->sectorsPerCluster;
    find.sectorsPerCluster = layout->sectorsPerCluster;
    find.rootCluster = layout->rootCluster;
    find.layout = layout;
    volumes.push_back(find);
  }
  if (!volumes.empty() || finds.folderClusters.empty() || finds.rootSectors.empty()) return volumes;

  // No boot sector: the cluster size and cluster 0 under which most folders' first clusters are
  // directory sectors. The first folder anchors each guess.
  const std::vector<std::uint64_t>& dirs = finds.directorySectors;
  auto isDirectory = [&](std::uint64_t sector) {
    return std::binary_search(dirs.begin(), dirs.end(), sector);
  };
  std::size_t bestScore = 0;
  ExfatVolumeFind best;
  const std::uint64_t anchor = finds.folderClusters.front();
  for (std::uint32_t spc = 1; spc <= 256; spc *= 2) {
    for (std::uint64_t s : dirs) {
      if (s < anchor * spc) continue;
      const std::uint64_t cluster0 = s - anchor * spc;
      std::size_t score = 0, left = finds.folderClusters.size();
      for (std::uint32_t f : finds.folderClusters) {
        // A guess that can no longer reach the best one is not scored further.
        if (score + left < bestScore) break;
        --left;
        score += isDirectory(cluster0 + std::uint64_t{f} * spc) ? 1 : 0;
      }
      // Of two guesses placing as many folders, the larger cluster is the one whose boundaries
      // the smaller one's also are.
      if (score > bestScore || (score == bestScore && score > 0 && spc > best.sectorsPerCluster)) {
        // The root must lie on a cluster of the guess.
        for (std::uint64_t r : finds.rootSectors) {
          if (r < cluster0 + 2ull * spc || (r - cluster0) % spc != 0 || (r - cluster0) / spc > 0xFFFFFFF0u)
            continue;
          bestScore = score;
          best.cluster0 = cluster0;
          best.sectorsPerCluster = spc;
          best.rootCluster = static_cast<std::uint32_t>((r - cluster0) / spc);
          break;
        }
      }
    }
  }
  // A guess that only its anchor confirms is no volume.
  if (bestScore >= 2 || (bestScore == 1 && finds.folderClusters.size() == 1)) {
    best.volumeStart = best.cluster0;
    const std::uint64_t heap = best.cluster0 + 2ull * best.sectorsPerCluster;
    for (std::uint64_t f : finds.fatSectors) {
      if (f >= heap) break;
      best.fatSector = f;
      best.fatSectors = heap - f;
    }
    if (best.cluster0 + 2ull * best.sectorsPerCluster < searchEnd) volumes.push_back(best);
  }
  return volumes;
}

ExfatLayout LayoutOfFind(const ExfatVolumeFind& find, std::uint64_t searchEnd) {
  if (find.layout) return *find.layout;
  ExfatLayout layout;
  layout.volumeStart = find.volumeStart;
  layout.sectorsPerCluster = find.sectorsPerCluster;
  layout.heapSector = find.cluster0 + 2ull * find.sectorsPerCluster;
  layout.rootCluster = find.rootCluster;
  layout.fatSector = find.fatSector;
  layout.fatSectors = find.fatSectors;
  const std::uint64_t clusters = searchEnd > layout.heapSector && find.sectorsPerCluster != 0
                                     ? (searchEnd - layout.heapSector) / find.sectorsPerCluster
                                     : 0;
  std::uint64_t fatEntries = find.fatSectors * (kSectorSize / 4);
  fatEntries = find.fatSectors == 0 ? ~0ull : fatEntries >= 2 ? fatEntries - 2 : 0;
  layout.clusterCount =
      static_cast<std::uint32_t>(std::min<std::uint64_t>({clusters, fatEntries, 0xFFFFFFF5u}));
  return layout;
}

}  // namespace quarrow
