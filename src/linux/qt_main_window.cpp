// The window on Qt: the form's controls as Qt widgets.

#include "linux/qt_main_window.h"

#include "form/form_layout.h"

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

QRect toPixels(const TwipsRect& r)
{
    return {twipsToPixels(r.left), twipsToPixels(r.top), twipsToPixels(r.width), twipsToPixels(r.height)};
}

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

QtMainWindow::QtMainWindow(WindowParts parts, QWidget* parent)
    : QWidget(parent), showOpenDialog_(std::move(parts.showOpenDialog)),
      showMessageBox_(std::move(parts.showMessageBox))
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
    centreOnScreen();
    form_ = std::make_unique<frmMain>(std::move(parts.form), *this);
    showPortDevices();
    connectCommands();
    cmdOpen->setFocus();
}

QtMainWindow::~QtMainWindow()
{
    disconnect(txtInfo, nullptr, this, nullptr);
}

void QtMainWindow::createControls()
{
    const auto named = [this](auto* control, const char* name) {
        control->setObjectName(QLatin1String(name));
        return control;
    };
    lblFileName = named(new QLabel(this), "lblFileName");
    lblFileName->setTextFormat(Qt::PlainText);
    cmdOpen = named(new QPushButton(QString::fromLatin1(kCmdOpenCaption), this), "cmdOpen");
    txtInfo = named(new QPlainTextEdit(this), "txtInfo");
    txtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtInfo->setTabChangesFocus(true);
    cboPort = named(new PortList([this] { showPortDevices(); }, this), "cboPort");
    for (const char* name : kPortNames)
        cboPort->addItem(QString::fromLatin1(name));
    cmdWrite = named(new QPushButton(QString::fromLatin1(kCmdWriteCaption), this), "cmdWrite");
    cmdWrite->setFont(commandFont());
    prgBar = named(new QProgressBar(this), "prgBar");
    prgBar->setRange(0, kProgressMaximum);
    prgBar->setValue(0);
    prgBar->setTextVisible(false);
    cmdReset = named(new QPushButton(QString::fromLatin1(kCmdResetCaption), this), "cmdReset");
    cmdReset->setFont(commandFont());
}

void QtMainWindow::placeControls()
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
void QtMainWindow::orderTabs()
{
    QWidget::setTabOrder(cmdOpen, txtInfo);
    QWidget::setTabOrder(txtInfo, cboPort);
    QWidget::setTabOrder(cboPort, cmdWrite);
    QWidget::setTabOrder(cmdWrite, cmdReset);
}

void QtMainWindow::centreOnScreen()
{
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

void QtMainWindow::connectCommands()
{
    connect(cmdOpen, &QPushButton::clicked, this, [this] { form_->cmdOpen_Click(); });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { form_->cmdWrite_Click(); });
    connect(cmdReset, &QPushButton::clicked, this, [this] { form_->cmdReset_Click(); });
    for (QPushButton* command : {cmdOpen, cmdWrite, cmdReset})
        command->installEventFilter(this);
    connect(txtInfo, &QPlainTextEdit::textChanged, this, &QtMainWindow::takeTypedLog);
}

// Each entry of the port list names, in its tooltip, the device it opens.
void QtMainWindow::showPortDevices()
{
    const PortTooltips tooltips = form_->portTooltips();
    for (int i = 0; i < cboPort->count() && i < kComCount; ++i)
        cboPort->setItemData(i, QString::fromStdString(tooltips[i]), Qt::ToolTipRole);
}

void QtMainWindow::showFileName(const std::string& path)
{
    lblFileName->setText(QFile::decodeName(QByteArray::fromStdString(path)));
}

void QtMainWindow::showLog(const std::string& log)
{
    showingLog_ = true;
    txtInfo->setPlainText(toDisplayText(log));
    showingLog_ = false;
    txtInfo->moveCursor(QTextCursor::End);
    txtInfo->ensureCursorVisible();
}

// The log box is not read-only: what the operator types becomes part of the
// log, and the next line is appended after it.
void QtMainWindow::takeTypedLog()
{
    if (!showingLog_)
        form_->txtInfo_Change(toLogText(txtInfo->toPlainText()));
}

int QtMainWindow::portChoice() const
{
    return cboPort->currentIndex();
}

void QtMainWindow::selectPort(int position)
{
    cboPort->setCurrentIndex(position);
}

// Disabled buttons take no clicks and no access keys. The focus, when one of
// them held it, comes back to it once they are enabled again, unless the
// operator has moved it meanwhile.
void QtMainWindow::enableCommands(bool enabled)
{
    if (!enabled) {
        QWidget* focus = focusWidget();
        focusBeforeDisabling_ = focus == cmdWrite || focus == cmdReset ? focus : nullptr;
    }
    cmdWrite->setEnabled(enabled);
    cmdReset->setEnabled(enabled);
    if (!enabled) {
        focusMovedTo_ = focusWidget();
        return;
    }
    if (focusBeforeDisabling_ && focusWidget() == focusMovedTo_)
        focusBeforeDisabling_->setFocus();
    focusBeforeDisabling_ = nullptr;
}

std::string QtMainWindow::showOpenDialog(const OpenDialogSettings& settings)
{
    return showOpenDialog_(this, settings);
}

void QtMainWindow::showMessageBox(const std::string& text)
{
    showMessageBox_(this, text);
}

void QtMainWindow::processEvents()
{
    QCoreApplication::processEvents();
}

void QtMainWindow::closeWindow()
{
    close();
}

void QtMainWindow::closeEvent(QCloseEvent* event)
{
    if (form_->Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

// Return and Enter press a focused command button as Space does, as on
// Windows; Qt's push buttons outside a dialog take Space alone. (Qt's
// autoDefault would make them take Return too, but draws the focused button
// as the default one.) The button handles the Space itself, so a disabled
// one still does nothing.
bool QtMainWindow::eventFilter(QObject* watched, QEvent* event)
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
