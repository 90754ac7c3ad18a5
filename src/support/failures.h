#pragma once

#include <stdexcept>

namespace tavrek {

// The failures that pass between the layers. Time-outs, wrong replies and
// rejected files are not failures: they are reported by return values.

// The HEX file (or the program's folder) could not be opened.
class FileOpenFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that was opened could not be read on.
class FileReadFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A serial port operation failed: the port number was refused, the device is
// missing or busy, or a read, write or modem-line switch failed.
class PortFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tavrek
