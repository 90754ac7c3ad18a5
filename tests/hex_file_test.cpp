// The HEX check's status codes and the loading of the memory images, last
// of files made by an independent producer (srec_cat).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "sim_fixture.h"
#include "support/failures.h"

namespace tavrek::test {
namespace {

const std::string kData = dataRecord(0, {1, 2, 3, 4});
const std::string kDataLine = kData.substr(0, kData.size() - 1);  // without its LF

TEST(CheckHex, GivesTheStatusOfTheFirstLineThatDecides)
{
    // The line that decided, counted from 1, and for a refused file what was wrong there.
    const struct {
        const char* what;
        std::string content;
        std::int16_t status;
        std::size_t line;
        const char* detail = "";
    } cases[] = {
        {"zero bytes", "", kHexEmptyFile, 0, "the file is empty"},
        {"only the end record", kEndRecord, kHexSound, 1},
        {"end record without a line end", ":00000001FF", kHexSound, 1},
        {"CR LF and lone CR end lines", kDataLine + "\r\n" + kDataLine + "\r:00000001FF", kHexSound, 3},
        {"data without an end record", kData + kData, kHexNoEndRecord, 2,
         "the file ends without the end-of-file record (:00000001FF)"},
        {"blank lines only", "\n  \n\t\n", kHexNoEndRecord, 3},
        {"end record with a wrong checksum", ":00000001FE\n", kHexChecksumError, 1,
         "the record's checksum is wrong (0xFE, 0xFF expected)"},
        {"garbage after the end record is not read", kEndRecord + "garbage\n:zz\n", kHexSound, 1},
        {"an indented bad record is a blank line", " :0400000001\n\t:FF\n" + kEndRecord, kHexSound, 3},
        {"a letter", kData + "x" + kEndRecord, kHexBadLine, 2, "the line is neither a record (\":...\") nor blank"},
        {"a byte-order mark", "\xEF\xBB\xBF" + kEndRecord, kHexBadLine, 1},
        {"a lone colon is an empty data record", ":\n" + kEndRecord, kHexSound, 2},
        {"lower-case digits", ":04000000deadbeefc4\n" + kEndRecord, kHexSound, 2},
        {"other record types pass on their checksum",
         record(2, 0, {0x10, 0}) + record(5, 0, {0, 0, 1, 2}) + record(0x7E, 0, {}) + kEndRecord, kHexSound, 4},
        {"the first failing line decides", kData + ":00000001FE\n" + kData + "bad\n", kHexChecksumError, 2},
        {"good checksum with trailing spaces", ":00000001FF   \n", kHexSound, 1},
        {"a record cut off, though what it has sums to 0", ":1002000000EE\n" + kEndRecord, kHexChecksumError, 1,
         "the record is cut off: its byte count, 16, needs 43 characters, the line has 13"},
        {"a pair counts the digits it begins with", ":010000001GFE\n" + kEndRecord, kHexSound, 2},
        {"a pair that begins with no digit counts 0", ":01000000G1FF\n" + kEndRecord, kHexSound, 2},
        {"a checksum cut short counts its one digit", ":00000001F\n", kHexChecksumError, 1,
         "the record's checksum is wrong (0x0F, 0xFF expected)"},
        {"255 data bytes", dataRecord(0, std::vector<std::uint8_t>(255, 0xA5)) + kEndRecord, kHexSound, 2},
    };
    SimHarness h;
    for (const auto& c : cases) {
        EXPECT_EQ(h.check(c.content), c.status) << c.what;
        EXPECT_EQ(h.support->lastCheck().line, c.line) << c.what;
        if (*c.detail || c.status == kHexSound) {
            EXPECT_EQ(h.support->lastCheck().detail, c.detail) << c.what;
        }
    }
}

TEST(CheckHex, MakesTheProgramFolderCurrentAndResolvesRelativePathsThere)
{
    SimHarness h;
    const auto folder = programFolder();
    const auto name = "tavrek-relative-" + h.dir.path().filename().string() + ".hex";
    std::ofstream(folder / name) << kEndRecord;
    std::filesystem::current_path(h.dir.path());
    EXPECT_EQ(h.support->checkHex(name), kHexSound);
    EXPECT_EQ(std::filesystem::current_path(), folder);
    std::filesystem::remove(folder / name);
}

TEST(CheckHex, StopsReadingAFileLargerThanAnyHexFile)
{
    SimHarness h;
    const auto huge = h.dir.path() / "huge.hex";
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, 17 << 20);  // reads as zeros, as an endless device does
    EXPECT_EQ(h.support->checkHex(huge.string()), kHexReadFailure);
    EXPECT_EQ(h.support->lastCheck().detail,
              "the file could not be read: it is larger than 16 MiB, far more than any HEX file for this chip");
}

// The byte at a HEX address in the images.
std::uint8_t byteAt(const SupportState& s, std::uint32_t address)
{
    return address >= kConfigHexAddress ? s.cfgImage.at(address - kConfigHexAddress) : s.progImage.at(address);
}

std::vector<std::size_t> marked(const bool* first, std::size_t count)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < count; ++i)
        if (first[i])
            at.push_back(i);
    return at;
}

const std::vector<std::uint8_t> kBootloaderJump = {0x40, 0x7F, 0x04, 0, 0, 0, 0, 0};  // GOTO 0x7F40
constexpr std::uint32_t kMovedVector = 65144;  // HEX address of word 0x7F3C, in row 508
constexpr std::uint32_t kCfg = kConfigHexAddress;

// Every load that succeeds puts the bootloader jump in place of the file's
// reset vector, which moves to word 0x7F3C, and marks row 508.
TEST(LoadHex, PlacesEveryByteByItsAddressAndMarksWhatItTouches)
{
    std::vector<std::uint8_t> sixteen(16);
    for (std::size_t i = 0; i < 16; ++i)
        sixteen[i] = static_cast<std::uint8_t>(0x30 + i);
    const struct {
        const char* what;
        std::string file;
        std::vector<std::size_t> rows;   // marked
        std::vector<std::size_t> words;  // configuration words marked
        ChipBytes bytes;                 // by HEX address
    } cases[] = {
        {"the end record alone", kEndRecord, {508}, {}, {{kMovedVector, 0xFF}, {509 * 128 - 1, 0xFF}, {kCfg, 0xFF}}},
        {"configuration words only",
         segmentRecord(0x01F0) + dataRecord(4, {1, 2, 3, 0}) + dataRecord(24, {9, 8}) + kEndRecord, {508}, {1, 6},
         {{kCfg + 3, 0xFF}, {kCfg + 4, 1}, {kCfg + 6, 3}, {kCfg + 24, 9}, {kCfg + 26, 0xFF}, {kMovedVector, 0xFF}}},
        {"by extended linear address; segment records and memory outside both ignored",
         dataRecord(0x0078, sixteen) + record(2, 0, {0x10, 0x00}) + segmentRecord(1) + dataRecord(0, {0xAA, 0xBB}) +
             segmentRecord(0x00FF) + dataRecord(0, {1}) + segmentRecord(0x0020) + dataRecord(0, {1}) + kEndRecord,
         {0, 1, 508, 512}, {}, {{120, 0x30}, {135, 0x3F}, {65536, 0xAA}, {65537, 0xBB}}},
        {"the application's reset jump moves over what the file gave there",
         dataRecord(0, {0x00, 0x12, 0x04, 0, 0, 0, 0, 0x07}) + dataRecord(65144, {1, 2, 3, 4, 5, 6, 7, 8, 9}) +
             kEndRecord,
         {0, 508, 509}, {}, {{kMovedVector, 0x00}, {kMovedVector + 1, 0x12}, {kMovedVector + 7, 0x07}, {65152, 9}}},
        {"a later line wins; other lines and what follows the end record are skipped",
         dataRecord(16, {1, 2, 3}) + "\n \t :garbage\n:\n" + dataRecord(17, {9}) + kEndRecord + dataRecord(16, {7}),
         {0, 508}, {}, {{16, 1}, {17, 9}, {18, 3}}},
        // "01G4" reads 0x01; the checksum counts "G4" as 0.
        {"a 16-bit field reads the digits it begins with", ":0200000401G4F9\n" + dataRecord(0, {0x5A}) + kEndRecord,
         {508, 512}, {}, {{65536, 0x5A}}},
        // Positions 10 to 13 whatever the count says: 0x00FB, a segment beyond memory.
        {"a type 04 record reads four digits", ":0100000400FB\n" + dataRecord(16, {0x5B}) + kEndRecord, {508}, {},
         {{16, 0xFF}}},
        {"the last program and configuration entries, one beyond the ranges",
         segmentRecord(3) + dataRecord(0x0D40, {0x42}) + segmentRecord(0x01F0) + dataRecord(28, {0x43}) + kEndRecord,
         {508, 1562}, {7}, {{200000, 0x42}, {kCfg + 28, 0x43}}},
    };
    for (const auto& c : cases) {
        SimHarness h;
        ASSERT_EQ(h.load(c.file), kHexLoaded) << c.what;
        const SupportState& s = h.state();
        EXPECT_EQ(std::vector<std::uint8_t>(s.progImage.begin(), s.progImage.begin() + 8), kBootloaderJump) << c.what;
        EXPECT_EQ(marked(s.rowDirty.data(), kRowDirtySize), c.rows) << c.what;
        EXPECT_EQ(marked(s.cfgDirty.data(), kCfgDirtySize), c.words) << c.what;
        for (const auto& [address, byte] : c.bytes)
            EXPECT_EQ(byteAt(s, address), byte) << c.what << " at " << address;
        EXPECT_TRUE(h.window.log.empty() && h.window.boxes.empty()) << c.what;
    }
}

TEST(LoadHex, ResetsOnlyTheWritableRangesAndStartsAfreshAfterAFailedLoad)
{
    SimHarness h;
    SupportState& s = h.state();
    s.progImage[200000] = 0x77;
    s.rowDirty[1600] = true;
    s.cfgImage[28] = 0x66;
    s.cfgDirty[7] = true;
    ASSERT_EQ(h.load(segmentRecord(1) + dataRecord(128 * 700 - 65536, {1}) + segmentRecord(4) + dataRecord(0, {1}) +
                     kEndRecord),
              kHexCannotOpen);
    ASSERT_EQ(h.load(dataRecord(0, {0, 1, 2, 3, 4, 5, 6, 7}) + kEndRecord), kHexLoaded);
    EXPECT_EQ(marked(s.rowDirty.data(), kRowDirtySize), (std::vector<std::size_t>{0, 508, 1600}));
    EXPECT_EQ(s.progImage[128 * 700], 0xFF);
    EXPECT_EQ(s.progImage[200000], 0x77);
    EXPECT_EQ(s.cfgImage[28], 0x66);
    EXPECT_EQ(marked(s.cfgDirty.data(), kCfgDirtySize), std::vector<std::size_t>{7});
}

// A file refused by the check is logged and leaves the images alone; one
// that cannot be opened, or stores a byte beyond an image, shows the box.
TEST(LoadHex, RefusedFilesLogOrShowTheBoxAndMoveNoVector)
{
    SimHarness h;
    ASSERT_EQ(h.load(dataRecord(0, {7})), kHexNoEndRecord);
    h.state().hexFileName = "/proc/self/mem";  // opens, but reading at offset 0 fails
    EXPECT_EQ(h.support->loadHex(), kHexReadFailure);
    EXPECT_EQ(h.window.log, std::vector<std::string>(2, "Could not parse hex file."));
    EXPECT_EQ(h.state().progImage[0], 0);
    for (const std::string& path : {std::string{}, (h.dir.path() / "missing.hex").string(), h.dir.path().string()}) {
        EXPECT_THROW(h.support->checkHex(path), FileOpenFailure) << path;
        h.state().hexFileName = path;
        EXPECT_EQ(h.support->loadHex(), kHexCannotOpen) << path;
    }
    EXPECT_EQ(h.window.boxes, std::vector<std::string>(3, "Cannot open file"));

    for (const std::string& beyond : {segmentRecord(3) + dataRecord(0x0D3F, {1, 2, 3}),
                                       segmentRecord(0x01F0) + dataRecord(27, {1, 2, 3}),
                                       segmentRecord(4) + dataRecord(0, {1}), segmentRecord(31) + dataRecord(0, {1})}) {
        SimHarness fresh;
        EXPECT_EQ(fresh.load(dataRecord(0, {0x11}) + beyond + kEndRecord), kHexCannotOpen);
        EXPECT_EQ(fresh.window.boxes, std::vector<std::string>{"Cannot open file"});
        const SupportState& s = fresh.state();
        EXPECT_EQ(s.progImage[0], 0x11) << "bytes before the failing one stay; the vector is not moved";
        EXPECT_EQ(s.progImage[kMovedVector], 0xFF);
        EXPECT_FALSE(s.rowDirty[508]);
    }
}

// A file rebuilt, cut short, at every open after the first.
struct RebuiltFile : DiskFileSystem {
    std::string versions[2];
    TempDir dir;
    std::size_t opens = 0;
    std::unique_ptr<TextStream> openTextFile(const std::string&) override
    {
        return DiskFileSystem::openTextFile(dir.write("rebuilt.hex", versions[opens++ ? 1 : 0]));
    }
    void enterProgramFolder() override {}
};

// Check, load and the digest of what was written take one read of the file,
// so that a rebuild landing between them is never loaded unchecked.
TEST(LoadHex, LoadsTheBytesTheCheckPassedFromOneRead)
{
    const std::string whole = dataRecord(512, std::vector<std::uint8_t>(16, 0x5A)) + kEndRecord;  // row 4
    RebuiltFile files;
    files.versions[0] = whole, files.versions[1] = whole.substr(0, 15) + "\n" + kEndRecord;
    SimHarness h;
    Support support(h.window, files, h.clock);
    support.state().hexFileName = "firmware.hex";
    ASSERT_EQ(support.loadHex(), kHexLoaded);
    EXPECT_EQ(files.opens, 1u);
    EXPECT_EQ(support.state().progImage[512 + 15], 0x5A);
    EXPECT_EQ(support.hexFileBytes(), whole);
}

// Random binaries laid out as the dsPIC tool chain lays out program memory,
// made into HEX files by srec_cat: the images and their marks are the binaries.
TEST(ProducedHexFiles, LoadExactlyAsTheBinariesLieInMemory)
{
#ifdef _WIN32
    GTEST_SKIP() << "srec_cat is a Linux program";
#endif
    const int recordSizes[] = {16, 32, 33, 100, 255};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        SimHarness h;
        SupportState expected;
        std::fill_n(expected.progImage.begin(), kProgBytes, 0xFF);
        std::fill_n(expected.cfgImage.begin(), kCfgBytes, 0xFF);
        std::string command = "srec_cat";
        // A binary of random instructions (three bytes and a phantom 0) at a HEX address.
        const auto add = [&](std::uint32_t address, std::size_t instructions) {
            const bool config = address >= kConfigHexAddress;
            std::string bytes(instructions * 4, '\0');
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = i % 4 == 3 ? '\0' : static_cast<char>(random());
                const std::size_t at = address - (config ? kConfigHexAddress : 0) + i;
                (config ? expected.cfgImage[at] : expected.progImage[at]) = static_cast<std::uint8_t>(bytes[i]);
                (config ? expected.cfgDirty[at / kCfgWordBytes] : expected.rowDirty[at / kRowBytes]) = true;
            }
            const std::string binary = h.dir.write(std::to_string(address), bytes);
            command += " '" + binary + "' -binary -offset " + std::to_string(address);
        };
        // A few runs in ascending order, some across rows and 64 KiB
        // boundaries, all below 200000; then some configuration words.
        for (std::uint32_t next = 0, runs = 1 + random() % 5; runs > 0; --runs) {
            const std::uint32_t address = next + (random() % 12000) * 4, instructions = 1 + random() % 6000;
            if (address + instructions * 4 >= kProgBytes)
                break;
            add(address, instructions);
            next = address + instructions * 4;
        }
        for (std::uint32_t word = 0; word < kCfgWords; ++word)
            if (random() % 2)
                add(kConfigHexAddress + 4 * word, 1);
        // The reset vector moves to word address 0x7F3C; the bootloader jump takes its place.
        std::copy_n(expected.progImage.begin(), 8, expected.progImage.begin() + kMovedVector);
        expected.rowDirty[508] = true;
        std::copy(kBootloaderJump.begin(), kBootloaderJump.end(), expected.progImage.begin());

        h.state().hexFileName = (h.dir.path() / "produced.hex").string();
        command += " -o '" + h.state().hexFileName + "' -intel -output_block_size=" +
                   std::to_string(recordSizes[seed % std::size(recordSizes)]);
        ASSERT_EQ(std::system(command.c_str()), 0) << command << " (is srecord installed?)";
        ASSERT_EQ(h.support->loadHex(), kHexLoaded);
        EXPECT_TRUE(h.state().progImage == expected.progImage && h.state().rowDirty == expected.rowDirty);
        EXPECT_TRUE(h.state().cfgImage == expected.cfgImage && h.state().cfgDirty == expected.cfgDirty);
    }
}

} // namespace
} // namespace tavrek::test
