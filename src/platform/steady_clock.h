#pragma once

#include <chrono>
#include <thread>

#include "support/clock.h"

namespace tavrek {

// The machine's monotonic clock, in milliseconds.
class SteadyClock : public Clock {
public:
    std::uint64_t nowMs() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void sleepMs(std::uint64_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

} // namespace tavrek
