#pragma once

#include <string>

#include "platform/forwarding_port.h"

namespace tavrek {

// A port control that gathers the bytes sent one by one and hands them to
// `inner` in one write as soon as the host does anything else: waits for a
// reply, switches DTR, closes. The line carries the same bytes in the same
// order; a packet costs one system call instead of one per byte, which is
// what keeps a Write at the line's own speed on a USB adapter, a network port
// or a browser's serial port, where every write is a transfer of its own, and
// lets a bench write several chips at once on little CPU.
class GatheringPort : public ForwardingPort {
public:
    using ForwardingPort::ForwardingPort;
    ~GatheringPort() override;

    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void discardOutput() override;
    void waitForInput(int maxMs) override;

private:
    void flush();

    std::string gathered_;
};

} // namespace tavrek
