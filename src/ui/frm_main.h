#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QWidget>

#include "platform/com_numbering.h"
#include "support/clock.h"
#include "support/port_control.h"
#include "support/support.h"
#include "support/text_file.h"
#include "support/window_services.h"
#include "ui/common_dialog.h"
#include "ui/qt_dialogs.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tavrek {

// Shows a modal message box with the text and an OK button; returns when it
// is closed. Tests put a recording one in.
using ShowMessageBox = std::function<void(QWidget* parent, const std::string& text)>;

// What the window is made with; it owns all of it for its whole life.
struct WindowParts {
    std::unique_ptr<PortControl> port;    // the serial port control MSComm1
    std::unique_ptr<FileSystem> files;    // the HEX files, for loading
    std::unique_ptr<Clock> clock;         // for the reset pulses and the reply time-out
    ShowOpenDialog showOpenDialog = showQtOpenDialog;
    ShowMessageBox showMessageBox = showQtMessageBox;
    std::shared_ptr<SerialPortLister> ports;  // the ports present, for the port list's tooltips
};

// Tavrek's one window: choose the HEX file and the port, Write the chip,
// pulse its reset line, and read the log. It owns the Support procedures and
// serves them the log, the port choice, the port control and message boxes.
class frmMain : public QWidget, public WindowServices {
    Q_OBJECT

public:
    explicit frmMain(WindowParts parts, QWidget* parent = nullptr);
    ~frmMain() override;

    void putInfo(const std::string& message) override;
    int portChoice() const override;
    PortControl& portControl() override;
    void messageBox(const std::string& text) override;
    void processEvents() override;

    // The log as the procedures wrote it: every line ends with CR LF.
    const std::string& logText() const { return log_; }
    Support& support() { return support_; }
    bool writeRunning() const { return writeRunning_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class WriteRun;

    void createControls();
    void placeControls();
    void orderTabs();
    void centreOnScreen();
    void connectCommands();

    void Form_Load();
    void cmdOpen_Click();
    void cmdWrite_Click();
    void cmdReset_Click();

    void showPortDevices();
    void closePortQuietly();
    void showLog();
    void takeTypedLog();

    // Declared before support_, which holds references to them.
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<PortControl> MSComm1;
    Support support_;
    CommonDialog comDiag;
    ShowMessageBox showMessageBox_;
    std::shared_ptr<SerialPortLister> ports_;

    QLabel* lblFileName = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPlainTextEdit* txtInfo = nullptr;
    QComboBox* cboPort = nullptr;
    QPushButton* cmdWrite = nullptr;
    QProgressBar* prgBar = nullptr;
    QPushButton* cmdReset = nullptr;

    std::string log_;
    bool showingLog_ = false;       // txtInfo is being set from log_, not typed into
    bool writeRunning_ = false;
    bool closeAfterWrite_ = false;  // the operator closed the window during a Write
};

} // namespace tavrek
