// Checking an Intel HEX file (32-bit form) and loading it into the memory
// images, with the chip's reset vector redirected to the bootloader.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "support/failures.h"
#include "support/support.h"
#include "support/text_file.h"
#include "support/window_services.h"

namespace tavrek {

namespace {

// Record fields at fixed 1-based character positions, counted from the ':'.
constexpr std::size_t kCountPos = 2;
constexpr std::size_t kOffsetPos = 4;
constexpr std::size_t kTypePos = 8;
constexpr std::size_t kDataPos = 10;
constexpr std::size_t kFrameBytes = 5;  // count, two offset bytes, type, checksum

constexpr unsigned kTypeData = 0x00;
constexpr unsigned kTypeEndOfFile = 0x01;
constexpr unsigned kTypeExtendedLinearAddress = 0x04;

// Extended linear addresses 0 to 31 address program memory; 0x01F0 is
// configuration memory, word address 0xF80000 (HEX address 0x01F00000).
constexpr unsigned kLastProgramSegment = 31;
constexpr unsigned kConfigSegment = 0x01F0;
constexpr std::size_t kSegmentBytes = 65536;

constexpr std::uint8_t kErased = 0xFF;  // erased flash

// The application's reset jump (the first two instructions, HEX bytes 0 to 7)
// moves to word address 0x7F3C, the last two instructions of row 508, just
// below the bootloader; in its place goes a GOTO to the bootloader's entry at
// word address 0x7F40.
constexpr std::size_t kResetVectorBytes = 8;
constexpr std::size_t kMovedResetVector = 65144;  // HEX address of word 0x7F3C
constexpr std::size_t kMovedResetVectorRow = 508;
constexpr std::array<std::uint8_t, kResetVectorBytes> kBootloaderJump = {
    0x40, 0x7F, 0x04, 0x00,  // GOTO 0x007F40, first word 0x047F40
    0x00, 0x00, 0x00, 0x00,  // second word 0x000000
};

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of the hexadecimal digits that the field of `width` characters at
// 1-based `position` begins with: 0 when it begins with none, and only the
// digits before the line's end count. So "1G" reads 1, "G1" 0, a field cut
// short to "1" reads 1, and a field past the end reads 0.
unsigned readField(std::string_view line, std::size_t position, std::size_t width)
{
    unsigned value = 0;
    for (std::size_t i = position - 1; i < position - 1 + width && i < line.size(); ++i) {
        const int digit = hexDigitValue(line[i]);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

unsigned readByte(std::string_view line, std::size_t position)
{
    return readField(line, position, 2);
}

bool startsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The record's checksum byte, and the one that would make its bytes sum to 0
// in their low 8 bits; equal when the record passes.
struct RecordChecksum {
    unsigned given;
    unsigned expected;
};

RecordChecksum recordChecksum(std::string_view line)
{
    const unsigned count = readByte(line, kCountPos);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < count + kFrameBytes; ++i)
        sum += readByte(line, 2 * i + 2);
    const unsigned given = readByte(line, 2 * (count + kFrameBytes - 1) + 2);
    return {given, (256 - sum % 256) % 256};
}

// Characters of a record of `count` data bytes: the ':' and two for each byte.
std::size_t recordLength(unsigned count)
{
    return 1 + 2 * (count + kFrameBytes);
}

// Why a record is shorter than its byte count says, or empty. Missing pairs
// would count 0, so that a line cut at random passed one time in 256 and
// loaded zeros; a record with no data bytes promises nothing and is read as
// it stands (":" alone is an empty data record).
std::string cutOff(std::string_view line)
{
    const unsigned count = readByte(line, kCountPos);
    if (count == 0 || line.size() >= recordLength(count))
        return {};
    return "the record is cut off: its byte count, " + std::to_string(count) + ", needs " +
           std::to_string(recordLength(count)) + " characters, the line has " + std::to_string(line.size());
}

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// The lines of a file already read whole, each without its terminator: a
// line ends at LF, at CR LF or at a lone CR, and a last line without a
// terminator is still a line.
class Lines {
public:
    explicit Lines(std::string_view bytes) : rest_(bytes) {}

    bool atEnd() const { return rest_.empty(); }

    std::string_view next()
    {
        const std::size_t end = std::min(rest_.find_first_of("\r\n"), rest_.size());
        const std::string_view line = rest_.substr(0, end);
        const std::size_t terminator = end == rest_.size() ? 0 : rest_.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        rest_.remove_prefix(end + terminator);
        return line;
    }

private:
    std::string_view rest_;
};

// Reads lines up to the end record; the first line that fails decides, and
// `facts` tells which line that was and what was wrong with it.
std::int16_t checkLines(std::string_view bytes, HexFacts& facts)
{
    Lines lines(bytes);
    if (lines.atEnd()) {
        facts.detail = "the file is empty";
        return kHexEmptyFile;
    }
    for (;;) {
        ++facts.line;
        const std::string_view line = lines.next();
        const char first = line.empty() ? ' ' : line.front();
        unsigned type = kTypeData;
        if (first == ':') {
            type = readByte(line, kTypePos);
            if (std::string cut = cutOff(line); !cut.empty()) {
                facts.detail = std::move(cut);
                return kHexChecksumError;
            }
            if (const RecordChecksum checksum = recordChecksum(line); checksum.given != checksum.expected) {
                facts.detail = "the record's checksum is wrong (" + hexByte(checksum.given) + ", " +
                               hexByte(checksum.expected) + " expected)";
                return kHexChecksumError;
            }
        } else if (!startsBlank(first)) {
            facts.detail = "the line is neither a record (\":...\") nor blank";
            return kHexBadLine;
        }
        if (type == kTypeEndOfFile)
            return kHexSound;
        if (lines.atEnd()) {
            facts.detail = "the file ends without the end-of-file record (:00000001FF)";
            return kHexNoEndRecord;
        }
    }
}

void closeQuietly(TextStream& stream)
{
    try {
        stream.close();
    } catch (const std::exception&) {
    }
}

void resetImages(SupportState& s)
{
    std::fill_n(s.rowDirty.begin(), kRows, false);
    std::fill_n(s.progImage.begin(), kProgBytes, kErased);
    std::fill_n(s.cfgDirty.begin(), kCfgWords, false);
    std::fill_n(s.cfgImage.begin(), kCfgBytes, kErased);
}

std::string hexAddress(std::size_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08zX", address);
    return text;
}

// Stores are bounds-checked: a byte outside an image throws out_of_range,
// which ends the load.
void storeProgramByte(SupportState& s, std::size_t address, std::uint8_t value)
{
    if (address >= s.progImage.size())
        throw std::out_of_range("data at HEX address " + hexAddress(address) + " lies beyond program memory");
    s.progImage[address] = value;
    s.rowDirty.at(address / kRowBytes) = true;
}

void storeConfigByte(SupportState& s, std::size_t offset, std::uint8_t value)
{
    if (offset >= s.cfgImage.size())
        throw std::out_of_range("data at HEX address " + hexAddress(kConfigSegment * kSegmentBytes + offset) +
                                " lies beyond configuration memory");
    s.cfgImage[offset] = value;
    s.cfgDirty.at(offset / kCfgWordBytes) = true;
}

void storeDataRecord(SupportState& s, std::string_view line, unsigned segment)
{
    const unsigned count = readByte(line, kCountPos);
    const std::size_t offset = readField(line, kOffsetPos, 4);
    std::array<std::uint8_t, 257> recBytes{};
    for (unsigned k = 0; k < count; ++k)
        recBytes[k] = static_cast<std::uint8_t>(readByte(line, kDataPos + 2 * k));

    if (segment <= kLastProgramSegment) {
        const std::size_t base = segment * kSegmentBytes + offset;
        for (unsigned k = 0; k < count; ++k)
            storeProgramByte(s, base + k, recBytes[k]);
    } else if (segment == kConfigSegment) {
        for (unsigned k = 0; k < count; ++k)
            storeConfigByte(s, offset + k, recBytes[k]);
    }
}

void loadRecords(SupportState& s, std::string_view bytes, std::size_t& lineNumber)
{
    unsigned segment = 0;  // the extended linear address
    for (Lines lines(bytes); !lines.atEnd();) {
        ++lineNumber;
        const std::string_view line = lines.next();
        if (line.empty() || line.front() != ':')
            continue;
        const unsigned type = readByte(line, kTypePos);
        if (type == kTypeData)
            storeDataRecord(s, line, segment);
        else if (type == kTypeEndOfFile)
            break;
        else if (type == kTypeExtendedLinearAddress)
            segment = readField(line, kDataPos, 4);
    }
}

void moveResetVector(SupportState& s)
{
    std::copy_n(s.progImage.begin(), kResetVectorBytes, s.progImage.begin() + kMovedResetVector);
    s.rowDirty[kMovedResetVectorRow] = true;
    std::copy(kBootloaderJump.begin(), kBootloaderJump.end(), s.progImage.begin());
}

} // namespace

std::int16_t Support::checkHex(const std::string& path)
{
    // Failing to reach the file is no status: it passes to the caller.
    lastCheck_ = {};
    hexFileBytes_.reset();
    files_.enterProgramFolder();
    const auto stream = files_.openTextFile(path);
    try {
        hexFileBytes_ = stream->readAll();
        stream->close();
    } catch (const std::exception& failure) {
        hexFileBytes_.reset();
        closeQuietly(*stream);
        lastCheck_.detail = std::string("the file could not be read: ") + failure.what();
        return kHexReadFailure;
    }
    return checkLines(*hexFileBytes_, lastCheck_);
}

std::int16_t Support::loadHex()
{
    std::size_t lineNumber = 0;
    try {
        const std::int16_t status = checkHex(state_.hexFileName);
        if (status < 0) {
            window_.putInfo("Could not parse hex file.");
            return status;
        }
        // The bytes the check passed, not the file read again: a file
        // rebuilt meanwhile is never loaded unchecked, half written.
        resetImages(state_);
        loadRecords(state_, *hexFileBytes_, lineNumber);
        moveResetVector(state_);
        return kHexLoaded;
    } catch (const std::exception& failure) {
        // "blink.hex:12: ...", or "(no file chosen)" where there is no file to name.
        const std::string where = state_.hexFileName + (lineNumber ? ":" + std::to_string(lineNumber) : "");
        failureCause_ = where.empty() ? std::string("(") + failure.what() + ")" : where + ": " + failure.what();
        window_.messageBox("Cannot open file");
        return kHexCannotOpen;
    }
}

} // namespace tavrek
