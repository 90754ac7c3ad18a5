// The serial path against build/tavrek-sim over a pseudo-terminal, through the
// Qt port, the steady clock and the real getChar/putChar/programPic:
//   RowPacketRoundTrip   host time per 133-byte row packet and its "K" from a
//                        simulator that answers at once (target < 1 ms)
//   BootloaderNotFoundCpu CPU seconds of a run that waits out the 800 ms
//                        time-out (target < 0.05 s; a spinning wait spends 0.8 s)
//   FullImagePaced       a whole 48 KB image, 512 rows and 7 configuration
//                        words, against line-rate pacing: wall time over the
//                        time the line and the flash writes account for
//                        (target <= 1.02)

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <memory>

#include "serial_fixture.h"
#include "sim/bootloader.h"
#include "support/programming.h"

namespace tavrek::bench {
namespace {


constexpr std::size_t kChipRows = 512;          // the dsPIC30F4011's 48 KB of flash
constexpr double kResetHoldSeconds = 0.100;     // DTR held before the start byte
constexpr double kSecondsPerByte = double(sim::Bootloader::kBitsPerByte) / sim::Bootloader::kLineBaud;

using Host = test::RealHost;

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void RowPacketRoundTrip(benchmark::State& state)
{
    Host host({});
    Support& support = host.support;
    support.state().progImage.fill(0xA5);
    host.port.setPortOpen(true);
    support.putChar(sim::Bootloader::kStartByte);
    std::string reply;
    if (!support.getChar(reply) || !support.getChar(reply) || reply != "K") {
        state.SkipWithError("the simulator did not answer the start byte");
        return;
    }
    std::size_t row = 0;
    for (auto _ : state) {
        for (const char byte : rowPacket(support.state(), row))
            support.putChar(static_cast<std::uint8_t>(byte));
        if (!support.getChar(reply) || reply != "K") {
            state.SkipWithError("row packet not acknowledged");
            break;
        }
        row = (row + 1) % kChipRows;
    }
    host.port.setPortOpen(false);
    state.SetLabel("133-byte row packet + acknowledgement");
}
BENCHMARK(RowPacketRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

void BootloaderNotFoundCpu(benchmark::State& state)
{
    Host host({"--silent"});
    double cpu = 0;
    for (auto _ : state) {
        host.window.log.clear();
        const double before = processCpuSeconds();
        const std::int16_t result = host.support.programPic();
        cpu += processCpuSeconds() - before;
        if (result != kFalse || host.window.log.back() != "Bootloader not found!")
            state.SkipWithError("the run did not time out");
    }
    state.counters["cpu_s_per_run"] = cpu / double(state.iterations());
    state.SetLabel("whole run: 100 ms reset + 800 ms time-out");
}
BENCHMARK(BootloaderNotFoundCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void FullImagePaced(benchmark::State& state)
{
    Host host({"--line-pacing"});
    SupportState& images = host.support.state();
    for (std::size_t i = 0; i < kChipRows * kRowBytes; ++i)
        images.progImage[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::fill_n(images.rowDirty.begin(), kChipRows, true);
    std::fill_n(images.cfgDirty.begin(), kCfgWords, true);

    // What the line and the chip take whatever the host does: every byte both
    // ways at 115200 baud (start byte, packets, type code and replies) and one
    // flash write per packet.
    const double sentBytes = 1 + kChipRows * (4 + kRowBytes + 1) + kCfgWords * (4 + kCfgWordBytes + 1);
    const double replyBytes = 2 + kChipRows + kCfgWords;
    const double paced = (sentBytes + replyBytes) * kSecondsPerByte +
                         kChipRows * sim::Bootloader::kRowWriteUs / 1e6 +
                         kCfgWords * sim::Bootloader::kConfigWriteUs / 1e6;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::int16_t result = host.support.programPic();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != kTrue)
            state.SkipWithError("the run failed");
    }
    const double perRun = wall / double(state.iterations());
    state.counters["paced_s"] = paced;
    state.counters["wall_over_paced"] = perRun / paced;
    state.counters["wall_less_reset_over_paced"] = (perRun - kResetHoldSeconds) / paced;
    state.SetLabel("512 rows + 7 configuration words at 115200 baud");
}
BENCHMARK(FullImagePaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace tavrek::bench

BENCHMARK_MAIN();
