#include "ui/real_parts.h"

#include "platform/qt_port_list.h"
#include "platform/qt_serial_port.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"

namespace tavrek {

WindowParts realWindowParts()
{
    WindowParts parts;
    parts.ports = std::make_shared<QtPortLister>();
    parts.port = std::make_unique<QtSerialPort>(comNumberResolver(parts.ports));
    parts.files = std::make_unique<DiskFileSystem>();
    parts.clock = std::make_unique<SteadyClock>();
    return parts;
}

} // namespace tavrek
