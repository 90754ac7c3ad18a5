#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tavrek::cli {

// tavrek-cli's terminal: the log on standard output; errors, traces and the
// progress bars on standard error. Every front end thread writes through
// one Console, so that lines never mix. While bars are shown they stay at
// the bottom: a line is written above them and they are drawn again. Beyond
// a few ports one bar shows them all, so that drawing it costs the same
// whatever the count.
class Console {
public:
    // Bars are drawn only when `bars` is true (standard error is a terminal
    // and --quiet was not given); `quiet` holds back the log.
    Console(bool quiet, bool bars);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One log line, prefixed by its port when several ports run.
    void logLine(const std::string& prefix, const std::string& line);
    // One line on standard error, whatever --quiet says.
    void errorLine(const std::string& prefix, const std::string& line);
    // Trace lines on standard error.
    void traceLine(const std::string& line);

    // A progress bar for `label`; returns its number for progress().
    std::size_t addBar(const std::string& label);
    // `done` of `total` packets acknowledged on bar `bar`.
    void progress(std::size_t bar, std::size_t done, std::size_t total);
    // The run of bar `bar` has ended: its clock stops.
    void endBar(std::size_t bar);
    // Erases the bars and forgets them, so that what follows is not printed
    // under them; the bars added next (--watch's next write) are drawn anew.
    void removeBars();

private:
    struct Bar {
        std::string label;
        std::size_t done = 0;
        std::size_t total = 0;
        bool started = false;
        bool ended = false;
        std::chrono::steady_clock::time_point start;
        std::chrono::steady_clock::time_point end;
    };

    void write(std::FILE* stream, const std::string& text);
    void stop(Bar& bar);
    void eraseBars();
    void drawBars();
    Bar together(const std::vector<const Bar*>& bars) const;
    std::string barText(const Bar& bar) const;

    const bool quiet_;
    const bool barsWanted_;
    std::size_t columns_ = 80;     // of the terminal: a longer bar would wrap and not be erased
    std::mutex mutex_;
    std::vector<Bar> bars_;
    std::size_t linesDrawn_ = 0;  // bar lines on the terminal below the last line written
    std::chrono::steady_clock::time_point lastDraw_;
};

// "COM1: text", or the text alone where there is no prefix.
std::string prefixed(const std::string& prefix, const std::string& text);

} // namespace tavrek::cli
