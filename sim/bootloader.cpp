#include "sim/bootloader.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tavrek::sim {

namespace {

constexpr std::size_t kHeaderBytes = 4;  // three address bytes and the data count
constexpr char kAccepted = 'K';
constexpr char kRejected = 'N';
constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint32_t kRowWords = 64;  // word addresses per flash row

std::uint32_t addressOf(const std::string& packet)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(packet[0])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(packet[1])) << 8 |
           static_cast<std::uint8_t>(packet[2]);
}

bool sumsToZero(const std::string& packet)
{
    unsigned sum = 0;
    for (const char c : packet)
        sum += static_cast<std::uint8_t>(c);
    return sum % 256 == 0;
}

std::string extendedAddressRecord(std::uint16_t segment)
{
    const std::uint8_t value[2] = {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)};
    return intelHexRecord(0x04, 0, value, 2);
}

} // namespace

std::string intelHexRecord(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data, std::size_t count)
{
    unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(count), offset, type);
    std::string record = text;
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "%02X", data[i]);
        record += text;
        sum += data[i];
    }
    std::snprintf(text, sizeof text, "%02X\n", (256 - sum % 256) % 256);
    return record + text;
}

Bootloader::Bootloader(Faults faults)
    : faults_(faults), flash_(kFlashBytes, kErased), rowsWritten_(kFlashRows, false)
{
    for (auto& word : config_)
        word.fill(kErased);
}

void Bootloader::reset()
{
    phase_ = Phase::WaitStart;
    packet_.clear();
    packetNumber_ = 0;
}

std::vector<Reply> Bootloader::receive(std::string_view bytes)
{
    std::vector<Reply> replies;
    for (const char byte : bytes)
        takeByte(static_cast<std::uint8_t>(byte), replies);
    return replies;
}

void Bootloader::takeByte(std::uint8_t byte, std::vector<Reply>& replies)
{
    switch (phase_) {
    case Phase::WaitStart:
        if (byte != kStartByte)
            return;  // the bootloader listens for nothing else after reset
        ++sessions_;
        phase_ = Phase::Header;
        if (!faults_.silent)
            replies.push_back({static_cast<char>(faults_.typeCode) + faults_.readyReply,
                               faults_.linePacing ? lineTimeUs(1 + faults_.readyReply.size()) : 0});
        return;
    case Phase::Header:
        packet_.push_back(static_cast<char>(byte));
        if (packet_.size() == kHeaderBytes) {
            expected_ = kHeaderBytes + byte + 1;  // data and checksum follow
            phase_ = Phase::Data;
        }
        return;
    case Phase::Data:
        packet_.push_back(static_cast<char>(byte));
        if (packet_.size() == expected_)
            finishPacket(replies);
        return;
    }
}

void Bootloader::finishPacket(std::vector<Reply>& replies)
{
    const std::string packet = std::move(packet_);
    packet_.clear();
    phase_ = Phase::Header;
    packets_.push_back(packet);
    const int number = ++packetNumber_;

    const bool gone = faults_.silent || (faults_.silentAfterPacket > 0 && number > faults_.silentAfterPacket);
    if (gone)
        return;
    const bool refused = faults_.rejectAll || number == faults_.rejectPacketOnce ||
                         number <= faults_.rejectFirstPackets || !sumsToZero(packet);
    const bool accepted = !refused && store(packet);

    std::uint64_t delayUs = faults_.ackDelayUs;
    if (faults_.linePacing)
        delayUs += lineTimeUs(packet.size() + 1) +
                   (accepted ? (packet.size() - kHeaderBytes - 1 == kRowBytes ? kRowWriteUs : kConfigWriteUs) : 0);
    replies.push_back({std::string(1, accepted ? kAccepted : kRejected), delayUs});
}

// Stores a packet whose checksum is right; false when its count does not fit
// its address (a row takes 128 bytes at a row boundary, a configuration word 4).
bool Bootloader::store(const std::string& packet)
{
    const std::uint32_t address = addressOf(packet);
    const std::size_t count = static_cast<std::uint8_t>(packet[3]);
    const auto data = reinterpret_cast<const std::uint8_t*>(packet.data()) + kHeaderBytes;

    if (address >= kConfigWordAddress) {
        const std::uint32_t word = (address - kConfigWordAddress) / 2;
        if (count != kConfigWordBytes || address % 2 != 0)
            return false;
        if (word >= kConfigWords) {
            ++outsideMemory_;
            return true;
        }
        std::copy_n(data, kConfigWordBytes, config_[word].begin());
        configWritten_[word] = true;
        return true;
    }
    if (count != kRowBytes || address % kRowWords != 0)
        return false;
    const std::size_t row = address / kRowWords;
    if (row >= kFlashRows) {
        ++outsideMemory_;
        return true;
    }
    std::copy_n(data, kRowBytes, flash_.begin() + static_cast<std::ptrdiff_t>(row * kRowBytes));
    rowsWritten_[row] = true;
    return true;
}

std::uint64_t Bootloader::lineTimeUs(std::size_t bytes) const
{
    return bytes * kBitsPerByte * 1000000ULL / kLineBaud;
}

std::string Bootloader::toIntelHex() const
{
    std::string hex;
    std::uint16_t segment = 0xFFFF;
    constexpr std::size_t kRecordBytes = 16;
    for (std::size_t row = 0; row < kFlashRows; ++row) {
        if (!rowsWritten_[row])
            continue;
        for (std::size_t at = row * kRowBytes; at < (row + 1) * kRowBytes; at += kRecordBytes) {
            if (at >> 16 != segment) {
                segment = static_cast<std::uint16_t>(at >> 16);
                hex += extendedAddressRecord(segment);
            }
            hex += intelHexRecord(0x00, static_cast<std::uint16_t>(at), &flash_[at], kRecordBytes);
        }
    }
    constexpr std::uint16_t kConfigSegment = 0x01F0;  // HEX address of word address 0xF80000
    bool configSegmentSet = false;
    for (std::size_t word = 0; word < kConfigWords; ++word) {
        if (!configWritten_[word])
            continue;
        if (!configSegmentSet)
            hex += extendedAddressRecord(kConfigSegment);
        configSegmentSet = true;
        hex += intelHexRecord(0x00, static_cast<std::uint16_t>(word * kConfigWordBytes), config_[word].data(),
                              kConfigWordBytes);
    }
    return hex + ":00000001FF\n";
}

} // namespace tavrek::sim
