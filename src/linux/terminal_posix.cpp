// The terminal on Linux and other POSIX systems.

#include "platform/terminal.h"

#include <csignal>
#include <initializer_list>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tavrek {

bool errorTerminalTakesBars()
{
    return ::isatty(STDERR_FILENO) == 1;
}

std::size_t errorTerminalColumns()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void guardStandardStreams()
{
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (::fcntl(stream, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);  // takes the lowest free number: this one
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace tavrek
