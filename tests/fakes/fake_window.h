#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/window_services.h"

namespace tavrek::test {

// A window that records what the procedures tell the operator.
class FakeWindow : public WindowServices {
public:
    explicit FakeWindow(PortControl& port) : port_(port) {}

    void putInfo(const std::string& message) override { log.push_back(message); }
    int portChoice() const override { return choice; }
    PortControl& portControl() override { return port_; }
    void messageBox(const std::string& text) override { boxes.push_back(text); }
    void processEvents() override
    {
        ++eventPasses;
        if (onProcessEvents)
            onProcessEvents();
    }

    std::vector<std::string> log;
    std::vector<std::string> boxes;
    int choice = 0;
    int eventPasses = 0;
    std::function<void()> onProcessEvents;

private:
    PortControl& port_;
};

} // namespace tavrek::test
