// Ports and threads on Windows.

#include <thread>

#include "platform/port_factory.h"
#include "network/rfc2217_line.h"
#include "windows/win32_port_list.h"
#include "windows/win32_serial_line.h"

namespace tavrek {

std::unique_ptr<SerialLine> openLocalLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    return std::make_unique<Win32SerialLine>(device, settings, dtr);
}

// A local port's wait for a reply also ends at a message for the window, so
// that it repaints and answers the operator at once during a Write.
std::unique_ptr<SerialLine> openWindowLine(const std::string& device, const LineSettings& settings, bool dtr)
{
    if (isPortUrl(device))
        return openSerialLine(device, settings, dtr);
    return std::make_unique<Win32SerialLine>(device, settings, dtr, WakeOn::InputOrWindowMessage);
}

std::shared_ptr<SerialPortLister> makeSerialPortLister()
{
    return std::make_shared<Win32PortLister>();
}

void runSideBySide(const std::vector<std::function<void()>>& jobs)
{
    std::vector<std::thread> threads;
    for (const auto& job : jobs)
        threads.emplace_back(job);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace tavrek
