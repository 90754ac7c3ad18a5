#pragma once

// Pseudo-terminals, the tavrek-sim program and a Qt application object for the
// tests and benchmarks of the real serial path. Nothing here touches a real
// serial port.

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Points COMn at a device for as long as it lives.
class PortMapping {
public:
    PortMapping(int number, const std::string& device) : variable_("TAVREK_COM" + std::to_string(number))
    {
        ::setenv(variable_.c_str(), device.c_str(), 1);
    }
    ~PortMapping() { ::unsetenv(variable_.c_str()); }
    PortMapping(const PortMapping&) = delete;
    PortMapping& operator=(const PortMapping&) = delete;

private:
    std::string variable_;
};

inline std::int64_t elapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// A pseudo-terminal whose master end the test holds: the far end of the line
// that the port under test opens by the slave's name.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        device_ = ::ptsname(master_);
    }
    ~PseudoTerminal() { vanish(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& device() const { return device_; }

    void write(const std::string& bytes)
    {
        if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write to the pseudo-terminal failed");
    }

    // Whatever arrives until `count` bytes are in or `timeoutMs` has passed.
    std::string read(std::size_t count, int timeoutMs = 2000)
    {
        std::string bytes;
        const auto start = std::chrono::steady_clock::now();
        while (bytes.size() < count && elapsedMs(start) < timeoutMs) {
            pollfd readable{master_, POLLIN, 0};
            if (::poll(&readable, 1, timeoutMs) <= 0 || (readable.revents & POLLIN) == 0)
                break;
            char chunk[512];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    // Closes the master end: the device has gone, as an unplugged adapter.
    void vanish()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string device_;
};

#ifdef TAVREK_SIM_PROGRAM
// build/tavrek-sim as a child process, serving a pseudo-terminal of its own.
// It dies with the test process, so that a failed test leaves nothing behind.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& options)
    {
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
        output_ = out[0];
        readMapping();
    }
    ~SimProcess()
    {
        stop();
        ::close(output_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pseudo-terminal the simulator serves, and the line that maps it.
    const std::string& device() const { return device_; }
    const std::string& mappingLine() const { return mapping_; }

    // Ends the simulator as an operator would (it saves on the way out) and
    // returns its exit status; -1 when it was already reaped.
    int stop()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
        return wait();
    }
    // Waits for the simulator to end by itself.
    int wait()
    {
        if (pid_ <= 0)
            return -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    void readMapping()
    {
        constexpr int kStartTimeoutMs = 5000;
        std::string text;
        while (mapping_.empty()) {
            pollfd readable{output_, POLLIN, 0};
            char chunk[256];
            const ssize_t n = ::poll(&readable, 1, kStartTimeoutMs) > 0 ? ::read(output_, chunk, sizeof chunk) : 0;
            if (n <= 0)
                throw std::runtime_error("tavrek-sim printed no mapping line: " + text);
            text.append(chunk, static_cast<std::size_t>(n));
            const auto at = text.find("TAVREK_COM");
            const auto end = text.find('\n', at);
            if (at != std::string::npos && end != std::string::npos) {
                mapping_ = text.substr(at, end - at);
                device_ = mapping_.substr(mapping_.find('=') + 1);
            }
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string mapping_;
    std::string device_;
};
#endif

} // namespace tavrek::test
