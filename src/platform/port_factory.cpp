// The choice of transport by port name, common to every platform.

#include "platform/port_factory.h"

#include "platform/gathering_port.h"
#include "platform/rfc2217_line.h"
#include "platform/serial_port_control.h"

namespace tavrek {

std::unique_ptr<SerialLine> openSerialLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    if (isPortUrl(device))
        return openRfc2217Line(device, settings, dtr);
    return openLocalLine(device, settings, dtr);
}

std::unique_ptr<PortControl> makePortControl(DeviceResolver deviceFor, LineOpener open)
{
    return std::make_unique<GatheringPort>(std::make_unique<SerialPortControl>(std::move(deviceFor), std::move(open)));
}

} // namespace tavrek
