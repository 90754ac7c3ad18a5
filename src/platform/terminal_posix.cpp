// The terminal on Linux and other POSIX systems.

#include "platform/terminal.h"

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

} // namespace tavrek
