#pragma once

#include <windows.h>

#include <string>

#include "platform/com_numbering.h"

namespace tavrek {

// The serial ports present, from the system's own lists: the port names in
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, described by the friendly name,
// maker and latency timer that SetupAPI's Ports class gives where it knows
// the port. No port is probed by opening it.
class Win32PortLister : public SerialPortLister {
public:
    std::vector<SerialPortInfo> availablePorts() override;
};

// An FTDI adapter's latency timer in milliseconds, as its driver takes it
// from the port's device key (DIREG_DEV): the LatencyTimer value, which
// Device Manager's Port Settings > Advanced set. 0 for a port of another
// driver, which has no such value.
int latencyTimerOf(HKEY deviceKey);

// A friendly name without the port it ends with: "USB Serial Port (COM7)"
// describes COM7 as "USB Serial Port".
std::string withoutPortName(const std::string& friendlyName, const std::string& port);

} // namespace tavrek
