#pragma once

#include <string>

#include "support/port_control.h"

namespace tavrek::cli {

// A port control that gathers the bytes sent one by one and hands them to
// `inner` in one write as soon as the host does anything else: waits for a
// reply, switches DTR, closes. The line carries the same bytes in the same
// order; a packet costs one system call instead of one per byte, which is
// what lets a bench write several chips at once on little CPU.
class GatheringPort : public PortControl {
public:
    explicit GatheringPort(PortControl& inner) : inner_(inner) {}
    ~GatheringPort() override;

    void setCommPort(int number) override { inner_.setCommPort(number); }
    int commPort() const override { return inner_.commPort(); }
    void setSettings(const std::string& settings) override { inner_.setSettings(settings); }
    std::string settings() const override { return inner_.settings(); }
    bool portOpen() const override { return inner_.portOpen(); }
    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    bool dtrEnable() const override { return inner_.dtrEnable(); }
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

private:
    void flush();

    PortControl& inner_;
    std::string gathered_;
};

} // namespace tavrek::cli
