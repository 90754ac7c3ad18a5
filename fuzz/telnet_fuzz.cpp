// Feeds arbitrary bytes to the telnet and RFC 2217 decoding as a server's
// stream. Besides memory errors, it traps when the stream read in pieces
// decodes differently from the stream read whole, when decoding gives more
// bytes than came in (an unbounded buffer or a negotiation that feeds
// itself), and when data the client encodes does not decode to itself.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "network/telnet_com_port.h"

namespace {

using namespace tavrek::telnet;
using namespace std::string_literals;

constexpr std::size_t kMaxPiece = 16;  // longest piece when the stream is cut up

// A server that agrees to everything the client offers.
const std::string kAgreed = "\xFF\xFD\x2C\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x03\xFF\xFB\x03"s;

bool sameOutcome(const ComPortClient& a, const Decoded& aOut, const ComPortClient& b, const Decoded& bOut)
{
    return aOut.data == bOut.data && aOut.answers == bOut.answers && a.comPortAgreed() == b.comPortAgreed() &&
           a.comPortRefused() == b.comPortRefused() && a.purgesConfirmed() == b.purgesConfirmed() &&
           a.midSequence() == b.midSequence();
}

// `data` sent by one client and read by another, both in binary mode or
// both before any agreement.
bool passesUnchanged(std::string_view data, bool binary)
{
    ComPortClient sender;
    ComPortClient receiver;
    Decoded ignored;
    sender.start();
    receiver.start();
    if (binary) {
        sender.decode(kAgreed, ignored);
        receiver.decode(kAgreed, ignored);
    }
    Decoded received;
    receiver.decode(sender.encodeData(data), received);
    return received.data == data && received.answers.empty() && !receiver.midSequence();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view stream(reinterpret_cast<const char*>(bytes), size);
    ComPortClient whole;
    ComPortClient cut;
    Decoded wholeOut;
    Decoded cutOut;
    whole.start();
    cut.start();
    whole.decode(stream, wholeOut);
    // Piece lengths taken from the stream itself, so that the fuzzer explores them too.
    for (std::size_t at = 0; at < size;) {
        const std::size_t piece = std::min<std::size_t>(1 + bytes[at] % kMaxPiece, size - at);
        cut.decode(stream.substr(at, piece), cutOut);
        at += piece;
    }
    if (!sameOutcome(whole, wholeOut, cut, cutOut))
        __builtin_trap();
    if (wholeOut.data.size() > size || wholeOut.answers.size() > size)
        __builtin_trap();
    if (!passesUnchanged(stream, true) || !passesUnchanged(stream, false))
        __builtin_trap();
    return 0;
}
