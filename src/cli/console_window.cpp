#include "cli/console_window.h"

#include "support/failures.h"

namespace tavrek::cli {

void ConsoleWindow::putInfo(const std::string& message)
{
    lastLine_ = message;
    console_.logLine(prefix_, message);
}

PortControl& ConsoleWindow::portControl()
{
    if (!port_)
        throw PortFailure("no port in use");
    return *port_;
}

} // namespace tavrek::cli
