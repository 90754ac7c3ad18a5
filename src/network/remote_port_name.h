#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavrek {

// The names of serial ports on other machines, exported over TCP with
// RFC 2217 (by ser2net, say): rfc2217://HOST:PORT.

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

} // namespace tavrek
