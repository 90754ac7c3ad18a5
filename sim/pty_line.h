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
    // `holdSlave` keeps the slave open here too, so that bytes sent while no
    // host has it open wait for the next one, and a host that finds the
    // device by a link sees it as long as the simulator runs. Throws
    // std::runtime_error when the system has none to give.
    explicit PtyLine(bool holdSlave = false);
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
    int heldSlave_ = -1;
    std::string devicePath_;
    bool hostGone_ = false;
};

} // namespace tavrek::sim
