#pragma once
// The pictures of the trees, the file list and the toolbar. Each comes from the desktop's icon
// theme when it has one, otherwise from a picture built in here, so the window looks complete on
// a bare machine (and under the offscreen platform of the tests).

#include <QIcon>
#include <QString>

namespace quarrow::gui {

// A picture of the trees' normal image list: 0 a drive, 1 a drive with a green light, 2 a
// computer, 3 and 4 a closed folder, 5 to 8 an open folder.
QIcon TreeImageIcon(int image);

// The small icon of a file by its name ending alone (the disk is not read), and of a folder.
QIcon FileIcon(const QString& name);
QIcon FolderIcon(bool deleted = false);

// The picture of a toolbar button, by its control ID; null for an ID that has none.
QIcon ToolbarIcon(int controlId);

}  // namespace quarrow::gui
