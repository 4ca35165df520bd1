#pragma once
// The wizard's other windows as Qt dialogs: the information dialogs (About, No device, the two
// advice dialogs, Connection help) built from their content as the page logic gives it, the
// recovery dialogs (Save As with Browse, Calculating, Saving, Replace File Confirmation) and the
// scan log's file dialogs. Every control that has an ID carries it as its object name, as in the
// main window.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "app/surface.h"

class QWidget;

namespace quarrow::gui {

// The object name of a control's widget.
QString ControlName(int controlId);

// An information dialog; a link calls onLink with its ID. A button calls onButton with its ID when
// one is given (a dialog that stays open until told), otherwise it ends the dialog with its ID as
// the result.
QDialog* MakeInfoDialog(const app::InfoDialogContent& content, const std::function<void(int)>& onLink,
                        QWidget* parent, const std::function<void(int)>& onButton = {});

// The progress dialogs of a save (not modal); their buttons call onCommand with their IDs.
QDialog* MakeProgressDialog(app::DialogId dialog, const std::function<void(int)>& onCommand, QWidget* parent);

// Save As: the destination folder, chosen with a folder chooser behind Browse.
std::optional<std::string> AskDestinationDialog(std::string_view initial, QWidget* parent);
// Replace File Confirmation for the file already at existing.
app::ReplaceReply AskReplaceDialog(std::string_view existing, QWidget* parent);
// The scan log's open or save dialog.
std::optional<std::string> AskFilePathDialog(const app::FileDialogSpec& spec, QWidget* parent);
// "QLG Files (*.QLG)|*.QLG||" as Qt writes a filter: "QLG Files (*.QLG)".
QString QtFilter(const std::string& filter);

}  // namespace quarrow::gui
