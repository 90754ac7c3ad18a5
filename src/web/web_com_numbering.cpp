// The browser: COM1 to COM5 are the ports the user granted the page,
// numbered in the order the browser lists them; a port is known by its name.

#include "platform/com_numbering.h"

namespace tavrek {

std::string deviceIdentity(const std::string& device)
{
    return device;
}

std::string wholeDevicePath(const std::string& device)
{
    return device;  // the granted ports have names, not paths
}

std::array<ComPort, kComCount> platformComPorts(const std::vector<SerialPortInfo>& present,
                                                const PortVariables& variables)
{
    return numberComPorts(present, variables);
}

} // namespace tavrek
