#include "platform/com_numbering.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "network/remote_port_name.h"

namespace tavrek {

namespace {

constexpr const char* kPortVariablePrefix = "TAVREK_COM";  // TAVREK_COM1 names the device of COM1
constexpr int kLongestHarmlessLatencyMs = 2;  // a timer this short costs a whole chip about a second
constexpr int kWholeChipReplies = 512 + 7;    // a dsPIC30F4011's flash rows and configuration words

// Where a device stands in system order: its kind, then the name without its
// trailing number, then that number.
std::tuple<int, std::string, unsigned long> systemOrderKey(const std::string& device)
{
    const std::string name = std::filesystem::path(device).filename().string();
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    const std::string stem = name.substr(0, digits);
    const std::string number = name.substr(digits).substr(0, 9);  // enough for any port number
    static const std::string kKinds[] = {"ttyS", "ttyUSB", "ttyACM"};
    const int kind = static_cast<int>(std::find(std::begin(kKinds), std::end(kKinds), stem) - std::begin(kKinds));
    return {kind, stem, number.empty() ? 0 : std::stoul(number)};
}

} // namespace

namespace {

void describeWith(ComPort& port, const SerialPortInfo& info)
{
    port.present = true;
    port.description = info.description;
    port.manufacturer = info.manufacturer;
    port.latencyTimerMs = info.latencyTimerMs;
}

// The system's port list leaves out pseudo-terminals and the like: a device
// named by a variable is there when its file is.
bool deviceExists(const std::string& device)
{
    std::error_code error;
    return std::filesystem::exists(device, error);
}

} // namespace

bool sameDevice(const std::string& a, const std::string& b)
{
    return deviceIdentity(a) == deviceIdentity(b);
}

PortVariables portVariables()
{
    PortVariables variables;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        const std::string name = kPortVariablePrefix + std::to_string(number);
        if (const char* value = std::getenv(name.c_str()))
            variables[number - kFirstPort] = wholeDevicePath(value);
    }
    return variables;
}

std::vector<SerialPortInfo> inSystemOrder(std::vector<SerialPortInfo> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return systemOrderKey(a.device) < systemOrderKey(b.device);
    });
    return ports;
}

std::array<ComPort, kComCount> numberComPorts(const std::vector<SerialPortInfo>& present,
                                              const PortVariables& variables)
{
    std::array<ComPort, kComCount> ports;
    std::vector<SerialPortInfo> unclaimed = inSystemOrder(present);
    for (int i = 0; i < kComCount; ++i) {
        ports[i].number = kFirstPort + i;
        if (variables[i].empty())
            continue;
        ports[i].device = variables[i];
        ports[i].variable = kPortVariablePrefix + std::to_string(ports[i].number);
        const auto named = [&](const SerialPortInfo& info) { return sameDevice(info.device, variables[i]); };
        if (const auto found = std::find_if(present.begin(), present.end(), named); found != present.end())
            describeWith(ports[i], *found);
        else
            ports[i].present = deviceExists(variables[i]);
        std::erase_if(unclaimed, named);
    }
    auto next = unclaimed.begin();
    for (ComPort& port : ports) {
        if (!port.variable.empty() || next == unclaimed.end())
            continue;
        port.device = next->device;
        describeWith(port, *next++);
    }
    return ports;
}

std::array<ComPort, kComCount> systemComPorts(const std::vector<SerialPortInfo>& present,
                                              const PortVariables& variables)
{
    std::array<ComPort, kComCount> ports;
    for (int i = 0; i < kComCount; ++i) {
        ComPort& port = ports[i];
        port.number = kFirstPort + i;
        port.device = variables[i].empty() ? "COM" + std::to_string(port.number) : variables[i];
        if (!variables[i].empty())
            port.variable = kPortVariablePrefix + std::to_string(port.number);
        const auto listed = [&port](const SerialPortInfo& info) { return sameDevice(info.device, port.device); };
        if (const auto found = std::find_if(present.begin(), present.end(), listed); found != present.end())
            describeWith(port, *found);
    }
    return ports;
}

std::array<ComPort, kComCount> currentComPorts(SerialPortLister& lister)
{
    return platformComPorts(lister.availablePorts(), portVariables());
}

DeviceResolver comNumberResolver(std::shared_ptr<SerialPortLister> lister)
{
    return [lister](int number) { return currentComPorts(*lister).at(number - kFirstPort).device; };
}

std::string describeComPort(const ComPort& port)
{
    if (port.device.empty() || (!port.present && port.variable.empty()))
        return "no serial port";
    if (isPortUrl(port.device))
        return port.device + ": a port on another machine" + (port.variable.empty() ? "" : ", set by " + port.variable);
    std::string text = port.device;
    if (const std::string adapter = adapterName(port.description, port.manufacturer); !adapter.empty())
        text += ": " + adapter;
    if (!port.variable.empty())
        text += (port.present ? ", set by " : ", not present, set by ") + port.variable;
    if (const std::string note = latencyTimerNote(port.latencyTimerMs); !note.empty())
        text += ". " + note;
    return text;
}

std::string adapterName(const std::string& description, const std::string& manufacturer)
{
    if (description.empty() || manufacturer.empty())
        return description + manufacturer;
    return description + " (" + manufacturer + ")";
}

std::string latencyTimerNote(int latencyTimerMs)
{
    if (latencyTimerMs <= kLongestHarmlessLatencyMs)
        return {};
    char cost[16];
    std::snprintf(cost, sizeof cost, "%.1f", kWholeChipReplies * latencyTimerMs / 1000.0);
    const std::string timer = std::to_string(latencyTimerMs) + " ms";
    return "Its latency timer is " + timer + ": the adapter holds each reply of the chip up to " + timer +
           ", which makes a whole chip take up to " + cost + " s longer. Set it to 1 ms in Device Manager: "
           "the port's Properties > Port Settings > Advanced > Latency Timer (needs administrator rights)";
}

std::vector<SerialPortInfo> portsBeyondTheList(const std::vector<SerialPortInfo>& present,
                                               const std::array<ComPort, kComCount>& ports)
{
    std::vector<SerialPortInfo> beyond;
    for (const SerialPortInfo& info : present) {
        const auto opens = [&info](const ComPort& port) { return !port.device.empty() && sameDevice(port.device, info.device); };
        if (std::none_of(ports.begin(), ports.end(), opens))
            beyond.push_back(info);
    }
    return beyond;
}

std::string describeComPort(const ComPort& port, const std::vector<SerialPortInfo>& beyond)
{
    std::string text = describeComPort(port);
    if (text != "no serial port" || beyond.empty())
        return text;
    text += "; present beyond COM" + std::to_string(kLastPort) + ": ";
    for (std::size_t i = 0; i < beyond.size(); ++i) {
        ComPort shown;
        shown.device = beyond[i].device;
        shown.present = true;
        shown.description = beyond[i].description;
        shown.manufacturer = beyond[i].manufacturer;
        text += (i == 0 ? "" : ", ") + describeComPort(shown);
    }
    const std::string number = std::to_string(port.number);
    return text + ". Reach one as COM" + number + " with TAVREK_COM" + number + "=" + beyond.front().device +
           ", or give it a number up to COM" + std::to_string(kLastPort) +
           " (Device Manager: Port Settings > Advanced > COM Port Number)";
}

} // namespace tavrek
