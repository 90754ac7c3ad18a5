#pragma once

#include <functional>
#include <string>
#include <utility>

#include "form/form_view.h"

namespace tavrek {

// The window's file dialog: settings first, then a modal showOpen, then the
// chosen name. Cancel is no failure: it leaves the name empty.
class CommonDialog {
public:
    using Show = std::function<std::string(const OpenDialogSettings& settings)>;

    explicit CommonDialog(Show show) : show_(std::move(show)) {}

    void setDialogTitle(std::string title) { settings_.title = std::move(title); }
    void setFlags(int flags) { settings_.flags = flags; }
    void setFilter(std::string filter) { settings_.filter = std::move(filter); }

    // Returns when the operator has closed the dialog.
    void showOpen() { fileName_ = show_(settings_); }
    // The full path chosen by the last showOpen; empty when none was chosen.
    const std::string& fileName() const { return fileName_; }

private:
    Show show_;
    OpenDialogSettings settings_;
    std::string fileName_;
};

} // namespace tavrek
