#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace tavrek {

class Clock;
class FileSystem;
class WindowServices;

// Boolean results in the window's convention: exactly -1 means yes.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// Status of checkHex: 1 for a sound file, a negative code otherwise.
inline constexpr std::int16_t kHexSound = 1;
inline constexpr std::int16_t kHexEmptyFile = -1;
inline constexpr std::int16_t kHexChecksumError = -3;
inline constexpr std::int16_t kHexBadLine = -4;
inline constexpr std::int16_t kHexNoEndRecord = -5;
inline constexpr std::int16_t kHexReadFailure = -6;
// Status of loadHex beyond checkHex's: loaded, or the file could not be
// opened (or a byte fell outside the images).
inline constexpr std::int16_t kHexLoaded = 0;
inline constexpr std::int16_t kHexCannotOpen = -10;

// How long a reply may take, counted from the call that waits for it.
inline constexpr std::uint64_t kReplyTimeoutMs = 800;
// Sends of one packet that the bootloader refuses before the run gives up.
inline constexpr int kMaxPacketSends = 10;

// Memory layout of the dsPIC30F4011/4012 as the images hold it. The HEX file
// addresses program memory in bytes, two per word address, four per 24-bit
// instruction (the fourth always 0).
inline constexpr std::size_t kRowBytes = 128;          // one flash row: 32 instructions
inline constexpr std::size_t kProgBytes = 200000;      // program bytes a load resets
inline constexpr std::size_t kRows = 1600;             // rows a run may write
inline constexpr std::size_t kCfgBytes = 28;           // configuration bytes a load resets
inline constexpr std::size_t kCfgWords = 7;            // configuration words a run may write
inline constexpr std::size_t kCfgWordBytes = 4;        // HEX bytes per configuration word
// The arrays hold one entry more than the ranges above; that last entry is
// never reset by a load and never sent.
inline constexpr std::size_t kProgImageSize = kProgBytes + 1;
inline constexpr std::size_t kRowDirtySize = kRows + 1;
inline constexpr std::size_t kCfgImageSize = kCfgBytes + 1;
inline constexpr std::size_t kCfgDirtySize = kCfgWords + 1;

// The module state, alive for the program's life: the chosen file, the images
// to be written with their marks, and received bytes not yet handed out.
struct SupportState {
    std::string hexFileName;
    std::array<std::uint8_t, kProgImageSize> progImage{};
    std::array<bool, kRowDirtySize> rowDirty{};
    std::array<std::uint8_t, kCfgImageSize> cfgImage{};
    std::array<bool, kCfgDirtySize> cfgDirty{};
    std::string rxPending;
};

// What the last programming run got to, so that a front end can explain an
// ending that the log tells in a few words.
struct RunFacts {
    std::size_t packetsTotal = 0;         // marked rows and configuration words
    std::size_t packetsAcknowledged = 0;
    std::size_t resends = 0;              // packets sent again after a refusal
    std::string packet;                   // the last packet sent, e.g. "row 3 (word address 0x0000C0)"
    int unexpectedReply = -1;             // the byte that ended the identification, else -1
};

// Where the last HEX check decided, and what was wrong there.
struct HexFacts {
    std::size_t line = 0;  // 1-based; 0 when no line was read
    std::string detail;    // e.g. "the record's checksum is wrong (0x3A, 0x3C expected)"
};

// Told as a programming run sends its packets: `done` of the `total` marked
// rows and configuration words acknowledged so far, first with 0 when the
// bootloader is ready.
using PacketProgress = std::function<void(std::size_t done, std::size_t total)>;

// The procedures behind the window's commands: HEX check and loading
// (hex_file.cpp), the serial link (serial_link.cpp) and the programming
// sequence (programming.cpp). They reach the window, the files and the clock
// only through the interfaces handed in.
class Support {
public:
    Support(WindowServices& window, FileSystem& files, Clock& clock)
        : window_(window), files_(files), clock_(clock)
    {
    }

    SupportState& state() { return state_; }
    const SupportState& state() const { return state_; }

    // Reads the file once and returns kHexSound or a negative code. Throws
    // FileOpenFailure when the file cannot be opened at all.
    std::int16_t checkHex(const std::string& path);
    // Checks hexFileName and loads the bytes checked into the images, without
    // reading the file again: kHexLoaded, checkHex's negative code (logged),
    // or kHexCannotOpen (message box).
    std::int16_t loadHex();
    // The bytes the last check read (and a load then loaded), for a digest of
    // what was written; none when the file could not be read whole.
    const std::optional<std::string>& hexFileBytes() const { return hexFileBytes_; }

    // True with the oldest unread byte as a one-character text, or false when
    // none came within 800 ms of the call. Port failures pass on.
    bool getChar(std::string& reply);
    // Sends one byte at once.
    void putChar(std::uint8_t byte);

    // Writes the marked rows and configuration words through the bootloader;
    // kTrue when every packet was acknowledged, kFalse otherwise.
    std::int16_t programPic();

    // Who wants to follow a run packet by packet; the window does not.
    void setPacketProgress(PacketProgress progress) { progress_ = std::move(progress); }
    // What failed behind the last message box, e.g. "/dev/ttyUSB0: permission
    // denied (...)": the cause the box itself does not show.
    const std::string& failureCause() const { return failureCause_; }
    const RunFacts& lastRun() const { return lastRun_; }
    const HexFacts& lastCheck() const { return lastCheck_; }

private:
    bool waitForInput(std::uint64_t start);
    bool runProgramming();
    bool sendPacket(const std::string& packet, std::string description);
    bool sendMarkedPackets();
    bool endRun(const char* line);

    WindowServices& window_;
    FileSystem& files_;
    Clock& clock_;
    SupportState state_;
    PacketProgress progress_;
    std::string failureCause_;
    RunFacts lastRun_;
    HexFacts lastCheck_;
    std::optional<std::string> hexFileBytes_;
};

} // namespace tavrek
