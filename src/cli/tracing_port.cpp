#include "cli/tracing_port.h"

#include <cstdio>

namespace tavrek::cli {

namespace {

constexpr std::size_t kBytesPerLine = 16;  // a line of 16 bytes fits 80 columns with its time stamp
constexpr std::size_t kStampWidth = 15;   // "    12.345 ms  "
constexpr const char* kSent = "TX";      // host to chip
constexpr const char* kReceived = "RX";  // chip to host

} // namespace

TracingPort::TracingPort(PortControl& inner, Console& console, std::string prefix, std::string device,
                         std::chrono::steady_clock::time_point start)
    : ForwardingPort(inner), console_(console), prefix_(std::move(prefix)), device_(std::move(device)), start_(start)
{
}

TracingPort::~TracingPort() { flushSent(); }

double TracingPort::msNow() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
}

void TracingPort::setPortOpen(bool open)
{
    flushSent();
    const double at = msNow();
    inner_.setPortOpen(open);
    event(at, open ? "open " + device_ + " " + inner_.settings() : "close");
}

void TracingPort::setDTREnable(bool enable)
{
    flushSent();
    const double at = msNow();
    inner_.setDTREnable(enable);
    event(at, enable ? "DTR on" : "DTR off");
}

int TracingPort::inBufferCount()
{
    flushSent();
    return inner_.inBufferCount();
}

std::string TracingPort::input()
{
    flushSent();
    std::string received = inner_.input();
    if (!received.empty())
        bytes(msNow(), kReceived, received);
    return received;
}

void TracingPort::output(const std::string& data)
{
    if (sent_.empty())
        sentAtMs_ = msNow();
    inner_.output(data);
    sent_ += data;
}

// What is dropped never reaches the line: the trace does not show it.
void TracingPort::discardOutput()
{
    inner_.discardOutput();
    sent_.clear();
}

void TracingPort::waitForInput(int maxMs)
{
    flushSent();
    inner_.waitForInput(maxMs);
}

void TracingPort::flushSent()
{
    if (sent_.empty())
        return;
    bytes(sentAtMs_, kSent, sent_);
    sent_.clear();
}

void TracingPort::event(double atMs, const std::string& text)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f ms  ", atMs);  // kStampWidth characters
    console_.traceLine(prefixed(prefix_, stamp + text));
}

// "    12.345 ms  TX 00 00 00 80 FF ...", 16 bytes a line; the lines that
// follow are indented under the first byte.
void TracingPort::bytes(double atMs, const char* direction, const std::string& data)
{
    for (std::size_t at = 0; at < data.size(); at += kBytesPerLine) {
        std::string line = at == 0 ? direction : "  ";
        for (std::size_t i = at; i < data.size() && i < at + kBytesPerLine; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(data[i]));
            line += hex;
        }
        if (at == 0)
            event(atMs, line);
        else
            console_.traceLine(prefixed(prefix_, std::string(kStampWidth, ' ') + line));
    }
}

} // namespace tavrek::cli
