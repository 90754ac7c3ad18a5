// Windows: the window made of the system's own controls.

#include "windows/win32_main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cctype>
#include <cstring>
#include <cwctype>
#include <stdexcept>
#include <utility>
#include <vector>

#include "form/form_layout.h"
#include "windows/win32_text.h"
#include "windows/resource.h"

namespace tavrek {

namespace {

constexpr const wchar_t* kWindowClass = L"TavrekMainWindow";
constexpr int kTwipsPerInch = 1440;
constexpr int kPointsPerInch = 72;
constexpr const wchar_t* kCommandFontFace = L"Microsoft Sans Serif";  // the system's "MS Sans Serif"
constexpr std::size_t kLongestPath = 32768;  // characters a chosen path may have, long paths included

// Child control identifiers; WM_COMMAND tells them apart.
enum ControlId : int {
    kLblFileNameId = 100,
    kCmdOpenId,
    kTxtInfoId,
    kCboPortId,
    kCmdWriteId,
    kPrgBarId,
    kCmdResetId,
};

constexpr int kFitTries = 3;  // measurements of the port list's height before it is taken as it is
constexpr UINT_PTR kLogBoxSubclass = 1;
constexpr UINT_PTR kPortListSubclass = 2;

// Functions of newer Windows, looked up at run time: the program runs from
// Windows 7 on, and falls back to the system DPI where they are missing.
UINT dpiOfWindow(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window)
        return getDpiForWindow(window);
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT systemDpi()
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

BOOL adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi)
{
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi)
        return adjustForDpi(&rect, style, FALSE, exStyle, dpi);
    return ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

int toPixels(int twips, UINT dpi)
{
    return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

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

std::wstring windowText(HWND control)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

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

Win32MainWindow::Win32MainWindow(FormParts parts)
{
    createWindow();
    createControls();
    createTooltips();
    applyDpi(dpiOfWindow(window_));
    centreOnScreen();
    form_ = std::make_unique<frmMain>(std::move(parts), *this);
    ::SetFocus(cmdOpen);
}

Win32MainWindow::~Win32MainWindow()
{
    form_.reset();
    if (window_)
        ::DestroyWindow(window_);
    for (HGDIOBJ font : {static_cast<HGDIOBJ>(messageFont_), static_cast<HGDIOBJ>(commandFont_)})
        if (font)
            ::DeleteObject(font);
    for (HICON icon : {icon_, smallIcon_})
        if (icon)
            ::DestroyIcon(icon);
}

void Win32MainWindow::createWindow()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    icon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(TAVREK_APP_ICON), IMAGE_ICON,
                                            ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(TAVREK_APP_ICON), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon_;
    windowClass.hIconSm = smallIcon_;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    // A fixed frame: no resizing and no maximise button. The size is set once
    // the window's DPI is known.
    window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, widen(kProgramTitle).c_str(),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the window");
}

// In tab order: the label takes no focus, the progress bar neither, so that
// "..." holds it first and Tab goes on to the log, the port list, Write and
// Reset.
void Win32MainWindow::createControls()
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto child = [&](const wchar_t* type, const std::wstring& text, DWORD style, int id, DWORD exStyle = 0) {
        return ::CreateWindowExW(exStyle, type, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    lblFileName = child(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kLblFileNameId);
    cmdOpen = child(WC_BUTTONW, widen(kCmdOpenCaption), WS_TABSTOP | BS_PUSHBUTTON, kCmdOpenId);
    txtInfo = child(WC_EDITW, L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                    kTxtInfoId, WS_EX_CLIENTEDGE);
    ::SendMessageW(txtInfo, EM_SETLIMITTEXT, 0, 0);  // the log is never cut
    ::SetWindowSubclass(txtInfo, logBoxProc, kLogBoxSubclass, 0);
    cboPort = child(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kCboPortId);
    for (const char* name : kPortNames)
        ::SendMessageW(cboPort, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(name).c_str()));
    cmdWrite = child(WC_BUTTONW, widen(kCmdWriteCaption), WS_TABSTOP | BS_PUSHBUTTON, kCmdWriteId);
    prgBar = child(PROGRESS_CLASSW, L"", 0, kPrgBarId);
    ::SendMessageW(prgBar, PBM_SETRANGE32, 0, kProgressMaximum);
    ::SendMessageW(prgBar, PBM_SETPOS, 0, 0);
    cmdReset = child(WC_BUTTONW, widen(kCmdResetCaption), WS_TABSTOP | BS_PUSHBUTTON, kCmdResetId);

    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    if (::GetComboBoxInfo(cboPort, &combo)) {
        portListBox_ = combo.hwndList;
        ::SetWindowSubclass(portListBox_, portListProc, kPortListSubclass, reinterpret_cast<DWORD_PTR>(this));
    }
}

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

void Win32MainWindow::applyDpi(UINT dpi)
{
    dpi_ = dpi;
    makeFonts();
    placeControls();
}

// Write's and Reset's captions in bold 9.75 pt "Microsoft Sans Serif"; the
// others in the system's message font; both at the window's DPI.
void Win32MainWindow::makeFonts()
{
    for (HFONT* font : {&messageFont_, &commandFont_}) {
        if (*font)
            ::DeleteObject(*font);
        *font = nullptr;
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW message = metrics.lfMessageFont;
    message.lfHeight = ::MulDiv(message.lfHeight, static_cast<int>(dpi_), static_cast<int>(systemDpi()));
    messageFont_ = ::CreateFontIndirectW(&message);

    LOGFONTW command{};
    command.lfHeight = -::MulDiv(static_cast<int>(kCommandFontPoints * 100), static_cast<int>(dpi_),
                                 kPointsPerInch * 100);
    command.lfWeight = FW_BOLD;
    command.lfCharSet = DEFAULT_CHARSET;
    command.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(command.lfFaceName, kCommandFontFace, LF_FACESIZE);
    commandFont_ = ::CreateFontIndirectW(&command);

    for (HWND control : {lblFileName, cmdOpen, txtInfo, cboPort, prgBar})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont_), TRUE);
    for (HWND control : {cmdWrite, cmdReset})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(commandFont_), TRUE);
    ::SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont_), TRUE);
}

void Win32MainWindow::placeControls()
{
    const auto place = [this](HWND control, const TwipsRect& at) {
        ::MoveWindow(control, toPixels(at.left, dpi_), toPixels(at.top, dpi_), toPixels(at.width, dpi_),
                     toPixels(at.height, dpi_), TRUE);
    };
    place(lblFileName, kLblFileNameAt);
    place(cmdOpen, kCmdOpenAt);
    place(txtInfo, kTxtInfoAt);
    place(cmdWrite, kCmdWriteAt);
    place(prgBar, kPrgBarAt);
    place(cmdReset, kCmdResetAt);
    place(cboPort, kCboPortAt);
    fitPortListHeight(toPixels(kCboPortAt.height, dpi_));

    RECT client{0, 0, toPixels(kClientArea.width, dpi_), toPixels(kClientArea.height, dpi_)};
    adjustWindowRect(client, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE)),
                     static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE)), dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A drop-down list's height is its closed field's, which follows the field's
// item height by a frame that differs between systems: set the item height,
// measure, and correct it by what is off.
void Win32MainWindow::fitPortListHeight(int wanted)
{
    const auto height = [this] {
        RECT closed{};
        ::GetWindowRect(cboPort, &closed);
        return static_cast<int>(closed.bottom - closed.top);
    };
    int item = static_cast<int>(::SendMessageW(cboPort, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    for (int tries = 0; tries < kFitTries && height() != wanted; ++tries) {
        item += wanted - height();
        if (item < 1)
            return;
        ::SendMessageW(cboPort, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
    }
}

void Win32MainWindow::centreOnScreen()
{
    RECT frame{};
    ::GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

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

LRESULT CALLBACK Win32MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

LRESULT Win32MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return onNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        applyDpi(HIWORD(wParam));
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            rememberFocus();
        else if (!HIWORD(wParam))  // not while minimised
            restoreFocus();
        return 0;
    case WM_SETFOCUS:
        restoreFocus();
        return 0;
    case WM_CLOSE:
        if (!form_ || form_->Form_QueryUnload())
            ::DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
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

void Win32MainWindow::onCommand(WORD id, WORD code)
{
    if (!form_)
        return;
    switch (id) {
    case kCmdOpenId:
        if (code == BN_CLICKED)
            form_->cmdOpen_Click();
        return;
    case kCmdWriteId:
        if (code == BN_CLICKED)
            form_->cmdWrite_Click();
        return;
    case kCmdResetId:
        if (code == BN_CLICKED)
            form_->cmdReset_Click();
        return;
    case kTxtInfoId:
        if (code == EN_CHANGE && !showingLog_)
            form_->txtInfo_Change(narrow(windowText(txtInfo)));
        return;
    case kCboPortId:
        if (code == CBN_DROPDOWN)
            refreshTooltips();
        return;
    default:
        return;  // Esc (IDCANCEL) and Return elsewhere (IDOK) do nothing
    }
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

void Win32MainWindow::showFileName(const std::string& path)
{
    ::SetWindowTextW(lblFileName, widen(path).c_str());
}

void Win32MainWindow::showLog(const std::string& log)
{
    showingLog_ = true;
    ::SetWindowTextW(txtInfo, widen(log).c_str());
    showingLog_ = false;
    const LRESULT end = ::GetWindowTextLengthW(txtInfo);
    ::SendMessageW(txtInfo, EM_SETSEL, static_cast<WPARAM>(end), end);
    ::SendMessageW(txtInfo, EM_SCROLLCARET, 0, 0);
}

int Win32MainWindow::portChoice() const
{
    return static_cast<int>(::SendMessageW(cboPort, CB_GETCURSEL, 0, 0));
}

void Win32MainWindow::selectPort(int position)
{
    ::SendMessageW(cboPort, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
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

std::string Win32MainWindow::showOpenDialog(const OpenDialogSettings& settings)
{
    std::vector<wchar_t> path(kLongestPath, L'\0');
    const std::wstring title = widen(settings.title);
    const std::wstring filter = dialogFilter(settings.filter);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
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

void Win32MainWindow::showMessageBox(const std::string& text)
{
    ::MessageBoxW(window_, widen(text).c_str(), widen(kProgramTitle).c_str(), MB_OK);
}

void Win32MainWindow::closeWindow()
{
    if (window_)
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

} // namespace tavrek
