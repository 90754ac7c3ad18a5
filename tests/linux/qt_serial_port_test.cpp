// The Qt serial port: line settings and COM numbers, then the port over a
// pseudo-terminal: raw bytes without an event loop, stale input, exclusive
// open, DTR on a line without modem control, a device that goes away; last
// the whole path against build/tavrek-sim.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <thread>
#include <utility>

#include "linux/qt_serial_line.h"
#include "serial_fixture.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

TEST(LineSettings, MalformedStringsAndPortNumbersAreRefusedAndChangeNothing)
{
    for (const char* text : {"", "115200", "115200,n,8", "115200,n,8,1,", "115200,x,8,1", "115200,n,9,1",
                             "115200,n,4,1", "115200,n,8,3", "abc,n,8,1", "-9600,n,8,1", "+9600,n,8,1",
                             "0,n,8,1", " 115200,n,8,1", "115200,nn,8,1", "99999999999,n,8,1"})
        EXPECT_THROW(parseLineSettings(text), PortFailure) << '"' << text << '"';
    SerialPortControl port([](int) { return std::string(); }, openSerialLine);
    port.setSettings("9600,n,8,1");
    EXPECT_THROW(port.setSettings("9600,n,8"), PortFailure);
    EXPECT_EQ(port.settings(), "9600,n,8,1");
    EXPECT_THROW(port.setCommPort(0), PortFailure);
    EXPECT_THROW(port.setCommPort(6), PortFailure);
}

TEST(ComNumbers, AnAdapterPluggedInAfterTheStartIsFoundAtTheNextOpen)
{
    qtApplication();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    auto plugged = std::make_shared<ListedPorts>();
    SerialPortControl port(comNumberResolver(plugged), openSerialLine);
    EXPECT_THROW(port.setPortOpen(true), PortFailure);  // COM1: nothing behind it yet
    plugged->ports = {{::ptsname(master), "", ""}};
    port.setPortOpen(true);
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
    ::close(master);
}

TEST(ComNumbers, PortsPresentFillTheNumbersTheVariablesLeaveInSystemOrder)
{
    const SerialPortInfo ftdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI"};
    const SerialPortInfo uart{"/dev/ttyS0", "", ""};
    const char* none = "no serial port";
    const struct {
        const char* what;
        std::vector<SerialPortInfo> present;
        PortVariables variables;
        std::array<const char*, kComCount> shown;  // what each COM number opens, as the tooltips say
    } cases[] = {
        {"built-in only, by number", {{"/dev/ttyS10", "", ""}, {"/dev/ttyS2", "", ""}}, {},
         {"/dev/ttyS2", "/dev/ttyS10", none, none, none}},
        {"built-in, then USB, ACM and the rest, each by number",
         {{"/dev/rfcomm0", "", ""}, {"/dev/ttyACM1", "", "Arduino"}, {"/dev/ttyUSB10", "", ""}, ftdi, uart,
          {"/dev/ttyAMA0", "", ""}},
         {},
         {"/dev/ttyS0", "/dev/ttyUSB0: FT232R USB UART (FTDI)", "/dev/ttyUSB10", "/dev/ttyACM1: Arduino", "/dev/rfcomm0"}},
        {"a variable naming a port present takes it out of the numbering", {uart, ftdi}, {"/dev/ttyUSB0"},
         {"/dev/ttyUSB0: FT232R USB UART (FTDI), set by TAVREK_COM1", "/dev/ttyS0", none, none, none}},
        {"variables naming a missing device, and one the system does not list", {uart, ftdi},
         {"", "/dev/ttyUSB9", "/dev/null"},
         {"/dev/ttyS0", "/dev/ttyUSB9, not present, set by TAVREK_COM2", "/dev/null, set by TAVREK_COM3",
          "/dev/ttyUSB0: FT232R USB UART (FTDI)", none}},
    };
    PortMapping com2(2, "./ttyV0");  // relative to the folder of the start, whichever is current later
    EXPECT_EQ(portVariables()[1], (startFolder() / "ttyV0").string());
    for (const auto& c : cases) {
        const auto ports = numberComPorts(c.present, c.variables);
        for (int i = 0; i < kComCount; ++i) {
            EXPECT_EQ(ports[i].number, i + 1);
            EXPECT_EQ(describeComPort(ports[i]), c.shown[i]) << c.what << ", COM" << i + 1;
        }
    }
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
    // Polls the receive count, as getChar does, without ever running Qt's loop.
    int countWithin(int atLeast)
    {
        const auto start = std::chrono::steady_clock::now();
        int count = port.inBufferCount();
        for (; count < atLeast && elapsedMs(start) < 2000; count = port.inBufferCount())
            port.waitForInput(10);
        return count;
    }
    // The slave's line settings as a second opener sees them.
    termios line() const
    {
        const int handle = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        ::tcgetattr(handle, &tio);
        ::close(handle);
        return tio;
    }
    // Closes the master: the device has gone, as an unplugged adapter.
    void vanish() { ::close(std::exchange(master, -1)); }

    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string device = ::ptsname(master);
    PortMapping mapping{2, device};
    SerialPortControl port{comNumberResolver(makeSerialPortLister()), openSerialLine};
};

// The driver's low-latency flag is asked for where it is off, its other
// flags kept; a driver without serial settings (a pseudo-terminal answers
// ENOTTY) or one that refuses the flag leaves the port as it is, silently.
TEST(LowLatency, AskedOfTheDriverAndSkippedSilentlyWhereItHasNone)
{
    constexpr int kOtherFlag = 0x10;
    const struct {
        const char* what;
        int getResult;
        int flags;  // as the driver has them
        int setResult;
        std::string calls;
        bool lowLatency;
    } drivers[] = {
        {"FTDI, flag off", 0, kOtherFlag, 0, "get set 0x2010", true},
        {"flag already on", 0, ASYNC_LOW_LATENCY, 0, "get", true},
        {"refuses the flag", 0, 0, -1, "get set 0x2000", false},
        {"no serial settings", -1, 0, 0, "get", false},
    };
    for (const auto& d : drivers) {
        std::string calls;
        const bool lowLatency = requestLowLatency([&](unsigned long request, serial_struct& info) {
            if (request == TIOCGSERIAL) {
                calls += "get";
                info.flags = d.flags;
                return d.getResult;
            }
            char flags[16];
            std::snprintf(flags, sizeof flags, " set 0x%04X", info.flags);
            calls += request == TIOCSSERIAL ? flags : " other";
            return d.setResult;
        });
        EXPECT_EQ(calls, d.calls) << d.what;
        EXPECT_EQ(lowLatency, d.lowLatency) << d.what;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    errno = 0;
    EXPECT_FALSE(requestLowLatency([slave](unsigned long request, serial_struct& info) {
        return ::ioctl(slave, request, &info);
    }));
    EXPECT_EQ(errno, ENOTTY);
    ::close(slave);
    ::close(master);
}

// Raw: every byte value passes unchanged (the next test); here the line settings.
TEST_F(OverPseudoTerminal, OpensTheMappedDeviceWithTheLineSettingsOfEachOpen)
{
    open();
    const termios tio = line();
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));

    // Set while closed, held from the next open (a pseudo-terminal keeps only
    // 8 bits without parity).
    port.setPortOpen(false);
    port.setSettings("9600,n,8,2");
    open();
    const termios next = line();
    EXPECT_EQ(cfgetospeed(&next), B9600);
    EXPECT_EQ(next.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST_F(OverPseudoTerminal, EveryByteValuePassesBothWaysAndArrivalsAreSeenWithoutAnEventLoop)
{
    // A pseudo-terminal has no DTR: switching it is skipped silently.
    port.setDTREnable(true);
    open();
    port.setDTREnable(false);

    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    port.output(bytes);  // nothing flushed and no event loop: it is with the driver
    EXPECT_EQ(receive(bytes.size()), bytes);
    send(bytes);
    EXPECT_EQ(countWithin(256), 256);
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
    EXPECT_EQ(countWithin(4), 4);
    EXPECT_EQ(port.input(), "abcd");
}

TEST_F(OverPseudoTerminal, BytesWaitingBeforeTheOpenAreDropped)
{
    // After a first open and close the line queues what the far end sends;
    // another opener sees when it is there.
    open();
    port.setPortOpen(false);
    const int watcher = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    send("stale");
    pollfd readable{watcher, POLLIN, 0};
    for (int waiting = 0; ::ioctl(watcher, FIONREAD, &waiting) == 0 && waiting < 5 && ::poll(&readable, 1, 2000) > 0;)
        readable.revents = 0;
    open();
    ::close(watcher);
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(50);
    EXPECT_GE(elapsedMs(start), 49) << "a quiet line lets the wait run its time";
    EXPECT_EQ(port.input(), "");
}

TEST_F(OverPseudoTerminal, TheOpenFailsOnADeviceInUseHereOrByAnotherProgramOrMissing)
{
    open();
    SerialPortControl second(comNumberResolver(makeSerialPortLister()), openSerialLine);
    second.setCommPort(2);
    EXPECT_THROW(second.setPortOpen(true), PortFailure);
    EXPECT_THROW(port.setPortOpen(true), PortFailure);  // already open
    port.setPortOpen(false);

    const int other = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(second.setPortOpen(true), PortFailure);
    EXPECT_FALSE(second.portOpen());
    ::close(other);
    second.setPortOpen(true);
    EXPECT_TRUE(second.portOpen());

    SerialPortControl nothingBehind([](int) { return std::string(); }, openSerialLine);  // a COM number with no device
    EXPECT_THROW(nothingBehind.setPortOpen(true), PortFailure);
    EXPECT_THROW(port.inBufferCount(), PortFailure);  // as every operation of a closed port
}

// A read that finds the device gone fails as the write does (tavrek-cli's
// table has a chip that vanishes while the host waits for its reply).
TEST_F(OverPseudoTerminal, AVanishedDeviceWakesTheWaitFailsTheNextWriteAndClosesThePort)
{
    open();
    vanish();
    const auto start = std::chrono::steady_clock::now();
    port.waitForInput(5000);
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_THROW(port.output("x"), PortFailure);
    EXPECT_FALSE(port.portOpen());
}

// Tavrek as the window runs it, against tavrek-sim saving what the chip receives.
TEST(WholePath, ALoadedFileEndsUpInTheChipAfterTheHostLeftInMidPacket)
{
    TempDir dir;
    const std::string saved = (dir.path() / "chip.hex").string();
    RealHost tavrek({"--save", saved, "--port", "3"});
    EXPECT_EQ(tavrek.sim.mappingLine(), "TAVREK_COM3=" + tavrek.sim.device());
    tavrek.support.state().hexFileName = kBlink;
    ASSERT_EQ(tavrek.support.loadHex(), kHexLoaded);

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
    tavrek.writes = 0;
    EXPECT_EQ(tavrek.support.programPic(), kTrue);
    EXPECT_EQ(tavrek.window.log.back(), "Writing Configuration Bits");
    EXPECT_EQ(tavrek.writes, 1 + 5) << "the start byte, then each packet in one write";
    EXPECT_EQ(tavrek.sim.stop(), 0);
    EXPECT_EQ(readHexBytes(saved), blinkAsWritten());
}

} // namespace
} // namespace tavrek::test
