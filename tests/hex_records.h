#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bootloader.h"

namespace tavrek::test {

inline std::string record(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    return sim::intelHexRecord(type, offset, data.data(), data.size());
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
