// The console on Windows.

#include "platform/terminal.h"

#include <windows.h>

#include <cstdlib>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004  // Windows 10 and later
#endif

namespace tavrek {

namespace {

DWORD modeBeforeBars = 0;  // the console's output mode before the bars switched it

// The console outlives the program: it gets its mode back.
void restoreConsoleMode()
{
    ::SetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), modeBeforeBars);
}

} // namespace

bool errorTerminalTakesBars()
{
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(error, &mode))
        return false;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0)
        return true;
    // Consoles before Windows 10 refuse the mode.
    if (!::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return false;
    modeBeforeBars = mode;
    std::atexit(restoreConsoleMode);
    return true;
}

std::size_t errorTerminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &screen))
        return 0;
    return static_cast<std::size_t>(screen.srWindow.Right - screen.srWindow.Left + 1);
}

// Windows raises no signal for a pipe whose reader has gone, and a process
// without a standard handle writes nowhere: nothing to guard.
void guardStandardStreams() {}

} // namespace tavrek
