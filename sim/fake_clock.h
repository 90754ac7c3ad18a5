#pragma once

#include <cstdint>

#include "support/clock.h"

namespace tavrek::sim {

// A clock that moves only when told to: sleeping, or an explicit advance by
// the simulated port while it waits for input. Lets tests about time run
// without waiting.
class FakeClock : public Clock {
public:
    std::uint64_t nowMs() override { return now_; }
    void sleepMs(std::uint64_t ms) override { now_ += ms; }
    void advance(std::uint64_t ms) { now_ += ms; }

private:
    std::uint64_t now_ = 1000;
};

} // namespace tavrek::sim
