#pragma once

// The real serial path for the tests and benchmarks: a Qt application object,
// port mappings, programs run to their end, tavrek-sim on a pseudo-terminal,
// and Tavrek's own port, files and clock against it. Nothing here touches a
// real serial port.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/port_factory.h"
#include "platform/serial_port_control.h"
#include "platform/steady_clock.h"
#include "sim_fixture.h"

namespace tavrek::test {

// QSerialPort's notifiers want an application object on the thread: the
// program's own where one exists, else one made here for the process's life.
inline QCoreApplication& qtApplication()
{
    if (QCoreApplication* existing = QCoreApplication::instance())
        return *existing;
    static int argc = 1;
    static char name[] = "tavrek-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

// Sets an environment variable for as long as it lives.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value) : name_(std::move(name))
    {
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedVariable() { ::unsetenv(name_.c_str()); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
};

// Points COMn at a device for as long as it lives.
struct PortMapping : ScopedVariable {
    PortMapping(int number, const std::string& device)
        : ScopedVariable("TAVREK_COM" + std::to_string(number), device)
    {
    }
};

// The serial ports the machine has, as the test sets them.
struct ListedPorts : SerialPortLister {
    std::vector<SerialPortInfo> ports;
    std::vector<SerialPortInfo> availablePorts() override { return ports; }
};

inline std::int64_t elapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// A program run to its end: its exit status and what it wrote.
struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    double cpuSeconds = 0;  // user and system time of the program
};

inline std::string readAll(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    std::fclose(file);
    return text;
}

// Where a program's standard output and error go: files the test reads, or
// nowhere, as a pipe whose reader has ended or as descriptors closed outright.
enum class Outputs { Files, BrokenPipe, Closed };

// A program running beside the test, its output read as it comes, until it
// is waited for.
class RunningProgram {
public:
    // Run in `folder` (the test's own when empty).
    explicit RunningProgram(const std::vector<std::string>& command, const std::string& folder = {},
                            Outputs outputs = Outputs::Files)
        : out_(std::tmpfile()), err_(std::tmpfile())
    {
        std::vector<char*> argv;
        for (const std::string& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            int pipeEnds[2] = {-1, -1};
            if (outputs == Outputs::BrokenPipe && ::pipe(pipeEnds) == 0)
                ::close(pipeEnds[0]);
            if (outputs == Outputs::Closed) {
                ::close(STDOUT_FILENO);
                ::close(STDERR_FILENO);
            } else {
                ::dup2(outputs == Outputs::Files ? ::fileno(out_) : pipeEnds[1], STDOUT_FILENO);
                ::dup2(outputs == Outputs::Files ? ::fileno(err_) : pipeEnds[1], STDERR_FILENO);
            }
            std::signal(SIGPIPE, SIG_DFL);  // as a shell starts it
            if (!folder.empty() && ::chdir(folder.c_str()) != 0)
                ::_exit(127);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~RunningProgram()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            finish();
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Standard output so far.
    std::string out() const
    {
        std::string text;
        char chunk[4096];
        for (std::size_t n, at = 0; (n = ::pread(::fileno(out_), chunk, sizeof chunk, static_cast<off_t>(at))) > 0;
             at += n)
            text.append(chunk, n);
        std::erase(text, '\r');
        return text;
    }
    // Waits up to `seconds` for `done` to hold; false when it never did.
    static bool waitFor(const std::function<bool()>& done, int seconds = 20)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            ::usleep(10000);
        }
        return true;
    }
    // Waits until standard output holds `text` `times` times.
    bool waitForOutput(const std::string& text, int times = 1) const
    {
        return waitFor([&] {
            const std::string now = out();
            int found = 0;
            for (std::size_t at = now.find(text); at != std::string::npos; at = now.find(text, at + 1))
                ++found;
            return found >= times;
        });
    }
    void signal(int number) const { ::kill(pid_, number); }
    // Waits for its end; Windows' line ends read as "\n".
    ProgramRun finish()
    {
        int status = 0;
        rusage usage{};
        ::wait4(std::exchange(pid_, -1), &status, 0, &usage);
        const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out(), readAll(err_),
                       seconds(usage.ru_utime) + seconds(usage.ru_stime)};
        std::erase(run.err, '\r');
        std::fclose(out_);
        return run;
    }

private:
    pid_t pid_ = -1;
    std::FILE* out_;
    std::FILE* err_;
};

#ifdef TAVREK_SIM_PROGRAM
// build/tavrek-sim as a child process, serving a pseudo-terminal of its own.
// It dies with the test process, so that a failed test leaves nothing behind.
// Given the folder of a Wine prefix's port links (com11, com12, ...), it
// takes a free one and is reached as that COM port.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& simOptions, const std::string& comLinks = {})
    {
        std::vector<std::string> options = simOptions;
        if (!comLinks.empty()) {
            comNumber_ = freeComNumber(comLinks);
            name_ = "COM" + std::to_string(comNumber_);
            options.insert(options.end(), {"--link", comLinks + "/com" + std::to_string(comNumber_)});
        }
        std::vector<char*> argv{const_cast<char*>(TAVREK_SIM_PROGRAM)};
        for (const std::string& option : options)
            argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("no pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(TAVREK_SIM_PROGRAM, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = ::fdopen(out[0], "r");
        // It prints its device, then the line that maps a port to it.
        char lines[2][256];
        if (std::fgets(lines[0], 256, output_) == nullptr || std::fgets(lines[1], 256, output_) == nullptr)
            throw std::runtime_error("tavrek-sim printed no device and mapping line");
        device_.assign(lines[0], std::strcspn(lines[0], "\n"));
        mapping_.assign(lines[1], std::strcspn(lines[1], "\n"));
        if (name_.empty())
            name_ = device_;
    }
    ~SimProcess()
    {
        stop();
        std::fclose(output_);
        comsInUse_.erase(comNumber_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& device() const { return device_; }
    // How the program under test names it: its terminal, or its COM port.
    const std::string& name() const { return name_; }
    const std::string& mappingLine() const { return mapping_; }

    // Ends the simulator as an operator would (it saves on the way out) and
    // returns its exit status; -1 when it was already reaped.
    int stop()
    {
        if (pid_ <= 0)
            return -1;
        freeze(false);
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Halts the simulator where it is (returning once it has halted), or lets
    // it go on. Only a halted one is sent SIGCONT: that signal would also drop
    // the SIGSTOP of a leak checker's stop-the-world as the simulator exits.
    void freeze(bool frozen)
    {
        if (frozen == frozen_)
            return;
        frozen_ = frozen;
        ::kill(pid_, frozen ? SIGSTOP : SIGCONT);
        int status = 0;
        if (frozen)
            ::waitpid(pid_, &status, WUNTRACED);
    }

private:
    // The lowest of the prefix's COM ports that no simulator here serves.
    static int freeComNumber(const std::string& comLinks)
    {
        constexpr int kFirstPrefixCom = 11;  // tests/windows.cmake makes COM11 and up
        const auto link = [&comLinks](int number) { return comLinks + "/com" + std::to_string(number); };
        for (int number = kFirstPrefixCom; std::filesystem::is_symlink(link(number)); ++number)
            if (comsInUse_.insert(number).second)
                return number;
        throw std::runtime_error("every COM port of " + comLinks + " is in use");
    }

    inline static std::set<int> comsInUse_;
    pid_t pid_ = -1;
    int comNumber_ = 0;  // 0: not reached as a COM port
    std::string name_;
    bool frozen_ = false;
    std::FILE* output_ = nullptr;
    std::string device_;
    std::string mapping_;
};

#ifdef TAVREK_CLI_PROGRAM
// The tavrek-cli under test: build/tavrek-cli, or tavrek-cli.exe under Wine
// when TAVREK_WINDOWS_BUILD names the Windows build (its ctest sets it), with
// the simulators reached as COM ports of that build's Wine prefix.
struct CliUnderTest {
    CliUnderTest()
    {
        if (const char* windows = std::getenv("TAVREK_WINDOWS_BUILD")) {
            command = {std::string(windows) + "/wine", std::string(windows) + "/tavrek-cli.exe"};
            comLinks = std::string(windows) + "/com-ports";
        }
    }

    bool underWine() const { return !comLinks.empty(); }

    // Starts it beside the test, in `folder`.
    std::unique_ptr<RunningProgram> start(const std::vector<std::string>& args, const std::string& folder = {},
                                          Outputs outputs = Outputs::Files) const
    {
        std::vector<std::string> all = command;
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<RunningProgram>(all, folder, outputs);
    }

    // Runs it to its end in `folder`.
    ProgramRun run(const std::vector<std::string>& args, const std::string& folder = {}) const
    {
        return start(args, folder)->finish();
    }

    // A whole path as the program writes it: under Wine on drive Z:, which
    // is the Linux root.
    std::string wholePath(const std::string& path) const
    {
        if (!underWine())
            return path;
        std::string windows = "Z:" + path;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        return windows;
    }

    std::vector<std::string> command = {TAVREK_CLI_PROGRAM};
    std::string comLinks;  // empty: a simulator is named by its terminal
};
#endif

// Tavrek's real serial path as the window drives it (its port control over
// the Qt port, files on disk, the steady clock) with COM1 pointed at a fresh
// tavrek-sim started with `simOptions`; `writes` counts the line's writes.
struct RealHost {
    explicit RealHost(const std::vector<std::string>& simOptions) : sim(simOptions), mapping(1, sim.device())
    {
        port.setSettings("115200,n,8,1");
    }

    QCoreApplication& application = qtApplication();
    SimProcess sim;
    PortMapping mapping;
    int writes = 0;
    std::unique_ptr<PortControl> portControl =
        makePortControl(comNumberResolver(makeSerialPortLister()), countingWrites(openWindowLine, writes));
    PortControl& port = *portControl;
    FakeWindow window{port};
    DiskFileSystem files;
    SteadyClock clock;
    Support support{window, files, clock};
};
#endif

} // namespace tavrek::test
