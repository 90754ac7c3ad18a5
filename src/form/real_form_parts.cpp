#include "form/real_form_parts.h"

#include "platform/port_factory.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"

namespace tavrek {

FormParts realFormParts()
{
    FormParts parts;
    parts.ports = makeSerialPortLister();
    parts.port = makePortControl(comNumberResolver(parts.ports), openWindowLine);
    parts.files = std::make_unique<DiskFileSystem>();
    parts.clock = std::make_unique<SteadyClock>();
    return parts;
}

} // namespace tavrek
