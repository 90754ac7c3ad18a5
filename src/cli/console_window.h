#pragma once

#include <optional>
#include <string>

#include "cli/console.h"
#include "support/window_services.h"

namespace tavrek::cli {

// What the Support procedures take for the window when tavrek-cli runs them:
// log lines go to the console (the one that ends a run unwritten among the
// errors), a message box is kept for the command to report with its cause,
// and there is no window to process events for: a wait for a reply only
// looks for Ctrl+C, which ends the run as an unplugged adapter does.
class ConsoleWindow : public WindowServices {
public:
    static constexpr std::uint64_t kInterruptCheckMs = 50;

    // `port` may be null where no port is used (loading a file). The port
    // choice is the list position of a COM number.
    ConsoleWindow(Console& console, std::string prefix, PortControl* port, int portChoice = 0,
                  std::string device = {})
        : console_(console), prefix_(std::move(prefix)), port_(port), portChoice_(portChoice),
          device_(std::move(device))
    {
    }

    void putInfo(const std::string& message) override;
    int portChoice() const override { return portChoice_; }
    PortControl& portControl() override;
    void messageBox(const std::string& text) override { messageBox_ = text; }
    void processEvents() override;
    // As often as Ctrl+C must be seen: a gang of many chips pays for every wake-up.
    std::uint64_t eventIntervalMs() const override { return kInterruptCheckMs; }

    const std::string& lastLine() const { return lastLine_; }
    // The text of the message box the window would have shown, if any.
    const std::optional<std::string>& messageBoxText() const { return messageBox_; }

private:
    Console& console_;
    std::string prefix_;
    PortControl* port_;
    int portChoice_;
    std::string device_;
    std::string lastLine_;
    std::optional<std::string> messageBox_;
};

} // namespace tavrek::cli
