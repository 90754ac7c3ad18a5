// The choice of transport by port name, common to every platform.

#include "platform/port_factory.h"

#include "network/rfc2217_line.h"

namespace tavrek {

std::unique_ptr<SerialLine> openSerialLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    if (isPortUrl(device))
        return openRfc2217Line(device, settings, dtr);
    return openLocalLine(device, settings, dtr);
}

} // namespace tavrek
