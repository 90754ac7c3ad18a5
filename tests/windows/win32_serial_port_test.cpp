// The Win32 serial port under Wine: the error words, the DCB, the port names
// and COM numbers as tables; then the port against tavrek-sim serving COM11
// and COM12 of the test prefix (COM12's chip vanishes at its first packet).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <tuple>

#include "platform/port_factory.h"
#include "platform/serial_port_control.h"
#include "platform/steady_clock.h"
#include "windows/win32_port_errors.h"
#include "windows/win32_port_list.h"
#include "windows/win32_serial_line.h"
#include "sim_fixture.h"

namespace tavrek::test {
namespace {

const LineSettings kBootloader = parseLineSettings(kBootloaderLine);
const std::string kStartByte = "\xC1";
const std::string kFoundReply = "\x01K";  // the type code, then ready

std::int64_t msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// What arrives within 2 s, up to `count` bytes.
std::string receive(SerialLine& line, std::size_t count)
{
    const auto start = std::chrono::steady_clock::now();
    while (line.available() < count && msSince(start) < 2000)
        line.waitForInput(100);
    return line.take();
}

TEST(Win32PortErrors, EachErrorReadsInTheOperatorsWords)
{
    const std::string busy = "another program has it open";
    const std::string gone = "the device has gone";  // on an open line, and the line is dead
    const std::tuple<DWORD, bool, std::string> cases[] = {
        {ERROR_FILE_NOT_FOUND, false, "no such port"}, {ERROR_PATH_NOT_FOUND, false, "no such port"},
        {ERROR_ACCESS_DENIED, false, busy}, {ERROR_SHARING_VIOLATION, false, busy},
        {ERROR_ACCESS_DENIED, true, gone},  // a USB adapter pulled out
        {ERROR_GEN_FAILURE, true, gone}, {ERROR_OPERATION_ABORTED, true, gone}, {ERROR_BAD_COMMAND, true, gone},
        {ERROR_DEVICE_NOT_CONNECTED, true, gone},
        {ERROR_BROKEN_PIPE, true, gone}, {ERROR_NOT_READY, true, gone},  // Wine, the terminal's far end closed
        {0x2000FFFF, true, "error 536936447"},  // the system has no text for it
    };
    for (const auto& [error, lineOpen, words] : cases) {
        const PortErrorCause cause = portErrorCause(error, lineOpen);
        EXPECT_EQ(cause.words, words) << error;
        EXPECT_EQ(cause.gone, lineOpen && words == gone) << error;
    }
    // Any other error in the system's words, as they read after a colon.
    const std::string other = portErrorCause(ERROR_INVALID_PARAMETER, true).words;
    EXPECT_TRUE(!other.empty() && std::islower(static_cast<unsigned char>(other.front()))) << other;
    EXPECT_EQ(other.find_first_of(".\r\n"), std::string::npos) << other;
}

TEST(Win32Port, SettingsMakeTheDcbAndComNamesTheDevicePath)
{
    using Line = std::tuple<DWORD, BYTE, BYTE, BYTE, DWORD, DWORD>;  // baud, bits, parity, stop bits, check, DTR
    const std::tuple<const char*, bool, Line> cases[] = {
        {"115200,n,8,1", true, {115200, 8, NOPARITY, ONESTOPBIT, 0, DTR_CONTROL_ENABLE}},
        {"9600,E,7,2", false, {9600, 7, EVENPARITY, TWOSTOPBITS, 1, DTR_CONTROL_DISABLE}},
        {"300,o,5,1.5", false, {300, 5, ODDPARITY, ONE5STOPBITS, 1, DTR_CONTROL_DISABLE}},
        {"1200,m,6,1", true, {1200, 6, MARKPARITY, ONESTOPBIT, 1, DTR_CONTROL_ENABLE}},
        {"2400,s,8,1", true, {2400, 8, SPACEPARITY, ONESTOPBIT, 1, DTR_CONTROL_ENABLE}},
    };
    for (const auto& [settings, dtr, line] : cases) {
        DCB dcb;
        std::memset(&dcb, 0xFF, sizeof dcb);  // whatever the driver had: flow control, replaced characters
        fillDcb(dcb, parseLineSettings(settings), dtr);
        const Line made(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits, DWORD{dcb.fParity}, DWORD{dcb.fDtrControl});
        EXPECT_EQ(made, line) << settings;
        std::string flags;
        const std::initializer_list<unsigned> each = {dcb.fBinary, dcb.fOutxCtsFlow, dcb.fOutxDsrFlow,
                                                      dcb.fDsrSensitivity, dcb.fOutX, dcb.fInX, dcb.fErrorChar,
                                                      dcb.fNull, dcb.fAbortOnError, dcb.fRtsControl};
        for (const unsigned flag : each)
            flags += std::to_string(flag);
        EXPECT_EQ(flags, "1000000000") << "binary, RTS off, and nothing that holds, drops or replaces a byte";
    }
    EXPECT_EQ(portPath("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(portPath("\\\\.\\COM3"), L"\\\\.\\COM3");
}

TEST(Win32ComNumbers, ComNIsTheSystemsComNUnlessAVariableNamesAnother)
{
    const std::vector<SerialPortInfo> present = {{"COM3", "USB Serial Port", "FTDI"}, {"COM12", "", ""}};
    const auto ports = systemComPorts(present, {"", "COM12", "", "", "com9"});
    const char* shown[] = {"no serial port", "COM12, set by TAVREK_COM2", "COM3: USB Serial Port (FTDI)",
                           "no serial port", "com9, not present, set by TAVREK_COM5"};
    for (int i = 0; i < kComCount; ++i)
        EXPECT_EQ(describeComPort(ports[i]), shown[i]) << "COM" << i + 1;
    EXPECT_EQ(ports[0].device, "COM1") << "opened even where the system lists no such port";
    EXPECT_TRUE(sameDevice("COM7", "\\\\.\\com7"));
    EXPECT_FALSE(sameDevice("COM7", "COM70"));
    EXPECT_EQ(withoutPortName("USB Serial Port (COM7)", "COM7"), "USB Serial Port");
    EXPECT_EQ(withoutPortName("Prolific USB-to-Serial Comm Port (COM10)", "COM1"),
              "Prolific USB-to-Serial Comm Port (COM10)");
    // Wine lists the prefix's ports in SERIALCOMM.
    std::vector<std::string> listed;
    for (const SerialPortInfo& port : Win32PortLister().availablePorts())
        listed.push_back(port.device);
    const auto com11 = std::find(listed.begin(), listed.end(), "COM11");
    ASSERT_NE(com11, listed.end());
    EXPECT_EQ(*std::next(com11), "COM12");
}

TEST(Win32Line, AWaitRunsItsTimeOnAQuietLineAndWakesAtTheReplyWithItsByteFirst)
{
    Win32SerialLine line("COM11", kBootloader, true);  // a terminal has no DTR: skipped
    line.setDtr(false);
    const auto quiet = std::chrono::steady_clock::now();
    line.waitForInput(50);
    EXPECT_GE(msSince(quiet), 45);
    EXPECT_EQ(line.available(), 0u);
    // The read of that wait is still pending: it takes the first byte of the
    // reply, which stays before the byte behind it.
    line.send(kStartByte);
    const auto start = std::chrono::steady_clock::now();
    line.waitForInput(5000);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(receive(line, 2), kFoundReply);
}

TEST(Win32Line, BytesWaitingBeforeTheOpenAreDroppedAndEachOpenStartsAfresh)
{
    {
        Win32SerialLine first("\\\\.\\COM11", kBootloader, false);
        first.send(kStartByte);
        first.waitForInput(5000);  // the type code is in; "K" waits in the driver
    }
    Win32SerialLine second("COM11", kBootloader, false);
    second.waitForInput(50);
    EXPECT_EQ(second.take(), "");
    second.send(kStartByte);
    EXPECT_EQ(receive(second, 2), kFoundReply);
}

TEST(Win32Line, AVanishedDeviceEndsTheWaitFailsAndClosesThePort)
{
    SerialPortControl port([](int) { return std::string("COM12"); }, openSerialLine);
    port.setPortOpen(true);
    port.output(kStartByte);
    port.waitForInput(5000);
    port.output(std::string("\x00\x00\x00\x80", 4) + std::string(129, '\xFF'));  // a whole row packet
    std::string failure;
    const auto start = std::chrono::steady_clock::now();
    try {
        while (msSince(start) < 5000) {
            port.waitForInput(5000);
            port.input();
        }
    } catch (const PortFailure& e) {
        failure = e.what();
    }
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(failure, "COM12: the device has gone");
    EXPECT_FALSE(port.portOpen());
}

TEST(Win32Line, TheWindowsPortWritesEachPacketInOneWrite)
{
    int writes = 0;
    const auto port = makePortControl([](int) { return std::string("COM11"); }, countingWrites(openWindowLine, writes));
    port->setSettings(kBootloaderLine);
    FakeWindow window(*port);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    support.state().hexFileName = kBlink;
    ASSERT_EQ(support.loadHex(), kHexLoaded);
    EXPECT_EQ(support.programPic(), kTrue);
    EXPECT_EQ(writes, 1 + 5) << "the start byte, then each packet in one write";
}

TEST(Win32Line, AMissingPortFailsAndAWindowMessageEndsTheWindowsWait)
{
    try {
        Win32SerialLine missing("COM19", kBootloader, false);
        ADD_FAILURE() << "COM19 opened";
    } catch (const PortFailure& e) {
        EXPECT_STREQ(e.what(), "COM19: no such port");
    }
    Win32SerialLine line("COM11", kBootloader, false, WakeOn::InputOrWindowMessage);
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    line.waitForInput(5000);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(line.available(), 0u);
}

} // namespace
} // namespace tavrek::test
