#include "ui/real_parts.h"

#include "platform/port_factory.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"

namespace tavrek {

WindowParts realWindowParts()
{
    WindowParts parts;
    parts.form.ports = makeSerialPortLister();
    parts.form.port = makePortControl(comNumberResolver(parts.form.ports), openWindowLine);
    parts.form.files = std::make_unique<DiskFileSystem>();
    parts.form.clock = std::make_unique<SteadyClock>();
    return parts;
}

} // namespace tavrek
