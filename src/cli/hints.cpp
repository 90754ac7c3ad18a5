#include "cli/hints.h"

#include <cstdio>

namespace tavrek::cli {

namespace {

constexpr int kTypeDsPic30F4011 = 0x01;  // the type code the bootloader of these chips answers

std::string hexByte(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value) & 0xFF);
    return text;
}

std::string taken(const RunFacts& facts)
{
    return std::to_string(facts.packetsAcknowledged) + " of " + std::to_string(facts.packetsTotal) + " packets";
}

const std::string kTimeout = std::to_string(kReplyTimeoutMs) + " ms";

} // namespace

std::string hintFor(const std::string& lastLine, const RunFacts& facts)
{
    if (lastLine == "Bootloader not found!")
        return "no answer within " + kTimeout + " of the start byte: check that the board is powered, that the "
               "adapter's DTR drives the chip's reset (MCLR), and that the bootloader is in the chip";
    if (lastLine == "Unknown Pic Type")
        return "the chip answered type code " + hexByte(facts.unexpectedReply) + "; " + hexByte(kTypeDsPic30F4011) +
               " (dsPIC30F4011/4012) expected";
    if (lastLine == "Unknown response from PIC")
        return "the chip answered " + hexByte(facts.unexpectedReply) + " after the type code; \"K\" (0x4B) expected";
    if (lastLine == "PIC not responding" && facts.packet.empty())
        return "no \"K\" within " + kTimeout + " of the type code: the bootloader did not get ready";
    if (lastLine == "PIC not responding")
        return "the chip fell silent after " + facts.packet + ", having taken " + taken(facts) +
               ": check its power and the line, then write it again";
    if (lastLine == "Packet rejected " + std::to_string(kMaxPacketSends) + " times")
        return facts.packet + " was refused " + std::to_string(kMaxPacketSends) + " times, after the chip had taken " +
               taken(facts) + ": a noisy line or a bootloader at another baud rate refuses every packet";
    return {};
}

std::string partlyWritten(const RunFacts& facts)
{
    if (facts.packet.empty())
        return {};
    return "the chip took " + taken(facts) + " before the line failed: it is now partly written and must be "
           "written again";
}

std::string whereRefused(const std::string& file, const HexFacts& facts)
{
    return file + (facts.line ? ":" + std::to_string(facts.line) : "") + ": " + facts.detail;
}

} // namespace tavrek::cli
