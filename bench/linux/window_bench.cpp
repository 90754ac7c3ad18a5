// The window's own path writing a whole 48 KB chip (512 rows and 7
// configuration words): the form and its view (Qt on Linux, Win32 on
// Windows), the platform's line and the steady clock, against
// `tavrek-sim --line-pacing` behind COM1. For each of three Writes it prints
// the wall time over what the line at 115200 baud, the flash writes and the
// 100 ms reset hold account for (target: at most 1.03 on Linux, 1.06 under
// Wine), and the CPU seconds the program spent on the Write (target: < 0.5 s).
// On Linux it starts the simulator itself; the Windows build is run under
// Wine with a simulator on COM11 (docs/performance.md has the command).

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "form/real_form_parts.h"
#include "whole_chip.h"

#ifdef _WIN32
#include <windows.h>

#include "win32/win32_main_window.h"
#else
#include <QApplication>

#include <sys/resource.h>

#include "serial_fixture.h"
#include "ui/qt_main_window.h"
#endif

namespace tavrek::bench {
namespace {

constexpr int kWrites = 3;

#ifdef _WIN32
constexpr const char* kWindowName = "tavrek.exe's window under Wine";

double processCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;  // 100 ns units
    };
    return seconds(kernel) + seconds(user);
}

struct Chip {
    Chip() { ::_putenv("TAVREK_COM1=COM11"); }  // the runner's simulator
};

struct Window {
    Window() { ::ShowWindow(view.handle(), SW_SHOWNORMAL); }
    frmMain& form() { return view.form(); }

    Win32MainWindow view{realFormParts()};
};
#else
constexpr const char* kWindowName = "the Qt window";

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Chip {
    test::SimProcess sim{{"--line-pacing"}};
    test::PortMapping com1{1, sim.device()};
};

QApplication& application()
{
    static int argc = 1;
    static char name[] = "window_bench";
    static char* argv[] = {name, nullptr};
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

struct Window {
    Window() { view.show(); }
    frmMain& form() { return view.form(); }

    QApplication& app = application();
    QtMainWindow view{WindowParts{realFormParts()}};
};
#endif

int run()
{
    Chip chip;
    test::TempDir dir;
    Window window;
    window.form().support().state().hexFileName = dir.write("whole-chip.hex", wholeChipHex());
    std::printf("%s, %d Writes of 512 rows + 7 configuration words into a paced simulator (%.2f s of line)\n",
                kWindowName, kWrites, pacedSeconds());
    for (int i = 0; i < kWrites; ++i) {
        const std::size_t logBefore = window.form().logText().size();
        const double cpuBefore = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        window.form().cmdWrite_Click();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = processCpuSeconds() - cpuBefore;
        if (!window.form().logText().ends_with("Write Successful!\r\n") ||
            window.form().logText().size() == logBefore) {
            std::printf("the Write failed:\n%s", window.form().logText().c_str());
            return 1;
        }
        std::printf("wall %.3f s  wall_over_paced %.3f  cpu %.3f s\n", wall, wall / pacedSeconds(), cpu);
    }
    return 0;
}

} // namespace
} // namespace tavrek::bench

int main()
{
    return tavrek::bench::run();
}
