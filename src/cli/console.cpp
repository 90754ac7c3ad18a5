#include "cli/console.h"

#include <algorithm>
#include <cstdio>

#include "platform/terminal.h"

namespace tavrek::cli {

namespace {

constexpr std::size_t kBarWidth = 30;                            // characters between the brackets
constexpr std::size_t kMostBarsShown = 8;  // more ports share one bar: a redraw stays one line and on the screen
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);  // bars are drawn at most this often
constexpr const char* kClearLine = "\x1b[2K";
constexpr const char* kClearBelow = "\x1b[J";

} // namespace

std::string prefixed(const std::string& prefix, const std::string& text)
{
    return prefix.empty() ? text : prefix + ": " + text;
}

Console::Console(bool quiet, bool bars)
    : quiet_(quiet), barsWanted_(bars)
{
    if (const std::size_t columns = errorTerminalColumns(); columns > 0)
        columns_ = columns;
}

void Console::write(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void Console::logLine(const std::string& prefix, const std::string& line)
{
    if (quiet_)
        return;
    const std::lock_guard lock(mutex_);
    eraseBars();
    write(stdout, prefixed(prefix, line) + "\n");
    drawBars();
}

void Console::errorLine(const std::string& prefix, const std::string& line)
{
    const std::lock_guard lock(mutex_);
    eraseBars();
    write(stderr, prefixed(prefix, line) + "\n");
    drawBars();
}

void Console::traceLine(const std::string& line)
{
    errorLine("", line);
}

std::size_t Console::addBar(const std::string& label)
{
    const std::lock_guard lock(mutex_);
    Bar bar;
    bar.label = label;
    bars_.push_back(bar);
    return bars_.size() - 1;
}

void Console::progress(std::size_t bar, std::size_t done, std::size_t total)
{
    if (!barsWanted_)
        return;
    const std::lock_guard lock(mutex_);
    Bar& shown = bars_.at(bar);
    if (!shown.started) {
        shown.started = true;
        shown.start = std::chrono::steady_clock::now();
    }
    shown.done = done;
    shown.total = total;
    if (done == total)
        stop(shown);
    const auto now = std::chrono::steady_clock::now();
    if (done != 0 && done != total && now - lastDraw_ < kRedrawInterval)
        return;
    lastDraw_ = now;
    eraseBars();
    drawBars();
}

void Console::endBar(std::size_t bar)
{
    const std::lock_guard lock(mutex_);
    stop(bars_.at(bar));
}

void Console::removeBars()
{
    const std::lock_guard lock(mutex_);
    eraseBars();
    bars_.clear();
}

void Console::stop(Bar& bar)
{
    if (bar.ended)
        return;
    bar.ended = true;
    bar.end = std::chrono::steady_clock::now();
}

// The cursor stands at the start of the line below the bars.
void Console::eraseBars()
{
    if (linesDrawn_ == 0)
        return;
    write(stderr, "\x1b[" + std::to_string(linesDrawn_) + "A" + kClearBelow);
    linesDrawn_ = 0;
}

void Console::drawBars()
{
    std::vector<const Bar*> started;
    for (const Bar& bar : bars_)
        if (bar.started)
            started.push_back(&bar);
    const Bar all = started.size() > kMostBarsShown ? together(started) : Bar{};
    if (all.started)
        started = {&all};
    std::string text;
    for (const Bar* bar : started)
        text += kClearLine + barText(*bar).substr(0, columns_ - 1) + "\n";
    linesDrawn_ += started.size();
    if (!text.empty())
        write(stderr, text);
}

// One bar for the packets of every port, from the first start to the last end.
Console::Bar Console::together(const std::vector<const Bar*>& bars) const
{
    Bar all;
    all.label = std::to_string(bars_.size()) + " ports";
    all.started = true;
    all.ended = true;
    all.start = bars.front()->start;
    for (const Bar* bar : bars) {
        all.done += bar->done;
        all.total += bar->total;
        all.ended = all.ended && bar->ended;
        all.start = std::min(all.start, bar->start);
        all.end = std::max(all.end, bar->end);
    }
    return all;
}

// "COM1 [=========>          ]  245/520  47%  3.4 s, 3.8 s left"
std::string Console::barText(const Bar& bar) const
{
    const double fraction = bar.total == 0 ? 1.0 : double(bar.done) / double(bar.total);
    const auto filled = static_cast<std::size_t>(fraction * kBarWidth);
    std::string drawn(filled, '=');
    if (filled < kBarWidth)
        drawn += '>' + std::string(kBarWidth - filled - 1, ' ');
    const auto until = bar.ended ? bar.end : std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(until - bar.start).count();
    char figures[96];
    if (bar.done == 0 && bar.total != 0)
        std::snprintf(figures, sizeof figures, "%4zu/%zu %3.0f%% %6.1f s", bar.done, bar.total, fraction * 100, elapsed);
    else
        std::snprintf(figures, sizeof figures, "%4zu/%zu %3.0f%% %6.1f s, %.1f s left", bar.done, bar.total,
                      fraction * 100, elapsed, elapsed / fraction - elapsed);
    return prefixed(bar.label, "[" + drawn + "] " + figures);
}

} // namespace tavrek::cli
