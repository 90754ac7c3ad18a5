// Ports on another machine: their names, the reset line on the wire, then
// build/tavrek-cli through the real ser2net into build/tavrek-sim, by name and
// as the window's COM number.
// The Windows build runs the write through tavrek-cli.exe under Wine.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "network/rfc2217_line.h"
#include "network/ser2net_fixture.h"
#include "support/programming.h"

namespace tavrek::test {
namespace {

const CliUnderTest kCli;  // tavrek-cli, or tavrek-cli.exe under Wine

ProgramRun cli(const std::vector<std::string>& args) { return kCli.run(args); }

TEST(RemotePortNames, WellFormedNamesParseAndTheRestAreABadCommandLine)
{
    const std::pair<const char*, const char*> wellFormed[] = {  // name, host and port
        {"rfc2217://bench-pi:3001", "bench-pi 3001"},   {"RFC2217://10.0.0.7:1", "10.0.0.7 1"},
        {"rfc2217://[::1]:65535", "::1 65535"},          {"rfc2217://lab.example.org:22", "lab.example.org 22"}};
    for (const auto& [name, hostAndPort] : wellFormed) {
        const std::optional<RemotePort> parsed = parseRemotePortName(name);
        ASSERT_TRUE(parsed) << name;
        EXPECT_EQ(parsed->host + " " + std::to_string(parsed->port), hostAndPort);
    }
    for (const char* name : {"rfc2217://bench-pi", "rfc2217://bench-pi:0", "rfc2217://bench-pi:65536",
                             "rfc2217://bench-pi:3001/x", "rfc2217://bad_host:3001", "rfc2217://user@pi:3001",
                             "rfc2217://::1:3001", "rfc2217:bench-pi:3001", "tcp://bench-pi:3001"})
        EXPECT_FALSE(parseRemotePortName(name)) << name;
    const ProgramRun run = cli({"write", "x.hex", "--port", "rfc2217://bench-pi:3001/x"});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find("rfc2217://HOST:PORT"), std::string::npos) << run.err;
}

TEST(RemoteWrite, TheChipHoldsWhatAWriteSendsAndTheWindowNamesThePort)
{
    TempDir dir;
    const std::string saved = (dir.path() / "chip.hex").string();
    SimProcess sim({"--save", saved});
    Ser2net server({sim.device()});
    PortMapping com2(2, server.url(0));
    EXPECT_NE(cli({"ports"}).out.find("COM2  " + server.url(0) + ": a port on another machine, set by TAVREK_COM2\n"),
              std::string::npos);
    EXPECT_EQ(cli({"reset", "--port", "COM2"}).status, 0);

    const ProgramRun run = cli({"write", kBlink, "--port", server.url(0), "--trace"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("ms  open " + server.url(0) + " 115200,n,8,1\n"), std::string::npos) << run.err;
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(readHexBytes(saved), blinkAsWritten());
}

TEST(RemoteWrite, AGangOfThreeWithOneSilentAndFailuresThatExit3WithTheirCause)
{
    SimProcess a({}), silent({"--silent"}), c({}), vanishing({"--vanish-after", "2"});
    Ser2net server({a.device(), silent.device(), c.device(), vanishing.device(), "/dev/tavrek-none"});
    const ProgramRun gang = cli({"write", kBlink, "--port", server.url(0), "--port", server.url(1), "--port", server.url(2)});
    EXPECT_EQ(gang.status, 1);
    EXPECT_TRUE(gang.err.starts_with(server.url(1) + ": Bootloader not found!\n")) << gang.err;
    for (const std::size_t written : {0, 2})
        EXPECT_NE(gang.out.find(server.url(written) + ": Write Successful!\n"), std::string::npos) << gang.out;

    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(freeTcpPort());
    const struct {
        std::string port;
        std::string cause;
    } failures[] = {
        {server.url(3), "the server closed the connection (the device is gone or in use)"},
        {server.url(4), "the server closed the connection: Device open failure: Value or file not found"},
        {nobody, "connection refused"},
        {"rfc2217://tavrek-no-such-host.invalid:3001", "host not found"},
    };
    for (const auto& f : failures) {
        const ProgramRun run = cli({"write", kBlink, "--port", f.port});
        EXPECT_EQ(run.status, 3) << f.port;
        EXPECT_TRUE(run.err.starts_with("Error opening port... " + f.port + ": " + f.cause)) << run.err;
    }
}

// An RFC 2217 server of the test's own that agrees to COM-PORT-OPTION,
// confirms purges, answers the start byte as a bootloader with nothing to
// take, and notes with its time each DTR switch and the first data byte of a
// connection, and its close.
class ComPortServer {
public:
    ComPortServer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        thread_ = std::thread([this] {
            for (int peer; (peer = ::accept(listener_, nullptr, nullptr)) >= 0; ::close(peer))
                serve(peer);
        });
    }
    ~ComPortServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    // What it noted, once `closes` connections have ended (bounded).
    std::vector<std::pair<std::int64_t, std::string>> events(int closes)
    {
        std::unique_lock lock(mutex_);
        noted_.wait_for(lock, std::chrono::seconds(5), [&] { return closes_ >= closes; });
        return events_;
    }

    std::string url;

private:
    void note(const std::string& what)
    {
        const std::lock_guard lock(mutex_);
        events_.emplace_back(elapsedMs(start_), what);
        closes_ += what == "close";
        noted_.notify_all();
    }
    void serve(int peer)
    {
        ::send(peer, "\xFF\xFD\x2C", 3, 0);  // DO COM-PORT-OPTION
        std::string in;
        bool dataSeen = false;
        for (char chunk[512]; const auto n = ::recv(peer, chunk, sizeof chunk, 0);) {
            if (n < 0)
                break;
            in.append(chunk, static_cast<std::size_t>(n));
            while (!in.empty()) {
                std::size_t used = 1;
                if (in[0] != '\xFF' && !std::exchange(dataSeen, true)) {
                    note("TX " + std::to_string(static_cast<std::uint8_t>(in[0])));
                    ::send(peer, "\x01K", 2, 0);
                } else if (in[0] == '\xFF') {
                    const std::size_t end = in[1] == '\xFA' ? in.find("\xFF\xF0", 2) : 1;  // a subnegotiation, or a verb
                    if (in.size() < 3 || end == std::string::npos)
                        break;
                    used = end + 2;
                    if (in.compare(1, 4, "\xFA\x2C\x05\x08") == 0 || in.compare(1, 4, "\xFA\x2C\x05\x09") == 0)
                        note(in[4] == '\x08' ? "DTR on" : "DTR off");
                    if (in.compare(1, 3, "\xFA\x2C\x0C") == 0)
                        ::send(peer, "\xFF\xFA\x2C\x70\x03\xFF\xF0", 7, 0);  // purged
                }
                in.erase(0, used);
            }
        }
        note("close");
    }

    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    const int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable noted_;
    std::vector<std::pair<std::int64_t, std::string>> events_;
    int closes_ = 0;
};

// The reset line as the board's machine gets it: a Write, a Reset, and a
// Write that starts with DTR on from the open.
TEST(RemoteResetLine, DtrGoesOnTheWireInOrderWithEachPulsesLength)
{
    constexpr std::int64_t kWireJitterMs = 10;  // a switch may reach the server this much late
    ComPortServer server;
    const auto port = makePortControl([&server](int) { return server.url; });
    FakeWindow window(*port);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    EXPECT_EQ(support.programPic(), kTrue);
    pulseResetLine(*port, clock);
    EXPECT_EQ(support.programPic(), kTrue);

    const auto events = server.events(3);
    std::string order;
    for (const auto& event : events)
        order += event.second + "; ";
    ASSERT_EQ(order, "DTR off; DTR on; DTR off; TX 193; close; "
                     "DTR off; DTR on; DTR off; close; "
                     "DTR on; DTR on; DTR off; TX 193; close; ");
    const auto held = [&events](std::size_t on, std::size_t off) { return events[off].first - events[on].first; };
    EXPECT_GE(held(1, 2), 100 - kWireJitterMs) << "a Write's pulse";
    EXPECT_GE(held(6, 7), 50 - kWireJitterMs) << "Reset's pulse";
    EXPECT_GE(held(9, 11), 100 - kWireJitterMs) << "a Write's pulse from the open";
}

} // namespace
} // namespace tavrek::test
