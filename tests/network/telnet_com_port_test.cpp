// The telnet and COM-PORT-OPTION codec: what the client sends, and what it
// makes of a server's stream, whole and cut into single bytes.

#include <gtest/gtest.h>

#include <tuple>

#include "network/telnet_com_port.h"

namespace tavrek::telnet {
namespace {

using namespace std::string_literals;

// The client's opening, and what a server that agrees with all of it sends.
const std::string kOffers = "\xFF\xFB\x2C\xFF\xFB\x00\xFF\xFD\x00\xFF\xFB\x03\xFF\xFD\x03"s;
const std::string kAgreed = "\xFF\xFD\x2C\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x03\xFF\xFB\x03"s;
// What ser2net 4.3 sends on a connection, before it has read anything: it
// offers echo and refuses ours, and asks for binary, no go-aheads and COM-PORT.
const std::string kSer2netHello = "\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x2C"s;

TEST(TelnetComPort, CommandsGoOutAsKnownBytes)
{
    ComPortClient client;
    EXPECT_EQ(client.start(), kOffers);
    EXPECT_EQ(client.start(), "") << "offered once";
    const std::pair<std::string, std::string> cases[] = {  // sent, and its bytes on the wire
        {ComPortClient::setBaudRate(115200), "\xFF\xFA\x2C\x01\x00\x01\xC2\x00\xFF\xF0"s},
        {ComPortClient::setBaudRate(0x00FFFF01), "\xFF\xFA\x2C\x01\x00\xFF\xFF\xFF\xFF\x01\xFF\xF0"s},
        {ComPortClient::setDataSize(8), "\xFF\xFA\x2C\x02\x08\xFF\xF0"s},
        {ComPortClient::setParity(Parity::None), "\xFF\xFA\x2C\x03\x01\xFF\xF0"s},
        {ComPortClient::setStopSize(StopSize::One), "\xFF\xFA\x2C\x04\x01\xFF\xF0"s},
        {ComPortClient::setControl(Control::NoFlowControl), "\xFF\xFA\x2C\x05\x01\xFF\xF0"s},
        {ComPortClient::setControl(Control::DtrOn), "\xFF\xFA\x2C\x05\x08\xFF\xF0"s},
        {ComPortClient::setControl(Control::DtrOff), "\xFF\xFA\x2C\x05\x09\xFF\xF0"s},
        {ComPortClient::purgeData(Purge::Both), "\xFF\xFA\x2C\x0C\x03\xFF\xF0"s},
        // Before the server agrees to binary, a CR is followed by NUL; 0xFF is always doubled.
        {client.encodeData("\x01\xFF\r\n\xFF"s), "\x01\xFF\xFF\r\0\n\xFF\xFF"s},
    };
    for (const auto& [sent, wire] : cases)
        EXPECT_EQ(sent, wire);
    Decoded decoded;
    client.decode(kAgreed, decoded);
    EXPECT_EQ(client.encodeData("\xC1\r\xFF\x00"s), "\xC1\r\xFF\xFF\x00"s);
}

TEST(TelnetComPort, ServerStreamsDecodeToKnownDataAndAnswersWholeOrByteByByte)
{
    const struct {
        const char* what;
        std::string stream;  // from the server, after the client's offers
        std::string data;
        std::string answers;
        bool agreed;
        bool refused = false;
        unsigned purges = 0;
        bool cutShort = false;
    } cases[] = {
        {"agreement, then every byte value", kAgreed + "\x00\x01\xFF\xFF\xFE\r\x00"s, "\x00\x01\xFF\xFE\r\x00"s, "",
         true},
        {"ser2net's greeting: echo refused, the rest agreed, its repeat of DO for an agreed option not answered",
         kSer2netHello + "\xFF\xFD\x03"s, "", "\xFF\xFE\x01"s, true},
        {"a server without COM-PORT", "\xFF\xFE\x2C\xFF\xFD\x00"s, "", "", false, true},
        {"no binary from the server: its CR NUL is a CR", "\xFF\xFC\x00\xFF\xFD\x2C" "a\r\x00" "b\r\n"s, "a\rb\r\n",
         "", true},
        {"unknown options refused each time they are asked for, never argued",
         "\xFF\xFB\x18\xFF\xFD\x18\xFF\xFD\x18\xFF\xFC\x18\xFF\xFE\x18"s, "", "\xFF\xFE\x18\xFF\xFC\x18\xFF\xFC\x18"s,
         false},
        {"an agreed option turned off is acknowledged once", kAgreed + "\xFF\xFC\x03\xFF\xFC\x03"s, "",
         "\xFF\xFE\x03"s, true},
        {"COM-PORT answers with doubled 0xFF; purge confirmations counted",
         kAgreed + "\xFF\xFA\x2C\x65\x00\xFF\xFF\x00\x00\xFF\xF0x\xFF\xFA\x2C\x70\x03\xFF\xF0y"s, "xy", "", true,
         false, 1},
        {"an overlong subnegotiation is dropped, the data after it kept",
         kAgreed + "\xFF\xFA\x2C\x70"s + std::string(5000, 'z') + "\xFF\xF0ok"s, "ok", "", true},
        {"other options' subnegotiations, no-operations and go-aheads carry nothing",
         "\xFF\xFA\x18\x01\xFF\xF0\xFF\xF1\xFF\xF9" "a"s, "a", "", false},
        {"a subnegotiation left unended gives way to the next command",
         "\xFF\xFA\x2C\x70\x03\xFF\xFD\x2C" "b"s, "b", "", true},
        {"the connection closed in the middle of a command", "ab\xFF"s, "ab", "", false, false, 0, true},
    };
    for (const auto& c : cases) {
        for (const bool byteByByte : {false, true}) {
            ComPortClient client;
            client.start();
            Decoded decoded;
            const std::size_t step = byteByByte ? 1 : c.stream.size();
            for (std::size_t at = 0; at < c.stream.size(); at += step)
                client.decode(std::string_view(c.stream).substr(at, step), decoded);
            const std::string how = std::string(c.what) + (byteByByte ? ", byte by byte" : ", whole");
            EXPECT_EQ(decoded.data, c.data) << how;
            EXPECT_EQ(decoded.answers, c.answers) << how;
            EXPECT_EQ(std::tuple(client.comPortAgreed(), client.comPortRefused(), client.purgesConfirmed(),
                                 client.midSequence()),
                      std::tuple(c.agreed, c.refused, c.purges, c.cutShort))
                << how;
        }
    }
}

} // namespace
} // namespace tavrek::telnet
