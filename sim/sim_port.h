#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/bootloader.h"
#include "sim/fake_clock.h"
#include "support/port_control.h"

namespace tavrek::sim {

// The serial port with the simulated bootloader at the far end, in process and
// on a fake clock: replies arrive when the clock has moved past their delay,
// and waiting for input moves the clock. DTR held active keeps the chip in
// reset; releasing it starts the bootloader.
class SimPort : public PortControl {
public:
    SimPort(Bootloader& chip, FakeClock& clock) : chip_(chip), clock_(clock) {}

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    void setSettings(const std::string& settings) override { settings_ = settings; }
    std::string settings() const override { return settings_; }
    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    void setDTREnable(bool enable) override;
    bool dtrEnable() const override { return dtrEnable_; }
    int inBufferCount() override;
    std::string input() override;
    void output(const std::string& bytes) override;
    void waitForInput(int maxMs) override;

    // What the test sets up.
    bool deviceMissing = false;       // opening fails, as for an absent or busy device
    std::string staleInput;           // bytes waiting in the driver when the port opens
    int vanishAfterPackets = 0;       // after the chip has seen this many packets the device is gone
    // What the chip's application sends until it is reset: at every open it
    // is on its way, and the adapter hands it over late, during the reset
    // pulse, as a USB adapter holding bytes for its latency timer does.
    std::string chatterUntilReset;
    // Bytes that reach the port `afterMs` from now, whatever the chip does.
    void arrive(const std::string& bytes, std::uint64_t afterMs);

    // What the test observes.
    struct DtrChange {
        std::uint64_t atMs;
        bool active;
    };
    std::vector<DtrChange> dtrChanges;
    std::vector<int> portsOpened;     // the port number of every open
    std::string sent;                 // every byte output, in order
    std::vector<std::uint64_t> sentAtMs;  // when each byte of `sent` went out

private:
    struct Pending {
        std::uint64_t dueMs;
        std::string bytes;
        bool survivesReset = false;  // already sent by the chip when it was reset
    };

    void requireOpen() const;
    void setDtrLine(bool active);
    void schedule(Pending pending);
    void deliverDue();

    Bootloader& chip_;
    FakeClock& clock_;
    int commPort_ = 1;
    std::string settings_;
    bool open_ = false;
    bool dtrEnable_ = false;
    bool dtrActive_ = false;
    bool gone_ = false;
    std::string received_;            // bytes waiting in the driver
    std::deque<Pending> pending_;     // replies still on their way
};

} // namespace tavrek::sim
