#pragma once

#include <cstdint>

namespace tavrek {

// A steady millisecond clock: it never goes back and never wraps.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t nowMs() = 0;
    // Lets at least `ms` milliseconds pass without processing window events.
    virtual void sleepMs(std::uint64_t ms) = 0;
};

// Lets at least `ms` milliseconds pass by `clock`, without processing window
// events: the reset pulses hold DTR this way.
inline void holdFor(Clock& clock, std::uint64_t ms)
{
    const std::uint64_t start = clock.nowMs();
    for (std::uint64_t elapsed = 0; elapsed < ms; elapsed = clock.nowMs() - start)
        clock.sleepMs(ms - elapsed);
}

} // namespace tavrek
