#pragma once

#include <string>

#include "platform/com_numbering.h"

namespace tavrek {

// The serial ports present, from the system's own lists: the port names in
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, described by the friendly name and
// maker that SetupAPI's Ports class gives where it knows the port. No port
// is probed by opening it.
class Win32PortLister : public SerialPortLister {
public:
    std::vector<SerialPortInfo> availablePorts() override;
};

// A friendly name without the port it ends with: "USB Serial Port (COM7)"
// describes COM7 as "USB Serial Port".
std::string withoutPortName(const std::string& friendlyName, const std::string& port);

} // namespace tavrek
