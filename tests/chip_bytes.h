#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "support/support.h"

namespace tavrek::test {

// Bytes by their HEX address: what a chip holds, or what it must hold.
using ChipBytes = std::map<std::uint32_t, std::uint8_t>;

constexpr std::uint32_t kConfigHexAddress = 0x01F00000;  // configuration word 0 in a HEX file

// The data bytes of an Intel HEX file, placed by its extended linear addresses.
inline ChipBytes readHexBytes(const std::string& path)
{
    ChipBytes bytes;
    std::ifstream file(path);
    std::uint32_t upper = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.size() < 11)
            continue;
        const auto field = [&line](std::size_t at, std::size_t digits) {
            return static_cast<std::uint32_t>(std::stoul(line.substr(at, digits), nullptr, 16));
        };
        if (field(7, 2) == 0x04)
            upper = field(9, 4) << 16;
        for (std::uint32_t i = 0; field(7, 2) == 0x00 && i < field(1, 2); ++i)
            bytes[upper + field(3, 4) + i] = static_cast<std::uint8_t>(field(9 + 2 * i, 2));
    }
    return bytes;
}

// What a chip must hold after a write of the images: every marked row and
// configuration word as the images have it, and nothing else.
inline ChipBytes markedBytes(const SupportState& images)
{
    ChipBytes bytes;
    for (std::size_t i = 0; i < images.progImage.size(); ++i)
        if (images.rowDirty[i / kRowBytes])
            bytes[static_cast<std::uint32_t>(i)] = images.progImage[i];
    for (std::size_t i = 0; i < images.cfgImage.size(); ++i)
        if (images.cfgDirty[i / kCfgWordBytes])
            bytes[static_cast<std::uint32_t>(kConfigHexAddress + i)] = images.cfgImage[i];
    return bytes;
}

} // namespace tavrek::test
