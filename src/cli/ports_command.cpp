// Ports as the command line names them, and the ports command.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <optional>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "network/rfc2217_line.h"

namespace tavrek::cli {

namespace {

constexpr const char* kAutoPortsVariable = "TAVREK_AUTO_PORTS";  // the ports --port auto tries
constexpr std::size_t kMaxComDigits = 9;       // more than any COM number, fewer than overflow a long

#ifdef _WIN32
// COMn is the system's own COMn; Windows numbers its ports up to COM256.
constexpr long kLastComNumber = 256;
constexpr const char* kComNumbers = "the COM numbers are COM1 to COM256";
#else
// COMn is a number Tavrek gives to the n-th port present, as the window does.
constexpr long kLastComNumber = kLastPort;
constexpr const char* kComNumbers = "the COM numbers are COM1 to COM5; name the device instead";
constexpr const char* kDeviceFolder = "/dev/";  // where a bare device name such as ttyUSB0 lives
#endif

// The n of "COM<n>" in any case; -1 for any other name.
long comNumber(const std::string& name)
{
    const std::string digits = name.size() > 3 ? name.substr(3) : "";
    const bool comPrefix = name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
                           std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
                           std::toupper(static_cast<unsigned char>(name[2])) == 'M';
    if (!comPrefix || digits.size() > kMaxComDigits ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    return std::stol(digits);
}

std::string devicePath(const std::string& name)
{
#ifdef _WIN32
    return name;  // \\.\COM7 and the like, as the system names its devices
#else
    return name.find('/') == std::string::npos ? kDeviceFolder + name : wholeDevicePath(name);
#endif
}

} // namespace

std::string checkPortName(const std::string& name)
{
    const long number = comNumber(name);
    if (name.empty())
        return "PORT is empty";
    if (number != -1 && (number < kFirstPort || number > kLastComNumber))
        return name + ": " + kComNumbers;
    if (isPortUrl(name) && !parseRemotePortName(name))
        return name + ": not a port; a port on another machine is " + kRemotePortForm + " (e.g. rfc2217://bench-pi:3001)";
    return {};
}

std::vector<PortTarget> resolvePorts(const std::vector<std::string>& names, SerialPortLister& lister)
{
    std::optional<std::array<ComPort, kComCount>> comPorts;  // listed only when a COM number is named
    std::vector<PortTarget> targets;
    std::vector<std::string> identities;  // of each target's device
    for (const std::string& name : names) {
        long number = comNumber(name);
        std::string device = devicePath(name);
        if (number > kLastPort) {
            device = "COM" + std::to_string(number);  // beyond the list: the system's own COMn
            number = -1;
        } else if (number != -1) {
            if (!comPorts)
                comPorts = currentComPorts(lister);
            device = comPorts->at(number - kFirstPort).device;
        }
        // Each name is resolved once: a gang of many ports is checked in one pass.
        const std::string identity = device.empty() ? "" : deviceIdentity(device);
        if (const auto earlier = std::find(identities.begin(), identities.end(), identity);
            !identity.empty() && earlier != identities.end()) {
            const std::string& earlierName = targets[static_cast<std::size_t>(earlier - identities.begin())].name;
            throw UsageError(earlierName == name ? name + " is named twice"
                                                 : earlierName + " and " + name + " are the same device, " + device);
        }
        identities.push_back(identity);
        targets.push_back({name, device, number != -1 ? static_cast<int>(number) : kFirstPort});
    }
    return targets;
}

std::vector<PortTarget> autoPortCandidates(SerialPortLister& lister)
{
    if (const char* named = std::getenv(kAutoPortsVariable)) {
        std::vector<std::string> names;
        for (std::string_view rest = named; !rest.empty();) {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            if (comma > 0)
                names.emplace_back(rest.substr(0, comma));
            rest.remove_prefix(std::min(comma + 1, rest.size()));
        }
        return resolvePorts(names, lister);
    }
    const std::vector<SerialPortInfo> present = inSystemOrder(lister.availablePorts());
    const std::array<ComPort, kComCount> comPorts = platformComPorts(present, portVariables());
    std::vector<PortTarget> candidates;
    for (const ComPort& port : comPorts)
        if (!port.device.empty() && (port.present || !port.variable.empty()))
            candidates.push_back({"COM" + std::to_string(port.number), port.device, port.number});
    for (const SerialPortInfo& info : portsBeyondTheList(present, comPorts))
        candidates.push_back({info.device, info.device, kFirstPort});
    return candidates;
}

int portsCommand(SerialPortLister& lister)
{
    const std::vector<SerialPortInfo> present = inSystemOrder(lister.availablePorts());
    for (const ComPort& port : platformComPorts(present, portVariables()))
        std::printf("COM%d  %s\n", port.number, describeComPort(port).c_str());
    std::printf("\nSerial ports present:%s\n", present.empty() ? " none" : "");
    for (const SerialPortInfo& info : present) {
        ComPort described;
        described.device = info.device;
        described.present = true;
        described.description = info.description;
        described.manufacturer = info.manufacturer;
        described.latencyTimerMs = info.latencyTimerMs;
        std::printf("  %s\n", describeComPort(described).c_str());
    }
    return kExitWritten;
}

} // namespace tavrek::cli
