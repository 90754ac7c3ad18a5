#pragma once

// The browser: a serial port the user granted the page, through Web Serial.

#include <memory>
#include <string>

#include "platform/com_numbering.h"
#include "platform/serial_line.h"

namespace tavrek {

// One open port of the page. Each call that must wait for the browser (open,
// close, DTR, a wait for input) yields to it, so that the page repaints and
// takes the user's clicks meanwhile; a wait for input ends as soon as a byte
// arrives.
class WebSerialLine : public SerialLine {
public:
    // Opens the granted port `portId` (as the page numbers them) with
    // `settings` and DTR as `dtr`. Throws PortFailure.
    WebSerialLine(int portId, const LineSettings& settings, bool dtr);
    ~WebSerialLine() override;
    WebSerialLine(const WebSerialLine&) = delete;
    WebSerialLine& operator=(const WebSerialLine&) = delete;

    void applySettings(const LineSettings& settings) override;
    void setDtr(bool active) override;
    std::size_t available() override;
    std::string take() override;
    void send(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void check(int status);

    int line_;  // the page's handle of the open port
    LineSettings settings_;
};

// COM1 to COM5: the ports granted to the page, in the order the browser
// lists them; each as the decimal id the page gives it, empty where there is
// none.
DeviceResolver grantedPortResolver();

// Opens a device that grantedPortResolver named.
std::unique_ptr<SerialLine> openWebSerialLine(const std::string& device, const LineSettings& settings, bool dtr);

} // namespace tavrek
