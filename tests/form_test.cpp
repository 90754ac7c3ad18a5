// The window's commands, as both windows run them: what Form_Load sets,
// choosing the file, each way out of a Write, Reset, and what the operator
// can and cannot do during a Write.

#include "form_fixture.h"

namespace tavrek::test {
namespace {

using Commands = FormTest;

// Form_Load selects COM1 and the bootloader's line; no file is chosen yet.
TEST_F(Commands, FormLoadThenOpenShowsTheChosenFullPathAndCancelKeepsThePreviousOne)
{
    EXPECT_EQ(view.choice, 0);
    EXPECT_EQ(sim().settings(), "115200,n,8,1");
    EXPECT_FALSE(sim().portOpen());
    const std::pair<const char*, const char*> choicesAndShown[] = {
        {"", ""}, {"/d/first.hex", "/d/first.hex"}, {"/d/second.HEX", "/d/second.HEX"}, {"", "/d/second.HEX"}};
    for (const auto& [choice, shown] : choicesAndShown) {
        choose(choice);
        EXPECT_EQ(view.fileName, shown) << choice;
        EXPECT_EQ(form->support().state().hexFileName, shown) << choice;
    }
    ASSERT_EQ(view.dialogs.size(), 4u);
    EXPECT_EQ(view.dialogs.back().title, "Select HEX File");
    EXPECT_EQ(view.dialogs.back().flags, 4);  // hides the read-only box, nothing else
    EXPECT_EQ(view.dialogs.back().filter, "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*");
}

TEST_F(Commands, EachWayOutOfAWriteAddsItsLinesOnlyASuccessEndsWithTheSuccessLineAndTheButtonsComeBack)
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
        view.boxes.clear();
        form->cmdWrite_Click();
        wholeLog += way.lines;
        EXPECT_EQ(form->logText(), wholeLog) << way.way;
        EXPECT_EQ(view.log, wholeLog) << way.way;
        EXPECT_EQ(view.boxes, way.boxes) << way.way;
        EXPECT_TRUE(view.commandsEnabled) << way.way;
        EXPECT_FALSE(sim().portOpen()) << way.way;
        chip.setFaults({});
        sim().deviceMissing = false;
    }
}

TEST_F(Commands, ResetPulsesDtrOnTheLastWritesPortElseCom1OrTellsItCannotAndLogsNothing)
{
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::vector<int> portsOpened;
        bool fails;  // "Error opening port..." and no pulse
    } cases[] = {
        {"before any Write, COM4 shown", [&] { view.choice = 3; }, {1}, false},
        {"after a Write on COM3, COM2 shown since",
         [&] { view.choice = 2; choose(kBlink); form->cmdWrite_Click(); view.choice = 1; }, {3, 3}, false},
        {"port already open", [&] { sim().setPortOpen(true); }, {1}, false},
        {"port cannot be opened", [&] { sim().deviceMissing = true; }, {}, true},
        {"DTR cannot be switched", [&] { sim().failDtrSwitch = true; }, {1}, true},
    };
    for (const auto& c : cases) {
        start();
        c.arrange();
        const std::string logBefore = form->logText();
        const std::size_t dtrChangesBefore = sim().dtrChanges.size();
        form->cmdReset_Click();
        EXPECT_EQ(sim().portsOpened, c.portsOpened) << c.what;
        EXPECT_FALSE(sim().portOpen()) << c.what;
        EXPECT_EQ(form->logText(), logBefore) << c.what;
        EXPECT_EQ(view.boxes, std::vector<std::string>(c.fails, "Error opening port...")) << c.what;
        const auto& dtr = sim().dtrChanges;
        ASSERT_EQ(dtr.size() - dtrChangesBefore, c.fails ? 0u : 2u) << c.what;
        if (c.fails)
            continue;
        const sim::SimPort::DtrChange on = dtr.end()[-2], off = dtr.back();
        EXPECT_TRUE(on.active && !off.active && off.atMs - on.atMs >= 50) << c.what;
    }
}

TEST(PortTooltips, AnEmptyEntryNamesThePortsBeyondTheListAndHowToReachThem)
{
    ComPort com3;
    com3.number = 3;
    com3.device = "COM3";
    const std::vector<SerialPortInfo> beyond = {{"COM7", "USB Serial Port", "FTDI"}, {"COM12", "", ""}};
    EXPECT_EQ(describeComPort(com3, beyond),
              "no serial port; present beyond COM5: COM7: USB Serial Port (FTDI), COM12. Reach one as COM3 with "
              "TAVREK_COM3=COM7, or give it a number up to COM5 (Device Manager: Port Settings > Advanced > COM Port "
              "Number)");
    EXPECT_EQ(describeComPort(com3, {}), "no serial port");
    com3.present = true;
    EXPECT_EQ(describeComPort(com3, beyond), "COM3");
    std::array<ComPort, kComCount> list;
    list[0].device = "/dev/ttyS0";
    EXPECT_EQ(portsBeyondTheList({{"/dev/ttyS0", "", ""}, {"/dev/ttyUSB4", "", ""}}, list).size(), 1u);
}

using DuringAWrite = FormTest;

TEST_F(DuringAWrite, WriteAndResetAreDisabledAndIgnoredWhileOpenStillWorks)
{
    choose(kBlink);
    bool ran = false;
    view.onProcessEvents = [&] {
        ran = form->writeRunning();
        EXPECT_FALSE(view.commandsEnabled);
        form->cmdWrite_Click();
        form->cmdReset_Click();
        choose("");  // "..." still opens the dialog
    };
    form->cmdWrite_Click();
    ASSERT_TRUE(ran);
    EXPECT_EQ(form->logText(), kSuccessfulWriteLog);
    EXPECT_EQ(sim().portsOpened.size(), 1u);
    EXPECT_EQ(sim().dtrChanges.size(), 2u) << "the Write's own pulse only";
    EXPECT_EQ(view.dialogs.size(), 2u);
    EXPECT_TRUE(view.commandsEnabled);
}

TEST_F(DuringAWrite, AskingToCloseWaitsForTheRunToEndThenClosesWithThePortClosed)
{
    for (const int chipGoesSilentAfter : {0, 1}) {
        start();
        chip.setFaults({.silentAfterPacket = chipGoesSilentAfter});
        choose(kBlink);
        bool refused = false;
        view.onProcessEvents = [&] { refused = !form->Form_QueryUnload(); };
        form->cmdWrite_Click();
        EXPECT_TRUE(refused);
        EXPECT_EQ(view.closes, 1);
        EXPECT_FALSE(sim().portOpen());
        EXPECT_TRUE(form->logText().ends_with(chipGoesSilentAfter ? "PIC not responding\r\n" : "Write Successful!\r\n"))
            << form->logText();
    }
    EXPECT_TRUE(form->Form_QueryUnload());  // when idle, at once
    EXPECT_EQ(view.closes, 1);
}

} // namespace
} // namespace tavrek::test
