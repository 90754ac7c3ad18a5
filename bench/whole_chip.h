#pragma once

// A whole 48 KB chip (512 rows and 7 configuration words) as a HEX file, the
// time its write takes whatever the host does, and (for the benchmarks of
// tavrek-cli) tavrek-cli writing it.

#include <chrono>
#include <string>
#include <vector>

#include "sim_fixture.h"
#ifdef TAVREK_CLI_PROGRAM
#include <benchmark/benchmark.h>

#include "serial_fixture.h"
#endif

namespace tavrek::bench {

inline constexpr std::size_t kChipRows = 512;       // the dsPIC30F4011's 48 KB of flash
inline constexpr double kResetHoldSeconds = 0.100;  // DTR held before the start byte
inline constexpr double kSecondsPerByte = double(sim::Bootloader::kBitsPerByte) / sim::Bootloader::kLineBaud;

// Every row of the chip and every configuration word, in 16-byte records.
inline std::string wholeChipHex()
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
inline double pacedSeconds()
{
    const double sentBytes = 1 + kChipRows * (4 + kRowBytes + 1) + kCfgWords * (4 + kCfgWordBytes + 1);
    const double replyBytes = 2 + kChipRows + kCfgWords;
    return kResetHoldSeconds + (sentBytes + replyBytes) * kSecondsPerByte +
           kChipRows * sim::Bootloader::kRowWriteUs / 1e6 + kCfgWords * sim::Bootloader::kConfigWriteUs / 1e6;
}

#ifdef TAVREK_CLI_PROGRAM
struct Written {
    double wallSeconds;
    double cpuSeconds;
};

// One write of `file` by `cli` (tavrek-cli, or tavrek-cli.exe under Wine) into
// every port of `ports` at once.
inline Written writeWithCli(const test::CliUnderTest& cli, const std::string& file,
                            const std::vector<std::string>& ports, benchmark::State& state)
{
    std::vector<std::string> args = {"write", file, "--quiet"};
    for (const std::string& port : ports)
        args.insert(args.end(), {"--port", port});
    const auto start = std::chrono::steady_clock::now();
    const test::ProgramRun run = cli.run(args);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (run.status != 0)
        state.SkipWithError(("tavrek-cli failed: " + run.err).c_str());
    return {wall, run.cpuSeconds};
}

#endif

} // namespace tavrek::bench
