#pragma once

#include <string>

namespace tavrek {

// Why a serial port call failed, for the operator.
struct PortErrorCause {
    std::string words;  // e.g. "another program has it open"
    bool gone = false;  // the device has gone: the line is dead
};

// The cause of Win32 error `error` from a serial port, at its open or on a
// line already open (where some errors mean something else).
PortErrorCause portErrorCause(unsigned long error, bool lineOpen);

// The system's own text for Win32 error `error`, as it would read after a
// colon: "access is denied".
std::string systemText(unsigned long error);

} // namespace tavrek
