#pragma once

#include <memory>
#include <string>

#include "platform/com_numbering.h"
#include "platform/serial_line.h"
#include "support/port_control.h"

namespace tavrek {

// The port control on any serial line: it keeps the port number, the line
// settings and the DTR switch from one open to the next, and opens the device
// the number stands for at the moment of the open. A line whose device has
// gone is dropped, so that the port reads closed and can be opened again once
// the device is back.
class SerialPortControl : public PortControl {
public:
    SerialPortControl(DeviceResolver deviceFor, LineOpener open);
    ~SerialPortControl() override;
    SerialPortControl(const SerialPortControl&) = delete;
    SerialPortControl& operator=(const SerialPortControl&) = delete;

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    void setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    bool portOpen() const override { return line_ != nullptr; }
    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    bool dtrEnable() const override { return dtrEnable_; }
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    SerialLine& requireLine();
    template <class Operation>
    auto onLine(Operation operation);

    DeviceResolver deviceFor_;
    LineOpener open_;
    int commPort_ = kFirstPort;
    std::string settingsText_;
    LineSettings settings_;
    bool dtrEnable_ = false;
    std::unique_ptr<SerialLine> line_;
};

} // namespace tavrek
