// Serial line on a port of another machine: TCP with RFC 2217, through
// standalone Asio (Linux, and Windows over Winsock).
//
// One single-threaded Asio context per line, run only inside the line's own
// calls: a read is always outstanding and decodes what arrives, a write
// carries whatever is queued in one piece, and a wait sleeps in the context
// until a byte arrives or the caller's time is up.

#include "network/rfc2217_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <utility>

#include <asio.hpp>

#include "network/telnet_com_port.h"

namespace tavrek {

namespace {

using Clock = std::chrono::steady_clock;
using telnet::ComPortClient;
using telnet::Control;


constexpr int kConnectTimeoutMs = 4000;  // a host that does not answer the connection
constexpr int kAnswerTimeoutMs = 3000;   // a server that connects but does not negotiate
constexpr int kPurgeAnswerMs = 1000;     // a server that does not confirm the purge: go on without
constexpr int kOutputStallMs = 2000;     // a server that takes no byte this long has failed
constexpr int kCloseFlushMs = 200;       // the last DTR switch on closing, best effort
constexpr std::size_t kReadChunk = 4096;       // bytes taken from the socket per read
constexpr std::size_t kMaxUntaken = 65536;     // received bytes held for the caller before reading pauses
constexpr std::size_t kMaxUnsent = 65536;      // negotiation answers piled up for a server that reads none
constexpr int kMaxHandlersPerPull = 16;        // reads (and writes) one look at the socket completes at most
constexpr std::size_t kMaxServerText = 200;    // characters of a server's parting words shown

constexpr const char* kServerClosed = "the server closed the connection (the device is gone or in use)";

std::string withBrackets(const std::string& host)
{
    return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

// What a server said before it closed, on one line of printable characters.
std::string serverText(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const bool printable = static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        if (printable && c != ' ')
            text.push_back(c);
        else if (!text.empty() && text.back() != ' ')
            text.push_back(' ');
        if (text.size() >= kMaxServerText)
            break;
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

telnet::Parity comPortParity(char parity)
{
    switch (parity) {
    case 'o': return telnet::Parity::Odd;
    case 'e': return telnet::Parity::Even;
    case 'm': return telnet::Parity::Mark;
    case 's': return telnet::Parity::Space;
    default: return telnet::Parity::None;
    }
}

telnet::StopSize comPortStopSize(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf: return telnet::StopSize::OneAndHalf;
    case LineSettings::StopBits::Two: return telnet::StopSize::Two;
    case LineSettings::StopBits::One: break;
    }
    return telnet::StopSize::One;
}

std::string settingsCommands(const LineSettings& settings)
{
    return ComPortClient::setBaudRate(static_cast<std::uint32_t>(settings.baud)) +
           ComPortClient::setDataSize(static_cast<std::uint8_t>(settings.dataBits)) +
           ComPortClient::setParity(comPortParity(settings.parity)) +
           ComPortClient::setStopSize(comPortStopSize(settings.stopBits)) +
           ComPortClient::setControl(Control::NoFlowControl) + ComPortClient::setControl(Control::NoInboundFlowControl);
}

std::string operatorWords(const std::error_code& error)
{
    std::string text = error.message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

Clock::time_point after(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

class Rfc2217Line : public SerialLine {
public:
    Rfc2217Line(const std::string& name, const RemotePort& remote, const LineSettings& settings, bool dtr);
    ~Rfc2217Line() override;
    Rfc2217Line(const Rfc2217Line&) = delete;
    Rfc2217Line& operator=(const Rfc2217Line&) = delete;

    void applySettings(const LineSettings& settings) override;
    void setDtr(bool active) override;
    std::size_t available() override;
    std::string take() override;
    void send(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void connect(const RemotePort& remote);
    void negotiate(const LineSettings& settings, bool dtr);
    void startReading();
    void resumeReading();
    void queue(const std::string& bytes);
    void startWriting();
    void flush();
    bool settled() const { return closed_ || (!writing_ && outgoing_.empty()); }
    void pull();
    void failIfGone();
    template <class Done>
    bool runUntil(Clock::time_point deadline, Done done);
    [[noreturn]] void fail(const std::string& why) const;
    [[noreturn]] void failClosedAtOpen() const;

    std::string name_;      // as the operator gave it
    std::string hostPort_;  // HOST:PORT
    asio::io_context io_{1};
    asio::ip::tcp::socket socket_{io_};
    ComPortClient telnet_;
    std::array<char, kReadChunk> chunk_{};
    telnet::Decoded decoded_;  // data received and not yet taken; answers owed
    std::string outgoing_;     // queued for the next write
    std::string inFlight_;     // being written
    bool writing_ = false;
    bool readingPaused_ = false;
    bool closed_ = false;
    bool dtrOn_ = false;
};

Rfc2217Line::Rfc2217Line(const std::string& name, const RemotePort& remote, const LineSettings& settings, bool dtr)
    : name_(name), hostPort_(withBrackets(remote.host) + ":" + std::to_string(remote.port))
{
    connect(remote);
    negotiate(settings, dtr);
}

Rfc2217Line::~Rfc2217Line()
{
    try {
        if (dtrOn_ && !closed_) {
            queue(ComPortClient::setControl(Control::DtrOff));
            runUntil(after(kCloseFlushMs), [this] { return settled(); });
        }
    } catch (...) {
        // The connection goes either way; the server drops DTR when it closes the device.
    }
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

// The name is looked up with the system's own time-outs; the connection,
// to each address it gives in turn, with ours.
void Rfc2217Line::connect(const RemotePort& remote)
{
    std::error_code error;
    asio::ip::tcp::resolver resolver(io_);
    const auto addresses = resolver.resolve(remote.host, std::to_string(remote.port),
                                            asio::ip::resolver_base::numeric_service, error);
    if (error == asio::error::host_not_found)
        fail("host not found");
    if (error == asio::error::host_not_found_try_again)
        fail("host not found (no name server answered)");
    if (error)
        fail("cannot look up " + remote.host + ": " + operatorWords(error));

    bool connected = false;
    asio::async_connect(socket_, addresses, [&](const std::error_code& result, const asio::ip::tcp::endpoint&) {
        error = result;
        connected = true;
    });
    if (!runUntil(after(kConnectTimeoutMs), [&connected] { return connected; }) || error == asio::error::timed_out)
        fail("no answer from " + hostPort_);
    if (error == asio::error::connection_refused)
        fail("connection refused");
    if (error)
        fail(operatorWords(error));
    // Each packet and each one-byte reply goes out at once, not held back to
    // be joined with the next (Nagle's algorithm).
    socket_.set_option(asio::ip::tcp::no_delay(true), error);
}

// The server agrees to COM-PORT-OPTION, takes the settings and DTR, and
// empties its buffers; whatever it sent before it confirmed that is stale.
void Rfc2217Line::negotiate(const LineSettings& settings, bool dtr)
{
    constexpr const char* kHint = " (with ser2net, the accepter must be telnet(rfc2217),tcp(nodelay),PORT)";
    startReading();
    queue(telnet_.start());
    runUntil(after(kAnswerTimeoutMs),
             [this] { return closed_ || telnet_.comPortAgreed() || telnet_.comPortRefused(); });
    if (closed_)
        failClosedAtOpen();
    if (telnet_.comPortRefused())
        fail(std::string("the server refuses RFC 2217") + kHint);
    if (!telnet_.comPortAgreed())
        fail("no RFC 2217 answer from " + hostPort_ + kHint);

    dtrOn_ = dtr;
    queue(settingsCommands(settings) + ComPortClient::setControl(dtr ? Control::DtrOn : Control::DtrOff) +
          ComPortClient::purgeData(telnet::Purge::Both));
    runUntil(after(kPurgeAnswerMs), [this] { return closed_ || telnet_.purgesConfirmed() > 0; });
    if (closed_)
        failClosedAtOpen();
    decoded_.data.clear();
    resumeReading();
}

void Rfc2217Line::startReading()
{
    socket_.async_read_some(asio::buffer(chunk_), [this](const std::error_code& error, std::size_t count) {
        if (error) {
            closed_ = true;  // the end of the stream, a reset, or our own close
            return;
        }
        telnet_.decode(std::string_view(chunk_.data(), count), decoded_);
        queue(std::exchange(decoded_.answers, {}));
        if (outgoing_.size() > kMaxUnsent) {
            closed_ = true;  // answers pile up for a server that reads none of them
            std::error_code ignored;
            socket_.close(ignored);
            return;
        }
        if (decoded_.data.size() < kMaxUntaken)
            startReading();
        else
            readingPaused_ = true;  // the server waits in the system's buffers until the caller takes
    });
}

void Rfc2217Line::resumeReading()
{
    if (readingPaused_ && !closed_) {
        readingPaused_ = false;
        startReading();
    }
}

void Rfc2217Line::queue(const std::string& bytes)
{
    outgoing_ += bytes;
    startWriting();
}

// Everything queued goes in one write; what is queued meanwhile, in the next.
void Rfc2217Line::startWriting()
{
    if (writing_ || closed_ || outgoing_.empty())
        return;
    writing_ = true;
    inFlight_ = std::exchange(outgoing_, {});
    asio::async_write(socket_, asio::buffer(inFlight_), [this](const std::error_code& error, std::size_t) {
        writing_ = false;
        if (error)
            closed_ = true;
        else
            startWriting();
    });
}

// Returns once everything queued is with the system.
void Rfc2217Line::flush()
{
    const bool written = runUntil(after(kOutputStallMs), [this] { return settled(); });
    if (closed_)
        throw LineGone(name_ + ": " + kServerClosed);
    if (!written) {
        closed_ = true;
        std::error_code ignored;
        socket_.close(ignored);
        throw LineGone(name_ + ": the server took no data for " + std::to_string(kOutputStallMs) + " ms");
    }
}

// Completes what the socket has ready now, without waiting.
void Rfc2217Line::pull()
{
    io_.restart();
    for (int i = 0; i < kMaxHandlersPerPull && io_.poll_one() > 0; ++i) {
    }
}

// A closed connection is reported once every byte received before it has
// been taken.
void Rfc2217Line::failIfGone()
{
    if (closed_ && decoded_.data.empty())
        throw LineGone(name_ + ": " + kServerClosed);
}

// Runs the context until `done` or `deadline`; false when the time ran out.
template <class Done>
bool Rfc2217Line::runUntil(Clock::time_point deadline, Done done)
{
    while (!done()) {
        io_.restart();
        if (io_.run_one_until(deadline) == 0)
            return done();
    }
    return true;
}

void Rfc2217Line::applySettings(const LineSettings& settings)
{
    queue(settingsCommands(settings));
    flush();
}

// Sent at once and not waited for: ser2net does not answer DTR switches on a
// device without modem lines.
void Rfc2217Line::setDtr(bool active)
{
    dtrOn_ = active;
    queue(ComPortClient::setControl(active ? Control::DtrOn : Control::DtrOff));
    flush();
}

std::size_t Rfc2217Line::available()
{
    pull();
    failIfGone();
    return decoded_.data.size();
}

std::string Rfc2217Line::take()
{
    pull();
    failIfGone();
    std::string taken = std::exchange(decoded_.data, {});
    resumeReading();
    return taken;
}

void Rfc2217Line::send(const std::string& bytes)
{
    queue(telnet_.encodeData(bytes));
    flush();
}

// A closed connection ends the wait at once too; the next read reports it.
void Rfc2217Line::waitForInput(int maxMs)
{
    const Clock::time_point deadline = after(std::max(0, maxMs));
    pull();
    runUntil(deadline, [this] { return closed_ || !decoded_.data.empty(); });
}

void Rfc2217Line::fail(const std::string& why) const { throw PortFailure(name_ + ": " + why); }

// ser2net answers a connection to a device it cannot open with a line of text
// and a close: that text is the cause.
void Rfc2217Line::failClosedAtOpen() const
{
    const std::string text = serverText(decoded_.data);
    fail(text.empty() ? kServerClosed : "the server closed the connection: " + text);
}

} // namespace

std::unique_ptr<SerialLine> openRfc2217Line(const std::string& name, const LineSettings& settings, bool dtr)
{
    const std::optional<RemotePort> remote = parseRemotePortName(name);
    if (!remote)
        throw PortFailure(name + ": not a port name; a port on another machine is " + kRemotePortForm);
    return std::make_unique<Rfc2217Line>(name, *remote, settings, dtr);
}

} // namespace tavrek
