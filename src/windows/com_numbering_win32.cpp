// COM numbers on Windows: COMn is the system's own COMn, and COM7, com7 and
// \\.\COM7 are one port.

#include <algorithm>
#include <cctype>

#include "platform/com_numbering.h"

namespace tavrek {

std::string deviceIdentity(const std::string& device)
{
    std::string name = device.starts_with("\\\\.\\") ? device.substr(4) : device;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    return name;
}

std::string wholeDevicePath(const std::string& device)
{
    return device;  // COM7 and \\.\COM7 name devices, not files in a folder
}

std::array<ComPort, kComCount> platformComPorts(const std::vector<SerialPortInfo>& present,
                                                const PortVariables& variables)
{
    return systemComPorts(present, variables);
}

} // namespace tavrek
