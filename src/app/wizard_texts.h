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
inline constexpr std::string_view kStandardAdviceGuidance =
    "Select the partition to recover from left panel and then click on next button or use Searching "
    "Partition for search missing partition.";
// The search page.
inline constexpr std::string_view kSearchingGuidance =
    "You can stop searching Files and Folders by clicking on 'Stop Search' button. However, it is strongly "
    "recommended that you should allow the software to complete the searching Process.";
// The file-system choice page.
inline constexpr std::string_view kChooseFileSystemGuidance =
    "Press 'Next' button to Recover Data. Or to select another Partition press 'Back' button.";
// The results page.
inline constexpr std::string_view kSaveGuidancePanel =
    "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in Toolbar to "
    "save recovered Files and Folders.";

}  // namespace quarrow::app
