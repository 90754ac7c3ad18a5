#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "platform/record_file.h"

namespace tavrek::cli {

// How one chip's write went, as --report records it.
struct ChipRecord {
    std::chrono::system_clock::time_point started;
    std::chrono::system_clock::time_point ended;
    double seconds = 0;    // by the steady clock
    std::string port;      // as the command line named it
    std::string device;    // what it opened
    std::string adapter;   // e.g. "FT232R USB UART (FTDI)"; empty where unknown
    std::string file;      // the HEX file's whole path
    std::string sha256;    // of the HEX file; empty where it could not be read
    std::size_t rows = 0;          // flash rows the chip took
    std::size_t configWords = 0;   // configuration words the chip took
    std::size_t resends = 0;
    std::string result;    // "ok" or the failure's kind (see kResultHelp)
    std::string message;   // the line tavrek-cli printed for it
    int exitStatus = 0;
};

// The failure kinds a record may carry, for the help and the manual.
inline constexpr const char* kResultHelp =
    "ok, file, port, no-bootloader, unknown-chip, unknown-response, not-responding or rejected";

// The result of a chip that the bootloader turned down, by the log line that
// ended its run.
std::string resultOfLogLine(const std::string& lastLine);

// "2026-05-04T09:30:12.345+02:00": the moment in local time, ISO 8601 with
// the offset from UTC.
std::string isoLocalTime(std::chrono::system_clock::time_point moment);

// The --report file: one JSON object per chip and write, a line each (JSON
// Lines), each written whole and flushed as its chip ends.
class Report {
public:
    // Throws UsageError when the file cannot be opened for appending.
    explicit Report(const std::string& path);

    // Thread-safe: the chips of a gang end on threads of their own.
    void add(const ChipRecord& record);

private:
    std::mutex mutex_;
    std::unique_ptr<RecordFile> file_;
};

} // namespace tavrek::cli
