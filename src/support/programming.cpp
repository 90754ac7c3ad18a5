// The programming run: reset the chip, find its bootloader and send it every
// marked flash row and configuration word as an acknowledged packet.

#include "support/programming.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "support/clock.h"
#include "support/port_control.h"
#include "support/window_services.h"

namespace tavrek {

namespace {

constexpr std::uint8_t kStartByte = 0xC1;       // the bootloader listens for it right after reset
constexpr char kTypeDsPic30F4011 = 0x01;        // type code of the dsPIC30F4011/4012 bootloader
constexpr const char* kAck = "K";               // ready, or packet accepted (case-sensitive)
constexpr std::uint64_t kResetPulseMs = 100;    // DTR (the chip's reset) held before the start byte
constexpr std::uint64_t kOperatorResetMs = 50;  // DTR held by a reset on the operator's request
constexpr std::size_t kRowWords = kRowBytes / 2;          // word addresses per flash row
constexpr std::uint32_t kConfigWordAddress = 0xF80000;    // configuration word 0
constexpr std::uint8_t kErased = 0xFF;                    // erased flash

std::string packetHeader(std::uint32_t wordAddress, std::uint8_t count)
{
    return {static_cast<char>((wordAddress >> 16) & 0xFF), static_cast<char>((wordAddress >> 8) & 0xFF),
            static_cast<char>(wordAddress & 0xFF), static_cast<char>(count)};
}

std::string withChecksum(std::string packet)
{
    packet.push_back(static_cast<char>(packetChecksum(packet)));
    return packet;
}

// "row 3 (word address 0x0000C0)", as an operator finds it in a map file.
std::string describePacket(const char* what, std::size_t number, std::uint32_t wordAddress)
{
    char address[16];
    std::snprintf(address, sizeof address, "0x%06X", static_cast<unsigned>(wordAddress));
    return what + std::to_string(number) + " (word address " + address + ")";
}

// A write's steps from the opened port to the start byte, which --port auto
// takes too: DTR (the chip's reset) held active, then released. What the
// chip's application sent before its reset is dropped when the pulse ends:
// an adapter may hand it over late, during the pulse, and it is no reply.
// The bootloader says nothing before the start byte, so nothing is lost.
void resetIntoBootloader(PortControl& port, Clock& clock)
{
    port.setDTREnable(true);
    holdFor(clock, kResetPulseMs);
    port.setDTREnable(false);
    port.input();
    port.output(std::string(1, static_cast<char>(kStartByte)));
}

} // namespace

std::uint8_t packetChecksum(const std::string& bytes)
{
    unsigned sum = 0;
    for (const char c : bytes)
        sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

std::string rowPacket(const SupportState& state, std::size_t row)
{
    std::string packet = packetHeader(static_cast<std::uint32_t>(row * kRowWords), kRowBytes);
    for (std::size_t i = row * kRowBytes; i < (row + 1) * kRowBytes; ++i)
        packet.push_back(static_cast<char>(i < state.progImage.size() ? state.progImage[i] : kErased));
    return withChecksum(std::move(packet));
}

std::string configPacket(const SupportState& state, std::size_t word)
{
    std::string packet = packetHeader(static_cast<std::uint32_t>(kConfigWordAddress + 2 * word), kCfgWordBytes);
    for (std::size_t j = 0; j < kCfgWordBytes; ++j)
        packet.push_back(static_cast<char>(state.cfgImage.at(word * kCfgWordBytes + j)));
    return withChecksum(std::move(packet));
}

// Logs why the run ends and closes the port.
bool Support::endRun(const char* line)
{
    window_.putInfo(line);
    window_.portControl().setPortOpen(false);
    return false;
}

void pulseResetLine(PortControl& port, Clock& clock)
{
    if (!port.portOpen())
        port.setPortOpen(true);
    port.setDTREnable(true);
    holdFor(clock, kOperatorResetMs);
    port.setPortOpen(false);
}

// Sends the packet until the bootloader accepts it.
bool Support::sendPacket(const std::string& packet, std::string description)
{
    lastRun_.packet = std::move(description);
    std::string reply;
    for (int sends = 1;; ++sends) {
        for (const char byte : packet)
            putChar(static_cast<std::uint8_t>(byte));
        if (!getChar(reply))
            return endRun("PIC not responding");
        if (reply == kAck)
            return true;
        if (sends == kMaxPacketSends)
            return endRun("Packet rejected 10 times");
        ++lastRun_.resends;
    }
}

bool Support::runProgramming()
{
    lastRun_ = {};
    PortControl& port = window_.portControl();
    port.setCommPort(window_.portChoice() + 1);
    port.setPortOpen(true);
    state_.rxPending.clear();
    port.input();  // bytes from before the reset are never replies

    window_.putInfo("Resetting PIC..");
    resetIntoBootloader(port, clock_);
    window_.putInfo("Searching for bootloader...");

    std::string reply;
    if (!getChar(reply))
        return endRun("Bootloader not found!");
    if (reply.front() != kTypeDsPic30F4011) {
        lastRun_.unexpectedReply = static_cast<std::uint8_t>(reply.front());
        return endRun("Unknown Pic Type");
    }
    window_.putInfo("Found dsPIC30F4011/dsPIC30F4012");
    if (!getChar(reply))
        return endRun("PIC not responding");
    if (reply != kAck) {
        lastRun_.unexpectedReply = static_cast<std::uint8_t>(reply.front());
        return endRun("Unknown response from PIC");
    }
    window_.putInfo("Writing flash...");
    if (!sendMarkedPackets())
        return false;
    port.setPortOpen(false);
    return true;
}

// Every marked row in ascending order, then every marked configuration word.
bool Support::sendMarkedPackets()
{
    const auto marked = [](auto first, std::size_t count) {
        return static_cast<std::size_t>(std::count(first, first + static_cast<std::ptrdiff_t>(count), true));
    };
    lastRun_.packetsTotal = marked(state_.rowDirty.begin(), kRows) + marked(state_.cfgDirty.begin(), kCfgWords);
    const auto tellProgress = [&] {
        if (progress_)
            progress_(lastRun_.packetsAcknowledged, lastRun_.packetsTotal);
    };
    const auto send = [&](const std::string& packet, std::string description) {
        if (!sendPacket(packet, std::move(description)))
            return false;
        ++lastRun_.packetsAcknowledged;
        tellProgress();
        return true;
    };
    tellProgress();
    for (std::size_t row = 0; row < kRows; ++row)
        if (state_.rowDirty[row] &&
            !send(rowPacket(state_, row), describePacket("row ", row, static_cast<std::uint32_t>(row * kRowWords))))
            return false;
    window_.putInfo("Writing Configuration Bits");
    for (std::size_t word = 0; word < kCfgWords; ++word)
        if (state_.cfgDirty[word] &&
            !send(configPacket(state_, word), describePacket("configuration word ", word,
                                                             static_cast<std::uint32_t>(kConfigWordAddress + 2 * word))))
            return false;
    return true;
}

std::int16_t Support::programPic()
{
    try {
        return runProgramming() ? kTrue : kFalse;
    } catch (const std::exception& failure) {
        failureCause_ = failure.what();
        window_.messageBox("Error opening port...");
        // The run sends nothing more: a packet gathered for the line when
        // the run failed (at Ctrl+C, say) is dropped, not sent as the port
        // closes, where the chip would take a row the run never counted. No
        // exit leaves the port open; a port that has gone may refuse even that.
        try {
            PortControl& port = window_.portControl();
            port.discardOutput();
            if (port.portOpen())
                port.setPortOpen(false);
        } catch (const std::exception&) {
        }
        return kFalse;
    }
}

bool bootloaderAnswers(PortControl& port, Clock& clock)
{
    port.setPortOpen(true);
    port.input();
    resetIntoBootloader(port, clock);
    const std::uint64_t start = clock.nowMs();
    std::string reply;
    for (std::uint64_t waited = 0; reply.empty() && waited < kReplyTimeoutMs; waited = clock.nowMs() - start) {
        port.waitForInput(static_cast<int>(kReplyTimeoutMs - waited));
        reply = port.input();
    }
    port.setPortOpen(false);
    return !reply.empty() && reply.front() == kTypeDsPic30F4011;
}

} // namespace tavrek
