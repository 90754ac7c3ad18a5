#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/support.h"

namespace tavrek {

// Bootloader packets: three address bytes (word address, high byte first),
// the data count, the data and a checksum that makes all bytes sum to a
// multiple of 256. Bytes travel as text, one character per byte.

// Two's complement of the low byte of the sum of `bytes`.
std::uint8_t packetChecksum(const std::string& bytes);
// Flash row `row`, 128 bytes from word address row * 64. Bytes that lie past
// the end of the program image go out as erased flash (0xFF).
std::string rowPacket(const SupportState& state, std::size_t row);
// Configuration word `word`, 4 bytes at word address 0xF80000 + 2 * word.
std::string configPacket(const SupportState& state, std::size_t word);

class Clock;
class PortControl;

// The reset on the operator's request: opens the port if it is closed, holds
// DTR (the chip's reset) active at least 50 ms and closes the port, which
// releases it. Port failures pass on.
void pulseResetLine(PortControl& port, Clock& clock);

// Begins as a write does, step for step (opens the closed port, drops what
// is waiting, resets the chip, drops what its application sent, sends the
// start byte) and waits for the bootloader's type code: true when it is that
// of the chips this program writes. Closes the port. Port failures pass on.
bool bootloaderAnswers(PortControl& port, Clock& clock);

} // namespace tavrek
