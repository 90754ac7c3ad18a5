// The terminal on Linux and other POSIX systems.

#include "platform/terminal.h"

#include <csignal>
#include <initializer_list>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

bool outputAndErrorShareAFile()
{
    struct stat output {};
    struct stat error {};
    return ::fstat(STDOUT_FILENO, &output) == 0 && ::fstat(STDERR_FILENO, &error) == 0 &&
           output.st_dev == error.st_dev && output.st_ino == error.st_ino;
}

void guardStandardStreams()
{
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (::fcntl(stream, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);  // takes the lowest free number: this one
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace tavrek
