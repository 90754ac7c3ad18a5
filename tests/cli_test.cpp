// build/tavrek-cli as a script runs it, against build/tavrek-sim over
// pseudo-terminals: exit statuses, what goes to standard output and
// standard error, the chip's memory afterwards, several chips at once. The
// Windows build runs the same table against tavrek-cli.exe under Wine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include <nlohmann/json.hpp>

#include "diagnostics.h"
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

// The lines of a --report file, parsed; a line that is not whole JSON fails.
std::vector<nlohmann::json> reportLines(const std::string& path)
{
    std::vector<nlohmann::json> lines;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        EXPECT_FALSE(file.eof()) << "a record without its line end: " << line;
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

// What the README's table says to do about `message`, as tavrek-cli ends
// its line.
std::string advice(std::string_view message)
{
    for (const Diagnostic& diagnostic : kDiagnostics)
        if (diagnostic.message == message)
            return std::string(diagnostic.advice) + "\n";
    ADD_FAILURE() << "no advice for " << message;
    return {};
}

// ISO 8601 to the millisecond with the time zone, e.g. 2026-05-04T09:30:12.345+02:00.
bool isIsoTime(const std::string& text)
{
    const std::string shape = "0000-00-00T00:00:00.000+00:00";  // 0: a digit; +: the zone's sign
    const auto fits = [](char s, char c) {
        return s == '0' ? std::isdigit(static_cast<unsigned char>(c)) != 0 : s == '+' ? c == '+' || c == '-' : s == c;
    };
    return text.size() == shape.size() && std::equal(shape.begin(), shape.end(), text.begin(), fits);
}

TEST(CliWrite, ExitStatusStandardErrorAndTheReportTellHowEachWriteEnded)
{
    TempDir dir;
    const std::string report = (dir.path() / "report.jsonl").string();
    const std::string bad = dir.write("bad.hex", "\n:00000001FE\n");
    const std::string beyond = dir.write("beyond.hex", segmentRecord(4) + dataRecord(0, {1}) + kEndRecord);
    const std::string none = dir.path().string() + "/none.hex";
    const struct {
        const char* what;
        std::vector<std::string> simOptions;
        std::vector<std::string> cliOptions;  // after the simulator's port
        int status;
        std::string lastLogLine;  // on standard output; empty: nothing logged
        std::string err;          // DEVICE: the simulator's; the line that ends a failed run is here alone
        std::string result;       // in the report, with the rows, configuration words and resends it counts
        std::string file = kBlink;
    } cases[] = {
        {"written, a packet sent twice", {"--reject-packet", "2"}, {}, 0, "Write Successful!", "", "ok 3 2 1"},
        {"quiet", {}, {"--quiet"}, 0, "", "", "ok 3 2 0"},
        {"no bootloader", {"--silent"}, {}, 1, "Searching for bootloader...",
         "Bootloader not found!\nno answer within 800 ms of the start byte: " + advice("Bootloader not found!"),
         "no-bootloader 0 0 0"},
        {"quiet keeps the error", {"--ready-reply", ""}, {"--quiet"}, 1, "",
         "PIC not responding\nno \"K\" within 800 ms of the type code (the bootloader did not get ready): " +
             advice("PIC not responding"),
         "not-responding 0 0 0"},
        {"another chip", {"--type-code", "2"}, {}, 1, "Searching for bootloader...",
         "Unknown Pic Type\nthe chip answered type code 0x02, 0x01 (dsPIC30F4011/4012) expected: " +
             advice("Unknown Pic Type"),
         "unknown-chip 0 0 0"},
        {"not ready", {"--ready-reply", "k"}, {}, 1, "Found dsPIC30F4011/dsPIC30F4012",
         "Unknown response from PIC\nthe chip answered 0x6B after the type code, \"K\" (0x4B) expected: " +
             advice("Unknown response from PIC"),
         "unknown-response 0 0 0"},
        {"no answer", {"--silent-after", "1"}, {}, 1, "Writing flash...",
         "PIC not responding\nthe chip fell silent after row 4 (word address 0x000100), having taken 1 of 5 "
         "packets: " + advice("PIC not responding"), "not-responding 1 0 0"},
        {"refused", {"--reject-all"}, {}, 1, "Writing flash...",
         "Packet rejected 10 times\nrow 0 (word address 0x000000) was refused 10 times, after the chip had taken 0 "
         "of 5 packets: " + advice("Packet rejected 10 times"), "rejected 0 0 9"},
        {"device gone", {"--vanish-after", "2"}, {}, 3, "Writing flash...",
         "Error opening port... DEVICE: the device has gone\nthe chip took 1 of 5 packets before the line failed: it "
         "is now partly written and must be written again\n", "port 1 0 0"},
        {"missing file", {}, {}, 2, "",
         "Cannot open file " + kCli.wholePath(none) + ": no such file or directory\n" + advice("Cannot open file"),
         "file 0 0 0", none},
        {"file that does not parse", {}, {}, 2, "",
         "Could not parse hex file.\n" + bad + ":2: the record's checksum is wrong (0xFE, 0xFF expected)\n",
         "file 0 0 0", bad},
        {"data beyond the chip's memory", {}, {}, 2, "",
         "Cannot open file " + kCli.wholePath(beyond) + ":2: data at HEX address 0x00040000 lies beyond program "
         "memory\n" + advice("Cannot open file"),
         "file 0 0 0", beyond},
    };
    std::size_t records = 0;
    for (const auto& c : cases) {
        Sim sim(c.simOptions);
        std::vector<std::string> args = {"write", c.file, "--port", sim.name(), "--report", report};
        args.insert(args.end(), c.cliOptions.begin(), c.cliOptions.end());
        const ProgramRun run = cli(args);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_TRUE(c.lastLogLine.empty() ? run.out.empty() : run.out.ends_with(c.lastLogLine + "\n"))
            << c.what << ": " << run.out;
        std::string err = c.err;
        if (const auto at = err.find("DEVICE"); at != std::string::npos)
            err.replace(at, 6, sim.name());
        EXPECT_EQ(run.err, err) << c.what;

        const std::vector<nlohmann::json> lines = reportLines(report);
        ASSERT_EQ(lines.size(), ++records) << c.what << ": one record per write, appended";
        const nlohmann::json& record = lines.back();
        const auto count = [&record](const char* field) { return std::to_string(record[field].get<int>()); };
        EXPECT_EQ(record["result"].get<std::string>() + " " + count("rows") + " " + count("config_words") + " " +
                      count("resends"),
                  c.result)
            << c.what;
        const std::size_t named = c.file == bad ? err.find('\n') + 1 : 0;  // the line that names the failure
        EXPECT_EQ(record["message"], c.status == 0 ? "Write Successful!" : err.substr(named, err.find('\n', named) - named))
            << c.what;
        EXPECT_EQ(record["exit_status"], c.status) << c.what;
        EXPECT_EQ(record["port"], sim.name()) << c.what;
        EXPECT_EQ(record["device"], sim.name()) << c.what;
        EXPECT_TRUE(record["adapter"].is_null()) << "a pseudo-terminal is no adapter the system lists";
        EXPECT_EQ(record["file"], kCli.wholePath(c.file)) << c.what;
        EXPECT_EQ(record["sha256"].is_null(), c.file == none) << c.what;
        for (const char* moment : {"started", "ended"})
            EXPECT_TRUE(isIsoTime(record[moment].get<std::string>())) << record[moment];
        EXPECT_LE(record["started"].get<std::string>(), record["ended"].get<std::string>());
        EXPECT_GE(record["duration_s"].get<double>(), 0.0);
    }
    // The known answer of sha256sum for the file that does not parse.
    EXPECT_EQ(reportLines(report)[10]["sha256"], "652f8670b84cce5c63f415e645a1247ca0b6e0dd469bd97774f4eb68cfad8d42");
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
    EXPECT_EQ(slower.status, 0) << slower.err;
    EXPECT_NE(slower.err.find("ms  open " + sim.name() + " 57600,n,8,1\n"), std::string::npos);
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(readHexBytes(saved), blinkAsWritten());
}

TEST(CliWrite, ThreePortsAtOnceOneSilentTheOthersWrittenAndTheWorstStatus)
{
    Sim a({}), b({"--silent"}), c({"--line-pacing"});
    TempDir dir;
    const std::string report = (dir.path() / "report.jsonl").string();
    const std::vector<std::string> gang = {"write", kBlink, "--port", a.name(), "--port", b.name(),
                                           "--port", c.name(), "--report", report};
    // With standard output and error gone (a logger that died, `| head -1`)
    // only the messages are lost: the status and a record per chip, each as
    // its chip ended, are the same.
    for (const Outputs outputs : {Outputs::Files, Outputs::BrokenPipe, Outputs::Closed}) {
        if (outputs != Outputs::Files && kCli.underWine())
            break;  // SIGPIPE and descriptors closed at the start are POSIX's
        std::filesystem::remove(report);
        const ProgramRun run = kCli.start(gang, {}, outputs)->finish();
        EXPECT_EQ(run.status, 1);
        if (outputs == Outputs::Files) {
            EXPECT_TRUE(run.err.starts_with(b.name() + ": Bootloader not found!\n" + b.name() +
                                            ": no answer within 800 ms"))
                << run.err;
            // Each port's lines, in whatever order the chips end; then one
            // summary line per port, in the order they were named.
            const auto at = [&run](const std::string& line) { return run.out.find(line); };
            for (const Sim* written : {&a, &c})
                EXPECT_NE(at(written->name() + ": Write Successful!\n"), std::string::npos) << run.out;
            EXPECT_EQ(at(b.name() + ": Bootloader not found!\n"), std::string::npos) << "on standard error alone";
            const std::size_t summaryB = at(b.name() + ": not written: Bootloader not found!\n");
            EXPECT_LT(at(a.name() + ": written, 5 packets in "), summaryB);
            EXPECT_LT(summaryB, at(c.name() + ": written, 5 packets in "));
        }
        const std::vector<nlohmann::json> records = reportLines(report);
        ASSERT_EQ(records.size(), 3u);
        for (const nlohmann::json& record : records)
            EXPECT_EQ(record["result"].get<std::string>() + " " + std::to_string(record["exit_status"].get<int>()),
                      record["port"] == b.name() ? "no-bootloader 1" : "ok 0");
    }

    // Killed while the silent chip is still waited for: the records of the
    // chips that ended are in the file, whole.
    std::filesystem::remove(report);
    const auto killed = kCli.start({"write", kBlink, "--port", a.name(), "--port", b.name(), "--report", report});
    EXPECT_TRUE(RunningProgram::waitFor(
        [&] { return std::filesystem::exists(report) && std::filesystem::file_size(report) > 0; }));
    killed->signal(SIGKILL);
    killed->finish();
    ASSERT_EQ(reportLines(report).size(), 1u);
    EXPECT_EQ(reportLines(report)[0]["port"], a.name());
}

// A report file at its size limit (ulimit -f), as on a full disk: a record
// goes in whole or not at all, the cause is told, the exit status says that
// a record is missing, and the next record that fits starts whole. A report
// to a device or a pipe is not flushed to a disk it does not have.
TEST(CliWrite, ARecordGoesInWholeOrNotAtAllAndOnlyAFileIsFlushed)
{
    if (kCli.underWine())
        GTEST_SKIP() << "ulimit -f is POSIX's";
    Sim sim({});
    TempDir dir;
    const std::string earlier = "{\"earlier\":\"" + std::string(1000, 'x') + "\"}\n";
    const std::string report = dir.write("report.jsonl", earlier);
    const std::vector<std::string> write = {"write", kBlink, "--port", sim.name(), "--report", report};
    for (const std::size_t room : {100, 0}) {  // for part of a record; for none of it
        std::vector<std::string> limited = write;
        limited.insert(limited.begin(), {"/usr/bin/prlimit", "--fsize=" + std::to_string(earlier.size() + room),
                                         TAVREK_CLI_PROGRAM});
        const ProgramRun run = RunningProgram(limited).finish();
        EXPECT_EQ(run.status, 4) << room;
        EXPECT_NE(run.err.find("--report " + report + ": cannot write: file too large\n"), std::string::npos) << run.err;
        EXPECT_EQ(std::filesystem::file_size(report), earlier.size()) << room;
    }
    EXPECT_EQ(cli(write).status, 0);
    EXPECT_EQ(reportLines(report).size(), 2u);
    EXPECT_EQ(cli({"write", kBlink, "--port", sim.name(), "--report", "/dev/null"}).err, "");
}

// The record that the documentation shows is the one a write of blink.hex
// makes through COM1, its times, device, adapter and folder aside.
TEST(CliWrite, TheDocumentedRecordIsTheOneAWriteMakes)
{
    if (kCli.underWine())
        GTEST_SKIP() << "the record is the same on every platform";
    Sim sim({});
    PortMapping com1(1, sim.name());
    TempDir dir;
    const std::string report = (dir.path() / "chips.jsonl").string();
    ASSERT_EQ(cli({"write", kBlink, "--report", report}).status, 0);
    const auto made = nlohmann::ordered_json::parse(std::ifstream(report));
    for (const std::string page : {"docs/production-line.md", "docs/tavrek-cli.h2m"}) {
        std::ifstream file(TAVREK_EXAMPLES "/../" + page);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::size_t start = text.find("{\"started\"");
        ASSERT_NE(start, std::string::npos) << page;
        std::string shownText = text.substr(start, text.find('}', start) + 1 - start);
        std::erase(shownText, '\n');  // the manual page breaks it into lines
        auto shown = nlohmann::ordered_json::parse(shownText);
        EXPECT_TRUE(shown["file"].get<std::string>().ends_with("/blink.hex")) << page;
        for (const char* field : {"started", "ended", "duration_s", "device", "adapter", "file"})
            shown[field] = made[field];
        EXPECT_EQ(shown.dump(), made.dump()) << page;
    }
}

// The chip's application talks when the port opens: the probe drops what
// it said before the reset, as a write does.
TEST(CliWrite, PortAutoWritesThroughTheOnePortWhereAChipAnswers)
{
    Sim chip({"--talk-at-open"}), other({}), silent({"--silent"}), anotherType({"--type-code", "2"});
    const struct {
        std::vector<const Sim*> tried;  // TAVREK_AUTO_PORTS, in order
        int status;
        std::string said;  // what starts standard output when written, else standard error
    } cases[] = {
        {{&silent, &chip, &anotherType}, 0, chip.name() + ": the chip answers here"},
        {{&silent, &anotherType}, 3,
         "no chip answered on " + silent.name() + " and " + anotherType.name() + "\n" +
             advice("no chip answered on PORTS")},
        {{&chip, &silent, &other}, 64,
         "tavrek-cli: a chip answers on " + chip.name() + " and " + other.name() + ": pick one with --port"},
    };
    for (const auto& c : cases) {
        std::string names;
        for (const Sim* sim : c.tried)
            names += (names.empty() ? "" : ",") + sim->name();
        ScopedVariable tried("TAVREK_AUTO_PORTS", names);
        const ProgramRun run = cli({"write", kBlink, "--port", "auto"});
        EXPECT_EQ(run.status, c.status) << names;
        const std::string& said = c.status == 0 ? run.out : run.err;
        EXPECT_TRUE(said.starts_with(c.said)) << said;
        EXPECT_EQ(run.out.ends_with("Write Successful!\n"), c.status == 0) << run.out;
    }
}

// The edit-build-write loop: a file rewritten in two halves is written once
// it is whole, a broken one is not written, and Ctrl+C ends a write under way
// as an unplugged adapter does.
TEST(CliWrite, WatchWritesEachWholeFileUntilCtrlC)
{
    Sim sim({"--ack-delay-us", "150000"});  // a write takes about a second
    TempDir dir;
    const std::string firmware = dir.write("firmware.hex", "");
    const std::string report = (dir.path() / "report.jsonl").string();
    std::ifstream blink(kBlink);
    const std::string good((std::istreambuf_iterator<char>(blink)), std::istreambuf_iterator<char>());
    std::filesystem::copy_file(kBlink, firmware, std::filesystem::copy_options::overwrite_existing);
    // File and port named as a Makefile names them, relative to the folder it
    // runs in, though every load makes the program's folder current (Windows
    // names its ports, not paths).
    std::filesystem::create_symlink(sim.device(), dir.path() / "ttyV0");
    const std::string device = kCli.underWine() ? sim.name() : (dir.path() / "ttyV0").string();
    const auto watch = kCli.start(
        {"write", "firmware.hex", "--port", kCli.underWine() ? device : "./ttyV0", "--watch", "--report", report},
        dir.path());
    const std::string waiting = "to change (Ctrl+C ends)\n";
    ASSERT_TRUE(watch->waitForOutput(waiting, 1)) << watch->out();

    std::ofstream(firmware, std::ios::binary) << good.substr(0, good.size() / 2);
    ::usleep(100000);  // well within the 300 ms a file must stay the same
    std::ofstream(firmware, std::ios::binary | std::ios::app) << good.substr(good.size() / 2);
    ASSERT_TRUE(watch->waitForOutput(waiting, 2)) << watch->out();
    std::ofstream(firmware, std::ios::binary) << ":00000001FE\n";
    ASSERT_TRUE(watch->waitForOutput("waiting for a whole file\n")) << watch->out();
    std::ofstream(firmware, std::ios::binary) << good;
    ASSERT_TRUE(watch->waitForOutput(waiting, 3)) << watch->out();
    std::ofstream(firmware, std::ios::binary) << good;
    ASSERT_TRUE(watch->waitForOutput("Writing flash...", 4)) << watch->out();
    watch->signal(SIGINT);
    const ProgramRun run = watch->finish();

    EXPECT_EQ(run.status, 3);
    // Said as what it was, followed by how much the chip took.
    EXPECT_NE(run.err.find("Write interrupted (Ctrl+C) on " + device + "\nthe chip took "), std::string::npos)
        << run.err;
    const auto times = [&run](const std::string& line) {
        std::size_t found = 0;
        for (std::size_t at = 0; (at = run.out.find(line, at)) != std::string::npos; ++at)
            ++found;
        return found;
    };
    EXPECT_EQ(times(": written, 5 packets in "), 3u) << run.out;
    EXPECT_EQ(times("waiting for a whole file"), 1u) << "the half-written file was taken for a whole one";
    const std::vector<nlohmann::json> records = reportLines(report);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3]["result"], "port");
    EXPECT_GE(records[0]["duration_s"].get<double>(), 0.75) << "--ack-delay-us holds all 5 acknowledgements";
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
        {{"write", kBlink, "--port", sim.name(), "--report", "/tavrek-no-such-folder/report.jsonl"},
         "(cannot be opened for appending)"},
        {{"write", kBlink, "--port", "auto", "--port", sim.name()}, "it cannot go with other --port"},
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
