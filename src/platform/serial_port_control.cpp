#include "platform/serial_port_control.h"

#include <climits>
#include <utility>

namespace tavrek {

// A device that has gone stays gone: the line is dropped and the failure
// passes on.
template <class Operation>
auto SerialPortControl::onLine(Operation operation)
{
    SerialLine& line = requireLine();
    try {
        return operation(line);
    } catch (const LineGone&) {
        line_.reset();
        throw;
    }
}

SerialPortControl::SerialPortControl(DeviceResolver deviceFor, LineOpener open)
    : deviceFor_(std::move(deviceFor)), open_(std::move(open)), settingsText_(kBootloaderLine),
      settings_(parseLineSettings(kBootloaderLine))
{
}

SerialPortControl::~SerialPortControl() = default;

void SerialPortControl::setCommPort(int number)
{
    if (number < kFirstPort || number > kLastPort)
        throw PortFailure("port number " + std::to_string(number) + " refused (COM1 to COM5 only)");
    commPort_ = number;
}

void SerialPortControl::setSettings(const std::string& settings)
{
    const LineSettings parsed = parseLineSettings(settings);
    if (line_)
        onLine([&](SerialLine& line) { line.applySettings(parsed); });
    settings_ = parsed;
    settingsText_ = settings;
}

void SerialPortControl::setPortOpen(bool open)
{
    if (!open) {
        line_.reset();
        return;
    }
    if (line_)
        throw PortFailure("COM" + std::to_string(commPort_) + " is already open");
    const std::string device = deviceFor_(commPort_);
    if (device.empty())
        throw PortFailure("COM" + std::to_string(commPort_) + ": no serial port (plug in an adapter, or name its device in " +
                          "TAVREK_COM" + std::to_string(commPort_) + ")");
    line_ = open_(device, settings_, dtrEnable_);
}

void SerialPortControl::setDTREnable(bool enable)
{
    dtrEnable_ = enable;
    if (line_)
        onLine([enable](SerialLine& line) { line.setDtr(enable); });
}

int SerialPortControl::inBufferCount()
{
    const std::size_t count = onLine([](SerialLine& line) { return line.available(); });
    return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

std::string SerialPortControl::input()
{
    return onLine([](SerialLine& line) { return line.take(); });
}

void SerialPortControl::output(const std::string& bytes)
{
    onLine([&bytes](SerialLine& line) { line.send(bytes); });
}

void SerialPortControl::waitForInput(int maxMs)
{
    onLine([maxMs](SerialLine& line) { line.waitForInput(maxMs); });
}

SerialLine& SerialPortControl::requireLine()
{
    if (!line_)
        throw PortFailure("COM" + std::to_string(commPort_) + " is not open");
    return *line_;
}

} // namespace tavrek
