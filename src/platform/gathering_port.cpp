#include "platform/gathering_port.h"

#include <exception>
#include <utility>

namespace tavrek {

GatheringPort::~GatheringPort()
{
    try {
        flush();
    } catch (const std::exception&) {
        // The port has gone; what was not sent can no longer be.
    }
}

void GatheringPort::flush()
{
    if (!gathered_.empty())
        inner_.output(std::exchange(gathered_, {}));
}

void GatheringPort::setPortOpen(bool open)
{
    if (open)
        gathered_.clear();  // bytes for an earlier open are never sent on a new one
    else
        flush();
    inner_.setPortOpen(open);
}

void GatheringPort::setDTREnable(bool enable)
{
    flush();
    inner_.setDTREnable(enable);
}

int GatheringPort::inBufferCount()
{
    flush();
    return inner_.inBufferCount();
}

std::string GatheringPort::input()
{
    flush();
    return inner_.input();
}

void GatheringPort::output(const std::string& bytes)
{
    if (!inner_.portOpen())
        inner_.output(bytes);  // fails as the port would, at once
    gathered_ += bytes;
}

void GatheringPort::discardOutput()
{
    gathered_.clear();
    inner_.discardOutput();
}

void GatheringPort::waitForInput(int maxMs)
{
    flush();
    inner_.waitForInput(maxMs);
}

} // namespace tavrek
