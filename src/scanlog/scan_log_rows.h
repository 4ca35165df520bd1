#pragma once
// Between the records of a scan log and the rows of the folder and file tables, so that saving
// and loading a log is one loop over FolderNodeList, EntryTable and PendingEntryTable.

#include "results/folder_nodes.h"
#include "results/scan_tables.h"
#include "scanlog/scan_log_format.h"

namespace quarrow {

// The record a folder of the results tree is saved as; its deleted mark becomes 1 or 0.
ScanLogFolderRecord FolderRecordFromNode(const FolderNode& node);

// The record a PendingEntryTable row is saved as. Numbers keep their full unsigned 32-bit value
// (a size of "3000000000" stays 3000000000); an empty "Deleted" cell is 0.
ScanLogFileRecord FileRecordFromRow(const TextTable& pendingEntryTable, int row);

// Inserts the EntryTable row of a loaded folder at index and returns its index: "self" and
// "parent" unsigned, "date" and "time" signed 64-bit, "size" "0", "Type" "FOLDER". "sector",
// "attr", "sysID" and "Deleted" stay empty: a loaded folder is not shown deleted.
int InsertFolderRow(TextTable& entryTable, int index, const ScanLogFolderRecord& folder);

// Inserts the PendingEntryTable row of a loaded file at index and returns its index: numbers
// unsigned, "date" signed 64-bit, "Type" "FILE", "Deleted" the stored value ("1" or "0").
int InsertFileRow(TextTable& pendingEntryTable, int index, const ScanLogFileRecord& file);

}  // namespace quarrow
