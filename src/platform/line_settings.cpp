// The line settings string, "baud,parity,data bits,stop bits".

#include <cctype>
#include <charconv>
#include <vector>

#include "platform/serial_line.h"

namespace tavrek {

namespace {

constexpr int kMaxBaud = 4000000;  // fastest rate PC serial drivers offer
constexpr int kMinDataBits = 5;
constexpr int kMaxDataBits = 8;

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back().push_back(c);
    }
    return fields;
}

// A whole decimal number, digits only; -1 when the text is anything else.
int wholeNumber(const std::string& text)
{
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || text.front() == '-' || text.front() == '+')
        return -1;
    return value;
}

[[noreturn]] void refuseSettings(const std::string& text)
{
    throw PortFailure("malformed line settings \"" + text + "\" (expected e.g. \"115200,n,8,1\")");
}

} // namespace

LineSettings parseLineSettings(const std::string& text)
{
    const std::vector<std::string> fields = splitFields(text);
    if (fields.size() != 4)
        refuseSettings(text);
    LineSettings settings;
    settings.baud = wholeNumber(fields[0]);
    if (settings.baud < 1 || settings.baud > kMaxBaud)
        refuseSettings(text);
    if (fields[1].size() != 1 || std::string("neoms").find(static_cast<char>(std::tolower(fields[1][0]))) == std::string::npos)
        refuseSettings(text);
    settings.parity = static_cast<char>(std::tolower(fields[1][0]));
    settings.dataBits = wholeNumber(fields[2]);
    if (settings.dataBits < kMinDataBits || settings.dataBits > kMaxDataBits)
        refuseSettings(text);
    if (fields[3] == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        refuseSettings(text);
    return settings;
}

} // namespace tavrek
