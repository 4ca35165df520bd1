#pragma once
// ScanContext: what a scan works on and leaves behind. The disk (a reader and a disk number), the
// search range, the partition type, the two geometry records, the results state and the stop
// token. One context lives for the whole run of a front end (the counter of generated names in
// the results state, for one, is never reset); a new scan clears the per-scan parts with
// ResetForScan.

#include <algorithm>
#include <cstdint>
#include <span>
#include <stop_token>

#include "core/bytes.h"
#include "core/code_page.h"
#include "core/feedback.h"
#include "core/volume.h"
#include "disk/sector_reader.h"
#include "results/results_state.h"
#include "scan/kept_sectors.h"

namespace quarrow {

// The geometry records keep 32-bit sector numbers, as the scan log stores them; a volume that
// reaches past this sector cannot be scanned.
inline constexpr std::uint64_t kLastAddressableSector = 0xFFFFFFFFull;

struct ScanContext {
  explicit ScanContext(Feedback& ui = NullFeedback()) : results(ui) {}
  ScanContext(const ScanContext&) = delete;
  ScanContext& operator=(const ScanContext&) = delete;

  // The disk: every sector of a scan is read through this reader from this disk number.
  SectorReader* reader = nullptr;
  int diskNumber = 0;

  FsType partitionType = FsType::kNone;  // the type chosen for the search
  std::uint64_t searchStart = 0;
  std::uint64_t searchEnd = 0;  // the end of the range: the scan reads the sectors below it

  VolumeGeometry geometry;              // VolumeGeometry
  ActiveVolumeGeometry activeGeometry;  // ActiveVolumeGeometry, with its type

  // How FAT 8.3 names are decoded: the OEM code page the volume was written with.
  CodePage codePage;

  ResultsState results;
  // The Advance sector scan also records the file starts it recognises by their content.
  bool carve = true;
  std::stop_token stop;

  // What the scan could not read: sectors that failed even one at a time, and sectors past the
  // end of the disk (a range or a table that claims more than the disk has).
  struct ReadTotals {
    std::uint64_t unreadable = 0;
    std::uint64_t pastEnd = 0;
  };
  mutable ReadTotals readTotals;

  // Reads sectors of the selected disk; zero-fills what cannot be read.
  int Read(std::uint64_t firstSector, std::uint32_t sectorCount, std::span<std::uint8_t> buffer,
           ReadReport* report = nullptr) const {
    ReadReport local;
    ReadReport& r = report ? *report : local;
    const int whole = ReadUncounted(firstSector, sectorCount, buffer, r);
    CountRead(r);
    return whole;
  }
  // Read without adding to readTotals, for a read made on another thread: the thread that takes
  // its bytes counts it with CountRead, so the totals are only ever changed by one thread.
  int ReadUncounted(std::uint64_t firstSector, std::uint32_t sectorCount, std::span<std::uint8_t> buffer,
                    ReadReport& report) const {
    if (!reader) {
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      report.failedSectors = sectorCount;
      return 0;
    }
    return reader->ReadSectors(diskNumber, firstSector, sectorCount, buffer, &report);
  }
  // Adds a read's failed sectors to readTotals; nothing without a disk, where nothing was read.
  void CountRead(const ReadReport& report) const {
    if (!reader) return;
    readTotals.unreadable += report.failedSectors - report.pastEndSectors;
    readTotals.pastEnd += report.pastEndSectors;
  }
  // A stop was asked for, or the disk stopped answering: either way the reading stages end
  // where they are and what was found is used.
  // Sectors a pass of this scan kept for its later stages (see kept_sectors.h).
  void KeepSectors(std::uint64_t first, ByteSpan bytes) { kept_.Keep(KeptSource(), first, bytes); }
  // Copies a kept sector of this disk into out (512 bytes); false when it was not kept.
  bool CopyKeptSector(std::uint64_t sector, std::span<std::uint8_t> out) const {
    return kept_.CopyTo(KeptSource(), sector, out);
  }
  bool SectorKept(std::uint64_t sector) const { return !kept_.Find(KeptSource(), sector).empty(); }
  // KeptSectors::ForRun over this disk's kept sectors.
  template <typename Visit>
  std::size_t ForKeptRun(std::uint64_t sector, std::size_t maxSectors, Visit&& visit) const {
    return kept_.ForRun(KeptSource(), sector, maxSectors, std::forward<Visit>(visit));
  }
  // Folders listed and named after the search take the sectors it kept too: set by a caller that
  // lists right after its search, with nothing written to the disk between (the command line).
  // Left unset, a folder opened later reads the disk as it is then.
  bool listFromKept = false;

  bool StopRequested() const { return stop.stop_requested() || DiskGone(); }
  bool DiskGone() const { return reader != nullptr && reader->DeviceGone(diskNumber); }
  Feedback& Ui() const { return results.Ui(); }
  void SetFeedback(Feedback& ui) { results.SetFeedback(ui); }

  // Empties what one scan built, keeping the disk, the range and the run-wide counters.
  void ResetForScan() {
    readTotals = {};
    kept_.Clear();
    results.ResetForScan(diskNumber);
    results.volumeType = partitionType;
  }

 private:
  KeptSectors::Source KeptSource() const { return {reader, diskNumber}; }
  KeptSectors kept_;
};

}  // namespace quarrow
