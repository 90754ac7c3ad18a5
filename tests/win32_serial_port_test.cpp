// The Win32 serial port under Wine: the error words, the DCB, the port names
// and COM numbers as tables; then the port against tavrek-sim serving COM11
// and COM12 of the test prefix (COM12's chip vanishes at its first packet).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

#include "platform/port_factory.h"
#include "platform/serial_port_control.h"
#include "platform/win32_port_errors.h"
#include "platform/win32_port_list.h"
#include "platform/win32_serial_line.h"

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
    const std::string gone = "the device has gone";
    const struct {
        DWORD error;
        bool lineOpen;
        std::string words;
        bool gone;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, false, "no such port", false},
        {ERROR_PATH_NOT_FOUND, false, "no such port", false},
        {ERROR_ACCESS_DENIED, false, "another program has it open", false},
        {ERROR_SHARING_VIOLATION, false, "another program has it open", false},
        {ERROR_ACCESS_DENIED, true, gone, true},  // a USB adapter pulled out
        {ERROR_GEN_FAILURE, true, gone, true},
        {ERROR_OPERATION_ABORTED, true, gone, true},
        {ERROR_BAD_COMMAND, true, gone, true},
        {ERROR_DEVICE_NOT_CONNECTED, true, gone, true},
        {ERROR_BROKEN_PIPE, true, gone, true},  // Wine, the terminal's far end closed
        {ERROR_NOT_READY, true, gone, true},
        {0x2000FFFF, true, "error 536936447", false},  // no text for it
    };
    for (const auto& c : cases) {
        const PortErrorCause cause = portErrorCause(c.error, c.lineOpen);
        EXPECT_EQ(cause.words, c.words) << c.error;
        EXPECT_EQ(cause.gone, c.gone) << c.error;
    }
    // Any other error in the system's words, as they read after a colon.
    const std::string other = portErrorCause(ERROR_INVALID_PARAMETER, true).words;
    ASSERT_FALSE(other.empty());
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(other.front()))) << other;
    EXPECT_EQ(other.find_first_of(".\r\n"), std::string::npos) << other;
}

TEST(Win32Port, SettingsMakeTheDcbAndComNamesTheDevicePath)
{
    const struct {
        const char* settings;
        bool dtr;
        DWORD baud;
        BYTE dataBits, parity, stopBits;
    } cases[] = {
        {"115200,n,8,1", true, 115200, 8, NOPARITY, ONESTOPBIT},
        {"9600,E,7,2", false, 9600, 7, EVENPARITY, TWOSTOPBITS},
        {"300,o,5,1.5", false, 300, 5, ODDPARITY, ONE5STOPBITS},
        {"1200,m,8,1", true, 1200, 8, MARKPARITY, ONESTOPBIT},
        {"2400,s,6,1", true, 2400, 6, SPACEPARITY, ONESTOPBIT},
    };
    for (const auto& c : cases) {
        DCB dcb;
        std::memset(&dcb, 0xFF, sizeof dcb);  // whatever the driver had: flow control, replaced characters
        fillDcb(dcb, parseLineSettings(c.settings), c.dtr);
        EXPECT_EQ(dcb.BaudRate, c.baud) << c.settings;
        EXPECT_EQ(dcb.ByteSize, c.dataBits) << c.settings;
        EXPECT_EQ(dcb.Parity, c.parity) << c.settings;
        EXPECT_EQ(dcb.StopBits, c.stopBits) << c.settings;
        EXPECT_EQ(dcb.fParity, c.parity != NOPARITY ? 1u : 0u) << c.settings;
        EXPECT_EQ(dcb.fDtrControl, c.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE) << c.settings;
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
        EXPECT_EQ(dcb.fBinary + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fDsrSensitivity + dcb.fOutX + dcb.fInX +
                      dcb.fErrorChar + dcb.fNull + dcb.fAbortOnError,
                  1u)
            << "binary, and nothing else that holds, drops or replaces a byte";
    }
    EXPECT_EQ(portPath("COM7"), L"\\\\.\\COM7");
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
        for (int i = 0; i < 100; ++i) {
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
