#pragma once
// The search for partitions that the partition table no longer lists. It visits the first
// sectors of every cylinder of the disk and every 1 MiB boundary, recognises FAT16, FAT32 and NTFS
// boot sectors (or, where one is gone, its backup copy), and appends each new find to the disk's
// PartitionList and the partition tree exactly like a partition of the table.
//
// How a front end uses it:
//   LostPartitionSearch search(disk, state.ForDisk(n), partitionTree, ui, mode, hooks);
//   search.InstallAutomaticStart(reader.Trigger());  // a failed read on the disk page starts it
//   search.SearchMorePartitions();                  // command 1062: runs on a worker thread
//   search.Stop();                                  // command 1110: asks, Yes ends the search
// While Running() the worker owns the list and the tree; read them after it has ended (Wait), or
// through what the Feedback is told as items appear. RunOnThisThread does the same search on
// the calling thread, for the command line and the tests. The search reports its progress and
// ends with a LostPartitionOutcome; the page decides its buttons and guidance from that.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "core/bytes.h"
#include "core/feedback.h"
#include "core/volume.h"
#include "disk/disk_inventory.h"
#include "disk/sector_reader.h"
#include "partition/partition_details.h"
#include "partition/partition_table.h"
#include "results/tree_model.h"

namespace quarrow {

// Controls of the partition page: the search reports on its progress bar and start edit; the page
// shows, hides and enables the rest.
namespace lost_partition_control {
inline constexpr int kProgress = 1070;      // the search's progress bar
inline constexpr int kProgressText = 1072;  // "Searching Partition..."
inline constexpr int kPartitionTypeCombo = 1037;
inline constexpr int kStartSectorEdit = 1069;
inline constexpr int kEndSectorEdit = 1071;
// The partition-type combo's entry that names no type.
inline constexpr int kNoTypeEntry = 3;
}  // namespace lost_partition_control

inline constexpr std::string_view kStopSearchQuestion = "Do you want to stop searching partition?";
inline constexpr std::string_view kAdvanceMarker = "aa";

// 1 MiB in sectors: partitions made by current tools start on a multiple of it, which no
// cylinder candidate reaches.
inline constexpr std::uint64_t kAlignmentSectors = 2048;

// The geometry the search walks: sectors per track is always 63 after the translation.
struct SearchGeometry {
  std::uint64_t cylinders = 0;
  std::uint64_t heads = 0;
  std::uint64_t sectorsPerTrack = 0;

  std::uint64_t CylinderSectors() const { return heads * sectorsPerTrack; }
  bool operator==(const SearchGeometry&) const = default;
};

// A disk's geometry as the search uses it. One whose sectors per track is not 63 (or that has no
// heads) is translated to 255 heads and 63 sectors per track over the same number of sectors,
// computed in 64 bits. With totalSectors known, cylinders that would start past the end of the
// disk are dropped.
SearchGeometry SearchGeometryFor(std::uint64_t cylinders, std::uint64_t heads, std::uint64_t sectorsPerTrack,
                                 std::uint64_t totalSectors = 0);
// The same from the selected disk's texts (cylinders, heads, sectors per track, parsed as decimal).
SearchGeometry SearchGeometryFor(const SelectedDiskValues& disk);

// The two candidate sectors of cylinder c, in the order they are visited: head 1 sector 1, then
// head 0 sector 1.
std::array<std::uint64_t, 2> CylinderCandidates(const SearchGeometry& geometry, std::uint64_t cylinder);

// A partition named by a boot sector: its first sector and the end sector (first + the size the
// boot sector gives).
struct BootSectorFind {
  FsType type = FsType::kNone;
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;
  bool operator==(const BootSectorFind&) const = default;
};

// A boot sector at sectorNumber: signed 0x55 0xAA, then "32" at 85-86 (FAT32), "16" at 57-58
// (FAT16) or "NTFS" at 3-6, tested in that order. The size is the FAT total (the 16-bit total at
// 19, or the 32-bit one at 32 when that is 0: a volume under 32 MB, FAT32 too, keeps it in the
// 16-bit field), or for NTFS the low 32 bits of the 64-bit total at 40. A size of 0 names no
// volume.
std::optional<BootSectorFind> RecognizePartitionBootSector(ByteSpan sector, std::uint64_t sectorNumber);
// A FAT32 backup boot sector at sectorNumber, naming the partition 6 sectors before it: its own
// backup field says 6, and its hidden-sectors field, when set, names that start.
std::optional<BootSectorFind> RecognizeFat32BackupBootSector(ByteSpan sector, std::uint64_t sectorNumber);
// An exFAT backup boot sector of a volume of 512-byte sectors, naming the partition 12 sectors
// before it; its partition-offset field, when set, must name that start.
std::optional<BootSectorFind> RecognizeExfatBackupBootSector(ByteSpan sector, std::uint64_t sectorNumber);
// An NTFS backup boot sector in a volume's last sector, naming the partition that starts its
// total-sectors field before it; its hidden-sectors field, when set, must name that start.
std::optional<BootSectorFind> RecognizeNtfsBackupBootSector(ByteSpan sector, std::uint64_t sectorNumber);

// The disk being searched.
struct LostPartitionDisk {
  SectorReader* reader = nullptr;
  int diskNumber = 0;
  std::uint64_t totalSectors = 0;  // 0: unknown (reads are then not kept inside the disk)
  SearchGeometry geometry;
  DiskTexts texts;  // what "Unknown Partition" shows for the whole disk
};
// The selected disk as the search sees it.
LostPartitionDisk LostPartitionDiskFor(SectorReader& reader, int diskNumber, const SelectedDiskValues& disk);

// What the page does that Feedback has no call for.
struct LostPartitionHooks {
  std::function<void(int comboIndex)> selectPartitionType;   // combo 1037
  std::function<void(const PartitionDetails&)> showDetails;  // the partition details display
};

struct LostPartitionOutcome {
  bool ran = false;       // false for the legacy family, whose variant searches nothing
  bool stopped = false;   // STOP was answered Yes: the search ended where it was
  bool listFull = false;  // the scan ended at the 26-partition limit
  int added = 0;
  bool gptFound = false;  // a GPT was read (one a zeroed MBR no longer points to, for one)
  bool gptFromBackup = false;
  bool unknownPartition = false;            // nothing listed: "Unknown Partition" stands for the disk
  std::optional<PartitionDetails> details;  // what the end of the search showed
};

class LostPartitionSearch {
 public:
  // list, tree and ui must outlive the search; the search owns neither.
  LostPartitionSearch(LostPartitionDisk disk, PartitionList& list, mytreectrl& tree, Feedback& ui,
                      SearchMode mode, LostPartitionHooks hooks = {});
  ~LostPartitionSearch();  // ends a running search without its endings and waits for it
  LostPartitionSearch(const LostPartitionSearch&) = delete;
  LostPartitionSearch& operator=(const LostPartitionSearch&) = delete;

  // Command 1062. On the legacy family nothing is searched: the page only shows the end state.
  void SearchMorePartitions();
  // The automatic start, for the reader's LostPartitionTrigger (which fires it at most once per
  // visit of the disk page); also what Next on the disk page calls when nothing was listed.
  void AutomaticStart();
  void InstallAutomaticStart(LostPartitionTrigger& trigger);
  // Command 1110: asks "Do you want to stop searching partition?". Yes ends the search at its
  // next cylinder (true); No lets it go on (false). Nothing happens when no search runs.
  bool Stop();
  // Ends a running search at its next cylinder as a Yes to that question does, without asking:
  // for a front end where the user's stop already is the answer (Ctrl-C). Any thread may call it.
  void RequestStop();

  bool Running() const { return running_.load(); }
  void Wait();
  // "aa" once the automatic start ran in an Advance search, "" otherwise.
  std::string Marker() const;
  LostPartitionOutcome Outcome() const;

  // The search worker's whole run on the calling thread.
  LostPartitionOutcome RunOnThisThread();

 private:
  void StartWorker();
  LostPartitionOutcome Run(std::stop_token stop);
  void Scan(std::stop_token stop, LostPartitionOutcome& outcome);
  void RemovePlaceholder();
  void EndOfSearch(LostPartitionOutcome& outcome);

  LostPartitionDisk disk_;
  PartitionList& list_;
  mytreectrl& tree_;
  Feedback& ui_;
  SearchMode mode_;
  LostPartitionHooks hooks_;
  LostPartitionTrigger* trigger_ = nullptr;

  mutable std::mutex mutex_;
  std::jthread worker_;
  std::stop_source stopSource_;
  std::atomic<bool> running_{false};
  std::atomic<bool> userStopped_{false};
  std::atomic<bool> removePlaceholder_{false};
  std::atomic<bool> abandoned_{false};
  std::string marker_;
  LostPartitionOutcome outcome_;
};

}  // namespace quarrow
