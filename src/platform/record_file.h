#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace tavrek {

// A file that records are added to one at a time, for a production line's
// log of every chip written: each record goes in whole at the end of the
// file, or not at all, and a file on a disk has it there before the call
// returns, so that neither a full disk nor a crash or a power cut leaves
// half a record in it.
class RecordFile {
public:
    virtual ~RecordFile() = default;
    // Adds `record` at the end of the file and flushes it to the disk where
    // the file is on one (not a pipe or a terminal). Throws
    // std::runtime_error with the cause, e.g. "no space left on device",
    // having taken back what part of the record went in; where that cannot
    // be done the next record starts on a line of its own.
    virtual void append(const std::string& record) = 0;
};

// Opens `path` for appending, creating it where it is missing. Throws
// std::runtime_error with the path and the cause in the operator's words.
std::unique_ptr<RecordFile> openRecordFile(const std::string& path);

// The SHA-256 of `bytes` in lower-case hexadecimal.
std::string sha256(const std::string& bytes);

} // namespace tavrek
