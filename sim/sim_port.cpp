#include "sim/sim_port.h"

#include <algorithm>
#include <utility>

#include "support/failures.h"

namespace tavrek::sim {

namespace {

constexpr std::uint64_t kAdapterLatencyMs = 16;  // a USB adapter's default latency timer

} // namespace

void SimPort::setCommPort(int number)
{
    if (number < kFirstPort || number > kLastPort)
        throw PortFailure("no such port");
    commPort_ = number;
}

void SimPort::setPortOpen(bool open)
{
    if (!open) {
        open_ = false;
        setDtrLine(false);
        received_.clear();
        pending_.clear();
        return;
    }
    if (open_)
        throw PortFailure("port already open");
    if (deviceMissing || gone_)
        throw PortFailure("cannot open the port");
    open_ = true;
    portsOpened.push_back(commPort_);
    received_ = std::exchange(staleInput, {});
    if (!chatterUntilReset.empty())
        schedule({clock_.nowMs() + kAdapterLatencyMs, chatterUntilReset, true});
    setDtrLine(dtrEnable_);
}

void SimPort::setDTREnable(bool enable)
{
    if (open_)
        requireOpen();
    dtrEnable_ = enable;
    if (open_)
        setDtrLine(enable);
}

int SimPort::inBufferCount()
{
    requireOpen();
    deliverDue();
    return static_cast<int>(received_.size());
}

std::string SimPort::input()
{
    requireOpen();
    deliverDue();
    return std::exchange(received_, {});
}

void SimPort::output(const std::string& bytes)
{
    requireOpen();
    for (const char byte : bytes) {
        sent.push_back(byte);
        sentAtMs.push_back(clock_.nowMs());
        if (dtrActive_)
            continue;  // a chip held in reset hears nothing
        for (Reply& reply : chip_.receive(std::string_view(&byte, 1))) {
            const std::uint64_t delayMs = (reply.delayUs + 999) / 1000;
            const std::uint64_t after = pending_.empty() ? 0 : pending_.back().dueMs;
            pending_.push_back({std::max(clock_.nowMs() + delayMs, after), std::move(reply.bytes)});
        }
    }
    if (vanishAfterPackets > 0 && static_cast<int>(chip_.packets().size()) >= vanishAfterPackets)
        gone_ = true;
}

void SimPort::waitForInput(int maxMs)
{
    requireOpen();
    deliverDue();
    if (!received_.empty())
        return;
    std::uint64_t until = clock_.nowMs() + static_cast<std::uint64_t>(std::max(maxMs, 0));
    if (!pending_.empty())
        until = std::min(until, pending_.front().dueMs);
    clock_.advance(until - clock_.nowMs());
    deliverDue();
}

void SimPort::arrive(const std::string& bytes, std::uint64_t afterMs)
{
    schedule({clock_.nowMs() + afterMs, bytes});
}

void SimPort::schedule(Pending pending)
{
    const auto later = std::find_if(pending_.begin(), pending_.end(),
                                    [due = pending.dueMs](const Pending& p) { return p.dueMs > due; });
    pending_.insert(later, std::move(pending));
}

void SimPort::requireOpen() const
{
    if (gone_)
        throw PortFailure("the device has gone");
    if (!open_)
        throw PortFailure("port not open");
}

// DTR is wired to the chip's reset: active holds the chip in reset.
void SimPort::setDtrLine(bool active)
{
    if (active == dtrActive_)
        return;
    dtrActive_ = active;
    dtrChanges.push_back({clock_.nowMs(), active});
    if (active) {
        chip_.reset();
        std::erase_if(pending_, [](const Pending& p) { return !p.survivesReset; });
    }
}

void SimPort::deliverDue()
{
    while (!pending_.empty() && pending_.front().dueMs <= clock_.nowMs()) {
        received_ += pending_.front().bytes;
        pending_.pop_front();
    }
}

} // namespace tavrek::sim
