#pragma once

#include <cstdint>
#include <string>

namespace tavrek {

// The port numbers the port list offers: COM1 to COM5.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 5;
// The bootloader's line: 115200 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr const char* kBootloaderLine = "115200,n,8,1";

// The serial port control as the programming sequence and the Reset command
// use it. Every operation that fails throws PortFailure. Bytes travel as text,
// one character per byte, the character code being the byte value.
class PortControl {
public:
    virtual ~PortControl() = default;

    // Port number 1 to 5 (COM1 to COM5); the next open uses it. Any other
    // number is refused with PortFailure.
    virtual void setCommPort(int number) = 0;
    virtual int commPort() const = 0;

    // Line settings such as "115200,n,8,1", applied at every later open.
    virtual void setSettings(const std::string& settings) = 0;
    virtual std::string settings() const = 0;

    virtual bool portOpen() const = 0;
    // True opens the chosen port with the settings, exclusively; DTR goes
    // active with the open only when DTREnable is true. False closes the port
    // and DTR goes inactive.
    virtual void setPortOpen(bool open) = 0;

    // While the port is open DTR follows at once; kept while it is closed.
    virtual void setDTREnable(bool enable) = 0;
    virtual bool dtrEnable() const = 0;

    // Received bytes waiting to be read.
    virtual int inBufferCount() = 0;
    // All received bytes waiting, in order of arrival, removed from the queue.
    virtual std::string input() = 0;
    // Sends the bytes in order; when it returns they are with the driver.
    virtual void output(const std::string& bytes) = 0;
    // Drops bytes handed to output() that a port holding them back (to send
    // a packet in one write) has not yet passed on; a port that passes every
    // byte on at once has none.
    virtual void discardOutput() {}

    // Blocks until a byte is waiting or `maxMs` milliseconds have passed,
    // whichever comes first, so that a wait for a reply need not spin.
    virtual void waitForInput(int maxMs) = 0;
};

} // namespace tavrek
