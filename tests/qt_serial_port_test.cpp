// The Qt serial port: line settings and port names, then the port over a
// pseudo-terminal: raw bytes without an event loop, stale input, exclusive
// open, DTR on a line without modem control, a device that goes away.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>

#include <thread>
#include <utility>

#include "platform/qt_serial_port.h"
#include "serial_fixture.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

// Polls the receive count, as getChar does, without ever running Qt's loop.
int countWithin(QtSerialPort& port, int atLeast)
{
    const auto start = std::chrono::steady_clock::now();
    int count = port.inBufferCount();
    for (; count < atLeast && elapsedMs(start) < 2000; count = port.inBufferCount())
        port.waitForInput(10);
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

TEST(LineSettings, MalformedStringsAreRefusedAndChangeNothing)
{
    for (const char* text : {"", "115200", "115200,n,8", "115200,n,8,1,", "115200,x,8,1", "115200,n,9,1",
                             "115200,n,4,1", "115200,n,8,3", "abc,n,8,1", "-9600,n,8,1", "+9600,n,8,1",
                             "0,n,8,1", " 115200,n,8,1", "115200,nn,8,1", "99999999999,n,8,1"})
        EXPECT_THROW(parseLineSettings(text), PortFailure) << '"' << text << '"';
    QtSerialPort port;
    port.setSettings("9600,n,8,1");
    EXPECT_THROW(port.setSettings("9600,n,8"), PortFailure);
    EXPECT_EQ(port.settings(), "9600,n,8,1");
}

struct NumberingCase {
    const char* what;
    std::vector<SerialPortInfo> present;
    PortVariables variables;
    std::array<const char*, kComCount> shown;  // what each COM number opens, as the tooltips say
};

TEST(ComNumbers, PortsPresentFillTheNumbersTheVariablesLeaveInSystemOrder)
{
    const SerialPortInfo ftdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI"};
    const SerialPortInfo uart{"/dev/ttyS0", "", ""};
    const char* none = "no serial port";
    const NumberingCase cases[] = {
        {"nothing present", {}, {}, {none, none, none, none, none}},
        {"built-in only, by number", {{"/dev/ttyS10", "", ""}, {"/dev/ttyS2", "", ""}}, {},
         {"/dev/ttyS2", "/dev/ttyS10", none, none, none}},
        {"adapters only", {ftdi, {"/dev/ttyACM0", "", "Arduino"}}, {},
         {"/dev/ttyUSB0: FT232R USB UART (FTDI)", "/dev/ttyACM0: Arduino", none, none, none}},
        {"built-in, then USB, ACM and the rest, each by number",
         {{"/dev/rfcomm0", "", ""}, {"/dev/ttyACM1", "", ""}, {"/dev/ttyUSB10", "", ""}, ftdi, uart,
          {"/dev/ttyAMA0", "", ""}},
         {}, {"/dev/ttyS0", "/dev/ttyUSB0: FT232R USB UART (FTDI)", "/dev/ttyUSB10", "/dev/ttyACM1", "/dev/rfcomm0"}},
        {"a variable naming a port present takes it out of the numbering", {uart, ftdi}, {"/dev/ttyUSB0"},
         {"/dev/ttyUSB0: FT232R USB UART (FTDI), set by TAVREK_COM1", "/dev/ttyS0", none, none, none}},
        {"a variable naming a missing device", {uart, ftdi}, {"", "/dev/ttyUSB9"},
         {"/dev/ttyS0", "/dev/ttyUSB9, not present, set by TAVREK_COM2", "/dev/ttyUSB0: FT232R USB UART (FTDI)",
          none, none}},
        {"every number set: the ports present are not reached",
         {uart, ftdi}, {"/dev/pts/1", "/dev/pts/2", "/dev/pts/3", "/dev/pts/4", "/dev/pts/5"},
         {"/dev/pts/1, not present, set by TAVREK_COM1", "/dev/pts/2, not present, set by TAVREK_COM2",
          "/dev/pts/3, not present, set by TAVREK_COM3", "/dev/pts/4, not present, set by TAVREK_COM4",
          "/dev/pts/5, not present, set by TAVREK_COM5"}},
    };
    for (const NumberingCase& c : cases) {
        const auto ports = numberComPorts(c.present, c.variables);
        for (int i = 0; i < kComCount; ++i) {
            EXPECT_EQ(ports[i].number, i + 1);
            EXPECT_EQ(describeComPort(ports[i]), c.shown[i]) << c.what << ", COM" << i + 1;
        }
    }
}

TEST(ComNumbers, TheVariablesAreReadAtEachOpen)
{
    struct OneAdapter : SerialPortLister {
        std::vector<SerialPortInfo> availablePorts() override { return {{"/dev/ttyUSB3", "", ""}}; }
    };
    const DeviceResolver deviceFor = comNumberResolver(std::make_shared<OneAdapter>());
    EXPECT_EQ(deviceFor(1), "/dev/ttyUSB3");
    {
        PortMapping mapping(1, "/dev/pts/7");
        EXPECT_EQ(deviceFor(1), "/dev/pts/7");
        EXPECT_EQ(deviceFor(2), "/dev/ttyUSB3");
    }
    EXPECT_EQ(deviceFor(2), "");
    QtSerialPort port;
    EXPECT_THROW(port.setCommPort(0), PortFailure);
    EXPECT_THROW(port.setCommPort(6), PortFailure);
}

// The port under test on COM2, mapped to the slave of a pseudo-terminal whose
// master, the far end of the line, the test holds.
struct OverPseudoTerminal : ::testing::Test {
    OverPseudoTerminal()
    {
        qtApplication();
        if (::grantpt(master) != 0 || ::unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
    }
    ~OverPseudoTerminal() override { ::close(master); }
    void open()
    {
        port.setCommPort(2);
        port.setPortOpen(true);
    }
    void send(const std::string& bytes) { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), std::ssize(bytes)); }
    // Whatever arrives until `count` bytes are in or the line stays quiet for 2 s.
    std::string receive(std::size_t count)
    {
        std::string bytes;
        pollfd readable{master, POLLIN, 0};
        char chunk[512];
        for (ssize_t n = 0; bytes.size() < count && ::poll(&readable, 1, 2000) > 0 &&
                            (n = ::read(master, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, static_cast<std::size_t>(n));
        return bytes;
    }
    // Closes the master: the device has gone, as an unplugged adapter.
    void vanish() { ::close(std::exchange(master, -1)); }

    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string device = ::ptsname(master);
    PortMapping mapping{2, device};
    QtSerialPort port;
};

TEST_F(OverPseudoTerminal, OpensTheMappedDeviceRawWithTheLineSettingsOfEachOpen)
{
    open();
    const termios tio = lineOf(device);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // Set while closed, held from the next open (a pseudo-terminal keeps only
    // 8 bits without parity).
    port.setPortOpen(false);
    port.setSettings("9600,n,8,2");
    open();
    const termios next = lineOf(device);
    EXPECT_EQ(cfgetospeed(&next), B9600);
    EXPECT_EQ(next.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST_F(OverPseudoTerminal, EveryByteValuePassesBothWaysAndArrivalsAreSeenWithoutAnEventLoop)
{
    // A pseudo-terminal has no DTR: switching it is skipped silently.
    port.setDTREnable(true);
    open();
    port.setDTREnable(false);
    port.setDTREnable(true);

    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    port.output(bytes);  // nothing flushed and no event loop: it is with the driver
    EXPECT_EQ(receive(bytes.size()), bytes);
    send(bytes);
    EXPECT_EQ(countWithin(port, 256), 256);
    EXPECT_EQ(port.inBufferCount(), 256);  // counting takes nothing away
    EXPECT_EQ(port.input(), bytes);
    EXPECT_EQ(port.input(), "");

    // A byte arriving wakes the wait at once; bytes that Qt's own reader took
    // while the window processed events come first.
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        send("ab");
    });
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(5000);
    EXPECT_LT(elapsedMs(start), 1000);
    sender.join();
    QCoreApplication::processEvents();
    send("cd");
    EXPECT_EQ(countWithin(port, 4), 4);
    EXPECT_EQ(port.input(), "abcd");
}

TEST_F(OverPseudoTerminal, BytesWaitingBeforeTheOpenAreDropped)
{
    // After a first open and close the line queues what the far end sends.
    open();
    port.setPortOpen(false);
    send("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    open();
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(50);
    EXPECT_GE(elapsedMs(start), 49) << "a quiet line lets the wait run its time";
    EXPECT_EQ(port.input(), "");
}

TEST_F(OverPseudoTerminal, TheOpenFailsOnADeviceInUseHereOrByAnotherProgramOrMissing)
{
    open();
    QtSerialPort second;
    second.setCommPort(2);
    EXPECT_THROW(second.setPortOpen(true), PortFailure);
    EXPECT_THROW(port.setPortOpen(true), PortFailure);  // already open
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);

    const int other = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(second.setPortOpen(true), PortFailure);
    EXPECT_FALSE(second.portOpen());
    ::close(other);
    second.setPortOpen(true);
    EXPECT_TRUE(second.portOpen());

    PortMapping missing(4, "/dev/tavrek-no-such-device");
    port.setCommPort(4);
    EXPECT_THROW(port.setPortOpen(true), PortFailure);
    EXPECT_FALSE(port.portOpen());
    QtSerialPort nothingBehind([](int) { return std::string(); });  // a COM number with no device
    EXPECT_THROW(nothingBehind.setPortOpen(true), PortFailure);
    EXPECT_THROW(port.inBufferCount(), PortFailure);  // as every operation of a closed port
}

TEST_F(OverPseudoTerminal, AVanishedDeviceWakesTheWaitFailsTheNextReadAndClosesThePort)
{
    open();
    vanish();
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(5000);
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_THROW(port.inBufferCount(), PortFailure);
    EXPECT_FALSE(port.portOpen());
}

TEST_F(OverPseudoTerminal, AVanishedDeviceFailsTheNextWriteAndClosesThePort)
{
    open();
    vanish();
    EXPECT_THROW(port.output("x"), PortFailure);
    EXPECT_FALSE(port.portOpen());
}

} // namespace
} // namespace tavrek::test
