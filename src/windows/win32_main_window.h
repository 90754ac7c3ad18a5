#pragma once

// Windows: the window made of the system's own controls.

#include <windows.h>

#include <memory>
#include <string>

#include "form/frm_main.h"

namespace tavrek {

// The window on Win32: the form's controls as the system's own (a label,
// push buttons with access keys, a pick-only combo box, a multi-line edit, a
// progress bar), placed from the form's table in twips at the monitor's DPI,
// with the operator's clicks, keys and typing passed to the form. The message
// loop goes through IsDialogMessage, so that Tab, the access keys and Space
// work as in a dialog; Return and Enter press the focused button.
class Win32MainWindow : public FormView {
public:
    explicit Win32MainWindow(FormParts parts);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // Shows the window and runs its messages until it is closed; the exit
    // code of the program.
    int run(int showCommand);

    frmMain& form() { return *form_; }
    HWND handle() const { return window_; }

    void showFileName(const std::string& path) override;
    void showLog(const std::string& log) override;
    int portChoice() const override;
    void selectPort(int position) override;
    void enableCommands(bool enabled) override;
    std::string showOpenDialog(const OpenDialogSettings& settings) override;
    void showMessageBox(const std::string& text) override;
    void processEvents() override;
    void closeWindow() override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK logBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK portListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(WORD id, WORD code);
    LRESULT onNotify(const NMHDR& header);

    void createWindow();
    void createControls();
    void applyDpi(UINT dpi);
    void placeControls();
    void fitPortListHeight(int wanted);
    void makeFonts();
    void centreOnScreen();

    // The keys and the focus (win32_window_keys.cpp).
    void dispatch(MSG& message);
    bool pressFocusedButton(const MSG& message);
    bool pressAccessKey(const MSG& message);
    void rememberFocus();
    void restoreFocus();

    // The port list's tooltips (win32_port_tooltips.cpp).
    void createTooltips();
    void refreshTooltips();

    HWND window_ = nullptr;
    HWND lblFileName = nullptr;
    HWND cmdOpen = nullptr;
    HWND txtInfo = nullptr;
    HWND cboPort = nullptr;
    HWND cmdWrite = nullptr;
    HWND prgBar = nullptr;
    HWND cmdReset = nullptr;
    HWND tooltips_ = nullptr;
    HWND portListBox_ = nullptr;  // the drop-down list of cboPort

    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HFONT messageFont_ = nullptr;
    HFONT commandFont_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;

    PortTooltips portTips_;
    std::wstring tipText_;        // the text a tooltip shows now; it must outlive the call that hands it out
    int hoveredPort_ = -1;        // the entry under the pointer in the open port list
    bool showingLog_ = false;     // txtInfo is being set from the log, not typed into
    HWND focusBeforeDisabling_ = nullptr;  // Write or Reset when it held the focus
    HWND focusWhenInactive_ = nullptr;     // the control that had the focus when the window was deactivated
    std::unique_ptr<frmMain> form_;        // last: its Form_Load drives the controls above
};

} // namespace tavrek
