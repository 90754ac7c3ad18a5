#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace tavrek {

// A file that records are added to one at a time, for a production line's
// log of every chip written: each record goes in with one write at the end
// of the file and is on the disk before the call returns, so that a crash
// or a power cut never leaves half a record in it.
class RecordFile {
public:
    virtual ~RecordFile() = default;
    // Adds `record` at the end of the file and flushes it to the disk.
    // Throws std::runtime_error with the cause.
    virtual void append(const std::string& record) = 0;
};

// Opens `path` for appending, creating it where it is missing. Throws
// std::runtime_error with the path and the cause in the operator's words.
std::unique_ptr<RecordFile> openRecordFile(const std::string& path);

// The SHA-256 of a file's bytes in lower-case hexadecimal; empty when the
// file cannot be read.
std::string fileSha256(const std::string& path);

} // namespace tavrek
