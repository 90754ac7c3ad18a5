// Ctrl+C and file changes on Linux: SIGINT through a pipe that every wait
// watches, changes through inotify on the file's folder.

#include "platform/file_watch.h"

#include <atomic>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace tavrek {

namespace {

// Whatever a compiler or an editor does to the file: writes it in place,
// replaces it by a rename, deletes and creates it again.
constexpr std::uint32_t kFileEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::size_t kEventBytes = 4096;

std::atomic<bool> interrupted{false};
int interruptPipe[2] = {-1, -1};  // the handler writes a byte, waits watch the other end

void onInterrupt(int)
{
    interrupted = true;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], "!", 1);
}

// Waits for `handle` to be readable or Ctrl+C: true when `handle` is.
bool readableBeforeInterrupt(int handle, int ms, bool& interrupt)
{
    pollfd watched[] = {{interruptPipe[0], POLLIN, 0}, {handle, POLLIN, 0}};
    const int ready = ::poll(watched, handle < 0 ? 1 : 2, ms);
    interrupt = interrupted;
    return ready > 0 && !interrupt && (watched[1].revents & POLLIN) != 0;
}

class InotifyWatch : public FileWatch {
public:
    InotifyWatch(int handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    ~InotifyWatch() override { ::close(handle_); }
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    WatchEvent wait(std::optional<int> maxMs) override
    {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const int ms = msLeft(start, maxMs).value_or(-1);  // poll's -1: no limit
            bool interrupt = false;
            const bool readable = readableBeforeInterrupt(handle_, ms, interrupt);
            if (interrupt)
                return WatchEvent::Interrupted;
            if (readable && aboutTheFile())
                return WatchEvent::Changed;
            if (!readable && ms >= 0)
                return WatchEvent::Quiet;
        }
    }

private:
    // Reads the events waiting: true when one concerns the file (the others
    // are of its neighbours in the folder).
    bool aboutTheFile()
    {
        alignas(inotify_event) char events[kEventBytes];
        bool changed = false;
        for (ssize_t n; (n = ::read(handle_, events, sizeof events)) > 0;) {
            for (const char* at = events; at < events + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                changed = changed || (event->mask & IN_Q_OVERFLOW) != 0 || (event->len > 0 && name_ == event->name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        return changed;
    }

    int handle_;
    std::string name_;
};

} // namespace

void catchInterrupt()
{
    if (interruptPipe[0] < 0 && ::pipe2(interruptPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART | SA_RESETHAND;  // the second Ctrl+C ends the program
    ::sigaction(SIGINT, &action, nullptr);
}

bool interruptRequested()
{
    return interrupted;
}

bool waitForInterrupt(int ms)
{
    bool interrupt = false;
    readableBeforeInterrupt(-1, ms, interrupt);
    return interrupt;
}

std::unique_ptr<FileWatch> watchFile(const std::string& path)
{
    const std::filesystem::path file(path);
    const int handle = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
    if (handle < 0)
        return pollFile(file);
    if (::inotify_add_watch(handle, folder.c_str(), kFileEvents) < 0) {
        ::close(handle);
        return pollFile(file);
    }
    return std::make_unique<InotifyWatch>(handle, file.filename().string());
}

} // namespace tavrek
