// The programming run against the simulated bootloader: log lines, packets,
// resends, every way out, and the port closed on each.

#include <gtest/gtest.h>

#include <numeric>

#include "sim_fixture.h"
#include "support/programming.h"

namespace tavrek::test {
namespace {

const std::vector<std::string> kFullRunLog = {"Resetting PIC..", "Searching for bootloader...",
                                              "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
                                              "Writing Configuration Bits"};

struct ProgrammingRun : SimHarness {
    ProgrammingRun()
    {
        // Images as a load leaves them: erased, nothing marked.
        state().progImage.fill(0xFF);
        state().cfgImage.fill(0xFF);
    }
    void markRow(std::size_t row, std::uint8_t fill)
    {
        std::fill_n(state().progImage.begin() + static_cast<std::ptrdiff_t>(row * 128), 128, fill);
        state().rowDirty[row] = true;
    }
    std::int16_t program() { return support->programPic(); }
    std::vector<std::string> linesBefore(std::size_t n) const
    {
        return {kFullRunLog.begin(), kFullRunLog.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    std::string afterStartByte() const { return port.sent.substr(1); }
};

unsigned byteSum(const std::string& bytes)
{
    return std::accumulate(bytes.begin(), bytes.end(), 0u,
                           [](unsigned sum, char c) { return sum + static_cast<std::uint8_t>(c); });
}

std::string hexBytes(const std::string& bytes)
{
    std::string text;
    char byte[4];
    for (const char c : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", static_cast<std::uint8_t>(c));
        text += byte;
    }
    return text.substr(0, text.size() - 1);
}

TEST(Packets, HeadersAndChecksumsOfKnownPackets)
{
    SupportState s;
    s.progImage.fill(0xFF);
    s.cfgImage.fill(0xFF);
    struct Known {
        std::string packet;
        const char* header;
        const char* checksum;
    };
    std::vector<Known> known = {
        {rowPacket(s, 0), "00 00 00 80", "00"},         {rowPacket(s, 1), "00 00 40 80", "C0"},
        {rowPacket(s, 511), "00 7F C0 80", "C1"},       {rowPacket(s, 512), "00 80 00 80", "80"},
        {rowPacket(s, 1100), "01 13 00 80", "EC"},      {configPacket(s, 0), "F8 00 00 04", "08"},
        {configPacket(s, 6), "F8 00 0C 04", "FC"},
    };
    s.cfgImage[4] = 1, s.cfgImage[5] = 2, s.cfgImage[6] = 3, s.cfgImage[7] = 4;
    known.push_back({configPacket(s, 1), "F8 00 02 04", "F8"});
    for (const Known& k : known) {
        EXPECT_EQ(hexBytes(k.packet.substr(0, 4)), k.header);
        EXPECT_EQ(hexBytes(k.packet.substr(k.packet.size() - 1)), k.checksum) << k.header;
        EXPECT_EQ(byteSum(k.packet) % 256, 0u);
    }
    EXPECT_EQ(configPacket(s, 1).substr(4, 4), "\x01\x02\x03\x04");
}

TEST(ProgramPic, FullRunSendsRowsThenWordsInAscendingOrderAndClosesThePort)
{
    ProgrammingRun run;
    run.window.choice = 2;
    for (std::size_t row : {1100u, 0u, 508u, 1u})
        run.markRow(row, static_cast<std::uint8_t>(row));
    run.state().cfgDirty[6] = run.state().cfgDirty[0] = true;
    run.state().cfgImage[0] = 0x12;

    EXPECT_EQ(run.program(), kTrue);
    EXPECT_EQ(run.window.log, kFullRunLog);
    EXPECT_TRUE(run.window.boxes.empty());
    EXPECT_EQ(run.port.portsOpened, std::vector<int>{3});
    EXPECT_FALSE(run.port.portOpen());

    const std::vector<std::string> expected = {rowPacket(run.state(), 0), rowPacket(run.state(), 1),
                                               rowPacket(run.state(), 508), rowPacket(run.state(), 1100),
                                               configPacket(run.state(), 0), configPacket(run.state(), 6)};
    EXPECT_EQ(run.chip.packets(), expected);
    EXPECT_EQ(run.port.sent, "\xC1" + std::accumulate(expected.begin(), expected.end(), std::string()));
    EXPECT_EQ(run.chip.flash()[508 * 128], 508 % 256);
    EXPECT_EQ(run.chip.configWords()[0][0], 0x12);
    EXPECT_EQ(run.chip.packetsOutsideMemory(), 1) << "row 1100 lies beyond the chip's 48 KB";
}

TEST(ProgramPic, HoldsResetAtLeast100MsAndSendsTheStartByteAtRelease)
{
    ProgrammingRun run;
    EXPECT_EQ(run.program(), kTrue);
    ASSERT_GE(run.port.dtrChanges.size(), 2u);
    const auto& pressed = run.port.dtrChanges[0];
    const auto& released = run.port.dtrChanges[1];
    EXPECT_TRUE(pressed.active);
    EXPECT_FALSE(released.active);
    EXPECT_GE(released.atMs - pressed.atMs, 100u);
    EXPECT_EQ(run.port.sentAtMs.front(), released.atMs);
    EXPECT_EQ(run.port.sent.front(), '\xC1');
}

TEST(ProgramPic, NothingMarkedStillResetsIdentifiesAndSucceeds)
{
    ProgrammingRun run;
    run.state().rowDirty[1600] = true;  // never sent
    run.state().cfgDirty[7] = true;     // never sent
    EXPECT_EQ(run.program(), kTrue);
    EXPECT_EQ(run.window.log, kFullRunLog);
    EXPECT_EQ(run.port.sent, "\xC1");
    EXPECT_FALSE(run.port.portOpen());
}

TEST(ProgramPic, TypeCodeAndReadyInOneBurstNeedNoSecondWait)
{
    ProgrammingRun run;
    std::vector<std::string> lastLineAtEachPass;
    run.window.onProcessEvents = [&] { lastLineAtEachPass.push_back(run.window.log.back()); };
    EXPECT_EQ(run.program(), kTrue);
    EXPECT_EQ(std::count(lastLineAtEachPass.begin(), lastLineAtEachPass.end(), "Found dsPIC30F4011/dsPIC30F4012"), 0);
}

struct EarlyEnd {
    const char* what;
    sim::Faults faults;
    std::vector<std::string> log;
    std::string sentAfterStartByte;
};

class ProgramPicEndsEarly : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(ProgramPicEndsEarly, LogsWhyClosesThePortAndSendsNothingMore)
{
    const EarlyEnd& end = GetParam();
    ProgrammingRun run;
    run.chip.setFaults(end.faults);
    run.markRow(3, 0x33);
    run.markRow(4, 0x44);
    EXPECT_EQ(run.program(), kFalse) << end.what;
    EXPECT_EQ(run.window.log, end.log) << end.what;
    EXPECT_TRUE(run.window.boxes.empty());
    EXPECT_FALSE(run.port.portOpen());
    EXPECT_EQ(hexBytes(run.afterStartByte()), hexBytes(end.sentAfterStartByte)) << end.what;
}

SupportState twoRows()
{
    SupportState s;
    s.progImage.fill(0xFF);
    std::fill_n(s.progImage.begin() + 3 * 128, 128, 0x33);
    std::fill_n(s.progImage.begin() + 4 * 128, 128, 0x44);
    return s;
}
const std::string kRow3 = rowPacket(twoRows(), 3);
const std::string kRow4 = rowPacket(twoRows(), 4);

std::string times(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

INSTANTIATE_TEST_SUITE_P(Exits, ProgramPicEndsEarly, ::testing::Values(
    EarlyEnd{"silence", {.silent = true},
             {"Resetting PIC..", "Searching for bootloader...", "Bootloader not found!"}, ""},
    EarlyEnd{"another chip", {.typeCode = 0x02},
             {"Resetting PIC..", "Searching for bootloader...", "Unknown Pic Type"}, ""},
    EarlyEnd{"type code then silence", {.readyReply = ""},
             {"Resetting PIC..", "Searching for bootloader...", "Found dsPIC30F4011/dsPIC30F4012",
              "PIC not responding"}, ""},
    EarlyEnd{"lower-case k is no ready byte", {.readyReply = "k"},
             {"Resetting PIC..", "Searching for bootloader...", "Found dsPIC30F4011/dsPIC30F4012",
              "Unknown response from PIC"}, ""},
    EarlyEnd{"silence after the first row", {.silentAfterPacket = 1},
             {"Resetting PIC..", "Searching for bootloader...", "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
              "PIC not responding"}, kRow3 + kRow4},
    EarlyEnd{"every packet rejected", {.rejectAll = true},
             {"Resetting PIC..", "Searching for bootloader...", "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
              "Packet rejected 10 times"}, times(kRow3, 10)}));

TEST(ProgramPic, RejectedPacketIsSentAgainIdenticalThenTheNextFollows)
{
    ProgrammingRun run;
    run.chip.setFaults({.rejectPacketOnce = 1});
    run.markRow(3, 0x33);
    run.markRow(4, 0x44);
    EXPECT_EQ(run.program(), kTrue);
    EXPECT_EQ(run.chip.packets(), (std::vector<std::string>{kRow3, kRow3, kRow4}));
    EXPECT_EQ(run.window.log, kFullRunLog);
}

TEST(ProgramPic, TenthSendOfAPacketIsStillTakenWhenAccepted)
{
    ProgrammingRun run;
    run.markRow(3, 0x33);
    // The chip answers each copy as it arrives; while the host waits for that
    // answer, arrange for the next copy to be rejected too, up to the ninth.
    run.window.onProcessEvents = [&] {
        const int next = static_cast<int>(run.chip.packets().size()) + 1;
        run.chip.setFaults({.rejectPacketOnce = next <= 9 ? next : 0});
    };
    EXPECT_EQ(run.program(), kTrue);
    EXPECT_EQ(run.chip.packets(), std::vector<std::string>(10, kRow3));
}

TEST(ProgramPic, PortThatCannotBeOpenedOrNumberRefusedShowsTheMessageBoxOnly)
{
    for (const bool missing : {true, false}) {
        ProgrammingRun run;
        run.port.deviceMissing = missing;
        run.window.choice = missing ? 0 : 7;
        EXPECT_EQ(run.program(), kFalse);
        EXPECT_EQ(run.window.boxes, std::vector<std::string>{"Error opening port..."});
        EXPECT_TRUE(run.window.log.empty());
        EXPECT_FALSE(run.port.portOpen());
        EXPECT_TRUE(run.port.sent.empty());
    }
}

TEST(ProgramPic, DeviceVanishingMidRunShowsTheMessageBoxAndClosesThePort)
{
    ProgrammingRun run;
    for (std::size_t row = 0; row < 6; ++row)
        run.markRow(row, 0x10);
    run.port.vanishAfterPackets = 2;
    EXPECT_EQ(run.program(), kFalse);
    EXPECT_EQ(run.window.boxes, std::vector<std::string>{"Error opening port..."});
    EXPECT_EQ(run.window.log, run.linesBefore(4));
    EXPECT_FALSE(run.port.portOpen());
    EXPECT_EQ(run.chip.packets().size(), 2u);
}

TEST(ProgramPic, BytesFromBeforeTheRunAreNeverTakenAsReplies)
{
    ProgrammingRun run;
    run.chip.setFaults({.silent = true});
    run.port.staleInput = "\x01K";
    run.state().rxPending = "\x01K";  // left over from an earlier run
    EXPECT_EQ(run.program(), kFalse);
    EXPECT_EQ(run.window.log.back(), "Bootloader not found!");
}

TEST(ProgramPic, RowReachingPastTheImageIsCompletedWithErasedBytes)
{
    ProgrammingRun run;
    std::fill(run.state().progImage.begin() + 199936, run.state().progImage.end(), 0x5A);
    run.state().rowDirty[1562] = true;
    EXPECT_EQ(run.program(), kTrue);
    ASSERT_EQ(run.chip.packets().size(), 1u);
    const std::string& packet = run.chip.packets()[0];
    ASSERT_EQ(packet.size(), 133u);
    EXPECT_EQ(hexBytes(packet.substr(0, 4)), "01 86 80 80");
    EXPECT_EQ(packet.substr(4, 65), std::string(65, '\x5A'));
    EXPECT_EQ(packet.substr(69, 63), std::string(63, '\xFF'));
    EXPECT_EQ(byteSum(packet) % 256, 0u);
}

} // namespace
} // namespace tavrek::test
