// Serial ports present on Windows: the registry's SERIALCOMM and SetupAPI.

#include "windows/win32_port_list.h"

#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <map>

#include "windows/win32_text.h"

namespace tavrek {

namespace {

constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kMaxValueChars = 256;  // longer than any device or port name the key holds
constexpr DWORD kLongestLatencyTimerMs = 255;  // the FTDI chips' timer counts to this

struct Description {
    std::string description;
    std::string manufacturer;
    int latencyTimerMs = 0;
};

// The port names the registry lists, "COM3" and the like.
std::vector<std::string> listedPortNames()
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[kMaxValueChars];
        wchar_t data[kMaxValueChars];
        DWORD nameChars = kMaxValueChars;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, valueName, &nameChars, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';  // the registry does not promise the terminator
        if (data[0] != L'\0')
            names.push_back(narrow(data));
    }
    ::RegCloseKey(key);
    return names;
}

std::string deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[kMaxValueChars] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                             sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return narrow(text);
}

// The port name and latency timer a port's device key holds.
struct DeviceKeyValues {
    std::string port;
    int latencyTimerMs = 0;
};

DeviceKeyValues deviceKeyValues(HDEVINFO devices, SP_DEVINFO_DATA& device)
{
    HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[kMaxValueChars] = {};
    DWORD bytes = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const bool read = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes) ==
                      ERROR_SUCCESS && type == REG_SZ;
    const DeviceKeyValues values{read ? narrow(name) : std::string(), latencyTimerOf(key)};
    ::RegCloseKey(key);
    return values;
}

// What SetupAPI's Ports class says of each port it knows, by port name.
std::map<std::string, Description> describedPorts()
{
    std::map<std::string, Description> described;
    HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return described;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const DeviceKeyValues values = deviceKeyValues(devices, device);
        if (values.port.empty())
            continue;
        described[values.port] = {withoutPortName(deviceProperty(devices, device, SPDRP_FRIENDLYNAME), values.port),
                                  deviceProperty(devices, device, SPDRP_MFG), values.latencyTimerMs};
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return described;
}

} // namespace

int latencyTimerOf(HKEY deviceKey)
{
    DWORD ms = 0;
    DWORD bytes = sizeof ms;
    DWORD type = 0;
    if (::RegQueryValueExW(deviceKey, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&ms), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || ms > kLongestLatencyTimerMs)
        return 0;
    return static_cast<int>(ms);
}

std::string withoutPortName(const std::string& friendlyName, const std::string& port)
{
    const std::string suffix = " (" + port + ")";
    if (friendlyName.size() > suffix.size() && friendlyName.ends_with(suffix))
        return friendlyName.substr(0, friendlyName.size() - suffix.size());
    return friendlyName;
}

std::vector<SerialPortInfo> Win32PortLister::availablePorts()
{
    const std::map<std::string, Description> described = describedPorts();
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : listedPortNames()) {
        const auto found = described.find(name);
        ports.push_back({name, found == described.end() ? "" : found->second.description,
                         found == described.end() ? "" : found->second.manufacturer,
                         found == described.end() ? 0 : found->second.latencyTimerMs});
    }
    return inSystemOrder(ports);
}

} // namespace tavrek
