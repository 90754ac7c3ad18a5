// build/tavrek-cli writing a whole 48 KB image (512 rows and 7 configuration
// words) into build/tavrek-sim with line-rate pacing, as a production bench
// would run it:
//   OneChipPaced    wall time over what the line at 115200 baud, the flash
//                   writes and the 100 ms reset hold account for (target <= 1.02)
//   FourChipsPaced  four chips at once against four paced simulators: wall
//                   time over one chip's (target <= 1.05 on 2 cores), and the
//                   CPU seconds of the whole run (target < 0.5 s)
// With TAVREK_WINDOWS_BUILD=build-windows it measures tavrek-cli.exe under
// Wine instead, the simulators serving COM ports of that build's Wine prefix:
// figures of Wine's serial layer, not of Windows (target <= 1.05 for one chip).

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "serial_fixture.h"

namespace tavrek::bench {
namespace {

constexpr std::size_t kChipRows = 512;       // the dsPIC30F4011's 48 KB of flash
constexpr double kResetHoldSeconds = 0.100;  // DTR held before the start byte
constexpr double kSecondsPerByte = double(sim::Bootloader::kBitsPerByte) / sim::Bootloader::kLineBaud;

// Every row of the chip and every configuration word, in 16-byte records.
std::string wholeChipHex()
{
    std::string hex = test::segmentRecord(0);
    constexpr std::size_t kRecordBytes = 16;
    for (std::size_t address = 0; address < kChipRows * kRowBytes; address += kRecordBytes) {
        std::vector<std::uint8_t> data(kRecordBytes);
        for (std::size_t i = 0; i < kRecordBytes; ++i)
            data[i] = (address + i) % 4 == 3 ? 0 : static_cast<std::uint8_t>((address + i) * 31 + 7);
        hex += test::dataRecord(static_cast<std::uint16_t>(address), data);
    }
    hex += test::segmentRecord(0x01F0);
    for (std::size_t word = 0; word < kCfgWords; ++word)
        hex += test::dataRecord(static_cast<std::uint16_t>(word * kCfgWordBytes), {0x12, 0x34, 0x00, 0x00});
    return hex + test::kEndRecord;
}

// What the line, the chip and the reset take whatever the host does.
double pacedSeconds()
{
    const double sentBytes = 1 + kChipRows * (4 + kRowBytes + 1) + kCfgWords * (4 + kCfgWordBytes + 1);
    const double replyBytes = 2 + kChipRows + kCfgWords;
    return kResetHoldSeconds + (sentBytes + replyBytes) * kSecondsPerByte +
           kChipRows * sim::Bootloader::kRowWriteUs / 1e6 + kCfgWords * sim::Bootloader::kConfigWriteUs / 1e6;
}

struct Written {
    double wallSeconds;
    double cpuSeconds;
};

const test::CliUnderTest kCli;

// One tavrek-cli run writing `file` into `chips` paced simulators at once.
Written writeChips(const std::string& file, int chips, benchmark::State& state)
{
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    std::vector<std::string> args = {"write", file, "--quiet"};
    for (int i = 0; i < chips; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>(std::vector<std::string>{"--line-pacing"}, kCli.comLinks));
        args.insert(args.end(), {"--port", sims.back()->name()});
    }
    const auto start = std::chrono::steady_clock::now();
    const test::ProgramRun run = kCli.run(args);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (run.status != 0)
        state.SkipWithError(("tavrek-cli failed: " + run.err).c_str());
    return {wall, run.cpuSeconds};
}

// Starts what the first program of a session starts (Wine's server and
// services take about 0.7 s), so that no measured run pays for it.
void startSession()
{
    kCli.run({"--version"});
}

void OneChipPaced(benchmark::State& state)
{
    startSession();
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    double wall = 0;
    for (auto _ : state)
        wall += writeChips(file, 1, state).wallSeconds;
    const double perRun = wall / double(state.iterations());
    state.counters["paced_s"] = pacedSeconds();
    state.counters["wall_s"] = perRun;
    state.counters["wall_over_paced"] = perRun / pacedSeconds();
    state.SetLabel(std::string(kCli.underWine() ? "tavrek-cli.exe under Wine" : "tavrek-cli") +
                   " write, 512 rows + 7 configuration words at 115200 baud");
}
BENCHMARK(OneChipPaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void FourChipsPaced(benchmark::State& state)
{
    startSession();
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    double oneChip = 0;
    double fourChips = 0;
    double cpu = 0;
    for (auto _ : state) {
        oneChip += writeChips(file, 1, state).wallSeconds;
        const Written four = writeChips(file, 4, state);
        fourChips += four.wallSeconds;
        cpu += four.cpuSeconds;
    }
    const double runs = double(state.iterations());
    state.counters["one_chip_s"] = oneChip / runs;
    state.counters["four_chips_s"] = fourChips / runs;
    state.counters["four_over_one"] = fourChips / oneChip;
    state.counters["cpu_s"] = cpu / runs;
    state.SetLabel(std::string(kCli.underWine() ? "tavrek-cli.exe under Wine" : "tavrek-cli") +
                   " write --port x4 against four paced simulators");
}
BENCHMARK(FourChipsPaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
} // namespace tavrek::bench

BENCHMARK_MAIN();
