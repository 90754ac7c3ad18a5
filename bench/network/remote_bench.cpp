// build/tavrek-cli writing a whole 48 KB image (512 rows and 7 configuration
// words) over RFC 2217 on 127.0.0.1: ser2net exporting build/tavrek-sim
// --line-pacing pseudo-terminals, as the machine a board is plugged into
// exports it.
//   RemoteOneChipPaced    wall time over what the line at 115200 baud, the
//                         flash writes and the 100 ms reset hold account for
//                         (target <= 1.03); tavrek-cli's CPU seconds for the
//                         remote write and for the same write through a local
//                         pseudo-terminal
//   RemoteFourChipsPaced  four remote chips at once: wall time over one
//                         remote chip's (target <= 1.05)

#include <memory>

#include "network/ser2net_fixture.h"
#include "whole_chip.h"

namespace tavrek::bench {
namespace {

const test::CliUnderTest kCli;  // tavrek-cli, or tavrek-cli.exe under Wine (TAVREK_WINDOWS_BUILD)

// One tavrek-cli run writing `file` into `chips` paced simulators at once,
// each behind ser2net, or each local when `remote` is false.
Written writeChips(const std::string& file, int chips, bool remote, benchmark::State& state)
{
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    std::vector<std::string> devices;
    for (int i = 0; i < chips; ++i) {
        sims.push_back(std::make_unique<test::SimProcess>(std::vector<std::string>{"--line-pacing"}));
        devices.push_back(sims.back()->device());
    }
    if (!remote)
        return writeWithCli(kCli, file, devices, state);
    test::Ser2net server(devices);
    std::vector<std::string> ports;
    for (int i = 0; i < chips; ++i)
        ports.push_back(server.url(static_cast<std::size_t>(i)));
    return writeWithCli(kCli, file, ports, state);
}

void RemoteOneChipPaced(benchmark::State& state)
{
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    Written remote{0, 0};
    double localCpu = 0;
    for (auto _ : state) {
        const Written run = writeChips(file, 1, true, state);
        remote.wallSeconds += run.wallSeconds;
        remote.cpuSeconds += run.cpuSeconds;
        localCpu += writeChips(file, 1, false, state).cpuSeconds;
    }
    const double runs = double(state.iterations());
    state.counters["paced_s"] = pacedSeconds();
    state.counters["wall_s"] = remote.wallSeconds / runs;
    state.counters["wall_over_paced"] = remote.wallSeconds / runs / pacedSeconds();
    state.counters["cpu_remote_s"] = remote.cpuSeconds / runs;
    state.counters["cpu_local_s"] = localCpu / runs;
    state.SetLabel("tavrek-cli write over rfc2217:// through ser2net, 512 rows + 7 configuration words at 115200 baud");
}
BENCHMARK(RemoteOneChipPaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void RemoteFourChipsPaced(benchmark::State& state)
{
    test::TempDir dir;
    const std::string file = dir.write("whole-chip.hex", wholeChipHex());
    double oneChip = 0;
    double fourChips = 0;
    double cpu = 0;
    for (auto _ : state) {
        oneChip += writeChips(file, 1, true, state).wallSeconds;
        const Written four = writeChips(file, 4, true, state);
        fourChips += four.wallSeconds;
        cpu += four.cpuSeconds;
    }
    const double runs = double(state.iterations());
    state.counters["one_chip_s"] = oneChip / runs;
    state.counters["four_chips_s"] = fourChips / runs;
    state.counters["four_over_one"] = fourChips / oneChip;
    state.counters["cpu_s"] = cpu / runs;
    state.SetLabel("tavrek-cli write --port rfc2217://... x4 through one ser2net into four paced simulators");
}
BENCHMARK(RemoteFourChipsPaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
} // namespace tavrek::bench

BENCHMARK_MAIN();
