// The window's commands (choose the file, Write, Reset) against the
// simulated chip, and what happens when the operator acts during a Write.

#include <QLabel>
#include <QProgressBar>

#include "window_fixture.h"

namespace tavrek::test {
namespace {

using OpenCommand = WindowTest;

TEST_F(OpenCommand, AChoiceShowsItsFullPathAndCancelKeepsThePreviousOne)
{
    const std::pair<const char*, const char*> choicesAndShown[] = {
        {"", ""}, {"/d/first.hex", "/d/first.hex"}, {"/d/second.HEX", "/d/second.HEX"}, {"", "/d/second.HEX"}};
    for (const auto& [choice, shown] : choicesAndShown) {
        choose(choice);
        EXPECT_EQ(control<QLabel>("lblFileName")->text(), shown) << choice;
        EXPECT_EQ(window->support().state().hexFileName, shown) << choice;
    }
    ASSERT_EQ(dialogsShown.size(), 4u);
    EXPECT_EQ(dialogsShown.back().title, "Select HEX File");
    EXPECT_EQ(dialogsShown.back().flags, 4);  // hides the read-only box, nothing else
    EXPECT_EQ(dialogsShown.back().filter, "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*");
}

using WriteCommand = WindowTest;

TEST_F(WriteCommand, EachWayOutAddsItsLinesOnlyASuccessEndsWithTheSuccessLineAndTheButtonsComeBack)
{
    const struct {
        const char* way;
        std::function<void()> arrange;
        std::string lines;  // what this Write adds to the log
        std::vector<std::string> boxes;
    } ways[] = {
        {"no file chosen yet", [] {}, "", {"Cannot open file"}},
        {"rejected file (checksum off)", [&] { choose(dir.write("bad.hex", ":00000001FE\n")); },
         "Could not parse hex file.\r\n", {}},
        {"silent chip", [&] { chip.setFaults({.silent = true}); choose(kBlink); },
         "Resetting PIC..\r\nSearching for bootloader...\r\nBootloader not found!\r\n", {}},
        {"port cannot be opened", [&] { sim().deviceMissing = true; }, "", {"Error opening port..."}},
        {"success", [] {}, kSuccessfulWriteLog, {}},
        {"second success in a row", [] {}, kSuccessfulWriteLog, {}},
    };
    std::string wholeLog;
    for (const auto& way : ways) {
        way.arrange();
        boxes.clear();
        write();
        wholeLog += way.lines;
        EXPECT_EQ(log(), wholeLog) << way.way;
        EXPECT_EQ(boxes, way.boxes) << way.way;
        EXPECT_TRUE(button("cmdWrite")->isEnabled() && button("cmdReset")->isEnabled()) << way.way;
        EXPECT_FALSE(sim().portOpen()) << way.way;
        chip.setFaults({});
        sim().deviceMissing = false;
    }
    EXPECT_EQ(control<QProgressBar>("prgBar")->value(), 0);
}

using ResetCommand = WindowTest;

TEST_F(ResetCommand, PulsesDtrOnTheLastWritesPortElseCom1OrTellsItCannotAndLogsNothing)
{
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::vector<int> portsOpened;
        bool fails;  // "Error opening port..." and no pulse
    } cases[] = {
        {"before any Write, COM4 shown", [&] { selectPort(3); }, {1}, false},
        {"after a Write on COM3, COM2 shown since",
         [&] {
             selectPort(2);
             choose(kBlink);
             write();
             selectPort(1);
         },
         {3, 3}, false},
        {"port already open", [&] { sim().setPortOpen(true); }, {1}, false},
        {"port cannot be opened", [&] { sim().deviceMissing = true; }, {}, true},
        {"DTR cannot be switched", [&] { sim().failDtrSwitch = true; }, {1}, true},
    };
    for (const auto& c : cases) {
        start();
        c.arrange();
        const std::string logBefore = log();
        const std::size_t dtrChangesBefore = sim().dtrChanges.size();
        button("cmdReset")->click();
        EXPECT_EQ(sim().portsOpened, c.portsOpened) << c.what;
        EXPECT_FALSE(sim().portOpen()) << c.what;
        EXPECT_EQ(log(), logBefore) << c.what;
        EXPECT_EQ(boxes, std::vector<std::string>(c.fails, "Error opening port...")) << c.what;
        const auto& dtr = sim().dtrChanges;
        ASSERT_EQ(dtr.size() - dtrChangesBefore, c.fails ? 0u : 2u) << c.what;
        if (c.fails)
            continue;
        const sim::SimPort::DtrChange on = dtr.end()[-2], off = dtr.back();
        EXPECT_TRUE(on.active && !off.active && off.atMs - on.atMs >= 50) << c.what;
    }
}

using DuringAWrite = WindowTest;

TEST_F(DuringAWrite, WriteAndResetAreDisabledKeysIncludedAndTheFocusComesBack)
{
    showActive();
    choose(kBlink);
    button("cmdWrite")->setFocus();
    bool ran = false;
    duringWrite([&] {
        ran = true;
        EXPECT_FALSE(button("cmdWrite")->isEnabled() || button("cmdReset")->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_W, Qt::AltModifier);
        QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
        for (const char* name : {"cmdWrite", "cmdReset"})
            QTest::keyClick(button(name), Qt::Key_Return);
        choose("");  // "..." still opens the dialog
    });
    write();
    ASSERT_TRUE(ran);
    EXPECT_EQ(log(), kSuccessfulWriteLog);
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    EXPECT_EQ(dialogsShown.size(), 2u);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdWrite"));
}

TEST_F(DuringAWrite, ClosingWaitsForTheRunToEndThenClosesWithThePortClosed)
{
    for (const int chipGoesSilentAfter : {0, 1}) {
        showActive();
        chip.setFaults({.silentAfterPacket = chipGoesSilentAfter});
        choose(kBlink);
        bool ran = false;
        duringWrite([&] { ran = !window->close(); });
        write();
        ASSERT_TRUE(ran);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(sim().portOpen());
        EXPECT_TRUE(log().ends_with(chipGoesSilentAfter ? "PIC not responding\r\n" : "Write Successful!\r\n")) << log();
    }
    showActive();
    EXPECT_TRUE(window->close());  // when idle, at once
}

} // namespace
} // namespace tavrek::test
