#pragma once

// The window's own path writing a whole 48 KB chip (512 rows and 7
// configuration words): the form and its view, the platform's line and the
// steady clock, against `tavrek-sim --line-pacing` behind COM1. For each of
// three Writes it prints the wall time over what the line at 115200 baud, the
// flash writes and the 100 ms reset hold account for (target: at most 1.03 on
// Linux, 1.06 under Wine), and the CPU seconds the program spent on the Write
// (target: < 0.5 s). Each platform's benchmark (bench/linux/, bench/windows/)
// gives its window, its chip behind COM1 and its count of CPU time.

#include <chrono>
#include <cstdio>

#include "whole_chip.h"

namespace tavrek::bench {

inline constexpr int kWrites = 3;

template <typename Window>
int writeWholeChips(const char* windowName, Window& window, double (*processCpuSeconds)())
{
    test::TempDir dir;
    window.form().support().state().hexFileName = dir.write("whole-chip.hex", wholeChipHex());
    std::printf("%s, %d Writes of 512 rows + 7 configuration words into a paced simulator (%.2f s of line)\n",
                windowName, kWrites, pacedSeconds());
    for (int i = 0; i < kWrites; ++i) {
        const std::size_t logBefore = window.form().logText().size();
        const double cpuBefore = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        window.form().cmdWrite_Click();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = processCpuSeconds() - cpuBefore;
        if (!window.form().logText().ends_with("Write Successful!\r\n") ||
            window.form().logText().size() == logBefore) {
            std::printf("the Write failed:\n%s", window.form().logText().c_str());
            return 1;
        }
        std::printf("wall %.3f s  wall_over_paced %.3f  cpu %.3f s\n", wall, wall / pacedSeconds(), cpu);
    }
    return 0;
}

} // namespace tavrek::bench
