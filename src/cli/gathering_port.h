#pragma once

#include <string>

#include "cli/forwarding_port.h"

namespace tavrek::cli {

// A port control that gathers the bytes sent one by one and hands them to
// `inner` in one write as soon as the host does anything else: waits for a
// reply, switches DTR, closes. The line carries the same bytes in the same
// order; a packet costs one system call instead of one per byte, which is
// what lets a bench write several chips at once on little CPU.
class GatheringPort : public ForwardingPort {
public:
    explicit GatheringPort(PortControl& inner) : ForwardingPort(inner) {}
    ~GatheringPort() override;

    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void flush();

    std::string gathered_;
};

} // namespace tavrek::cli
