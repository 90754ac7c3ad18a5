// --report: a JSON Lines record of every chip written.

#include "cli/report.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/commands.h"

namespace tavrek::cli {

namespace {

constexpr long kSecondsPerDay = 24 * 60 * 60;

// The offset of local time from UTC at `local`/`utc`, the same moment broken
// down both ways; they lie at most a day apart.
long offsetSeconds(const std::tm& local, const std::tm& utc)
{
    const int days = local.tm_year != utc.tm_year ? (local.tm_year > utc.tm_year ? 1 : -1)
                                                  : local.tm_yday - utc.tm_yday;
    return days * kSecondsPerDay + (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L +
           (local.tm_sec - utc.tm_sec);
}

// Milliseconds, so that a spreadsheet shows 7.132 and not 7.13199996948.
double roundedSeconds(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

nlohmann::ordered_json textOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

} // namespace

std::string resultOfLogLine(const std::string& lastLine)
{
    static const std::map<std::string, std::string> kResults = {
        {"Bootloader not found!", "no-bootloader"},
        {"Unknown Pic Type", "unknown-chip"},
        {"Unknown response from PIC", "unknown-response"},
        {"PIC not responding", "not-responding"},
        {"Packet rejected " + std::to_string(kMaxPacketSends) + " times", "rejected"},
    };
    const auto found = kResults.find(lastLine);
    return found == kResults.end() ? "refused" : found->second;
}

// std::localtime and std::gmtime share one buffer: the caller holds the
// report's lock.
std::string isoLocalTime(std::chrono::system_clock::time_point moment)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    const std::tm local = *std::localtime(&seconds);
    const std::tm utc = *std::gmtime(&seconds);
    const long offset = offsetSeconds(local, utc);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count() % 1000;
    char text[96];  // room for any value the fields could hold, as the compiler reckons them
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis < 0 ? millis + 1000 : millis), offset < 0 ? '-' : '+',
                  std::labs(offset) / 3600, std::labs(offset) % 3600 / 60);
    return text;
}

Report::Report(const std::string& path)
{
    try {
        file_ = openRecordFile(path);
    } catch (const std::exception& failure) {
        throw UsageError("--report " + std::string(failure.what()) + " (cannot be opened for appending)");
    }
}

void Report::add(const ChipRecord& record)
{
    const std::lock_guard lock(mutex_);
    nlohmann::ordered_json line;
    line["started"] = isoLocalTime(record.started);
    line["ended"] = isoLocalTime(record.ended);
    line["duration_s"] = roundedSeconds(record.seconds);
    line["port"] = record.port;
    line["device"] = record.device;
    line["adapter"] = textOrNull(record.adapter);
    line["file"] = record.file;
    line["sha256"] = textOrNull(record.sha256);
    line["rows"] = record.rows;
    line["config_words"] = record.configWords;
    line["resends"] = record.resends;
    line["result"] = record.result;
    line["message"] = record.message;
    line["exit_status"] = record.exitStatus;
    // A name that is not UTF-8 still makes a line that every reader takes.
    file_->append(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

} // namespace tavrek::cli
