#pragma once

// Windows: the open dialog and the message box the form asks for.

#include <windows.h>

#include <string>

#include "form/form_view.h"

namespace tavrek {

// The system's modal file-open dialog, owned by `owner`: the chosen full
// path, or the empty text when the operator cancelled.
std::string showWin32OpenDialog(HWND owner, const OpenDialogSettings& settings);

// The modal message box: the text alone, one OK button, no icon, the
// program's title as caption.
void showWin32MessageBox(HWND owner, const std::string& text);

} // namespace tavrek
