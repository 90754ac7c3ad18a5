#include "cli/hints.h"

#include <cstdio>

#include "diagnostics.h"

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

// What the run knows, then what to do.
std::string hinted(const std::string& facts, std::string_view advice)
{
    return facts + ": " + std::string(advice);
}

} // namespace

std::string hintFor(const std::string& lastLine, const RunFacts& facts)
{
    if (lastLine == "Bootloader not found!")
        return hinted("no answer within " + kTimeout + " of the start byte", adviceFor("Bootloader not found!"));
    if (lastLine == "Unknown Pic Type")
        return hinted("the chip answered type code " + hexByte(facts.unexpectedReply) + ", " +
                          hexByte(kTypeDsPic30F4011) + " (dsPIC30F4011/4012) expected",
                      adviceFor("Unknown Pic Type"));
    if (lastLine == "Unknown response from PIC")
        return hinted("the chip answered " + hexByte(facts.unexpectedReply) + " after the type code, \"K\" (0x4B) expected",
                      adviceFor("Unknown response from PIC"));
    if (lastLine == "PIC not responding" && facts.packet.empty())
        return hinted("no \"K\" within " + kTimeout + " of the type code (the bootloader did not get ready)",
                      adviceFor("PIC not responding"));
    if (lastLine == "PIC not responding")
        return hinted("the chip fell silent after " + facts.packet + ", having taken " + taken(facts),
                      adviceFor("PIC not responding"));
    if (lastLine == "Packet rejected " + std::to_string(kMaxPacketSends) + " times")
        return hinted(facts.packet + " was refused " + std::to_string(kMaxPacketSends) +
                          " times, after the chip had taken " + taken(facts),
                      adviceFor("Packet rejected 10 times"));
    return {};
}

bool endsUnwritten(const std::string& logLine)
{
    return logLine == "Could not parse hex file." || !hintFor(logLine, {}).empty();
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
