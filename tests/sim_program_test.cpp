// The whole path as the program runs it: a HEX file loaded from disk, the Qt
// serial port over a pseudo-terminal, the steady clock, and build/tavrek-sim at
// the far end standing in for the chip. The chip's memory, as the simulator
// saves it, must match the images that were sent.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "fakes/fake_window.h"
#include "hex_fixtures.h"
#include "hex_records.h"
#include "platform/qt_serial_port.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"
#include "serial_fixtures.h"
#include "support/support.h"

namespace tavrek::test {
namespace {

constexpr std::uint32_t kConfigHexAddress = 0x01F00000;  // configuration word 0 in the HEX file
constexpr std::size_t kChipRows = 512;                   // rows of the dsPIC30F4011's 48 KB flash

const std::vector<std::string> kFullRunLog = {"Resetting PIC..", "Searching for bootloader...",
                                              "Found dsPIC30F4011/dsPIC30F4012", "Writing flash...",
                                              "Writing Configuration Bits"};

std::vector<std::uint8_t> instructions(std::uint8_t seed, std::size_t bytes)
{
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = i % 4 == 3 ? 0 : static_cast<std::uint8_t>(seed + i * 7);  // the fourth byte is always 0
    return data;
}

// A small application: its reset jump, code in rows 0, 1 and 64, a row near the
// top of flash, and configuration words 0, 2 and 6.
std::string applicationHex()
{
    std::string hex = segmentRecord(0);
    for (std::uint16_t at = 0; at < 0x100; at += 16)
        hex += dataRecord(at, instructions(static_cast<std::uint8_t>(at), 16));
    for (std::uint16_t at = 0x2000; at < 0x2080; at += 16)
        hex += dataRecord(at, instructions(0x5A, 16));
    hex += dataRecord(0xFC00, instructions(0x33, 16));
    hex += segmentRecord(0x01F0);
    hex += dataRecord(0x00, {0xC7, 0x3F, 0x00, 0x00});
    hex += dataRecord(0x08, {0x87, 0x00, 0x00, 0x00});
    hex += dataRecord(0x18, {0x03, 0xC0, 0x00, 0x00});
    return hex + kEndRecord;
}

// Byte address to value, from an Intel HEX file (data and extended linear
// address records).
std::map<std::uint32_t, std::uint8_t> readHexBytes(const std::string& path)
{
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::ifstream file(path);
    std::uint32_t segment = 0;
    for (std::string line; std::getline(file, line);) {
        const auto field = [&line](std::size_t at, std::size_t digits) {
            return static_cast<std::uint32_t>(std::stoul(line.substr(at, digits), nullptr, 16));
        };
        const std::uint32_t count = field(1, 2);
        const std::uint32_t offset = field(3, 4);
        const std::uint32_t type = field(7, 2);
        if (type == 0x04)
            segment = field(9, 4) << 16;
        if (type == 0x00)
            for (std::uint32_t i = 0; i < count; ++i)
                bytes[segment + offset + i] = static_cast<std::uint8_t>(field(9 + 2 * i, 2));
    }
    return bytes;
}

// Tavrek as the window runs it, on COM1 mapped to the simulator's line.
struct RealPath {
    explicit RealPath(const std::vector<std::string>& simOptions)
        : sim(simOptions), mapping(1, sim.device())
    {
        port.setSettings("115200,n,8,1");
    }

    std::int16_t load(const std::string& hex)
    {
        support.state().hexFileName = dir.write("application.hex", hex);
        return support.loadHex();
    }

    // Every marked row and configuration word must be in the chip as it is in
    // the images, and nothing else.
    void expectChipHoldsTheImages(const std::string& savedHex)
    {
        const auto chip = readHexBytes(savedHex);
        const SupportState& images = support.state();
        std::size_t expected = 0;
        for (std::size_t row = 0; row < kChipRows; ++row) {
            if (!images.rowDirty[row])
                continue;
            expected += kRowBytes;
            for (std::size_t i = row * kRowBytes; i < (row + 1) * kRowBytes; ++i) {
                const auto byte = chip.find(static_cast<std::uint32_t>(i));
                ASSERT_NE(byte, chip.end()) << "row " << row << " missing";
                ASSERT_EQ(byte->second, images.progImage[i]) << "HEX address " << i;
            }
        }
        for (std::size_t word = 0; word < kCfgWords; ++word) {
            if (!images.cfgDirty[word])
                continue;
            expected += kCfgWordBytes;
            for (std::size_t j = 0; j < kCfgWordBytes; ++j) {
                const auto byte = chip.find(static_cast<std::uint32_t>(kConfigHexAddress + word * kCfgWordBytes + j));
                ASSERT_NE(byte, chip.end()) << "configuration word " << word << " missing";
                ASSERT_EQ(byte->second, images.cfgImage[word * kCfgWordBytes + j]) << "configuration word " << word;
            }
        }
        EXPECT_EQ(chip.size(), expected) << "the chip holds bytes that were never marked";
    }

    QCoreApplication& application = qtApplication();
    SimProcess sim;
    PortMapping mapping;
    QtSerialPort port;
    FakeWindow window{port};
    DiskFileSystem files;
    SteadyClock clock;
    Support support{window, files, clock};
    TempDir dir;
};

TEST(SimProgram, PrintsItsLineAndTheMappingForThePortAskedFor)
{
    SimProcess sim({"--port", "3"});
    EXPECT_EQ(sim.mappingLine(), "TAVREK_COM3=" + sim.device());
    EXPECT_EQ(sim.device().rfind("/dev/pts/", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(sim.device()));
    EXPECT_EQ(sim.stop(), 0);
}

// A plain host on the simulator's line: raw, no flush at open, no lock.
class PlainHost {
public:
    explicit PlainHost(const std::string& device) : handle_(::open(device.c_str(), O_RDWR | O_NOCTTY))
    {
        termios tio{};
        ::tcgetattr(handle_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(handle_, TCSANOW, &tio);
    }
    ~PlainHost() { ::close(handle_); }
    PlainHost(const PlainHost&) = delete;
    PlainHost& operator=(const PlainHost&) = delete;

    std::string exchange(const std::string& bytes, std::size_t replyBytes)
    {
        [[maybe_unused]] const ssize_t written = ::write(handle_, bytes.data(), bytes.size());
        std::string reply;
        pollfd readable{handle_, POLLIN, 0};
        char chunk[16];
        while (reply.size() < replyBytes && ::poll(&readable, 1, 1000) > 0) {
            const ssize_t n = ::read(handle_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            reply.append(chunk, static_cast<std::size_t>(n));
        }
        return reply;
    }

private:
    int handle_;
};

TEST(SimProgram, AHostReopeningInTheSameInstantStartsANewSession)
{
    SimProcess sim({});
    for (int round = 0; round < 5; ++round) {
        auto host = std::make_unique<PlainHost>(sim.device());
        ASSERT_EQ(host->exchange("\xC1", 2), "\x01K") << "round " << round;
        host->exchange(std::string(20, '\x22'), 0);  // a packet cut short
        host.reset();
        host = std::make_unique<PlainHost>(sim.device());  // no pause for the simulator to notice the close
        // The start byte follows the reset pulse, as it does from Tavrek.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(host->exchange("\xC1", 2), "\x01K") << "round " << round;
    }
}

TEST(EndToEnd, ALoadedFileEndsUpInTheSimulatedChipAndAgainAfterAReopen)
{
    TempDir out;
    const std::string saved = (out.path() / "chip.hex").string();
    RealPath tavrek({"--save", saved});
    ASSERT_EQ(tavrek.load(applicationHex()), kHexLoaded);
    const SupportState& images = tavrek.support.state();
    ASSERT_TRUE(images.rowDirty[0] && images.rowDirty[1] && images.rowDirty[64] && images.rowDirty[504]);
    ASSERT_TRUE(images.rowDirty[508]) << "the application's reset jump moved below the bootloader";

    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log, kFullRunLog);
    EXPECT_TRUE(tavrek.window.boxes.empty());
    EXPECT_FALSE(tavrek.port.portOpen());
    // Saved before the last acknowledgement went out: complete by now.
    tavrek.expectChipHoldsTheImages(saved);

    // The same simulator serves the next run on a reopened port.
    tavrek.window.log.clear();
    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log, kFullRunLog);
    EXPECT_EQ(tavrek.sim.stop(), 0);
    tavrek.expectChipHoldsTheImages(saved);
}

TEST(EndToEnd, AHostThatLeftInMidPacketFindsTheBootloaderAfreshAtOnce)
{
    RealPath tavrek({});
    ASSERT_EQ(tavrek.load(applicationHex()), kHexLoaded);
    tavrek.port.setPortOpen(true);
    tavrek.support.putChar(sim::Bootloader::kStartByte);
    std::string reply;
    ASSERT_TRUE(tavrek.support.getChar(reply));
    tavrek.port.output(std::string(50, '\x11'));  // a row packet cut short
    tavrek.port.setPortOpen(false);

    // Reopened at once: the chip was reset and answers the new start byte.
    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log, kFullRunLog);
}

TEST(EndToEnd, TheDeviceVanishingMidRunEndsItWithTheMessageBoxAndThePortClosed)
{
    RealPath tavrek({"--vanish-after", "2"});
    ASSERT_EQ(tavrek.load(applicationHex()), kHexLoaded);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tavrek.support.programPic(), kFalse);
    EXPECT_LT(elapsedMs(start), 800) << "the loss is seen at once, not as a time-out";
    EXPECT_EQ(tavrek.window.boxes, std::vector<std::string>{"Error opening port..."});
    EXPECT_EQ(tavrek.window.log, std::vector<std::string>(kFullRunLog.begin(), kFullRunLog.begin() + 4));
    EXPECT_FALSE(tavrek.port.portOpen());
    EXPECT_EQ(tavrek.sim.wait(), 0);

    // Nothing is left open or stuck: the next run fails cleanly at the open.
    tavrek.window.log.clear();
    tavrek.window.boxes.clear();
    EXPECT_EQ(tavrek.support.programPic(), kFalse);
    EXPECT_TRUE(tavrek.window.log.empty());
    EXPECT_EQ(tavrek.window.boxes, std::vector<std::string>{"Error opening port..."});
}

TEST(EndToEnd, FaultsChosenOnTheCommandLineReachTheHost)
{
    struct Case {
        std::vector<std::string> options;
        std::int16_t result;
        std::string lastLine;
    };
    const Case cases[] = {
        {{"--type-code", "0x02"}, kFalse, "Unknown Pic Type"},
        {{"--ready-reply", "k"}, kFalse, "Unknown response from PIC"},
        {{"--reject-packet", "1"}, kTrue, "Writing Configuration Bits"},
        {{"--reject-all"}, kFalse, "Packet rejected 10 times"},
        {{"--silent"}, kFalse, "Bootloader not found!"},  // waits out the real 800 ms
    };
    for (const Case& c : cases) {
        RealPath tavrek(c.options);
        ASSERT_EQ(tavrek.load(applicationHex()), kHexLoaded);
        EXPECT_EQ(tavrek.support.programPic(), c.result) << c.options.front();
        ASSERT_FALSE(tavrek.window.log.empty());
        EXPECT_EQ(tavrek.window.log.back(), c.lastLine) << c.options.front();
        EXPECT_FALSE(tavrek.port.portOpen());
    }
}

TEST(EndToEnd, LinePacingHoldsEachReplyForTheLineAndTheFlashWrite)
{
    RealPath tavrek({"--line-pacing"});
    std::string hex = segmentRecord(0);
    for (std::uint16_t row = 1; row <= 3; ++row)
        hex += dataRecord(static_cast<std::uint16_t>(row * kRowBytes), instructions(1, 16));
    ASSERT_EQ(tavrek.load(hex + kEndRecord), kHexLoaded);
    const auto& marks = tavrek.support.state().rowDirty;
    const auto rows = std::count(marks.begin(), marks.end(), true);
    ASSERT_GE(rows, 3);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    // The 100 ms reset, then per row packet its 133 bytes and the "K" at
    // 115200 baud (10 bits a byte) and a 2 ms row write.
    const auto paced = 100 + rows * (134 * 10 * 1000 / 115200 + 2);
    EXPECT_GE(elapsedMs(start), paced);
}

} // namespace
} // namespace tavrek::test
