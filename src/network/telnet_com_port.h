#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrek::telnet {

// The client's half of a telnet connection (RFC 854, 855) that carries a
// serial port with its settings (RFC 2217, COM-PORT-OPTION), as bytes in and
// bytes out: no sockets here. What the server sends is untrusted; decoding
// it never grows a buffer beyond what came in plus a small fixed bound, and
// it answers an option only when the answer changes the option's state, so
// that two parties can never argue in a loop.

inline constexpr std::uint8_t kIac = 255;  // "interpret as command": starts every telnet command
inline constexpr std::uint8_t kComPortOption = 44;

enum class Parity : std::uint8_t { None = 1, Odd = 2, Even = 3, Mark = 4, Space = 5 };
enum class StopSize : std::uint8_t { One = 1, Two = 2, OneAndHalf = 3 };
enum class Control : std::uint8_t {
    NoFlowControl = 1,  // outbound, and both directions on servers without separate settings
    DtrOn = 8,
    DtrOff = 9,
    NoInboundFlowControl = 14,
};
// The server's buffers to empty: what the device sent it, what it holds for the device, or both.
enum class Purge : std::uint8_t { FromDevice = 1, ToDevice = 2, Both = 3 };

// What one piece of the server's stream held.
struct Decoded {
    std::string data;     // bytes from the serial device
    std::string answers;  // negotiation replies the client owes the server
};

class ComPortClient {
public:
    ComPortClient();

    // The opening offers: the client will speak COM-PORT-OPTION, and both
    // sides send binary (8-bit clean) and without go-aheads.
    std::string start();

    // Serial data as it goes on the wire: 0xFF doubled, and a CR followed by
    // NUL while the server has not agreed to binary.
    std::string encodeData(std::string_view data) const;

    static std::string setBaudRate(std::uint32_t baud);
    static std::string setDataSize(std::uint8_t bits);
    static std::string setParity(Parity parity);
    static std::string setStopSize(StopSize stopSize);
    static std::string setControl(Control control);
    static std::string purgeData(Purge purge);

    // Takes the next piece of the server's stream; sequences may be split
    // anywhere between pieces.
    void decode(std::string_view received, Decoded& out);

    bool comPortAgreed() const { return local_[kComPortOption] == State::Yes; }
    bool comPortRefused() const { return comPortRefused_; }
    // PURGE-DATA confirmations received so far.
    unsigned purgesConfirmed() const { return purgesConfirmed_; }
    // True while a telnet sequence is begun but not ended: a stream that stops
    // here was cut in the middle of one.
    bool midSequence() const { return state_ != Reading::Data; }

private:
    enum class State : std::uint8_t { No, WantYes, Yes };
    enum class Reading : std::uint8_t { Data, DataAfterCr, Command, Option, SubOption, SubData, SubIac };

    void command(std::uint8_t byte, Decoded& out);
    void option(std::uint8_t verb, std::uint8_t code, Decoded& out);
    void subnegotiationEnded();
    void offer(State& state, bool wanted, std::uint8_t agree, std::uint8_t refuse, std::uint8_t code, Decoded& out);
    void withdraw(State& state, std::uint8_t refuse, std::uint8_t code, Decoded& out);

    // What the server has shown for each option code: on its side (its WILL)
    // and on ours (its DO).
    std::array<State, 256> remote_{};
    std::array<State, 256> local_{};
    Reading state_ = Reading::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    std::string subData_;
    bool subOverflow_ = false;
    bool comPortRefused_ = false;
    unsigned purgesConfirmed_ = 0;
};

} // namespace tavrek::telnet
