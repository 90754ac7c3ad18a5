#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrek::test {

// One Intel HEX record line (with LF) whose checksum is right.
inline std::string record(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()), offset, type);
    std::string line = text;
    for (const std::uint8_t byte : data) {
        std::snprintf(text, sizeof text, "%02X", byte);
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X\n", (256 - sum % 256) % 256);
    return line + text;
}

inline std::string dataRecord(std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    return record(0x00, offset, data);
}

inline std::string segmentRecord(std::uint16_t segment)
{
    return record(0x04, 0, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}

inline const std::string kEndRecord = ":00000001FF\n";

} // namespace tavrek::test
