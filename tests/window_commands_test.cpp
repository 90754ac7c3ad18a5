// The window's commands (choose the file, Write, Reset) against the
// simulated chip, and what happens when the operator acts during a Write.

#include <QLabel>
#include <QProgressBar>

#include "window_fixture.h"

namespace tavrek::test {
namespace {

using OpenCommand = WindowTest;

TEST_F(OpenCommand, SetsUpTheDialogAnewOnEveryClick)
{
    cancelDialog();
    cancelDialog();
    ASSERT_EQ(dialogsShown.size(), 2u);
    for (const OpenDialogSettings& shown : dialogsShown) {
        EXPECT_EQ(shown.title, "Select HEX File");
        EXPECT_EQ(shown.flags, 4);  // hide the read-only box, nothing else
        EXPECT_EQ(shown.filter, "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*");
    }
}

TEST_F(OpenCommand, AChoiceShowsItsFullPathAndCancelKeepsThePreviousOne)
{
    auto* label = control<QLabel>("lblFileName");
    cancelDialog();
    EXPECT_EQ(label->text(), "");
    EXPECT_EQ(hexFileName(), "");

    choose("/data/first.hex");
    EXPECT_EQ(label->text(), "/data/first.hex");
    EXPECT_EQ(hexFileName(), "/data/first.hex");
    choose("/data/<b>second</b>.HEX");  // shown as it stands, never as markup
    EXPECT_EQ(label->text(), "/data/<b>second</b>.HEX");

    cancelDialog();
    EXPECT_EQ(label->text(), "/data/<b>second</b>.HEX");
    EXPECT_EQ(hexFileName(), "/data/<b>second</b>.HEX");
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(sim().portsOpened.empty());
    EXPECT_TRUE(boxes.empty());
}

using WriteCommand = WindowTest;

TEST_F(WriteCommand, WritesTheChipAndEndsTheLogWithTheSuccessLine)
{
    EXPECT_EQ(writeSmallProgram(), successfulWriteLog());
    EXPECT_TRUE(chipHoldsSmallProgram());
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(sim().portOpen());
    EXPECT_EQ(control<QProgressBar>("prgBar")->value(), 0);
}

TEST_F(WriteCommand, BeforeAnyFileItTellsCannotOpenAndNeverOpensThePort)
{
    write();
    EXPECT_EQ(boxes, std::vector<std::string>{"Cannot open file"});
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(sim().portsOpened.empty());
}

TEST_F(WriteCommand, ATypedNameOfAMissingFileIsTakenAndFailsAtWrite)
{
    const std::string missing = (dir.path() / "missing.hex").string();
    choose(missing);
    EXPECT_EQ(control<QLabel>("lblFileName")->text().toStdString(), missing);
    write();
    EXPECT_EQ(boxes, std::vector<std::string>{"Cannot open file"});
    EXPECT_TRUE(sim().portsOpened.empty());
}

TEST_F(WriteCommand, ARejectedFileStopsBeforeProgramming)
{
    choose(dir.write("bad.hex", ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF01\n" + kEndRecord));  // checksum off by one
    write();
    EXPECT_EQ(log(), "Could not parse hex file.\r\n");
    EXPECT_TRUE(sim().portsOpened.empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WriteCommand, AFailedRunAddsNoSuccessLine)
{
    chip.setFaults({.silent = true});
    choose(dir.write("small.hex", smallProgram()));
    write();
    EXPECT_EQ(log(), "Resetting PIC..\r\nSearching for bootloader...\r\nBootloader not found!\r\n");
    EXPECT_FALSE(sim().portOpen());
}

TEST_F(WriteCommand, TwoWritesInARowLogBothRunsInOrder)
{
    writeSmallProgram();
    write();
    EXPECT_EQ(log(), successfulWriteLog() + successfulWriteLog());
    EXPECT_EQ(chip.sessions(), 2);
}

using ResetCommand = WindowTest;

TEST_F(ResetCommand, BeforeAnyWriteItPulsesCom1WhateverTheListShows)
{
    selectPort(3);
    reset();
    EXPECT_EQ(sim().portsOpened, std::vector<int>{1});
    ASSERT_EQ(sim().dtrChanges.size(), 2u);
    EXPECT_TRUE(sim().dtrChanges[0].active);
    EXPECT_FALSE(sim().dtrChanges[1].active);
    EXPECT_GE(sim().dtrChanges[1].atMs - sim().dtrChanges[0].atMs, 50u);
    EXPECT_FALSE(sim().portOpen());
    EXPECT_TRUE(sim().dtrEnable());  // left on: the next open drives the line at once
    EXPECT_EQ(log(), "");
}

TEST_F(ResetCommand, AfterAWriteOnCom3ItUsesCom3ThoughCom2IsChosenSince)
{
    selectPort(2);
    writeSmallProgram();
    selectPort(1);
    const std::string logBefore = log();
    reset();
    EXPECT_EQ(sim().portsOpened, (std::vector<int>{3, 3}));
    EXPECT_FALSE(sim().portOpen());
    EXPECT_EQ(log(), logBefore);
}

TEST_F(ResetCommand, APortAlreadyOpenIsPulsedWithoutASecondOpenAndClosed)
{
    sim().setPortOpen(true);
    reset();
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    ASSERT_FALSE(sim().dtrChanges.empty());
    EXPECT_TRUE(sim().dtrChanges.front().active);
    EXPECT_FALSE(sim().portOpen());
}

TEST_F(ResetCommand, AnUnopenablePortIsToldInABoxAndNothingIsLogged)
{
    sim().deviceMissing = true;
    reset();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error opening port..."});
    EXPECT_FALSE(sim().portOpen());
    EXPECT_EQ(log(), "");

    sim().deviceMissing = false;  // the window goes on working
    reset();
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(ResetCommand, AFailingDtrSwitchIsToldAndThePortIsNotLeftOpen)
{
    port_->failDtrSwitch = true;
    reset();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error opening port..."});
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    EXPECT_FALSE(sim().portOpen());
    EXPECT_EQ(log(), "");
}

using DuringAWrite = WindowTest;

TEST_F(DuringAWrite, WriteAndResetAreDisabledKeysIncludedTheRestStaysUsable)
{
    showActive();
    choose(dir.write("small.hex", smallProgram()));
    duringWrite([this] {
        EXPECT_FALSE(button("cmdWrite")->isEnabled());
        EXPECT_FALSE(button("cmdReset")->isEnabled());
        EXPECT_TRUE(button("cmdOpen")->isEnabled());
        EXPECT_TRUE(control("cboPort")->isEnabled());
        EXPECT_TRUE(control("txtInfo")->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_W, Qt::AltModifier);
        QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
        EXPECT_FALSE(button("cmdWrite")->isDown());
        EXPECT_FALSE(button("cmdReset")->isDown());
        QTest::mouseClick(button("cmdWrite"), Qt::LeftButton);
        QTest::mouseClick(button("cmdReset"), Qt::LeftButton);
        cancelDialog();  // "..." still opens the dialog
    });
    write();
    ASSERT_TRUE(ranDuringWrite);
    EXPECT_EQ(log(), successfulWriteLog());
    EXPECT_EQ(chip.sessions(), 1);
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    EXPECT_EQ(dialogsShown.size(), 2u);
    EXPECT_TRUE(button("cmdWrite")->isEnabled());
    EXPECT_TRUE(button("cmdReset")->isEnabled());
}

TEST_F(DuringAWrite, TheButtonsComeBackOnEveryWayOut)
{
    const std::string program = dir.write("small.hex", smallProgram());
    const struct {
        const char* way;
        std::function<void()> arrange;
    } ways[] = {
        {"no file", [] {}},
        {"rejected file", [this] { choose(dir.write("bad.hex", ":00000001FE\n")); }},
        {"silent chip",
         [&] {
             chip.setFaults({.silent = true});
             choose(program);
         }},
        {"missing port",
         [&] {
             sim().deviceMissing = true;
             choose(program);
         }},
        {"success", [&] { choose(program); }},
    };
    for (const auto& way : ways) {
        way.arrange();
        write();
        EXPECT_TRUE(button("cmdWrite")->isEnabled()) << way.way;
        EXPECT_TRUE(button("cmdReset")->isEnabled()) << way.way;
        EXPECT_FALSE(window->writeRunning()) << way.way;
        EXPECT_FALSE(sim().portOpen()) << way.way;
        chip.setFaults({});
        sim().deviceMissing = false;
    }
}

TEST_F(DuringAWrite, TheFocusGoesBackToWriteWhenTheRunEnds)
{
    showActive();
    choose(dir.write("small.hex", smallProgram()));
    button("cmdWrite")->setFocus();
    write();
    EXPECT_EQ(QApplication::focusWidget(), button("cmdWrite"));
}

TEST_F(DuringAWrite, ClosingWaitsForTheRunThenClosesWithThePortClosed)
{
    showActive();
    choose(dir.write("small.hex", smallProgram()));
    duringWrite([this] {
        window->close();
        EXPECT_TRUE(window->isVisible());
    });
    write();
    ASSERT_TRUE(ranDuringWrite);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(log(), successfulWriteLog());
    EXPECT_TRUE(chipHoldsSmallProgram());
    EXPECT_FALSE(sim().portOpen());
}

TEST_F(DuringAWrite, ClosingDuringAFailingRunClosesWhenItHasFailed)
{
    showActive();
    chip.setFaults({.silentAfterPacket = 1});
    choose(dir.write("small.hex", smallProgram()));
    duringWrite([this] { window->close(); });
    write();
    ASSERT_TRUE(ranDuringWrite);
    EXPECT_FALSE(window->isVisible());
    EXPECT_NE(log().find("PIC not responding"), std::string::npos);
    EXPECT_FALSE(sim().portOpen());
}

TEST_F(DuringAWrite, ClosingWhenIdleClosesAtOnce)
{
    showActive();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

} // namespace
} // namespace tavrek::test
