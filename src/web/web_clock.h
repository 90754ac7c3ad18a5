#pragma once

// The browser: the page's clock, whose waits yield to the browser.

#include <emscripten.h>

#include <cmath>

#include "support/clock.h"

namespace tavrek {

// Milliseconds since the page started. A wait hands the browser back its
// thread: the page repaints, and the user's clicks wait in the page's queue
// until the form processes its events.
class WebClock : public Clock {
public:
    std::uint64_t nowMs() override { return static_cast<std::uint64_t>(std::floor(emscripten_get_now())); }
    void sleepMs(std::uint64_t ms) override { emscripten_sleep(static_cast<unsigned>(ms)); }
};

} // namespace tavrek
