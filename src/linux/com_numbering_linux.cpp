// COM numbers on Linux: COM1 to COM5 are numbered from the ports present, and
// a device is known by the file its names resolve to.

#include <filesystem>
#include <system_error>

#include "network/remote_port_name.h"
#include "platform/com_numbering.h"
#include "platform/text_file_reader.h"

namespace tavrek {

std::string deviceIdentity(const std::string& device)
{
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(device, error);
    return error ? device : resolved.string();
}

std::string wholeDevicePath(const std::string& device)
{
    if (device.find('/') == std::string::npos || device.front() == '/' || isPortUrl(device))
        return device;
    return (startFolder() / device).lexically_normal().string();
}

std::array<ComPort, kComCount> platformComPorts(const std::vector<SerialPortInfo>& present,
                                                const PortVariables& variables)
{
    return numberComPorts(present, variables);
}

} // namespace tavrek
