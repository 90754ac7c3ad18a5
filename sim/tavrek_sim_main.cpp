// tavrek-sim: a dsPIC30F4011 serial bootloader on a pseudo-terminal, so that
// Tavrek can be tried and tested end to end without a chip.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "sim/bootloader.h"
#include "sim/pty_line.h"
#include "support/port_control.h"
#include "version.h"

namespace {

using tavrek::sim::Bootloader;
using tavrek::sim::Faults;
using tavrek::sim::PtyLine;
using Clock = PtyLine::Clock;
using tavrek::kFirstPort;
using tavrek::kLastPort;

constexpr int kExitUsage = 64;   // a bad command line
constexpr int kExitNoLine = 1;   // no pseudo-terminal could be had

// What the chip's application says with --talk-at-open, and when after the open.
constexpr const char* kApplicationLine = "blink 1.0 running\r\n";
constexpr auto kApplicationLineAfter = std::chrono::milliseconds(30);

constexpr const char* kDescription = R"(Serves a simulated dsPIC30F4011 serial bootloader on a new pseudo-terminal.
Prints the terminal's path and the line that points Tavrek's COM1 at it, e.g.
  /dev/pts/3
  TAVREK_COM1=/dev/pts/3
then answers the host until it is ended (Ctrl-C, SIGTERM). The host may close
and reopen the line: each open starts a new session, memory is kept.
Packets count from 1 per session, resends included.)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

struct Options {
    Faults faults;
    std::string savePath;
    std::string linkPath;
    int port = kFirstPort;
    int vanishAfter = 0;
    int latencyTimerMs = 0;
    bool talkAtOpen = false;
};

// A range check that the help text need not spell out: each option says its range.
CLI::Validator inRange(int low, int high)
{
    return CLI::Range(low, high).description("");
}

// Numbers are taken in decimal or as 0x hexadecimal.
void defineOptions(CLI::App& app, Options& options, int& typeCode)
{
    constexpr int kMaxCount = 1000000;          // packets in any session anyone would run
    constexpr int kMaxDelayUs = 60 * 1000000;   // a minute
    app.description(kDescription);
    app.set_version_flag("--version", std::string("tavrek-sim ") + tavrek::kVersion);
    app.add_option("--save", options.savePath,
                   "write the program flash rows and configuration words received so far as Intel HEX to "
                   "FILE: after every packet, before it is answered, and at the end")
        ->type_name("FILE");
    app.add_option("--link", options.linkPath,
                   "make PATH a symbolic link to the terminal, and hold the terminal open while serving, so that a "
                   "program that opens the device by that name finds it between its opens (a COM port of a Wine "
                   "prefix, say)")
        ->type_name("PATH");
    app.add_option("--port", options.port, "name TAVREK_COM<N> in the mapping line (1 to 5, default 1)")
        ->type_name("N")->check(inRange(kFirstPort, kLastPort));
    app.add_flag("--silent", options.faults.silent, "answer nothing at all")->group("Faults");
    app.add_option("--type-code", typeCode, "answer the start byte with type code N (default 0x01)")
        ->type_name("N")->check(inRange(0, 0xFF))->group("Faults");
    app.add_option("--ready-reply", options.faults.readyReply,
                   "send TEXT after the type code instead of \"K\" (\"\" for none)")
        ->type_name("TEXT")->group("Faults");
    app.add_option("--reject-packet", options.faults.rejectPacketOnce,
                   "answer packet N with \"N\" once; its resend is accepted")
        ->type_name("N")->check(inRange(1, kMaxCount))->group("Faults");
    app.add_option("--reject-first", options.faults.rejectFirstPackets,
                   "answer packets 1 to N with \"N\": with N = 9 the tenth send of the first packet is accepted")
        ->type_name("N")->check(inRange(1, kMaxCount))->group("Faults");
    app.add_option("--silent-after", options.faults.silentAfterPacket, "answer nothing after packet N")
        ->type_name("N")->check(inRange(1, kMaxCount))->group("Faults");
    app.add_flag("--reject-all", options.faults.rejectAll, "answer every packet with \"N\"")->group("Faults");
    app.add_option("--ack-delay-us", options.faults.ackDelayUs, "hold every acknowledgement N microseconds")
        ->type_name("N")->check(inRange(0, kMaxDelayUs))->group("Faults");
    app.add_flag("--line-pacing", options.faults.linePacing,
                 "hold every reply as long as the bytes take on a 115200 baud line plus the flash write")
        ->group("Faults");
    app.add_option("--latency-timer", options.latencyTimerMs,
                   "hold what the chip sends as a USB adapter with a latency timer of MS does (FTDI: 16 by "
                   "default): until MS have passed since the first byte held")
        ->type_name("MS")->check(inRange(1, 255))->group("Faults");
    app.add_flag("--talk-at-open", options.talkAtOpen,
                 "have the chip's application send a line of text 30 ms after each open of the line, before the "
                 "host resets the chip, as firmware that greets at its start does")
        ->group("Faults");
    app.add_option("--vanish-after", options.vanishAfter,
                   "close the line when packet N has arrived, unanswered: to the host the device has gone; "
                   "then save and exit")
        ->type_name("N")->check(inRange(1, kMaxCount))->group("Faults");
}

// Feeds the host's bytes to the bootloader and sends its replies when they are due.
class Server {
public:
    explicit Server(const Options& options) : options_(options), chip_(options.faults) {}

    void serve(PtyLine& line, const sigset_t& waitMask)
    {
        while (stopRequested == 0 && !vanished_) {
            const auto deadline = replies_.empty() ? std::nullopt : std::optional(replies_.front().due);
            const PtyLine::Received received = line.wait(deadline, waitMask);
            switch (received.event) {
            case PtyLine::Event::Data:
                take(received.bytes, Clock::now());
                break;
            case PtyLine::Event::HostOpened:
                restart();
                talk();
                break;
            case PtyLine::Event::HostGone:
                restart();
                break;
            case PtyLine::Event::Nothing:
            case PtyLine::Event::Interrupted:
                break;
            }
            if (vanished_)
                line.close();
            else
                sendDue(line);
        }
        save();
    }

private:
    struct Scheduled {
        Clock::time_point due;
        std::string bytes;
    };

    // One byte at a time, so that each reply is timed from its own message.
    void take(const std::string& bytes, Clock::time_point now)
    {
        for (const char byte : bytes) {
            if (vanished_)
                return;
            if (!messageStart_)
                messageStart_ = now;
            const std::size_t packetsBefore = chip_.packets().size();
            const int sessionsBefore = chip_.sessions();
            const auto replies = chip_.receive(std::string_view(&byte, 1));
            const bool packetDone = chip_.packets().size() != packetsBefore;
            if (!packetDone && chip_.sessions() == sessionsBefore)
                continue;
            schedule(replies, packetDone ? *messageStart_ : now, now);
            messageStart_.reset();
            if (packetDone)
                packetArrived();
        }
    }

    // A paced reply is timed from the packet's first byte: the real line
    // carries the bytes while the host is still writing them, where a
    // pseudo-terminal takes them all at once.
    void schedule(const std::vector<tavrek::sim::Reply>& replies, Clock::time_point packetStart,
                  Clock::time_point now)
    {
        const Clock::time_point from = chip_.faults().linePacing ? packetStart : now;
        for (const auto& reply : replies) {
            Clock::time_point due = std::max(from + std::chrono::microseconds(reply.delayUs), now);
            if (!replies_.empty())
                due = std::max(due, replies_.back().due);
            replies_.push_back({heldByAdapter(due), reply.bytes});
        }
    }

    // An adapter with a latency timer passes on what it has received when
    // the timer runs out, MS after the first byte it held; what comes
    // meanwhile goes with it.
    Clock::time_point heldByAdapter(Clock::time_point due)
    {
        if (options_.latencyTimerMs == 0)
            return due;
        if (!adapterRelease_ || due > *adapterRelease_)
            adapterRelease_ = due + std::chrono::milliseconds(options_.latencyTimerMs);
        return *adapterRelease_;
    }

    void packetArrived()
    {
        if (options_.vanishAfter > 0 && static_cast<int>(chip_.packets().size()) >= options_.vanishAfter) {
            vanished_ = true;
            replies_.clear();
        }
        save();
    }

    // A new open of the line, or its close, stands for a reset of the chip.
    void restart()
    {
        chip_.reset();
        replies_.clear();
        messageStart_.reset();
        adapterRelease_.reset();
    }

    // The application runs until the host resets the chip; what it sends
    // then reaches the host whatever the host does.
    void talk()
    {
        if (options_.talkAtOpen)
            replies_.push_back({Clock::now() + kApplicationLineAfter, kApplicationLine});
    }

    void sendDue(PtyLine& line)
    {
        while (!replies_.empty() && replies_.front().due <= Clock::now()) {
            line.send(replies_.front().bytes);
            replies_.pop_front();
        }
    }

    // Written aside and renamed, so that a reader never sees half a file.
    void save()
    {
        if (options_.savePath.empty())
            return;
        const std::string partial = options_.savePath + ".part";
        {
            std::ofstream file(partial, std::ios::binary | std::ios::trunc);
            file << chip_.toIntelHex();
            if (!file.flush())
                std::fprintf(stderr, "tavrek-sim: cannot write %s\n", partial.c_str());
        }
        if (std::rename(partial.c_str(), options_.savePath.c_str()) != 0)
            std::fprintf(stderr, "tavrek-sim: cannot write %s: %s\n", options_.savePath.c_str(),
                         std::strerror(errno));
    }

    const Options& options_;
    Bootloader chip_;
    std::deque<Scheduled> replies_;
    std::optional<Clock::time_point> messageStart_;
    std::optional<Clock::time_point> adapterRelease_;  // when the adapter passes on what it holds
    bool vanished_ = false;
};

// Points `link` at `target`, replacing what it was in one step, so that a
// program opening it never finds it missing.
void linkTo(const std::string& target, const std::string& link)
{
    const std::string fresh = link + ".new";
    std::remove(fresh.c_str());
    if (::symlink(target.c_str(), fresh.c_str()) != 0 || std::rename(fresh.c_str(), link.c_str()) != 0)
        throw std::runtime_error("cannot link " + link + " to " + target + ": " + std::strerror(errno));
}

// SIGINT and SIGTERM are held back except while waiting for the line, so that
// they end the wait at once and never cut a reply or a save in two.
sigset_t holdStopSignals()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stops, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    return waitMask;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app("", "tavrek-sim");
    Options options;
    int typeCode = options.faults.typeCode;
    defineOptions(app, options, typeCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }
    options.faults.typeCode = static_cast<std::uint8_t>(typeCode);
    const sigset_t waitMask = holdStopSignals();
    // Replies timed to tens of microseconds: no timer slack.
    prctl(PR_SET_TIMERSLACK, 1UL);
    try {
        PtyLine line(!options.linkPath.empty());
        if (!options.linkPath.empty())
            linkTo(line.devicePath(), options.linkPath);
        std::printf("%s\nTAVREK_COM%d=%s\n", line.devicePath().c_str(), options.port, line.devicePath().c_str());
        std::fflush(stdout);
        Server server(options);
        server.serve(line, waitMask);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrek-sim: %s\n", e.what());
        return kExitNoLine;
    }
    return 0;
}
