// The whole path as the program runs it: a HEX file loaded from disk, the Qt
// serial port over a pseudo-terminal, the steady clock, and build/tavrek-sim at
// the far end standing in for the chip.

#include <gtest/gtest.h>

#include "serial_fixture.h"

namespace tavrek::test {
namespace {

constexpr std::size_t kApplicationRows = 3;              // rows 0, 504 and 508 (the moved reset jump)
constexpr std::size_t kApplicationWords = 2;             // configuration words 0 and 6

const std::vector<std::string> kFullRunLog = {"Resetting PIC..", "Searching for bootloader...",
                                              "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
                                              "Writing Configuration Bits"};

// A small application: its reset jump and code in row 0, code near the top of
// flash and two configuration words.
std::string applicationHex()
{
    const std::vector<std::uint8_t> code{0x12, 0x34, 0x04, 0x00, 0x56, 0x78, 0x9A, 0x00,
                                         0xBC, 0xDE, 0xF0, 0x00, 0x0F, 0xED, 0xCB, 0x00};
    return segmentRecord(0) + dataRecord(0x0000, code) + dataRecord(0x0010, code) + dataRecord(0xFC00, code) +
           segmentRecord(0x01F0) + dataRecord(0x00, {0xC7, 0x3F, 0x00, 0x00}) +
           dataRecord(0x18, {0x03, 0xC0, 0x00, 0x00}) + kEndRecord;
}

// Tavrek as the window runs it, on COM1 mapped to the simulator's line, with
// applicationHex() loaded into the images.
struct RealPath : RealHost {
    explicit RealPath(const std::vector<std::string>& simOptions) : RealHost(simOptions)
    {
        support.state().hexFileName = dir.write("application.hex", applicationHex());
        loaded = support.loadHex();
    }

    TempDir dir;
    std::int16_t loaded = 0;
};

TEST(EndToEnd, ALoadedFileEndsUpInTheChipAndAgainAfterTheHostLeftInMidPacket)
{
    TempDir out;
    const std::string saved = (out.path() / "chip.hex").string();
    RealPath tavrek({"--save", saved, "--port", "3"});
    EXPECT_EQ(tavrek.sim.mappingLine(), "TAVREK_COM3=" + tavrek.sim.device());
    ASSERT_EQ(tavrek.loaded, kHexLoaded);
    const ChipBytes images = markedBytes(tavrek.support.state());
    ASSERT_EQ(images.size(), kApplicationRows * kRowBytes + kApplicationWords * kCfgWordBytes);

    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log, kFullRunLog);
    EXPECT_TRUE(tavrek.window.boxes.empty());
    EXPECT_FALSE(tavrek.port.portOpen());
    EXPECT_EQ(readHexBytes(saved), images) << "saved before the last acknowledgement went out";

    // A row packet cut short, then the port closed and at once reopened by the
    // next run while the chip is frozen, so that it sees the new open but not
    // the close: it must still start afresh and answer the start byte.
    tavrek.port.setPortOpen(true);
    tavrek.port.output(std::string("\xC1\x00\x00\x00\x80", 5) + std::string(50, '\x11'));
    std::string reply;
    ASSERT_TRUE(tavrek.support.getChar(reply));  // answered: the chip took the bytes
    tavrek.sim.freeze(true);
    tavrek.port.setPortOpen(false);
    tavrek.window.onProcessEvents = [&] { tavrek.sim.freeze(false); };
    tavrek.window.log.clear();
    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log, kFullRunLog);
    EXPECT_EQ(tavrek.sim.stop(), 0);
    EXPECT_EQ(readHexBytes(saved), images);
}

TEST(EndToEnd, TheDeviceVanishingMidRunEndsItAtOnceWithTheMessageBoxAndThePortClosed)
{
    RealPath tavrek({"--vanish-after", "2"});
    ASSERT_EQ(tavrek.loaded, kHexLoaded);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tavrek.support.programPic(), kFalse);
    EXPECT_LT(elapsedMs(start), 800) << "the loss is seen at once, not as a time-out";
    EXPECT_EQ(tavrek.window.boxes, std::vector<std::string>{"Error opening port..."});
    EXPECT_EQ(tavrek.window.log, std::vector<std::string>(kFullRunLog.begin(), kFullRunLog.begin() + 4));
    EXPECT_FALSE(tavrek.port.portOpen());
}

TEST(EndToEnd, FaultsChosenOnTheCommandLineReachTheHost)
{
    // What a run takes at least: the 100 ms reset, then what the fault holds
    // back: the 800 ms wait for the type code; each row's 134 bytes at 115200
    // baud (10 bits a byte) and its 2 ms write; 20 ms for each acknowledgement.
    constexpr std::int64_t kRowOnTheLineMs = 134 * 10 * 1000 / 115200 + 2;
    constexpr std::int64_t kPackets = kApplicationRows + kApplicationWords;
    struct Case {
        std::vector<std::string> options;
        std::int16_t result;
        std::string lastLine;
        std::int64_t atLeastMs = 0;
    };
    const Case cases[] = {
        {{"--type-code", "0x02"}, kFalse, "Unknown Pic Type"},
        {{"--ready-reply", "k"}, kFalse, "Unknown response from PIC"},
        {{"--reject-all"}, kFalse, "Packet rejected 10 times"},
        {{"--silent"}, kFalse, "Bootloader not found!", 100 + 800},
        {{"--line-pacing"}, kTrue, "Writing Configuration Bits", 100 + kApplicationRows * kRowOnTheLineMs},
        {{"--ack-delay-us", "20000"}, kTrue, "Writing Configuration Bits", 100 + kPackets * 20},
    };
    for (const Case& c : cases) {
        RealPath tavrek(c.options);
        ASSERT_EQ(tavrek.loaded, kHexLoaded);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(tavrek.support.programPic(), c.result) << c.options.front();
        EXPECT_GE(elapsedMs(start), c.atLeastMs) << c.options.front();
        ASSERT_FALSE(tavrek.window.log.empty());
        EXPECT_EQ(tavrek.window.log.back(), c.lastLine) << c.options.front();
        EXPECT_FALSE(tavrek.port.portOpen());
    }
}

} // namespace
} // namespace tavrek::test
