// The Qt serial port over a pseudo-terminal: mapping, line settings, raw bytes,
// exclusive open, DTR on a line without modem control, input without an event
// loop, waking on a byte, and a device that goes away.

#include <gtest/gtest.h>

#include <sys/file.h>
#include <termios.h>

#include <thread>

#include "platform/qt_serial_port.h"
#include "serial_fixtures.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

std::string allByteValues()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

// Polls the receive count, as getChar does, without ever running Qt's loop.
int countWithin(QtSerialPort& port, int atLeast, int timeoutMs = 2000)
{
    const auto start = std::chrono::steady_clock::now();
    int count = port.inBufferCount();
    while (count < atLeast && elapsedMs(start) < timeoutMs) {
        port.waitForInput(10);
        count = port.inBufferCount();
    }
    return count;
}

// The slave's line settings as a second opener sees them.
termios lineOf(const std::string& device)
{
    const int handle = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(handle, &tio);
    ::close(handle);
    return tio;
}

TEST(LineSettingsText, WellFormedStringsAndTheirFields)
{
    struct Known {
        const char* text;
        int baud;
        char parity;
        int dataBits;
        LineSettings::StopBits stopBits;
    };
    const Known known[] = {
        {"115200,n,8,1", 115200, 'n', 8, LineSettings::StopBits::One},
        {"9600,E,7,2", 9600, 'e', 7, LineSettings::StopBits::Two},
        {"1200,o,5,1.5", 1200, 'o', 5, LineSettings::StopBits::OneAndHalf},
        {"57600,M,6,1", 57600, 'm', 6, LineSettings::StopBits::One},
    };
    for (const Known& k : known) {
        const LineSettings s = parseLineSettings(k.text);
        EXPECT_EQ(s.baud, k.baud) << k.text;
        EXPECT_EQ(s.parity, k.parity) << k.text;
        EXPECT_EQ(s.dataBits, k.dataBits) << k.text;
        EXPECT_EQ(s.stopBits, k.stopBits) << k.text;
    }
}

TEST(LineSettingsText, MalformedStringsAreRefusedAndChangeNothing)
{
    for (const char* text : {"", "115200", "115200,n,8", "115200,n,8,1,", "115200,x,8,1", "115200,n,9,1",
                             "115200,n,4,1", "115200,n,8,3", "abc,n,8,1", "-9600,n,8,1", "+9600,n,8,1",
                             "0,n,8,1", " 115200,n,8,1", "115200,nn,8,1", "99999999999,n,8,1"}) {
        EXPECT_THROW(parseLineSettings(text), PortFailure) << '"' << text << '"';
    }
    QtSerialPort port;
    port.setSettings("9600,n,8,1");
    EXPECT_THROW(port.setSettings("9600,n,8"), PortFailure);
    EXPECT_EQ(port.settings(), "9600,n,8,1");
}

TEST(PortNames, EnvironmentMapsAPortElseTheSystemName)
{
    EXPECT_EQ(QtSerialPort::deviceName(1), "/dev/ttyS0");
    EXPECT_EQ(QtSerialPort::deviceName(5), "/dev/ttyS4");
    {
        PortMapping mapping(3, "/dev/ttyUSB7");
        EXPECT_EQ(QtSerialPort::deviceName(3), "/dev/ttyUSB7");
        EXPECT_EQ(QtSerialPort::deviceName(2), "/dev/ttyS1");
    }
    EXPECT_EQ(QtSerialPort::deviceName(3), "/dev/ttyS2");

    QtSerialPort port;
    EXPECT_THROW(port.setCommPort(0), PortFailure);
    EXPECT_THROW(port.setCommPort(6), PortFailure);
    port.setCommPort(5);
    EXPECT_EQ(port.commPort(), 5);
}

struct OverPseudoTerminal : ::testing::Test {
    OverPseudoTerminal() { qtApplication(); }
    PseudoTerminal line;
    PortMapping mapping{2, line.device()};
    QtSerialPort port;

    void open()
    {
        port.setCommPort(2);
        port.setPortOpen(true);
    }
};

TEST_F(OverPseudoTerminal, OpensTheMappedDeviceRawWithTheLineSettings)
{
    port.setSettings("115200,n,8,1");
    open();
    ASSERT_TRUE(port.portOpen());
    const termios tio = lineOf(line.device());
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(cfgetispeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // Settings changed while closed take effect at the next open (a
    // pseudo-terminal holds only 8 bits without parity).
    port.setPortOpen(false);
    EXPECT_FALSE(port.portOpen());
    port.setSettings("9600,n,8,2");
    open();
    const termios next = lineOf(line.device());
    EXPECT_EQ(cfgetospeed(&next), B9600);
    EXPECT_EQ(next.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST_F(OverPseudoTerminal, EveryByteValuePassesUnchangedBothWays)
{
    open();
    // No event loop runs and nothing is flushed: output is with the driver.
    const std::string bytes = allByteValues();
    port.output(bytes);
    EXPECT_EQ(line.read(bytes.size()), bytes);

    line.write(bytes);
    EXPECT_EQ(countWithin(port, 256), 256);
    EXPECT_EQ(port.input(), bytes);
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.input(), "");
}

TEST_F(OverPseudoTerminal, ReceivedBytesAreCountedWithoutAnEventLoop)
{
    open();
    line.write("abc");
    EXPECT_EQ(countWithin(port, 3), 3);
    EXPECT_EQ(port.inBufferCount(), 3);  // counting takes nothing away
    EXPECT_EQ(port.input(), "abc");
}

TEST_F(OverPseudoTerminal, BytesQtTookWhileTheWindowProcessedEventsComeFirst)
{
    open();
    line.write("ab");
    port.waitForInput(1000);
    QCoreApplication::processEvents();  // Qt's own reader may take "ab" now
    line.write("cd");
    std::string received;
    const auto start = std::chrono::steady_clock::now();
    while (received.size() < 4 && elapsedMs(start) < 2000) {
        port.waitForInput(10);
        received += port.input();
    }
    EXPECT_EQ(received, "abcd");
}

TEST_F(OverPseudoTerminal, WaitForInputWakesOnAByteAndOtherwiseWaitsItsTime)
{
    open();
    auto start = std::chrono::steady_clock::now();
    port.waitForInput(30);
    EXPECT_GE(elapsedMs(start), 29);
    EXPECT_EQ(port.inBufferCount(), 0);

    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        line.write("K");
    });
    start = std::chrono::steady_clock::now();
    port.waitForInput(5000);
    const auto waited = elapsedMs(start);
    sender.join();
    EXPECT_LT(waited, 1000);
    EXPECT_EQ(countWithin(port, 1), 1);
}

TEST_F(OverPseudoTerminal, BytesWaitingBeforeTheOpenAreDropped)
{
    // A first open and close leaves the line in a state that queues bytes.
    open();
    port.setPortOpen(false);
    line.write("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    open();
    port.waitForInput(50);
    EXPECT_EQ(port.input(), "");
}

TEST_F(OverPseudoTerminal, TheDeviceIsOpenedExclusively)
{
    open();
    QtSerialPort second;
    second.setCommPort(2);
    EXPECT_THROW(second.setPortOpen(true), PortFailure);
    EXPECT_FALSE(second.portOpen());
    EXPECT_THROW(port.setPortOpen(true), PortFailure);  // already open
    EXPECT_TRUE(port.portOpen());

    port.setPortOpen(false);
    port.setPortOpen(false);  // closing a closed port is harmless
    second.setPortOpen(true);
    EXPECT_TRUE(second.portOpen());
}

TEST_F(OverPseudoTerminal, ADeviceLockedByAnotherProgramIsBusy)
{
    const int other = ::open(line.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(open(), PortFailure);
    EXPECT_FALSE(port.portOpen());
    ::close(other);
    open();
    EXPECT_TRUE(port.portOpen());
}

TEST_F(OverPseudoTerminal, DtrSwitchingIsSkippedSilentlyWithoutModemLines)
{
    port.setDTREnable(true);
    EXPECT_NO_THROW(open());
    EXPECT_NO_THROW(port.setDTREnable(false));
    EXPECT_NO_THROW(port.setDTREnable(true));
    EXPECT_TRUE(port.dtrEnable());
    port.output("x");  // the port still works after the skipped switch
    EXPECT_EQ(line.read(1), "x");
    EXPECT_NO_THROW(port.setPortOpen(false));
}

TEST_F(OverPseudoTerminal, AMissingDeviceFailsTheOpen)
{
    PortMapping missing(4, "/dev/tavrek-no-such-device");
    port.setCommPort(4);
    EXPECT_THROW(port.setPortOpen(true), PortFailure);
    EXPECT_FALSE(port.portOpen());
}

TEST_F(OverPseudoTerminal, OperationsOnAClosedPortFail)
{
    EXPECT_THROW(port.inBufferCount(), PortFailure);
    EXPECT_THROW(port.input(), PortFailure);
    EXPECT_THROW(port.output("x"), PortFailure);
    EXPECT_THROW(port.waitForInput(1), PortFailure);
    EXPECT_NO_THROW(port.setDTREnable(true));  // kept for the next open
}

TEST_F(OverPseudoTerminal, AVanishedDeviceFailsTheNextReadAndClosesThePort)
{
    open();
    line.vanish();
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(5000);  // wakes at once on the hang-up
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_THROW(port.inBufferCount(), PortFailure);
    EXPECT_FALSE(port.portOpen());
    EXPECT_THROW(port.input(), PortFailure);
}

TEST_F(OverPseudoTerminal, AVanishedDeviceFailsTheNextWrite)
{
    open();
    line.vanish();
    EXPECT_THROW(port.output("x"), PortFailure);
    EXPECT_FALSE(port.portOpen());
}

} // namespace
} // namespace tavrek::test
