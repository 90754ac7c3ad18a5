// tavrek-cli: write, reset and check from a terminal, a build script or a
// production bench, on the same procedures and port layer as the window.

#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "platform/port_factory.h"
#include "platform/program_arguments.h"
#include "version.h"

namespace {

using namespace tavrek::cli;

constexpr const char* kDescription =
    "Writes firmware into dsPIC30F4011/4012 chips through their serial bootloader, as the Tavrek window does.";

#ifdef _WIN32
constexpr const char* kPortHelp =
    "COM1 to COM256, the system's own (tavrek-cli ports shows them), or a device such as \\\\.\\COM7; "
    "given several times, writes every chip at once (default COM1)";

constexpr const char* kPortsHelp = R"(Ports:
  COMn is the system's own COMn, as Device Manager shows it.
  TAVREK_COMn=COMm makes COMn (1 to 5) open COMm.
)";
#else
constexpr const char* kPortHelp =
    "COM1 to COM5, numbered as in the window (tavrek-cli ports shows them), or a device such as /dev/ttyUSB0; "
    "given several times, writes every chip at once (default COM1)";

constexpr const char* kPortsHelp = R"(Ports:
  Without TAVREK_COMn, COMn is the n-th serial port present: built-in ports
  (/dev/ttyS*) first, then USB and other adapters (/dev/ttyUSB*, /dev/ttyACM*,
  the rest), each kind by number. TAVREK_COMn=DEVICE makes COMn open DEVICE.
)";
#endif

// A PORT value: COM1 to COM5 or a device.
CLI::Validator portName()
{
    return CLI::Validator([](std::string& name) { return checkPortName(name); }, "", "port name");
}

struct Commands {
    CLI::App* write = nullptr;
    CLI::App* reset = nullptr;
    CLI::App* check = nullptr;
    CLI::App* ports = nullptr;
};

Commands defineCommands(CLI::App& app, WriteOptions& write, std::string& resetPort, std::string& checkFile)
{
    Commands commands;
    commands.write = app.add_subcommand("write", "Check and load FILE, then write it into the chip through the bootloader");
    commands.write->add_option("FILE", write.file, "Intel HEX file (32-bit form)")->required()->type_name("");
    commands.write->add_option("--port", write.ports, kPortHelp)->type_name("PORT")->check(portName());
    commands.write->add_flag("--trace", write.trace,
                             "write every byte sent (TX) and received (RX) to standard error, with a time stamp in ms");
    commands.write->add_flag("--quiet", write.quiet, "print errors only: no log, no progress bar");

    commands.reset = app.add_subcommand("reset", "Pulse the chip's reset line (DTR) for 50 ms, as the window's Reset");
    commands.reset->add_option("--port", resetPort, "COM1 to COM5 or a device (default COM1)")
        ->type_name("PORT")->check(portName());

    commands.check = app.add_subcommand("check", "Check and load FILE without touching a port; tell what a write would send");
    commands.check->add_option("FILE", checkFile, "Intel HEX file (32-bit form)")->required()->type_name("");

    commands.ports = app.add_subcommand("ports", "List COM1 to COM5 with the device each opens now, then every serial port present");
    for (CLI::App* command : {commands.write, commands.reset, commands.check, commands.ports})
        command->footer(kExitStatusHelp);
    return commands;
}

// One command as the manual lists it: its usage, what it does, and each
// option with what it means.
std::string commandHelp(const CLI::App& command)
{
    std::string usage = "  tavrek-cli " + command.get_name();
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
        options += "  " + name + std::string(name.size() < 14 ? 14 - name.size() : 2, ' ') +
                   option->get_description() + "\n";
    }
    return usage + "\n      " + command.get_description() + "\n" + (options.empty() ? "" : "\n" + options);
}

// The whole manual in one --help: every command with its options, then the
// ports and the exit statuses.
std::string everyCommandsHelp(const Commands& commands)
{
    std::string text = "Commands:\n";
    for (CLI::App* command : {commands.write, commands.reset, commands.check, commands.ports})
        text += commandHelp(*command) + "\n";
    return text + kPortsHelp + "\n" + kExitStatusHelp;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "tavrek-cli");
    app.set_version_flag("--version", std::string("tavrek-cli ") + tavrek::kVersion);
    app.allow_windows_style_options(false);  // "/path/firmware.hex" is a file, not an option
    app.require_subcommand(1);
    WriteOptions write;
    write.ports = {};
    std::string resetPort = "COM1";
    std::string checkFile;
    const Commands commands = defineCommands(app, write, resetPort, checkFile);
    app.footer([&commands] { return everyCommandsHelp(commands); });
    tavrek::ProgramArguments arguments(argc, argv);
    try {
        app.parse(arguments.count(), arguments.values());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitWritten : kExitBadCommandLine;
    }

    const auto ports = tavrek::makeSerialPortLister();
    tavrek::SerialPortLister& lister = *ports;
    try {
        if (*commands.write) {
            if (write.ports.empty())
                write.ports = {"COM1"};
            return writeCommand(write, lister);
        }
        if (*commands.reset)
            return resetCommand(resetPort, lister);
        if (*commands.check)
            return checkCommand(checkFile);
        return portsCommand(lister);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tavrek-cli: %s\n", e.what());
        return kExitBadCommandLine;
    }
}
