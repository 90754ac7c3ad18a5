// The write command: the same loaded images into every port named, one
// thread per port, each with its own port control and its own copy of the
// module state, so that one port's failure neither stops nor slows another.

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/exit_status.h"
#include "cli/hints.h"
#include "cli/tracing_port.h"
#include "platform/port_factory.h"
#include "platform/steady_clock.h"
#include "platform/terminal.h"
#include "platform/text_file_reader.h"
#include "support/programming.h"

namespace tavrek::cli {

namespace {

using Moment = std::chrono::steady_clock::time_point;

// One port's run and how it ended.
struct PortRun {
    PortTarget target;
    std::string prefix;  // before each of its lines; empty with one port
    std::size_t bar = 0;
    int status = kExitWritten;
    std::string outcome;  // for the summary line
};

std::string seconds(Moment since)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
    return text;
}

// The port control of one target, tracing to the console what crosses it
// when asked to.
class TargetPort {
public:
    TargetPort(const PortTarget& target, bool trace, Console& console, const std::string& prefix, Moment start)
        : serial_(makePortControl([device = target.device](int) { return device; }))
    {
        if (trace)
            tracing_.emplace(*serial_, console, prefix, target.device, start);
    }
    PortControl& operator*() { return tracing_ ? static_cast<PortControl&>(*tracing_) : *serial_; }

private:
    std::unique_ptr<PortControl> serial_;
    std::optional<TracingPort> tracing_;
};

void writeOnePort(PortRun& run, const SupportState& images, const WriteOptions& options, Console& console,
                  Moment start)
{
    TargetPort traced(run.target, options.trace, console, run.prefix, start);
    PortControl& port = *traced;
    port.setSettings(lineSettings(options.baud));
    ConsoleWindow window(console, run.prefix, &port, run.target.number - kFirstPort);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    support.state() = images;
    support.setPacketProgress([&](std::size_t done, std::size_t total) { console.progress(run.bar, done, total); });

    const Moment runStart = std::chrono::steady_clock::now();
    const bool written = support.programPic() == kTrue;
    console.endBar(run.bar);
    if (written) {
        window.putInfo("Write Successful!");
        run.outcome = "written, " + std::to_string(support.lastRun().packetsTotal) + " packets in " + seconds(runStart);
        return;
    }
    if (window.messageBoxText()) {
        const std::string why = *window.messageBoxText() + " " + support.failureCause();
        run.status = kExitPortFailed;
        run.outcome = "not written: " + why;
        console.errorLine(run.prefix, why);
        if (const std::string partly = partlyWritten(support.lastRun()); !partly.empty())
            console.errorLine(run.prefix, partly);
        return;
    }
    run.status = kExitChipRefused;
    run.outcome = "not written: " + window.lastLine();
    console.errorUnlessLogged(run.prefix, window.lastLine());
    if (const std::string hint = hintFor(window.lastLine(), support.lastRun()); !hint.empty())
        console.errorLine(run.prefix, hint);
}

std::string summaryName(const PortTarget& target)
{
    if (target.device.empty() || target.device == target.name)
        return target.name;
    return target.name + " (" + target.device + ")";
}

} // namespace

std::string lineSettings(int baud)
{
    return std::to_string(baud) + ",n,8,1";
}

int writeCommand(const WriteOptions& options, SerialPortLister& lister)
{
    const Moment start = std::chrono::steady_clock::now();
    const std::vector<PortTarget> targets = resolvePorts(options.ports, lister);
    Console console(options.quiet, !options.quiet && errorTerminalTakesBars());
    const std::optional<SupportState> images = loadFile(options.file, console);
    if (!images)
        return kExitFileFailed;

    const bool several = targets.size() > 1;
    std::vector<PortRun> runs;
    for (const PortTarget& target : targets) {
        PortRun run;
        run.target = target;
        run.prefix = several ? target.name : "";
        run.bar = console.addBar(run.prefix);
        runs.push_back(run);
    }
    std::vector<std::function<void()>> jobs;
    for (PortRun& run : runs)
        jobs.emplace_back([&run, &images, &options, &console, start] { writeOnePort(run, *images, options, console, start); });
    runSideBySide(jobs);
    int status = kExitWritten;
    for (const PortRun& run : runs)
        status = std::max(status, run.status);
    if (several) {
        console.removeBars();
        for (const PortRun& run : runs)
            console.logLine("", summaryName(run.target) + ": " + run.outcome);
    }
    return status;
}

int resetCommand(const ResetOptions& options, SerialPortLister& lister)
{
    const PortTarget target = resolvePorts({options.port}, lister).front();
    Console console(options.quiet, false);
    int status = kExitWritten;
    runSideBySide({[&] {
        TargetPort traced(target, options.trace, console, "", std::chrono::steady_clock::now());
        PortControl& port = *traced;
        SteadyClock clock;
        try {
            port.setCommPort(target.number);
            pulseResetLine(port, clock);
            console.logLine("", summaryName(target) + ": reset");
        } catch (const std::exception& failure) {
            console.errorLine("", std::string("Error opening port... ") + failure.what());
            status = kExitPortFailed;
        }
    }});
    return status;
}

} // namespace tavrek::cli
