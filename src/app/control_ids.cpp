// The engines below the page logic name the controls they report to with their own constants;
// they must be the numbers of the catalogue, or a report would land on the wrong control.

#include "app/control_ids.h"

#include "core/feedback.h"
#include "partition/lost_partition_search.h"
#include "recovery/recovery_engine.h"

namespace quarrow::app {

static_assert(control::kStatus == id::kStatus);
static_assert(control::kProgress == id::kProgress);
static_assert(control::kFolderCounterLabel == id::kFolderCounterLabel);
static_assert(control::kFolderCounter == id::kFolderCounter);
static_assert(control::kBootCounterLabel == id::kBootCounterLabel);
static_assert(control::kBootCounter == id::kBootCounter);
static_assert(control::kStageProgress == id::kStageProgress);
static_assert(control::kStageProgressText == id::kStageProgressText);
static_assert(control::kEnumerating == id::kEnumerating);
static_assert(control::kCurrentFolder == id::kCurrentFolder);
static_assert(control::kStopSearching == id::kStopSearch);
static_assert(control::kLoadLog == id::kLoadLog);
static_assert(control::kNext == id::kNext);
static_assert(control::kBack == id::kBack);
static_assert(control::kDetailsList == id::kDetailsList);

static_assert(lost_partition_control::kProgress == id::kPartitionSearchProgress);
static_assert(lost_partition_control::kProgressText == id::kPartitionSearchText);
static_assert(lost_partition_control::kPartitionTypeCombo == id::kPartitionTypeCombo);
static_assert(lost_partition_control::kStartSectorEdit == id::kStartSectorEdit);
static_assert(lost_partition_control::kEndSectorEdit == id::kEndSectorEdit);

static_assert(recovery_control::kCounting == id::kCalculatingText);
static_assert(recovery_control::kTotalFiles == id::kCalculatingTotal);
static_assert(recovery_control::kFileName == id::kSavingFileName);
static_assert(recovery_control::kFilePath == id::kSavingFilePath);
static_assert(recovery_control::kTotals == id::kSavingTotals);
static_assert(recovery_control::kFileProgress == id::kSavingFileProgress);
static_assert(recovery_control::kTotalProgress == id::kSavingTotalProgress);

}  // namespace quarrow::app
