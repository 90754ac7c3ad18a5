#pragma once

#include <array>
#include <string>

#include "platform/com_numbering.h"

namespace tavrek {

// The program's title: the window's caption and every message box's.
inline constexpr const char* kProgramTitle = "Tavrek";

// How the next open dialog looks and what it lists. The filter is a list of
// "description|pattern" pairs joined by "|"; the first pair is preselected.
struct OpenDialogSettings {
    std::string title;
    int flags = 0;
    std::string filter;
};

// The flag that hides the dialog's read-only check box. It is the only flag
// the window sets: with no "file must exist" flag, any typed name is taken.
inline constexpr int kOpenHideReadOnly = 0x4;

// What one port list entry's tooltip says, COM1 first.
using PortTooltips = std::array<std::string, kComCount>;

// The window's controls as the form drives them. Each toolkit's window
// implements it: it creates and places the controls and passes the
// operator's actions to the form; the behaviour is the form's.
class FormView {
public:
    virtual ~FormView() = default;

    // lblFileName's caption.
    virtual void showFileName(const std::string& path) = 0;
    // txtInfo: the whole log, every line ended by CR LF, with the caret at
    // its end and the newest line in view.
    virtual void showLog(const std::string& log) = 0;
    // cboPort: the position chosen, 0 to 4 for COM1 to COM5.
    virtual int portChoice() const = 0;
    virtual void selectPort(int position) = 0;
    // cmdWrite and cmdReset, access keys included.
    virtual void enableCommands(bool enabled) = 0;
    // comDiag: a modal open dialog; the chosen full path, empty on Cancel.
    virtual std::string showOpenDialog(const OpenDialogSettings& settings) = 0;
    // A modal box with the text alone, one OK button, no icon, captioned with
    // the program's title; returns when it is closed.
    virtual void showMessageBox(const std::string& text) = 0;
    // Lets the window process its pending events: repaints, the operator's
    // clicks and keys.
    virtual void processEvents() = 0;
    // Closes the window, as a close the operator asked for during a Write
    // is carried out once the Write has ended.
    virtual void closeWindow() = 0;
};

} // namespace tavrek
