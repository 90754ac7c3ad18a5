#pragma once

// The browser: the form's controls as the page's elements.

#include <memory>
#include <string>

#include "form/frm_main.h"

namespace tavrek {

// The commands the page's buttons run, as the page numbers them.
enum class PageCommand { None = 0, Open = 1, Write = 2, Reset = 3 };

// The window as a web page: the form's controls are elements with the
// controls' names as ids, placed as the form's table gives them; the page's
// clicks come in through run(). What differs from a desktop window is what
// the browser imposes: its own file chooser, a dialog in the page for a
// message box, and no way to close the page from inside.
class WebPage : public FormView {
public:
    explicit WebPage(FormParts parts);
    ~WebPage() override;
    WebPage(const WebPage&) = delete;
    WebPage& operator=(const WebPage&) = delete;

    frmMain& form() { return *form_; }
    void run(PageCommand command);

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
    void placeControls();

    std::unique_ptr<frmMain> form_;
};

// The file types an open dialog's filter offers first, as an <input
// type="file"> takes them: "INHEX32 Files (*.HEX)|*.HEX|..." gives ".HEX";
// empty where the first choice is every file.
std::string acceptedFileTypes(const std::string& filter);

} // namespace tavrek
