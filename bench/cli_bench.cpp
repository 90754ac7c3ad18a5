// build/tavrek-cli writing a whole 48 KB image (512 rows and 7 configuration
// words) into build/tavrek-sim with line-rate pacing, as a production bench
// would run it:
//   OneChipPaced    wall time over what the line at 115200 baud, the flash
//                   writes and the 100 ms reset hold account for (target <= 1.02)
//   FourChipsPaced  four chips at once against four paced simulators: wall
//                   time over one chip's (target <= 1.05 on 2 cores), and the
//                   CPU seconds of the whole run (target < 0.5 s)
//   SixtyFourChipsPaced  the same with 64 chips, a production hub of
//                   adapters on one PC (target <= 1.05 on 2 cores); Linux only
//   AdapterLatencyTimer/16, /1  one chip through a paced simulator that holds
//                   its replies as a USB adapter with that latency timer does
//                   (16 ms: FTDI's default): wall time over the line's
// With TAVREK_WINDOWS_BUILD=build-windows/win64 (or win32) it measures tavrek-cli.exe under
// Wine instead, the simulators serving COM ports of that build's Wine prefix:
// figures of Wine's serial layer, not of Windows (target <= 1.05 for one chip).

#include <memory>

#include "whole_chip.h"

namespace tavrek::bench {
namespace {

const test::CliUnderTest kCli;

// One tavrek-cli run writing `file` into `chips` paced simulators at once.
Written writeChips(const std::string& file, int chips, benchmark::State& state,
                   const std::vector<std::string>& moreSimOptions = {})
{
    std::vector<std::string> simOptions = {"--line-pacing"};
    simOptions.insert(simOptions.end(), moreSimOptions.begin(), moreSimOptions.end());
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    std::vector<std::string> ports;
    for (int i = 0; i < chips; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>(simOptions, kCli.comLinks));
        ports.push_back(sims.back()->name());
    }
    return writeWithCli(kCli, file, ports, state);
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

// `state.range(0)` chips at once against as many paced simulators, and one
// chip alone before each run for the ratio.
void GangPaced(benchmark::State& state)
{
    const auto chips = static_cast<int>(state.range(0));
    if (kCli.underWine() && chips > 8) {
        state.SkipWithError("the Wine prefix has 8 COM ports for simulators");
        return;
    }
    startSession();
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    double oneChip = 0;
    double gang = 0;
    double cpu = 0;
    for (auto _ : state) {
        oneChip += writeChips(file, 1, state).wallSeconds;
        const Written all = writeChips(file, chips, state);
        gang += all.wallSeconds;
        cpu += all.cpuSeconds;
    }
    const double runs = double(state.iterations());
    state.counters["one_chip_s"] = oneChip / runs;
    state.counters["gang_s"] = gang / runs;
    state.counters["gang_over_one"] = gang / oneChip;
    state.counters["cpu_s"] = cpu / runs;
    state.SetLabel(std::string(kCli.underWine() ? "tavrek-cli.exe under Wine" : "tavrek-cli") + " write --port x" +
                   std::to_string(chips) + " against as many paced simulators");
}
BENCHMARK(GangPaced)->Name("FourChipsPaced")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(GangPaced)->Name("SixtyFourChipsPaced")->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void AdapterLatencyTimer(benchmark::State& state)
{
    startSession();
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    const std::string timerMs = std::to_string(state.range(0));
    double wall = 0;
    for (auto _ : state)
        wall += writeChips(file, 1, state, {"--latency-timer", timerMs}).wallSeconds;
    const double perRun = wall / double(state.iterations());
    state.counters["paced_s"] = pacedSeconds();
    state.counters["wall_s"] = perRun;
    state.counters["wall_over_paced"] = perRun / pacedSeconds();
    state.SetLabel("tavrek-sim --line-pacing --latency-timer " + timerMs);
}
BENCHMARK(AdapterLatencyTimer)->Arg(16)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
} // namespace tavrek::bench

BENCHMARK_MAIN();
