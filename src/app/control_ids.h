#pragma once
// The one catalogue of control IDs. Every control of the wizard (dialog template 102), of its
// information dialogs and of the saving dialogs is named here by its role; the number is the
// control's ID in its template, which stays the control's stable name: a front end creates one
// widget per ID (the ID is the widget's object name, "c" + decimal), the page logic and the
// engines' feedback address controls by it, and the tests find widgets by it.
//
// The engines below app/ still name the few controls they report to through core/feedback.h
// (control::), partition/lost_partition_search.h and recovery/recovery_engine.h; those constants
// are the same numbers and are checked against this catalogue at compile time in
// app/control_ids.cpp, so the two cannot drift apart.

#include <string>

namespace quarrow::app {

namespace id {

// Trees. The template gives the disk, partition and results trees the one ID 100 because only one
// of them exists at a time; a front end keeps one view per tree, so each has its own number here.
inline constexpr int kDiskTree = 100;
inline constexpr int kPartitionTree = 9101;
inline constexpr int kFileSystemTree = 9102;  // the "File Systems" tree of an Advance search
inline constexpr int kResultsTree = 9103;

// Lists.
inline constexpr int kDetailsList = 1105;     // "Name"/"Value" rows, or the files of a folder
inline constexpr int kFileTypeList = 1107;    // "File Types", one check box per row
inline constexpr int kFilesRecovered = 1051;  // "Files Recovered"

// Toolbar buttons (tooltips as shown).
inline constexpr int kHelp = 1055;                  // "Help" (F1 too)
inline constexpr int kLoadLog = 1057;               // "Load Log"
inline constexpr int kSaveLog = 1106;               // "Save Log"
inline constexpr int kExit = 1056;                  // "Exit"
inline constexpr int kSave = 1054;                  // "Save"
inline constexpr int kNext = 1058;                  // "Next"
inline constexpr int kBack = 1059;                  // "Back"
inline constexpr int kSearchMorePartitions = 1062;  // "Search More Partitions"
inline constexpr int kStopPartitionSearch = 1110;   // "Stop Searching Partitions" (STOP)
inline constexpr int kStopSearch = 1092;            // "Stop Search"
inline constexpr int kRefreshList = 1135;           // "Refresh List"
inline constexpr int kAbout = 1114;                 // "About Us"
inline constexpr int kAboutText = 1115;             // the second About control, same command

// Disk page.
inline constexpr int kStandardSearchRadio = 1064;  // "Standard Search"
inline constexpr int kAdvanceSearchRadio = 1108;   // "Advance Search"
inline constexpr int kLogFolderEdit = 1000;        // "Path for Log File : "
inline constexpr int kEntireDiskRadio = 1095;      // "Entire Disk"
inline constexpr int kSectorRangeRadio = 1096;     // "Sector Range"
inline constexpr int kRangeFromEdit = 1104;        // display-only range edits of 1095/1096
inline constexpr int kRangeToEdit = 1100;
inline constexpr int kRangeStatic = 1103;
inline constexpr int kConnectionHelpLink = 1189;  // "For Help on connecting iPod for recovery, click here."

// Partition page.
inline constexpr int kSearchModeText = 1068;  // "Standard Search " or "Advance Search"
inline constexpr int kPartitionTypeCombo = 1037;
inline constexpr int kStartSectorEdit = 1069;
inline constexpr int kEndSectorEdit = 1071;
inline constexpr int kSearchEntireDisk = 1091;  // "Search Entire Disk"
// The Advance-search controls hidden while a lost-partition search runs: the labels and frame of
// the range and type controls (1109, 1067, 1065), the two edits and the combo.
inline constexpr int kAdvanceFrame = 1109;
inline constexpr int kAdvanceEndLabel = 1067;
inline constexpr int kAdvanceStartLabel = 1065;
inline constexpr int kPartitionSearchProgress = 1070;  // lost-partition search progress bar
inline constexpr int kPartitionSearchText = 1072;      // "Searching Partition..."

// Search page: what is searched.
inline constexpr int kSearchDiskText = 1076;      // "Searching in Physical Drive\t:"
inline constexpr int kSearchRangeText = 1078;     // "Searching from sectors"
inline constexpr int kSearchTypeText = 1080;      // "Selected File System\t\t:"
inline constexpr int kSearchCriteriaText = 1085;  // "Searching Criteria\t\t:"
// Search page: how far it is.
inline constexpr int kStatus = 1074;
inline constexpr int kProgress = 1073;
inline constexpr int kBootCounterLabel = 1081;
inline constexpr int kBootCounter = 1082;
inline constexpr int kFolderCounterLabel = 1083;
inline constexpr int kFolderCounter = 1084;
inline constexpr int kStageProgress = 1183;      // second stage
inline constexpr int kStageProgressText = 1185;  // "Loading tree, Please Wait..."
inline constexpr int kLoadProgress = 1102;       // loading a scan log
inline constexpr int kEnumerating = 1191;        // "Currently Enumerating k / n"
// Results page.
inline constexpr int kCurrentFolder = 1094;  // "Current Folder"
// Below the files a save wrote: what it wrote, skipped and failed, and where.
inline constexpr int kSaveSummary = 9002;

// The guidance area: the one-paragraph instruction of the page.
inline constexpr int kGuidance = 9001;

// Context menus of the results page and their commands.
inline constexpr int kListMenu = 252;  // "Open", separator, "Save", "Save All"; "Save" is the default
inline constexpr int kTreeMenu = 253;  // "Save"
inline constexpr int kMenuOpen = 32771;
inline constexpr int kMenuSave = 32772;
inline constexpr int kMenuSaveAll = 32773;
inline constexpr int kMenuTreeSave = 32774;
// The system menu's items.
inline constexpr int kSystemMenuAbout = 16;  // "About Quarrow..."
inline constexpr int kSystemMenuExit = 0xF060;

// No device (template 301).
inline constexpr int kNoDeviceRetry = 1139;
inline constexpr int kNoDeviceExit = 1125;
inline constexpr int kNoDeviceEnableDiskLink = 1188;  // opens Connection help
inline constexpr int kNoDeviceContactLink = 1140;
inline constexpr int kNoDeviceWebLink = 1141;
// Standard search impossible (template 305).
inline constexpr int kStandardAdviceOk = 1008;
inline constexpr int kStandardAdviceContactLink = 1169;
// Advance search impossible (template 308).
inline constexpr int kAdvanceAdviceOk = 1125;
inline constexpr int kAdvanceAdviceHints = 1159;
inline constexpr int kAdvanceAdviceHelpLink = 1161;  // "click here." opens Connection help
inline constexpr int kAdvanceAdviceContactLink = 1158;
inline constexpr int kAdvanceAdviceWebLink = 1190;
// About (template 100).
inline constexpr int kAboutOk = 1;
inline constexpr int kAboutSupportLink = 1171;
inline constexpr int kAboutWebLink = 1172;
// Connection help (template 312) has only texts and a picture; closing it is its only command.
inline constexpr int kConnectionHelpOk = 2;

// Save As (template 129): where recovered files go.
inline constexpr int kSaveAsDestination = 1291;
inline constexpr int kSaveAsBrowse = 1292;
inline constexpr int kSaveAsOk = 1293;
inline constexpr int kSaveAsCancel = 1294;
// Calculating Number of Files... (template 134).
inline constexpr int kCalculatingText = 1341;   // "Calculating Total Number of Files, Please Wait ..."
inline constexpr int kCalculatingTotal = 1342;  // the number after "Total Files :"
// Saving... (template 130).
inline constexpr int kSavingFileName = 1301;
inline constexpr int kSavingFilePath = 1302;
inline constexpr int kSavingTotals = 1303;
inline constexpr int kSavingFileProgress = 1304;
inline constexpr int kSavingTotalProgress = 1305;
inline constexpr int kSavingStop = 1306;
inline constexpr int kSavingSkip = 1307;
// Replace File Confirmation (template 132).
inline constexpr int kReplaceExisting = 1320;  // the file already there
inline constexpr int kReplaceOverwrite = 1321;
inline constexpr int kReplaceRename = 1322;
inline constexpr int kReplaceSkip = 1323;
inline constexpr int kReplaceCancel = 1324;
inline constexpr int kReplaceYesToAll = 1325;
inline constexpr int kReplaceNoToAll = 1326;
inline constexpr int kReplaceApplyToAll = 1327;  // "Apply the answer to all the files"

}  // namespace id

// The dialogs the page logic opens, by their template numbers.
enum class DialogId : int {
  kAbout = 100,
  kNoDevice = 301,
  kStandardAdvice = 305,
  kAdvanceAdvice = 308,
  kConnectionHelp = 312,
  kSaveAs = 129,
  kSaving = 130,
  kReplace = 132,
  kCalculating = 134,
};

// The object name a front end gives the widget of a control: "c" + the decimal ID.
inline std::string ObjectName(int controlId) {
  return "c" + std::to_string(controlId);
}

}  // namespace quarrow::app
