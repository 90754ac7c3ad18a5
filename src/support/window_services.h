#pragma once

#include <cstdint>
#include <string>

namespace tavrek {

class PortControl;

// What the Support procedures need from the main window. The window
// implements it; tests use a recording fake.
class WindowServices {
public:
    // Between two passes over a window's events while a reply is waited for:
    // short enough that it stays responsive, long enough not to spin.
    static constexpr std::uint64_t kWindowEventIntervalMs = 5;

    virtual ~WindowServices() = default;
    // Appends the message and CR LF to the log.
    virtual void putInfo(const std::string& message) = 0;
    // The 0-based position chosen in the port list: 0 to 4 for COM1 to COM5.
    virtual int portChoice() const = 0;
    // The one serial port control of the program.
    virtual PortControl& portControl() = 0;
    // A modal box with the text alone and an OK button; returns when closed.
    virtual void messageBox(const std::string& text) = 0;
    // Lets the window process its pending events.
    virtual void processEvents() = 0;
    // The longest a wait for a reply goes without processing events. Where
    // there is no window, a wait that wakes less often costs less CPU.
    virtual std::uint64_t eventIntervalMs() const { return kWindowEventIntervalMs; }
};

} // namespace tavrek
