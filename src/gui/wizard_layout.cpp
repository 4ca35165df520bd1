#include "gui/wizard_layout.h"

namespace quarrow::gui {

// Left: the trees. Right, from the top: the page's heading line, DetailsList, then the controls of
// the page (the search choice on the disk page, the range and type on the partition page, the
// search's texts, counters and bars while it runs).
const std::vector<ControlSpec>& MainDialogControls() {
  using K = ControlKind;
  static const std::vector<ControlSpec> controls = {
      // The toolbar, in the order of its tooltips.
      {1055, K::kToolButton, "Help", 0, 0, 0, 0, 0, true},
      {1057, K::kToolButton, "Load Log", 0, 0, 0, 0, 0, true},
      {1106, K::kToolButton, "Save Log", 0, 0, 0, 0, 0, true},
      {1056, K::kToolButton, "Exit", 0, 0, 0, 0, 0, true},
      {1054, K::kToolButton, "Save", 0, 0, 0, 0, 0, true},
      {1058, K::kToolButton, "Next", 0, 0, 0, 0, 0, true},
      {1059, K::kToolButton, "Back", 0, 0, 0, 0, 0, true},
      {1062, K::kToolButton, "Search More Partitions", 0, 0, 0, 0, 0, true},
      {1110, K::kToolButton, "Stop Searching Partitions", 0, 0, 0, 0, 0, false},
      {1092, K::kToolButton, "Stop Search", 0, 0, 0, 0, 0, false},
      {1135, K::kToolButton, "Refresh List", 0, 0, 0, 0, 0, true},
      {1114, K::kToolButton, "About Us", 0, 0, 0, 0, 0, true},

      {9001, K::kGuidance, "", 8, 33, 519, 61, 0, true},

      // Heading line of the right side: the search mode (partition page) or the current folder.
      {1068, K::kStatic, "", 222, 65, 519, 75, 0, false},
      {0, K::kLabel, "Current Folder :", 222, 65, 290, 75, 1094, false},
      {1094, K::kStatic, "", 290, 65, 519, 75, 0, false},
      {1105, K::kDetailsList, "", 222, 78, 519, 205, 0, true},

      // Disk page.
      {0, K::kLabel, "Select the searching criteria :", 222, 210, 519, 220, 1064, true},
      {1064, K::kModeRadio, "Standard Search", 228, 222, 368, 234, 0, true},
      {1108, K::kModeRadio, "Advance Search", 372, 222, 512, 234, 0, true},
      {1095, K::kRadio, "Entire Disk", 228, 240, 300, 251, 0, true},
      {1096, K::kRadio, "Sector Range", 304, 240, 380, 251, 0, true},
      {1103, K::kStatic, "", 384, 240, 519, 251, 0, true},
      {1104, K::kEdit, "", 228, 254, 368, 266, 0, true},
      {1100, K::kEdit, "", 372, 254, 512, 266, 0, true},
      {0, K::kLabel, "Path for Log File : ", 222, 274, 292, 284, 1000, true},
      {1000, K::kEdit, "", 292, 272, 519, 285, 0, true},
      {1189, K::kLink, "For Help on connecting iPod for recovery, click here.", 222, 296, 425, 306, 0, true},

      // Partition page.
      {1109, K::kGroup, "Search range and partition type", 222, 207, 519, 264, 0, false},
      {0, K::kLabel, "Partition Type :", 228, 218, 296, 229, 1037, false},
      {1037, K::kCombo, "", 298, 216, 400, 229, 0, false},
      {1065, K::kLabel, "Start Sector :", 228, 233, 296, 244, 0, false},
      {1069, K::kEdit, "", 298, 232, 400, 244, 0, false},
      {1067, K::kLabel, "End Sector :", 228, 248, 296, 259, 0, false},
      {1071, K::kEdit, "", 298, 247, 400, 259, 0, false},
      {1091, K::kButton, "Search Entire Disk", 410, 216, 512, 230, 0, false},
      {1072, K::kStatic, "", 222, 268, 519, 278, 0, false},
      {1070, K::kProgress, "", 222, 281, 519, 293, 0, false},

      // Search page: what is searched, how far it is.
      {0, K::kLabel, "Searching in Physical Drive\t:", 222, 209, 342, 219, 1076, false},
      {1076, K::kStatic, "", 344, 209, 519, 219, 0, false},
      {0, K::kLabel, "Searching from sectors", 222, 220, 342, 230, 1078, false},
      {1078, K::kStatic, "", 344, 220, 519, 230, 0, false},
      {0, K::kLabel, "Selected File System\t\t:", 222, 231, 342, 241, 1080, false},
      {1080, K::kStatic, "", 344, 231, 519, 241, 0, false},
      {0, K::kLabel, "Searching Criteria\t\t:", 222, 242, 342, 252, 1085, false},
      {1085, K::kStatic, "", 344, 242, 519, 252, 0, false},
      {1074, K::kStatic, "", 222, 255, 519, 265, 0, false},
      {1083, K::kLabel, "Directories Found\t\t:", 222, 266, 342, 276, 1084, false},
      {1084, K::kStatic, "", 344, 266, 420, 276, 0, false},
      {1081, K::kLabel, "Boot Sectors Found\t\t:", 222, 277, 342, 287, 1082, false},
      {1082, K::kStatic, "", 344, 277, 420, 287, 0, false},
      {1191, K::kStatic, "", 222, 288, 519, 297, 0, false},
      {1185, K::kStatic, "", 222, 288, 519, 297, 0, false},
      {1073, K::kProgress, "", 222, 298, 519, 310, 0, false},
      {1183, K::kProgress, "", 222, 298, 519, 310, 0, false},
      {1102, K::kProgress, "", 222, 298, 519, 310, 0, false},

      // Results page: the file types to save and what a save wrote.
      {1107, K::kCheckList, "", 8, 232, 214, 310, 0, false},
      {1051, K::kPlainList, "", 222, 232, 519, 310, 0, false},
  };
  return controls;
}

}  // namespace quarrow::gui
