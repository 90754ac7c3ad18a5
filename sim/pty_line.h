#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <signal.h>

namespace tavrek::sim {

// The simulator's end of a pseudo-terminal: the master side. The host opens
// the slave by its path as it would open a serial port. Every open of the
// slave is watched for (inotify), so that a host that closes and at once
// reopens the line is still seen to start afresh.
class PtyLine {
public:
    using Clock = std::chrono::steady_clock;

    // What a wait brought.
    enum class Event {
        Nothing,      // the deadline passed, or a look found nothing new
        Data,         // bytes from the host
        HostOpened,   // a host opened the line
        HostGone,     // the host closed the line: nobody has it open
        Interrupted,  // a signal arrived
    };
    struct Received {
        Event event = Event::Nothing;
        std::string bytes;
    };

    // Opens a new pseudo-terminal with its slave set raw at 115200 baud.
    // Throws std::runtime_error when the system has none to give.
    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // The slave's path, e.g. /dev/pts/3.
    const std::string& devicePath() const { return devicePath_; }

    // Waits until the host sends or opens or closes the line, a signal that
    // `waitMask` lets through arrives, or `deadline` (none: no limit) has
    // passed.
    Received wait(std::optional<Clock::time_point> deadline, const sigset_t& waitMask);

    // Writes bytes to the host; lost when no host has the line open.
    void send(const std::string& bytes);

    // Closes the master: to the host the device has gone.
    void close();

private:
    bool takeOpens();
    Received readHost();

    int master_ = -1;
    int opens_ = -1;  // inotify: opens of the slave
    std::string devicePath_;
    bool hostGone_ = false;
};

} // namespace tavrek::sim
