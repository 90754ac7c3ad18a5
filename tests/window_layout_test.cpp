// The window as the operator first sees it, the keyboard, and the log.

#include <array>

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>

#include "window_fixture.h"

namespace tavrek::test {
namespace {

using Layout = WindowTest;

TEST_F(Layout, AFixedWindowInTheMiddleOfTheScreenLaidOutAndCaptionedAsTheTable)
{
    EXPECT_EQ(window->windowTitle(), "Tavrek");
    EXPECT_EQ(window->minimumSize(), QSize(527, 141));  // 7905 x 2115 twips at 15 twips per pixel
    EXPECT_EQ(window->maximumSize(), QSize(527, 141));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    window->show();
    // The frame that the window system adds may shift the client area by its width.
    EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 8);

    const struct {
        const char* name;
        QRect pixels;
    } table[] = {
        {"lblFileName", {0, 0, 489, 25}},  // 0, 0, 7335, 375
        {"cmdOpen", {492, 0, 33, 25}},     // 7380, 0, 495, 375
        {"txtInfo", {99, 29, 425, 97}},    // 1480, 440, 6375, 1455
        {"cboPort", {0, 104, 97, 21}},     // 0, 1560, 1455, 315
        {"cmdWrite", {0, 29, 97, 36}},     // 0, 440, 1455, 540
        {"prgBar", {0, 128, 521, 13}},     // 0, 1920, 7815, 195
        {"cmdReset", {0, 67, 97, 36}},     // 0, 1000, 1455, 540
    };
    for (const auto& row : table)
        EXPECT_EQ(control(row.name)->geometry(), row.pixels) << row.name;

    const QString boldFamily = QFontDatabase::families().contains("MS Sans Serif")
                                   ? QString("MS Sans Serif")
                                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    for (const auto& [name, caption, bold] : {std::tuple{"cmdOpen", "...", false}, std::tuple{"cmdWrite", "&Write", true},
                                              std::tuple{"cmdReset", "&Reset", true}}) {
        const QFont font = button(name)->font();
        EXPECT_EQ(button(name)->text(), caption);
        EXPECT_EQ(font.bold(), bold) << name;
        EXPECT_TRUE(!bold || (font.pointSizeF() == 9.75 && font.family() == boldFamily)) << font.toString().toStdString();
    }
    auto* ports = control<QComboBox>("cboPort");
    EXPECT_EQ(ports->currentIndex(), 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ports->itemText(i), QString("COM%1").arg(i + 1));
    EXPECT_EQ(ports->count(), 5);
    EXPECT_EQ(control<QProgressBar>("prgBar")->maximum(), 100);
    EXPECT_EQ(sim().settings(), "115200,n,8,1");
}

TEST_F(Layout, OpenHasTheFocusTabFollowsTheTableAndAltWAndAltRRunTheirCommands)
{
    showActive();
    EXPECT_EQ(QApplication::focusWidget(), button("cmdOpen"));
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, QStringList({"txtInfo", "cboPort", "cmdWrite", "cmdReset", "cmdOpen"}));

    QTest::keyClick(window.get(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return boxes == std::vector<std::string>{"Cannot open file"}; }));  // no file yet
    QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !sim().portsOpened.empty(); }));
}

TEST_F(Layout, EachPortEntryNamesInItsTooltipTheDeviceItOpensWhenTheListIsOpened)
{
    auto* ports = control<QComboBox>("cboPort");
    const auto tooltips = [ports] {
        QStringList shown;
        for (int i = 0; i < ports->count(); ++i)
            shown << ports->itemData(i, Qt::ToolTipRole).toString();
        return shown;
    };
    EXPECT_EQ(tooltips(), QStringList(5, "no serial port"));
    portsPresent->ports = {{"/dev/ttyUSB0", "FT232R USB UART", "FTDI"}};  // plugged in after the start
    PortMapping com3(3, "/dev/pts/9");
    showActive();
    ports->showPopup();
    EXPECT_EQ(tooltips(), QStringList({"/dev/ttyUSB0: FT232R USB UART (FTDI)", "no serial port",
                                       "/dev/pts/9, not present, set by TAVREK_COM3", "no serial port",
                                       "no serial port"}));
    ports->hidePopup();
    EXPECT_EQ(ports->itemText(0), "COM1");
}

// "..." has the focus at start, so Return at once brings up the file dialog.
TEST_F(Layout, ReturnAndEnterPressTheFocusedButtonAsSpaceDoes)
{
    showActive();
    const struct {
        const char* focus;  // nothing: where the window put it
        Qt::Key key;
        std::array<std::size_t, 3> dialogsBoxesPortOpens;  // all so far
    } presses[] = {
        {nullptr, Qt::Key_Return, {1, 0, 0}},
        {"cmdOpen", Qt::Key_Enter, {2, 0, 0}},
        {"cmdWrite", Qt::Key_Return, {2, 1, 0}},  // "Cannot open file": none chosen
        {"cmdWrite", Qt::Key_Enter, {2, 2, 0}},
        {"cmdReset", Qt::Key_Return, {2, 2, 1}},
        {"cmdReset", Qt::Key_Enter, {2, 2, 2}},
    };
    for (const auto& p : presses) {
        if (p.focus)
            button(p.focus)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), p.key, p.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ((std::array{dialogsShown.size(), boxes.size(), sim().portsOpened.size()}), p.dialogsBoxesPortOpens)
            << (p.focus ? p.focus : "at start") << (p.key == Qt::Key_Return ? " Return" : " Enter");
    }
}

using Log = WindowTest;

TEST_F(Log, EachLineEndsWithCrLfTypedTextStaysAndTheNewestLineIsInView)
{
    showActive();
    for (const char* message : {"A", "B", "C", ""})
        window->putInfo(message);
    auto* box = control<QPlainTextEdit>("txtInfo");
    EXPECT_EQ(log(), "A\r\nB\r\nC\r\n\r\n");
    EXPECT_EQ(box->toPlainText(), "A\nB\nC\n\n");

    box->setFocus();
    QTest::keyClicks(box, "note");
    window->putInfo("D");
    EXPECT_EQ(log(), "A\r\nB\r\nC\r\n\r\nnoteD\r\n");
    for (int line = 0; line < 100; ++line)
        window->putInfo("line");
    EXPECT_TRUE(box->textCursor().atEnd());
    EXPECT_GT(box->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect().center()));
}

} // namespace
} // namespace tavrek::test
