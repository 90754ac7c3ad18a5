// The port control of every front end, whatever carries its lines.

#include "platform/gathering_port.h"
#include "platform/port_factory.h"
#include "platform/serial_port_control.h"

namespace tavrek {

std::unique_ptr<PortControl> makePortControl(DeviceResolver deviceFor, LineOpener open)
{
    return std::make_unique<GatheringPort>(std::make_unique<SerialPortControl>(std::move(deviceFor), std::move(open)));
}

} // namespace tavrek
