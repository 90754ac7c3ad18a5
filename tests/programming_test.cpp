// The serial link and the programming run against the simulated bootloader:
// byte input with the reply time-out on a fake clock, packets, log lines,
// resends, every way out, and the port closed on each.

#include <gtest/gtest.h>

#include <numeric>

#include "platform/port_factory.h"
#include "sim_fixture.h"
#include "support/programming.h"

namespace tavrek::test {
namespace {

struct Link : SimHarness {
    Link() { port.setPortOpen(true); }
    std::uint64_t start = clock.nowMs();
    std::uint64_t elapsed() { return clock.nowMs() - start; }
    std::string reply = "unchanged";
};

TEST(GetChar, NothingArrivingTimesOutAfter800MsLeavingTheReplyUntouchedWhileTheWindowIsServed)
{
    Link link;
    EXPECT_FALSE(link.support->getChar(link.reply));
    EXPECT_GE(link.elapsed(), 800u);
    EXPECT_LE(link.elapsed(), 810u);
    EXPECT_EQ(link.reply, "unchanged");
    EXPECT_GT(link.window.eventPasses, 100) << "the window keeps processing events during the wait";
}

TEST(GetChar, AByteIsReturnedAsSoonAsItArrivesAndTheRestOfABurstWithoutWaiting)
{
    Link link;
    link.port.arrive(std::string("\x00\xFF\x41", 3), 500);
    ASSERT_TRUE(link.support->getChar(link.reply));
    EXPECT_EQ(link.reply, std::string(1, '\x00'));
    EXPECT_GE(link.elapsed(), 500u);
    EXPECT_LE(link.elapsed(), 505u);
    const int passes = link.window.eventPasses;
    for (const char* expected : {"\xFF", "A"}) {
        ASSERT_TRUE(link.support->getChar(link.reply));
        EXPECT_EQ(link.reply, expected);
    }
    EXPECT_EQ(link.window.eventPasses, passes) << "pending bytes are served without processing events";
}

const std::vector<std::string> kFullRunLog = {"Resetting PIC..", "Searching for bootloader...",
                                              "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
                                              "Writing Configuration Bits"};

// Images as a load leaves them: erased, nothing marked.
SupportState erased()
{
    SupportState s;
    s.progImage.fill(0xFF);
    s.cfgImage.fill(0xFF);
    return s;
}

void markRow(SupportState& s, std::size_t row, std::uint8_t fill)
{
    std::fill_n(s.progImage.begin() + static_cast<std::ptrdiff_t>(row * kRowBytes), kRowBytes, fill);
    s.rowDirty[row] = true;
}

std::string hexBytes(const std::string& bytes)
{
    std::string text;
    char byte[4];
    for (const char c : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", static_cast<std::uint8_t>(c));
        text += byte;
    }
    return text;
}

TEST(Packets, HeadersDataAndChecksumsOfKnownPackets)
{
    SupportState s = erased();
    s.cfgImage[4] = 1, s.cfgImage[5] = 2, s.cfgImage[6] = 3, s.cfgImage[7] = 4;
    std::fill(s.progImage.begin() + 199936, s.progImage.end(), 0x5A);  // row 1562 reaches past the image
    const std::string tail = hexBytes(std::string(65, '\x5A') + std::string(63, '\xFF'));
    const struct {
        std::string packet;
        std::string header;
        std::string data;  // empty: erased
        const char* checksum;
    } known[] = {
        {rowPacket(s, 0), "00 00 00 80", "", "00"},     {rowPacket(s, 1), "00 00 40 80", "", "C0"},
        {rowPacket(s, 511), "00 7F C0 80", "", "C1"},   {rowPacket(s, 512), "00 80 00 80", "", "80"},
        {rowPacket(s, 1100), "01 13 00 80", "", "EC"},  {rowPacket(s, 1562), "01 86 80 80", tail, "DE"},
        {configPacket(s, 0), "F8 00 00 04", "FF FF FF FF", "08"},
        {configPacket(s, 1), "F8 00 02 04", "01 02 03 04", "F8"},
        {configPacket(s, 6), "F8 00 0C 04", "FF FF FF FF", "FC"},
    };
    for (const auto& k : known) {
        const std::string data = k.packet.substr(4, k.packet.size() - 5);
        EXPECT_EQ(hexBytes(k.packet.substr(0, 4)), k.header);
        EXPECT_EQ(hexBytes(data), k.data.empty() ? hexBytes(std::string(128, '\xFF')) : k.data) << k.header;
        EXPECT_EQ(hexBytes(k.packet.substr(k.packet.size() - 1)), k.checksum) << k.header;
    }
}

// The log, the boxes and the port's close after a full run: in the next test.
TEST(ProgramPic, FullRunResetsThenSendsRowsAndWordsInAscendingOrder)
{
    SimHarness run;
    run.state() = erased();
    run.window.choice = 2;
    for (std::size_t row : {1100u, 0u, 508u, 1u})
        markRow(run.state(), row, static_cast<std::uint8_t>(row));
    run.state().cfgDirty[6] = run.state().cfgDirty[0] = true;
    run.state().cfgImage[0] = 0x12;
    run.state().rowDirty[1600] = run.state().cfgDirty[7] = true;  // beyond the ranges: never sent

    EXPECT_EQ(run.support->programPic(), kTrue);
    EXPECT_EQ(run.port.portsOpened, std::vector<int>{3});

    const std::vector<std::string> expected = {rowPacket(run.state(), 0), rowPacket(run.state(), 1),
                                               rowPacket(run.state(), 508), rowPacket(run.state(), 1100),
                                               configPacket(run.state(), 0), configPacket(run.state(), 6)};
    EXPECT_EQ(run.chip.packets(), expected);
    EXPECT_EQ(run.port.sent, "\xC1" + std::accumulate(expected.begin(), expected.end(), std::string()));
}

// Rows 3 and 4 marked; each way a run can go, what it logs and sends.
TEST(ProgramPic, EachWayOutLogsWhyClosesThePortAndSendsNothingMore)
{
    SupportState rows = erased();
    markRow(rows, 3, 0x33);
    markRow(rows, 4, 0x44);
    const std::string row3 = rowPacket(rows, 3), row4 = rowPacket(rows, 4);
    std::string tenRow3;
    for (int i = 0; i < 10; ++i)
        tenRow3 += row3;
    const struct {
        const char* what;
        sim::Faults faults = {};
        std::size_t lines;           // of the full run's log, before the last line
        const char* last = nullptr;  // none: the run succeeded or a box came up
        std::string sent = {};       // after the start byte
        bool box = false;            // "Error opening port..."
        std::string stale = {};      // waiting in the port, and pending from an earlier run
        std::string chatter = {};    // the application's, delivered during the reset pulse
        int vanishAfter = 0;
        bool missing = false;
        int choice = 0;
    } ways[] = {
        {.what = "written, a rejected packet sent again", .faults = {.rejectPacketOnce = 1}, .lines = 5,
         .sent = row3 + row3 + row4},
        {.what = "written, the tenth send of a packet accepted", .faults = {.rejectFirstPackets = 9}, .lines = 5,
         .sent = tenRow3 + row4},
        {.what = "written, though the application chattered until reset", .lines = 5, .sent = row3 + row4,
         .chatter = "\x02hello"},
        {.what = "silence", .faults = {.silent = true}, .lines = 2, .last = "Bootloader not found!"},
        {.what = "bytes from before the run are no reply", .faults = {.silent = true}, .lines = 2,
         .last = "Bootloader not found!", .stale = "\x01K"},
        {.what = "another chip", .faults = {.typeCode = 0x02}, .lines = 2, .last = "Unknown Pic Type"},
        {.what = "type code then silence", .faults = {.readyReply = ""}, .lines = 3, .last = "PIC not responding"},
        {.what = "lower-case k is no ready byte", .faults = {.readyReply = "k"}, .lines = 3,
         .last = "Unknown response from PIC"},
        {.what = "silence after the first row", .faults = {.silentAfterPacket = 1}, .lines = 4,
         .last = "PIC not responding", .sent = row3 + row4},
        {.what = "every packet rejected", .faults = {.rejectAll = true}, .lines = 4, .last = "Packet rejected 10 times",
         .sent = tenRow3},
        {.what = "the device vanishing", .lines = 4, .sent = row3, .box = true, .vanishAfter = 1},
        {.what = "a port that cannot be opened", .lines = 0, .box = true, .missing = true},
        {.what = "a port number refused", .lines = 0, .box = true, .choice = 7},
    };
    for (const auto& way : ways) {
        SimHarness run;
        run.state() = rows;
        run.chip.setFaults(way.faults);
        run.port.staleInput = run.state().rxPending = way.stale;
        run.port.vanishAfterPackets = way.vanishAfter;
        run.port.chatterUntilReset = way.chatter;
        run.port.deviceMissing = way.missing;
        run.window.choice = way.choice;
        EXPECT_EQ(run.support->programPic(), way.last || way.box ? kFalse : kTrue) << way.what;
        std::vector<std::string> log(kFullRunLog.begin(), kFullRunLog.begin() + static_cast<std::ptrdiff_t>(way.lines));
        if (way.last)
            log.push_back(way.last);
        EXPECT_EQ(run.window.log, log) << way.what;
        EXPECT_EQ(run.window.boxes, std::vector<std::string>(way.box, "Error opening port...")) << way.what;
        EXPECT_FALSE(run.port.portOpen()) << way.what;
        EXPECT_EQ(hexBytes(run.port.sent), hexBytes((way.lines ? "\xC1" : "") + way.sent)) << way.what;
    }
}

// A line that writes into `trace`, by the fake clock, what the real port
// control asks of it, and answers the start byte as a bootloader does.
struct RecordingLine : SerialLine {
    RecordingLine(std::string& trace, sim::FakeClock& clock, std::uint64_t startMs, bool dtr)
        : trace(trace), clock(clock), startMs(startMs)
    {
        note(dtr ? "open, DTR on" : "open, DTR off");
    }
    ~RecordingLine() override { note("close"); }
    void applySettings(const LineSettings&) override {}
    void setDtr(bool active) override { note(active ? "DTR on" : "DTR off"); }
    std::size_t available() override { return replies.size(); }
    std::string take() override { return std::exchange(replies, {}); }
    void send(const std::string& bytes) override
    {
        note("TX " + hexBytes(bytes));
        replies = "\x01K";
    }
    void waitForInput(int maxMs) override { clock.advance(static_cast<std::uint64_t>(maxMs)); }
    void note(const std::string& what) { trace += std::to_string(clock.nowMs() - startMs) + " " + what + "\n"; }

    std::string& trace;
    sim::FakeClock& clock;
    const std::uint64_t startMs;  // the test's, from which times are told
    std::string replies;
};

// DTR drives the chip's reset: a Write holds it 100 ms, from the open where
// an earlier Reset left DTREnable on, and sends the start byte as it lets go;
// Reset holds it 50 ms; every close lets go. After Ctrl+C (an event
// tavrek-cli's window sees) the packet gathered for the line is dropped, not
// sent as the port closes: the chip takes no row the run did not count.
TEST(ResetLine, TheLineSeesEachPulseInOrderWithItsLengthAndNoPacketAfterCtrlC)
{
    sim::FakeClock clock;
    const std::uint64_t start = clock.nowMs();
    std::string trace;
    const auto port = makePortControl([](int) { return std::string("COM1"); },
                                      [&](const std::string&, const LineSettings&, bool dtr) {
                                          return std::make_unique<RecordingLine>(trace, clock, start, dtr);
                                      });
    FakeWindow window(*port);
    DiskFileSystem files;
    Support support(window, files, clock);
    support.state() = erased();
    EXPECT_EQ(support.programPic(), kTrue);
    pulseResetLine(*port, clock);
    EXPECT_EQ(support.programPic(), kTrue);
    EXPECT_EQ(trace, "0 open, DTR off\n0 DTR on\n100 DTR off\n100 TX C1\n100 close\n"
                     "100 open, DTR off\n100 DTR on\n150 close\n"
                     "150 open, DTR on\n150 DTR on\n250 DTR off\n250 TX C1\n250 close\n");
    markRow(support.state(), 3, 0x33);
    window.onProcessEvents = [&] {
        if (window.log.back() == "Writing flash...")
            throw PortFailure("interrupted (Ctrl+C)");
    };
    EXPECT_EQ(support.programPic(), kFalse);
    EXPECT_TRUE(trace.ends_with("TX C1\n350 close\n")) << trace;
}

} // namespace
} // namespace tavrek::test
