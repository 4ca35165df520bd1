#pragma once
// Where each control of the main dialog sits, in dialog units, and what kind of widget it is.
// The page logic shows and hides controls by ID; controls that only one page uses share places
// with those of other pages.

#include <QRect>
#include <vector>

namespace quarrow::gui {

enum class ControlKind {
  kToolButton,  // a bitmap button of the toolbar (CBtn), with its tooltip
  kButton,
  kStatic,    // a coloured static text
  kGroup,     // a frame with a title around other controls
  kLabel,     // the caption of another control, shown and hidden with it
  kGuidance,  // the one-paragraph instruction of the page
  kEdit,
  kCombo,
  kModeRadio,  // CCustomRadio
  kRadio,
  kLink,
  kProgress,     // CTextProgressCtrl
  kDetailsList,  // DetailsList
  kCheckList,    // a list of checkable rows (the file-type list)
  kPlainList,    // a list of texts (the "Files Recovered" list)
};

struct ControlSpec {
  int id;  // the control ID; 0 for a caption that has none
  ControlKind kind;
  const char* text;              // caption, tooltip of a toolbar button, or initial text
  int left, top, right, bottom;  // dialog units; unused for toolbar buttons
  int partner;                   // for a caption: the control it is shown and hidden with
  bool visibleAtStart;
};

// The dialog's size in dialog units, and its controls in creation (tab) order.
inline constexpr int kDialogWidth = 527, kDialogHeight = 316;
const std::vector<ControlSpec>& MainDialogControls();

// The rectangle all trees share, and the file list's rectangle on the results page.
inline constexpr QRect kTreeRect(8, 64, 214 - 8, 310 - 64);  // left, top, width, height

}  // namespace quarrow::gui
