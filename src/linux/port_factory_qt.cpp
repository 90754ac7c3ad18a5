// Ports and threads on Linux, through Qt.

#include <QThread>

#include "platform/port_factory.h"
#include "linux/qt_port_list.h"
#include "linux/qt_serial_line.h"

namespace tavrek {

std::unique_ptr<SerialLine> openLocalLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    return std::make_unique<QtSerialLine>(device, settings, dtr);
}

// The window processes its events between the short waits of a reply.
std::unique_ptr<SerialLine> openWindowLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    return openSerialLine(device, settings, dtr);
}

std::shared_ptr<SerialPortLister> makeSerialPortLister()
{
    return std::make_shared<QtPortLister>();
}

// QSerialPort watches its device with socket notifiers, which work only on a
// thread that Qt started.
void runSideBySide(const std::vector<std::function<void()>>& jobs)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (const auto& job : jobs) {
        threads.emplace_back(QThread::create(job));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
}

} // namespace tavrek
