#pragma once
// After the record scan of an NTFS Advance search: every file record gets an MFT number (folders
// matched against their parents' index records, the rest counted in disk order), DirectoryTable
// becomes the list of NTFS folders, and NTFS volumes are identified, from boot sectors or from the
// geometry two folders imply, each checked by probing its folders' index records on disk. The
// second stage then rebuilds the chosen volume's folder tree and file rows.

#include <cstdint>
#include <memory>

namespace quarrow {

struct ScanContext;

// What one run of the numbering keeps between its steps: the counters, and the folder and
// index-record rows as numbers (the tables stay the record of what was decided; these mirror
// them so that the matching and the probes need no text parsing).
class MftNumbering {
 public:
  explicit MftNumbering(ScanContext& ctx);
  ~MftNumbering();
  MftNumbering(const MftNumbering&) = delete;
  MftNumbering& operator=(const MftNumbering&) = delete;

  // The ten steps over MftEntryTable, MftRecordTable and FileSystemTable. Returns the number of
  // validated volumes (rows of IdentifiedFileSystemTable, the fallback row not counted).
  int Run();

  // Claims for volume number identified + 1 every DirectoryTable folder whose record lies in
  // (start, end], that belongs to no volume yet and whose index allocation begins with "INDX" at
  // start + spc x first run; each claim deletes the index record found at that sector. True when
  // at least one folder was claimed. DirectoryTable must hold the folder list (Run's step 5).
  bool ClaimVolumeFolders(std::uint32_t start, std::uint32_t spc, std::uint32_t end);

  int AssignedCount() const { return assigned_; }
  int Identified() const { return identified_; }

  // Loads DirectoryTable and MftRecordTable as they stand (for ClaimVolumeFolders alone).
  void LoadTables();
  // Writes the index-record deletions back to MftRecordTable.
  void StoreTables();

 private:
  struct State;
  ScanContext& ctx_;
  std::unique_ptr<State> state_;
  int assigned_ = 0;
  int identified_ = 0;
};

// The numbering's step 9: every DirectoryTable folder whose "File System" is still
// "4294967295" takes the number of the nearest folder above it that has one (1 at the top; a
// "0" passes on as 0), each counted in assignedCount.
void InheritVolumeNumbers(ScanContext& ctx, int& assignedCount);

// AssignMftNumbers: MftNumbering(ctx).Run().
int AssignMftNumbers(ScanContext& ctx);

// The NTFS second stage for file system n (1-based row of IdentifiedFileSystemTable): the folders
// of DirectoryTable, each MFT number once, that belong to volume n become EntryTable rows ahead
// of the rows already there, ActiveVolumeGeometry takes the volume's start and cluster size, the
// lost folders are linked, the results tree is built, and every file row of MftEntryTable becomes
// a PendingEntryTable row. A folder whose record is not in use is marked deleted. Extension
// records are not listed; each further name of a file becomes a row of its own with the size,
// deletion and sector of the file's record (found by sector, or by number for a name held in an
// extension record); a name found only in an index is listed, deleted and with sector "0", when no
// record lists that name in that folder.
void SetUpNtfsSecondStage(ScanContext& ctx, int fileSystem);

}  // namespace quarrow
