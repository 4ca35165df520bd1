#include "recovery/fat_data_source.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <tuple>
#include <unordered_set>

#include "carve/carve.h"
#include "fat/boot_sector.h"
#include "fat/directory_reader.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {
namespace {

std::uint64_t ClustersFor(std::uint64_t size, std::uint64_t clusterBytes) {
  return clusterBytes == 0 ? 0 : (size + clusterBytes - 1) / clusterBytes;
}

// The first cluster a row carries, or nullopt when it carries none.
std::optional<std::uint32_t> FirstCluster(const DetailsRow& row) {
  if (!IsDecimalNumber(row.debug1)) return std::nullopt;
  return ReadU32(row.debug1);
}

}  // namespace

FatDataSource::FatDataSource(const ScanContext& ctx) : ctx_(ctx), fat_(ctx) {
  // The folders are taken now: the tree may grow on another thread while files are estimated.
  for (const FolderNode& node : ctx.results.folderNodes) folderClusters_.push_back(node.self);
  const ActiveVolumeGeometry& g = ctx.activeGeometry;
  if (!IsValidClusterSectors(g.SectorsPerCluster)) return;
  clusterBytes_ = std::uint64_t{g.SectorsPerCluster} * kSectorSize;
  // Clusters run from 2 up to the end of the search range, and no further than the FAT reaches.
  const std::uint64_t firstData = std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster;
  if (ctx.searchEnd <= firstData) return;
  std::uint64_t last = (ctx.searchEnd - firstData) / g.SectorsPerCluster + 1;
  if (fat_.Usable()) last = std::min<std::uint64_t>(last, fat_.MaxEntries() - 1);
  lastCluster_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0x0FFFFFF6));

  // Another FAT volume's boot sector inside this one's clusters comes with its reserved sectors,
  // two FATs and a root (FAT16 after the FATs, FAT32 at its root cluster). The boot sectors of this
  // volume and its backup lie before firstData and are not counted.
  const TextTable& boots = ctx.results.tables.FileSystemTable;
  for (int r = 0; r < boots.RowCount(); ++r) {
    const std::optional<FsType> type = FsTypeFromText(boots.Cell(r, 10));
    const std::int64_t sector = ReadI64(boots.Cell(r, 0));
    if (!type || !IsFat(*type) || sector < static_cast<std::int64_t>(firstData)) continue;
    const std::uint64_t boot = static_cast<std::uint64_t>(sector);
    const std::uint64_t fats = std::uint64_t{ReadU32(boots.Cell(r, 5))} + 2ull * ReadU32(boots.Cell(r, 1));
    otherStructures_.emplace_back(boot, boot + fats + ReadU32(boots.Cell(r, 3)));
    const std::uint32_t spc = ReadU32(boots.Cell(r, 2));
    const std::int64_t cluster0 = ReadI64(boots.Cell(r, 6));
    if (*type == FsType::kFat32 && IsValidClusterSectors(spc) && cluster0 > 0) {
      const std::uint64_t root = static_cast<std::uint64_t>(cluster0) + std::uint64_t{ReadU32(boots.Cell(r, 4))} * spc;
      otherStructures_.emplace_back(root, root + spc);
    }
  }
  // Sorted and merged, so that a long chain on a disk of many boot sectors costs a search per
  // cluster.
  std::sort(otherStructures_.begin(), otherStructures_.end());
  std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
  for (const auto& s : otherStructures_) {
    if (!merged.empty() && s.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, s.second);
    } else {
      merged.push_back(s);
    }
  }
  otherStructures_ = std::move(merged);
}

bool FatDataSource::UnderOtherVolume(std::uint64_t from, std::uint64_t end) const {
  if (from >= end) return false;
  const std::uint32_t spc = ctx_.activeGeometry.SectorsPerCluster;
  const std::uint64_t first = std::uint64_t{ctx_.activeGeometry.Cluster0Sector} + from * spc;
  const std::uint64_t last = std::uint64_t{ctx_.activeGeometry.Cluster0Sector} + end * spc;
  // The first region that begins at or past last cannot overlap; the one before it may.
  auto it = std::lower_bound(otherStructures_.begin(), otherStructures_.end(), last,
                             [](const auto& s, std::uint64_t at) { return s.first < at; });
  return it != otherStructures_.begin() && first < std::prev(it)->second;
}

bool FatDataSource::UnderOtherVolume(const std::vector<std::uint32_t>& clusters) const {
  if (otherStructures_.empty()) return false;
  return std::any_of(clusters.begin(), clusters.end(),
                     [&](std::uint32_t c) { return UnderOtherVolume(c, std::uint64_t{c} + 1); });
}

std::optional<bool> FatDataSource::Free(std::uint32_t cluster) {
  const std::optional<std::uint32_t> entry = fat_.Entry(cluster);
  if (!entry) return std::nullopt;
  // The top four bits of a FAT32 entry are reserved and say nothing about the cluster.
  const std::uint32_t value = fat_.Type() == FsType::kFat32 ? (*entry & 0x0FFFFFFF) : *entry;
  return value == 0;
}

FileData FatDataSource::Locate(const DetailsRow& row) {
  FileData data;
  data.size = ReadU32(row.size);
  if (data.size == 0) return data;
  const std::optional<std::uint32_t> first = FirstCluster(row);
  if (clusterBytes_ == 0) {
    data.failure = "the volume's cluster size is not known";
    return data;
  }
  if (!first || *first < 2 || *first > lastCluster_) {
    data.failure = "its first cluster (" + (first ? std::to_string(*first) : std::string("none")) +
                   ") is not a cluster of the volume";
    return data;
  }
  const ClusterRun run = Choose(row).run;
  data.method = run.method;
  const std::vector<std::uint32_t>& clusters = run.clusters;

  // A size past what these clusters hold (larger than the volume, or past its last cluster) is
  // damage: the file is what they hold, the rest is reported missing rather than padded.
  const std::uint64_t reach = clusters.size() * clusterBytes_;
  if (data.size > reach) {
    data.beyondVolume = data.size - reach;
    data.size = reach;
  }

  // Runs of consecutive clusters are read as one piece.
  const std::uint32_t spc = ctx_.activeGeometry.SectorsPerCluster;
  for (std::size_t i = 0; i < clusters.size();) {
    std::size_t j = i + 1;
    while (j < clusters.size() && clusters[j] == clusters[j - 1] + 1) ++j;
    DataPiece piece;
    piece.firstSector = ClusterSector(ctx_, clusters[i]);
    piece.length = std::uint64_t{j - i} * spc * kSectorSize;
    data.pieces.push_back(std::move(piece));
    i = j;
  }
  return data;
}

FatDataSource::ClusterRun FatDataSource::Clusters(std::uint32_t first, std::uint64_t needed, bool deleted) {
  ClusterRun run;
  if (deleted) {
    run.method = ReadMethod::kContiguous;
  } else {
    run.clusters = FollowClusterChain(fat_, first, static_cast<std::size_t>(needed));
    // A chain that runs off the volume (a damaged FAT) ends where it leaves it.
    const auto off = std::find_if(run.clusters.begin(), run.clusters.end(),
                                  [this](std::uint32_t c) { return c < 2 || c > lastCluster_; });
    run.clusters.erase(off, run.clusters.end());
    run.chained = run.clusters.size();
    run.method = run.chained >= needed ? ReadMethod::kChain : ReadMethod::kChainThenContiguous;
  }
  // Without a chain (a deleted file) or after a chain that ended early, the clusters that follow
  // are taken in order, as far as the volume goes.
  std::uint64_t next = run.clusters.empty() ? first : std::uint64_t{run.clusters.back()} + 1;
  while (run.clusters.size() < needed && next <= lastCluster_)
    run.clusters.push_back(static_cast<std::uint32_t>(next++));
  return run;
}

const FatDataSource::Claims& FatDataSource::VolumeClaims() {
  if (claims_) return *claims_;
  claims_.emplace();
  Claims& claims = *claims_;
  const ActiveVolumeGeometry& g = ctx_.activeGeometry;
  const FsType type = g.type;
  if (!IsFat(type) || clusterBytes_ == 0) return claims;
  const std::uint64_t dataStart = std::uint64_t{g.Cluster0Sector} + 2ull * g.SectorsPerCluster;
  std::unordered_set<std::uint32_t> walked;
  std::vector<std::uint32_t> pending;
  auto walk = [&](std::vector<std::uint64_t> sectors, const DirectoryWalk& how) {
    for (std::uint64_t n : sectors) {
      if (n >= dataStart)
        claims.directoryClusters.push_back(
            static_cast<std::uint32_t>((n - g.Cluster0Sector) / g.SectorsPerCluster));
    }
    DirectorySectors directory(ctx_, std::move(sectors));
    ForEachDirectoryEntry(ctx_, directory, how, [&](const DirectoryEntry& entry) {
      if (entry.IsVolumeLabel()) return true;
      const std::uint32_t cluster = entry.Cluster(type);
      if (cluster < 2 || cluster > lastCluster_) return true;
      claims.firsts.push_back(
          {cluster, entry.Size(), entry.Date(), entry.Time(), entry.CreatedStamp(), entry.Deleted()});
      if (entry.IsDirectory()) pending.push_back(cluster);
      return true;
    });
  };
  // Every directory is read as its listing reads it: the FAT16 root whole, any other to the end of
  // the cluster its end entry is in.
  DirectoryWalk root;
  root.clusterSectors = g.SectorsPerCluster;
  if (type == FsType::kFat32) {
    if (g.RootDirStart >= 2 && g.RootDirStart <= lastCluster_) {
      walked.insert(g.RootDirStart);
      walk(DirectoryChainSectors(ctx_, fat_, g.RootDirStart), root);
    }
  } else {
    root.clusterSectors = 0;
    walk(Fat16RootSectors(ctx_), root);
  }
  pending.insert(pending.end(), folderClusters_.begin(), folderClusters_.end());
  DirectoryWalk sub;
  sub.clusterSectors = g.SectorsPerCluster;
  sub.subDirectory = true;
  while (!pending.empty()) {
    const std::uint32_t c = pending.back();
    pending.pop_back();
    if (c < 2 || c > lastCluster_ || !walked.insert(c).second) continue;
    // An entry of a folder deleted long ago may name a cluster that holds something else now.
    if (!DirectoryBeginsAt(ctx_, c)) continue;
    walk(DirectoryChainSectors(ctx_, fat_, c), sub);
  }
  std::sort(claims.firsts.begin(), claims.firsts.end(),
            [](const Claim& a, const Claim& b) { return a.cluster < b.cluster; });
  std::sort(claims.directoryClusters.begin(), claims.directoryClusters.end());
  claims.directoryClusters.erase(
      std::unique(claims.directoryClusters.begin(), claims.directoryClusters.end()),
      claims.directoryClusters.end());
  return claims;
}

bool FatDataSource::RunIsShared(const DetailsRow& row, std::uint64_t from, std::uint64_t end) {
  if (from >= end) return false;
  const Claims& claims = VolumeClaims();
  const auto dir = std::lower_bound(claims.directoryClusters.begin(), claims.directoryClusters.end(), from);
  if (dir != claims.directoryClusters.end() && *dir < end) return true;
  auto byCluster = [](const Claim& c, std::uint64_t cluster) { return c.cluster < cluster; };
  const auto at = std::lower_bound(claims.firsts.begin(), claims.firsts.end(), from, byCluster);
  const std::optional<std::uint32_t> first = FirstCluster(row);
  if (!row.deleted || !first || from != *first) return at != claims.firsts.end() && at->cluster < end;
  // The run is a deleted file's from its first cluster on. Entries that begin there too are its
  // own entry, entries in use (whose data is there now) and deleted ones: a deleted file written
  // later took the cluster after this one was deleted; one written earlier lost it to this one.
  const std::uint32_t size = ReadU32(row.size);
  auto own = [&](const Claim& c) {
    return c.deleted && c.size == size && c.date == row.fatDate && c.time == row.fatTime;
  };
  auto it = at;
  std::optional<std::uint64_t> ownCreated;
  for (auto c = at; c != claims.firsts.end() && c->cluster == from; ++c) {
    if (own(*c)) ownCreated = c->created;
  }
  for (; it != claims.firsts.end() && it->cluster == from; ++it) {
    if (own(*it)) continue;
    if (!it->deleted) return true;
    const auto later = std::make_tuple(ownCreated ? it->created : 0, it->date, it->time);
    const auto mine = std::make_tuple(ownCreated.value_or(0), row.fatDate, row.fatTime);
    if (later > mine) return true;
  }
  return it != claims.firsts.end() && it->cluster < end;
}

std::optional<ClusterGrid> FatDataSource::Grid() const {
  if (clusterBytes_ == 0 || lastCluster_ < 2) return std::nullopt;
  const ActiveVolumeGeometry& g = ctx_.activeGeometry;
  ClusterGrid grid;
  grid.sectorsPerCluster = g.SectorsPerCluster;
  grid.firstSector = ClusterSector(ctx_, 2);
  grid.endSector = ClusterSector(ctx_, lastCluster_) + g.SectorsPerCluster;
  return grid;
}

bool FatDataSource::DataBeginsAt(std::uint64_t sector) {
  const std::optional<ClusterGrid> grid = Grid();
  if (!grid || !grid->Begins(sector)) return false;
  const std::uint64_t cluster = 2 + (sector - grid->firstSector) / grid->sectorsPerCluster;
  const Claims& claims = VolumeClaims();
  auto byCluster = [](const Claim& c, std::uint64_t n) { return c.cluster < n; };
  const auto at = std::lower_bound(claims.firsts.begin(), claims.firsts.end(), cluster, byCluster);
  if (at != claims.firsts.end() && at->cluster == cluster) return true;
  return std::binary_search(claims.directoryClusters.begin(), claims.directoryClusters.end(), cluster);
}

Recoverability FatDataSource::Estimate(const DetailsRow& row) {
  const std::optional<std::uint32_t> first = FirstCluster(row);
  // A file with nothing to read is estimated before any run is worked out.
  if (ReadU32(row.size) == 0 || clusterBytes_ == 0 || !first || *first < 2 || *first > lastCluster_)
    return PlainEstimate(row, ClusterRun{});
  return Choose(row).estimate;
}

FatDataSource::ClusterRun FatDataSource::AroundOthers(const DetailsRow& row, const ClusterRun& plain,
                                                      std::uint64_t needed) {
  ClusterRun run;
  run.method = ReadMethod::kAroundOthers;
  run.chained = plain.chained;
  const std::optional<std::uint32_t> first = FirstCluster(row);
  if (!first) return run;
  if (plain.chained > 0) {
    run.clusters.assign(plain.clusters.begin(), plain.clusters.begin() + static_cast<std::ptrdiff_t>(plain.chained));
  } else {
    run.clusters.push_back(*first);
  }
  const Claims& claims = VolumeClaims();
  // What every other entry's size spans from its first cluster (a folder, and an empty file, its
  // first cluster), in order of their first clusters.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  for (const Claim& c : claims.firsts) {
    const std::uint64_t end = c.cluster + std::max<std::uint64_t>(1, ClustersFor(c.size, clusterBytes_));
    // An entry whose span takes in this file's first cluster is this file's own, or one whose data
    // this file's start overwrote, or one that overwrote it: none of them moves the rest.
    if (c.cluster <= *first && *first < end) continue;
    spans.emplace_back(c.cluster, end);
  }
  std::size_t nextSpan = 0;
  std::uint64_t spanReach = 0;  // the end of the furthest span begun at or before the cluster
  for (std::uint64_t c = std::uint64_t{run.clusters.back()} + 1; run.clusters.size() < needed && c <= lastCluster_;
       ++c) {
    while (nextSpan < spans.size() && spans[nextSpan].first <= c) spanReach = std::max(spanReach, spans[nextSpan++].second);
    if (c < spanReach) continue;
    if (std::binary_search(claims.directoryClusters.begin(), claims.directoryClusters.end(), c)) continue;
    if (fat_.Usable()) {
      const std::optional<bool> free = Free(static_cast<std::uint32_t>(c));
      if (free && !*free) continue;
    }
    run.clusters.push_back(static_cast<std::uint32_t>(c));
  }
  return run;
}

std::optional<std::vector<std::uint8_t>> FatDataSource::ReadRun(const std::vector<std::uint32_t>& clusters,
                                                                std::uint64_t size) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(clusters.size() * clusterBytes_));
  const std::uint32_t spc = ctx_.activeGeometry.SectorsPerCluster;
  for (std::size_t i = 0; i < clusters.size();) {
    std::size_t j = i + 1;
    while (j < clusters.size() && clusters[j] == clusters[j - 1] + 1) ++j;
    ReadReport report;
    const std::span<std::uint8_t> out(bytes.data() + i * clusterBytes_, (j - i) * clusterBytes_);
    ctx_.Read(ClusterSector(ctx_, clusters[i]), static_cast<std::uint32_t>((j - i) * spc), out, &report);
    if (report.failedSectors != 0) return std::nullopt;
    i = j;
  }
  if (bytes.size() < size) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(size));
  return bytes;
}

FatDataSource::Choice FatDataSource::Choose(const DetailsRow& row) {
  const std::uint32_t first = FirstCluster(row).value_or(0);
  const std::uint64_t size = ReadU32(row.size);
  const std::uint64_t needed = ClustersFor(size, clusterBytes_);
  Choice plain;
  plain.run = Clusters(first, needed, row.deleted);
  plain.estimate = PlainEstimate(row, plain.run);
  // Only a run that reads into what others hold is tried another way; one whose first cluster is
  // gone has nothing to try. Those few are remembered, the rest cost less to work out again.
  const bool doubtful = plain.estimate == Recoverability::kMayBeMixed ||
                        (row.deleted && plain.estimate == Recoverability::kPartlyOverwritten);
  if (!doubtful) return plain;
  const auto key = std::make_tuple(first, size, row.deleted, row.fatDate, row.fatTime);
  if (const auto known = choices_.find(key); known != choices_.end()) return known->second;
  Choice& choice = choices_[key] = std::move(plain);
  ClusterRun around = AroundOthers(row, choice.run, needed);
  if (around.clusters == choice.run.clusters) return choice;
  const Recoverability sound = row.deleted ? Recoverability::kIntact : Recoverability::kNotDeleted;
  std::array<std::uint8_t, kSectorSize> head{};
  ReadReport report;
  ctx_.Read(ClusterSector(ctx_, first), 1, head, &report);
  const std::optional<CarveStart> type = report.failedSectors == 0 ? RecogniseFileStart(head) : std::nullopt;
  // Files larger than this are not read whole to be judged.
  constexpr std::uint64_t kCheckBytes = 64ull << 20;
  if (type && WholeFileCheckCanConfirm(type->type) && size <= kCheckBytes) {
    for (ClusterRun* run : {&choice.run, &around}) {
      const auto bytes = ReadRun(run->clusters, size);
      if (bytes && CheckWholeFile(type->type, *bytes) == WholeFileCheck::kHolds) {
        if (run == &around) choice.run = std::move(around);
        choice.estimate = sound;
        return choice;
      }
    }
  }
  // Nothing confirms either: the run as it lay stays, with what is known against it. Read around the
  // others, a file that was whole and then partly overwritten would also lose its place after the
  // overwritten part.
  return choice;
}

Recoverability FatDataSource::PlainEstimate(const DetailsRow& row, const ClusterRun& run) {
  const std::uint64_t size = ReadU32(row.size);
  const std::optional<std::uint32_t> first = FirstCluster(row);
  const bool onVolume = clusterBytes_ != 0 && first && *first >= 2 && *first <= lastCluster_;
  const std::uint64_t needed = ClustersFor(size, clusterBytes_);
  if (!row.deleted) {
    // A live file is read along its chain; only what is read after a chain that ended early is
    // in doubt.
    if (size == 0 || !onVolume) return Recoverability::kNotDeleted;
    if (UnderOtherVolume(run.clusters)) return Recoverability::kMayBeMixed;
    if (run.method != ReadMethod::kChainThenContiguous || run.chained == 0)
      return Recoverability::kNotDeleted;
    const std::uint64_t from = std::uint64_t{run.clusters[run.chained - 1]} + 1;
    return RunIsShared(row, from, from + (run.clusters.size() - run.chained)) ? Recoverability::kMayBeMixed
                                                                              : Recoverability::kNotDeleted;
  }
  if (size == 0) return Recoverability::kIntact;  // nothing of it can be lost
  if (!onVolume) return Recoverability::kUnknown;
  const std::uint64_t end = std::uint64_t{*first} + needed;
  // Another volume's structures hold the first cluster now, or a later one.
  if (UnderOtherVolume(*first, std::uint64_t{*first} + 1)) return Recoverability::kOverwritten;
  if (UnderOtherVolume(*first, end)) return Recoverability::kPartlyOverwritten;
  Recoverability byFat = Recoverability::kUnknown;
  if (fat_.Usable()) {
    const std::optional<bool> firstFree = Free(*first);
    if (firstFree && !*firstFree) return Recoverability::kOverwritten;
    byFat = firstFree ? Recoverability::kIntact : Recoverability::kUnknown;
    for (std::uint64_t c = std::uint64_t{*first} + 1; c < end && byFat == Recoverability::kIntact; ++c) {
      // A run that leaves the volume cannot be read whole.
      if (c > lastCluster_) return Recoverability::kPartlyOverwritten;
      const std::optional<bool> free = Free(static_cast<std::uint32_t>(c));
      if (!free)
        byFat = Recoverability::kUnknown;
      else if (!*free)
        return Recoverability::kPartlyOverwritten;
    }
  }
  // Free clusters are not the file's when the directories say other data lies among them.
  const std::uint64_t reach = std::min<std::uint64_t>(end, std::uint64_t{lastCluster_} + 1);
  if (RunIsShared(row, *first, reach)) return Recoverability::kMayBeMixed;
  return byFat;
}

bool CorrectFat12Type(ScanContext& ctx) {
  ActiveVolumeGeometry& g = ctx.activeGeometry;
  if (g.type != FsType::kFat16) return false;
  std::array<std::uint8_t, kSectorSize> sector{};
  if (ctx.Read(ctx.searchStart, 1, sector) == 0) return false;
  const FatBootSector boot = DecodeFatBootSector(sector);
  if (!boot.Plausible() || boot.TypeByClusterCount() != FsType::kFat12) return false;
  // The boot sector must describe the volume the search found, not one that merely sits there.
  if (ctx.searchStart + boot.reservedSectors != g.FirstFatSector || boot.FatSectors() != g.FatSectors)
    return false;
  g.type = FsType::kFat12;
  return true;
}

}  // namespace quarrow
