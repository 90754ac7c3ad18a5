#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/com_numbering.h"
#include "platform/qt_port_list.h"
#include "support/port_control.h"

class QSerialPort;

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

// The device a port number opens; empty when there is none.
using DeviceResolver = std::function<std::string(int number)>;

// COM numbers as `lister` and the TAVREK_COMn variables give them at the
// moment of asking, so that an adapter plugged in late is found.
DeviceResolver comNumberResolver(std::shared_ptr<SerialPortLister> lister);

// The serial port on QSerialPort. Opening, the line settings, DTR and the
// exclusive lock go through Qt; the bytes go straight to and from the port's
// (POSIX) handle, so that a byte written is with the driver when `output`
// returns and received bytes are seen without a running Qt event loop. A
// device that goes away while open closes the port and fails the operation.
class QtSerialPort : public PortControl {
public:
    explicit QtSerialPort(DeviceResolver deviceFor = comNumberResolver(std::make_shared<QtPortLister>()));
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    void setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    bool dtrEnable() const override { return dtrEnable_; }
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void openPort();
    void closePort();
    void applySettings();
    void lockExclusively();
    void driveDtr(bool active);
    int requireHandle();
    void pull();
    [[noreturn]] void failVanished(const std::string& what);

    DeviceResolver deviceFor_;
    int commPort_ = 1;
    std::string settingsText_;
    LineSettings settings_;
    bool dtrEnable_ = false;
    std::unique_ptr<QSerialPort> port_;
    std::string device_;    // the device of the current open
    std::string received_;  // taken from the driver, not yet handed out
};

} // namespace tavrek
