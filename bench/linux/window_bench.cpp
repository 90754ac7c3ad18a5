// Linux: the window's own path (the form, the Qt window, the Qt line) writing
// a whole chip into a paced tavrek-sim that the benchmark starts behind COM1.

#include <memory>

#include <QApplication>

#include <sys/resource.h>

#include "form/real_form_parts.h"
#include "linux/qt_main_window.h"
#include "serial_fixture.h"
#include "window_bench.h"

namespace tavrek::bench {
namespace {

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

} // namespace
} // namespace tavrek::bench

int main()
{
    tavrek::bench::Chip chip;
    tavrek::bench::Window window;
    return tavrek::bench::writeWholeChips("the Qt window", window, tavrek::bench::processCpuSeconds);
}
