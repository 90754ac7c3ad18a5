// tavrek-cli: write, reset and check from a terminal, a build script or a
// production bench, on the same procedures and port layer as the window.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/report.h"
#include "platform/port_factory.h"
#include "platform/program_arguments.h"
#include "platform/terminal.h"
#include "version.h"

namespace {

using namespace tavrek::cli;

constexpr std::size_t kHelpWidth = 80;     // no help line is wider
constexpr std::size_t kOptionColumn = 16;  // where an option's description starts

constexpr const char* kProgram = "tavrek-cli";
constexpr const char* kDescription =
    "Writes firmware into dsPIC30F4011/4012 chips through their serial bootloader, as the Tavrek window does.";

#ifdef _WIN32
constexpr const char* kPortHelp =
    "COM1 to COM256, the system's own (tavrek-cli ports shows them), a device such as \\\\.\\COM7, "
    "or rfc2217://HOST:PORT for a port on another machine (ser2net); "
    "given several times, writes every chip at once (default COM1); auto: the one port present where a chip "
    "answers (it sends the start byte to every port, so never to ports with other devices behind them)";

constexpr const char* kPortsHelp =
    "COMn is the system's own COMn, as Device Manager shows it. TAVREK_COMn=PORT makes COMn (1 to 5) open PORT, "
    "which may be another COM port or a port on another machine, rfc2217://HOST:PORT.";
#else
constexpr const char* kPortHelp =
    "COM1 to COM5, numbered as in the window (tavrek-cli ports shows them), a device such as /dev/ttyUSB0, "
    "or rfc2217://HOST:PORT for a port on another machine (ser2net); "
    "given several times, writes every chip at once (default COM1); auto: the one port present where a chip "
    "answers (it sends the start byte to every port, so never to ports with other devices behind them)";

constexpr const char* kPortsHelp =
    "Without TAVREK_COMn, COMn is the n-th serial port present: built-in ports (/dev/ttyS*) first, then USB and "
    "other adapters (/dev/ttyUSB*, /dev/ttyACM*, the rest), each kind by number. TAVREK_COMn=DEVICE makes COMn "
    "open DEVICE, which may be a port on another machine, rfc2217://HOST:PORT.";
#endif

// `text` in lines of at most kHelpWidth columns, the first one starting at
// column `indent` (after what the caller has printed) and the others indented
// to it.
std::string wrapped(const std::string& text, std::size_t indent)
{
    std::string out;
    std::size_t column = indent;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (column > indent && column + 1 + word.size() > kHelpWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        }
        if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// "  --port PORT   what it does", the description wrapped under itself.
std::string optionLine(const std::string& name, const std::string& description)
{
    const std::string head = "  " + name;
    const std::string gap = head.size() + 2 <= kOptionColumn ? std::string(kOptionColumn - head.size(), ' ')
                                                             : "\n" + std::string(kOptionColumn, ' ');
    return head + gap + wrapped(description, kOptionColumn) + "\n";
}

// One command as the manual lists it: its usage, what it does, and each
// option with what it means.
std::string commandHelp(const CLI::App& command)
{
    std::string usage = std::string(kProgram) + " " + command.get_name();
    std::string options;
    for (const CLI::Option* option : command.get_options()) {
        if (option == command.get_help_ptr())
            continue;
        if (!option->nonpositional()) {
            usage += " " + option->get_name(true);
            continue;
        }
        const std::string type = option->get_type_name();
        const std::string name = option->get_name() + (type.empty() ? "" : " " + type);
        usage += " [" + name + "]" + (option->get_items_expected_max() > 1 ? "..." : "");
        options += optionLine(name, option->get_description());
    }
    return "  " + wrapped(usage, 4) + "\n      " + wrapped(command.get_description(), 6) + "\n" +
           (options.empty() ? "" : "\n" + options);
}

std::vector<const CLI::App*> commandsOf(const CLI::App& app)
{
    std::vector<const CLI::App*> commands;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        commands.push_back(command);
    return commands;
}

std::string commandNames(const CLI::App& app, const char* lastJoin)
{
    const std::vector<const CLI::App*> commands = commandsOf(app);
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i)
        names += (i == 0 ? "" : i + 1 == commands.size() ? lastJoin : ", ") + commands[i]->get_name();
    return names;
}

// The help of tavrek-cli and of each command, in one list of commands and
// within 80 columns.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override
    {
        if (app->get_parent() != nullptr)
            return "Usage:\n" + commandHelp(*app) + "\n" + kExitStatusHelp + "\n";
        std::string text = "Usage: " + std::string(kProgram) + " COMMAND [OPTIONS]\n\n" + wrapped(kDescription, 0) +
                           "\n\nCommands:\n";
        for (const CLI::App* command : commandsOf(*app))
            text += commandHelp(*command) + "\n";
        text += "Options:\n" + optionLine("--help", "this help; " + std::string(kProgram) +
                                                        " COMMAND --help, the help of one command") +
                optionLine("--version", "the version") + "\nPorts:\n  " + wrapped(kPortsHelp, 2) + "\n\n";
        return text + kExitStatusHelp + "\n";
    }
};

// A PORT value: COM1 to COM5, a device, or a remote port.
CLI::Validator portName()
{
    return CLI::Validator([](std::string& name) { return checkPortName(name); }, "", "port name");
}

CLI::Validator lineRate()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            for (const int rate : kLineRates)
                if (text == std::to_string(rate))
                    return {};
            std::string rates;
            for (const int rate : kLineRates)
                rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
            return text + " is not one of " + rates;
        },
        "", "line rate");
}

struct Commands {
    CLI::App* write = nullptr;
    CLI::App* reset = nullptr;
    CLI::App* check = nullptr;
    CLI::App* ports = nullptr;
};

Commands defineCommands(CLI::App& app, WriteOptions& write, ResetOptions& reset, std::string& checkFile)
{
    Commands commands;
    commands.write = app.add_subcommand("write", "Check and load FILE, then write it into the chip through the bootloader");
    commands.write->add_option("FILE", write.file, "Intel HEX file (32-bit form)")->required()->type_name("");
    commands.write->add_option("--port", write.ports, kPortHelp)->type_name("PORT")->check(portName());
    commands.write->add_option("--baud", write.baud,
                               "the line rate the bootloader was built for: 9600 to 921600 (default 115200)")
        ->type_name("N")->check(lineRate());
    commands.write->add_flag("--trace", write.trace,
                             "write every byte sent (TX) and received (RX) to standard error, with a time stamp in ms");
    commands.write->add_flag("--quiet", write.quiet, "print errors only: no log, no progress bar");
    commands.write->add_option("--report", write.report,
                               std::string("append one JSON line per chip to FILE as its write ends: start and end, "
                                           "port, adapter, the file and its SHA-256, rows, configuration words and "
                                           "resends, result (") + kResultHelp + "), message, exit status")
        ->type_name("FILE");
    commands.write->add_flag("--watch", write.watch,
                             "write again whenever FILE has changed and stayed the same for 300 ms, until Ctrl+C");

    commands.reset = app.add_subcommand("reset", "Pulse the reset line (DTR) of the port given for 50 ms, as the "
                                                 "window's Reset does on the port of its last Write");
    commands.reset->add_option("--port", reset.port, "COM1 to COM5, a device or rfc2217://HOST:PORT (default COM1)")
        ->type_name("PORT")->check(portName());
    commands.reset->add_flag("--quiet", reset.quiet, "print errors only");
    commands.reset->add_flag("--trace", reset.trace,
                             "write the port's opening, DTR and closing to standard error, with a time stamp in ms");

    commands.check = app.add_subcommand("check", "Check and load FILE without touching a port; tell what a write would send");
    commands.check->add_option("FILE", checkFile, "Intel HEX file (32-bit form)")->required()->type_name("");

    commands.ports = app.add_subcommand("ports", "List COM1 to COM5 with the device each opens now, then every serial port present");
    for (CLI::App* command : {commands.write, commands.reset, commands.check, commands.ports})
        command->allow_extras();
    return commands;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return kExitBadCommandLine;
}

// What CLI11 does not say in our words: a missing or unknown command, and an
// option that tavrek-cli does not have before the command. Empty when the
// command line may go to the parser.
std::string commandLineMistake(const CLI::App& app, int argc, char** argv)
{
    const std::string seeHelp = " (" + std::string(kProgram) + " --help tells more)";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "--version")
            return {};
        if (arg.starts_with("-"))
            return "unknown option " + arg + seeHelp;
        const auto commands = commandsOf(app);
        if (std::none_of(commands.begin(), commands.end(), [&arg](const CLI::App* c) { return c->get_name() == arg; }))
            return "unknown command '" + arg + "'; the commands are " + commandNames(app, " and ") + seeHelp;
        return {};
    }
    return "a command is needed: " + commandNames(app, " or ") + seeHelp;
}

// What a command was given beyond its options: the first of it, named.
std::string extraArgument(const CLI::App& command)
{
    const std::vector<std::string> extras = command.remaining();
    if (extras.empty())
        return {};
    const std::string seeHelp =
        " (" + std::string(kProgram) + " " + command.get_name() + " --help lists its options)";
    return (extras.front().starts_with("-") ? "unknown option " : "unexpected argument ") + extras.front() + seeHelp;
}

} // namespace

int main(int argc, char** argv)
{
    tavrek::guardStandardStreams();
    CLI::App app(kDescription, kProgram);
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_version_flag("--version", std::string(kProgram) + " " + tavrek::kVersion);
    app.allow_windows_style_options(false);  // "/path/firmware.hex" is a file, not an option
    app.require_subcommand(1);
    WriteOptions write;
    ResetOptions reset;
    std::string checkFile;
    const Commands commands = defineCommands(app, write, reset, checkFile);
    tavrek::ProgramArguments arguments(argc, argv);
    if (const std::string mistake = commandLineMistake(app, arguments.count(), arguments.values()); !mistake.empty())
        return usageError(mistake);
    try {
        app.parse(arguments.count(), arguments.values());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitWritten : kExitBadCommandLine;
    }
    for (const CLI::App* command : {commands.write, commands.reset, commands.check, commands.ports})
        if (const std::string extra = extraArgument(*command); *command && !extra.empty())
            return usageError(extra);

    const auto ports = tavrek::makeSerialPortLister();
    try {
        if (*commands.write) {
            if (write.ports.empty())
                write.ports = {"COM1"};
            return writeCommand(write, *ports);
        }
        if (*commands.reset)
            return resetCommand(reset, *ports);
        if (*commands.check)
            return checkCommand(checkFile);
        return portsCommand(*ports);
    } catch (const UsageError& e) {
        return usageError(e.what());
    }
}
