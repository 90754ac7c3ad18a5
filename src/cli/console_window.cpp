#include "cli/console_window.h"

#include "cli/hints.h"
#include "platform/file_watch.h"
#include "support/failures.h"

namespace tavrek::cli {

void ConsoleWindow::putInfo(const std::string& message)
{
    lastLine_ = message;
    if (endsUnwritten(message))
        console_.errorLine(prefix_, message);
    else
        console_.logLine(prefix_, message);
}

void ConsoleWindow::processEvents()
{
    if (interruptRequested())
        throw PortFailure(device_ + ": interrupted (Ctrl+C)");
}

PortControl& ConsoleWindow::portControl()
{
    if (!port_)
        throw PortFailure("no port in use");
    return *port_;
}

} // namespace tavrek::cli
