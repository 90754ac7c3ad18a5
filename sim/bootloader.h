#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrek::sim {

// Faults the simulated bootloader can be told to show. Packets are numbered
// from 1 in the order they arrive after the start byte, resends included.
struct Faults {
    bool silent = false;             // answers nothing at all
    std::uint8_t typeCode = 0x01;    // reply to the start byte
    std::string readyReply = "K";    // bytes after the type code ("" for none)
    int rejectPacketOnce = 0;        // this packet is answered "N" (its resend is accepted)
    int rejectFirstPackets = 0;      // packets 1 to this one are answered "N"
    int silentAfterPacket = 0;       // after this packet, nothing more is answered
    bool rejectAll = false;          // every packet is answered "N"
    std::uint32_t ackDelayUs = 0;    // every acknowledgement is held this long
    bool linePacing = false;         // every reply is held as long as the real line and flash take
};

// One Intel HEX record line, ended by LF, with its checksum.
std::string intelHexRecord(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data, std::size_t count);

// A reply and how long after the last byte it answers it goes out.
struct Reply {
    std::string bytes;
    std::uint64_t delayUs = 0;
};

// The serial bootloader of a dsPIC30F4011 as the host sees it, with a model of
// the chip's memory: program flash (erased to 0xFF) addressed as the HEX file
// addresses it, two bytes per word address and four per instruction, and the
// configuration words. It does no input or output of its own: the in-process
// port and the tavrek-sim program carry its bytes.
class Bootloader {
public:
    static constexpr std::uint8_t kStartByte = 0xC1;        // wakes the bootloader after reset
    static constexpr std::size_t kFlashRows = 512;          // 48 KB: word addresses 0 to 0x7FFF
    static constexpr std::size_t kRowBytes = 128;           // one row: 64 word addresses
    static constexpr std::size_t kFlashBytes = kFlashRows * kRowBytes;
    static constexpr std::uint32_t kConfigWordAddress = 0xF80000;
    static constexpr std::size_t kConfigWords = 7;
    static constexpr std::size_t kConfigWordBytes = 4;
    static constexpr std::uint32_t kLineBaud = 115200;
    static constexpr std::uint32_t kBitsPerByte = 10;       // start, 8 data, stop
    static constexpr std::uint32_t kRowWriteUs = 2000;      // erase and program one flash row
    static constexpr std::uint32_t kConfigWriteUs = 2000;   // program one configuration word

    explicit Bootloader(Faults faults = {});

    // The chip was reset: it waits for the start byte; memory keeps its content.
    void reset();
    // Takes bytes from the host and returns the replies they cause, in order.
    std::vector<Reply> receive(std::string_view bytes);

    const std::vector<std::uint8_t>& flash() const { return flash_; }
    using ConfigWord = std::array<std::uint8_t, kConfigWordBytes>;
    const std::array<ConfigWord, kConfigWords>& configWords() const { return config_; }
    // Which rows and configuration words an accepted packet has written.
    const std::vector<bool>& rowsWritten() const { return rowsWritten_; }
    const std::array<bool, kConfigWords>& configWritten() const { return configWritten_; }
    // Every complete packet as it arrived, accepted or not.
    const std::vector<std::string>& packets() const { return packets_; }
    // Packets aimed outside the modelled memory: acknowledged, not stored.
    int packetsOutsideMemory() const { return outsideMemory_; }
    // Start bytes answered since construction.
    int sessions() const { return sessions_; }

    const Faults& faults() const { return faults_; }
    void setFaults(const Faults& faults) { faults_ = faults; }

    // Writes the written rows and configuration words as an Intel HEX file
    // (32-bit form, the layout the dsPIC tool chain uses).
    std::string toIntelHex() const;

private:
    enum class Phase { WaitStart, Header, Data };

    void takeByte(std::uint8_t byte, std::vector<Reply>& replies);
    void finishPacket(std::vector<Reply>& replies);
    bool store(const std::string& packet);
    std::uint64_t lineTimeUs(std::size_t bytes) const;

    Faults faults_;
    Phase phase_ = Phase::WaitStart;
    std::string packet_;
    std::size_t expected_ = 0;
    int packetNumber_ = 0;
    int sessions_ = 0;
    int outsideMemory_ = 0;
    std::vector<std::uint8_t> flash_;
    std::vector<bool> rowsWritten_;
    std::array<ConfigWord, kConfigWords> config_{};
    std::array<bool, kConfigWords> configWritten_{};
    std::vector<std::string> packets_;
};

} // namespace tavrek::sim
