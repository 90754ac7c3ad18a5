#pragma once

#include <chrono>
#include <string>

#include "cli/console.h"
#include "platform/forwarding_port.h"

namespace tavrek::cli {

// A port control that passes every operation on to `inner` and writes what
// crosses the line to the console: bytes sent (TX) and received (RX) with
// a millisecond time stamp, and the port's opening, closing and DTR. Bytes
// sent one by one are gathered into one line until the host does anything
// else, so that a packet reads as one line.
class TracingPort : public ForwardingPort {
public:
    TracingPort(PortControl& inner, Console& console, std::string prefix, std::string device,
                std::chrono::steady_clock::time_point start);
    ~TracingPort() override;

    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void discardOutput() override;
    void waitForInput(int maxMs) override;

private:
    double msNow() const;
    void flushSent();
    void event(double atMs, const std::string& text);
    void bytes(double atMs, const char* direction, const std::string& data);

    Console& console_;
    std::string prefix_;
    std::string device_;
    std::chrono::steady_clock::time_point start_;
    std::string sent_;      // sent, not yet traced
    double sentAtMs_ = 0;   // when the first of them went out
};

} // namespace tavrek::cli
