// Windows: the window's keys and focus. The message loop goes through
// IsDialogMessage, so that Tab, the access keys and Space work as in a
// dialog, with Return, Enter and the Alt keys taken first where a dialog
// would take them otherwise; the focus stays where the operator left it.

#include "windows/win32_main_window.h"

#include <commctrl.h>

#include <cctype>
#include <cstring>
#include <cwctype>
#include <utility>

#include "form/form_layout.h"

namespace tavrek {

namespace {

// The letter after "&" in a caption, lower case; 0 where there is none.
wchar_t accessKey(const char* caption)
{
    const char* marked = std::strchr(caption, '&');
    return marked && marked[1] ? static_cast<wchar_t>(std::tolower(static_cast<unsigned char>(marked[1]))) : 0;
}

bool isCommandButton(HWND control, HWND open, HWND write, HWND reset)
{
    return control && (control == open || control == write || control == reset);
}

} // namespace

int Win32MainWindow::run(int showCommand)
{
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        dispatch(message);
    return static_cast<int>(message.wParam);
}

void Win32MainWindow::dispatch(MSG& message)
{
    if (pressFocusedButton(message) || pressAccessKey(message))
        return;
    if (window_ && ::IsDialogMessageW(window_, &message))
        return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

// Return and Enter press the button that has the focus, as Space does; in a
// window that is not a dialog, IsDialogMessage would take them as OK instead.
bool Win32MainWindow::pressFocusedButton(const MSG& message)
{
    if (message.message != WM_KEYDOWN && message.message != WM_CHAR)
        return false;
    const bool returnKey = message.message == WM_KEYDOWN ? message.wParam == VK_RETURN : message.wParam == L'\r';
    if (!returnKey || !isCommandButton(message.hwnd, cmdOpen, cmdWrite, cmdReset))
        return false;
    if (message.message == WM_KEYDOWN && ::IsWindowEnabled(message.hwnd))
        ::SendMessageW(message.hwnd, BM_CLICK, 0, 0);
    return true;  // the character that follows the key is dropped
}

// Alt+W and Alt+R run Write and Reset and leave the focus where it is;
// IsDialogMessage would click the button, which moves the focus onto it.
bool Win32MainWindow::pressAccessKey(const MSG& message)
{
    if (message.message != WM_SYSCHAR || !window_ || ::GetAncestor(message.hwnd, GA_ROOT) != window_)
        return false;
    const wchar_t key = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(message.wParam)));
    for (const auto& [button, caption] : {std::pair{cmdWrite, kCmdWriteCaption}, std::pair{cmdReset, kCmdResetCaption}}) {
        if (key != accessKey(caption))
            continue;
        if (::IsWindowEnabled(button))
            ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                           reinterpret_cast<LPARAM>(button));
        return true;
    }
    return false;
}

void Win32MainWindow::processEvents()
{
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop of run()
            return;
        }
        dispatch(message);
    }
}

// The window keeps the focus where the operator left it across a dialog, a
// message box or a switch to another program, as a dialog box does; the
// system on its own would put it on the window itself, where Return and Space
// do nothing.
void Win32MainWindow::rememberFocus()
{
    const HWND focus = ::GetFocus();
    if (focus && ::IsChild(window_, focus))
        focusWhenInactive_ = focus;
}

void Win32MainWindow::restoreFocus()
{
    const HWND wanted = focusWhenInactive_ && ::IsWindow(focusWhenInactive_) &&
                                ::IsWindowEnabled(focusWhenInactive_)
                            ? focusWhenInactive_
                            : cmdOpen;
    ::SetFocus(wanted);
}

// Disabled buttons take no clicks and no access keys. A disabled control
// cannot keep the focus: when Write or Reset held it, it goes to the next
// control and comes back afterwards, unless the operator has moved it.
void Win32MainWindow::enableCommands(bool enabled)
{
    HWND focus = ::GetFocus();
    if (!enabled) {
        focusBeforeDisabling_ = focus == cmdWrite || focus == cmdReset ? focus : nullptr;
        if (focusBeforeDisabling_)
            ::SetFocus(cmdOpen);
    }
    ::EnableWindow(cmdWrite, enabled);
    ::EnableWindow(cmdReset, enabled);
    if (!enabled)
        return;
    if (focusBeforeDisabling_ && ::GetFocus() == cmdOpen)
        ::SetFocus(focusBeforeDisabling_);
    focusBeforeDisabling_ = nullptr;
}

// Tab leaves the log for the next control, and Esc does nothing there, as
// everywhere in the window; Return starts a new line of the log.
LRESULT CALLBACK Win32MainWindow::logBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR)
{
    if (message == WM_GETDLGCODE) {
        LRESULT code = ::DefSubclassProc(box, message, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && (key->wParam == VK_TAB || key->wParam == VK_ESCAPE))
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        return code;
    }
    if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == VK_ESCAPE)
        return 0;
    return ::DefSubclassProc(box, message, wParam, lParam);
}

} // namespace tavrek
