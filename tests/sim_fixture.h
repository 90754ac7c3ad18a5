#pragma once

// The Support procedures against the in-process simulated chip: a folder of
// HEX files, their records, a window that records what it is told, and the
// bytes a chip holds.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/serial_line.h"
#include "platform/text_file_reader.h"
#include "sim/bootloader.h"
#include "sim/fake_clock.h"
#include "sim/sim_port.h"
#include "support/support.h"
#include "support/window_services.h"

namespace tavrek::test {

// A folder of its own for each test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        do
            path_ = std::filesystem::temp_directory_path() / ("tavrek-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string write(const std::string& name, const std::string& content) const
    {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string record(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    return sim::intelHexRecord(type, offset, data.data(), data.size());
}
inline std::string dataRecord(std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    return record(0x00, offset, data);
}
inline std::string segmentRecord(std::uint16_t segment)  // extended linear address
{
    return record(0x04, 0, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}
inline const std::string kEndRecord = ":00000001FF\n";

#ifdef TAVREK_EXAMPLES
// The example firmware: a reset jump to word 0x100, code there, two
// configuration words; a Write sends 3 rows and 2 words.
inline const std::string kBlink = TAVREK_EXAMPLES "/blink.hex";
#endif

// A window that records what the procedures tell the operator.
class FakeWindow : public WindowServices {
public:
    explicit FakeWindow(PortControl& port) : port_(port) {}

    void putInfo(const std::string& message) override { log.push_back(message); }
    int portChoice() const override { return choice; }
    PortControl& portControl() override { return port_; }
    void messageBox(const std::string& text) override { boxes.push_back(text); }
    void processEvents() override
    {
        ++eventPasses;
        if (onProcessEvents)
            onProcessEvents();
    }

    std::vector<std::string> log;
    std::vector<std::string> boxes;
    int choice = 0;
    int eventPasses = 0;
    std::function<void()> onProcessEvents;

private:
    PortControl& port_;
};

// Support wired to real files, a recording window and the simulated chip on
// its port and fake clock.
struct SimHarness {
    sim::Bootloader chip;
    sim::FakeClock clock;
    sim::SimPort port{chip, clock};
    FakeWindow window{port};
    DiskFileSystem files;
    std::unique_ptr<Support> support = std::make_unique<Support>(window, files, clock);
    TempDir dir;

    SupportState& state() { return support->state(); }
    std::int16_t check(const std::string& content) { return support->checkHex(dir.write("check.hex", content)); }
    std::int16_t load(const std::string& content)
    {
        state().hexFileName = dir.write("load.hex", content);
        return support->loadHex();
    }
};

// A real line that counts the writes it is handed, one per packet where the
// host gathers what it sends.
class CountingLine : public SerialLine {
public:
    CountingLine(std::unique_ptr<SerialLine> line, int& writes) : line_(std::move(line)), writes_(writes) {}
    void applySettings(const LineSettings& settings) override { line_->applySettings(settings); }
    void setDtr(bool active) override { line_->setDtr(active); }
    std::size_t available() override { return line_->available(); }
    std::string take() override { return line_->take(); }
    void send(const std::string& bytes) override
    {
        ++writes_;
        line_->send(bytes);
    }
    void waitForInput(int maxMs) override { line_->waitForInput(maxMs); }

private:
    std::unique_ptr<SerialLine> line_;
    int& writes_;
};

inline LineOpener countingWrites(LineOpener open, int& writes)
{
    return [open = std::move(open), &writes](const std::string& device, const LineSettings& settings, bool dtr) {
        return std::make_unique<CountingLine>(open(device, settings, dtr), writes);
    };
}

// Bytes by their HEX address: what a chip holds, or what it must hold.
using ChipBytes = std::map<std::uint32_t, std::uint8_t>;

constexpr std::uint32_t kConfigHexAddress = 0x01F00000;  // configuration word 0 in a HEX file

// The data bytes of an Intel HEX file, placed by its extended linear addresses.
inline ChipBytes readHexBytes(const std::string& path)
{
    ChipBytes bytes;
    std::ifstream file(path);
    std::uint32_t upper = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.size() < 11)
            continue;
        const auto field = [&line](std::size_t at, std::size_t digits) {
            return static_cast<std::uint32_t>(std::stoul(line.substr(at, digits), nullptr, 16));
        };
        if (field(7, 2) == 0x04)
            upper = field(9, 4) << 16;
        for (std::uint32_t i = 0; field(7, 2) == 0x00 && i < field(1, 2); ++i)
            bytes[upper + field(3, 4) + i] = static_cast<std::uint8_t>(field(9 + 2 * i, 2));
    }
    return bytes;
}

#ifdef TAVREK_EXAMPLES
// What a chip holds after a write of blink.hex, worked out from the file
// alone: its bytes, with its reset jump (the first two instruction words)
// moved below the bootloader to word 0x7F3C and a jump to the bootloader
// (GOTO 0x7F40) in its place; the rest of every row written is erased.
inline ChipBytes blinkAsWritten()
{
    constexpr std::uint32_t kResetJumpBytes = 8;
    constexpr std::uint32_t kMovedResetJump = 0xFE78;  // HEX address of word 0x7F3C
    ChipBytes expected{{0, 0x40}, {1, 0x7F}, {2, 0x04}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}};
    for (const auto& [address, byte] : readHexBytes(kBlink))
        expected[address < kResetJumpBytes ? kMovedResetJump + address : address] = byte;
    for (const auto& [address, byte] : ChipBytes(expected)) {
        const std::uint32_t row = static_cast<std::uint32_t>(address / kRowBytes * kRowBytes);
        for (std::uint32_t i = row; address < kConfigHexAddress && i < row + kRowBytes; ++i)
            expected.try_emplace(i, 0xFF);
    }
    return expected;
}
#endif

} // namespace tavrek::test
