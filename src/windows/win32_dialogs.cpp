// Windows: the open dialog and the message box the form asks for.

#include "windows/win32_dialogs.h"

#include <commdlg.h>

#include <vector>

#include "form/form_layout.h"
#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr std::size_t kLongestPath = 32768;  // characters a chosen path may have, long paths included

// "Description|pattern|..." as the open dialog's filter: pairs separated and
// ended by NUL, the whole ended by a second NUL.
std::wstring dialogFilter(const std::string& filter)
{
    std::wstring wide = widen(filter);
    for (wchar_t& c : wide)
        if (c == L'|')
            c = L'\0';
    return wide + std::wstring(2, L'\0');
}

} // namespace

std::string showWin32OpenDialog(HWND owner, const OpenDialogSettings& settings)
{
    std::vector<wchar_t> path(kLongestPath, L'\0');
    const std::wstring title = widen(settings.title);
    const std::wstring filter = dialogFilter(settings.filter);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = static_cast<DWORD>(settings.flags);
    if (!::GetOpenFileNameW(&dialog))
        return {};  // Cancel, or a dialog that could not be shown
    return narrow(path.data());
}

void showWin32MessageBox(HWND owner, const std::string& text)
{
    ::MessageBoxW(owner, widen(text).c_str(), widen(kProgramTitle).c_str(), MB_OK);
}

} // namespace tavrek
