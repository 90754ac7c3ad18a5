// Byte input and output on the serial port, with the reply time-out.

#include <algorithm>

#include "support/clock.h"
#include "support/port_control.h"
#include "support/support.h"
#include "support/window_services.h"

namespace tavrek {

// Waits until a byte is waiting in the port or the time-out has run out since
// `start`. The window processes its events on every pass, the first included.
bool Support::waitForInput(std::uint64_t start)
{
    PortControl& port = window_.portControl();
    for (;;) {
        window_.processEvents();
        const std::uint64_t elapsed = clock_.nowMs() - start;
        if (port.inBufferCount() >= 1)
            return true;
        if (elapsed >= kReplyTimeoutMs)
            return port.inBufferCount() >= 1;
        port.waitForInput(static_cast<int>(std::min(window_.eventIntervalMs(), kReplyTimeoutMs - elapsed)));
    }
}

bool Support::getChar(std::string& reply)
{
    const std::uint64_t start = clock_.nowMs();
    if (state_.rxPending.empty() && !waitForInput(start))
        return false;
    state_.rxPending += window_.portControl().input();
    if (state_.rxPending.empty())
        return false;
    reply.assign(1, state_.rxPending.front());
    state_.rxPending.erase(0, 1);
    return true;
}

void Support::putChar(std::uint8_t byte)
{
    window_.portControl().output(std::string(1, static_cast<char>(byte)));
}

} // namespace tavrek
