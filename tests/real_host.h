#pragma once

#include <string>
#include <vector>

#include "fakes/fake_window.h"
#include "platform/qt_serial_port.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"
#include "serial_fixtures.h"
#include "support/support.h"

namespace tavrek::test {

// Tavrek's real serial path (the Qt port, files on disk, the steady clock)
// with COM1 pointed at a fresh tavrek-sim started with `simOptions`.
struct RealHost {
    explicit RealHost(const std::vector<std::string>& simOptions) : sim(simOptions), mapping(1, sim.device())
    {
        port.setSettings("115200,n,8,1");
    }

    QCoreApplication& application = qtApplication();
    SimProcess sim;
    PortMapping mapping;
    QtSerialPort port;
    FakeWindow window{port};
    DiskFileSystem files;
    SteadyClock clock;
    Support support{window, files, clock};
};

} // namespace tavrek::test
