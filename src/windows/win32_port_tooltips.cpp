// Windows: each entry of the port list names in a tooltip the device it
// opens, as the form words it.

#include "windows/win32_main_window.h"

#include <commctrl.h>

#include "windows/win32_text.h"

namespace tavrek {

// Each port entry names in a tooltip the device it opens: the closed list
// for the chosen entry, the open list for the entry under the pointer.
void Win32MainWindow::createTooltips()
{
    tooltips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    for (HWND tipped : {cboPort, portListBox_}) {
        if (!tipped)
            continue;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(tipped);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ::SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, 600);  // long descriptions wrap
    refreshTooltips();
}

void Win32MainWindow::refreshTooltips()
{
    if (form_)
        portTips_ = form_->portTooltips();
}

LRESULT Win32MainWindow::onNotify(const NMHDR& header)
{
    if (header.hwndFrom != tooltips_ || header.code != TTN_GETDISPINFOW)
        return 0;
    auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
    const bool openList = reinterpret_cast<HWND>(info.hdr.idFrom) == portListBox_;
    const int entry = openList ? hoveredPort_ : portChoice();
    if (entry < 0 || entry >= kComCount) {
        info.lpszText = const_cast<wchar_t*>(L"");
        return 0;
    }
    if (!openList)
        refreshTooltips();
    tipText_ = widen(portTips_[static_cast<std::size_t>(entry)]);
    info.lpszText = tipText_.data();
    return 0;
}

// The open port list tells its tooltip which entry the pointer is over.
LRESULT CALLBACK Win32MainWindow::portListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                               DWORD_PTR self)
{
    if (message == WM_MOUSEMOVE) {
        auto& window = *reinterpret_cast<Win32MainWindow*>(self);
        const LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
        const int entry = HIWORD(hit) == 0 ? LOWORD(hit) : -1;
        if (entry != window.hoveredPort_) {
            window.hoveredPort_ = entry;
            ::SendMessageW(window.tooltips_, TTM_UPDATE, 0, 0);
        }
    }
    return ::DefSubclassProc(list, message, wParam, lParam);
}

} // namespace tavrek
