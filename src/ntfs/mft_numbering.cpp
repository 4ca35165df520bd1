#include "ntfs/mft_numbering.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fat/directory_passes.h"
#include "ntfs/index_record.h"
#include "ntfs/listed_names.h"
#include "ntfs/mft_scan.h"
#include "results/folder_tree.h"
#include "results/identified_rows.h"
#include "results/scan_tables.h"
#include "results/table_numbers.h"
#include "scan/scan_context.h"

namespace quarrow {

namespace {

namespace mft_col = mft_entry_col;
namespace dir_col {
constexpr int kSector = 0, kSelf = 1, kParent = 2, kFileSystem = 3, kDate = 4, kName = 5, kFirstRun = 6;
}
namespace fs_col = ntfs_fs_col;
constexpr std::uint32_t kUnassigned = 0xFFFFFFFF;
constexpr std::string_view kUnassignedText = "4294967295";

std::uint32_t CellU32(const TextTable& table, int row, int column) {
  return table.U32(row, column);
}

// What an MftEntryTable row stands for, by its type cell.
enum MftRowKind : std::uint8_t { kFolderRow, kFileRow, kNameRow, kIndexNameRow, kExtensionRow, kOtherRow };

// Each row's kind, read once for the passes over the table (they set numbers, never a type).
std::vector<std::uint8_t> MftRowKinds(const TextTable& mft) {
  std::vector<std::uint8_t> kinds(static_cast<std::size_t>(mft.RowCount()));
  for (int row = 0; row < mft.RowCount(); ++row) {
    const int which =
        mft.WhichText(row, mft_col::kType,
                      {kMftFolderType, kMftFileType, kMftNameType, kMftIndexNameType, kMftExtensionType});
    kinds[static_cast<std::size_t>(row)] = static_cast<std::uint8_t>(which < 0 ? int{kOtherRow} : which);
  }
  return kinds;
}

}  // namespace

// One DirectoryTable folder and one MftRecordTable row, as numbers.
struct MftNumbering::State {
  struct Folder {
    std::uint32_t sector = 0, self = 0, firstRun = 0;
    std::uint64_t fileSystem = 0;  // column 3 read as a 64-bit number
  };
  struct IndexRow {
    std::uint32_t sector = 0, owner = 0;
    bool vcnZero = false, unassigned = false, deleted = false;
  };
  std::vector<Folder> folders;
  std::vector<IndexRow> indexRows;
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> byOwner;  // index rows, in table order
  std::unordered_map<std::uint64_t, bool> probes;                       // sector -> begins with "INDX"

  // The sector of the first index record that still belongs to no volume and is owned by self.
  std::optional<std::uint32_t> FirstIndexSector(std::uint32_t self) const {
    auto it = byOwner.find(self);
    if (it == byOwner.end()) return std::nullopt;
    for (std::size_t i : it->second) {
      const IndexRow& row = indexRows[i];
      if (!row.deleted && row.vcnZero && row.unassigned) return row.sector;
    }
    return std::nullopt;
  }
};

MftNumbering::MftNumbering(ScanContext& ctx) : ctx_(ctx), state_(std::make_unique<State>()) {}
MftNumbering::~MftNumbering() = default;

void MftNumbering::LoadTables() {
  const ScanTables& tables = ctx_.results.tables;
  State& s = *state_;
  s.folders.clear();
  for (int row = 0; row < tables.DirectoryTable.RowCount(); ++row) {
    State::Folder f;
    f.sector = CellU32(tables.DirectoryTable, row, dir_col::kSector);
    f.self = CellU32(tables.DirectoryTable, row, dir_col::kSelf);
    f.firstRun = CellU32(tables.DirectoryTable, row, dir_col::kFirstRun);
    f.fileSystem = static_cast<std::uint64_t>(ReadI64(tables.DirectoryTable.Cell(row, dir_col::kFileSystem)));
    s.folders.push_back(f);
  }
  s.indexRows.clear();
  s.byOwner.clear();
  const TextTable& records = tables.MftRecordTable;
  for (int row = 0; row < records.RowCount(); ++row) {
    State::IndexRow r;
    r.sector = CellU32(records, row, 0);
    r.owner = CellU32(records, row, 1);
    r.vcnZero = CellU32(records, row, 2) == 0;
    r.unassigned = records.Cell(row, 3) == kUnassignedText;
    s.byOwner[r.owner].push_back(s.indexRows.size());
    s.indexRows.push_back(r);
  }
}

void MftNumbering::StoreTables() {
  State& s = *state_;
  std::vector<int> deleted;
  for (std::size_t i = 0; i < s.indexRows.size(); ++i) {
    if (s.indexRows[i].deleted) deleted.push_back(static_cast<int>(i));
  }
  ctx_.results.tables.MftRecordTable.DeleteRows(std::move(deleted));
  LoadTables();
}

bool MftNumbering::ClaimVolumeFolders(std::uint32_t start, std::uint32_t spc, std::uint32_t end) {
  Feedback& ui = ctx_.Ui();
  State& s = *state_;
  TextTable& directories = ctx_.results.tables.DirectoryTable;
  const int rows = directories.RowCount();
  bool claimed = false;
  for (std::size_t i = 0; i < s.folders.size(); ++i) {
    State::Folder& f = s.folders[i];
    if (!(start < f.sector && f.sector <= end) || f.fileSystem != 0 || f.firstRun == 0) continue;
    const std::uint64_t probe = std::uint64_t{start} + std::uint64_t{spc} * f.firstRun;
    auto known = s.probes.find(probe);
    if (known == s.probes.end()) {
      std::array<std::uint8_t, kSectorSize> sector{};
      ctx_.Read(probe, 1, sector);
      known = s.probes.emplace(probe, BytesEqual(sector, 0, "INDX")).first;
    }
    if (!known->second) continue;
    ++assigned_;
    ui.SetText(control::kStatus, "Assigned " + std::to_string(assigned_) + " / " + std::to_string(rows));
    ui.SetProgress(control::kProgress,
                   ProgressPercent(static_cast<std::uint64_t>(assigned_), static_cast<std::uint64_t>(rows)),
                   "Completed ");
    f.fileSystem = static_cast<std::uint64_t>(identified_) + 1;
    directories.SetCell(static_cast<int>(i), dir_col::kFileSystem,
                        U32Text(static_cast<std::uint32_t>(f.fileSystem)));
    // The index record the probe found is the folder's own: it takes no part in later pairings.
    for (State::IndexRow& row : s.indexRows) {
      if (row.deleted) continue;
      if (row.sector > end) break;
      if (row.sector == probe) {
        row.deleted = true;
        break;
      }
    }
    claimed = true;
  }
  return claimed;
}

int MftNumbering::Run() {
  Feedback& ui = ctx_.Ui();
  ScanTables& tables = ctx_.results.tables;
  TextTable& mft = tables.MftEntryTable;
  TextTable& directories = tables.DirectoryTable;
  State& s = *state_;
  assigned_ = 0;
  directories.DeleteAllRows();
  const std::vector<std::uint8_t> kinds = MftRowKinds(mft);
  const auto kindOf = [&kinds](int row) { return kinds[static_cast<std::size_t>(row)]; };

  // Step 2: folders without a number, to be matched against their parents' index entries.
  using CandidateKey = std::tuple<std::int64_t, std::string, std::uint32_t>;
  std::map<CandidateKey, std::deque<int>> candidates;  // in DirectoryTable order: first match wins
  for (int row = 0; row < mft.RowCount(); ++row) {
    if (kindOf(row) != kFolderRow || CellU32(mft, row, mft_col::kSelf) != 0) continue;
    const int d = directories.AppendRow(mft.Cell(row, mft_col::kName));
    directories.SetCell(d, dir_col::kDate, mft.Cell(row, mft_col::kDate));
    directories.SetCell(d, dir_col::kParent, mft.Cell(row, mft_col::kParent));
    directories.SetCell(d, dir_col::kSelf, U32Text(static_cast<std::uint32_t>(row)));
    candidates[{ReadI64(mft.Cell(row, mft_col::kDate)), mft.Cell(row, mft_col::kName),
                CellU32(mft, row, mft_col::kParent)}]
        .push_back(d);
  }

  // Step 3, phase 1: a folder entry of an index record names the folder's MFT number.
  ui.SetText(control::kStatus, " Assigning MFT Numbers Phase 1 \\ 2   ...");
  ui.SetProgress(control::kProgress, 0, "0  % Completed ");
  const int indexCount = tables.MftRecordTable.RowCount();
  std::vector<int> matched;
  for (int j = 0; j < indexCount; ++j) {
    ui.SetText(control::kStatus, " Assigning MFT Numbers Phase 1 \\ 2 ( " + std::to_string(j) + "/" +
                                     std::to_string(indexCount) + " ) .....");
    if (candidates.empty()) break;
    const std::uint32_t sector = CellU32(tables.MftRecordTable, j, 0);
    std::array<std::uint8_t, kSectorSize> first{};
    ctx_.Read(sector, 1, first);
    const auto header = DecodeIndexRecordHeader(first);
    if (!header) continue;
    std::vector<std::uint8_t> record(header->SectorCount() * kSectorSize);
    ctx_.Read(sector, static_cast<std::uint32_t>(header->SectorCount()), record);
    for (const IndexEntry& entry : DecodeIndexEntries(record)) {
      if (!entry.isFolder) continue;
      auto it = candidates.find({entry.creationTime, entry.name, entry.parent});
      if (it == candidates.end()) continue;
      const int d = it->second.front();
      mft.SetCell(static_cast<int>(CellU32(directories, d, dir_col::kSelf)), mft_col::kSelf,
                  U32Text(entry.recordNumber));
      matched.push_back(d);
      it->second.pop_front();
      if (it->second.empty()) candidates.erase(it);
    }
    ui.SetProgress(control::kProgress,
                   ProgressPercent(static_cast<std::uint64_t>(j), static_cast<std::uint64_t>(indexCount)),
                   "Completed ");
  }
  directories.DeleteRows(std::move(matched));

  // Step 4, phase 2: the rest number themselves upward from the nearest numbered row above.
  ui.SetText(control::kStatus, " Assigning MFT Numbers Phase 2 \\ 2   ...");
  ui.SetProgress(control::kProgress, 0, "0  % Completed ");
  const int mftRows = mft.RowCount();
  std::uint32_t last = 1;
  ProgressSteps numbering(ui, control::kProgress, 0);
  for (int row = 0; row < mftRows; ++row) {
    const std::uint32_t self = CellU32(mft, row, mft_col::kSelf);
    if (kindOf(row) == kNameRow || kindOf(row) == kIndexNameRow) {
      // A further name held in its file's own record is that record's, the row above.
      if (self == 0 && kindOf(row) == kNameRow) mft.SetCell(row, mft_col::kSelf, last);
      continue;
    }
    if (self == 0) {
      ++last;
      mft.SetCell(row, mft_col::kSelf, last);
    } else {
      last = self;
    }
    numbering.Show(static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(mftRows));
  }

  // Step 5: the folder list.
  ui.SetText(control::kStatus, " Extracting Directory Entries .........");
  ui.SetProgress(control::kProgress, 0, "0  % Completed ");
  directories.DeleteAllRows();
  // The bar and the status move together, when the percent changes: for every row they cost more
  // than the rows.
  ProgressSteps extracting(ui, control::kProgress, 0);
  for (int row = 0; row < mftRows; ++row) {
    if (extracting.Show(static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(mftRows))) {
      ui.SetText(control::kStatus, " Extracting Directory Entries ........." + std::to_string(row) + " / " +
                                       std::to_string(mftRows));
    }
    if (kindOf(row) != kFolderRow) continue;
    const int d = directories.AppendRow(mft.Cell(row, mft_col::kSector));
    directories.SetCell(d, dir_col::kSelf, mft.Cell(row, mft_col::kSelf));
    directories.SetCell(d, dir_col::kParent, mft.Cell(row, mft_col::kParent));
    directories.SetCell(d, dir_col::kFileSystem, "0");
    directories.SetCell(d, dir_col::kDate, mft.Cell(row, mft_col::kDate));
    directories.SetCell(d, dir_col::kName, mft.Cell(row, mft_col::kName));
    directories.SetCell(d, dir_col::kFirstRun, mft.Cell(row, mft_col::kFirstRun));
  }

  // Step 6: only the first index record of each folder stays.
  {
    TextTable& records = tables.MftRecordTable;
    std::vector<int> later;
    for (int row = 0; row < records.RowCount(); ++row) {
      if (CellU32(records, row, 2) != 0) later.push_back(row);
    }
    records.DeleteRows(std::move(later));
    ui.SetProgress(control::kProgress, 0, "Completed ");
  }
  LoadTables();

  // Step 7: volumes from boot sectors.
  ui.SetText(control::kStatus, "Analyzing File Systems List");
  identified_ = 0;
  TextTable& identified = tables.IdentifiedFileSystemTable;
  identified.DeleteAllRows();
  auto appendVolume = [&](std::uint32_t start, std::uint32_t end, std::uint32_t spc, bool fromBoot) {
    const int row = identified.AppendRow(U32Text(start));
    identified.SetCell(row, fs_col::kFoundByBoot, fromBoot ? "1" : "0");
    identified.SetCell(row, fs_col::kStart, U32Text(start));
    identified.SetCell(row, fs_col::kEnd, U32Text(end));
    identified.SetCell(row, fs_col::kSpc, U32Text(spc));
    identified.SetCell(row, fs_col::kPartType, "NTFS");
  };
  const TextTable& boots = tables.FileSystemTable;
  for (int row = 0; row < boots.RowCount(); ++row) {
    const std::uint32_t start = CellU32(boots, row, ntfs_boot_col::kSector);
    const std::uint32_t spc = CellU32(boots, row, ntfs_boot_col::kSpc);
    const auto end = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{start} + CellU32(boots, row, ntfs_boot_col::kTotal), 0xFFFFFFFFull));
    if (ClaimVolumeFolders(start, spc, end)) {
      ++identified_;
      appendVolume(start, end, spc, true);
    }
  }

  // Step 8: volumes from pairs of folders whose index records imply the same geometry.
  const auto searchEnd = static_cast<std::uint32_t>(std::min(ctx_.searchEnd, kLastAddressableSector));
  std::set<std::pair<std::uint32_t, std::uint32_t>> refused;  // (start, spc) that claimed nothing
  for (std::size_t i = 0; i < s.folders.size(); ++i) {
    if (s.folders[i].fileSystem != 0) continue;
    const std::uint32_t fr1 = s.folders[i].firstRun;
    const std::optional<std::uint32_t> s1 = fr1 == 0 ? std::nullopt : s.FirstIndexSector(s.folders[i].self);
    if (!s1) {
      s.folders[i].fileSystem = kUnassigned;
      directories.SetCell(static_cast<int>(i), dir_col::kFileSystem, kUnassignedText);
      continue;
    }
    for (std::size_t k = i + 1; k < s.folders.size(); ++k) {
      const std::uint32_t fr2 = s.folders[k].firstRun;
      if (s.folders[k].fileSystem != 0 || fr2 == 0 || fr1 == fr2) continue;
      const std::optional<std::uint32_t> s2 = s.FirstIndexSector(s.folders[k].self);
      if (!s2 || *s2 == *s1) continue;
      // Unsigned 32-bit arithmetic, as the sectors and clusters are kept.
      const std::uint32_t spc = fr1 > fr2 ? (*s1 - *s2) / (fr1 - fr2) : (*s2 - *s1) / (fr2 - fr1);
      const std::uint32_t start = *s1 - fr1 * spc;
      if (!IsValidSectorsPerCluster(spc) || static_cast<std::int32_t>(start) < 0) continue;
      if (refused.contains({start, spc})) continue;
      if (ClaimVolumeFolders(start, spc, searchEnd)) {
        ++identified_;
        appendVolume(start, searchEnd, spc, false);
        break;
      }
      refused.insert({start, spc});
    }
  }

  // Step 9: unassigned folders inherit the number of the folder above them.
  StoreTables();
  InheritVolumeNumbers(ctx_, assigned_);

  // Step 10: the outcome.
  ui.ShowControl(control::kProgress, false);
  if (identified_ == 0 && mft.RowCount() != 0) {
    // Records but no volume: the whole search range, with the most common cluster size.
    const int row = identified.AppendRow(I32Text(static_cast<std::int32_t>(ctx_.searchStart)));
    identified.SetCell(row, fs_col::kStart, I32Text(static_cast<std::int32_t>(ctx_.searchStart)));
    identified.SetCell(row, fs_col::kEnd, I32Text(static_cast<std::int32_t>(ctx_.searchEnd)));
    identified.SetCell(row, fs_col::kSpc, "8");
    identified.SetCell(row, fs_col::kFoundByBoot, "0");
    identified.SetCell(row, fs_col::kPartType, "NTFS");
  }
  return identified_;
}

void InheritVolumeNumbers(ScanContext& ctx, int& assignedCount) {
  Feedback& ui = ctx.Ui();
  TextTable& directories = ctx.results.tables.DirectoryTable;
  const int rows = directories.RowCount();
  std::int64_t last = 1;
  for (int row = 0; row < rows; ++row) {
    const std::int64_t value = ReadI64(directories.Cell(row, dir_col::kFileSystem));
    if (value != kUnassigned) {
      last = value;
      continue;
    }
    directories.SetCell(row, dir_col::kFileSystem, I64Text(last));
    ++assignedCount;
    ui.SetText(control::kStatus, "Assigned " + std::to_string(assignedCount) + " / " + std::to_string(rows));
    ui.SetProgress(
        control::kProgress,
        ProgressPercent(static_cast<std::uint64_t>(assignedCount), static_cast<std::uint64_t>(rows)),
        "Completed ");
  }
}

int AssignMftNumbers(ScanContext& ctx) {
  return MftNumbering(ctx).Run();
}

void SetUpNtfsSecondStage(ScanContext& ctx, int fileSystem) {
  using namespace entry_col;
  Feedback& ui = ctx.Ui();
  ScanTables& tables = ctx.results.tables;
  TextTable& directories = tables.DirectoryTable;

  // Each MFT number once, at its first row.
  {
    TextTable& spare = tables.SpareDirectoryTable;
    spare.DeleteAllRows();
    std::unordered_set<std::string> seen;
    for (int row = 0; row < directories.RowCount(); ++row) {
      if (!seen.insert(directories.Cell(row, dir_col::kSelf)).second) continue;
      const int r = spare.AppendRow(directories.Cell(row, dir_col::kSelf));
      spare.SetCell(r, 1, directories.Cell(row, dir_col::kSector));
      for (int column = 2; column <= 6; ++column) spare.SetCell(r, column, directories.Cell(row, column));
    }
    directories.DeleteAllRows();
    for (int row = 0; row < spare.RowCount(); ++row) {
      const int r = directories.AppendRow(spare.Cell(row, 1));
      directories.SetCell(r, dir_col::kSelf, spare.Cell(row, 0));
      for (int column = 2; column <= 6; ++column) directories.SetCell(r, column, spare.Cell(row, column));
    }
    spare.DeleteAllRows();
  }

  // The deleted mark of each folder record, by the record's sector.
  const TextTable& mft = tables.MftEntryTable;
  // Each row's kind, for this and the passes below: nothing here changes the record table.
  const std::vector<std::uint8_t> kinds = MftRowKinds(mft);
  const auto kindOf = [&kinds](int row) { return kinds[static_cast<std::size_t>(row)]; };
  std::unordered_set<std::string> deletedFolderSectors;
  for (int row = 0; row < mft.RowCount(); ++row) {
    if (kindOf(row) == kFolderRow && mft.Cell(row, mft_col::kDeleted) == "1")
      deletedFolderSectors.insert(mft.Cell(row, mft_col::kSector));
  }

  TextTable& entries = tables.EntryTable;
  const int folderRows = directories.RowCount();
  int inserted = 0;
  ProgressSteps folderSteps(ui, control::kStageProgress, -1, "");
  for (int row = 0; row < folderRows; ++row) {
    folderSteps.Show(static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(folderRows));
    if (ReadI32Saturating(directories.Cell(row, dir_col::kFileSystem)) != fileSystem) continue;
    const int r = entries.InsertRow(inserted++, directories.Cell(row, dir_col::kName));
    entries.SetCell(r, kSelf, directories.Cell(row, dir_col::kSelf));
    entries.SetCell(r, kParent, directories.Cell(row, dir_col::kParent));
    entries.SetCell(r, kDate, directories.Cell(row, dir_col::kDate));
    entries.SetCell(r, kAttr, "16");
    entries.SetCell(r, kType, "FOLDER");
    if (deletedFolderSectors.contains(directories.Cell(row, dir_col::kSector)))
      entries.SetCell(r, kDeleted, "1");
  }

  const TextTable& identified = tables.IdentifiedFileSystemTable;
  const int chosen = fileSystem - 1;
  ctx.activeGeometry.Cluster0Sector = ReadU32(identified.Cell(chosen, fs_col::kStart));
  ctx.activeGeometry.type =
      FsTypeFromText(identified.Cell(chosen, fs_col::kPartType)).value_or(FsType::kNtfs);
  ctx.activeGeometry.SectorsPerCluster = ReadU32(identified.Cell(chosen, fs_col::kSpc));

  ui.SetText(control::kStatus, "Searching Lost Directories. Please Wait...");
  entries.Sort(kSelf);
  LinkLostDirectories(ctx, LinkForm::kNtfs);
  ui.SetText(control::kStatus, "Storing Directory Information. Please Wait...");
  ctx.results.volumeType = FsType::kNtfs;
  BuildFolderTree(ctx.results, control::kStageProgress);

  // The files' records by number, for the names held in extension records (which know their
  // file only by its record number), and every (parent, name) a record lists, so that a name
  // found in an index is listed only when no record lists it there.
  const int mftRows = mft.RowCount();
  // Sorted (key, row) pairs rather than hash maps and sets of names: a card's files cost a few
  // bytes each here, not a node and a copy of the name.
  using KeyedRow = std::pair<std::uint64_t, int>;
  std::vector<KeyedRow> fileRowOf, fileRowAt;  // by record number, by the record's sector
  ListedSoFar listed(mft, mft_col::kName, mft_col::kParent);
  // Each is needed only when rows of the kind that look them up are there: further names of a
  // record, and names found in indexes.
  bool names = false, indexed = false;
  std::size_t fileRows = 0;
  for (const std::uint8_t kind : kinds) {
    names = names || kind == kNameRow;
    indexed = indexed || kind == kIndexNameRow;
    fileRows += kind == kFileRow || kind == kNameRow;
  }
  if (names) {
    fileRowOf.reserve(fileRows);
    fileRowAt.reserve(fileRows);
  }
  for (int row = 0; row < mftRows && (names || indexed); ++row) {
    const bool file = kindOf(row) == kFileRow;
    if (file && names) {
      fileRowOf.emplace_back(CellU32(mft, row, mft_col::kSelf), row);
      fileRowAt.emplace_back(static_cast<std::uint64_t>(ReadI64(mft.Cell(row, mft_col::kSector))), row);
    }
    if ((file || kindOf(row) == kNameRow) && indexed)
      listed.Add(CellU32(mft, row, mft_col::kParent), mft.Cell(row, mft_col::kName), row);
  }
  // Stable: of rows with the same key, the first one is found.
  std::stable_sort(fileRowOf.begin(), fileRowOf.end(),
                   [](const KeyedRow& a, const KeyedRow& b) { return a.first < b.first; });
  std::stable_sort(fileRowAt.begin(), fileRowAt.end(),
                   [](const KeyedRow& a, const KeyedRow& b) { return a.first < b.first; });
  const auto rowBy = [](const std::vector<KeyedRow>& rows, std::uint64_t key) -> std::optional<int> {
    const auto it = std::lower_bound(rows.begin(), rows.end(), key,
                                     [](const KeyedRow& r, std::uint64_t k) { return r.first < k; });
    if (it == rows.end() || it->first != key) return std::nullopt;
    return it->second;
  };
  // A name a record lists in this folder, or one an index listed before: the index row asked
  // about answers for the same name found again.
  const auto alreadyListed = [&](int row) {
    const std::uint32_t parent = CellU32(mft, row, mft_col::kParent);
    const std::string name = mft.Cell(row, mft_col::kName);
    if (listed.Listed(parent, name)) return true;
    listed.Add(parent, name, row);
    return false;
  };

  TextTable& pending = tables.PendingEntryTable;
  pending.DeleteAllRows();
  // The counter and the bar when the percent changes: for every row they cost more than the row.
  ProgressSteps enumerating(ui, control::kStageProgress, -1, "");
  const auto showEnumerating = [&](int row) {
    ui.SetText(control::kEnumerating,
               "Currently Enumerating " + std::to_string(row) + " / " + std::to_string(mftRows));
  };
  std::array<std::string, 10> cells, fromCells;  // an MftEntryTable row, and the row of its record
  std::array<RowCell, 10> held;                  // a file row's cells as the table holds them
  for (int row = 0; row < mftRows; ++row) {
    if (enumerating.Show(static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(mftRows)))
      showEnumerating(row);
    if (kindOf(row) == kFolderRow || kindOf(row) == kExtensionRow) continue;
    if (kindOf(row) == kFileRow) {
      // Most rows: the file's own record, copied over as it is held.
      mft.RowCells(row, held);
      // Columns: name, sector, self, parent, date, time, size, attr, sysID, type, deleted.
      pending.AppendRowCells({held[mft_col::kName], held[mft_col::kSector], held[mft_col::kSelf],
                              held[mft_col::kParent], held[mft_col::kDate], "", held[mft_col::kSize], "", "",
                              "FILE", held[mft_col::kDeleted]});
      continue;
    }
    if (kindOf(row) == kIndexNameRow && alreadyListed(row)) continue;
    mft.Cells(row, cells);
    // The row whose record's size, deletion and sector the file row takes.
    const std::array<std::string, 10>* from = &cells;
    if (kindOf(row) == kNameRow) {
      // A name held in the file's own record, or in an extension record of its base record.
      std::optional<int> own = rowBy(fileRowAt, static_cast<std::uint64_t>(ReadI64(cells[mft_col::kSector])));
      if (!own) own = rowBy(fileRowOf, ReadU32(cells[mft_col::kSelf]));
      if (own) {
        mft.Cells(*own, fromCells);
        from = &fromCells;
      }
    }
    // Columns: name, sector, self, parent, date, time, size, attr, sysID, type, deleted.
    pending.AppendRowCells({cells[mft_col::kName], (*from)[mft_col::kSector], cells[mft_col::kSelf],
                            cells[mft_col::kParent], cells[mft_col::kDate], "", (*from)[mft_col::kSize], "",
                            "", "FILE", (*from)[mft_col::kDeleted]});
  }
  if (mftRows > 0) showEnumerating(mftRows - 1);
}

}  // namespace quarrow
