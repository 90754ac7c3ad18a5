// The window as the operator first sees it, the keyboard, and the log.

#include <QFontDatabase>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>

#include "window_fixture.h"

namespace tavrek::test {
namespace {

using Layout = WindowTest;

TEST_F(Layout, EveryControlSitsWhereTheTwipsTableSaysAtFifteenTwipsPerPixel)
{
    // Left, top, width and height in twips divided by 15, to the nearest pixel.
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
}

TEST_F(Layout, AFixedCaptionedWindowInTheMiddleOfTheScreen)
{
    EXPECT_EQ(window->objectName(), "frmMain");
    EXPECT_EQ(window->windowTitle(), "Tavrek");
    EXPECT_EQ(window->size(), QSize(527, 141));  // 7905 x 2115 twips
    EXPECT_EQ(window->minimumSize(), window->size());
    EXPECT_EQ(window->maximumSize(), window->size());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    window->show();
    const QPoint middle = window->screen()->availableGeometry().center();
    // The frame that the window system adds may shift the client area by its width.
    EXPECT_LE((window->geometry().center() - middle).manhattanLength(), 8);
}

TEST_F(Layout, ControlsStartAsTheOperatorExpects)
{
    EXPECT_EQ(button("cmdOpen")->text(), "...");
    EXPECT_EQ(button("cmdWrite")->text(), "&Write");
    EXPECT_EQ(button("cmdReset")->text(), "&Reset");
    EXPECT_EQ(control<QLabel>("lblFileName")->text(), "");
    EXPECT_EQ(hexFileName(), "");

    auto* ports = control<QComboBox>("cboPort");
    EXPECT_FALSE(ports->isEditable());
    ASSERT_EQ(ports->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ports->itemText(i), QString("COM%1").arg(i + 1));
    EXPECT_EQ(ports->currentIndex(), 0);

    auto* log = control<QPlainTextEdit>("txtInfo");
    EXPECT_TRUE(log->toPlainText().isEmpty());
    EXPECT_FALSE(log->isReadOnly());
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    auto* progress = control<QProgressBar>("prgBar");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);

    EXPECT_FALSE(sim().portOpen());
    EXPECT_EQ(sim().commPort(), 1);
    EXPECT_EQ(sim().settings(), "115200,n,8,1");
}

TEST_F(Layout, WriteAndResetAreBoldAtNineAndThreeQuarterPoints)
{
    const QString family = QFontDatabase::families().contains("MS Sans Serif")
                               ? QString("MS Sans Serif")
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    for (const char* name : {"cmdWrite", "cmdReset"}) {
        const QFont font = button(name)->font();
        EXPECT_TRUE(font.bold()) << name;
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75) << name;
        EXPECT_EQ(font.family(), family) << name;
    }
    EXPECT_FALSE(button("cmdOpen")->font().bold());
}

TEST_F(Layout, OpenHasTheFocusAndTabFollowsTheTableRoundTheWindow)
{
    showActive();
    EXPECT_EQ(QApplication::focusWidget(), button("cmdOpen"));
    EXPECT_EQ(control("lblFileName")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(control("prgBar")->focusPolicy(), Qt::NoFocus);

    QStringList visited;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, QStringList({"txtInfo", "cboPort", "cmdWrite", "cmdReset", "cmdOpen"}));
    EXPECT_FALSE(control<QPlainTextEdit>("txtInfo")->toPlainText().contains('\t'));
}

TEST_F(Layout, AltWWritesAndAltRResets)
{
    showActive();
    QTest::keyClick(window.get(), Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !boxes.empty(); }));  // Write with no file chosen
    EXPECT_EQ(boxes[0], "Cannot open file");

    QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !sim().portsOpened.empty(); }));
    EXPECT_FALSE(sim().portOpen());
}

using Log = WindowTest;

TEST_F(Log, EachCallAddsTheMessageAndCrLf)
{
    window->putInfo("A");
    window->putInfo("B");
    window->putInfo("C");
    EXPECT_EQ(log(), "A\r\nB\r\nC\r\n");
    EXPECT_EQ(control<QPlainTextEdit>("txtInfo")->toPlainText(), "A\nB\nC\n");

    window->putInfo("");
    EXPECT_EQ(log(), "A\r\nB\r\nC\r\n\r\n");
}

TEST_F(Log, TheCaretEndsAtTheEndAndTheNewestLineIsInView)
{
    window->show();
    auto* box = control<QPlainTextEdit>("txtInfo");
    for (int line = 1; line <= 200; ++line) {
        window->putInfo("line " + std::to_string(line));
        ASSERT_TRUE(box->textCursor().atEnd()) << line;
    }
    QScrollBar* scroll = box->verticalScrollBar();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    const QRect caret = box->cursorRect();
    EXPECT_TRUE(box->viewport()->rect().contains(caret.center()));
}

TEST_F(Log, WhatTheOperatorTypesStaysAndTheNextLineFollowsIt)
{
    showActive();
    window->putInfo("A");
    auto* box = control<QPlainTextEdit>("txtInfo");
    box->setFocus();
    QTest::keyClicks(box, "note");
    window->putInfo("B");
    EXPECT_EQ(log(), "A\r\nnoteB\r\n");
    EXPECT_EQ(box->toPlainText(), "A\nnoteB\n");
}

} // namespace
} // namespace tavrek::test
