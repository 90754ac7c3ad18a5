#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/serial_line.h"

class QSerialPort;
struct serial_struct;

namespace tavrek {

// The serial driver's settings of an open port, read with TIOCGSERIAL and
// written with TIOCSSERIAL: ::ioctl on its handle, or a test's own driver.
using SerialInfoCall = std::function<int(unsigned long request, serial_struct& info)>;

// Asks the driver for low-latency mode, as `setserial low_latency` does
// (the FTDI driver then sets its adapter's latency timer to 1 ms). True when
// the port is in that mode now; a port without it is used as it is.
bool requestLowLatency(const SerialInfoCall& call);

// A local serial port on QSerialPort (Linux). Opening, the line settings, DTR
// and the exclusive lock go through Qt; the bytes go straight to and from the
// port's (POSIX) handle, so that a byte written is with the driver when
// `send` returns and received bytes are seen without a running Qt event loop.
class QtSerialLine : public SerialLine {
public:
    QtSerialLine(const std::string& device, const LineSettings& settings, bool dtr);
    ~QtSerialLine() override;
    QtSerialLine(const QtSerialLine&) = delete;
    QtSerialLine& operator=(const QtSerialLine&) = delete;

    void applySettings(const LineSettings& settings) override;
    void setDtr(bool active) override;
    std::size_t available() override;
    std::string take() override;
    void send(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void lockExclusively();
    void close();
    void pull();
    [[noreturn]] void failVanished(const std::string& what);

    std::unique_ptr<QSerialPort> port_;
    std::string device_;
    std::string received_;  // taken from the driver, not yet handed out
};

} // namespace tavrek
