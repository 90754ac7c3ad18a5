// The write command: the same loaded images into every port named, one
// thread per port, each with its own port control and its own copy of the
// module state, so that one port's failure neither stops nor slows another.
// With --watch, again whenever the file has changed.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/exit_status.h"
#include "cli/hints.h"
#include "cli/report.h"
#include "cli/tracing_port.h"
#include "diagnostics.h"
#include "platform/file_watch.h"
#include "platform/port_factory.h"
#include "platform/steady_clock.h"
#include "platform/terminal.h"
#include "platform/text_file_reader.h"
#include "support/programming.h"

namespace tavrek::cli {

namespace {

using Moment = std::chrono::steady_clock::time_point;
using SystemClock = std::chrono::system_clock;

// A file that has stayed the same this long is taken as written whole: a
// compiler or linker writes its output in one go.
constexpr int kSettleMs = 300;

// One port's run and how it ended.
struct PortRun {
    PortTarget target;
    std::string prefix;  // before each of its lines; empty with one port
    std::size_t bar = 0;
    int status = kExitWritten;
    std::string outcome;  // for the summary line
    ChipRecord record;
};

double secondsSince(Moment since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string seconds(Moment since)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", secondsSince(since));
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

// Rows go out before the configuration words: of the packets a chip took,
// the first ones are rows.
void countTaken(ChipRecord& record, const SupportState& images, const RunFacts& facts)
{
    const auto rows =
        static_cast<std::size_t>(std::count(images.rowDirty.begin(), images.rowDirty.begin() + kRows, true));
    record.rows = std::min(facts.packetsAcknowledged, rows);
    record.configWords = facts.packetsAcknowledged - record.rows;
    record.resends = facts.resends;
}

void writeOnePort(PortRun& run, const SupportState& images, const WriteOptions& options, Console& console,
                  Moment start)
{
    TargetPort traced(run.target, options.trace, console, run.prefix, start);
    PortControl& port = *traced;
    port.setSettings(lineSettings(options.baud));
    ConsoleWindow window(console, run.prefix, &port, run.target.number - kFirstPort, run.target.device);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    support.state() = images;
    support.setPacketProgress([&](std::size_t done, std::size_t total) { console.progress(run.bar, done, total); });

    const Moment runStart = std::chrono::steady_clock::now();
    run.record.started = SystemClock::now();
    const bool written = support.programPic() == kTrue;
    run.record.ended = SystemClock::now();
    run.record.seconds = secondsSince(runStart);
    console.endBar(run.bar);
    countTaken(run.record, images, support.lastRun());
    if (written) {
        window.putInfo("Write Successful!");
        run.outcome = "written, " + std::to_string(support.lastRun().packetsTotal) + " packets in " + seconds(runStart);
        run.record.result = "ok";
        run.record.message = window.lastLine();
        return;
    }
    if (window.messageBoxText()) {
        // Ctrl+C reaches the run as a failure of its port, which it was not.
        const std::string why = interruptRequested() ? "Write interrupted (Ctrl+C) on " + run.target.device
                                                     : *window.messageBoxText() + " " + support.failureCause();
        run.status = kExitPortFailed;
        run.outcome = "not written: " + why;
        run.record.result = "port";
        run.record.message = why;
        console.errorLine(run.prefix, why);
        if (const std::string partly = partlyWritten(support.lastRun()); !partly.empty())
            console.errorLine(run.prefix, partly);
        return;
    }
    run.status = kExitChipRefused;
    run.outcome = "not written: " + window.lastLine();
    run.record.result = resultOfLogLine(window.lastLine());
    run.record.message = window.lastLine();
    if (const std::string hint = hintFor(window.lastLine(), support.lastRun()); !hint.empty())
        console.errorLine(run.prefix, hint);
}

std::string summaryName(const PortTarget& target)
{
    if (target.device.empty() || target.device == target.name)
        return target.name;
    return target.name + " (" + target.device + ")";
}

std::string names(const std::vector<PortTarget>& targets)
{
    std::string text;
    for (std::size_t i = 0; i < targets.size(); ++i)
        text += (i == 0 ? "" : i + 1 == targets.size() ? " and " : ", ") + summaryName(targets[i]);
    return text;
}

// "14:03:07 ", the time of day a watched write ended.
std::string timeOfDay()
{
    return isoLocalTime(SystemClock::now()).substr(11, 8) + " ";
}

// One write of the file into every port named, and with --watch the writes
// that follow each change of the file.
class WriteSession {
public:
    WriteSession(const WriteOptions& options, SerialPortLister& lister)
        : options_(options), lister_(lister), start_(std::chrono::steady_clock::now()),
          wholePath_(absolutePath(options.file))
    {
        // Before any port is touched: a file that cannot take the records
        // is a bad command line.
        if (!options.report.empty())
            report_.emplace(options.report);
        const bool autoNamed = std::find(options.ports.begin(), options.ports.end(), kAutoPort) != options.ports.end();
        if (autoNamed && options.ports.size() > 1)
            throw UsageError("--port auto finds the one port where a chip answers; it cannot go with other --port");
        if (!autoNamed)
            targets_ = resolvePorts(options.ports, lister);
        present_ = lister.availablePorts();
        console_.emplace(options.quiet, !options.quiet && errorTerminalTakesBars());
    }

    // The worst status of the chips, or kExitNotRecorded once a record of
    // this session could not be written: a production line that relies on
    // the report must know.
    int writeOnce();
    int watch();

private:
    int writeChips();
    bool findAnsweringPort();
    void runChips(const SupportState& images, std::vector<PortRun>& runs);
    void noteSlowAdapters();
    void record(const std::vector<PortRun>& runs);
    void recordEveryPort(const std::string& result, const std::string& message, int status);
    const SerialPortInfo* listed(const std::string& device) const;
    bool waitForSettledChange(FileWatch& watch);

    const WriteOptions& options_;
    SerialPortLister& lister_;
    const Moment start_;
    // Made whole at the start: every load makes the program's folder current.
    const std::string wholePath_;
    std::optional<Report> report_;
    std::string sha256_;               // of the bytes the last write checked and loaded
    std::vector<PortTarget> targets_;  // with --port auto, empty until a chip has answered
    std::vector<SerialPortInfo> present_;
    std::optional<Console> console_;
    std::set<std::string> noted_;      // devices whose slow adapter has been told of
    std::atomic<bool> recordLost_ = false;  // set by the chips' threads
};

int WriteSession::writeOnce()
{
    const int status = writeChips();
    return recordLost_ ? kExitNotRecorded : status;
}

int WriteSession::writeChips()
{
    const LoadedFile loaded = loadFile(options_.file, wholePath_, *console_);
    if (report_)
        sha256_ = loaded.bytes ? sha256(*loaded.bytes) : "";
    if (!loaded.images) {
        recordEveryPort("file", loaded.refusal, kExitFileFailed);
        return kExitFileFailed;
    }
    if (targets_.empty() && !findAnsweringPort())
        return kExitPortFailed;
    noteSlowAdapters();
    const bool several = targets_.size() > 1;
    std::vector<PortRun> runs;
    for (const PortTarget& target : targets_) {
        PortRun run;
        run.target = target;
        run.prefix = several ? target.name : "";
        run.bar = console_->addBar(run.prefix);
        runs.push_back(run);
    }
    runChips(*loaded.images, runs);
    int status = kExitWritten;
    for (const PortRun& run : runs)
        status = std::max(status, run.status);
    if (several || options_.watch) {
        console_->removeBars();
        for (const PortRun& run : runs)
            console_->logLine("", (options_.watch ? timeOfDay() : "") + summaryName(run.target) + ": " + run.outcome);
    }
    return status;
}

void WriteSession::runChips(const SupportState& images, std::vector<PortRun>& runs)
{
    std::vector<std::function<void()>> jobs;
    for (PortRun& run : runs)
        jobs.emplace_back([this, &run, &images] {
            writeOnePort(run, images, options_, *console_, start_);
            if (report_) {
                run.record.exitStatus = run.status;
                record({run});
            }
        });
    runSideBySide(jobs);
}

// Each run's record goes in as its chip ends, whatever the others do.
void WriteSession::record(const std::vector<PortRun>& runs)
{
    if (!report_)
        return;
    for (const PortRun& run : runs) {
        ChipRecord line = run.record;
        line.port = run.target.name;
        line.device = run.target.device;
        if (const SerialPortInfo* info = listed(run.target.device))
            line.adapter = adapterName(info->description, info->manufacturer);
        line.file = wholePath_;
        line.sha256 = sha256_;
        try {
            report_->add(line);
        } catch (const std::exception& failure) {
            recordLost_ = true;
            console_->errorLine(run.prefix, std::string("--report ") + failure.what());
        }
    }
}

// A write that ended before any chip was touched: one record per port.
void WriteSession::recordEveryPort(const std::string& result, const std::string& message, int status)
{
    std::vector<PortRun> runs;
    const std::vector<PortTarget> targets = targets_.empty() ? std::vector<PortTarget>{{kAutoPort, "", kFirstPort}}
                                                             : targets_;
    for (const PortTarget& target : targets) {
        PortRun run;
        run.target = target;
        run.record.started = run.record.ended = SystemClock::now();
        run.record.result = result;
        run.record.message = message;
        run.record.exitStatus = status;
        runs.push_back(run);
    }
    record(runs);
}

// Every port is tried at once, so that the ports with no chip cost one
// reply's time-out in all.
bool WriteSession::findAnsweringPort()
{
    const std::vector<PortTarget> candidates = autoPortCandidates(lister_);
    std::vector<char> answered(candidates.size(), false);
    std::vector<std::function<void()>> probes;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        probes.emplace_back([&, i] {
            const auto port = makePortControl([&device = candidates[i].device](int) { return device; });
            SteadyClock clock;
            try {
                port->setSettings(lineSettings(options_.baud));
                answered[i] = bootloaderAnswers(*port, clock);
            } catch (const std::exception&) {
                // A port that cannot be opened has no chip of ours behind it.
            }
        });
    runSideBySide(probes);
    std::vector<PortTarget> answering;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (answered[i])
            answering.push_back(candidates[i]);
    if (answering.size() > 1)
        throw UsageError("a chip answers on " + names(answering) + ": pick one with --port");
    if (answering.empty()) {
        const std::string why = "no chip answered on " + (candidates.empty() ? "any port: none is present"
                                                                              : names(candidates));
        console_->errorLine("", why);
        console_->errorLine("", std::string(adviceFor("no chip answered on PORTS")));
        recordEveryPort("port", why, kExitPortFailed);
        return false;
    }
    targets_ = answering;
    console_->logLine("", summaryName(answering.front()) + ": the chip answers here");
    return true;
}

// Told once a session, on standard error: where the port's adapter holds
// every reply, a write takes up to twice as long.
void WriteSession::noteSlowAdapters()
{
    for (const PortTarget& target : targets_) {
        const SerialPortInfo* info = listed(target.device);
        if (info == nullptr || !noted_.insert(target.device).second)
            continue;
        if (const std::string note = latencyTimerNote(info->latencyTimerMs); !note.empty())
            console_->errorLine("", summaryName(target) + ": " + note);
    }
}

const SerialPortInfo* WriteSession::listed(const std::string& device) const
{
    if (device.empty())
        return nullptr;
    const auto found = std::find_if(present_.begin(), present_.end(),
                                    [&device](const SerialPortInfo& info) { return sameDevice(info.device, device); });
    return found == present_.end() ? nullptr : &*found;
}

// False on Ctrl+C.
bool WriteSession::waitForSettledChange(FileWatch& watch)
{
    if (watch.wait(std::nullopt) == WatchEvent::Interrupted)
        return false;
    for (;;) {
        const WatchEvent event = watch.wait(kSettleMs);
        if (event == WatchEvent::Interrupted)
            return false;
        if (event == WatchEvent::Quiet)
            return true;
    }
}

int WriteSession::watch()
{
    const std::unique_ptr<FileWatch> watch = watchFile(wholePath_);
    int status = writeOnce();
    while (!interruptRequested()) {
        console_->logLine("", "waiting for " + options_.file + " to change (Ctrl+C ends)");
        if (!waitForSettledChange(*watch))
            break;
        while (!soundHexFile(wholePath_)) {
            console_->logLine("", "waiting for a whole file");
            if (!waitForSettledChange(*watch))
                return status;
        }
        status = writeOnce();
    }
    return status;
}

} // namespace

std::string lineSettings(int baud)
{
    return std::to_string(baud) + ",n,8,1";
}

int writeCommand(const WriteOptions& options, SerialPortLister& lister)
{
    WriteSession session(options, lister);
    catchInterrupt();
    return options.watch ? session.watch() : session.writeOnce();
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
