#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/port_control.h"

namespace tavrek {

// A serial port present on the machine, as the system lists it.
struct SerialPortInfo {
    std::string device;        // e.g. /dev/ttyUSB0, COM7
    std::string description;   // e.g. "FT232R USB UART"; empty where unknown
    std::string manufacturer;  // e.g. "FTDI"; empty where unknown
    int latencyTimerMs = 0;    // an FTDI adapter's on Windows, as its driver is set; 0 where unknown
};

// The serial ports present now. Tests put in a list of their own.
class SerialPortLister {
public:
    virtual ~SerialPortLister() = default;
    virtual std::vector<SerialPortInfo> availablePorts() = 0;
};

// What one COM number opens.
struct ComPort {
    int number = 0;
    std::string device;     // empty: no serial port behind the number (Windows: always COMn or the variable's)
    std::string variable;   // "TAVREK_COM2" when that variable chose the device
    bool present = false;   // the device exists: the system lists it, or its file is there
    std::string description;
    std::string manufacturer;
    int latencyTimerMs = 0;
};

inline constexpr int kComCount = kLastPort - kFirstPort + 1;
// The device named by TAVREK_COM<n>, entry n - 1; empty where it is not set.
using PortVariables = std::array<std::string, kComCount>;

// Reads TAVREK_COM1 to TAVREK_COM5 from the environment, each device made
// whole as wholeDevicePath makes it.
PortVariables portVariables();

// A device named by a path relative to the folder current at the program's
// start (./ttyV0, dev/ttyS5), made whole from there: loading a HEX file
// changes the current folder. Other names as they are: a whole path, a name
// without a folder (ttyUSB0, COM7), a port on another machine.
std::string wholeDevicePath(const std::string& device);

// The ports in the order their users know them: built-in UARTs (/dev/ttyS*)
// by number, then USB adapters (/dev/ttyUSB*), then modems and boards
// (/dev/ttyACM*), then the rest by name, each kind by number.
std::vector<SerialPortInfo> inSystemOrder(std::vector<SerialPortInfo> ports);

// COM1 to COM5. A variable wins for its number, and the device it names is not
// numbered again; the other ports present, in system order, take the free
// numbers from the lowest up. A number left over has no device.
std::array<ComPort, kComCount> numberComPorts(const std::vector<SerialPortInfo>& present,
                                              const PortVariables& variables);

// COM1 to COM5 on Windows, where COMn is the system's own COMn: a variable
// still names another port for its number; a port the system lists is
// described.
std::array<ComPort, kComCount> systemComPorts(const std::vector<SerialPortInfo>& present,
                                              const PortVariables& variables);

// COM1 to COM5 as this platform gives them: numbered from the ports present
// on Linux, the system's own on Windows.
std::array<ComPort, kComCount> platformComPorts(const std::vector<SerialPortInfo>& present,
                                                const PortVariables& variables);

// COM1 to COM5 as they stand now: the variables and the ports present.
std::array<ComPort, kComCount> currentComPorts(SerialPortLister& lister);

// True when two names reach one device (a /dev/serial/by-id link and its
// target, say; COM7 and \\.\COM7 on Windows).
bool sameDevice(const std::string& a, const std::string& b);
// What every name of one device resolves to.
std::string deviceIdentity(const std::string& device);

// The device a port number opens; empty when there is none.
using DeviceResolver = std::function<std::string(int number)>;

// COM numbers as `lister` and the TAVREK_COMn variables give them at the
// moment of asking, so that an adapter plugged in late is found.
DeviceResolver comNumberResolver(std::shared_ptr<SerialPortLister> lister);

// "FT232R USB UART (FTDI)", what is known of either; empty when neither is.
std::string adapterName(const std::string& description, const std::string& manufacturer);

// For an adapter whose latency timer holds every reply longer than 2 ms: what
// it costs and how to set it to 1 ms. Empty for any other port.
std::string latencyTimerNote(int latencyTimerMs);

// One line for the operator: "/dev/ttyUSB0: FT232R USB UART (FTDI)", the
// variable that chose the device where one did, or "no serial port".
std::string describeComPort(const ComPort& port);

// The ports present that none of COM1 to COM5 opens: on Windows, those the
// system numbered above COM5.
std::vector<SerialPortInfo> portsBeyondTheList(const std::vector<SerialPortInfo>& present,
                                               const std::array<ComPort, kComCount>& ports);

// describeComPort's line; for a number with no port behind it, also the ports
// present beyond the list and how to reach one of them from that number.
std::string describeComPort(const ComPort& port, const std::vector<SerialPortInfo>& beyond);

} // namespace tavrek
