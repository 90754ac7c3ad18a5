#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/serial_line.h"

namespace tavrek {

// A serial port on another machine, exported over TCP with RFC 2217 (by
// ser2net, say), named rfc2217://HOST:PORT.

inline constexpr const char* kRemotePortForm = "rfc2217://HOST:PORT";

struct RemotePort {
    std::string host;  // a name, an IPv4 address, or an IPv6 address without its brackets
    std::uint16_t port = 0;
};

// True when `name` is meant as a URL (it has a scheme such as "rfc2217://"),
// well formed or not.
bool isPortUrl(const std::string& name);
// The host and port of a well-formed rfc2217://HOST:PORT (a host name, an
// IPv4 address or a bracketed IPv6 address; a port of 1 to 65535; nothing
// after it); nothing for any other name.
std::optional<RemotePort> parseRemotePortName(const std::string& name);

// Connects to the port `name` stands for and opens it as a serial line with
// `settings`, both directions purged and DTR as `dtr`. Throws PortFailure
// with `name` and the cause.
std::unique_ptr<SerialLine> openRfc2217Line(const std::string& name, const LineSettings& settings, bool dtr);

} // namespace tavrek
