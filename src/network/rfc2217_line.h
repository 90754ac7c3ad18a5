#pragma once

#include <memory>
#include <string>

#include "network/remote_port_name.h"
#include "platform/serial_line.h"

namespace tavrek {

// A serial port on another machine, exported over TCP with RFC 2217 (by
// ser2net, say), named rfc2217://HOST:PORT.

// Connects to the port `name` stands for and opens it as a serial line with
// `settings`, both directions purged and DTR as `dtr`. Throws PortFailure
// with `name` and the cause.
std::unique_ptr<SerialLine> openRfc2217Line(const std::string& name, const LineSettings& settings, bool dtr);

} // namespace tavrek
