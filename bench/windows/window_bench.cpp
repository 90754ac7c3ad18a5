// Windows: the window's own path (the form, the Win32 window, the Win32 line)
// writing a whole chip, run under Wine with a simulator on COM11
// (docs/performance.md has the command).

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "form/real_form_parts.h"
#include "window_bench.h"
#include "windows/win32_main_window.h"

namespace tavrek::bench {
namespace {

double processCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;  // 100 ns units
    };
    return seconds(kernel) + seconds(user);
}

struct Window {
    Window() { ::ShowWindow(view.handle(), SW_SHOWNORMAL); }
    frmMain& form() { return view.form(); }

    Win32MainWindow view{realFormParts()};
};

} // namespace
} // namespace tavrek::bench

int main()
{
    ::_putenv("TAVREK_COM1=COM11");  // the runner's simulator
    tavrek::bench::Window window;
    return tavrek::bench::writeWholeChips("tavrek.exe's window under Wine", window,
                                          tavrek::bench::processCpuSeconds);
}
