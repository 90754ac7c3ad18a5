// Telnet negotiation and the COM-PORT-OPTION, client side, as a byte codec
// (any platform: plain C++).

#include "network/telnet_com_port.h"

namespace tavrek::telnet {

namespace {

// Telnet commands, each after an IAC.
constexpr std::uint8_t kSe = 240;    // ends a subnegotiation
constexpr std::uint8_t kSb = 250;    // begins a subnegotiation
constexpr std::uint8_t kWill = 251;  // the sender will use an option, or agrees to
constexpr std::uint8_t kWont = 252;  // the sender refuses, or stops using, an option
constexpr std::uint8_t kDo = 253;    // the sender asks the receiver to use an option, or agrees to
constexpr std::uint8_t kDont = 254;  // the sender asks the receiver not to use an option

// Options.
constexpr std::uint8_t kBinary = 0;           // 8-bit data without the NVT's CR rules
constexpr std::uint8_t kSuppressGoAhead = 3;  // a full-duplex line: no go-ahead signals

constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kNul = 0;

// COM-PORT-OPTION commands from the client; the server answers each with the
// same number plus kServerAnswer.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerAnswer = 100;

// Longer than any subnegotiation this client reads (a command and a 4-byte
// baud rate); the rest of a longer one, a server's signature text say, is
// dropped unread.
constexpr std::size_t kMaxSubnegotiationBytes = 64;

constexpr bool wantedHere(std::uint8_t code)
{
    return code == kBinary || code == kSuppressGoAhead || code == kComPortOption;
}

constexpr bool wantedThere(std::uint8_t code) { return code == kBinary || code == kSuppressGoAhead; }

void appendCommand(std::string& out, std::uint8_t verb, std::uint8_t code)
{
    out += {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(code)};
}

std::string comPortCommand(std::uint8_t command, std::initializer_list<std::uint8_t> value)
{
    std::string bytes = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPortOption),
                         static_cast<char>(command)};
    for (const std::uint8_t byte : value) {
        bytes.push_back(static_cast<char>(byte));
        if (byte == kIac)
            bytes.push_back(static_cast<char>(kIac));
    }
    return bytes + std::string{static_cast<char>(kIac), static_cast<char>(kSe)};
}

} // namespace

ComPortClient::ComPortClient() { remote_.fill(State::No); local_.fill(State::No); }

std::string ComPortClient::start()
{
    std::string offers;
    for (const std::uint8_t code : {kComPortOption, kBinary, kSuppressGoAhead}) {
        if (local_[code] == State::No) {
            local_[code] = State::WantYes;
            appendCommand(offers, kWill, code);
        }
        if (wantedThere(code) && remote_[code] == State::No) {
            remote_[code] = State::WantYes;
            appendCommand(offers, kDo, code);
        }
    }
    return offers;
}

std::string ComPortClient::encodeData(std::string_view data) const
{
    const bool binary = local_[kBinary] == State::Yes;
    std::string wire;
    wire.reserve(data.size() + data.size() / 8);
    for (const char c : data) {
        wire.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIac)
            wire.push_back(c);
        else if (static_cast<std::uint8_t>(c) == kCr && !binary)
            wire.push_back(static_cast<char>(kNul));
    }
    return wire;
}

std::string ComPortClient::setBaudRate(std::uint32_t baud)
{
    return comPortCommand(kSetBaudRate, {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                         static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
}

std::string ComPortClient::setDataSize(std::uint8_t bits) { return comPortCommand(kSetDataSize, {bits}); }

std::string ComPortClient::setParity(Parity parity)
{
    return comPortCommand(kSetParity, {static_cast<std::uint8_t>(parity)});
}

std::string ComPortClient::setStopSize(StopSize stopSize)
{
    return comPortCommand(kSetStopSize, {static_cast<std::uint8_t>(stopSize)});
}

std::string ComPortClient::setControl(Control control)
{
    return comPortCommand(kSetControl, {static_cast<std::uint8_t>(control)});
}

std::string ComPortClient::purgeData(Purge purge)
{
    return comPortCommand(kPurgeData, {static_cast<std::uint8_t>(purge)});
}

void ComPortClient::decode(std::string_view received, Decoded& out)
{
    for (const char c : received) {
        const auto byte = static_cast<std::uint8_t>(c);
        switch (state_) {
        case Reading::DataAfterCr:
            state_ = Reading::Data;
            if (byte == kNul)
                break;  // the NUL that follows a lone CR outside binary mode
            [[fallthrough]];
        case Reading::Data:
            if (byte == kIac) {
                state_ = Reading::Command;
                break;
            }
            out.data.push_back(c);
            if (byte == kCr && remote_[kBinary] != State::Yes)
                state_ = Reading::DataAfterCr;
            break;
        case Reading::Command:
            command(byte, out);
            break;
        case Reading::Option:
            option(verb_, byte, out);
            state_ = Reading::Data;
            break;
        case Reading::SubOption:
            subOption_ = byte;
            subData_.clear();
            subOverflow_ = false;
            state_ = Reading::SubData;
            break;
        case Reading::SubData:
            if (byte == kIac)
                state_ = Reading::SubIac;
            else if (subData_.size() < kMaxSubnegotiationBytes)
                subData_.push_back(c);
            else
                subOverflow_ = true;
            break;
        case Reading::SubIac:
            if (byte == kIac) {
                state_ = Reading::SubData;
                if (subData_.size() < kMaxSubnegotiationBytes)
                    subData_.push_back(c);
                else
                    subOverflow_ = true;
            } else if (byte == kSe) {
                state_ = Reading::Data;
                subnegotiationEnded();
            } else {
                command(byte, out);  // a subnegotiation left unended: the command stands on its own
            }
            break;
        }
    }
}

// The byte after an IAC.
void ComPortClient::command(std::uint8_t byte, Decoded& out)
{
    state_ = Reading::Data;
    if (byte == kIac) {
        out.data.push_back(static_cast<char>(kIac));
    } else if (byte >= kWill) {
        verb_ = byte;
        state_ = Reading::Option;
    } else if (byte == kSb) {
        state_ = Reading::SubOption;
    }
    // Any other command (no-operation, go-ahead, a stray SE ...) means nothing here.
}

void ComPortClient::option(std::uint8_t verb, std::uint8_t code, Decoded& out)
{
    switch (verb) {
    case kWill:
        offer(remote_[code], wantedThere(code), kDo, kDont, code, out);
        break;
    case kWont:
        withdraw(remote_[code], kDont, code, out);
        break;
    case kDo:
        offer(local_[code], wantedHere(code), kWill, kWont, code, out);
        break;
    case kDont:
        if (code == kComPortOption && local_[code] != State::No)
            comPortRefused_ = true;
        withdraw(local_[code], kWont, code, out);
        break;
    }
}

// A request or an agreement to use an option. A mode already in force is
// not acknowledged again; an unwanted one is refused each time it is asked
// for, which answers the server and never starts anything new.
void ComPortClient::offer(State& state, bool wanted, std::uint8_t agree, std::uint8_t refuse, std::uint8_t code,
                          Decoded& out)
{
    if (!wanted) {
        appendCommand(out.answers, refuse, code);
        return;
    }
    if (state == State::No)
        appendCommand(out.answers, agree, code);
    state = State::Yes;
}

// A refusal of an option, or the end of its use; only the end of a use in
// force is acknowledged.
void ComPortClient::withdraw(State& state, std::uint8_t refuse, std::uint8_t code, Decoded& out)
{
    if (state == State::Yes)
        appendCommand(out.answers, refuse, code);
    state = State::No;
}

void ComPortClient::subnegotiationEnded()
{
    if (subOption_ != kComPortOption || subOverflow_ || subData_.empty())
        return;
    if (static_cast<std::uint8_t>(subData_[0]) == kServerAnswer + kPurgeData)
        ++purgesConfirmed_;
}

} // namespace tavrek::telnet
