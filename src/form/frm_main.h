#pragma once

#include <memory>
#include <string>

#include "form/common_dialog.h"
#include "form/form_view.h"
#include "platform/com_numbering.h"
#include "support/clock.h"
#include "support/port_control.h"
#include "support/support.h"
#include "support/text_file.h"
#include "support/window_services.h"

namespace tavrek {

// What the window is made with; the form owns it for its whole life.
struct FormParts {
    std::unique_ptr<PortControl> port;        // the serial port control MSComm1
    std::unique_ptr<FileSystem> files;        // the HEX files, for loading
    std::unique_ptr<Clock> clock;             // for the reset pulses and the reply time-out
    std::shared_ptr<SerialPortLister> ports;  // the ports present, for the port list's tooltips
};

// Tavrek's one window, whatever toolkit shows it: choose the HEX file and the
// port, Write the chip, pulse its reset line, and read the log. It owns the
// Support procedures and serves them the log, the port choice, the port
// control and message boxes; its view shows the controls and passes the
// operator's actions in.
class frmMain : public WindowServices {
public:
    // The view's controls exist; Form_Load runs here.
    frmMain(FormParts parts, FormView& view);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // The commands behind "...", Write and Reset.
    void cmdOpen_Click();
    void cmdWrite_Click();
    void cmdReset_Click();

    // The operator typed into the log box, which is not read-only: its whole
    // text, every line ended by CR LF, becomes the log.
    void txtInfo_Change(std::string text) { log_ = std::move(text); }
    // The operator asked to close the window: true when it may close now;
    // during a Write false, and the window closes once the Write has ended.
    bool Form_QueryUnload();
    // What each port list entry opens now, for its tooltip.
    PortTooltips portTooltips();

    void putInfo(const std::string& message) override;
    int portChoice() const override;
    PortControl& portControl() override;
    void messageBox(const std::string& text) override;
    void processEvents() override;

    // The log as the procedures wrote it: every line ends with CR LF.
    const std::string& logText() const { return log_; }
    Support& support() { return support_; }
    bool writeRunning() const { return writeRunning_; }

private:
    class WriteRun;

    void Form_Load();
    void closePortQuietly();

    FormView& view_;
    // Declared before support_, which holds references to them.
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<PortControl> MSComm1;
    std::shared_ptr<SerialPortLister> ports_;
    Support support_;
    CommonDialog comDiag;

    std::string log_;
    bool writeRunning_ = false;
    bool closeAfterWrite_ = false;  // the operator closed the window during a Write
};

} // namespace tavrek
