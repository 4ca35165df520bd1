#pragma once
// The guidance texts of the wizard's pages, as the user reads them (their spelling, spacing and
// quotes are the product's own).

#include <string_view>

namespace quarrow::app {

// The disk page (start, Back to it).
inline constexpr std::string_view kStartGuidance =
    "Select the disk from left Panel from which you want to recover Data. Select the searching criteria "
    "(Standard Search or Advance Search) and Press \xE2\x80\x98Next\xE2\x80\x99 button to Proceed. Both the "
    "recovery Modes recover data using different recovery techniques in different cases of data loss.";
// The partition page.
inline constexpr std::string_view kPartitionGuidance =
    "Select the Partition from left Panel from which you want to recover Data. If the partition (from which "
    "you want to recover your data) is not in the list, Press \xE2\x80\x98Search More Partitions\xE2\x80\x99 "
    "button to search other Lost or Deleted Partitions. Press \xE2\x80\x98Next\xE2\x80\x99 button to start "
    "searching Data.";
inline constexpr std::string_view kPartitionGuidanceQuoted = kPartitionGuidance;
inline constexpr std::string_view kSelectTypeGuidance =
    "Select the Partition Type from which you want to recover Data and press 'Next' button to start "
    "searching Data. Or to select another Disk press 'Back' button.";
// While a lost-partition search runs: asked for by 'Search More Partitions', or started because the
// partition table could not be read.
inline constexpr std::string_view kSearchingPartitionsGuidance =
    "To stop press 'Stop Searching Partition' button or Please wait for the process to be completed. It is "
    "strongly recommended that you should allow the software to complete the Process.";
inline constexpr std::string_view kCorruptedTableGuidance =
    "Partition Table is corrupted. Software is Searching Partitions...";
// When a lost-partition search has run to its end, and when a stop ended it.
inline constexpr std::string_view kSearchFinishedGuidance =
    "Select the Partition from left Panel from which you want to recover Data. Press 'Search More "
    "Partitions' button to search other Lost or Deleted Partitions. Press 'Next' button to start searching "
    "Data.";
inline constexpr std::string_view kSearchStoppedGuidance = kPartitionGuidance;
inline constexpr std::string_view kStandardAdviceGuidance =
    "Select the partition to recover from left panel and then click on next button or use Searching "
    "Partition for search missing partition.";
// The search page.
inline constexpr std::string_view kSearchingGuidance =
    "You can stop searching Files and Folders by clicking on 'Stop Search' button. However, it is strongly "
    "recommended that you should allow the software to complete the searching Process.";
// Once the reading stages are over and the finds are being put together.
inline constexpr std::string_view kPleaseWaitGuidance = "Please wait...";
// The file-system choice page.
inline constexpr std::string_view kChooseFileSystemGuidance =
    "Press 'Next' button to Recover Data. Or to select another Partition press 'Back' button.";
inline constexpr std::string_view kNothingIdentifiedGuidance =
    "No File System could be identified. Click on 'Back' button to select another Partition.";
// The results page: after a Standard search (its own spelling of "panel")...
inline constexpr std::string_view kStandardSaveGuidance =
    "Select Files and Folders from left panel Directories' Tree and Click on 'Save' button in Toolbar to "
    "save recovered Files and Folders.";
// ...and after a stop, an Advance search's second stage or a loaded log.
inline constexpr std::string_view kSaveGuidancePanel =
    "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in Toolbar to "
    "save recovered Files and Folders.";

}  // namespace quarrow::app
