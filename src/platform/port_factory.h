#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com_numbering.h"
#include "platform/serial_line.h"

namespace tavrek {

// The ports and threads of the platform the program was built for. The
// window and tavrek-cli reach the serial ports only through these.

// Opens a port by its name: "rfc2217://HOST:PORT" over the network, any
// other name as a local device of this platform.
std::unique_ptr<SerialLine> openSerialLine(const std::string& device, const LineSettings& settings, bool dtr);
// Opens a local device of this platform (/dev/ttyUSB0, COM7).
std::unique_ptr<SerialLine> openLocalLine(const std::string& device, const LineSettings& settings, bool dtr);

// The serial ports the system lists.
std::shared_ptr<SerialPortLister> makeSerialPortLister();

// Opens a port for the window: as openSerialLine, but where the platform can,
// a wait for input on a local port also ends when the window has messages, so
// that it repaints and answers the operator at once during a Write.
std::unique_ptr<SerialLine> openWindowLine(const std::string& device, const LineSettings& settings, bool dtr);

// The port control that the procedures drive, in the window and in
// tavrek-cli alike: COM numbers as `deviceFor` gives them, lines opened by
// `open`, and the bytes the procedures send one by one gathered into one
// write per packet.
std::unique_ptr<PortControl> makePortControl(DeviceResolver deviceFor, LineOpener open = openSerialLine);

// Runs every job on a thread of its own and returns when all have ended.
// Ports are used only from inside such a job or the window's thread.
void runSideBySide(const std::vector<std::function<void()>>& jobs);

} // namespace tavrek
