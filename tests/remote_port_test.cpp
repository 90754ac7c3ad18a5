// Ports on another machine: their names, then build/tavrek-cli through the
// real ser2net into build/tavrek-sim, by name and as the window's COM number.
// The Windows build runs the write through tavrek-cli.exe under Wine.

#include <gtest/gtest.h>

#include "platform/rfc2217_line.h"
#include "ser2net_fixture.h"

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
    SimHarness window;  // what a Write of the window sends; its rows are full of 0xFF
    window.state().hexFileName = kBlink;
    ASSERT_EQ(window.support->loadHex(), kHexLoaded);
    EXPECT_EQ(readHexBytes(saved), markedBytes(window.state()));
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

} // namespace
} // namespace tavrek::test
