#pragma once

#include <functional>
#include <string>

#include <QStringList>

#include "form/form_view.h"

class QFileDialog;
class QWidget;

namespace tavrek {

// Shows a modal file-open dialog and returns the chosen full path, or the
// empty text when the operator cancelled. Tests put a scripted one in.
using ShowOpenDialog = std::function<std::string(QWidget* parent, const OpenDialogSettings& settings)>;

// The open dialog on Qt: the platform's own where there is one, else Qt's.
// File names match the filter's patterns without regard to case, "*.*"
// matches every file, and a typed name need not exist.
std::string showQtOpenDialog(QWidget* parent, const OpenDialogSettings& settings);

// The modal message box: the text alone, one OK button, no icon, the
// program's title as caption.
void showQtMessageBox(QWidget* parent, const std::string& text);

// "Description|pattern|..." as Qt's name filters, one per pair. A description
// that does not show its patterns in parentheses gets them appended, since Qt
// reads the patterns from there.
QStringList qtNameFilters(const std::string& filter);

// Qt 6.4's own dialog, when names of missing files are allowed, selects the
// shown folder itself once the file-name field has been emptied, and may
// keep it selected: an existing file typed afterwards then cannot be chosen
// (Open stays disabled and Return only re-enters the folder). This drops
// the shown folder from the selection whenever it gets in. Does nothing on
// a platform dialog.
void keepTypedFileNamesChoosable(QFileDialog& dialog);

// "*.*" matches every file on Windows, where the filters come from, but only
// names with a dot in Qt's own dialog: a HEX file saved without an extension
// would not be listed under "All Files (*.*)". This lists every file while a
// filter holding "*.*" is chosen, its shown text unchanged. Call it after the
// name filters are set; does nothing on a platform dialog.
void letStarDotStarMatchEveryFile(QFileDialog& dialog);

} // namespace tavrek
