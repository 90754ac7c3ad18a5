#pragma once

#include <functional>
#include <string>
#include <utility>

class QWidget;

namespace tavrek {

// The flag that hides the dialog's read-only check box. It is the only flag
// the window sets: with no "file must exist" flag, any typed name is taken.
inline constexpr int kOpenHideReadOnly = 0x4;

// How the next open dialog looks and what it lists. The filter is a list of
// "description|pattern" pairs joined by "|"; the first pair is preselected.
struct OpenDialogSettings {
    std::string title;
    int flags = 0;
    std::string filter;
};

// Shows a modal file-open dialog and returns the chosen full path, or the
// empty text when the operator cancelled. Tests put a scripted one in.
using ShowOpenDialog = std::function<std::string(QWidget* parent, const OpenDialogSettings& settings)>;

// The window's file dialog: settings first, then a modal showOpen, then the
// chosen name. Cancel is no failure: it leaves the name empty.
class CommonDialog {
public:
    explicit CommonDialog(ShowOpenDialog show) : show_(std::move(show)) {}

    void setDialogTitle(std::string title) { settings_.title = std::move(title); }
    void setFlags(int flags) { settings_.flags = flags; }
    void setFilter(std::string filter) { settings_.filter = std::move(filter); }

    // Returns when the operator has closed the dialog.
    void showOpen(QWidget* parent) { fileName_ = show_(parent, settings_); }
    // The full path chosen by the last showOpen; empty when none was chosen.
    const std::string& fileName() const { return fileName_; }

private:
    ShowOpenDialog show_;
    OpenDialogSettings settings_;
    std::string fileName_;
};

} // namespace tavrek
