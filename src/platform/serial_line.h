#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/failures.h"

namespace tavrek {

// Line settings in the "baud,parity,data bits,stop bits" form, e.g.
// "115200,n,8,1". Parity is one of n, e, o, m, s (either case); stop bits are
// 1, 1.5 or 2.
struct LineSettings {
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 0;
    char parity = 'n';
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Throws PortFailure when `text` is not a well-formed settings string.
LineSettings parseLineSettings(const std::string& text);

// The device of an open line has gone (unplugged, or the far end closed):
// the line is dead and the port is closed.
class LineGone : public PortFailure {
public:
    using PortFailure::PortFailure;
};

// One open serial line to one device, whatever carries it: a local port or a
// port on another machine. Destroying it closes the line, and DTR goes
// inactive. Every operation that fails throws PortFailure (LineGone when the
// device has gone), with the device and the cause in the operator's words.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual void applySettings(const LineSettings& settings) = 0;
    // DTR follows at once; a line without modem control skips it silently.
    virtual void setDtr(bool active) = 0;
    // Received bytes waiting to be taken.
    virtual std::size_t available() = 0;
    // All received bytes waiting, in order of arrival.
    virtual std::string take() = 0;
    // Sends the bytes in order; when it returns they are with the driver.
    virtual void send(const std::string& bytes) = 0;
    // Sleeps until a byte is waiting or `maxMs` milliseconds have passed.
    virtual void waitForInput(int maxMs) = 0;
};

// Opens the device a port name stands for, exclusively, with `settings`,
// both directions purged and DTR as `dtr`: "rfc2217://HOST:PORT" is a port
// on another machine, any other name a local device. Throws PortFailure.
using LineOpener =
    std::function<std::unique_ptr<SerialLine>(const std::string& device, const LineSettings& settings, bool dtr)>;

} // namespace tavrek
