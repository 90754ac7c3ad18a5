#include "sim/pty_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace tavrek::sim {

namespace {

// A timer wakes a sleeper up to about 100 us late; the last stretch before a
// deadline is spent looking at the line without sleeping, so that a paced
// reply leaves on time.
constexpr auto kWakeMargin = std::chrono::microseconds(200);
constexpr std::size_t kReadChunk = 4096;  // bytes taken from the line per read

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

timespec untilDeadline(PtyLine::Clock::time_point deadline)
{
    const auto left = std::max(deadline - PtyLine::Clock::now(), PtyLine::Clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    return {static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
}

// The slave starts raw, so that nothing the host does not set itself echoes
// or translates a byte.
void makeSlaveRaw(const std::string& path)
{
    const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        fail("cannot open " + path);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    const int set = ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    if (set != 0)
        fail("cannot set " + path + " raw");
}

} // namespace

PtyLine::PtyLine(bool holdSlave)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        fail("no pseudo-terminal");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        fail("cannot unlock the pseudo-terminal");
    devicePath_ = ::ptsname(master_);
    makeSlaveRaw(devicePath_);
    // Opened before the watch below, so that it is not taken for a host's open.
    if (holdSlave && (heldSlave_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0)
        fail("cannot open " + devicePath_);
    // Until a host opens it the line reports a hang-up, from the open above.
    hostGone_ = true;
    opens_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens_ < 0 || ::inotify_add_watch(opens_, devicePath_.c_str(), IN_OPEN) < 0)
        fail("cannot watch " + devicePath_);
}

PtyLine::~PtyLine()
{
    close();
    if (opens_ >= 0)
        ::close(opens_);
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
}

void PtyLine::close()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

// While no host has the line open only a new open is waited for: the master
// reports its hang-up all the time then.
PtyLine::Received PtyLine::wait(std::optional<Clock::time_point> deadline, const sigset_t& waitMask)
{
    pollfd watched[] = {{opens_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = hostGone_ ? 1 : 2;
    const timespec left = deadline ? untilDeadline(*deadline - kWakeMargin) : timespec{};
    const int ready = ::ppoll(watched, count, deadline ? &left : nullptr, &waitMask);
    if (ready < 0 && errno == EINTR)
        return {Event::Interrupted, {}};
    if (ready <= 0)
        return {};
    // An open comes before anything the new host sends.
    if ((watched[0].revents & POLLIN) != 0 && takeOpens()) {
        hostGone_ = false;
        return {Event::HostOpened, {}};
    }
    if (count < 2)
        return {};
    if ((watched[1].revents & POLLIN) != 0) {
        Received received = readHost();
        if (received.event != Event::Nothing)
            return received;
    }
    if ((watched[1].revents & POLLHUP) != 0) {
        hostGone_ = true;
        return {Event::HostGone, {}};
    }
    return {};
}

// True when the slave was opened since the last look.
bool PtyLine::takeOpens()
{
    alignas(inotify_event) char events[kReadChunk];
    bool opened = false;
    for (ssize_t n; (n = ::read(opens_, events, sizeof events)) > 0;) {
        for (const char* at = events; at < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            opened = opened || (event->mask & IN_OPEN) != 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return opened;
}

PtyLine::Received PtyLine::readHost()
{
    char chunk[kReadChunk];
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n <= 0)
        return {};  // nothing, or the host has closed (the hang-up says so)
    return {Event::Data, std::string(chunk, static_cast<std::size_t>(n))};
}

void PtyLine::send(const std::string& bytes)
{
    if (master_ < 0 || bytes.empty())
        return;
    [[maybe_unused]] const ssize_t written = ::write(master_, bytes.data(), bytes.size());
}

} // namespace tavrek::sim
