#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/console.h"
#include "platform/com_numbering.h"
#include "support/support.h"

namespace tavrek::cli {

// A command line that names something impossible (the same device twice,
// say); exits with kExitBadCommandLine.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A port as the command line names it: "COM1" to "COM5", numbered as in the
// window, or a device ("/dev/ttyUSB0", "ttyUSB0", a pseudo-terminal).
struct PortTarget {
    std::string name;    // as given
    std::string device;  // what it opens; empty when a COM number has no port behind it
    int number = kFirstPort;  // the COM number named, else 1: the port control is always set to one
};

// The --port value that has tavrek-cli find the port by itself.
inline constexpr const char* kAutoPort = "auto";

// "" when `name` may name a port, else why not.
std::string checkPortName(const std::string& name);
// Each name's device as the ports present and the TAVREK_COMn variables give
// it now. Throws UsageError when two names reach one device.
std::vector<PortTarget> resolvePorts(const std::vector<std::string>& names, SerialPortLister& lister);
// The ports --port auto tries, in the COM numbering's order: those that
// TAVREK_AUTO_PORTS names (comma-separated) where it is set, else COM1 to
// COM5 where a port is behind them and then every other port present.
std::vector<PortTarget> autoPortCandidates(SerialPortLister& lister);

// A HEX file as a write takes it, read once.
struct LoadedFile {
    std::optional<SupportState> images;  // none: refused
    std::string refusal;                 // why, as standard error tells it
    std::optional<std::string> bytes;    // what was checked and loaded; none: it could not be read
};

// Checks and loads the file at `wholePath`, named `file` on the command line,
// as a Write does, logging to `console`.
LoadedFile loadFile(const std::string& file, const std::string& wholePath, Console& console);
// True when the file at `wholePath` checks as a sound HEX file; says nothing.
bool soundHexFile(const std::string& wholePath);
// What a write of the loaded images would send, one fact a line.
std::vector<std::string> describeImages(const SupportState& images);

// The rates a bootloader may be built for; 115200 unless --baud says otherwise.
inline constexpr int kLineRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
inline constexpr int kDefaultBaud = 115200;
// "N,n,8,1": the bootloader's line at N baud.
std::string lineSettings(int baud);

struct WriteOptions {
    std::string file;
    std::vector<std::string> ports;
    int baud = kDefaultBaud;
    bool trace = false;
    bool quiet = false;
    std::string report;  // the file --report appends a record per chip to
    bool watch = false;
};

struct ResetOptions {
    std::string port = "COM1";
    bool quiet = false;
    bool trace = false;
};

int writeCommand(const WriteOptions& options, SerialPortLister& lister);
int resetCommand(const ResetOptions& options, SerialPortLister& lister);
int checkCommand(const std::string& file);
int portsCommand(SerialPortLister& lister);

} // namespace tavrek::cli
