#pragma once

#include <memory>
#include <string>

#include "support/port_control.h"

namespace tavrek {

// A port control that passes every operation on to another one: the base of
// the decorators, which override what they add to. It either borrows the
// inner port or owns it.
class ForwardingPort : public PortControl {
public:
    explicit ForwardingPort(PortControl& inner) : inner_(inner) {}
    explicit ForwardingPort(std::unique_ptr<PortControl> owned) : owned_(std::move(owned)), inner_(*owned_) {}

    void setCommPort(int number) override { inner_.setCommPort(number); }
    int commPort() const override { return inner_.commPort(); }
    void setSettings(const std::string& settings) override { inner_.setSettings(settings); }
    std::string settings() const override { return inner_.settings(); }
    bool portOpen() const override { return inner_.portOpen(); }
    void setPortOpen(bool open) override { inner_.setPortOpen(open); }
    void setDTREnable(bool enable) override { inner_.setDTREnable(enable); }
    bool dtrEnable() const override { return inner_.dtrEnable(); }
    int inBufferCount() override { return inner_.inBufferCount(); }
    std::string input() override { return inner_.input(); }
    void output(const std::string& bytes) override { inner_.output(bytes); }
    void discardOutput() override { inner_.discardOutput(); }
    void waitForInput(int maxMs) override { inner_.waitForInput(maxMs); }

private:
    std::unique_ptr<PortControl> owned_;  // declared first: inner_ may refer to it

protected:
    PortControl& inner_;
};

} // namespace tavrek
