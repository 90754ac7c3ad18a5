// Port names of the form rfc2217://HOST:PORT, read without reaching the network.

#include "network/remote_port_name.h"

#include <algorithm>
#include <cctype>

namespace tavrek {

namespace {

constexpr const char* kScheme = "rfc2217://";
constexpr std::size_t kMaxHostLabel = 63;    // characters of one part of a host name
constexpr std::size_t kMaxHostName = 253;    // characters of a whole host name
constexpr std::size_t kMaxIpv6Text = 45;     // characters of the longest IPv6 address
constexpr unsigned long kMaxTcpPort = 65535;

// `prefix` in lower case.
bool startsWithNoCase(const std::string& name, const std::string& prefix)
{
    return name.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

bool isHostLabel(const std::string& label)
{
    const auto allowed = [](unsigned char c) { return std::isalnum(c) || c == '-'; };
    return !label.empty() && label.size() <= kMaxHostLabel && label.front() != '-' && label.back() != '-' &&
           std::all_of(label.begin(), label.end(), allowed);
}

bool isHostName(const std::string& host)
{
    if (host.empty() || host.size() > kMaxHostName)
        return false;
    std::size_t from = 0;
    for (std::size_t dot; (dot = host.find('.', from)) != std::string::npos; from = dot + 1)
        if (!isHostLabel(host.substr(from, dot - from)))
            return false;
    return isHostLabel(host.substr(from));
}

bool isIpv6Text(const std::string& text)
{
    const auto allowed = [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; };
    return !text.empty() && text.size() <= kMaxIpv6Text && text.find(':') != std::string::npos &&
           std::all_of(text.begin(), text.end(), allowed);
}

// 1 to 65535 in decimal digits only; 0 for anything else.
std::uint16_t tcpPort(const std::string& text)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](unsigned char c) {
            return std::isdigit(c);
        }))
        return 0;
    const unsigned long value = std::stoul(text);
    return value <= kMaxTcpPort ? static_cast<std::uint16_t>(value) : 0;
}

} // namespace

bool isPortUrl(const std::string& name)
{
    return name.find("://") != std::string::npos || startsWithNoCase(name, "rfc2217:");
}

std::optional<RemotePort> parseRemotePortName(const std::string& name)
{
    if (!startsWithNoCase(name, kScheme))
        return std::nullopt;
    const std::string rest = name.substr(std::string(kScheme).size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    RemotePort remote;
    remote.host = rest.substr(0, colon);
    remote.port = tcpPort(rest.substr(colon + 1));
    const bool bracketed = remote.host.size() > 2 && remote.host.front() == '[' && remote.host.back() == ']';
    if (bracketed)
        remote.host = remote.host.substr(1, remote.host.size() - 2);
    const bool hostWellFormed = bracketed ? isIpv6Text(remote.host) : isHostName(remote.host);
    if (!hostWellFormed || remote.port == 0)
        return std::nullopt;
    return remote;
}

} // namespace tavrek
