#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QWidget>

#include "form/frm_main.h"
#include "linux/qt_dialogs.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tavrek {

// Shows a modal message box with the text and an OK button; returns when it
// is closed. Tests put a recording one in.
using ShowMessageBox = std::function<void(QWidget* parent, const std::string& text)>;

// What the Qt window is made with: the form's parts and Qt's dialogs.
struct WindowParts {
    FormParts form;
    ShowOpenDialog showOpenDialog = showQtOpenDialog;
    ShowMessageBox showMessageBox = showQtMessageBox;
};

// The window on Qt: the form's controls as Qt widgets, laid out as the form
// table gives them, with the operator's clicks, keys and typing passed to the
// form. The window's object name is frmMain, and each control's its name.
class QtMainWindow : public QWidget, public FormView {
    Q_OBJECT

public:
    explicit QtMainWindow(WindowParts parts, QWidget* parent = nullptr);
    ~QtMainWindow() override;

    frmMain& form() { return *form_; }

    void showFileName(const std::string& path) override;
    void showLog(const std::string& log) override;
    int portChoice() const override;
    void selectPort(int position) override;
    void enableCommands(bool enabled) override;
    std::string showOpenDialog(const OpenDialogSettings& settings) override;
    void showMessageBox(const std::string& text) override;
    void processEvents() override;
    void closeWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void placeControls();
    void orderTabs();
    void centreOnScreen();
    void connectCommands();
    void showPortDevices();
    void takeTypedLog();

    ShowOpenDialog showOpenDialog_;
    ShowMessageBox showMessageBox_;

    QLabel* lblFileName = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPlainTextEdit* txtInfo = nullptr;
    QComboBox* cboPort = nullptr;
    QPushButton* cmdWrite = nullptr;
    QProgressBar* prgBar = nullptr;
    QPushButton* cmdReset = nullptr;

    bool showingLog_ = false;            // txtInfo is being set from the log, not typed into
    QWidget* focusBeforeDisabling_ = nullptr;  // Write or Reset when it held the focus
    QWidget* focusMovedTo_ = nullptr;    // where the focus went when they were disabled
    std::unique_ptr<frmMain> form_;      // last: its Form_Load drives the controls above
};

} // namespace tavrek
