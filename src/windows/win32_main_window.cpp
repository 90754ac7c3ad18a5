// Windows: the window made of the system's own controls.

#include "windows/win32_main_window.h"

#include <commctrl.h>

#include <stdexcept>
#include <utility>

#include "form/form_layout.h"
#include "windows/win32_dialogs.h"
#include "windows/win32_dpi.h"
#include "windows/win32_text.h"
#include "windows/resource.h"

namespace tavrek {

namespace {

constexpr const wchar_t* kWindowClass = L"TavrekMainWindow";
constexpr int kPointsPerInch = 72;
constexpr const wchar_t* kCommandFontFace = L"Microsoft Sans Serif";  // the system's "MS Sans Serif"

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

std::wstring windowText(HWND control)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
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

std::string Win32MainWindow::showOpenDialog(const OpenDialogSettings& settings)
{
    return showWin32OpenDialog(window_, settings);
}

void Win32MainWindow::showMessageBox(const std::string& text)
{
    showWin32MessageBox(window_, text);
}

void Win32MainWindow::closeWindow()
{
    if (window_)
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

} // namespace tavrek
