// build/tavrek-cli as a script runs it, against build/tavrek-sim over
// pseudo-terminals: exit statuses, what goes to standard output and
// standard error, the chip's memory afterwards, several chips at once. The
// Windows build runs the same table against tavrek-cli.exe under Wine.

#include <gtest/gtest.h>

#include "serial_fixture.h"

namespace tavrek::test {
namespace {

const std::string kFullLog =
    "Resetting PIC..\nSearching for bootloader...\nFound dsPIC30F4011/dsPIC30F4012\nWriting flash...\n"
    "Writing Configuration Bits\nWrite Successful!\n";

const CliUnderTest kCli;

ProgramRun cli(const std::vector<std::string>& args)
{
    return kCli.run(args);
}

// A simulator as the program under test reaches it.
struct Sim : SimProcess {
    explicit Sim(const std::vector<std::string>& options) : SimProcess(options, kCli.comLinks) {}
};

TEST(CliWrite, ExitStatusAndStandardErrorTellHowEachWriteEnded)
{
    TempDir dir;
    const std::string bad = dir.write("bad.hex", "\n:00000001FE\n");
    const std::string beyond = dir.write("beyond.hex", segmentRecord(4) + dataRecord(0, {1}) + kEndRecord);
    const std::string none = dir.path().string() + "/none.hex";
    const struct {
        const char* what;
        std::vector<std::string> simOptions;
        std::vector<std::string> cliOptions;  // after the simulator's port
        int status;
        std::string lastLogLine;  // empty: nothing logged
        std::string err;          // DEVICE: the simulator's
        std::string file = kBlink;
    } cases[] = {
        {"written", {}, {}, 0, "Write Successful!", ""},
        {"quiet", {}, {"--quiet"}, 0, "", ""},
        {"no bootloader", {"--silent"}, {}, 1, "Bootloader not found!",
         "Bootloader not found!\nno answer within 800 ms of the start byte: check that the board is powered, that "
         "the adapter's DTR drives the chip's reset (MCLR), and that the bootloader is in the chip\n"},
        {"quiet keeps the error", {"--ready-reply", ""}, {"--quiet"}, 1, "",
         "PIC not responding\nno \"K\" within 800 ms of the type code: the bootloader did not get ready\n"},
        {"another chip", {"--type-code", "2"}, {}, 1, "Unknown Pic Type",
         "Unknown Pic Type\nthe chip answered type code 0x02; 0x01 (dsPIC30F4011/4012) expected\n"},
        {"not ready", {"--ready-reply", "k"}, {}, 1, "Unknown response from PIC",
         "Unknown response from PIC\nthe chip answered 0x6B after the type code; \"K\" (0x4B) expected\n"},
        {"no answer", {"--silent-after", "1"}, {}, 1, "PIC not responding",
         "PIC not responding\nthe chip fell silent after row 4 (word address 0x000100), having taken 1 of 5 "
         "packets: check its power and the line, then write it again\n"},
        {"refused", {"--reject-all"}, {}, 1, "Packet rejected 10 times",
         "Packet rejected 10 times\nrow 0 (word address 0x000000) was refused 10 times, after the chip had taken 0 "
         "of 5 packets: a noisy line or a bootloader at another baud rate refuses every packet\n"},
        {"device gone", {"--vanish-after", "2"}, {}, 3, "Writing flash...",
         "Error opening port... DEVICE: the device has gone\nthe chip took 1 of 5 packets before the line failed: it "
         "is now partly written and must be written again\n"},
        {"missing file", {}, {}, 2, "", "Cannot open file " + kCli.wholePath(none) + ": no such file or directory\n",
         none},
        {"file that does not parse", {}, {}, 2, "Could not parse hex file.",
         "Could not parse hex file.\n" + bad + ":2: the record's checksum is wrong (0xFE, 0xFF expected)\n", bad},
        {"data beyond the chip's memory", {}, {}, 2, "",
         "Cannot open file " + kCli.wholePath(beyond) + ":2: data at HEX address 0x00040000 lies beyond program memory\n", beyond},
    };
    for (const auto& c : cases) {
        Sim sim(c.simOptions);
        std::vector<std::string> args = {"write", c.file, "--port", sim.name()};
        args.insert(args.end(), c.cliOptions.begin(), c.cliOptions.end());
        const ProgramRun run = cli(args);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_TRUE(c.lastLogLine.empty() ? run.out.empty() : run.out.ends_with(c.lastLogLine + "\n"))
            << c.what << ": " << run.out;
        std::string err = c.err;
        if (const auto at = err.find("DEVICE"); at != std::string::npos)
            err.replace(at, 6, sim.name());
        EXPECT_EQ(run.err, err) << c.what;
    }
}

TEST(CliWrite, TheChipHoldsWhatTheWindowWouldWriteAndTheTraceShowsTheBytes)
{
    TempDir dir;
    const std::string saved = (dir.path() / "chip.hex").string();
    Sim sim({"--save", saved});
    const ProgramRun run = cli({"write", kBlink, "--port", sim.name(), "--trace"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kFullLog);
    EXPECT_NE(run.err.find("ms  open " + sim.name() + " 115200,n,8,1\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("ms  TX C1\n"), std::string::npos);
    EXPECT_NE(run.err.find("ms  RX 01 4B\n"), std::string::npos);
    // 16 bytes a line within 80 columns, the rest of a packet indented under its first byte.
    EXPECT_NE(run.err.find("ms  TX 00 00 00 80 40 7F 04 00 00 00 00 00 FF FF FF FF\n" + std::string(17, ' ') +
                           " FF FF"),
              std::string::npos)
        << "the bootloader jump first";
    for (std::size_t at = 0, end; (end = run.err.find('\n', at)) != std::string::npos; at = end + 1)
        EXPECT_LE(end - at, 80u) << run.err.substr(at, end - at);
    const ProgramRun slower = cli({"write", kBlink, "--port", sim.name(), "--trace", "--baud", "57600"});
    EXPECT_EQ(slower.status, 0);
    EXPECT_NE(slower.err.find("ms  open " + sim.name() + " 57600,n,8,1\n"), std::string::npos);
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(readHexBytes(saved), blinkAsWritten());
}

TEST(CliWrite, ThreePortsAtOnceOneSilentTheOthersWrittenAndTheWorstStatus)
{
    Sim a({});
    Sim b({"--silent"});
    Sim c({"--line-pacing"});
    const ProgramRun run = cli({"write", kBlink, "--port", a.name(), "--port", b.name(), "--port", c.name()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.starts_with(b.name() + ": Bootloader not found!\n" + b.name() + ": no answer within 800 ms"))
        << run.err;
    // Each port's lines, in whatever order the chips end; then one summary
    // line per port, in the order they were named.
    const auto at = [&run](const std::string& line) { return run.out.find(line); };
    for (const Sim* written : {&a, &c})
        EXPECT_NE(at(written->name() + ": Write Successful!\n"), std::string::npos) << run.out;
    EXPECT_NE(at(b.name() + ": Bootloader not found!\n"), std::string::npos) << run.out;
    const std::size_t summaryB = at(b.name() + ": not written: Bootloader not found!\n");
    EXPECT_LT(at(a.name() + ": written, 5 packets in "), summaryB);
    EXPECT_LT(summaryB, at(c.name() + ": written, 5 packets in "));
}

TEST(CliCheck, TellsWhatAWriteOfTheExampleWouldSend)
{
    const ProgramRun run = cli({"check", kBlink});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBlink + ": sound; a write sends these packets:\n"
                                "  Flash rows: 3 (word addresses 0x000000-0x00003F, 0x000100-0x00013F, "
                                "0x007F00-0x007F3F)\n"
                                "  Configuration words: 2 (word addresses 0xF80000, 0xF80002)\n"
                                "  Reset jump: GOTO 0x000100, moved to word address 0x007F3C; GOTO 0x007F40 (the "
                                "bootloader) takes its place\n");
    EXPECT_EQ(run.err, "");
    // A name relative to the folder it is run in, as a Makefile gives it.
    EXPECT_EQ(kCli.run({"check", "blink.hex"}, TAVREK_EXAMPLES).status, 0);
}

TEST(CliCommandLine, MistakesExit64WithAReasonAndHelpFits80Columns)
{
    Sim sim({});
    const std::string beyondTheComNumbers = kCli.underWine() ? "COM257" : "COM7";
    const struct {
        std::vector<std::string> args;
        std::string err;  // what standard error must hold
    } mistakes[] = {
        {{}, "tavrek-cli: a command is needed: write, reset, check or ports"},
        {{"write"}, "FILE is required"},
        {{"write", kBlink, "--port", beyondTheComNumbers}, beyondTheComNumbers + ": the COM numbers are COM1 to COM"},
        {{"write", kBlink, "--port", sim.name(), "--port", sim.name()}, sim.name() + " is named twice"},
        {{"flash", kBlink}, "tavrek-cli: unknown command 'flash'; the commands are write, reset, check and ports"},
        {{"--baud", "9600", "write", kBlink}, "tavrek-cli: unknown option --baud (tavrek-cli --help tells more)"},
        {{"check", kBlink, "--trace"}, "tavrek-cli: unknown option --trace (tavrek-cli check --help lists its options)"},
        {{"check", kBlink, kBlink}, "unexpected argument " + kBlink},
        {{"write", kBlink, "--baud", "1234"}, "1234 is not one of 9600, 19200, 38400, 57600, 115200, 230400"},
    };
    for (const auto& m : mistakes) {
        const ProgramRun run = cli(m.args);
        EXPECT_EQ(run.status, 64) << m.err;
        EXPECT_NE(run.err.find(m.err), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const ProgramRun version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tavrek-cli ") + TAVREK_VERSION + "\n");
    for (const std::vector<std::string>& asked : {std::vector<std::string>{"--help"}, {"write", "--help"}}) {
        const ProgramRun help = cli(asked);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.find("ubcommand"), std::string::npos) << "one list of commands";
        for (std::size_t at = 0, end; (end = help.out.find('\n', at)) != std::string::npos; at = end + 1)
            EXPECT_LE(end - at, 80u) << help.out.substr(at, end - at);
    }
}

TEST(CliPortsAndReset, AMappedPortIsListedAndPulsed)
{
    Sim sim({});
    PortMapping com2(2, sim.name());
    const ProgramRun ports = cli({"ports"});
    EXPECT_EQ(ports.status, 0);
    EXPECT_NE(ports.out.find("COM2  " + sim.name() + ", set by TAVREK_COM2\n"), std::string::npos) << ports.out;
    if (kCli.underWine()) {
        EXPECT_NE(ports.out.find("\n  " + sim.name() + "\n"), std::string::npos) << ports.out;
    }
    // The pulse as the port control is asked for it: DTR on, 50 ms, close.
    const ProgramRun reset = cli({"reset", "--port", "COM2", "--trace"});
    EXPECT_EQ(reset.status, 0);
    EXPECT_EQ(reset.out, "COM2 (" + sim.name() + "): reset\n");
    const auto msOf = [&reset](const std::string& event) {
        const std::size_t at = reset.err.find(" ms  " + event + "\n");
        return at == std::string::npos ? -1e9 : std::stod(reset.err.substr(reset.err.rfind('\n', at) + 1));
    };
    EXPECT_GE(msOf("DTR on"), msOf("open " + sim.name() + " 115200,n,8,1")) << reset.err;
    EXPECT_GE(msOf("close") - msOf("DTR on"), 50.0) << reset.err;
    const ProgramRun quiet = cli({"reset", "--port", "COM2", "--quiet"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    const auto [port, why] = kCli.underWine() ? std::pair("COM99", "no such port")
                                              : std::pair("/dev/tavrek-no-such-port", "no such device");
    const ProgramRun missing = cli({"reset", "--port", port});
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.err, std::string("Error opening port... ") + port + ": " + why + "\n");
}

} // namespace
} // namespace tavrek::test
