#pragma once

// ser2net (Debian's, 4.3) exporting serial devices on 127.0.0.1 with RFC 2217,
// configured as the README tells a bench machine to be. It dies with the
// test process, so that a failed test leaves nothing behind.

#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

#include "serial_fixture.h"

namespace tavrek::test {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
inline int freeTcpPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

class Ser2net {
public:
    // One port for each device, listening when the constructor returns.
    explicit Ser2net(const std::vector<std::string>& devices)
    {
        std::string config;
        for (const std::string& device : devices) {
            const std::string port = std::to_string(ports_.emplace_back(freeTcpPort()));
            config += "connection: &port" + port + "\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," + port +
                      "\n  connector: serialdev," + device + ",115200n81,local\n  options:\n    chardelay: false\n";
        }
        const std::string file = dir_.write("ser2net.yaml", config);
        const std::string pidFile = (dir_.path() / "ser2net.pid").string();
        const std::string log = (dir_.path() / "ser2net.log").string();  // its complaints, shown if it fails
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            std::freopen(log.c_str(), "w", stderr);
            // -n: in the foreground; -u: no UUCP lock files, which need root.
            ::execlp("ser2net", "ser2net", "-n", "-u", "-c", file.c_str(), "-P", pidFile.c_str(), nullptr);
            ::_exit(127);
        }
        const auto start = std::chrono::steady_clock::now();
        while (!std::all_of(ports_.begin(), ports_.end(), listening)) {
            if (::waitpid(pid_, nullptr, WNOHANG) != 0 || elapsedMs(start) > 5000)
                throw std::runtime_error("ser2net did not start: " + readAll(std::fopen(log.c_str(), "r")));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~Ser2net()
    {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    std::string url(std::size_t i) const { return "rfc2217://127.0.0.1:" + std::to_string(ports_.at(i)); }

private:
    // Seen in the kernel's table rather than by connecting: a connection
    // would open the device.
    static bool listening(int port)
    {
        char entry[40];
        std::snprintf(entry, sizeof entry, "0100007F:%04X 00000000:0000 0A", port);
        return readAll(std::fopen("/proc/net/tcp", "r")).find(entry) != std::string::npos;
    }

    TempDir dir_;
    std::vector<int> ports_;
    pid_t pid_ = -1;
};

} // namespace tavrek::test
