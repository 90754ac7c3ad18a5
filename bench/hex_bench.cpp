// Check and load of a HEX file that fills the whole program image.

#include <benchmark/benchmark.h>

#include <random>

#include "sim_fixture.h"

namespace {

using namespace tavrek;

// 200000 bytes of program memory in 16-byte records, as a tool chain writes
// a full image, with its extended linear address records.
std::string fullImageHex()
{
    std::mt19937 random(7);
    std::string hex;
    constexpr std::size_t kRecordBytes = 16;
    for (std::size_t address = 0; address < kProgBytes; address += kRecordBytes) {
        if (address % 65536 == 0)
            hex += test::segmentRecord(static_cast<std::uint16_t>(address >> 16));
        std::vector<std::uint8_t> data(kRecordBytes);
        for (std::size_t i = 0; i < kRecordBytes; ++i)
            data[i] = i % 4 == 3 ? 0 : static_cast<std::uint8_t>(random());
        hex += test::dataRecord(static_cast<std::uint16_t>(address), data);
    }
    return hex + test::kEndRecord;
}

void CheckAndLoadFullImage(benchmark::State& state)
{
    test::SimHarness h;
    const std::string content = fullImageHex();
    h.state().hexFileName = h.dir.write("full.hex", content);
    for (auto _ : state) {
        const std::int16_t status = h.support->loadHex();
        if (status != kHexLoaded)
            state.SkipWithError("the full image did not load");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
    state.counters["file_bytes"] = static_cast<double>(content.size());
}
BENCHMARK(CheckAndLoadFullImage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
