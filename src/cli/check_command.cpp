// Checking and loading a HEX file as a Write does, and the check command,
// which tells what a write of it would send.

#include <cstdio>

#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/exit_status.h"
#include "cli/hints.h"
#include "diagnostics.h"
#include "platform/steady_clock.h"
#include "platform/text_file_reader.h"

namespace tavrek::cli {

namespace {

constexpr std::size_t kRowWords = kRowBytes / 2;             // word addresses per flash row
constexpr std::uint32_t kConfigWordAddress = 0xF80000;       // configuration word 0
constexpr std::uint32_t kMovedResetVector = 0x7F3C;          // where the application's reset jump goes
constexpr std::uint32_t kBootloaderEntry = 0x7F40;           // the bootloader's first word
constexpr std::size_t kChipRows = 512;                       // the dsPIC30F4011's 48 KB of flash
constexpr std::size_t kFirstBootloaderRow = kBootloaderEntry / kRowWords;
constexpr std::uint32_t kGotoOpcode = 0x04;                  // upper byte of a GOTO's first word

std::string wordAddress(std::uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", address);
    return text;
}

// Runs of marked rows as word-address ranges: "0x000000-0x00003F, ...".
std::string rowRanges(const SupportState& images, std::size_t& rows)
{
    std::string ranges;
    rows = 0;
    for (std::size_t row = 0; row < kRows; ++row) {
        if (!images.rowDirty[row])
            continue;
        std::size_t last = row;
        while (last + 1 < kRows && images.rowDirty[last + 1])
            ++last;
        ranges += (ranges.empty() ? "" : ", ") + wordAddress(static_cast<std::uint32_t>(row * kRowWords)) + "-" +
                  wordAddress(static_cast<std::uint32_t>((last + 1) * kRowWords - 1));
        rows += last - row + 1;
        row = last;
    }
    return ranges;
}

std::uint32_t instructionWord(const SupportState& images, std::size_t at)
{
    return images.progImage[at] | images.progImage[at + 1] << 8 | images.progImage[at + 2] << 16;
}

// The application's reset jump as the images hold it at its new place.
std::string resetJump(const SupportState& images)
{
    const std::size_t moved = 2 * kMovedResetVector;
    if (!images.rowDirty[0])
        return "Reset jump: none, the file writes nothing at word address 0x000000; the chip keeps its own, and " +
               wordAddress(kMovedResetVector) + " gets erased words";
    const std::uint32_t first = instructionWord(images, moved);
    const std::uint32_t second = instructionWord(images, moved + 4);
    const std::string where = ", moved to word address " + wordAddress(kMovedResetVector) + "; GOTO " +
                              wordAddress(kBootloaderEntry) + " (the bootloader) takes its place";
    if (first >> 16 != kGotoOpcode) {
        char words[64];
        std::snprintf(words, sizeof words, "words 0x%06X 0x%06X (not a GOTO)", first, second);
        return std::string("Reset vector: ") + words + where;
    }
    return "Reset jump: GOTO " + wordAddress((first & 0xFFFE) | (second & 0x7F) << 16) + where;
}

} // namespace

LoadedFile loadFile(const std::string& file, const std::string& wholePath, Console& console)
{
    ConsoleWindow window(console, "", nullptr);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    support.state().hexFileName = wholePath;
    const std::int16_t status = support.loadHex();
    LoadedFile loaded;
    loaded.bytes = support.hexFileBytes();
    if (window.messageBoxText()) {
        loaded.refusal = *window.messageBoxText() + " " + support.failureCause();
        console.errorLine("", loaded.refusal);
        console.errorLine("", std::string(adviceFor("Cannot open file")));
    } else if (status < 0) {
        loaded.refusal = whereRefused(file, support.lastCheck());
        console.errorLine("", loaded.refusal);
    } else {
        loaded.images = support.state();
    }
    return loaded;
}

bool soundHexFile(const std::string& wholePath)
{
    Console silent(true, false);
    ConsoleWindow window(silent, "", nullptr);
    DiskFileSystem files;
    SteadyClock clock;
    Support support(window, files, clock);
    try {
        return support.checkHex(wholePath) == kHexSound;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> describeImages(const SupportState& images)
{
    std::size_t rows = 0;
    const std::string ranges = rowRanges(images, rows);
    std::string words;
    std::size_t wordCount = 0;
    for (std::size_t word = 0; word < kCfgWords; ++word)
        if (images.cfgDirty[word]) {
            words += (words.empty() ? "" : ", ") + wordAddress(static_cast<std::uint32_t>(kConfigWordAddress + 2 * word));
            ++wordCount;
        }
    std::vector<std::string> lines = {
        "Flash rows: " + std::to_string(rows) + " (word addresses " + ranges + ")",
        "Configuration words: " + std::to_string(wordCount) + (words.empty() ? "" : " (word addresses " + words + ")"),
        resetJump(images),
    };
    const auto marked = [&images](std::size_t from, std::size_t to) {
        for (std::size_t row = from; row < to; ++row)
            if (images.rowDirty[row])
                return true;
        return false;
    };
    if (marked(kFirstBootloaderRow, kChipRows))
        lines.push_back("Warning: the file writes word addresses " + wordAddress(kBootloaderEntry) +
                        " and up, where the bootloader lives");
    if (marked(kChipRows, kRows))
        lines.push_back("Warning: the file writes beyond the dsPIC30F4011's 48 KB of flash (word address " +
                        wordAddress(kChipRows * kRowWords) + " and up)");
    return lines;
}

int checkCommand(const std::string& file)
{
    Console console(false, false);
    // Loading makes the program's own folder current: a relative name must
    // be made whole first.
    const LoadedFile loaded = loadFile(file, absolutePath(file), console);
    if (!loaded.images)
        return kExitFileFailed;
    console.logLine("", file + ": sound; a write sends these packets:");
    for (const std::string& line : describeImages(*loaded.images))
        console.logLine("", "  " + line);
    return kExitWritten;
}

} // namespace tavrek::cli
