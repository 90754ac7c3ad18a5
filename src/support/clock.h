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

} // namespace tavrek
