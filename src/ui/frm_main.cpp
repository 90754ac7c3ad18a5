#include "ui/frm_main.h"

#include "support/programming.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace tavrek {

namespace {

// The layout is kept in twips (1/1440 inch) and shown at 15 twips per pixel,
// the usual 96 dots per inch.
constexpr int kTwipsPerPixel = 15;

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// Where each control sits, as left, top, width and height in twips.
constexpr TwipsRect kClientArea{0, 0, 7905, 2115};
constexpr TwipsRect kLblFileNameAt{0, 0, 7335, 375};
constexpr TwipsRect kCmdOpenAt{7380, 0, 495, 375};
constexpr TwipsRect kTxtInfoAt{1480, 440, 6375, 1455};
constexpr TwipsRect kCboPortAt{0, 1560, 1455, 315};
constexpr TwipsRect kCmdWriteAt{0, 440, 1455, 540};
constexpr TwipsRect kPrgBarAt{0, 1920, 7815, 195};
constexpr TwipsRect kCmdResetAt{0, 1000, 1455, 540};

// Every length rounds to the nearest pixel, halves up.
constexpr int toPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect toPixels(const TwipsRect& r)
{
    return {toPixels(r.left), toPixels(r.top), toPixels(r.width), toPixels(r.height)};
}

constexpr const char* kCommandFontFamily = "MS Sans Serif";  // Write's and Reset's captions
constexpr double kCommandFontPoints = 9.75;
constexpr const char* kHexFilter = "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*";  // HEX files first
constexpr int kProgressMaximum = 100;  // the progress bar's full scale; nothing moves it off 0

// The port list: position n stands for port number n + 1.
const QStringList kPortNames{QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                             QStringLiteral("COM4"), QStringLiteral("COM5")};

// Bold "MS Sans Serif" where the machine has it, else the platform's own
// sans-serif user-interface font.
QFont commandFont()
{
    QFont font = QFontDatabase::families().contains(QLatin1String(kCommandFontFamily))
                     ? QFont(QLatin1String(kCommandFontFamily))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(kCommandFontPoints);
    font.setBold(true);
    return font;
}

// The port list: before it opens, each entry's tooltip is brought up to date
// with the device that entry opens now.
class PortList : public QComboBox {
public:
    PortList(std::function<void()> beforeOpening, QWidget* parent)
        : QComboBox(parent), beforeOpening_(std::move(beforeOpening))
    {
    }
    void showPopup() override
    {
        beforeOpening_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforeOpening_;
};

template <class T>
std::unique_ptr<T> required(std::unique_ptr<T> part, const char* what)
{
    if (!part)
        throw std::invalid_argument(std::string("frmMain needs ") + what);
    return part;
}

// The text widget shows one line break where the log holds CR LF.
QString toDisplayText(const std::string& log)
{
    return QString::fromStdString(log).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string toLogText(const QString& displayed)
{
    return QString(displayed).replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString();
}

} // namespace

// Write and Reset do nothing while a Write runs: both buttons, and so their
// access keys, are disabled for the run and enabled again however it ends.
// A close asked for during the run is carried out once it has ended.
class frmMain::WriteRun {
public:
    explicit WriteRun(frmMain& window) : window_(window), hadFocus_(window.focusWidget())
    {
        window_.writeRunning_ = true;
        setCommandsEnabled(false);
        if (hadFocus_ != window_.cmdWrite && hadFocus_ != window_.cmdReset)
            hadFocus_ = nullptr;
        focusMovedTo_ = window_.focusWidget();
    }

    ~WriteRun()
    {
        setCommandsEnabled(true);
        if (hadFocus_ && window_.focusWidget() == focusMovedTo_)
            hadFocus_->setFocus();
        window_.writeRunning_ = false;
        if (std::exchange(window_.closeAfterWrite_, false))
            window_.close();
    }

    WriteRun(const WriteRun&) = delete;
    WriteRun& operator=(const WriteRun&) = delete;

private:
    void setCommandsEnabled(bool enabled)
    {
        window_.cmdWrite->setEnabled(enabled);
        window_.cmdReset->setEnabled(enabled);
    }

    frmMain& window_;
    QWidget* hadFocus_;       // Write or Reset when it held the focus
    QWidget* focusMovedTo_;   // where the focus went when they were disabled
};

frmMain::frmMain(WindowParts parts, QWidget* parent)
    : QWidget(parent),
      files_(required(std::move(parts.files), "a file system")),
      clock_(required(std::move(parts.clock), "a clock")),
      MSComm1(required(std::move(parts.port), "a port control")),
      support_(*this, *files_, *clock_),
      comDiag(std::move(parts.showOpenDialog)),
      showMessageBox_(std::move(parts.showMessageBox)),
      ports_(std::move(parts.ports))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    // A fixed frame: no resizing and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(toPixels(kClientArea).size());
    createControls();
    placeControls();
    orderTabs();
    connectCommands();
    centreOnScreen();
    Form_Load();
    cmdOpen->setFocus();
}

frmMain::~frmMain()
{
    disconnect(txtInfo, nullptr, this, nullptr);
    closePortQuietly();
}

void frmMain::createControls()
{
    const auto named = [this](auto* control, const char* name) {
        control->setObjectName(QLatin1String(name));
        return control;
    };
    lblFileName = named(new QLabel(this), "lblFileName");
    lblFileName->setTextFormat(Qt::PlainText);
    cmdOpen = named(new QPushButton(QStringLiteral("..."), this), "cmdOpen");
    txtInfo = named(new QPlainTextEdit(this), "txtInfo");
    txtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtInfo->setTabChangesFocus(true);
    cboPort = named(new PortList([this] { showPortDevices(); }, this), "cboPort");
    cboPort->addItems(kPortNames);
    showPortDevices();
    cmdWrite = named(new QPushButton(QStringLiteral("&Write"), this), "cmdWrite");
    cmdWrite->setFont(commandFont());
    prgBar = named(new QProgressBar(this), "prgBar");
    prgBar->setRange(0, kProgressMaximum);
    prgBar->setValue(0);
    prgBar->setTextVisible(false);
    cmdReset = named(new QPushButton(QStringLiteral("&Reset"), this), "cmdReset");
    cmdReset->setFont(commandFont());
}

void frmMain::placeControls()
{
    lblFileName->setGeometry(toPixels(kLblFileNameAt));
    cmdOpen->setGeometry(toPixels(kCmdOpenAt));
    txtInfo->setGeometry(toPixels(kTxtInfoAt));
    cboPort->setGeometry(toPixels(kCboPortAt));
    cmdWrite->setGeometry(toPixels(kCmdWriteAt));
    prgBar->setGeometry(toPixels(kPrgBarAt));
    cmdReset->setGeometry(toPixels(kCmdResetAt));
}

// "...", the log, the port list, Write, Reset; the label and the progress bar
// take no focus.
void frmMain::orderTabs()
{
    QWidget::setTabOrder(cmdOpen, txtInfo);
    QWidget::setTabOrder(txtInfo, cboPort);
    QWidget::setTabOrder(cboPort, cmdWrite);
    QWidget::setTabOrder(cmdWrite, cmdReset);
}

void frmMain::centreOnScreen()
{
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

void frmMain::connectCommands()
{
    connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
    connect(cmdWrite, &QPushButton::clicked, this, &frmMain::cmdWrite_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frmMain::cmdReset_Click);
    for (QPushButton* command : {cmdOpen, cmdWrite, cmdReset})
        command->installEventFilter(this);
    connect(txtInfo, &QPlainTextEdit::textChanged, this, &frmMain::takeTypedLog);
}

void frmMain::Form_Load()
{
    support_.state().hexFileName.clear();
    cboPort->setCurrentIndex(0);
    MSComm1->setSettings(kBootloaderLine);
}

void frmMain::cmdOpen_Click()
{
    comDiag.setDialogTitle("Select HEX File");
    comDiag.setFlags(kOpenHideReadOnly);
    comDiag.setFilter(kHexFilter);
    comDiag.showOpen(this);
    if (comDiag.fileName().empty())
        return;
    support_.state().hexFileName = comDiag.fileName();
    lblFileName->setText(QFile::decodeName(QByteArray::fromStdString(support_.state().hexFileName)));
}

void frmMain::cmdWrite_Click()
{
    const WriteRun run(*this);
    if (support_.loadHex() < 0)
        return;
    if (support_.programPic() != kTrue)
        return;
    putInfo("Write Successful!");
}

// Pulses DTR on the number the port holds (the last Write's, else COM1),
// processing no window events. A port that cannot be opened, or whose DTR
// cannot be switched, is told in a message box; the port is not left open and
// nothing is logged.
void frmMain::cmdReset_Click()
{
    try {
        pulseResetLine(*MSComm1, *clock_);
    } catch (const std::exception&) {
        closePortQuietly();
        messageBox("Error opening port...");
    }
}

// Each entry of the port list names, in its tooltip, the device it opens.
void frmMain::showPortDevices()
{
    if (!ports_)
        return;
    const auto comPorts = currentComPorts(*ports_);
    for (int i = 0; i < cboPort->count() && i < kComCount; ++i)
        cboPort->setItemData(i, QString::fromStdString(describeComPort(comPorts[i])), Qt::ToolTipRole);
}

void frmMain::closePortQuietly()
{
    try {
        if (MSComm1->portOpen())
            MSComm1->setPortOpen(false);
    } catch (const std::exception&) {
        // A port whose device has gone may refuse even the close.
    }
}

void frmMain::putInfo(const std::string& message)
{
    log_ += message;
    log_ += "\r\n";
    showLog();
}

void frmMain::showLog()
{
    showingLog_ = true;
    txtInfo->setPlainText(toDisplayText(log_));
    showingLog_ = false;
    txtInfo->moveCursor(QTextCursor::End);
    txtInfo->ensureCursorVisible();
}

// The log box is not read-only: what the operator types becomes part of the
// log, and the next line is appended after it.
void frmMain::takeTypedLog()
{
    if (!showingLog_)
        log_ = toLogText(txtInfo->toPlainText());
}

int frmMain::portChoice() const
{
    return cboPort->currentIndex();
}

PortControl& frmMain::portControl()
{
    return *MSComm1;
}

void frmMain::messageBox(const std::string& text)
{
    showMessageBox_(this, text);
}

void frmMain::processEvents()
{
    QCoreApplication::processEvents();
}

// Closing during a Write waits for the run to end, so that the chip is never
// left half written and the port is closed by the run itself.
void frmMain::closeEvent(QCloseEvent* event)
{
    if (writeRunning_) {
        closeAfterWrite_ = true;
        event->ignore();
        return;
    }
    closePortQuietly();
    event->accept();
}

// Return and Enter press a focused command button as Space does, as on
// Windows; Qt's push buttons outside a dialog take Space alone. (Qt's
// autoDefault would make them take Return too, but draws the focused button
// as the default one.) The button handles the Space itself, so a disabled
// one still does nothing.
bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QKeyEvent space(key->type(), Qt::Key_Space, key->modifiers(), QStringLiteral(" "), key->isAutoRepeat());
            QCoreApplication::sendEvent(watched, &space);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tavrek
